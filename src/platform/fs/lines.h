// A text file read line by line through a buffer of 64 KiB, whatever its size: the part of
// every platform's InputFile that splits and decodes lines. Each platform supplies the reads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

namespace mlx::fs {

class ChunkedLines : public InputFile {
 public:
  explicit ChunkedLines(std::string_view path);

  bool ReadLine(std::string* line) override;
  Status status() const override { return status_; }
  std::uint64_t Size() const override { return file_size_; }
  std::uint64_t Position() const override { return before_ + pos_; }

 protected:
  // Reads up to `size` bytes into `buffer`: how many (0 at the end), or -1 with *error set to
  // the system's code of the failure.
  virtual long ReadChunk(char* buffer, std::size_t size, int* error) = 0;
  void SetSize(std::uint64_t size) { file_size_ = size; }

 private:
  bool Fill();

  std::string path_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, size_ = 0;
  std::uint64_t before_ = 0;  // bytes of the chunks read before the one in the buffer
  std::uint64_t file_size_ = 0;
  bool at_end_ = false;
  bool skip_lf_ = false;
  bool first_line_ = true;
  Status status_;
};

}  // namespace mlx::fs
