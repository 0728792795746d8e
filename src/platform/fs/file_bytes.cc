// What every platform's file system shares of FileBytes and of the FileSystem interface.
#include <cstdlib>
#include <cstring>

#include "platform/fs/fs.h"

namespace mlx::fs {

void FileBytes::Free::operator()(char* bytes) const noexcept {
  std::free(bytes);
}

Status FileSystem::ReadFileBytes(std::string_view path, FileBytes* bytes) {
  std::string text;
  Status s = ReadFile(path, &text);
  if (!s.ok()) return s;
  bytes->data = FileBytes::Allocate(text.size());
  std::memcpy(bytes->data.get(), text.data(), text.size());
  bytes->size = text.size();
  return Status::OK();
}

}  // namespace mlx::fs
