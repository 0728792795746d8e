#include <gtest/gtest.h>

#include "platform/fs/fs.h"

namespace mlx::fs {
namespace {

TEST(Paths, SeparatorsAndJoin) {
  EXPECT_TRUE(IsSeparator('\\') && IsSeparator('/') && !IsSeparator(':'));
  EXPECT_EQ(LastSeparator("C:\\a/b\\c.txt"), 6u);
  EXPECT_EQ(LastSeparator("file.txt"), std::string_view::npos);
  EXPECT_EQ(Join("C:\\App", "MLX.txt"), "C:\\App\\MLX.txt");
  EXPECT_EQ(Join("C:\\App\\", "MLX.txt"), "C:\\App\\MLX.txt");
  EXPECT_EQ(Join("/srv/app", "MLX.txt"), "/srv/app/MLX.txt");
  EXPECT_EQ(Join("/srv\\app", "x"), "/srv\\app\\x");  // a backslash anywhere wins
  EXPECT_EQ(Join("", "x"), "x");
}

TEST(Paths, DriveMapParsesEntriesAndSkipsBadOnes) {
  std::map<char, std::string> drives =
      ParseDriveMap("C=/srv/c;d=/mnt/d/; E:=/e ;;X;=/nowhere;FG=/fg;H=");
  EXPECT_EQ(drives, (std::map<char, std::string>{{'C', "/srv/c"}, {'D', "/mnt/d"}, {'E', "/e"}}));
  EXPECT_EQ(ParseDriveMap("C=/")['C'], "/");
}

}  // namespace
}  // namespace mlx::fs
