// The type table: Jet type names, the ADO code and size that Jet reports for each, and the
// SQLite declared type that keeps the Jet type readable and gives the right storage affinity.
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/db/internal.h"

namespace mlx::db::internal {

namespace {

constexpr long kMemoSize = 536870910;
constexpr long kLongBinarySize = 1073741823;

JetType Make(std::string decl, int ado, long size, bool text = false) {
  JetType t;
  t.decl = std::move(decl);
  t.ado = ado;
  t.size = size;
  t.text = text;
  t.nocase = text;
  return t;
}

// Reads "(a)" or "(a, b)" at tokens[*pos]; numbers may be signed. Returns how many were read.
int ReadNumbers(const std::vector<Token>& tokens, std::size_t* pos, long long* a, long long* b) {
  std::size_t i = *pos;
  if (i >= tokens.size() || !tokens[i].IsOp("(")) return 0;
  ++i;
  long long values[2] = {0, 0};
  int count = 0;
  while (i < tokens.size() && count < 2) {
    bool negative = false;
    if (tokens[i].IsOp("-")) {
      negative = true;
      ++i;
    }
    if (i >= tokens.size() || tokens[i].type != TokType::kNumber) return -1;
    const std::string& digits = tokens[i].text;
    if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    // A number past a 64-bit integer is no size, precision or seed of any type.
    long long value = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc()) {
      return -1;
    }
    values[count++] = negative ? -value : value;
    ++i;
    if (i < tokens.size() && tokens[i].IsOp(",")) {
      ++i;
      continue;
    }
    break;
  }
  if (i >= tokens.size() || !tokens[i].IsOp(")")) return -1;
  *pos = i + 1;
  *a = values[0];
  *b = values[1];
  return count;
}

// The name of the type at tokens[*i], in upper case, its words of more than one (NATIONAL
// CHARACTER VARYING, DOUBLE PRECISION, ...) read as one; false when there is no type name.
bool ReadTypeName(const std::vector<Token>& tokens, std::size_t* i, std::string* w) {
  if (*i >= tokens.size() || tokens[*i].type != TokType::kWord) return false;
  *w = Upper(tokens[*i].text);
  ++*i;
  auto next_is = [&](std::string_view word) {
    if (*i < tokens.size() && tokens[*i].IsWord(word)) {
      ++*i;
      return true;
    }
    return false;
  };
  if (*w == "NATIONAL") {
    if (!(next_is("CHAR") || next_is("CHARACTER"))) return false;
    *w = next_is("VARYING") ? "VARCHAR" : "CHAR";
  } else if (*w == "CHARACTER" || *w == "CHAR") {
    if (next_is("VARYING")) *w = "VARCHAR";
  } else if (*w == "DOUBLE") {
    next_is("PRECISION");
  }
  return true;
}

// The Jet types that take no size or precision, by the names scripts give them.
struct PlainType {
  std::array<std::string_view, 5> names;
  const char* decl;
  int ado;
  long size;
  bool text;
};

constexpr PlainType kPlainTypes[] = {
    {{"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT"}, "TEXT", kAdLongVarWChar, kMemoSize, true},
    {{"BYTE", "TINYINT", "INTEGER1"}, "TINYINT", kAdUnsignedTinyInt, 1, false},
    {{"SHORT", "SMALLINT", "INTEGER2"}, "SMALLINT", kAdSmallInt, 2, false},
    {{"LONG", "INT", "INTEGER", "INTEGER4"}, "INT", kAdInteger, 4, false},
    {{"SINGLE", "REAL", "FLOAT4", "IEEESINGLE"}, "FLOAT4", kAdSingle, 4, false},
    {{"DOUBLE", "FLOAT", "FLOAT8", "NUMBER", "IEEEDOUBLE"}, "DOUBLE", kAdDouble, 8, false},
    {{"CURRENCY", "MONEY"}, "CURRENCY", kAdCurrency, 8, false},
    {{"DATETIME", "DATE", "TIME", "TIMESTAMP"}, "DATETIME", kAdDate, 8, false},
    {{"YESNO", "BIT", "LOGICAL", "LOGICAL1", "BOOLEAN"}, "BOOLEAN", kAdBoolean, 2, false},
    {{"LONGBINARY", "OLEOBJECT", "GENERAL", "IMAGE"}, "BLOB", kAdLongVarBinary, kLongBinarySize,
     false},
    {{"GUID", "UNIQUEIDENTIFIER"}, "GUIDTEXT", kAdGuid, 16, false},
    {{"BIGINT"}, "BIGINT", kAdBigInt, 8, false},
};

bool IsOneOf(const std::string& w, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), w) != names.end();
}

// The type named w with the n numbers a, b that followed its name in parentheses.
bool MakeJetType(const std::string& w, int n, long long a, long long b, JetType* type) {
  if (IsOneOf(w, {"TEXT", "VARCHAR", "NVARCHAR", "STRING", "ALPHANUMERIC", "CHAR", "NCHAR"})) {
    if (n == 0 && w == "TEXT") {
      *type = Make("TEXT", kAdLongVarWChar, kMemoSize, true);
      return true;
    }
    long size = n == 0 ? 255 : static_cast<long>(a);
    if (n > 1 || size < 1 || size > 255) return false;
    bool fixed = w == "CHAR" || w == "NCHAR";
    *type = Make((fixed ? "CHAR(" : "VARCHAR(") + std::to_string(size) + ")",
                 fixed ? kAdWChar : kAdVarWChar, size, true);
    return true;
  }
  if (IsOneOf(w, {"COUNTER", "AUTOINCREMENT", "IDENTITY"})) {
    if (n != 0 && n != 2) return false;
    *type = Make("INT", kAdInteger, 4);
    type->counter = true;
    if (n == 2) {
      type->seed = a;
      type->increment = b == 0 ? 1 : b;
    }
    return true;
  }
  if (IsOneOf(w, {"DECIMAL", "NUMERIC", "DEC"})) {
    long long precision = n >= 1 ? a : 18, scale = n == 2 ? b : 0;
    if (precision < 1 || precision > 28 || scale < 0 || scale > precision) return false;
    *type = Make("DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")",
                 kAdNumeric, 19);
    return true;
  }
  if (IsOneOf(w, {"BINARY", "VARBINARY"})) {
    long size = n == 0 ? 510 : static_cast<long>(a);
    if (n > 1 || size < 1 || size > 510) return false;
    *type = Make("BLOB(" + std::to_string(size) + ")", kAdBinary, size);
    return true;
  }
  for (const PlainType& plain : kPlainTypes) {
    if (std::find(plain.names.begin(), plain.names.end(), w) == plain.names.end()) continue;
    if (n != 0) return false;
    *type = Make(plain.decl, plain.ado, plain.size, plain.text);
    return true;
  }
  return false;
}

}  // namespace

bool ParseJetType(const std::vector<Token>& tokens, std::size_t* pos, JetType* type) {
  std::size_t i = *pos;
  std::string w;
  if (!ReadTypeName(tokens, &i, &w)) return false;
  long long a = 0, b = 0;
  int n = ReadNumbers(tokens, &i, &a, &b);
  if (n < 0 || !MakeJetType(w, n, a, b, type)) return false;
  *pos = i;
  return true;
}

JetType TypeFromDecl(std::string_view decl) {
  std::string u = Upper(decl);
  std::string base = u.substr(0, u.find('('));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  long size = -1;
  std::size_t open = u.find('(');
  if (open != std::string::npos) {
    std::size_t k = open + 1;
    while (k < u.size() && u[k] == ' ') ++k;
    if (k < u.size() && std::isdigit(static_cast<unsigned char>(u[k]))) {
      // A declared size past what a long holds (another tool's table) limits nothing.
      const char* end = u.data() + u.size();
      if (std::from_chars(u.data() + k, end, size).ec == std::errc::result_out_of_range) {
        size = LONG_MAX;
      }
    }
  }
  if (base == "VARCHAR" || base == "NVARCHAR" || base == "CHARACTER VARYING" ||
      base == "VARYING CHARACTER" || base == "NATIONAL VARYING CHARACTER" ||
      (base == "TEXT" && size > 0)) {
    return Make(u, kAdVarWChar, size > 0 ? size : 255, true);
  }
  if (base == "CHAR" || base == "NCHAR" || base == "CHARACTER" || base == "NATIVE CHARACTER") {
    return Make(u, kAdWChar, size > 0 ? size : 255, true);
  }
  if (base == "TEXT" || base == "CLOB" || base == "MEMO" || base == "LONGTEXT") {
    return Make(u, kAdLongVarWChar, kMemoSize, true);
  }
  if (base == "TINYINT") return Make(u, kAdUnsignedTinyInt, 1);
  if (base == "SMALLINT") return Make(u, kAdSmallInt, 2);
  if (base == "INT" || base == "INTEGER" || base == "MEDIUMINT" || base == "LONG") {
    return Make(u, kAdInteger, 4);
  }
  if (base == "BIGINT" || base == "INT8" || base == "UNSIGNED BIG INT") return Make(u, kAdBigInt, 8);
  if (base == "FLOAT4" || base == "SINGLE") return Make(u, kAdSingle, 4);
  if (base == "REAL" || base == "DOUBLE" || base == "DOUBLE PRECISION" || base == "FLOAT" ||
      base == "FLOAT8") {
    return Make(u, kAdDouble, 8);
  }
  if (base == "CURRENCY" || base == "MONEY") return Make(u, kAdCurrency, 8);
  if (base == "DATETIME" || base == "DATE" || base == "TIME" || base == "TIMESTAMP") {
    return Make(u, kAdDate, 8);
  }
  if (base == "BOOLEAN" || base == "BIT" || base == "YESNO" || base == "LOGICAL") {
    return Make(u, kAdBoolean, 2);
  }
  if (base == "DECIMAL" || base == "NUMERIC") return Make(u, kAdNumeric, 19);
  if (base == "BLOB" && size > 0) return Make(u, kAdBinary, size);
  if (base == "BLOB") return Make(u, kAdLongVarBinary, kLongBinarySize);
  if (base == "GUIDTEXT" || base == "GUID" || base == "UNIQUEIDENTIFIER") {
    return Make(u, kAdGuid, 16);
  }
  // Another tool's type: the nearest by SQLite's own affinity rules.
  if (u.find("INT") != std::string::npos) return Make(u, kAdInteger, 4);
  if (u.empty() || u.find("CHAR") != std::string::npos || u.find("CLOB") != std::string::npos ||
      u.find("TEXT") != std::string::npos) {
    return Make(u, kAdLongVarWChar, kMemoSize, true);
  }
  if (u.find("BLOB") != std::string::npos) return Make(u, kAdLongVarBinary, kLongBinarySize);
  if (u.find("REAL") != std::string::npos || u.find("FLOA") != std::string::npos ||
      u.find("DOUB") != std::string::npos) {
    return Make(u, kAdDouble, 8);
  }
  return Make(u, kAdNumeric, 19);
}

}  // namespace mlx::db::internal
