// The file system as scripts see it. Every path argument is a script path: "\" and "/" both
// separate folders, and a leading drive letter ("C:\...") is mapped through the drive table
// (MLX_DRIVES, "C=/srv/c;D=/mnt/d"). Paths become native only inside this service.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace mlx::fs {

// Script-path helpers (pure text; no file system access).
bool IsSeparator(char c);
// Joins folder and name, adding the separator the folder already uses ("\" when it contains
// one, "/" otherwise) unless it already ends with a separator.
std::string Join(std::string_view folder, std::string_view name);
// Position of the last separator ("\" or "/"), or npos.
std::size_t LastSeparator(std::string_view path);
// Whether an entry of that name (without folder) is hidden: on POSIX, a name that begins with
// ".". Searches for ordinary files pass hidden ones over, as they do on Windows.
bool IsHiddenName(std::string_view name);

// Parses "C=/srv/c;D=/mnt/d" into drive letter (upper case) -> native folder.
std::map<char, std::string> ParseDriveMap(std::string_view mapping);

class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads the next line without its end (CR, LF or CR LF), decoded as text (see text.h).
  // Returns false at the end of the file.
  virtual bool ReadLine(std::string* line) = 0;
  // After ReadLine returned false: OK at the end of the file, or the read error that
  // stopped it early.
  virtual Status status() const { return Status::OK(); }
  // The file's size in bytes when it was opened, and how many of its bytes the lines read so
  // far took; both 0 when not known.
  virtual std::uint64_t Size() const { return 0; }
  virtual std::uint64_t Position() const { return 0; }
};

// A file read at chosen offsets, for formats whose parts are found through offsets written in
// the file: only the bytes asked for are read.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // The size of the file when it was opened.
  virtual std::uint64_t Size() const = 0;
  // Reads up to `size` bytes from `offset` into `bytes`: fewer at the end of the file, none
  // from an offset at or past it.
  virtual Status ReadAt(std::uint64_t offset, std::size_t size, std::string* bytes) = 0;
};

// The bytes of a whole file in storage of their own, which is not cleared before the file is
// read into it: a large file costs one pass of the system's copy and nothing more.
struct FileBytes {
  struct Free {
    void operator()(char* bytes) const noexcept;
  };
  using Storage = std::unique_ptr<char[], Free>;
  // Storage for `size` bytes, not cleared. Large storage is asked for in the system's large
  // pages where it has them, so that filling it takes few page faults.
  static Storage Allocate(std::size_t size);

  Storage data;
  std::size_t size = 0;
  std::string_view view() const { return {data.get(), size}; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The native form of a script path; "" when it names an unmapped drive.
  virtual std::string ToNative(std::string_view path) = 0;

  virtual bool Exists(std::string_view path) = 0;  // a file or a folder
  virtual bool IsFile(std::string_view path) = 0;
  virtual bool IsDirectory(std::string_view path) = 0;

  // Names (without folder) of the entries matching the last component of pattern, which may
  // hold '*' and '?' (matched without regard to case); a pattern without wildcards names one
  // entry exactly. Sorted by name. Folders are listed only when include_dirs is true.
  virtual std::vector<std::string> List(std::string_view pattern, bool include_dirs) = 0;

  virtual Status ReadFile(std::string_view path, std::string* bytes) = 0;
  // The same into storage of its own. By default a copy of what ReadFile reads.
  virtual Status ReadFileBytes(std::string_view path, FileBytes* bytes);
  virtual Status OpenLines(std::string_view path, std::unique_ptr<InputFile>* file) = 0;
  virtual Status OpenRandomAccess(std::string_view path,
                                  std::unique_ptr<RandomAccessFile>* file) = 0;
  virtual Status WriteFile(std::string_view path, std::string_view bytes) = 0;
  virtual Status AppendFile(std::string_view path, std::string_view bytes) = 0;
  // Copies the file whole: written beside the target and renamed into place, with the source's
  // permission bits and times, so the target is never seen half written. `durable` also makes
  // the target's name survive a crash (its folder is flushed): a move needs that before it
  // deletes the source; a copy does not, since a crash leaves the old target or the new one.
  virtual Status CopyFile(std::string_view from, std::string_view to, bool overwrite,
                          bool durable) = 0;
  virtual Status DeleteFile(std::string_view path) = 0;
  virtual Status Rename(std::string_view from, std::string_view to) = 0;
  virtual Status MakeDirectory(std::string_view path) = 0;

  virtual std::string CurrentDirectory() = 0;
  // The program's own folder (MLX.txt, includes, the log, MLXBatch.bat, Pelsacord.mdb).
  virtual std::string ProgramDirectory() = 0;
  // The program's executable name without folder and extension.
  virtual std::string ProgramName() = 0;
};

struct FileSystemOptions {
  std::string program_directory;  // "" means the executable's folder
  std::string program_name = "marlovex";
  std::map<char, std::string> drives;
};
std::unique_ptr<FileSystem> MakeFileSystem(FileSystemOptions options);

}  // namespace mlx::fs
