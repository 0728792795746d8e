// Text handling shared by every subsystem. Text inside the program is UTF-8; a character is a
// code point. Case folding covers ASCII and Latin-1 letters.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mlx::text {

// Bytes of a script or data file as text: valid UTF-8 stays (a leading byte-order mark is
// dropped); anything else is decoded as Windows-1252.
std::string DecodeFileBytes(std::string_view bytes);
// The same, in place: valid UTF-8 (the common case) is not copied. A whole file that begins
// with the UTF-16LE byte-order mark and is valid UTF-16 (as editors save "Unicode" text) is
// decoded from UTF-16.
void DecodeFileBytesInPlace(std::string* bytes);
// UTF-16LE (without its byte-order mark) appended to *out as UTF-8; false for an odd number of
// bytes or an unpaired surrogate.
bool Utf16LeToUtf8(std::string_view in, std::string* out);
// The same without a copy when the bytes are valid UTF-8: a view of them (after a byte-order
// mark); otherwise they are decoded into `*decoded` and the view is of that.
std::string_view DecodeFileBytesView(std::string_view bytes, std::string* decoded);
// What DecodeFileBytesView answers for the bytes when they turn out to be valid UTF-8 (the
// bytes after a byte-order mark), for a reader that checks them as it goes; nullopt for bytes
// that are decoded whatever they hold (those that begin with the UTF-16LE byte-order mark).
std::optional<std::string_view> Utf8FileText(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string* out, char32_t cp);
std::string Cp1252ToUtf8(std::string_view bytes);
// Code-point counting and slicing. Positions are 0-based code-point indexes.
std::size_t Length(std::string_view s);
std::string Left(std::string_view s, std::size_t count);
std::string Right(std::string_view s, std::size_t count);
std::string Mid(std::string_view s, std::size_t start, std::size_t count = std::string_view::npos);
// The first character (code point) of s, or "" when s is empty.
std::string First(std::string_view s);
// The same, as a view into s.
std::string_view FirstView(std::string_view s);
// s without its first and last character ("" when s has fewer than two characters).
std::string Inner(std::string_view s);
// The same, as a view into s.
std::string_view InnerView(std::string_view s);

// Case mapping of every letter with a single upper or lower case partner (the whole of
// Latin-1, other Latin, Greek, Cyrillic, ...); every other character is kept.
std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
// The key under which a text is compared without regard to case: ASCII and Latin-1 letters
// folded, so that keys compare as the scripts' keyed collections do.
std::string FoldKey(std::string_view s);

// Reads a text byte by byte as FoldKey folds it, so that a key can be hashed or compared without
// building its folded copy. Folding keeps the length: byte i of the key is the i-th byte read.
class FoldReader {
 public:
  explicit FoldReader(std::string_view s) : s_(s) {}
  bool Done() const { return i_ >= s_.size(); }
  char Next() {
    const unsigned char c = static_cast<unsigned char>(s_[i_++]);
    if (latin1_) {
      // The byte after C3: capitals U+00C0..U+00DE (except U+00D7, the multiplication sign)
      // become U+00E0..U+00FE.
      latin1_ = false;
      return static_cast<char>(c >= 0x80 && c <= 0x9E && c != 0x97 ? c + 0x20 : c);
    }
    if (c < 0x80) return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    latin1_ = c == 0xC3 && i_ < s_.size();
    return static_cast<char>(c);
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
  bool latin1_ = false;  // the next byte is the second of a Latin-1 letter
};
bool EqualsNoCase(std::string_view a, std::string_view b);

// Wildcard match of a file name: '*' any run, '?' one character, without regard to case.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The scripts' pattern match, case-sensitive and by character (code point): '*' any run of
// characters (none too), '?' any one character, '#' one digit 0-9, "[list]" one character of
// the list and "[!list]" one not in it; a list holds characters and ranges "a-z" (a '-' first or
// last is itself; a range written backwards holds nothing; "[]" matches no character). A '['
// without a ']' after it, and a ']' outside a list, match themselves. The time taken grows with
// the length of the text, never with the number of ways the stars could be placed.
bool Like(std::string_view text, std::string_view pattern);

}  // namespace mlx::text
