// The programs family: running programs, registering components and preparing the start at the
// next logon.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaProgrammi();

}  // namespace mlx
