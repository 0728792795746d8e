// The registry family: the settings-key line and the commands that write and delete registry
// values and keys.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaRegistro();

}  // namespace mlx
