// The switches family: the log, error reporting and the engine's own messages.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaInterruttori();

}  // namespace mlx
