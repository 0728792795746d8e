// The contents of a .reg text file as a tree of keys and values, with its reader and writer.
// Values keep the exact text they were read from, so a file written back is unchanged except
// for the entries that were changed. Names compare without regard to case (ASCII and Latin-1)
// and keep the case they were written in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/text.h"

namespace mlx::registry::regfile {

struct Value {
  std::string name;  // "" is the key's default value, written "@"
  std::uint32_t type = 0;
  std::string data;    // the bytes as a query returns them
  std::string raw;     // the entry as read from the file ("" once changed); '\n' between lines
  std::string folded;  // text::FoldKey(name), kept by Key
  std::string comments;  // the ";" lines written before the entry, each ending with '\n'
};

class Key {
 public:
  explicit Key(std::string name) : name_(std::move(name)), folded_(text::FoldKey(name_)) {}

  const std::string& name() const { return name_; }
  const std::vector<Value>& values() const { return values_; }
  const std::vector<std::unique_ptr<Key>>& children() const { return children_; }

  // Whether the file names this key in a header of its own (a key can also exist only because
  // a key below it is named).
  bool listed() const { return listed_; }
  void set_listed() { listed_ = true; }

  Key* FindChild(std::string_view name) const;
  // The child of that name, created (at the end of the children) when missing.
  Key& EnsureChild(std::string_view name);
  bool RemoveChild(std::string_view name);

  const Value* FindValue(std::string_view name) const;
  // Stores the value under the existing name's case, or appends a new one. Answers whether
  // anything changed.
  bool SetValue(std::string_view name, std::uint32_t type, std::string data, std::string raw = {});
  bool RemoveValue(std::string_view name);

  // The ";" lines written before the key's header, each ending with '\n'; a value's own are
  // kept with the value, and go with it when it is removed.
  const std::string& comments() const { return comments_; }
  void AddComments(std::string_view lines) { comments_ += lines; }
  void AddValueComments(std::string_view name, std::string_view lines);

 private:
  std::string name_;
  std::string folded_;
  std::string comments_;
  bool listed_ = false;
  std::vector<Value> values_;
  std::vector<std::unique_ptr<Key>> children_;
};

// The full names of the predefined roots as a file writes them, and their handle values.
// Answers "" for a handle that is not a root.
std::string_view RootName(std::uint32_t root);
// The handle value of a root's full name (any case), or 0.
std::uint32_t RootFromName(std::string_view name);

class Document {
 public:
  // path: the root's full name followed by the names of the keys below it.
  Key* Find(const std::vector<std::string>& path) const;
  // Creates every missing key along the path, marking the created ones as listed. Answers the
  // key and whether anything was created.
  Key& Ensure(const std::vector<std::string>& path, bool* created);
  // Removes the key at the path (not a root) with everything below it.
  bool Remove(const std::vector<std::string>& path);

  // Reads a file's bytes: UTF-8 (an initial byte-order mark is dropped) or UTF-16LE with its
  // byte-order mark. An empty file is an empty registry. On failure answers false and sets
  // *error to "line N: what is wrong".
  bool Parse(std::string_view bytes, std::string* error);
  // The file's text: the header, a blank line, then every key in the order of the tree, each
  // followed by its values and a blank line. Lines end as they did in the parsed file. The
  // comment lines (";") of the parsed file stay before the key or value they were written
  // before, and those after the last entry at the end.
  std::string Serialize() const;

 private:
  Key top_{""};  // its children are the roots named so far
  std::string trailing_comments_;  // after the last entry
  bool crlf_ = false;
};

// Splits a key path at its backslashes and appends the names to *path. A single trailing
// backslash is allowed; an empty name, a control character or text that is not UTF-8 is not,
// as a file could not hold it.
bool AppendSubKey(const std::string& sub_key, std::vector<std::string>* path);
// Whether a value name can be written in a file: UTF-8 without zeros or line breaks.
bool ValidValueName(const std::string& name);

// The text after "=" for a value: "..." for a string, dword:xxxxxxxx, hex:.. or hex(t):..
// `column` is where the text starts on its line; long byte lists continue on further lines.
std::string FormatValueData(std::uint32_t type, std::string_view data, std::size_t column,
                            std::string_view eol);

}  // namespace mlx::registry::regfile
