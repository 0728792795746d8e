// The variables family: the commands that assign a variable.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaVariabili();

}  // namespace mlx
