#include "platform/text/system_case.h"

#include <locale.h>
#include <wctype.h>

namespace mlx::text {
namespace {

locale_t Utf8Locale() {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return utf8;
}

}  // namespace

bool HasSystemCase() {
  return Utf8Locale() != static_cast<locale_t>(0);
}

char32_t SystemCase(char32_t cp, bool upper) {
  const wint_t mapped = upper ? towupper_l(static_cast<wint_t>(cp), Utf8Locale())
                              : towlower_l(static_cast<wint_t>(cp), Utf8Locale());
  return static_cast<char32_t>(mapped);
}

}  // namespace mlx::text
