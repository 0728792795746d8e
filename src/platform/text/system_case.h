// The system's character tables for case changes beyond ASCII: the C library's UTF-8 locale
// on POSIX, the invariant locale's mapping on Windows.
#pragma once

namespace mlx::text {

// Whether the system has the tables (else only ASCII and Latin-1 letters change case).
bool HasSystemCase();
// The single upper (or lower) case partner of a code point, or the code point itself.
char32_t SystemCase(char32_t cp, bool upper);

}  // namespace mlx::text
