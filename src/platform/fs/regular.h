// Opening a file where only a file will do. A FIFO waits for a writer when it is opened for
// reading, a device may wait or never end, and a folder has no content: none of them is what a
// script, an include, an import file, a database or the registry file can be. Every platform
// service opens such files through OpenRegularFile, so that they are refused at once with a
// clear error instead of blocking the run.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

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

// What a native path is, without following it further than the system does to open it.
struct EntryFacts {
  bool is_folder = false;
  bool is_regular = false;
  std::uint64_t size = 0;
  // No one may write it (no write permission bit for anyone; the read-only attribute).
  bool read_only = false;
  // Together they tell one file from another, whatever names lead to it.
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
};
// False with *error set (errno's codes) when the path cannot be examined.
bool ExamineEntry(const std::string& native, EntryFacts* facts, int* error);

// Appends the bytes to the file (created when missing) with one write, so that lines of
// processes that share the file never interleave; false when any step failed.
bool AppendAtOnce(const std::string& native, std::string_view bytes);

// Makes a new folder of its own in the system's temporary folder, its name beginning with
// `prefix`; false when none could be made.
bool MakeTemporaryFolder(const std::string& prefix, std::string* native);

// Deletes a file; false when it was not there or could not be deleted.
bool RemoveFile(const std::string& native);

// This process's number, for names of temporary files that other processes must not take.
unsigned long ProcessNumber();

// Flushes a file's content to the disk; false when it cannot be opened or flushed.
bool FlushFile(const std::string& native);

}  // namespace mlx::fs
