#include "platform/text/text.h"

#include "platform/text/system_case.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace mlx::text {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined,
// which are kept as the C1 control of the same value.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Length in bytes of the UTF-8 sequence that starts with byte b (1 for anything invalid, so
// that slicing never stalls on malformed text).
std::size_t SequenceLength(unsigned char b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  if (b < 0xF8) return 4;
  return 1;
}

// Decodes the UTF-8 sequence at s[i]; false when no valid sequence starts there.
bool DecodeAt(std::string_view s, std::size_t i, char32_t* cp, std::size_t* len) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  *len = SequenceLength(c);
  *cp = *len == 2 ? c & 0x1F : *len == 3 ? c & 0x0F : c & 0x07;
  bool valid = *len > 1 && i + *len <= s.size();
  for (std::size_t k = 1; valid && k < *len; ++k) {
    const unsigned char d = static_cast<unsigned char>(s[i + k]);
    valid = (d & 0xC0) == 0x80;
    *cp = (*cp << 6) | (d & 0x3F);
  }
  // An overlong form (C0 A3 for '#'), a surrogate or a value past U+10FFFF is no character:
  // taken as one it would be a second spelling of another, a '#' or '/' in disguise.
  if (valid) {
    const char32_t least = *len == 2 ? 0x80 : *len == 3 ? 0x800 : 0x10000;
    valid = *cp >= least && *cp <= 0x10FFFF && (*cp < 0xD800 || *cp > 0xDFFF);
  }
  return valid;
}

// Byte offset of code point index `index` (s.size() when past the end).
std::size_t ByteOffset(std::string_view s, std::size_t index) {
  std::size_t pos = 0;
  while (index > 0 && pos < s.size()) {
    pos += SequenceLength(static_cast<unsigned char>(s[pos]));
    --index;
  }
  return pos < s.size() ? pos : s.size();
}

// Upper case of Latin-1 letters (U+00E0..U+00FE, two-byte sequences C3 A0..C3 BE) and ASCII.
std::string MapUpper(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      unsigned char d = static_cast<unsigned char>(out[i + 1]);
      // U+00F7 (division sign) has no partner; U+00DF (sharp s) has no single upper case.
      if (d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
      ++i;
    }
  }
  return out;
}

}  // namespace

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    // Runs of ASCII, the bulk of a script, are passed over eight bytes at a time.
    while (i + 8 <= bytes.size()) {
      std::uint64_t block;
      std::memcpy(&block, bytes.data() + i, sizeof block);
      if ((block & 0x8080808080808080ull) != 0) break;
      i += 8;
    }
    if (i + 8 > bytes.size() && bytes.size() >= 8) {
      // Fewer than eight bytes left: the text's last word holds them, and when it is ASCII so
      // are they.
      std::uint64_t block;
      std::memcpy(&block, bytes.data() + bytes.size() - 8, sizeof block);
      if ((block & 0x8080808080808080ull) == 0) break;
    }
    if (i >= bytes.size()) break;
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > bytes.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
    } else if (c < 0xA0) {
      char32_t cp = kCp1252High[c - 0x80];
      AppendUtf8(&out, cp != 0 ? cp : c);
    } else {
      AppendUtf8(&out, c);
    }
  }
  return out;
}

bool Utf16LeToUtf8(std::string_view in, std::string* out) {
  if (in.size() % 2 != 0) return false;
  auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
  };
  for (std::size_t i = 0; i < in.size(); i += 2) {
    std::uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp < 0xDC00) {
      if (i + 3 >= in.size()) return false;
      std::uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low >= 0xE000) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (cp >= 0xDC00 && cp < 0xE000) {
      return false;
    }
    AppendUtf8(out, static_cast<char32_t>(cp));
  }
  return true;
}

std::optional<std::string_view> Utf8FileText(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) return std::nullopt;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return bytes;
}

std::string_view DecodeFileBytesView(std::string_view bytes, std::string* decoded) {
  const std::optional<std::string_view> utf8 = Utf8FileText(bytes);
  if (utf8 && IsValidUtf8(bytes)) return *utf8;
  if (!utf8) {
    decoded->clear();
    if (Utf16LeToUtf8(bytes.substr(2), decoded)) return *decoded;
  }
  *decoded = Cp1252ToUtf8(bytes);
  return *decoded;
}

void DecodeFileBytesInPlace(std::string* bytes) {
  std::string decoded;
  const std::string_view text = DecodeFileBytesView(*bytes, &decoded);
  if (text.data() == decoded.data()) {
    *bytes = std::move(decoded);
  } else {
    bytes->erase(0, static_cast<std::size_t>(text.data() - bytes->data()));
  }
}

std::string DecodeFileBytes(std::string_view bytes) {
  std::string text(bytes);
  DecodeFileBytesInPlace(&text);
  return text;
}

std::size_t Length(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < s.size(); ++n) {
    pos += SequenceLength(static_cast<unsigned char>(s[pos]));
  }
  return n;
}

std::string Left(std::string_view s, std::size_t count) {
  return std::string(s.substr(0, ByteOffset(s, count)));
}

std::string Right(std::string_view s, std::size_t count) {
  std::size_t len = Length(s);
  if (count >= len) return std::string(s);
  return std::string(s.substr(ByteOffset(s, len - count)));
}

std::string Mid(std::string_view s, std::size_t start, std::size_t count) {
  std::size_t from = ByteOffset(s, start);
  std::string_view rest = s.substr(from);
  if (count == std::string_view::npos) return std::string(rest);
  return std::string(rest.substr(0, ByteOffset(rest, count)));
}

std::string_view FirstView(std::string_view s) {
  if (s.empty()) return s;
  return s.substr(0, std::min(s.size(), SequenceLength(static_cast<unsigned char>(s[0]))));
}

std::string First(std::string_view s) {
  return std::string(FirstView(s));
}

std::string_view InnerView(std::string_view s) {
  // One walk over the characters: where the second begins and where the last begins.
  std::size_t second = 0, last = 0, n = 0;
  for (std::size_t pos = 0; pos < s.size(); ++n) {
    last = pos;
    pos += SequenceLength(static_cast<unsigned char>(s[pos]));
    if (n == 0) second = pos;
  }
  if (n < 2) return {};
  return s.substr(second, last - second);
}

namespace {

// Case change of every letter Unicode gives a single case partner (Latin-1, Latin Extended,
// Greek, Cyrillic, ...) through the system's character tables; without them, ASCII and
// Latin-1 only. A character without a partner, and bytes that are not UTF-8, stay as they are.
template <bool kUpper>
std::string ChangeCase(std::string_view s) {
  if (!HasSystemCase()) return kUpper ? MapUpper(s) : FoldKey(s);
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t len;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(kUpper ? (c >= 'a' && c <= 'z' ? c - 32 : c)
                                             : (c >= 'A' && c <= 'Z' ? c + 32 : c)));
      ++i;
      continue;
    }
    if (!DecodeAt(s, i, &cp, &len)) {  // not UTF-8: the byte stays as it is
      out.push_back(s[i]);
      ++i;
      continue;
    }
    const char32_t mapped = SystemCase(cp, kUpper);
    if (mapped == cp) {
      out.append(s.substr(i, len));
    } else {
      AppendUtf8(&out, mapped);
    }
    i += len;
  }
  return out;
}

}  // namespace

std::string ToUpper(std::string_view s) {
  return ChangeCase<true>(s);
}
std::string ToLower(std::string_view s) {
  return ChangeCase<false>(s);
}
std::string FoldKey(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (FoldReader lettore(s); !lettore.Done();) out.push_back(lettore.Next());
  return out;
}

std::string Inner(std::string_view s) {
  return std::string(InnerView(s));
}
bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FoldKey(a) == FoldKey(b);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::string p = FoldKey(pattern);
  std::string n = FoldKey(name);
  // Iterative match with backtracking to the last '*'; '?' takes one whole character.
  std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '?') {
      ++pi;
      ni += SequenceLength(static_cast<unsigned char>(n[ni]));
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() && p[pi] == n[ni]) {
      ++pi;
      ++ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      mark += SequenceLength(static_cast<unsigned char>(n[mark]));
      ni = mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

namespace {

// The code points of a text; a byte that does not start a valid UTF-8 sequence stands for
// itself, so that any text can be matched.
std::u32string CodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp;
    std::size_t len;
    if (DecodeAt(s, i, &cp, &len)) {
      out.push_back(cp);
      i += len;
    } else {
      out.push_back(static_cast<unsigned char>(s[i]));
      ++i;
    }
  }
  return out;
}

// One element of a pattern: a run of any characters, or a test of exactly one character.
struct LikeToken {
  enum Kind { kStar, kAny, kDigit, kList, kChar };
  Kind kind = kChar;
  char32_t ch = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // of a list

  bool Matches(char32_t c) const {
    switch (kind) {
      case kAny:
        return true;
      case kDigit:
        return c >= U'0' && c <= U'9';
      case kList: {
        const bool in = std::any_of(ranges.begin(), ranges.end(),
                                    [c](const auto& r) { return c >= r.first && c <= r.second; });
        return in != negated;
      }
      case kChar:
        return c == ch;
      case kStar:
        break;
    }
    return false;
  }
};

std::vector<LikeToken> ParseLike(const std::u32string& p) {
  std::vector<LikeToken> tokens;
  for (std::size_t i = 0; i < p.size();) {
    LikeToken t;
    const char32_t c = p[i];
    std::size_t close = std::u32string::npos;
    if (c == U'[') close = p.find(U']', i + 1);
    if (c == U'*') {
      ++i;
      // Stars in a row are one star.
      if (!tokens.empty() && tokens.back().kind == LikeToken::kStar) continue;
      t.kind = LikeToken::kStar;
    } else if (c == U'?' || c == U'#') {
      t.kind = c == U'?' ? LikeToken::kAny : LikeToken::kDigit;
      ++i;
    } else if (close != std::u32string::npos) {
      t.kind = LikeToken::kList;
      std::u32string_view body(p.data() + i + 1, close - i - 1);
      if (!body.empty() && body[0] == U'!') {
        t.negated = true;
        body.remove_prefix(1);
      }
      for (std::size_t j = 0; j < body.size();) {
        if (j + 2 < body.size() && body[j + 1] == U'-') {
          t.ranges.emplace_back(body[j], body[j + 2]);
          j += 3;
        } else {
          t.ranges.emplace_back(body[j], body[j]);
          ++j;
        }
      }
      i = close + 1;
    } else {
      t.ch = c;
      ++i;
    }
    tokens.push_back(std::move(t));
  }
  return tokens;
}

// Whether the tokens (none of them a star) match the characters that start at `at`.
bool MatchesHere(const LikeToken* tokens, std::size_t count, const char32_t* at) {
  for (std::size_t k = 0; k < count; ++k) {
    if (!tokens[k].Matches(at[k])) return false;
  }
  return true;
}

}  // namespace

bool Like(std::string_view text, std::string_view pattern) {
  const std::u32string t = CodePoints(text);
  const std::vector<LikeToken> p = ParseLike(CodePoints(pattern));
  const auto IsStar = [](const LikeToken& k) { return k.kind == LikeToken::kStar; };
  const auto first_star = std::find_if(p.begin(), p.end(), IsStar);
  if (first_star == p.end())
    return p.size() == t.size() && MatchesHere(p.data(), p.size(), t.data());

  // Every token but a star takes one character, so the pieces before the first star and after
  // the last are anchored at the ends of the text. Each piece between stars is then taken at
  // its leftmost place after the one before: a later place could only leave less room for the
  // rest, so no choice is ever taken back.
  const std::size_t head = static_cast<std::size_t>(first_star - p.begin());
  const std::size_t last_star =
      static_cast<std::size_t>(p.rend() - std::find_if(p.rbegin(), p.rend(), IsStar) - 1);
  const std::size_t tail = p.size() - last_star - 1;
  if (t.size() < head + tail) return false;
  if (!MatchesHere(p.data(), head, t.data())) return false;
  const std::size_t end = t.size() - tail;
  if (!MatchesHere(p.data() + last_star + 1, tail, t.data() + end)) return false;

  std::size_t pos = head;
  for (std::size_t k = head; k < last_star;) {
    ++k;  // past the star
    std::size_t len = 0;
    while (k + len < last_star && !IsStar(p[k + len])) ++len;
    if (len > 0) {
      std::size_t at = pos;
      while (at + len <= end && !MatchesHere(p.data() + k, len, t.data() + at)) ++at;
      if (at + len > end) return false;
      pos = at + len;
    }
    k += len;
  }
  return true;
}

}  // namespace mlx::text
