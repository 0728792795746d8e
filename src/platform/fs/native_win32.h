// Native paths on Windows: UTF-8 inside the program, UTF-16 at the system's calls, with the
// "\\?\" prefix that lifts the 260-character limit where a path needs it.
#pragma once

#include <string>

#include "platform/text/wide.h"

namespace mlx::fs {

// The wide form of a native path for a system call: separators as "\", and a full path with
// the "\\?\" (or "\\?\UNC\") prefix when it is long. A path that cannot be converted is passed
// on as written, for the call to refuse it.
std::wstring WidePath(const std::string& native);

// The errno code nearest to a Windows error, so that every platform's failures reach the
// same script errors.
int ErrnoFromWindows(DWORD error);

// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Handle() { reset(); }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

}  // namespace mlx::fs
