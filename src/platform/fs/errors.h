// The script language's errors of the file system (53 file not found, 76 path not found,
// 58 file exists, 70 permission denied, 75 any other failure), with Italian descriptions that
// name the path as the script wrote it. Shared by the platforms' file systems.
#pragma once

#include <functional>
#include <string_view>

#include "platform/status.h"

namespace mlx::fs {

Status FileNotFound(std::string_view path);
Status PathNotFound(std::string_view path);
Status FileExists(std::string_view path);
Status PermissionDenied(std::string_view path);
Status AccessError(std::string_view path, std::string_view reason);

// The error of an operation on `path` that failed with the errno value `error` (or
// kNotRegularFile); `parent_is_folder` is asked only for a missing entry, to tell a missing file
// from a missing folder.
Status FromErrorCode(int error, std::string_view path,
                     const std::function<bool()>& parent_is_folder);

}  // namespace mlx::fs
