// Text across the Windows API boundary: UTF-8 inside the program, UTF-16 at the wide-character
// functions. Included by the Windows implementations of the services only.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// The system's headers turn these names into their wide forms; the platform interfaces have
// methods and functions of the same names, which must keep them in every file. The system's
// functions are called by their wide names.
#undef MessageBox
#undef CopyFile
#undef DeleteFile
#undef ReplaceFile

#include <string>
#include <string_view>

namespace mlx::text {

// The UTF-16 form of UTF-8 text; false (and *out empty) when the text is not valid UTF-8, so
// that a damaged name is refused rather than turned into another one.
inline bool ToWide(std::string_view utf8, std::wstring* out) {
  out->clear();
  if (utf8.empty()) return true;
  const int size = static_cast<int>(utf8.size());
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, out->data(), n);
  return true;
}

// The same for text known to be UTF-8 (an invalid sequence becomes U+FFFD).
inline std::wstring ToWide(std::string_view utf8) {
  std::wstring out;
  if (utf8.empty()) return out;
  const int size = static_cast<int>(utf8.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return out;
}

// The UTF-8 form of UTF-16 text; an unpaired surrogate becomes U+FFFD.
inline std::string FromWide(std::wstring_view wide) {
  std::string out;
  if (wide.empty()) return out;
  const int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

// The system's own text for an error code, without its closing line break and full stop; ""
// when the system has none.
inline std::string SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string message = n > 0 ? FromWide(std::wstring_view(buffer, n)) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace mlx::text
