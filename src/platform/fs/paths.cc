// Script-path helpers: pure text, no file system access.
#include <cctype>

#include "platform/fs/fs.h"

namespace mlx::fs {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

std::size_t LastSeparator(std::string_view path) {
  return path.find_last_of("\\/");
}

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.';
}

std::string Join(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string joined(folder);
  if (!IsSeparator(folder.back())) {
    joined.push_back(folder.find('\\') != std::string_view::npos ? '\\' : '/');
  }
  joined.append(name);
  return joined;
}

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::map<char, std::string> ParseDriveMap(std::string_view mapping) {
  // Entries "C=/srv/c" separated by ';'. The letter may be written "C:" too. Entries that are
  // not a single letter with a non-empty folder are ignored; a later entry for the same
  // letter replaces an earlier one.
  std::map<char, std::string> drives;
  while (!mapping.empty()) {
    std::size_t end = mapping.find(';');
    std::string_view entry = mapping.substr(0, end);
    mapping = end == std::string_view::npos ? std::string_view() : mapping.substr(end + 1);

    std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view letter = Trim(entry.substr(0, eq));
    std::string folder(Trim(entry.substr(eq + 1)));
    if (letter.size() == 2 && letter[1] == ':') letter.remove_suffix(1);
    if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) continue;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) continue;
    drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])))] = folder;
  }
  return drives;
}

}  // namespace mlx::fs
