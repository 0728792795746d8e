// The file system service on POSIX. Script paths ("C:\App\x.txt", "sub\file", "a/b") are
// turned into native paths here and nowhere else; failures become the script language's error
// numbers with Italian descriptions that name the path as the script wrote it.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs/errors.h"
#include "platform/fs/fs.h"
#include "platform/fs/lines.h"
#include "platform/fs/regular.h"
#include "platform/fs/replace.h"
#include "platform/text/text.h"

namespace mlx::fs {
namespace {

// The storage the allocator answered; none is out of memory.
void* CheckedAlloc(void* bytes) {
  if (bytes == nullptr) throw std::bad_alloc();
  return bytes;
}

constexpr std::size_t kChunk = 64 * 1024;

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != name.npos;
}

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The native path of a child of a native folder.
std::string NativeChild(const std::string& folder, std::string_view name) {
  std::string child = folder;
  if (!child.empty() && child.back() != '/') child.push_back('/');
  child.append(name);
  return child;
}

// The native folder that holds a native path ("." for a bare name).
std::string NativeParent(const std::string& native) {
  std::string path = native;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool StatIsDirectory(const std::string& native) {
  struct stat st {};
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Translates errno after an operation on `path` (native form `native`).
Status FromErrno(int error, std::string_view path, const std::string& native) {
  return FromErrorCode(error, path, [&] { return StatIsDirectory(NativeParent(native)); });
}

// Reads up to `size` bytes, retrying interrupted reads; -1 on error.
ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Whether copy_file_range (or a clone) refused these two files as such, rather than failing on
// their data: the copy goes on by another means.
bool NotForTheseFiles(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
         error == ENOTTY || error == EBADF || error == EPERM || error == ENOTSUP;
}

// Copies the source's content, from the current offsets of both descriptors to the end, by the
// fastest means the kernel offers: a clone of the whole file's blocks on file systems that
// share them, else copy_file_range (no trip through this process's memory, and server-side on
// network file systems), else reads and writes in large blocks. False with errno set;
// *source_failed tells a read error of the source from a write error of the target.
bool CopyContent(int from, int to, const struct stat& from_st, bool* source_failed) {
  if (ioctl(to, FICLONE, from) == 0) return true;
  std::uint64_t copied = 0;
  for (;;) {
    ssize_t n = copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) {
      copied += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !NotForTheseFiles(errno)) return false;
    // The end, by the size seen at the start. Files of special file systems that report no
    // size, or answer 0 early, are read to their real end below.
    if (n == 0 && from_st.st_size > 0 && copied >= static_cast<std::uint64_t>(from_st.st_size)) {
      return true;
    }
    break;
  }
  constexpr std::size_t kBlock = 1024 * 1024;
  std::unique_ptr<char[]> block(new char[kBlock]);
  for (;;) {
    ssize_t n = ReadSome(from, block.get(), kBlock);
    if (n < 0) {
      *source_failed = true;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(to, std::string_view(block.get(), static_cast<std::size_t>(n)))) return false;
  }
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  // Closes now; false when close reported an error (data may not have reached the disk).
  bool Close() {
    int fd = std::exchange(fd_, -1);
    return fd < 0 || close(fd) == 0;
  }
  void Reset() { Close(); }

 private:
  int fd_;
};

// The lines of a file read through its descriptor.
class PosixInputFile : public ChunkedLines {
 public:
  PosixInputFile(Fd fd, std::string_view path) : ChunkedLines(path), fd_(std::move(fd)) {
    struct stat st {};
    if (fstat(fd_.get(), &st) == 0 && S_ISREG(st.st_mode)) {
      SetSize(static_cast<std::uint64_t>(st.st_size));
    }
  }

 protected:
  long ReadChunk(char* buffer, std::size_t size, int* error) override {
    ssize_t n = ReadSome(fd_.get(), buffer, size);
    if (n < 0) *error = errno;
    return static_cast<long>(n);
  }

 private:
  Fd fd_;
};

class PosixRandomAccessFile : public RandomAccessFile {
 public:
  PosixRandomAccessFile(Fd fd, std::string_view path, std::uint64_t size)
      : fd_(std::move(fd)), path_(path), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  Status ReadAt(std::uint64_t offset, std::size_t size, std::string* bytes) override {
    bytes->clear();
    // Never more than the file holds, whatever the caller asks for.
    if (offset >= size_) return Status::OK();
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
    bytes->resize(wanted);
    std::size_t done = 0;
    while (done < wanted) {
      ssize_t n =
          pread(fd_.get(), bytes->data() + done, wanted - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int error = errno;
        bytes->clear();
        return AccessError(path_, "errore di lettura " + std::to_string(error));
      }
      if (n == 0) break;  // the file became shorter since it was opened
      done += static_cast<std::size_t>(n);
    }
    bytes->resize(done);
    return Status::OK();
  }

 private:
  Fd fd_;
  std::string path_;
  std::uint64_t size_;
};

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(FileSystemOptions options) : options_(std::move(options)) {}

  std::string ToNative(std::string_view path) override {
    std::string native;
    return Resolve(path, &native).ok() ? native : std::string();
  }

  bool Exists(std::string_view path) override {
    struct stat st {};
    return StatPath(path, &st);
  }
  bool IsFile(std::string_view path) override {
    struct stat st {};
    return StatPath(path, &st) && !S_ISDIR(st.st_mode);
  }
  bool IsDirectory(std::string_view path) override {
    struct stat st {};
    return StatPath(path, &st) && S_ISDIR(st.st_mode);
  }

  std::vector<std::string> List(std::string_view pattern, bool include_dirs) override {
    std::string folder;
    std::string_view name;
    SplitPattern(pattern, &folder, &name);
    std::vector<std::string> names;
    if (name.empty() || name == "." || name == "..") return names;

    if (!HasWildcards(name)) {
      // One entry, named exactly as written.
      struct stat st {};
      if (StatPath(pattern, &st) && (include_dirs || !S_ISDIR(st.st_mode))) {
        names.emplace_back(name);
      }
      return names;
    }

    std::string native_folder = ".";
    if (!folder.empty() && !Resolve(folder, &native_folder).ok()) return names;
    // "*.*" means every name, with or without an extension, as scripts for Windows expect.
    std::string_view match = name == "*.*" ? std::string_view("*") : name;

    DIR* dir = opendir(native_folder.c_str());
    if (dir == nullptr) return names;
    while (struct dirent* entry = readdir(dir)) {
      std::string_view entry_name = entry->d_name;
      if (entry_name == "." || entry_name == "..") continue;
      if (!text::WildcardMatch(match, entry_name)) continue;
      if (!include_dirs) {
        // A dangling link counts as a file: it can be deleted, like any file.
        struct stat st {};
        if (stat(NativeChild(native_folder, entry_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
          continue;
        }
      }
      names.emplace_back(entry_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      std::string ka = text::FoldKey(a), kb = text::FoldKey(b);
      return ka != kb ? ka < kb : a < b;
    });
    return names;
  }

  Status ReadFile(std::string_view path, std::string* bytes) override {
    FileBytes read;
    Status s = ReadFileBytes(path, &read);
    if (!s.ok()) return s;
    bytes->assign(read.view());
    return Status::OK();
  }

  Status ReadFileBytes(std::string_view path, FileBytes* bytes) override {
    Fd fd;
    Status s = OpenForReading(path, &fd);
    if (!s.ok()) return s;
    // The file is read straight into storage of its size, in as few reads as the system
    // allows; one that grows meanwhile is read to its end all the same.
    struct stat st {};
    std::size_t room = kChunk;
    if (fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      room = static_cast<std::size_t>(st.st_size) + 1;
    }
    FileBytes::Storage data = FileBytes::Allocate(room);
    std::size_t filled = 0;
    for (;;) {
      if (filled == room) {
        const std::size_t larger = room * 2;
        FileBytes::Storage grown = FileBytes::Allocate(larger);
        std::memcpy(grown.get(), data.get(), filled);
        data = std::move(grown);
        room = larger;
      }
      ssize_t n = ReadSome(fd.get(), data.get() + filled, room - filled);
      if (n < 0) {
        int error = errno;
        return FromErrno(error, path, ToNative(path));
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    bytes->data = std::move(data);
    bytes->size = filled;
    return Status::OK();
  }

  Status OpenLines(std::string_view path, std::unique_ptr<InputFile>* file) override {
    Fd fd;
    Status s = OpenForReading(path, &fd);
    if (!s.ok()) return s;
    *file = std::make_unique<PosixInputFile>(std::move(fd), path);
    return Status::OK();
  }

  Status OpenRandomAccess(std::string_view path, std::unique_ptr<RandomAccessFile>* file) override {
    Fd fd;
    Status s = OpenForReading(path, &fd);
    if (!s.ok()) return s;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
      int error = errno;
      return FromErrno(error, path, ToNative(path));
    }
    const std::uint64_t size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    *file = std::make_unique<PosixRandomAccessFile>(std::move(fd), path, size);
    return Status::OK();
  }

  Status WriteFile(std::string_view path, std::string_view bytes) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;

    struct stat st {};
    bool exists = lstat(native.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return AccessError(path, "è una cartella");
    // Links (symbolic or hard) are written through, so every name keeps seeing the file.
    if (exists && (!S_ISREG(st.st_mode) || st.st_nlink > 1)) {
      return WriteInPlace(path, native, bytes);
    }
    if (exists && access(native.c_str(), W_OK) != 0) return FromErrno(errno, path, native);

    // The new content replaces the file whole: a failure half way (a full disk, a crash)
    // leaves the old content whole.
    int error = ReplaceFile(native, [&](int fd) { return WriteAll(fd, bytes); });
    if (error == EACCES || error == EPERM) return WriteInPlace(path, native, bytes);
    if (error != 0) return FromErrno(error, path, native);
    return Status::OK();
  }

  Status AppendFile(std::string_view path, std::string_view bytes) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    int error = 0;
    Fd fd(OpenRegularFile(native, O_WRONLY | O_APPEND | O_CREAT, &error));
    if (fd.get() < 0) return FromErrno(error, path, native);
    if (!WriteAll(fd.get(), bytes) || !fd.Close()) return FromErrno(errno, path, native);
    return Status::OK();
  }

  Status CopyFile(std::string_view from, std::string_view to, bool overwrite,
                  bool durable) override {
    Fd source;
    Status s = OpenForReading(from, &source);
    if (!s.ok()) return s;
    std::string native_to;
    s = Resolve(to, &native_to);
    if (!s.ok()) return s;

    struct stat from_st {};
    if (fstat(source.get(), &from_st) != 0) {
      int error = errno;
      return FromErrno(error, from, ToNative(from));
    }
    struct stat to_st {};
    if (stat(native_to.c_str(), &to_st) == 0) {
      if (S_ISDIR(to_st.st_mode)) return AccessError(to, "è una cartella");
      if (!overwrite) return FileExists(to);
      // Copying a file onto itself leaves it as it is.
      if (to_st.st_dev == from_st.st_dev && to_st.st_ino == from_st.st_ino) return Status::OK();
      if (access(native_to.c_str(), W_OK) != 0) return FromErrno(errno, to, native_to);
    }

    // The data is flushed before the rename, so a crash never leaves a half-written target.
    bool source_failed = false;
    ReplaceOptions options;
    options.no_replace = !overwrite;
    options.flush_folder = durable;
    int error = ReplaceFile(
        native_to,
        [&](int fd) {
          if (!CopyContent(source.get(), fd, from_st, &source_failed)) return false;
          fchmod(fd, from_st.st_mode & 07777);
          const struct timespec times[2] = {from_st.st_atim, from_st.st_mtim};
          futimens(fd, times);
          return true;
        },
        options);
    if (error == 0) return Status::OK();
    if (source_failed) return FromErrno(error, from, ToNative(from));
    return FromErrno(error, to, native_to);
  }

  Status DeleteFile(std::string_view path) override {
    std::string folder;
    std::string_view name;
    SplitPattern(path, &folder, &name);
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;

    if (HasWildcards(name)) {
      std::vector<std::string> matches = List(path, false);
      if (matches.empty()) {
        // No match: the file is missing when its folder is there, else the path is.
        std::string native_folder = ".";
        if (!folder.empty() && !Resolve(folder, &native_folder).ok()) return PathNotFound(path);
        return StatIsDirectory(native_folder) ? FileNotFound(path) : PathNotFound(path);
      }
      for (const std::string& match : matches) {
        std::string one = Join(folder, match);
        s = DeleteOne(one);
        if (!s.ok()) return s;
      }
      return Status::OK();
    }
    return DeleteOne(path);
  }

  Status Rename(std::string_view from, std::string_view to) override {
    std::string native_from, native_to;
    Status s = Resolve(from, &native_from);
    if (!s.ok()) return s;
    s = Resolve(to, &native_to);
    if (!s.ok()) return s;

    struct stat st {};
    if (lstat(native_from.c_str(), &st) != 0) return FromErrno(errno, from, native_from);
    // Unlike rename(2), an existing target is never replaced.
    if (RenameNoReplace(native_from, native_to)) return Status::OK();
    if (errno != EXDEV) return FromErrno(errno, to, native_to);
    // Another volume: a file is moved by copying it and deleting the original.
    if (!S_ISREG(st.st_mode)) return AccessError(from, "su un altro volume");
    // The original goes next: the copy's name must survive a crash first.
    s = CopyFile(from, to, false, true);
    if (!s.ok()) return s;
    if (unlink(native_from.c_str()) != 0) return FromErrno(errno, from, native_from);
    return Status::OK();
  }

  Status MakeDirectory(std::string_view path) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    if (mkdir(native.c_str(), 0777) == 0) return Status::OK();
    int error = errno;
    if (error == EEXIST) return AccessError(path, "esiste già");
    if (error == ENOENT) return PathNotFound(path);
    return FromErrno(error, path, native);
  }

  std::string CurrentDirectory() override {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return ".";
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  std::string ProgramDirectory() override {
    if (!options_.program_directory.empty()) return options_.program_directory;
    std::vector<char> buffer(4096);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return CurrentDirectory();
    return NativeParent(std::string(buffer.data(), static_cast<std::size_t>(n)));
  }

  std::string ProgramName() override { return options_.program_name; }

 private:
  // The native path of a script path, or the error that a use of it reports.
  Status Resolve(std::string_view path, std::string* native) const {
    if (path.empty()) return FileNotFound(path);
    if (path.find('\0') != path.npos) return AccessError(path, "nome non valido");
    std::string result;
    std::string_view rest = path;
    if (HasDrive(path)) {
      char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
      auto it = options_.drives.find(letter);
      if (it == options_.drives.end()) return PathNotFound(path);
      result = it->second;
      rest.remove_prefix(2);
      while (!rest.empty() && IsSeparator(rest.front())) rest.remove_prefix(1);
      if (!rest.empty() && result.back() != '/') result.push_back('/');
    }
    for (char c : rest) result.push_back(c == '\\' ? '/' : c);
    *native = std::move(result);
    return Status::OK();
  }

  bool StatPath(std::string_view path, struct stat* st) const {
    std::string native;
    return Resolve(path, &native).ok() && stat(native.c_str(), st) == 0;
  }

  // The folder part of a pattern (with its separator, "" for none) and its last component.
  static void SplitPattern(std::string_view pattern, std::string* folder, std::string_view* name) {
    std::size_t sep = LastSeparator(pattern);
    if (sep != std::string_view::npos) {
      *folder = std::string(pattern.substr(0, sep + 1));
      *name = pattern.substr(sep + 1);
    } else if (HasDrive(pattern)) {
      *folder = std::string(pattern.substr(0, 2));
      *name = pattern.substr(2);
    } else {
      folder->clear();
      *name = pattern;
    }
  }

  Status OpenForReading(std::string_view path, Fd* fd) {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    int error = 0;
    Fd opened(OpenRegularFile(native, O_RDONLY, &error));
    if (opened.get() < 0) return FromErrno(error, path, native);
    *fd = std::move(opened);
    return Status::OK();
  }

  Status WriteInPlace(std::string_view path, const std::string& native, std::string_view bytes) {
    int error = 0;
    Fd fd(OpenRegularFile(native, O_WRONLY | O_CREAT | O_TRUNC, &error));
    if (fd.get() < 0) return FromErrno(error, path, native);
    if (!WriteAll(fd.get(), bytes) || !fd.Close()) return FromErrno(errno, path, native);
    return Status::OK();
  }

  Status DeleteOne(std::string_view path) {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    struct stat st {};
    if (lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      return AccessError(path, "è una cartella");
    }
    if (unlink(native.c_str()) != 0) return FromErrno(errno, path, native);
    return Status::OK();
  }

  FileSystemOptions options_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeFileSystem(FileSystemOptions options) {
  return std::make_unique<PosixFileSystem>(std::move(options));
}

FileBytes::Storage FileBytes::Allocate(std::size_t size) {
  constexpr std::size_t kLarge = std::size_t{2} << 20;
  if (size < kLarge) {
    return Storage(static_cast<char*>(CheckedAlloc(std::malloc(std::max<std::size_t>(size, 1)))));
  }
  const std::size_t rounded = (size + kLarge - 1) / kLarge * kLarge;
  char* bytes = static_cast<char*>(CheckedAlloc(std::aligned_alloc(kLarge, rounded)));
#ifdef MADV_HUGEPAGE
  // Only advice: where large pages are not to be had the storage works all the same.
  madvise(bytes, rounded, MADV_HUGEPAGE);
#endif
  return Storage(bytes);
}

}  // namespace mlx::fs
