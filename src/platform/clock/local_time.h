// The machine's local time, from the system's own call.
#pragma once

#include "platform/clock/clock.h"

namespace mlx::clock {

// The local time now, to the second; false when the system cannot tell.
bool LocalNow(DateTime* t);

}  // namespace mlx::clock
