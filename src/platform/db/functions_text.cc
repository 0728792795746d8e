// The text functions of Jet that queries call (Len, Left, Mid, InStr, UCase, Trim, Chr, StrComp,
// ..., and '&' joining texts), and Jet's LIKE: wildcards * ? # [list], also the % and _ of the
// ADO dialect, without regard to case.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/functions.h"
#include "platform/db/internal.h"
#include "platform/text/text.h"

namespace mlx::db::internal {

namespace {

// Whether a text of that many bytes may be made; if not, the function fails with the reason.
// The bound is the connection's own (kMaxValueBytes unless its owner set a smaller one), so
// that a text SQLite would refuse is never built first.
bool Fits(sqlite3_context* ctx, double bytes) {
  const int limit = sqlite3_limit(sqlite3_context_db_handle(ctx), SQLITE_LIMIT_LENGTH, -1);
  if (bytes <= static_cast<double>(limit)) return true;
  sqlite3_result_error(ctx, kValueTooLong, -1);
  return false;
}

void FnConcat(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0]) && IsNullArg(a[1])) return sqlite3_result_null(ctx);
  // Each operand is within the limit already; numbers become short texts.
  if (!Fits(ctx, static_cast<double>(sqlite3_value_bytes(a[0])) + sqlite3_value_bytes(a[1])))
    return;
  ResultText(ctx, TextOf(a[0]) + TextOf(a[1]));
}

void FnLen(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(text::Length(TextOf(a[0]))));
}

bool CountArg(sqlite3_context* ctx, sqlite3_value* v, std::int64_t* n) {
  double d = 0;
  if (!NumberOf(v, &d) || !(d >= 0)) {
    sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
    return false;
  }
  // No text is longer than this: a larger count means the same as this one, and the number
  // stays one that a 64-bit integer holds.
  constexpr double kLongest = 1e18;
  *n = static_cast<std::int64_t>(std::min(BankersRound(d), kLongest));
  return true;
}

void FnLeft(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t n;
  if (!CountArg(ctx, a[1], &n)) return;
  ResultText(ctx, text::Left(TextOf(a[0]), static_cast<std::size_t>(n)));
}

void FnRight(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t n;
  if (!CountArg(ctx, a[1], &n)) return;
  ResultText(ctx, text::Right(TextOf(a[0]), static_cast<std::size_t>(n)));
}

void FnMid(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::int64_t start, count = -1;
  if (!CountArg(ctx, a[1], &start)) return;
  if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  if (argc > 2 && !CountArg(ctx, a[2], &count)) return;
  ResultText(ctx, text::Mid(TextOf(a[0]), static_cast<std::size_t>(start - 1),
                            count < 0 ? std::string_view::npos : static_cast<std::size_t>(count)));
}

void FnInstr(sqlite3_context* ctx, int argc, sqlite3_value** a) {
  std::int64_t start = 1;
  int base = 0;
  if (argc >= 3) {
    if (!CountArg(ctx, a[0], &start)) return;
    if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
    base = 1;
  }
  if (IsNullArg(a[base]) || IsNullArg(a[base + 1])) return sqlite3_result_null(ctx);
  std::string hay = text::FoldKey(TextOf(a[base]));
  std::string needle = text::FoldKey(TextOf(a[base + 1]));
  std::string tail = text::Mid(hay, static_cast<std::size_t>(start - 1));
  std::size_t skipped = hay.size() - tail.size();
  std::size_t at = tail.find(needle);
  if (at == std::string::npos) return sqlite3_result_int64(ctx, 0);
  sqlite3_result_int64(
      ctx, static_cast<std::int64_t>(text::Length(std::string_view(hay).substr(0, skipped + at)) + 1));
}

void FnUcase(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, text::ToUpper(TextOf(a[0])));
}

void FnLcase(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, text::ToLower(TextOf(a[0])));
}

template <bool kLeft, bool kRight>
void FnTrim(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0])) return sqlite3_result_null(ctx);
  std::string s = TextOf(a[0]);
  std::size_t b = 0, e = s.size();
  if (kLeft) while (b < e && s[b] == ' ') ++b;
  if (kRight) while (e > b && s[e - 1] == ' ') --e;
  ResultText(ctx, s.substr(b, e - b));
}

void FnSpace(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::int64_t n;
  if (!CountArg(ctx, a[0], &n) || !Fits(ctx, static_cast<double>(n))) return;
  ResultText(ctx, std::string(static_cast<std::size_t>(n), ' '));
}

void FnChr(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::int64_t n;
  if (!CountArg(ctx, a[0], &n)) return;
  if (n > 255) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  std::string latin1(1, static_cast<char>(n));
  ResultText(ctx, text::Cp1252ToUtf8(latin1));
}

void FnAsc(sqlite3_context* ctx, int, sqlite3_value** a) {
  std::string s = TextOf(a[0]);
  if (s.empty()) return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
  unsigned char c = static_cast<unsigned char>(s[0]);
  std::int64_t cp = c;
  if (c >= 0xC0 && s.size() >= 2) cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(s[1]) & 0x3F);
  sqlite3_result_int64(ctx, cp);
}

void FnStrComp(sqlite3_context* ctx, int, sqlite3_value** a) {
  if (IsNullArg(a[0]) || IsNullArg(a[1])) return sqlite3_result_null(ctx);
  int c = text::FoldKey(TextOf(a[0])).compare(text::FoldKey(TextOf(a[1])));
  sqlite3_result_int(ctx, c < 0 ? -1 : (c > 0 ? 1 : 0));
}

// ---- LIKE

// The SQL pattern as the scripts' pattern match reads it: '%' and '_' outside a list are the
// same wildcards as '*' and '?'.
std::string LikePattern(std::string pattern) {
  bool in_list = false;
  for (char& c : pattern) {
    if (in_list) {
      in_list = c != ']';
    } else if (c == '[') {
      in_list = true;
    } else if (c == '%') {
      c = '*';
    } else if (c == '_') {
      c = '?';
    }
  }
  return pattern;
}

void FnLike(sqlite3_context* ctx, int, sqlite3_value** a) {
  // like(pattern, value): the LIKE operator calls it with the pattern first.
  if (IsNullArg(a[0]) || IsNullArg(a[1])) return sqlite3_result_null(ctx);
  // Texts compare without regard to case, as Jet compares them; the match itself is the
  // scripts' one, whose time never grows with the number of ways the stars could be placed.
  const std::string pattern = LikePattern(text::FoldKey(TextOf(a[0])));
  sqlite3_result_int(ctx, text::Like(text::FoldKey(TextOf(a[1])), pattern) ? 1 : 0);
}

constexpr FunctionRow kTextFunctions[] = {
    {"jet_concat", 2, FnConcat, true},
    {"jet_len", 1, FnLen, true},
    {"jet_left", 2, FnLeft, true},
    {"jet_right", 2, FnRight, true},
    {"jet_mid", 2, FnMid, true},
    {"jet_mid", 3, FnMid, true},
    {"jet_instr", 2, FnInstr, true},
    {"jet_instr", 3, FnInstr, true},
    {"jet_instr", 4, FnInstr, true},
    {"jet_ucase", 1, FnUcase, true},
    {"jet_lcase", 1, FnLcase, true},
    {"jet_trim", 1, FnTrim<true, true>, true},
    {"jet_ltrim", 1, FnTrim<true, false>, true},
    {"jet_rtrim", 1, FnTrim<false, true>, true},
    {"jet_space", 1, FnSpace, true},
    {"jet_chr", 1, FnChr, true},
    {"jet_asc", 1, FnAsc, true},
    {"jet_strcomp", 2, FnStrComp, true},
    {"jet_strcomp", 3, FnStrComp, true},
    {"like", 2, FnLike, true},
};

}  // namespace

std::span<const FunctionRow> TextFunctions() { return kTextFunctions; }

}  // namespace mlx::db::internal
