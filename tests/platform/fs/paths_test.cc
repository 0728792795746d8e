#include <gtest/gtest.h>

#include "platform/fs/fs.h"

namespace mlx::fs {
namespace {

TEST(Paths, SeparatorsAreBothSlashes) {
  EXPECT_TRUE(IsSeparator('\\'));
  EXPECT_TRUE(IsSeparator('/'));
  EXPECT_FALSE(IsSeparator(':'));
  EXPECT_EQ(LastSeparator("C:\\a/b\\c.txt"), 6u);
  EXPECT_EQ(LastSeparator("a/b\\c"), 3u);
  EXPECT_EQ(LastSeparator("file.txt"), std::string_view::npos);
}

TEST(Paths, JoinUsesTheFoldersOwnSeparator) {
  EXPECT_EQ(Join("C:\\App", "MLX.txt"), "C:\\App\\MLX.txt");
  EXPECT_EQ(Join("/srv/app", "MLX.txt"), "/srv/app/MLX.txt");
  EXPECT_EQ(Join("/srv/app/", "MLX.txt"), "/srv/app/MLX.txt");
  EXPECT_EQ(Join("C:\\App\\", "MLX.txt"), "C:\\App\\MLX.txt");
  // A folder with a backslash anywhere keeps using backslashes.
  EXPECT_EQ(Join("/srv\\app", "x"), "/srv\\app\\x");
  EXPECT_EQ(Join("sub", "x"), "sub/x");
  EXPECT_EQ(Join("", "x"), "x");
}

TEST(Paths, DriveMapParsesEntriesAndSkipsBadOnes) {
  std::map<char, std::string> drives = ParseDriveMap("C=/srv/c;d=/mnt/d/; E:=/e ;;X;=/nowhere;"
                                                     "FG=/fg;H=");
  EXPECT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives['C'], "/srv/c");
  EXPECT_EQ(drives['D'], "/mnt/d");
  EXPECT_EQ(drives['E'], "/e");
  EXPECT_TRUE(ParseDriveMap("").empty());
  EXPECT_EQ(ParseDriveMap("C=/")['C'], "/");
}

}  // namespace
}  // namespace mlx::fs
