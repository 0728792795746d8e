#include "platform/text/system_case.h"

#include <windows.h>

namespace mlx::text {

bool HasSystemCase() {
  return true;
}

// The invariant locale's simple mapping, the one the file system's own case rules follow. A
// mapping that changes the length (none does for a single code point there) keeps the original.
char32_t SystemCase(char32_t cp, bool upper) {
  wchar_t in[2];
  int units = 1;
  if (cp >= 0x10000) {
    in[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    in[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    units = 2;
  } else {
    in[0] = static_cast<wchar_t>(cp);
  }
  wchar_t out[4];
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, upper ? LCMAP_UPPERCASE : LCMAP_LOWERCASE,
                              in, units, out, 4, nullptr, nullptr, 0);
  if (n != units) return cp;
  if (n == 1) return static_cast<char32_t>(out[0]);
  if (out[0] < 0xD800 || out[0] >= 0xDC00 || out[1] < 0xDC00 || out[1] >= 0xE000) return cp;
  return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) +
         (static_cast<char32_t>(out[1]) - 0xDC00);
}

}  // namespace mlx::text
