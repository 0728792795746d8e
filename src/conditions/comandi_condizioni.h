// The conditions family: COND, which stores the result of one single test in a variable. The
// tests themselves are evaluated by conditions/condizioni.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaCondizioni();

}  // namespace mlx
