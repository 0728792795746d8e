#include "platform/sysinfo/sysinfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace mlx::sysinfo {
namespace {

TEST(PosixSysInfo, FoldersHaveDefaultsAndOverrides) {
  auto info = MakeSysInfo();
  unsetenv("MLX_WINDIR");
  setenv("MLX_WINSYSDIR", "", 1);
  unsetenv("TMPDIR");
  EXPECT_EQ(info->WindowsDirectory(), "/etc");
  EXPECT_EQ(info->SystemDirectory(), "/usr/lib");
  EXPECT_EQ(info->TempDirectory(), "/tmp/");

  setenv("MLX_WINDIR", "/srv/win/", 1);
  setenv("MLX_WINSYSDIR", "/srv/win/system32", 1);
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(info->WindowsDirectory(), "/srv/win");
  EXPECT_EQ(info->SystemDirectory(), "/srv/win/system32");
  EXPECT_EQ(info->TempDirectory(), "/var/tmp/");
  EXPECT_EQ(info->Environment("MLX_WINSYSDIR"), "/srv/win/system32");
  unsetenv("MLX_WINDIR");
  unsetenv("MLX_WINSYSDIR");
  unsetenv("TMPDIR");
  EXPECT_EQ(info->Environment("MLX_WINDIR"), "");
}

TEST(PosixSysInfo, MachineValues) {
  auto info = MakeSysInfo();
  EXPECT_FALSE(info->ComputerName().empty());
  EXPECT_FALSE(info->UserName().empty());

  // The version is the kernel release's "major.minor", major in the low byte.
  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  std::uint32_t version = info->VersionNumber();
  std::string release = names.release;
  std::string prefix = std::to_string(version & 0xFF) + "." + std::to_string(version >> 8);
  ASSERT_EQ(release.rfind(prefix, 0), 0u) << release;
  EXPECT_TRUE(release.size() == prefix.size() ||
              !std::isdigit(static_cast<unsigned char>(release[prefix.size()])))
      << release;
  EXPECT_GT(version & 0xFF, 0u);
}

}  // namespace
}  // namespace mlx::sysinfo
