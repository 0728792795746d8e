#include "platform/registry/reg_file.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace mlx::registry::regfile {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";

constexpr std::array<std::string_view, 7> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
constexpr std::uint32_t kFirstRoot = 0x80000000u;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && text::FoldKey(s.substr(0, prefix.size())) == prefix;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to 8 hexadecimal digits as a number.
bool ParseHexNumber(std::string_view s, std::uint32_t* out) {
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t n = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    n = n * 16 + static_cast<std::uint32_t>(d);
  }
  *out = n;
  return true;
}

// Reads a quoted text starting after its opening quote at s[*pos]. "\\" and "\"" stand for
// a backslash and a quote; any other backslash is taken as it is.
bool ReadQuoted(std::string_view s, std::size_t* pos, std::string* out) {
  std::size_t i = *pos;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      *out += s[i + 1];
      i += 2;
    } else if (c == '"') {
      *pos = i + 1;
      return true;
    } else {
      *out += c;
      ++i;
    }
  }
  return false;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// A string value can be written as "..." when it is UTF-8 text ending in its single zero and
// without line breaks; anything else is written as its bytes so nothing is lost.
bool WritableAsText(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  std::string_view text = data.substr(0, data.size() - 1);
  return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
         text::IsValidUtf8(text);
}

std::string NameToken(std::string_view name) {
  return name.empty() ? "@" : Quote(name);
}

// The text of a file's bytes: UTF-8 without its byte-order mark, or UTF-16LE (with its mark)
// made UTF-8 in *decoded. False for UTF-16 that is not valid.
bool DecodeText(std::string_view* bytes, std::string* decoded) {
  if (bytes->size() >= 2 && (*bytes)[0] == '\xFF' && (*bytes)[1] == '\xFE') {
    if (!text::Utf16LeToUtf8(bytes->substr(2), decoded)) return false;
    *bytes = *decoded;
  } else if (bytes->substr(0, 3) == "\xEF\xBB\xBF") {
    bytes->remove_prefix(3);
  }
  return true;
}

// The lines of a text without their ends; *crlf tells whether the first ends with "\r\n".
std::vector<std::string_view> SplitLines(std::string_view text, bool* crlf) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (lines.empty()) *crlf = true;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// What is wrong, and on which line (counted from 0).
struct LineError {
  std::size_t line = 0;
  std::string what;
};

bool Fail(LineError* error, std::size_t line, std::string what) {
  *error = LineError{line, std::move(what)};
  return false;
}

// A key header, "[path]" or "[-path]" for a deletion: the path, with the root's full name first.
bool ReadKeyHeader(std::string_view line, std::size_t i, std::vector<std::string>* path,
                   bool* deletion, LineError* error) {
  line = TrimRight(line);
  if (line.back() != ']') return Fail(error, i, "a key header must end with ']'");
  std::string_view inner = line.substr(1, line.size() - 2);
  *deletion = !inner.empty() && inner.front() == '-';
  if (*deletion) inner.remove_prefix(1);
  for (std::size_t start = 0;;) {
    std::size_t end = std::min(inner.find('\\', start), inner.size());
    path->emplace_back(inner.substr(start, end - start));
    if (end == inner.size()) break;
    start = end + 1;
  }
  std::uint32_t root = RootFromName((*path)[0]);
  if (root == 0) return Fail(error, i, "unknown root key \"" + (*path)[0] + "\"");
  (*path)[0] = std::string(RootName(root));
  if (std::any_of(path->begin(), path->end(), [](const auto& n) { return n.empty(); })) {
    return Fail(error, i, "a key name is empty");
  }
  if (*deletion && path->size() == 1) return Fail(error, i, "a root key cannot be deleted");
  return true;
}

// The bytes of a hex:/hex(t): value: the list after the colon, continued on the next lines
// while a line ends in a backslash (*i moves to the last line it takes).
bool ReadByteList(std::string_view rest, const std::vector<std::string_view>& lines,
                  std::size_t* i, std::string* data, LineError* error) {
  const std::size_t first_line = *i;
  std::string list(TrimRight(rest));
  while (!list.empty() && list.back() == '\\') {
    list.pop_back();
    if (++*i >= lines.size()) return Fail(error, *i - 1, "the byte list goes on past the end");
    list += TrimRight(TrimLeft(lines[*i]));
  }
  if (TrimLeft(list).empty()) return true;
  for (std::size_t start = 0;;) {
    std::size_t end = std::min(list.find(',', start), list.size());
    std::string_view token = TrimRight(TrimLeft(std::string_view(list).substr(start, end - start)));
    std::uint32_t number;
    if (!ParseHexNumber(token, &number) || token.size() > 2) {
      return Fail(error, first_line, "bad byte \"" + std::string(token) + "\" in the list");
    }
    data->push_back(static_cast<char>(number));
    if (end == list.size()) return true;
    start = end + 1;
  }
}

// A value's data, what follows "=": "text", dword:n, hex:bytes or hex(t):bytes.
bool ReadValueData(std::string_view rest, const std::vector<std::string_view>& lines,
                   std::size_t* i, std::uint32_t* type, std::string* data, LineError* error) {
  if (!rest.empty() && rest.front() == '"') {
    std::size_t end = 1;
    if (!ReadQuoted(rest, &end, data)) return Fail(error, *i, "the text has no closing quote");
    if (!TrimRight(rest.substr(end)).empty()) {
      return Fail(error, *i, "unexpected text after the value");
    }
    *data += '\0';
    *type = 1;
    return true;
  }
  if (StartsWithNoCase(rest, "dword:")) {
    std::uint32_t number;
    if (!ParseHexNumber(TrimRight(rest.substr(6)), &number)) {
      return Fail(error, *i, "a dword needs 1 to 8 hexadecimal digits");
    }
    *type = 4;
    for (int k = 0; k < 4; ++k) *data += static_cast<char>((number >> (8 * k)) & 0xFF);
    return true;
  }
  if (!StartsWithNoCase(rest, "hex:") && !StartsWithNoCase(rest, "hex(")) {
    return Fail(error, *i, "unrecognised value data");
  }
  std::size_t colon = rest.find(':');
  *type = 3;
  if (rest[3] == '(') {
    std::size_t close = rest.find(')');
    if (close == std::string_view::npos || close + 1 != colon ||
        !ParseHexNumber(rest.substr(4, close - 4), type)) {
      return Fail(error, *i, "a value type must be written hex(t): with t in hexadecimal");
    }
  }
  return ReadByteList(rest.substr(colon + 1), lines, i, data, error);
}

// A value line of the key (and the lines its byte list goes on to): name=data, or name=- to
// remove the value. The value keeps the text it was read from.
bool ReadValue(const std::vector<std::string_view>& lines, std::size_t* i, Key* key,
               std::string* comments, LineError* error) {
  const std::size_t first_line = *i;
  std::string_view line = TrimLeft(lines[*i]);
  std::string name;
  std::size_t pos = 1;
  if (line.front() == '"' && !ReadQuoted(line, &pos, &name)) {
    return Fail(error, *i, "the value name has no closing quote");
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') {
    return Fail(error, *i, "'=' expected after the name");
  }
  std::string_view rest = TrimLeft(line.substr(pos + 1));
  if (TrimRight(rest) == "-") {
    key->RemoveValue(name);
    return true;
  }
  std::uint32_t type = 0;
  std::string data;
  if (!ReadValueData(rest, lines, i, &type, &data, error)) return false;
  std::string raw;
  for (std::size_t k = first_line; k <= *i; ++k) {
    if (k > first_line) raw += '\n';
    raw += lines[k];
  }
  key->SetValue(name, type, std::move(data), std::move(raw));
  key->AddValueComments(name, *comments);
  comments->clear();
  return true;
}

}  // namespace

bool AppendSubKey(const std::string& sub_key, std::vector<std::string>* path) {
  if (sub_key.empty()) return true;
  std::string_view rest = sub_key;
  if (rest.back() == '\\') rest.remove_suffix(1);
  if (!text::IsValidUtf8(rest)) return false;
  for (std::size_t start = 0;;) {
    std::size_t end = std::min(rest.find('\\', start), rest.size());
    std::string_view name = rest.substr(start, end - start);
    if (name.empty()) return false;
    for (char c : name) {
      if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    path->emplace_back(name);
    if (end == rest.size()) return true;
    start = end + 1;
  }
}

bool ValidValueName(const std::string& name) {
  return text::IsValidUtf8(name) &&
         name.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos;
}

std::string_view RootName(std::uint32_t root) {
  if (root < kFirstRoot || root >= kFirstRoot + kRootNames.size()) return {};
  return kRootNames[root - kFirstRoot];
}

std::uint32_t RootFromName(std::string_view name) {
  std::string folded = text::FoldKey(name);
  for (std::size_t i = 0; i < kRootNames.size(); ++i) {
    if (text::FoldKey(kRootNames[i]) == folded) return kFirstRoot + static_cast<std::uint32_t>(i);
  }
  return 0;
}

Key* Key::FindChild(std::string_view name) const {
  std::string folded = text::FoldKey(name);
  for (const auto& child : children_) {
    if (child->folded_ == folded) return child.get();
  }
  return nullptr;
}

Key& Key::EnsureChild(std::string_view name) {
  if (Key* existing = FindChild(name)) return *existing;
  children_.push_back(std::make_unique<Key>(std::string(name)));
  return *children_.back();
}

bool Key::RemoveChild(std::string_view name) {
  std::string folded = text::FoldKey(name);
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const auto& child) { return child->folded_ == folded; });
  if (it == children_.end()) return false;
  children_.erase(it);
  return true;
}

const Value* Key::FindValue(std::string_view name) const {
  std::string folded = text::FoldKey(name);
  for (const Value& value : values_) {
    if (value.folded == folded) return &value;
  }
  return nullptr;
}

bool Key::SetValue(std::string_view name, std::uint32_t type, std::string data, std::string raw) {
  std::string folded = text::FoldKey(name);
  for (Value& value : values_) {
    if (value.folded != folded) continue;
    if (value.type == type && value.data == data && (raw.empty() || raw == value.raw)) {
      return false;
    }
    value.type = type;
    value.data = std::move(data);
    value.raw = std::move(raw);
    return true;
  }
  values_.push_back(
      Value{std::string(name), type, std::move(data), std::move(raw), std::move(folded), {}});
  return true;
}

void Key::AddValueComments(std::string_view name, std::string_view lines) {
  if (lines.empty()) return;
  std::string folded = text::FoldKey(name);
  for (Value& value : values_) {
    if (value.folded == folded) value.comments += lines;
  }
}

bool Key::RemoveValue(std::string_view name) {
  std::string folded = text::FoldKey(name);
  auto it = std::find_if(values_.begin(), values_.end(),
                         [&](const Value& value) { return value.folded == folded; });
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

Key* Document::Find(const std::vector<std::string>& path) const {
  const Key* key = &top_;
  for (const std::string& name : path) {
    key = key->FindChild(name);
    if (key == nullptr) return nullptr;
  }
  return const_cast<Key*>(key);
}

Key& Document::Ensure(const std::vector<std::string>& path, bool* created) {
  Key* key = &top_;
  *created = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    Key* next = key->FindChild(path[i]);
    if (next == nullptr) {
      next = &key->EnsureChild(path[i]);
      // A root exists without being named; the keys below it are named when created.
      if (i > 0) next->set_listed();
      *created = true;
    }
    key = next;
  }
  return *key;
}

bool Document::Remove(const std::vector<std::string>& path) {
  if (path.size() < 2) return false;
  Key* parent = Find(std::vector<std::string>(path.begin(), path.end() - 1));
  return parent != nullptr && parent->RemoveChild(path.back());
}

bool Document::Parse(std::string_view bytes, std::string* error) {
  top_ = Key("");
  crlf_ = false;
  trailing_comments_.clear();
  std::string decoded;
  if (!DecodeText(&bytes, &decoded)) {
    *error = "the file is neither UTF-8 nor valid UTF-16 text";
    return false;
  }
  if (bytes.empty()) return true;
  const std::vector<std::string_view> lines = SplitLines(bytes, &crlf_);
  auto fail = [&](std::size_t index, const std::string& what) {
    *error = "line " + std::to_string(index + 1) + ": " + what;
    return false;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!text::IsValidUtf8(lines[i])) return fail(i, "the text is not valid UTF-8");
  }
  std::string_view header = TrimRight(lines[0]);
  if (header != kHeader && header != kOldHeader) {
    return fail(0, "not a registry file (the first line must be \"" + std::string(kHeader) + "\")");
  }
  Key* current = nullptr;
  LineError failure;
  std::string comments;  // the comment lines since the last entry
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = TrimLeft(lines[i]);
    if (TrimRight(line).empty()) continue;
    if (line.front() == ';') {
      comments += lines[i];
      comments += '\n';
      continue;
    }
    if (line.front() == '[') {
      std::vector<std::string> path;
      bool deletion = false;
      if (!ReadKeyHeader(line, i, &path, &deletion, &failure)) {
        return fail(failure.line, failure.what);
      }
      if (deletion) {
        Remove(path);
        current = nullptr;
        continue;
      }
      current = &top_;
      for (const std::string& name : path) current = &current->EnsureChild(name);
      current->set_listed();
      current->AddComments(comments);
      comments.clear();
    } else if (line.front() != '"' && line.front() != '@') {
      return fail(i, "unexpected text");
    } else if (current == nullptr) {
      return fail(i, "a value outside a key");
    } else if (!ReadValue(lines, &i, current, &comments, &failure)) {
      return fail(failure.line, failure.what);
    }
  }
  trailing_comments_ = std::move(comments);
  return true;
}

std::string FormatValueData(std::uint32_t type, std::string_view data, std::size_t column,
                            std::string_view eol) {
  if (type == 1 && WritableAsText(data)) return Quote(data.substr(0, data.size() - 1));
  char buffer[32];
  if (type == 4 && data.size() == 4) {
    std::uint32_t n = 0;
    for (int k = 3; k >= 0; --k) n = n << 8 | static_cast<unsigned char>(data[k]);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(n));
    return buffer;
  }
  std::string out = "hex:";
  if (type != 3) {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
    out = buffer;
  }
  // Lines are kept under 80 columns, each continued by a backslash after its last comma.
  std::size_t col = column + out.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(data[i]));
    std::string token = buffer;
    if (i + 1 < data.size()) token += ',';
    if (i > 0 && col + token.size() > 79) {
      out += '\\';
      out += eol;
      out += "  ";
      col = 2;
    }
    out += token;
    col += token.size();
  }
  return out;
}

std::string Document::Serialize() const {
  const std::string_view eol = crlf_ ? "\r\n" : "\n";
  std::string out(kHeader);
  out += eol;
  out += eol;
  auto write_comments = [&](std::string_view comments) {
    for (char c : comments) {
      if (c == '\n') {
        out += eol;
      } else {
        out += c;
      }
    }
  };
  auto write_key = [&](auto& self, const Key& key, const std::string& path, bool root) -> void {
    // A key is written when the file names it, when it holds values, or when nothing below it
    // would otherwise show that it exists.
    if (key.listed() || !key.values().empty() || (!root && key.children().empty())) {
      write_comments(key.comments());
      out += '[';
      out += path;
      out += ']';
      out += eol;
      for (const Value& value : key.values()) {
        write_comments(value.comments);
        if (!value.raw.empty()) {
          for (char c : value.raw) {
            if (c == '\n') {
              out += eol;
            } else {
              out += c;
            }
          }
        } else {
          std::string name = NameToken(value.name) + "=";
          out += name;
          out += FormatValueData(value.type, value.data, name.size(), eol);
        }
        out += eol;
      }
      out += eol;
    }
    for (const auto& child : key.children()) self(self, *child, path + "\\" + child->name(), false);
  };
  for (const auto& root : top_.children()) write_key(write_key, *root, root->name(), true);
  write_comments(trailing_comments_);
  return out;
}

}  // namespace mlx::registry::regfile
