// Opening a file where only a file will do. A FIFO waits for a writer when it is opened for
// reading, a device may wait or never end, and a folder has no content: none of them is what a
// script, an include, an import file, a database or the registry file can be. Every platform
// service opens such files through OpenRegularFile, so that they are refused at once with a
// clear error instead of blocking the run.
#pragma once

#include <sys/types.h>

#include <string>

namespace mlx::fs {

// The error code of an existing entry that is neither a regular file nor a folder (a FIFO, a
// device, a socket). Outside the range of errno's codes.
inline constexpr int kNotRegularFile = 0x10000;

// Opens a native path with the open(2) flags given (O_CLOEXEC is added) without ever waiting
// on it, and answers the descriptor, in blocking mode again, when the path is a regular file
// (also through a link). Otherwise answers -1 with *error set to errno, EISDIR for a folder or
// kNotRegularFile; nothing is opened, created or truncated that is not a regular file.
int OpenRegularFile(const std::string& native, int flags, int* error, mode_t mode = 0666);

// The error of a path that is there but no regular file (EISDIR, kNotRegularFile), else 0.
int NotRegularFileError(const std::string& native);

// A description in English of an error from OpenRegularFile.
std::string RegularFileErrorText(int error);

}  // namespace mlx::fs
