// The files family: deleting, copying and moving files, and making folders.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaFile();

}  // namespace mlx
