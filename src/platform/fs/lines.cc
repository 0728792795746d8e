#include "platform/fs/lines.h"

#include <algorithm>

#include "platform/fs/errors.h"
#include "platform/text/text.h"

namespace mlx::fs {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

ChunkedLines::ChunkedLines(std::string_view path) : path_(path), buffer_(kChunk) {}

bool ChunkedLines::ReadLine(std::string* line) {
  std::string raw;
  bool have_line = false;
  for (;;) {
    if (pos_ == size_) {
      if (at_end_ || !Fill()) break;
    }
    if (skip_lf_) {
      // The byte after a CR: an LF there completes the CR LF pair.
      skip_lf_ = false;
      if (buffer_[pos_] == '\n') {
        ++pos_;
        continue;
      }
    }
    const char* begin = buffer_.data() + pos_;
    const char* end = buffer_.data() + size_;
    const char* stop = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
    raw.append(begin, stop);
    have_line = true;
    if (stop == end) {
      pos_ = size_;
      continue;
    }
    skip_lf_ = *stop == '\r';
    pos_ = static_cast<std::size_t>(stop - buffer_.data()) + 1;
    break;
  }
  if (!have_line) return false;
  if (first_line_) {
    first_line_ = false;
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
  }
  *line = text::DecodeFileBytes(raw);
  return true;
}

bool ChunkedLines::Fill() {
  before_ += size_;
  int error = 0;
  const long n = ReadChunk(buffer_.data(), buffer_.size(), &error);
  if (n <= 0) {
    if (n < 0) status_ = AccessError(path_, "errore di lettura " + std::to_string(error));
    at_end_ = true;
    pos_ = size_ = 0;
    return false;
  }
  pos_ = 0;
  size_ = static_cast<std::size_t>(n);
  return true;
}

}  // namespace mlx::fs
