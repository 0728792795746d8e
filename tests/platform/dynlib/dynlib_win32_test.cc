// Component libraries on Windows answer as on POSIX: the entry point's code when it is there,
// an error with nothing called when the file is no library or lacks the entry point.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/dynlib/dynlib.h"
#include "platform/text/wide.h"

namespace mlx::dynlib {
namespace {

namespace stdfs = std::filesystem;

TEST(Win32Loader, EntryPointsAnswerTheirCodes) {
  auto loader = MakeLoader();
  std::int32_t result = -1;
  ASSERT_TRUE(loader->CallEntryPoint(MLX_COMPONENTE, "DllRegisterServer", &result).ok());
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(loader->CallEntryPoint(MLX_COMPONENTE, "DllUnregisterServer", &result).ok());
  EXPECT_EQ(result, static_cast<std::int32_t>(0x80004005u));

  result = 7;
  Status s = loader->CallEntryPoint(MLX_COMPONENTE_VUOTO, "DllRegisterServer", &result);
  EXPECT_EQ(s.number(), err::kInvalidCall);
  EXPECT_EQ(result, 7);
}

TEST(Win32Loader, FilesThatAreNoLibrariesAreRefused) {
  const stdfs::path dir =
      stdfs::temp_directory_path() / ("mlx dynlib " + std::to_string(GetCurrentProcessId()));
  stdfs::create_directories(dir);
  std::ofstream(dir / "finta.dll") << "non una libreria";
  auto loader = MakeLoader();
  std::int32_t result = 0;
  const std::string finta = text::FromWide((dir / "finta.dll").wstring());
  Status s = loader->CallEntryPoint(finta, "DllRegisterServer", &result);
  EXPECT_EQ(s.number(), err::kPathFileAccess);
  EXPECT_NE(s.description().find(finta), std::string::npos) << s.description();
  EXPECT_EQ(loader
                ->CallEntryPoint(text::FromWide((dir / "manca.dll").wstring()), "DllRegisterServer",
                                 &result)
                .number(),
            err::kPathFileAccess);
  // A bare name is a file of the current folder, not a library of the system.
  const stdfs::path before = stdfs::current_path();
  stdfs::current_path(dir);
  EXPECT_EQ(loader->CallEntryPoint("kernel32.dll", "GetTickCount", &result).number(),
            err::kPathFileAccess);
  stdfs::current_path(before);
  stdfs::remove_all(dir);
}

}  // namespace
}  // namespace mlx::dynlib
