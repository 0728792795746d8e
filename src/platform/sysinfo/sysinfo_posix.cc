// System values on POSIX: the nearest equivalents of the Windows values, with environment
// overrides for the folders so that runs can be pointed at test trees.
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/sysinfo/sysinfo.h"

namespace mlx::sysinfo {
namespace {

std::string GetEnv(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// Parses the leading "major.minor" of a kernel release such as "6.1.0-18-amd64".
std::uint32_t ParseRelease(const char* release) {
  std::uint32_t major = 0, minor = 0;
  const char* p = release;
  while (*p >= '0' && *p <= '9') major = major * 10 + static_cast<std::uint32_t>(*p++ - '0');
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') minor = minor * 10 + static_cast<std::uint32_t>(*p++ - '0');
  }
  return (major & 0xFFu) | ((minor & 0xFFu) << 8);
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class PosixSysInfo : public SysInfo {
 public:
  std::uint32_t VersionNumber() override {
    struct utsname names {};
    if (uname(&names) != 0) return 0;
    return ParseRelease(names.release);
  }

  std::string WindowsDirectory() override {
    std::string dir = GetEnv("MLX_WINDIR");
    return dir.empty() ? "/etc" : StripTrailingSlashes(dir);
  }

  std::string SystemDirectory() override {
    std::string dir = GetEnv("MLX_WINSYSDIR");
    return dir.empty() ? "/usr/lib" : StripTrailingSlashes(dir);
  }

  std::string TempDirectory() override {
    std::string dir = GetEnv("TMPDIR");
    if (dir.empty()) dir = "/tmp";
    if (dir.back() != '/') dir.push_back('/');
    return dir;
  }

  std::string ComputerName() override {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return "";
    return name;
  }

  std::string UserName() override {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_name != nullptr && result->pw_name[0] != '\0') {
      return result->pw_name;
    }
    return GetEnv("USER");
  }

  std::string CurrentDirectory() override {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return "";
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  std::string Environment(std::string_view name) override {
    return GetEnv(std::string(name).c_str());
  }
};

}  // namespace

std::unique_ptr<SysInfo> MakeSysInfo() {
  return std::make_unique<PosixSysInfo>();
}

}  // namespace mlx::sysinfo
