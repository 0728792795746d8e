// How the system's refusal to start a program reaches the script: its error number and message.
#pragma once

#include <string>

#include "platform/status.h"
#include "platform/text/wide.h"

namespace mlx::process {

// The error of a start that the system refused with `error` (a GetLastError() number), for the
// program as the script named it and the folder it was to start in.
Status StartError(DWORD error, const std::string& program, const std::string& folder);

}  // namespace mlx::process
