// UTF-8 text as the Windows wide-character calls take it (UTF-16 in wchar_t), and back.
#pragma once

#include <string>
#include <string_view>

#include "platform/text/text.h"

namespace mlx::text {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace mlx::text
