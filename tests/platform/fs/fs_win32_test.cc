// The file system on Windows: names outside the ANSI code page, paths past 260 characters,
// files another program holds locked, and the same errors and atomic writes as on POSIX.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/fs/regular.h"
#include "platform/text/wide.h"

namespace mlx::fs {
namespace {

using Names = std::vector<std::string>;

// Greek, a check mark and Japanese: none of them is in the Western ANSI code page.
const std::string kWideName = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xE2\x9C\x93 "
                              "\xE6\x97\xA5\xE6\x9C\xAC.txt";

class WindowsFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeTemporaryFolder("mlx-fs-", &root_));
    fs_ = MakeFileSystem({});
  }
  void TearDown() override {
    // RemoveDirectory and DeleteFile with the long-path prefix, deepest first.
    Remove(text::ToWide("\\\\?\\" + root_));
  }
  static void Remove(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = path + L"\\" + name;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          Remove(child);
        } else {
          SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
  }

  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  std::string Read(const std::string& relative) const {
    std::string bytes;
    Status s = fs_->ReadFile(Path(relative), &bytes);
    return s.ok() ? bytes : "<" + s.description() + ">";
  }

  std::string root_;
  std::unique_ptr<FileSystem> fs_;
};

TEST_F(WindowsFsTest, NamesOutsideTheAnsiCodePageAreKeptWhole) {
  ASSERT_TRUE(fs_->WriteFile(Path(kWideName), "uno").ok());
  // The system holds the name in UTF-16, as written.
  EXPECT_NE(GetFileAttributesW(text::ToWide(Path(kWideName)).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fs_->List(Path("*.TXT"), false), Names{kWideName});
  EXPECT_EQ(Read(kWideName), "uno");
  ASSERT_TRUE(fs_->CopyFile(Path(kWideName), Path("copia " + kWideName), false, false).ok());
  ASSERT_TRUE(fs_->Rename(Path("copia " + kWideName), Path("z.txt")).ok());
  EXPECT_EQ(Read("z.txt"), "uno");
  ASSERT_TRUE(fs_->DeleteFile(Path("*" + kWideName.substr(0, 4) + "*")).ok());
  EXPECT_EQ(fs_->List(Path("*"), false), Names{"z.txt"});
}

TEST_F(WindowsFsTest, PathsLongerThan260CharactersWork) {
  std::string folder = root_;
  for (int i = 0; i < 12; ++i) {
    folder += "\\cartella-dal-nome-piuttosto-lungo-" + std::to_string(i);
    ASSERT_TRUE(fs_->MakeDirectory(folder).ok()) << folder.size();
  }
  ASSERT_GT(folder.size(), 400u);
  const std::string file = folder + "\\" + kWideName;
  ASSERT_TRUE(fs_->WriteFile(file, "profondo").ok());
  EXPECT_TRUE(fs_->IsFile(file));
  EXPECT_TRUE(fs_->IsDirectory(folder));
  EXPECT_EQ(fs_->List(folder + "\\*.txt", false), Names{kWideName});
  ASSERT_TRUE(fs_->CopyFile(file, folder + "\\b.txt", false, true).ok());
  std::string bytes;
  ASSERT_TRUE(fs_->ReadFile(folder + "\\b.txt", &bytes).ok());
  EXPECT_EQ(bytes, "profondo");
  std::unique_ptr<InputFile> lines;
  ASSERT_TRUE(fs_->OpenLines(file, &lines).ok());
  std::string line;
  ASSERT_TRUE(lines->ReadLine(&line));
  EXPECT_EQ(line, "profondo");
}

TEST_F(WindowsFsTest, AFileLockedByAnotherProgramIsReportedAndLeftAlone) {
  ASSERT_TRUE(fs_->WriteFile(Path("a.txt"), "sorgente").ok());
  ASSERT_TRUE(fs_->WriteFile(Path("b.txt"), "destinazione").ok());
  // Held open without any sharing, as a program that locks its file does.
  HANDLE lock = CreateFileW(text::ToWide(Path("b.txt")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  Status s = fs_->CopyFile(Path("a.txt"), Path("b.txt"), true, false);
  EXPECT_EQ(s.number(), err::kPathFileAccess);
  EXPECT_NE(s.description().find("in uso"), std::string::npos) << s.description();
  s = fs_->CopyFile(Path("b.txt"), Path("c.txt"), true, false);
  EXPECT_EQ(s.number(), err::kPathFileAccess) << s.description();
  EXPECT_FALSE(fs_->Exists(Path("c.txt")));
  CloseHandle(lock);
  EXPECT_EQ(Read("b.txt"), "destinazione");
  // Nothing is left beside the files by the failed copies.
  EXPECT_EQ(fs_->List(Path("*"), false), (Names{"a.txt", "b.txt"}));
}

TEST_F(WindowsFsTest, ErrorsAndAtomicWritesAreThoseOfEveryPlatform) {
  ASSERT_TRUE(fs_->WriteFile(Path("a.txt"), "vecchio").ok());
  ASSERT_TRUE(fs_->WriteFile(Path("a.txt"), "nuovo").ok());
  EXPECT_EQ(Read("a.txt"), "nuovo");
  ASSERT_TRUE(fs_->AppendFile(Path("a.txt"), "+").ok());
  EXPECT_EQ(Read("a.txt"), "nuovo+");
  EXPECT_EQ(fs_->List(Path("*.*"), false), Names{"a.txt"});

  EXPECT_EQ(fs_->ReadFile(Path("manca.txt"), nullptr).number(), err::kFileNotFound);
  EXPECT_EQ(fs_->WriteFile(Path("manca\\a.txt"), "x").number(), err::kPathNotFound);
  ASSERT_TRUE(fs_->CopyFile(Path("a.txt"), Path("b.txt"), false, false).ok());
  EXPECT_EQ(fs_->CopyFile(Path("a.txt"), Path("b.txt"), false, false).number(), err::kFileExists);
  EXPECT_EQ(fs_->Rename(Path("a.txt"), Path("B.TXT")).number(), err::kFileExists);
  EXPECT_TRUE(fs_->CopyFile(Path("a.txt"), Path("a.txt"), true, false).ok());
  EXPECT_EQ(Read("a.txt"), "nuovo+");
  ASSERT_TRUE(fs_->MakeDirectory(Path("sub")).ok());
  EXPECT_EQ(fs_->MakeDirectory(Path("sub")).number(), err::kPathFileAccess);
  EXPECT_EQ(fs_->DeleteFile(Path("sub")).number(), err::kPathFileAccess);
  EXPECT_EQ(fs_->DeleteFile(Path("*.zip")).number(), err::kFileNotFound);

  // A read-only target is not overwritten.
  ASSERT_TRUE(SetFileAttributesW(text::ToWide(Path("b.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(fs_->CopyFile(Path("a.txt"), Path("b.txt"), true, false).number(),
            err::kPermissionDenied);
  EXPECT_EQ(fs_->WriteFile(Path("b.txt"), "x").number(), err::kPermissionDenied);
  EXPECT_EQ(Read("b.txt"), "nuovo+");

  // Script paths reach the system with its own separators; drive letters are native.
  EXPECT_EQ(fs_->ToNative("C:/App/x.txt"), "C:\\App\\x.txt");
  EXPECT_EQ(fs_->ToNative("\\\\server\\share\\x"), "\\\\server\\share\\x");
}

}  // namespace
}  // namespace mlx::fs
