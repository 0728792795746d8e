#include <windows.h>

#include <gtest/gtest.h>

#include "platform/sysinfo/sysinfo.h"
#include "platform/text/wide.h"

namespace mlx::sysinfo {
namespace {

TEST(WindowsSysInfo, ValuesComeFromTheSystem) {
  auto info = MakeSysInfo();
  wchar_t buffer[MAX_PATH + 1];
  ASSERT_GT(GetWindowsDirectoryW(buffer, MAX_PATH + 1), 0u);
  std::string windows = text::FromWide(buffer);
  if (windows.size() > 3 && windows.back() == '\\') windows.pop_back();
  EXPECT_EQ(info->WindowsDirectory(), windows);
  EXPECT_EQ(info->SystemDirectory().rfind(windows, 0), 0u) << info->SystemDirectory();
  EXPECT_NE(info->SystemDirectory().back(), '\\');
  EXPECT_EQ(info->TempDirectory().back(), '\\');
  EXPECT_FALSE(info->ComputerName().empty());
  EXPECT_FALSE(info->UserName().empty());
  EXPECT_FALSE(info->CurrentDirectory().empty());
  // The real version (RtlGetVersion), not the one a manifest-less program is told.
  EXPECT_GE(info->VersionNumber() & 0xFF, 6u);
}

TEST(WindowsSysInfo, EnvironmentValuesAreUnicode) {
  auto info = MakeSysInfo();
  const std::string value = "Citt\xC3\xA0 \xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_TRUE(SetEnvironmentVariableW(L"MLX_PROVA_\u00C8", text::ToWide(value).c_str()));
  EXPECT_EQ(info->Environment("MLX_PROVA_\xC3\x88"), value);
  ASSERT_TRUE(SetEnvironmentVariableW(L"MLX_PROVA_\u00C8", nullptr));
  EXPECT_EQ(info->Environment("MLX_PROVA_\xC3\x88"), "");
  EXPECT_EQ(info->Environment("A=B"), "");
}

}  // namespace
}  // namespace mlx::sysinfo
