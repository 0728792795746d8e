// The flow family: jumps, subroutines, loops over databases and the end of the run.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaFlusso();

}  // namespace mlx
