#include "platform/sysinfo/sysinfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace mlx::sysinfo {
namespace {

// Sets or removes an environment variable for one test and puts the old value back after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST(PosixSysInfo, FoldersHaveDefaultsAndOverrides) {
  auto info = MakePosixSysInfo();
  {
    ScopedEnv windir("MLX_WINDIR", nullptr), sysdir("MLX_WINSYSDIR", nullptr);
    EXPECT_EQ(info->WindowsDirectory(), "/etc");
    EXPECT_EQ(info->SystemDirectory(), "/usr/lib");
  }
  {
    ScopedEnv windir("MLX_WINDIR", "/srv/win/"), sysdir("MLX_WINSYSDIR", "/srv/win/system32");
    EXPECT_EQ(info->WindowsDirectory(), "/srv/win");
    EXPECT_EQ(info->SystemDirectory(), "/srv/win/system32");
  }
  {
    ScopedEnv windir("MLX_WINDIR", "");
    EXPECT_EQ(info->WindowsDirectory(), "/etc");
  }
}

TEST(PosixSysInfo, TempDirectoryEndsWithASeparator) {
  auto info = MakePosixSysInfo();
  {
    ScopedEnv tmp("TMPDIR", nullptr);
    EXPECT_EQ(info->TempDirectory(), "/tmp/");
  }
  {
    ScopedEnv tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(info->TempDirectory(), "/var/tmp/");
  }
  {
    ScopedEnv tmp("TMPDIR", "/var/tmp/");
    EXPECT_EQ(info->TempDirectory(), "/var/tmp/");
  }
}

TEST(PosixSysInfo, EnvironmentReadsVariables) {
  auto info = MakePosixSysInfo();
  ScopedEnv set("MLX_SYSINFO_TEST", "valore con spazi");
  ScopedEnv unset("MLX_SYSINFO_TEST_MISSING", nullptr);
  EXPECT_EQ(info->Environment("MLX_SYSINFO_TEST"), "valore con spazi");
  EXPECT_EQ(info->Environment("MLX_SYSINFO_TEST_MISSING"), "");
  EXPECT_EQ(info->Environment(""), "");
}

TEST(PosixSysInfo, CurrentDirectoryFollowsTheProcess) {
  auto info = MakePosixSysInfo();
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::path dir = std::filesystem::canonical(std::filesystem::temp_directory_path());
  std::filesystem::current_path(dir);
  std::string seen = info->CurrentDirectory();
  std::filesystem::current_path(old);
  EXPECT_EQ(seen, dir.string());
}

TEST(PosixSysInfo, MachineValuesAreFilledIn) {
  auto info = MakePosixSysInfo();
  EXPECT_FALSE(info->ComputerName().empty());
  EXPECT_FALSE(info->UserName().empty());

  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  std::uint32_t version = info->VersionNumber();
  std::string release = names.release;
  std::string prefix =
      std::to_string(version & 0xFF) + "." + std::to_string((version >> 8) & 0xFF);
  ASSERT_EQ(release.rfind(prefix, 0), 0u) << release;
  EXPECT_TRUE(release.size() == prefix.size() ||
              !std::isdigit(static_cast<unsigned char>(release[prefix.size()])))
      << release;
  EXPECT_GT(version & 0xFF, 0u);
  EXPECT_EQ(version >> 16, 0u);
}

}  // namespace
}  // namespace mlx::sysinfo
