// The registry, shaped like the Windows registry functions the scripts rely on, with the same
// result codes. On Windows it is the system's registry; on POSIX, and wherever a file is
// asked for, a text file in the .reg format.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace mlx::registry {

// Key handles are opaque numbers; the predefined roots have their Windows values.
using Handle = std::uint32_t;
constexpr Handle kClassesRoot = 0x80000000u;
constexpr Handle kCurrentUser = 0x80000001u;
constexpr Handle kLocalMachine = 0x80000002u;
constexpr Handle kUsers = 0x80000003u;
constexpr Handle kPerformanceData = 0x80000004u;
constexpr Handle kCurrentConfig = 0x80000005u;
constexpr Handle kDynData = 0x80000006u;

// Result codes.
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kInvalidParameter = 87;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;
constexpr long kBadDatabase = 1009;  // the backing store cannot be read
constexpr long kCannotWrite = 1013;  // the backing store cannot be written
constexpr long kKeyDeleted = 1018;   // the key of an open handle was deleted since

// Value types.
constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kExpandString = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiString = 7;
constexpr std::uint32_t kQword = 11;

constexpr std::uint32_t kKeyRead = 0x20019;

class Registry {
 public:
  virtual ~Registry() = default;
  virtual long OpenKeyEx(Handle root, const std::string& sub_key, std::uint32_t options,
                         std::uint32_t access, Handle* result) = 0;
  // As RegQueryValueExA: with data null, *size receives the size needed; with a buffer too
  // small, the answer is kMoreData and *size the size needed; nothing is written past *size.
  virtual long QueryValueEx(Handle key, const std::string& name, std::uint32_t* type, char* data,
                            std::uint32_t* size) = 0;
  // Opens the key, creating it and every missing key above it.
  virtual long CreateKey(Handle root, const std::string& sub_key, Handle* result) = 0;
  virtual long SetValueEx(Handle key, const std::string& name, std::uint32_t type, const char* data,
                          std::uint32_t size) = 0;
  virtual long DeleteValue(Handle key, const std::string& name) = 0;
  virtual long DeleteKey(Handle root, const std::string& sub_key) = 0;
  virtual long CloseKey(Handle key) = 0;
  // As RegEnumKeyExA: the name of the key's subkey at `index` (from 0), kNoMoreItems past the
  // last one.
  virtual long EnumKey(Handle key, std::uint32_t index, std::string* name) = 0;
  // Whether the system itself runs the commands under the RunOnce key at the next logon, as
  // Windows does with its registry; otherwise the program arranges its own start.
  virtual bool RunOnceAtLogon() const { return false; }
  // What went wrong with the backing store after an answer of kBadDatabase or kCannotWrite
  // (for a file, its name and the line at fault); "" when nothing did.
  virtual std::string LastError() const { return {}; }
};

// A registry that passes every call on to another, so that a registry that changes one call
// overrides just that one. Every code answered passes through Answer, for those that watch them.
class RegistryWrapper : public Registry {
 public:
  explicit RegistryWrapper(Registry& target) : target_(target) {}
  long OpenKeyEx(Handle root, const std::string& sub_key, std::uint32_t options,
                 std::uint32_t access, Handle* result) override {
    return Answer(target_.OpenKeyEx(root, sub_key, options, access, result));
  }
  long QueryValueEx(Handle key, const std::string& name, std::uint32_t* type, char* data,
                    std::uint32_t* size) override {
    return Answer(target_.QueryValueEx(key, name, type, data, size));
  }
  long CreateKey(Handle root, const std::string& sub_key, Handle* result) override {
    return Answer(target_.CreateKey(root, sub_key, result));
  }
  long SetValueEx(Handle key, const std::string& name, std::uint32_t type, const char* data,
                  std::uint32_t size) override {
    return Answer(target_.SetValueEx(key, name, type, data, size));
  }
  long DeleteValue(Handle key, const std::string& name) override {
    return Answer(target_.DeleteValue(key, name));
  }
  long DeleteKey(Handle root, const std::string& sub_key) override {
    return Answer(target_.DeleteKey(root, sub_key));
  }
  long CloseKey(Handle key) override { return Answer(target_.CloseKey(key)); }
  long EnumKey(Handle key, std::uint32_t index, std::string* name) override {
    return Answer(target_.EnumKey(key, index, name));
  }
  bool RunOnceAtLogon() const override { return target_.RunOnceAtLogon(); }
  std::string LastError() const override { return target_.LastError(); }

 protected:
  Registry& target() const { return target_; }
  virtual long Answer(long code) { return code; }

 private:
  Registry& target_;
};

// For implementations: answers a query for a value of `value_type` holding `bytes` by the rule
// of QueryValueEx above (the size needed, kMoreData for a short buffer, nothing past *size).
inline long AnswerQuery(std::uint32_t value_type, std::string_view bytes, std::uint32_t* type,
                        char* data, std::uint32_t* size) {
  if (type != nullptr) *type = value_type;
  const std::uint32_t needed = static_cast<std::uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return kMoreData;
  }
  std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return kSuccess;
}

// Reads a value's type and bytes whole, asking again while another process makes it longer
// between the size query and the read (kMoreData if it keeps doing so).
long ReadValue(Registry& reg, Handle key, const std::string& name, std::uint32_t* type,
               std::string* data);

// The registry kept in one .reg text file (created on first write, mode 0600, together with
// any missing folder above it). Keys and value names compare without regard to case.
std::unique_ptr<Registry> MakeFileRegistry(const std::string& path);

// The registry of the machine: on Windows the system's own; where the system has none, the
// file at DefaultRegistryPath().
std::unique_ptr<Registry> MakeSystemRegistry();

// The file registry at `file`, or the machine's registry when `file` is "".
std::unique_ptr<Registry> MakeRegistry(const std::string& file);

// The file that stands in for the machine's registry: $XDG_CONFIG_HOME/marlovex/registry.reg,
// or ~/.config/marlovex/registry.reg when XDG_CONFIG_HOME is unset, empty or not an absolute
// path. "" on Windows, whose registry is no file.
std::string DefaultRegistryPath();

}  // namespace mlx::registry
