// The system's registry through the wide-character registry functions. Names and string data
// are UTF-8 here and UTF-16 at the API; each call answers the function's own result code, so a
// key the user may not write answers 5 as the system says, and nothing is guessed in between.
#include <cstring>
#include <map>

#include "platform/registry/registry.h"
#include "platform/text/wide.h"

namespace mlx::registry {
namespace {

// The 32-bit view of the registry, the one the host application and its installers (32-bit
// programs) read and write: on 64-bit Windows HKLM\Software of a 32-bit program is
// HKLM\Software\WOW6432Node, and the scripts name the keys as those programs see them.
constexpr REGSAM kView = KEY_WOW64_32KEY;

bool IsStringType(std::uint32_t type) {
  return type == kString || type == kExpandString || type == kMultiString;
}

HKEY PredefinedKey(Handle handle) {
  switch (handle) {
    case kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case kCurrentUser:
      return HKEY_CURRENT_USER;
    case kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case kUsers:
      return HKEY_USERS;
    case kPerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case kDynData:
      return HKEY_DYN_DATA;
    default:
      return nullptr;
  }
}

class SystemRegistry final : public Registry {
 public:
  SystemRegistry() = default;
  SystemRegistry(const SystemRegistry&) = delete;
  SystemRegistry& operator=(const SystemRegistry&) = delete;
  ~SystemRegistry() override {
    for (auto& [handle, key] : keys_) RegCloseKey(key);
  }

  long OpenKeyEx(Handle root, const std::string& sub_key, std::uint32_t options,
                 std::uint32_t access, Handle* result) override {
    if (result != nullptr) *result = 0;
    HKEY parent = Resolve(root);
    if (parent == nullptr) return kInvalidHandle;
    std::wstring name;
    if (result == nullptr || !text::ToWide(sub_key, &name)) return kInvalidParameter;
    HKEY key = nullptr;
    long rc = RegOpenKeyExW(parent, name.c_str(), options, access | kView, &key);
    if (rc == ERROR_SUCCESS) *result = NewHandle(key);
    return rc;
  }

  long QueryValueEx(Handle key, const std::string& name, std::uint32_t* type, char* data,
                    std::uint32_t* size) override {
    HKEY hkey = Resolve(key);
    if (hkey == nullptr) return kInvalidHandle;
    std::wstring wname;
    if ((data != nullptr && size == nullptr) || !text::ToWide(name, &wname)) {
      return kInvalidParameter;
    }
    // The value is read whole, then handed over as the narrow functions do: string data in
    // UTF-8 with its terminating zero, other data as its bytes.
    std::string bytes;
    DWORD value_type = 0;
    long rc = ReadWhole(hkey, wname, &value_type, &bytes);
    if (rc != ERROR_SUCCESS) return rc;
    if (IsStringType(value_type)) {
      std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
      std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
      bytes = text::FromWide(wide);
    }
    return AnswerQuery(value_type, bytes, type, data, size);
  }

  long CreateKey(Handle root, const std::string& sub_key, Handle* result) override {
    if (result != nullptr) *result = 0;
    HKEY parent = Resolve(root);
    if (parent == nullptr) return kInvalidHandle;
    std::wstring name;
    if (result == nullptr || !text::ToWide(sub_key, &name)) return kInvalidParameter;
    if (name.empty() && PredefinedKey(root) != nullptr) {  // a root is always there
      *result = root;
      return kSuccess;
    }
    HKEY key = nullptr;
    // Reading and writing only: asking for more would fail on keys the user may write.
    long rc = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE | kView, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) *result = NewHandle(key);
    return rc;
  }

  long SetValueEx(Handle key, const std::string& name, std::uint32_t type, const char* data,
                  std::uint32_t size) override {
    HKEY hkey = Resolve(key);
    if (hkey == nullptr) return kInvalidHandle;
    std::wstring wname;
    if ((data == nullptr && size > 0) || !text::ToWide(name, &wname)) return kInvalidParameter;
    std::string_view bytes(data != nullptr ? data : "", size);
    if (IsStringType(type)) {
      // The zeros inside the data (the terminating one, those between the strings of a list)
      // cross over as zeros of the wide text.
      std::wstring wide;
      if (!text::ToWide(bytes, &wide)) return kInvalidParameter;
      return RegSetValueExW(hkey, wname.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(wide.data()),
                            static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
    }
    return RegSetValueExW(hkey, wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          size);
  }

  long DeleteValue(Handle key, const std::string& name) override {
    HKEY hkey = Resolve(key);
    if (hkey == nullptr) return kInvalidHandle;
    std::wstring wname;
    if (!text::ToWide(name, &wname)) return kInvalidParameter;
    return RegDeleteValueW(hkey, wname.c_str());
  }

  long DeleteKey(Handle root, const std::string& sub_key) override {
    HKEY parent = Resolve(root);
    if (parent == nullptr) return kInvalidHandle;
    std::wstring name;
    if (!text::ToWide(sub_key, &name)) return kInvalidParameter;
    if (name.empty() && PredefinedKey(root) != nullptr) return kAccessDenied;
    return RegDeleteKeyExW(parent, name.c_str(), kView, 0);
  }

  long EnumKey(Handle key, std::uint32_t index, std::string* name) override {
    HKEY hkey = Resolve(key);
    if (hkey == nullptr) return kInvalidHandle;
    if (name == nullptr) return kInvalidParameter;
    wchar_t buffer[256];  // a key name has at most 255 characters
    DWORD length = sizeof buffer / sizeof buffer[0];
    long rc = RegEnumKeyExW(hkey, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) *name = text::FromWide(std::wstring(buffer, length));
    return rc;
  }

  bool RunOnceAtLogon() const override { return true; }

  long CloseKey(Handle key) override {
    if (PredefinedKey(key) != nullptr) return kSuccess;
    auto it = keys_.find(key);
    if (it == keys_.end()) return kInvalidHandle;
    long rc = RegCloseKey(it->second);
    keys_.erase(it);
    return rc;
  }

 private:
  HKEY Resolve(Handle handle) const {
    if (HKEY root = PredefinedKey(handle)) return root;
    auto it = keys_.find(handle);
    return it == keys_.end() ? nullptr : it->second;
  }

  Handle NewHandle(HKEY key) {
    // Handles stay below the roots' values and are never 0 or one still open.
    do {
      next_handle_ += 4;
      if (next_handle_ >= 0x80000000u) next_handle_ = 0x1000;
    } while (keys_.count(next_handle_) != 0);
    keys_[next_handle_] = key;
    return next_handle_;
  }

  // The value's type and bytes, asked again while another process makes it grow in between.
  static long ReadWhole(HKEY key, const std::wstring& name, DWORD* type, std::string* bytes) {
    DWORD size = 0;
    long rc = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    for (int attempt = 0; rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA; ++attempt) {
      bytes->assign(size, '\0');
      DWORD got = size;
      rc = RegQueryValueExW(key, name.c_str(), nullptr, type,
                            reinterpret_cast<BYTE*>(bytes->data()), &got);
      if (rc == ERROR_SUCCESS) {
        bytes->resize(got);
        return rc;
      }
      if (rc != ERROR_MORE_DATA || attempt == 16) return rc;
      size = got > size ? got : size * 2;
    }
    return rc;
  }

  std::map<Handle, HKEY> keys_;
  Handle next_handle_ = 0x1000;
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry() {
  return std::make_unique<SystemRegistry>();
}

// Windows keeps its own registry: no file stands in for it.
std::string DefaultRegistryPath() {
  return {};
}

}  // namespace mlx::registry
