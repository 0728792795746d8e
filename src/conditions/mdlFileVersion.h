// File versions: the version information of a Windows executable or library as the scripts see
// it, and the comparison of two dotted version texts component by component.
#pragma once

#include <string>
#include <string_view>

namespace mlx {

namespace fs {
class FileSystem;
class RandomAccessFile;
}  // namespace fs

struct FileVersionData {
  bool Found = false;                // the file has a version resource
  std::string StructVersion;         // high half "." low half of the structure version
  std::string FileVersionNumber;     // four numbers joined by "."
  std::string ProductVersionNumber;  // four numbers joined by "."
  std::string FlagNames;             // the names of the flags set, each followed by a blank
  std::string OSName;
  std::string TypeName;
  std::string SubtypeName;  // drivers only
};

// Fills the record from the file's version resource. A missing file, a folder, a file that is
// not an executable or library, or one whose version resource is missing or damaged sets Found
// to false and leaves the other fields as they were.
void ReadFileVersionInfo(fs::FileSystem& fileSystem, std::string_view path, FileVersionData& data);
void ReadFileVersionInfo(fs::RandomAccessFile& file, FileVersionData& data);

// The file's version number ("1.0.-1.2"), or "" when it has none.
std::string FileVersionText(fs::FileSystem& fileSystem, std::string_view path);

// The greater of two version components, x when they are equal: as 32-bit integers when both
// are numbers (a component outside that range is an overflow error), otherwise as texts,
// character code by character code.
std::string GreaterComponent(const std::string& x, const std::string& y);

// The greater of two version texts whose components are separated by `sep`; always one of the
// two arguments. An empty version is older than any other; when the common components are
// equal the version with more components is the greater; texts that differ only in how equal
// numbers are written ("2" and "02") give the first argument.
std::string GreaterVersion(const std::string& a, const std::string& b, std::string_view sep);

}  // namespace mlx
