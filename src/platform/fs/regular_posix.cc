#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/fs/regular.h"

namespace mlx::fs {

namespace {

int KindError(mode_t mode) {
  if (S_ISREG(mode)) return 0;
  return S_ISDIR(mode) ? EISDIR : kNotRegularFile;
}

}  // namespace

int NotRegularFileError(const std::string& native) {
  struct stat st {};
  return stat(native.c_str(), &st) == 0 ? KindError(st.st_mode) : 0;
}

int OpenRegularFile(const std::string& native, int flags, int* error, mode_t mode) {
  // A truncation waits until the entry is known to be a regular file: open(2) would apply it
  // before the check.
  const bool truncate = (flags & O_TRUNC) != 0;
  int fd = open(native.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) {
    // A FIFO without a reader refuses a non-blocking open for writing (ENXIO), a folder any
    // open for writing (EISDIR): what the entry is says more than the code of the refusal.
    const int refusal = errno;
    const int kind = NotRegularFileError(native);
    *error = kind != 0 ? kind : refusal;
    return -1;
  }
  struct stat st {};
  int problem = fstat(fd, &st) != 0 ? errno : KindError(st.st_mode);
  if (problem == 0 && (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
                       (truncate && ftruncate(fd, 0) != 0))) {
    problem = errno;
  }
  if (problem != 0) {
    close(fd);
    *error = problem;
    return -1;
  }
  *error = 0;
  return fd;
}

std::string RegularFileErrorText(int error) {
  if (error == kNotRegularFile) return "not a regular file (a FIFO, a device or a socket)";
  if (error == EISDIR) return "a folder, not a file";
  return std::strerror(error);
}

bool ExamineEntry(const std::string& native, EntryFacts* facts, int* error) {
  struct stat st {};
  if (stat(native.c_str(), &st) != 0) {
    *error = errno;
    return false;
  }
  facts->is_folder = S_ISDIR(st.st_mode);
  facts->is_regular = S_ISREG(st.st_mode);
  facts->size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  facts->read_only = (st.st_mode & 0222) == 0;
  facts->volume = static_cast<std::uint64_t>(st.st_dev);
  facts->index = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool AppendAtOnce(const std::string& native, std::string_view bytes) {
  int fd = open(native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  bool written = fd >= 0 && write(fd, bytes.data(), bytes.size()) ==
                                static_cast<ssize_t>(bytes.size());
  if (fd >= 0) written = close(fd) == 0 && written;
  return written;
}

bool MakeTemporaryFolder(const std::string& prefix, std::string* native) {
  std::error_code ec;
  std::string model = (std::filesystem::temp_directory_path(ec) / (prefix + "XXXXXX")).string();
  if (ec || mkdtemp(model.data()) == nullptr) return false;
  *native = model;
  return true;
}

bool RemoveFile(const std::string& native) {
  return unlink(native.c_str()) == 0;
}

unsigned long ProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

bool FlushFile(const std::string& native) {
  int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace mlx::fs
