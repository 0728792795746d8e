// The file system service on Windows. Script paths are native here: drive letters and
// network paths ("\\server\share\x") reach the system as written, "/" becomes "\". Names are
// UTF-8 inside and UTF-16 at the wide-character calls; long paths take the "\\?\" prefix.
// Failures become the script language's error numbers, as on every platform.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
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
#include "platform/fs/native_win32.h"
#include "platform/fs/regular.h"
#include "platform/fs/replace.h"
#include "platform/text/text.h"
#include "platform/text/wide.h"

// The interface's names, not the system's macros for its own functions.
#undef CopyFile
#undef DeleteFile

namespace mlx::fs {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != name.npos;
}

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

DWORD Attributes(const std::string& native) {
  return GetFileAttributesW(WidePath(native).c_str());
}

bool IsFolderAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The native folder that holds a native path ("." for a bare name).
std::string NativeParent(const std::string& native) {
  std::string path = native;
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return HasDrive(path) ? path.substr(0, 2) : ".";
  if (slash == 2 && HasDrive(path)) return path.substr(0, 3);
  return slash == 0 ? "\\" : path.substr(0, slash);
}

std::string NativeChild(const std::string& folder, std::string_view name) {
  std::string child = folder;
  if (!child.empty() && child.back() != '\\' && child.back() != ':') child.push_back('\\');
  child.append(name);
  return child;
}

Status FromErrno(int error, std::string_view path, const std::string& native) {
  return FromErrorCode(error, path,
                       [&] { return IsFolderAttributes(Attributes(NativeParent(native))); });
}

Status FromWindows(DWORD error, std::string_view path, const std::string& native) {
  return FromErrno(ErrnoFromWindows(error), path, native);
}

class WindowsInputFile : public ChunkedLines {
 public:
  WindowsInputFile(Handle h, std::string_view path) : ChunkedLines(path), h_(std::move(h)) {
    LARGE_INTEGER size;
    if (GetFileSizeEx(h_.get(), &size)) SetSize(static_cast<std::uint64_t>(size.QuadPart));
  }

 protected:
  long ReadChunk(char* buffer, std::size_t size, int* error) override {
    DWORD n = 0;
    if (!::ReadFile(h_.get(), buffer, static_cast<DWORD>(size), &n, nullptr)) {
      *error = static_cast<int>(GetLastError());
      return -1;
    }
    return static_cast<long>(n);
  }

 private:
  Handle h_;
};

class WindowsRandomAccessFile : public RandomAccessFile {
 public:
  WindowsRandomAccessFile(Handle h, std::string_view path, std::uint64_t size)
      : h_(std::move(h)), path_(path), size_(size) {}

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
      OVERLAPPED at = {};
      const std::uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      DWORD n = 0;
      const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(wanted - done, 1u << 30));
      if (!::ReadFile(h_.get(), bytes->data() + done, ask, &n, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        bytes->clear();
        return AccessError(path_, "errore di lettura " + std::to_string(error));
      }
      if (n == 0) break;  // the file became shorter since it was opened
      done += n;
    }
    bytes->resize(done);
    return Status::OK();
  }

 private:
  Handle h_;
  std::string path_;
  std::uint64_t size_;
};

class WindowsFileSystem : public FileSystem {
 public:
  explicit WindowsFileSystem(FileSystemOptions options) : options_(std::move(options)) {}

  std::string ToNative(std::string_view path) override {
    std::string native;
    return Resolve(path, &native).ok() ? native : std::string();
  }

  bool Exists(std::string_view path) override {
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
  }
  bool IsFile(std::string_view path) override {
    const DWORD a = AttributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !IsFolderAttributes(a);
  }
  bool IsDirectory(std::string_view path) override { return IsFolderAttributes(AttributesOf(path)); }

  std::vector<std::string> List(std::string_view pattern, bool include_dirs) override {
    std::string folder;
    std::string_view name;
    SplitPattern(pattern, &folder, &name);
    std::vector<std::string> names;
    if (name.empty() || name == "." || name == "..") return names;

    if (!HasWildcards(name)) {
      // One entry, named exactly as written.
      const DWORD a = AttributesOf(pattern);
      if (a != INVALID_FILE_ATTRIBUTES && (include_dirs || !IsFolderAttributes(a))) {
        names.emplace_back(name);
      }
      return names;
    }

    std::string native_folder = ".";
    if (!folder.empty() && !Resolve(folder, &native_folder).ok()) return names;
    // The system's own matching of "*" and "?" differs from the scripts' (8.3 names, "*.*"),
    // so every entry is read and matched here, as on every platform.
    std::string_view match = name == "*.*" ? std::string_view("*") : name;
    WIN32_FIND_DATAW entry;
    const std::wstring all = WidePath(NativeChild(native_folder, "*"));
    HANDLE find = FindFirstFileExW(all.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string entry_name = text::FromWide(entry.cFileName);
      if (entry_name == "." || entry_name == "..") continue;
      if (!text::WildcardMatch(match, entry_name)) continue;
      if (!include_dirs && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      names.push_back(entry_name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
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
    Handle h;
    Status s = OpenForReading(path, &h);
    if (!s.ok()) return s;
    LARGE_INTEGER file_size;
    std::size_t room = 64 * 1024;
    if (GetFileSizeEx(h.get(), &file_size) && file_size.QuadPart > 0) {
      room = static_cast<std::size_t>(file_size.QuadPart) + 1;
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
      DWORD n = 0;
      const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(room - filled, 1u << 30));
      if (!::ReadFile(h.get(), data.get() + filled, ask, &n, nullptr)) {
        return FromWindows(GetLastError(), path, ToNative(path));
      }
      if (n == 0) break;
      filled += n;
    }
    bytes->data = std::move(data);
    bytes->size = filled;
    return Status::OK();
  }

  Status OpenLines(std::string_view path, std::unique_ptr<InputFile>* file) override {
    Handle h;
    Status s = OpenForReading(path, &h);
    if (!s.ok()) return s;
    *file = std::make_unique<WindowsInputFile>(std::move(h), path);
    return Status::OK();
  }

  Status OpenRandomAccess(std::string_view path, std::unique_ptr<RandomAccessFile>* file) override {
    Handle h;
    Status s = OpenForReading(path, &h);
    if (!s.ok()) return s;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h.get(), &size)) return FromWindows(GetLastError(), path, ToNative(path));
    *file = std::make_unique<WindowsRandomAccessFile>(
        std::move(h), path, size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0);
    return Status::OK();
  }

  Status WriteFile(std::string_view path, std::string_view bytes) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    const DWORD a = Attributes(native);
    if (IsFolderAttributes(a)) return AccessError(path, "è una cartella");
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0) {
      return PermissionDenied(path);
    }
    // The new content replaces the file whole: a failure half way (a full disk, a crash)
    // leaves the old content whole.
    int error = ReplaceFile(native, [&](int fd) { return WriteAll(fd, bytes); });
    if (error == EACCES) return WriteInPlace(path, native, bytes);
    if (error != 0) return FromErrno(error, path, native);
    return Status::OK();
  }

  Status AppendFile(std::string_view path, std::string_view bytes) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    int error = 0;
    int fd = OpenRegularFile(native, O_WRONLY | O_APPEND | O_CREAT, &error);
    if (fd < 0) return FromErrno(error, path, native);
    const bool written = WriteAll(fd, bytes);
    const int write_error = errno;
    if (_close(fd) != 0 || !written) return FromErrno(written ? errno : write_error, path, native);
    return Status::OK();
  }

  Status CopyFile(std::string_view from, std::string_view to, bool overwrite,
                  bool durable) override {
    Handle source;
    Status s = OpenForReading(from, &source);
    if (!s.ok()) return s;
    std::string native_to;
    s = Resolve(to, &native_to);
    if (!s.ok()) return s;

    BY_HANDLE_FILE_INFORMATION from_info;
    if (!GetFileInformationByHandle(source.get(), &from_info)) {
      return FromWindows(GetLastError(), from, ToNative(from));
    }
    const DWORD to_attributes = Attributes(native_to);
    if (to_attributes != INVALID_FILE_ATTRIBUTES) {
      if (IsFolderAttributes(to_attributes)) return AccessError(to, "è una cartella");
      if (!overwrite) return FileExists(to);
      // Copying a file onto itself leaves it as it is.
      if (SameFile(from_info, native_to)) return Status::OK();
      if ((to_attributes & FILE_ATTRIBUTE_READONLY) != 0) return PermissionDenied(to);
    }

    // The data is flushed before the rename, so a crash never leaves a half-written target.
    bool source_failed = false;
    ReplaceOptions options;
    options.no_replace = !overwrite;
    options.flush_folder = durable;
    int error = ReplaceFile(
        native_to,
        [&](int fd) {
          if (!CopyContent(source.get(), fd, &source_failed)) return false;
          // The source's times, as a Windows copy keeps them.
          HANDLE target = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
          SetFileTime(target, &from_info.ftCreationTime, &from_info.ftLastAccessTime,
                      &from_info.ftLastWriteTime);
          return true;
        },
        options);
    if (error == 0) {
      // The source's attributes (read-only, hidden, ...) once the content is in place.
      SetFileAttributesW(WidePath(native_to).c_str(),
                         from_info.dwFileAttributes & ~FILE_ATTRIBUTE_DIRECTORY);
      return Status::OK();
    }
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
        return IsFolderAttributes(Attributes(native_folder)) ? FileNotFound(path)
                                                             : PathNotFound(path);
      }
      for (const std::string& match : matches) {
        s = DeleteOne(Join(folder, match));
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

    const DWORD a = Attributes(native_from);
    if (a == INVALID_FILE_ATTRIBUTES) return FromWindows(GetLastError(), from, native_from);
    // An existing target is never replaced.
    if (RenameNoReplace(native_from, native_to)) return Status::OK();
    if (errno != EXDEV) return FromErrno(errno, to, native_to);
    // Another volume: a file is moved by copying it and deleting the original.
    if (IsFolderAttributes(a)) return AccessError(from, "su un altro volume");
    s = CopyFile(from, to, false, true);
    if (!s.ok()) return s;
    if (!RemoveFile(native_from)) return FromWindows(GetLastError(), from, native_from);
    return Status::OK();
  }

  Status MakeDirectory(std::string_view path) override {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    if (CreateDirectoryW(WidePath(native).c_str(), nullptr)) return Status::OK();
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return AccessError(path, "esiste già");
    if (error == ERROR_PATH_NOT_FOUND) return PathNotFound(path);
    return FromWindows(error, path, native);
  }

  std::string CurrentDirectory() override {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(size + 1);
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0 || n >= buffer.size()) return ".";
    return text::FromWide(std::wstring_view(buffer.data(), n));
  }

  std::string ProgramDirectory() override {
    if (!options_.program_directory.empty()) return options_.program_directory;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
      DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return CurrentDirectory();
      if (n < buffer.size()) {
        std::string path = text::FromWide(std::wstring_view(buffer.data(), n));
        if (path.rfind("\\\\?\\", 0) == 0) path.erase(0, 4);
        return NativeParent(path);
      }
      buffer.resize(buffer.size() * 2);
    }
  }

  std::string ProgramName() override { return options_.program_name; }

 private:
  // The native path of a script path, or the error that a use of it reports.
  static Status Resolve(std::string_view path, std::string* native) {
    if (path.empty()) return FileNotFound(path);
    if (path.find('\0') != path.npos) return AccessError(path, "nome non valido");
    std::string result(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    *native = std::move(result);
    return Status::OK();
  }

  DWORD AttributesOf(std::string_view path) const {
    std::string native;
    return Resolve(path, &native).ok() ? Attributes(native) : INVALID_FILE_ATTRIBUTES;
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

  // Opened for reading and shared with every other reader and writer, as the C runtime opens
  // files; a file another program holds without sharing fails with "in uso".
  Status OpenForReading(std::string_view path, Handle* h) {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    Handle opened(CreateFileW(WidePath(native).c_str(), GENERIC_READ, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!opened.valid()) {
      const DWORD error = GetLastError();
      if (IsFolderAttributes(Attributes(native))) return AccessError(path, "è una cartella");
      return FromWindows(error, path, native);
    }
    if (GetFileType(opened.get()) != FILE_TYPE_DISK) {
      return FromErrno(kNotRegularFile, path, native);
    }
    *h = std::move(opened);
    return Status::OK();
  }

  static bool SameFile(const BY_HANDLE_FILE_INFORMATION& info, const std::string& native) {
    Handle other(CreateFileW(WidePath(native).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION other_info;
    return other.valid() && GetFileInformationByHandle(other.get(), &other_info) &&
           other_info.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
           other_info.nFileIndexHigh == info.nFileIndexHigh &&
           other_info.nFileIndexLow == info.nFileIndexLow;
  }

  // Copies the source's content in large blocks; *source_failed tells a read error of the
  // source from a write error of the target.
  static bool CopyContent(HANDLE from, int to, bool* source_failed) {
    constexpr DWORD kBlock = 1024 * 1024;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(from, block.get(), kBlock, &n, nullptr)) {
        errno = ErrnoFromWindows(GetLastError());
        *source_failed = true;
        return false;
      }
      if (n == 0) return true;
      if (!WriteAll(to, std::string_view(block.get(), n))) return false;
    }
  }

  Status WriteInPlace(std::string_view path, const std::string& native, std::string_view bytes) {
    int error = 0;
    int fd = OpenRegularFile(native, O_WRONLY | O_CREAT | O_TRUNC, &error);
    if (fd < 0) return FromErrno(error, path, native);
    const bool written = WriteAll(fd, bytes);
    const int write_error = errno;
    if (_close(fd) != 0 || !written) return FromErrno(written ? errno : write_error, path, native);
    return Status::OK();
  }

  Status DeleteOne(std::string_view path) {
    std::string native;
    Status s = Resolve(path, &native);
    if (!s.ok()) return s;
    if (IsFolderAttributes(Attributes(native))) return AccessError(path, "è una cartella");
    if (!RemoveFile(native)) return FromWindows(GetLastError(), path, native);
    return Status::OK();
  }

  FileSystemOptions options_;
};

}  // namespace

std::unique_ptr<FileSystem> MakeFileSystem(FileSystemOptions options) {
  return std::make_unique<WindowsFileSystem>(std::move(options));
}

FileBytes::Storage FileBytes::Allocate(std::size_t size) {
  void* bytes = std::malloc(std::max<std::size_t>(size, 1));
  if (bytes == nullptr) throw std::bad_alloc();
  return Storage(static_cast<char*>(bytes));
}

}  // namespace mlx::fs
