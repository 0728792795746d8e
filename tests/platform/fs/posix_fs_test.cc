#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/fs/fs.h"

namespace mlx::fs {
namespace {

namespace stdfs = std::filesystem;
using Names = std::vector<std::string>;

// Each test gets a fresh folder, reachable natively and as drive C: ("C:\...").
class PosixFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (stdfs::temp_directory_path() / "mlx-fs-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    PosixFileSystemOptions options;
    options.drives['C'] = root_;
    fs_ = MakePosixFileSystem(options);
  }
  void TearDown() override { stdfs::remove_all(root_); }

  std::string Native(const std::string& relative) const { return root_ + "/" + relative; }
  void Put(const std::string& relative, const std::string& bytes) const {
    std::ofstream(Native(relative), std::ios::binary) << bytes;
  }
  std::string Get(const std::string& relative) const {
    std::ifstream in(Native(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  Names Lines(const std::string& bytes) {
    Put("lines.txt", bytes);
    std::unique_ptr<InputFile> file;
    Status s = fs_->OpenLines("C:\\lines.txt", &file);
    EXPECT_TRUE(s.ok()) << s.description();
    Names lines;
    std::string line;
    while (file && file->ReadLine(&line)) lines.push_back(line);
    if (file) {
      EXPECT_TRUE(file->status().ok());
    }
    return lines;
  }
  // Entries of the test folder, to see that nothing was left behind.
  Names Entries() const {
    Names names;
    for (const auto& entry : stdfs::directory_iterator(root_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string root_;
  std::unique_ptr<FileSystem> fs_;
};

TEST_F(PosixFsTest, ToNativeMapsDrivesAndSeparators) {
  EXPECT_EQ(fs_->ToNative("C:\\App\\MLX.txt"), root_ + "/App/MLX.txt");
  EXPECT_EQ(fs_->ToNative("c:/App/MLX.txt"), root_ + "/App/MLX.txt");
  EXPECT_EQ(fs_->ToNative("C:"), root_);
  EXPECT_EQ(fs_->ToNative("C:\\"), root_);
  EXPECT_EQ(fs_->ToNative("sub\\file.txt"), "sub/file.txt");
  EXPECT_EQ(fs_->ToNative("/abs/x"), "/abs/x");
  EXPECT_EQ(fs_->ToNative("Q:\\x"), "");

  PosixFileSystemOptions options;
  options.drives['D'] = "/";
  EXPECT_EQ(MakePosixFileSystem(options)->ToNative("D:\\etc\\hosts"), "/etc/hosts");
}

TEST_F(PosixFsTest, KindsOfEntries) {
  Put("a.txt", "x");
  stdfs::create_directory(Native("Dir"));
  EXPECT_TRUE(fs_->Exists("C:\\a.txt"));
  EXPECT_TRUE(fs_->IsFile("C:\\a.txt"));
  EXPECT_FALSE(fs_->IsDirectory("C:\\a.txt"));
  EXPECT_TRUE(fs_->IsDirectory("C:\\Dir"));
  EXPECT_TRUE(fs_->IsDirectory("C:\\Dir\\"));
  EXPECT_FALSE(fs_->IsFile("C:\\Dir"));
  EXPECT_FALSE(fs_->Exists("C:\\A.TXT"));  // used as written
  EXPECT_FALSE(fs_->Exists("Q:\\a.txt"));
  EXPECT_FALSE(fs_->Exists(""));
}

TEST_F(PosixFsTest, ListMatchesWildcardsWithoutRegardToCase) {
  for (const char* name : {"b.TXT", "a.txt", "C.txt", "notes.log", "README", ".hidden.txt"}) {
    Put(name, "x");
  }
  stdfs::create_directory(Native("dir.txt"));
  EXPECT_EQ(fs_->List("C:\\*.txt", false), (Names{".hidden.txt", "a.txt", "b.TXT", "C.txt"}));
  EXPECT_EQ(fs_->List("C:\\*.txt", true),
            (Names{".hidden.txt", "a.txt", "b.TXT", "C.txt", "dir.txt"}));
  EXPECT_EQ(fs_->List("C:\\?.Txt", false), (Names{"a.txt", "b.TXT", "C.txt"}));
  // "*.*" takes names without an extension too; "." and ".." are never listed.
  EXPECT_EQ(fs_->List("C:\\*.*", false).size(), 6u);
  EXPECT_EQ(fs_->List("C:\\*", true).size(), 7u);
  EXPECT_EQ(fs_->List("C:*.log", false), (Names{"notes.log"}));
}

TEST_F(PosixFsTest, ListWithoutWildcardsNamesOneEntryExactly) {
  Put("a.txt", "x");
  stdfs::create_directory(Native("Dir"));
  EXPECT_EQ(fs_->List("C:\\a.txt", false), (Names{"a.txt"}));
  EXPECT_TRUE(fs_->List("C:\\A.TXT", false).empty());
  EXPECT_TRUE(fs_->List("C:\\Dir", false).empty());
  EXPECT_EQ(fs_->List("C:\\Dir", true), (Names{"Dir"}));
  EXPECT_TRUE(fs_->List("C:\\.", true).empty());
  EXPECT_TRUE(fs_->List("C:\\missing\\*", true).empty());
  EXPECT_TRUE(fs_->List("Q:\\*", true).empty());
}

TEST_F(PosixFsTest, WriteReadAndAppendKeepBytes) {
  const std::string bytes("\x00\xFF\r\nà", 6);
  ASSERT_TRUE(fs_->WriteFile("C:\\out.bin", bytes).ok());
  std::string read;
  ASSERT_TRUE(fs_->ReadFile("C:\\out.bin", &read).ok());
  EXPECT_EQ(read, bytes);

  ASSERT_TRUE(fs_->WriteFile("C:\\out.bin", "short").ok());
  EXPECT_EQ(Get("out.bin"), "short");
  ASSERT_TRUE(fs_->AppendFile("C:\\out.bin", " more").ok());
  EXPECT_EQ(Get("out.bin"), "short more");
  ASSERT_TRUE(fs_->AppendFile("C:\\new.log", "first").ok());
  EXPECT_EQ(Get("new.log"), "first");
  EXPECT_EQ(Entries(), (Names{"new.log", "out.bin"}));
}

TEST_F(PosixFsTest, WriteFileKeepsTheModeOfAnExistingFile) {
  Put("script.sh", "old");
  chmod(Native("script.sh").c_str(), 0750);
  ASSERT_TRUE(fs_->WriteFile("C:\\script.sh", "new").ok());
  EXPECT_EQ(stdfs::status(Native("script.sh")).permissions(), stdfs::perms(0750));
  EXPECT_EQ(Get("script.sh"), "new");
}

TEST_F(PosixFsTest, ErrorsCarryNumbersAndNameThePath) {
  std::string bytes;
  Status s = fs_->ReadFile("C:\\nessuno.txt", &bytes);
  EXPECT_EQ(s.number(), 53);
  EXPECT_EQ(s.description(), "File non trovato: C:\\nessuno.txt");

  s = fs_->ReadFile("C:\\manca\\nessuno.txt", &bytes);
  EXPECT_EQ(s.number(), 76);
  EXPECT_NE(s.description().find("Impossibile trovare il percorso"), std::string::npos);
  EXPECT_NE(s.description().find("C:\\manca\\nessuno.txt"), std::string::npos);

  EXPECT_EQ(fs_->ReadFile("Q:\\x.txt", &bytes).number(), 76);
  EXPECT_EQ(fs_->WriteFile("C:\\manca\\x.txt", "x").number(), 76);
  EXPECT_EQ(fs_->AppendFile("Q:\\x.txt", "x").number(), 76);

  stdfs::create_directory(Native("Dir"));
  s = fs_->ReadFile("C:\\Dir", &bytes);
  EXPECT_EQ(s.number(), 75);
  EXPECT_NE(s.description().find("Errore di accesso al percorso/file"), std::string::npos);
  EXPECT_EQ(fs_->WriteFile("C:\\Dir", "x").number(), 75);
  EXPECT_EQ(fs_->ReadFile("", &bytes).number(), 53);
}

TEST_F(PosixFsTest, APathWithANulByteIsRefusedWhole) {
  std::string path("C:\\a\0b", 6);
  Status s = fs_->WriteFile(path, "x");
  EXPECT_EQ(s.number(), 75);
  EXPECT_FALSE(stdfs::exists(Native("a")));
  EXPECT_FALSE(fs_->Exists(path));
}

TEST_F(PosixFsTest, PermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
  Put("secret.txt", "x");
  chmod(Native("secret.txt").c_str(), 0);
  std::string bytes;
  Status s = fs_->ReadFile("C:\\secret.txt", &bytes);
  EXPECT_EQ(s.number(), 70);
  EXPECT_EQ(s.description(), "Autorizzazione negata: C:\\secret.txt");
  EXPECT_EQ(fs_->WriteFile("C:\\secret.txt", "y").number(), 70);
  chmod(Native("secret.txt").c_str(), 0600);
}

TEST_F(PosixFsTest, OpenLinesSplitsAtEveryKindOfLineEnd) {
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (Names{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\n\nb\r\n"), (Names{"a", "", "b"}));
  EXPECT_EQ(Lines("\r\r\n\n"), (Names{"", "", ""}));
  EXPECT_EQ(Lines(""), Names{});
  EXPECT_EQ(Lines("\xEF\xBB\xBFprima\r\nseconda"), (Names{"prima", "seconda"}));
}

TEST_F(PosixFsTest, OpenLinesDecodesEachLineOnItsOwn) {
  // A UTF-8 line, a Windows-1252 line ("città" with a single byte for à), a UTF-8 line.
  EXPECT_EQ(Lines("caff\xC3\xA8\r\ncitt\xE0\r\n\xE2\x82\xAC"),
            (Names{"caff\xC3\xA8", "citt\xC3\xA0", "\xE2\x82\xAC"}));
  // A byte-order mark is dropped even when the first line is not valid UTF-8.
  EXPECT_EQ(Lines("\xEF\xBB\xBF\xE0"), (Names{"\xC3\xA0"}));
}

TEST_F(PosixFsTest, OpenLinesHandlesLinesAcrossReadChunks) {
  // A CR LF pair split exactly where one read ends and the next begins, then a line longer
  // than a read, then many short lines.
  const std::size_t chunk = 64 * 1024;
  std::string first(chunk - 1, 'a');
  std::string longer(3 * chunk + 17, 'b');
  std::string bytes = first + "\r\n" + longer + "\r\n";
  for (int i = 0; i < 20000; ++i) bytes += "riga " + std::to_string(i) + "\r\n";
  Names lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 20002u);
  EXPECT_EQ(lines[0], first);
  EXPECT_EQ(lines[1], longer);
  EXPECT_EQ(lines[2], "riga 0");
  EXPECT_EQ(lines.back(), "riga 19999");
}

TEST_F(PosixFsTest, OpenLinesReportsMissingFiles) {
  std::unique_ptr<InputFile> file;
  EXPECT_EQ(fs_->OpenLines("C:\\nessuno.txt", &file).number(), 53);
  EXPECT_EQ(file, nullptr);
  stdfs::create_directory(Native("Dir"));
  EXPECT_EQ(fs_->OpenLines("C:\\Dir", &file).number(), 75);
}

TEST_F(PosixFsTest, CopyFileCopiesContentModeAndTime) {
  Put("src.exe", "contenuto");
  chmod(Native("src.exe").c_str(), 0751);
  auto old_time = stdfs::file_time_type() + std::chrono::hours(24 * 365 * 40);
  stdfs::last_write_time(Native("src.exe"), old_time);

  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\dst.exe", false).ok());
  EXPECT_EQ(Get("dst.exe"), "contenuto");
  EXPECT_EQ(stdfs::status(Native("dst.exe")).permissions(), stdfs::perms(0751));
  EXPECT_EQ(stdfs::last_write_time(Native("dst.exe")), old_time);
  EXPECT_EQ(Entries(), (Names{"dst.exe", "src.exe"}));
}

TEST_F(PosixFsTest, CopyFileOverwritesOnlyWhenAsked) {
  Put("src.txt", "nuovo");
  Put("dst.txt", "vecchio");
  Status s = fs_->CopyFile("C:\\src.txt", "C:\\dst.txt", false);
  EXPECT_EQ(s.number(), 58);
  EXPECT_NE(s.description().find("C:\\dst.txt"), std::string::npos);
  EXPECT_EQ(Get("dst.txt"), "vecchio");

  ASSERT_TRUE(fs_->CopyFile("C:\\src.txt", "C:\\dst.txt", true).ok());
  EXPECT_EQ(Get("dst.txt"), "nuovo");
  // A file copied onto itself keeps its content.
  ASSERT_TRUE(fs_->CopyFile("C:\\src.txt", "C:\\src.txt", true).ok());
  EXPECT_EQ(Get("src.txt"), "nuovo");
  EXPECT_EQ(Entries(), (Names{"dst.txt", "src.txt"}));
}

TEST_F(PosixFsTest, CopyFileFailures) {
  Put("src.txt", "x");
  stdfs::create_directory(Native("Dir"));
  EXPECT_EQ(fs_->CopyFile("C:\\nessuno.txt", "C:\\dst.txt", true).number(), 53);
  EXPECT_EQ(fs_->CopyFile("C:\\src.txt", "C:\\manca\\dst.txt", true).number(), 76);
  EXPECT_EQ(fs_->CopyFile("C:\\src.txt", "C:\\Dir", true).number(), 75);
  EXPECT_EQ(fs_->CopyFile("C:\\Dir", "C:\\dst.txt", true).number(), 75);
  EXPECT_EQ(Entries(), (Names{"Dir", "src.txt"}));
}

TEST_F(PosixFsTest, DeleteFileWithWildcardsDeletesEveryMatchingFile) {
  for (const char* name : {"a.tmp", "B.TMP", "keep.txt"}) Put(name, "x");
  stdfs::create_directory(Native("dir.tmp"));
  ASSERT_TRUE(fs_->DeleteFile("C:\\*.tmp").ok());
  EXPECT_EQ(Entries(), (Names{"dir.tmp", "keep.txt"}));

  Status s = fs_->DeleteFile("C:\\*.tmp");
  EXPECT_EQ(s.number(), 53);
  EXPECT_NE(s.description().find("C:\\*.tmp"), std::string::npos);
  EXPECT_EQ(fs_->DeleteFile("C:\\manca\\*.tmp").number(), 76);
}

TEST_F(PosixFsTest, DeleteFileOfOneFile) {
  Put("a.txt", "x");
  stdfs::create_directory(Native("Dir"));
  ASSERT_TRUE(fs_->DeleteFile("C:\\a.txt").ok());
  EXPECT_FALSE(stdfs::exists(Native("a.txt")));
  EXPECT_EQ(fs_->DeleteFile("C:\\a.txt").number(), 53);
  EXPECT_EQ(fs_->DeleteFile("C:\\manca\\a.txt").number(), 76);
  EXPECT_EQ(fs_->DeleteFile("C:\\Dir").number(), 75);
  EXPECT_TRUE(stdfs::is_directory(Native("Dir")));
}

TEST_F(PosixFsTest, RenameNeverReplacesAnExistingTarget) {
  Put("a.txt", "A");
  Put("b.txt", "B");
  Status s = fs_->Rename("C:\\a.txt", "C:\\b.txt");
  EXPECT_EQ(s.number(), 58);
  EXPECT_EQ(Get("a.txt"), "A");
  EXPECT_EQ(Get("b.txt"), "B");

  stdfs::create_directory(Native("Dir"));
  ASSERT_TRUE(fs_->Rename("C:\\a.txt", "C:\\Dir\\c.txt").ok());
  EXPECT_EQ(Get("Dir/c.txt"), "A");
  EXPECT_FALSE(stdfs::exists(Native("a.txt")));
  ASSERT_TRUE(fs_->Rename("C:\\Dir", "C:\\Cartella").ok());
  EXPECT_TRUE(stdfs::is_directory(Native("Cartella")));

  EXPECT_EQ(fs_->Rename("C:\\a.txt", "C:\\z.txt").number(), 53);
  EXPECT_EQ(fs_->Rename("C:\\b.txt", "C:\\manca\\z.txt").number(), 76);
  EXPECT_EQ(Get("b.txt"), "B");
}

TEST_F(PosixFsTest, RenameMovesAFileToAnotherVolume) {
  std::string tmpl = "/dev/shm/mlx-fs-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) GTEST_SKIP() << "no second volume at /dev/shm";
  struct stat here {}, there {};
  stat(root_.c_str(), &here);
  stat(tmpl.c_str(), &there);
  if (here.st_dev == there.st_dev) {
    stdfs::remove_all(tmpl);
    GTEST_SKIP() << "/dev/shm is on the same volume";
  }
  PosixFileSystemOptions options;
  options.drives['C'] = root_;
  options.drives['D'] = tmpl;
  auto fs = MakePosixFileSystem(options);
  Put("a.txt", "A");
  Put("b.txt", "B");
  std::ofstream(tmpl + "/b.txt") << "altro";
  Status moved = fs->Rename("C:\\a.txt", "D:\\a.txt");
  Status refused = fs->Rename("C:\\b.txt", "D:\\b.txt");
  std::ifstream in(tmpl + "/a.txt");
  std::string content(std::istreambuf_iterator<char>(in), {});
  stdfs::remove_all(tmpl);
  ASSERT_TRUE(moved.ok()) << moved.description();
  EXPECT_EQ(content, "A");
  EXPECT_FALSE(stdfs::exists(Native("a.txt")));
  EXPECT_EQ(refused.number(), 58);
  EXPECT_EQ(Get("b.txt"), "B");
}

TEST_F(PosixFsTest, MakeDirectoryMakesOneLevel) {
  ASSERT_TRUE(fs_->MakeDirectory("C:\\Nuova").ok());
  EXPECT_TRUE(stdfs::is_directory(Native("Nuova")));
  Status s = fs_->MakeDirectory("C:\\Nuova");
  EXPECT_EQ(s.number(), 75);
  EXPECT_NE(s.description().find("C:\\Nuova"), std::string::npos);
  EXPECT_EQ(fs_->MakeDirectory("C:\\a\\b").number(), 76);
  EXPECT_FALSE(stdfs::exists(Native("a")));
}

TEST_F(PosixFsTest, ProgramFolderAndName) {
  EXPECT_EQ(fs_->ProgramName(), "marlovex");
  EXPECT_EQ(fs_->ProgramDirectory(), stdfs::read_symlink("/proc/self/exe").parent_path().string());

  PosixFileSystemOptions options;
  options.program_directory = root_;
  options.program_name = "mlx";
  auto fs = MakePosixFileSystem(options);
  EXPECT_EQ(fs->ProgramDirectory(), root_);
  EXPECT_EQ(fs->ProgramName(), "mlx");
  EXPECT_EQ(fs->CurrentDirectory(), stdfs::current_path().string());
}

}  // namespace
}  // namespace mlx::fs
