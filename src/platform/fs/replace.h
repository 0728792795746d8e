// Atomic replacement of a file's content, the one way every platform service (files, the
// registry) writes a whole file: the new content goes to a temporary sibling, is flushed, and
// takes the file's name by a rename, so that a failure or a crash at any moment leaves the old
// or the new content whole and never a half-written file. The folder is then flushed too,
// which makes the rename itself durable (see ReplaceOptions::flush_folder).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace mlx::fs {

struct ReplaceOptions {
  // The permission bits of a new file (less the process's umask). An existing file keeps its
  // permission bits and its owner (where the system allows a change of owner).
  unsigned new_mode = 0666;
  // Fail with EEXIST instead of replacing a file that is there.
  bool no_replace = false;
  // When set, receives an open descriptor of the new file (the caller closes it).
  int* kept_fd = nullptr;
  // Flush the folder after the rename, so that the new name survives a crash. Without it a
  // crash may bring back the old content (or no file where there was none), whole either way:
  // enough for a copy whose source stays, not for a file that is the only copy of its data or
  // whose original is deleted next.
  bool flush_folder = true;
};

// Writes the new content of the native path through `fill`, which gets the descriptor of the
// temporary sibling and returns false (errno set) when it fails; `fill` may set the permission
// bits or times it wants the new file to have. Returns 0, or the errno of the step that failed;
// on failure the file is untouched and the sibling removed.
int ReplaceFile(const std::string& native, const std::function<bool(int fd)>& fill,
                const ReplaceOptions& options = {});

// Flushes the folder that holds the native path, making the names created or renamed in it
// durable. Best effort: a folder that cannot be opened or flushed is passed over.
void FlushFolderOf(const std::string& native);

// Writes all the bytes to the descriptor, across short writes and interruptions; false with
// errno set.
bool WriteAll(int fd, std::string_view bytes);

// Renames without replacing an existing target; false with errno set (EEXIST when the target
// exists).
bool RenameNoReplace(const std::string& from, const std::string& to);

// The system calls that decide whether a replaced file survives a full disk or a crash: the
// writes of the content, the flushes of the file and of its folder, and the rename. They go
// through one object, the system's unless another was put in place, so that a test can fail
// any one of them or forget what was written but never flushed. Each answers as the system
// call does (-1 with errno set).
class FileCalls {
 public:
  virtual ~FileCalls() = default;
  virtual ssize_t Write(int fd, const void* data, std::size_t size);
  virtual int Sync(int fd);  // a file or a folder
  virtual int Rename(const std::string& from, const std::string& to, bool no_replace);
};

// The calls in use.
FileCalls& Calls();
// Puts `calls` in place (nullptr: the system's again) and answers the ones it replaces.
FileCalls* SetCalls(FileCalls* calls);

}  // namespace mlx::fs
