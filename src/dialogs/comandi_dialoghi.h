// The dialogs family: a message to the user and the wait window.
#pragma once

#include "engine/comando.h"

namespace mlx {

const Famiglia<>& FamigliaDialoghi();

}  // namespace mlx
