// System values on Windows, from the system's own calls.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/sysinfo/sysinfo.h"
#include "platform/text/wide.h"

namespace mlx::sysinfo {
namespace {

// Calls a "fill this buffer" function, growing the buffer while it answers a larger size.
// `call` gets the buffer and its size in characters and answers what the function answers:
// the length written, or the size needed when it is larger than the buffer, or 0 for failure.
template <typename Call>
std::string ReadString(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int tries = 0; tries < 8; ++tries) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) return text::FromWide(std::wstring_view(buffer.data(), n));
    buffer.resize(n + 1);
  }
  return "";
}

std::string StripTrailingSeparators(std::string path) {
  // "C:\" keeps its separator: without it the path names the drive's current folder.
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

class WindowsSysInfo : public SysInfo {
 public:
  // The real version: GetVersionEx answers what the executable's manifest declares, so the
  // kernel's own RtlGetVersion is asked.
  std::uint32_t VersionNumber() override {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtl_get_version = ntdll == nullptr ? nullptr
        : reinterpret_cast<RtlGetVersionFn>(
              reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtl_get_version == nullptr || rtl_get_version(&info) != 0) return 0;
    return (info.dwMajorVersion & 0xFFu) | ((info.dwMinorVersion & 0xFFu) << 8);
  }

  std::string WindowsDirectory() override {
    return StripTrailingSeparators(ReadString([](wchar_t* b, DWORD n) {
      return static_cast<DWORD>(GetWindowsDirectoryW(b, n));
    }));
  }

  std::string SystemDirectory() override {
    return StripTrailingSeparators(ReadString([](wchar_t* b, DWORD n) {
      return static_cast<DWORD>(GetSystemDirectoryW(b, n));
    }));
  }

  std::string TempDirectory() override {
    std::string dir = ReadString([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
    if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
    return dir;
  }

  std::string ComputerName() override {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return "";
    return text::FromWide(std::wstring_view(name, size));
  }

  std::string UserName() override {
    std::vector<wchar_t> name(257);
    DWORD size = static_cast<DWORD>(name.size());
    if (!GetUserNameW(name.data(), &size) || size == 0) return "";
    return text::FromWide(std::wstring_view(name.data(), size - 1));  // size counts the NUL
  }

  std::string CurrentDirectory() override {
    return ReadString([](wchar_t* b, DWORD n) { return GetCurrentDirectoryW(n, b); });
  }

  std::string Environment(std::string_view name) override {
    const std::wstring wide_name = text::ToWide(name);
    if (wide_name.empty() || wide_name.find(L'=') != std::wstring::npos) return "";
    return ReadString([&](wchar_t* b, DWORD n) {
      return GetEnvironmentVariableW(wide_name.c_str(), b, n);
    });
  }

  std::string AutostartDirectory() override { return ""; }
};

}  // namespace

std::unique_ptr<SysInfo> MakeSysInfo() {
  return std::make_unique<WindowsSysInfo>();
}

}  // namespace mlx::sysinfo
