#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
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

std::string MakeTempFolder(const std::string& parent) {
  std::string tmpl = parent + "/mlx-fs-XXXXXX";
  return mkdtemp(tmpl.data()) == nullptr ? "" : tmpl;
}

// Each test gets a fresh folder, reachable natively and as drive C: ("C:\...").
class PosixFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempFolder(stdfs::temp_directory_path().string());
    ASSERT_FALSE(root_.empty());
    FileSystemOptions options;
    options.drives['C'] = root_;
    fs_ = MakeFileSystem(options);
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
    EXPECT_TRUE(fs_->OpenLines("C:\\lines.txt", &file).ok());
    Names lines;
    std::string line;
    while (file && file->ReadLine(&line)) lines.push_back(line);
    EXPECT_TRUE(file && file->status().ok());
    return lines;
  }
  // The test folder's entries, to see that nothing was left behind.
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

TEST_F(PosixFsTest, PathsAreMappedThroughTheDriveTable) {
  EXPECT_EQ(fs_->ToNative("C:\\App\\MLX.txt"), root_ + "/App/MLX.txt");
  EXPECT_EQ(fs_->ToNative("c:/App/MLX.txt"), root_ + "/App/MLX.txt");
  EXPECT_EQ(fs_->ToNative("C:\\"), root_);
  EXPECT_EQ(fs_->ToNative("sub\\file.txt"), "sub/file.txt");
  EXPECT_EQ(fs_->ToNative("Q:\\x"), "");

  Put("a.txt", "x");
  EXPECT_TRUE(fs_->IsFile("c:/a.txt") && fs_->IsDirectory("C:\\") && !fs_->IsFile("C:\\"));
  EXPECT_FALSE(fs_->Exists("C:\\A.TXT"));  // used as written
}

TEST_F(PosixFsTest, ListMatchesWildcardsWithoutRegardToCase) {
  for (const char* name : {"b.TXT", "a.txt", "C.txt", "notes.log", "README"}) Put(name, "x");
  stdfs::create_directory(Native("dir.txt"));
  EXPECT_EQ(fs_->List("C:\\*.txt", false), (Names{"a.txt", "b.TXT", "C.txt"}));
  EXPECT_EQ(fs_->List("C:\\?.Txt", true), (Names{"a.txt", "b.TXT", "C.txt"}));
  EXPECT_EQ(fs_->List("C:\\*.txt", true).back(), "dir.txt");
  // "*.*" takes names without an extension too; "." and ".." are never listed.
  EXPECT_EQ(fs_->List("C:\\*.*", false).size(), 5u);
  EXPECT_EQ(fs_->List("C:\\*", true).size(), 6u);
  EXPECT_EQ(fs_->List("C:*.log", false), (Names{"notes.log"}));
  // Without wildcards: one entry, named exactly.
  EXPECT_EQ(fs_->List("C:\\a.txt", false), (Names{"a.txt"}));
  EXPECT_TRUE(fs_->List("C:\\A.TXT", false).empty());
  EXPECT_TRUE(fs_->List("C:\\dir.txt", false).empty());
  EXPECT_TRUE(fs_->List("C:\\manca\\*", true).empty());
}

TEST_F(PosixFsTest, WriteReadAndAppend) {
  const std::string bytes("\x00\xFF\r\nà", 6);
  ASSERT_TRUE(fs_->WriteFile("C:\\out.bin", bytes).ok());
  std::string read;
  ASSERT_TRUE(fs_->ReadFile("C:\\out.bin", &read).ok());
  EXPECT_EQ(read, bytes);
  ASSERT_TRUE(fs_->AppendFile("C:\\new.log", "first").ok());
  ASSERT_TRUE(fs_->AppendFile("C:\\new.log", "+").ok());
  EXPECT_EQ(Get("new.log"), "first+");

  // Replacing keeps the mode, and writes through links.
  chmod(Native("out.bin").c_str(), 0750);
  ASSERT_TRUE(fs_->WriteFile("C:\\out.bin", "new").ok());
  EXPECT_EQ(Get("out.bin"), "new");
  EXPECT_EQ(stdfs::status(Native("out.bin")).permissions(), stdfs::perms(0750));
  stdfs::create_symlink(Native("out.bin"), Native("soft"));
  stdfs::create_hard_link(Native("out.bin"), Native("hard"));
  ASSERT_TRUE(fs_->WriteFile("C:\\soft", "via soft").ok());
  EXPECT_EQ(Get("hard"), "via soft");
  ASSERT_TRUE(fs_->WriteFile("C:\\hard", "via hard").ok());
  EXPECT_EQ(Get("out.bin"), "via hard");
  EXPECT_EQ(Entries(), (Names{"hard", "new.log", "out.bin", "soft"}));
}

// Every operation reports the script language's number for a missing file (53), a missing folder
// (76), a folder or a bad name where a file is meant (75) and a target that is there (58), and
// changes nothing when it fails.
TEST_F(PosixFsTest, FailuresCarryTheScriptNumbersAndChangeNothing) {
  Put("a.txt", "A");
  Put("b.txt", "B");
  stdfs::create_directory(Native("Dir"));
  std::string bytes;
  std::unique_ptr<InputFile> lines;
  std::unique_ptr<RandomAccessFile> random;
  const std::pair<Status, int> cases[] = {
      {fs_->ReadFile("C:\\nessuno.txt", &bytes), 53},
      {fs_->ReadFile("C:\\manca\\x.txt", &bytes), 76},
      {fs_->ReadFile("C:\\Dir", &bytes), 75},
      {fs_->WriteFile("C:\\manca\\x.txt", "x"), 76},
      {fs_->WriteFile(std::string("C:\\a\0b", 6), "x"), 75},  // never cut short at the NUL
      {fs_->OpenLines("C:\\nessuno.txt", &lines), 53},
      {fs_->OpenRandomAccess("C:\\nessuno.bin", &random), 53},
      {fs_->OpenRandomAccess("C:\\Dir", &random), 75},
      {fs_->CopyFile("C:\\a.txt", "C:\\b.txt", false, false), 58},
      {fs_->CopyFile("C:\\nessuno", "C:\\x", true, false), 53},
      {fs_->CopyFile("C:\\a.txt", "C:\\manca\\x", true, false), 76},
      {fs_->CopyFile("C:\\a.txt", "C:\\Dir", true, false), 75},
      {fs_->DeleteFile("C:\\*.tmp"), 53},
      {fs_->DeleteFile("C:\\nessuno.txt"), 53},
      {fs_->DeleteFile("C:\\manca\\*.tmp"), 76},
      {fs_->DeleteFile("C:\\Dir"), 75},
      {fs_->Rename("C:\\a.txt", "C:\\b.txt"), 58},
      {fs_->Rename("C:\\z.txt", "C:\\y.txt"), 53},
      {fs_->Rename("C:\\a.txt", "C:\\manca\\z.txt"), 76},
      {fs_->MakeDirectory("C:\\Dir"), 75},
      {fs_->MakeDirectory("C:\\a\\b"), 76},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].first.number(), cases[i].second)
        << i << ": " << cases[i].first.description();
  }
  EXPECT_EQ(lines, nullptr);
  EXPECT_EQ(random, nullptr);
  EXPECT_EQ(cases[0].first.description(), "File non trovato: C:\\nessuno.txt");
  EXPECT_EQ(cases[1].first.description(), "Impossibile trovare il percorso: C:\\manca\\x.txt");
  EXPECT_EQ(cases[2].first.description().rfind("Errore di accesso al percorso/file: C:\\Dir", 0),
            0u);
  EXPECT_EQ(Entries(), (Names{"Dir", "a.txt", "b.txt"}));
  EXPECT_EQ(Get("b.txt"), "B");
}

// A FIFO (no program at its other end), a device or a folder where a file is expected is
// refused at once by every way of opening one; a FIFO would otherwise wait for ever.
TEST_F(PosixFsTest, OnlyRegularFilesAreOpened) {
  ASSERT_EQ(mkfifo(Native("coda").c_str(), 0600), 0);
  stdfs::create_directory(Native("Dir"));
  stdfs::create_symlink(Native("coda"), Native("link"));
  const std::string kFifo = "non è un file ordinario";
  for (const std::string path : {"C:\\coda", "C:\\link", "/dev/zero", "C:\\Dir"}) {
    SCOPED_TRACE(path);
    const std::string why = path == "C:\\Dir" ? "è una cartella" : kFifo;
    std::string bytes;
    Status s = fs_->ReadFile(path, &bytes);
    EXPECT_EQ(s.number(), 75);
    EXPECT_NE(s.description().find(why), std::string::npos) << s.description();
    std::unique_ptr<InputFile> lines;
    EXPECT_NE(fs_->OpenLines(path, &lines).description().find(why), std::string::npos);
    std::unique_ptr<RandomAccessFile> random;
    EXPECT_FALSE(fs_->OpenRandomAccess(path, &random).ok());
    EXPECT_NE(fs_->CopyFile(path, "C:\\copia", true, false).description().find(why),
              std::string::npos);
    if (path.starts_with("C:")) {
      EXPECT_NE(fs_->AppendFile(path, "x").description().find(why), std::string::npos);
      EXPECT_FALSE(fs_->WriteFile(path, "x").ok());
    }
  }
  // The FIFO and the link are still there, untouched; nothing else was made.
  EXPECT_EQ(Entries(), (Names{"Dir", "coda", "link"}));
  struct stat st {};
  ASSERT_EQ(lstat(Native("coda").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(PosixFsTest, OpenLinesSplitsAndDecodesEachLine) {
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (Names{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\n\n\r\r\nb\r\n"), (Names{"a", "", "", "", "b"}));
  EXPECT_EQ(Lines(""), Names{});
  // UTF-8, then Windows-1252 ("città" with one byte for à), each line on its own; the
  // byte-order mark goes even when the first line is not UTF-8.
  EXPECT_EQ(Lines("\xEF\xBB\xBF\xE0\r\ncaff\xC3\xA8\r\ncitt\xE0"),
            (Names{"\xC3\xA0", "caff\xC3\xA8", "citt\xC3\xA0"}));
}

TEST_F(PosixFsTest, OpenLinesHandlesLinesAcrossReadChunks) {
  // A CR LF split where one 64 KiB read ends, then a line longer than a read.
  std::string first(64 * 1024 - 1, 'a');
  std::string longer(3 * 64 * 1024 + 17, 'b');
  EXPECT_EQ(Lines(first + "\r\n" + longer + "\r\nfine"), (Names{first, longer, "fine"}));
}

TEST_F(PosixFsTest, RandomAccessReadsOnlyWhatTheFileHolds) {
  Put("data.bin", std::string("0123456789\0X", 12));
  std::unique_ptr<RandomAccessFile> file;
  ASSERT_TRUE(fs_->OpenRandomAccess("C:\\data.bin", &file).ok());
  EXPECT_EQ(file->Size(), 12u);
  std::string bytes = "old";
  ASSERT_TRUE(file->ReadAt(3, 4, &bytes).ok());
  EXPECT_EQ(bytes, "3456");
  // Near the end fewer bytes, at or past it none; a huge count reads only what is there.
  ASSERT_TRUE(file->ReadAt(9, 100, &bytes).ok());
  EXPECT_EQ(bytes, std::string("9\0X", 3));
  ASSERT_TRUE(file->ReadAt(12, 1, &bytes).ok());
  EXPECT_EQ(bytes, "");
  ASSERT_TRUE(file->ReadAt(~std::uint64_t{0}, ~std::size_t{0}, &bytes).ok());
  EXPECT_EQ(bytes, "");
  ASSERT_TRUE(file->ReadAt(0, ~std::size_t{0}, &bytes).ok());
  EXPECT_EQ(bytes.size(), 12u);

  // A file cut shorter after it was opened gives what is left.
  stdfs::resize_file(Native("data.bin"), 5);
  ASSERT_TRUE(file->ReadAt(2, 8, &bytes).ok());
  EXPECT_EQ(bytes, "234");
}

TEST_F(PosixFsTest, CopyFileReplacesOnlyWhenAskedAndOntoItselfIsKept) {
  Put("src.exe", "nuovo");
  Put("dst.exe", "vecchio");
  auto old_time = stdfs::file_time_type() + std::chrono::hours(24 * 365 * 40);
  stdfs::last_write_time(Native("src.exe"), old_time);
  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\dst.exe", true, false).ok());
  EXPECT_EQ(Get("dst.exe"), "nuovo");
  EXPECT_EQ(stdfs::last_write_time(Native("dst.exe")), old_time);
  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\src.exe", true, false).ok());
  EXPECT_EQ(Get("src.exe"), "nuovo");
  EXPECT_EQ(Entries(), (Names{"dst.exe", "src.exe"}));
}

// Contents of any size, beyond the block size of any one read or copy step, and files of special
// file systems that report no size, are read and copied whole; a durable copy (a move's) is the
// same copy.
TEST_F(PosixFsTest, ContentsAreReadAndCopiedWholeWhateverTheirSizeSays) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536},
                                 std::size_t{65537}, std::size_t{300000},
                                 (std::size_t{3} << 20) + 17}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    Put("f.bin", bytes);
    std::string read = "left over";
    ASSERT_TRUE(fs_->ReadFile("C:\\f.bin", &read).ok());
    EXPECT_TRUE(read == bytes) << size;
    ASSERT_TRUE(fs_->CopyFile("C:\\f.bin", "C:\\copy.bin", true, size % 2 == 1).ok());
    EXPECT_TRUE(Get("copy.bin") == bytes) << size;
  }
  EXPECT_EQ(Entries(), (Names{"copy.bin", "f.bin"}));
  // A file of the process's own status: the file system gives it the size 0, yet it has text.
  auto proc = MakeFileSystem({"", "marlovex", {{'P', "/proc/self"}, {'C', root_}}});
  std::string status;
  ASSERT_TRUE(proc->ReadFile("P:\\status", &status).ok());
  EXPECT_NE(status.find("Pid:"), std::string::npos);
  ASSERT_TRUE(proc->CopyFile("P:\\mounts", "C:\\mounts.txt", false, false).ok());
  std::ifstream in("/proc/self/mounts");
  const std::string mounts(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(mounts.empty());
  EXPECT_EQ(Get("mounts.txt").substr(0, 20), mounts.substr(0, 20));
}

TEST_F(PosixFsTest, DeleteFileAndRename) {
  for (const char* name : {"a.tmp", "B.TMP", "keep.txt"}) Put(name, "x");
  stdfs::create_directory(Native("dir.tmp"));
  ASSERT_TRUE(fs_->DeleteFile("C:\\*.tmp").ok());
  EXPECT_EQ(Entries(), (Names{"dir.tmp", "keep.txt"}));
  ASSERT_TRUE(fs_->Rename("C:\\keep.txt", "C:\\dir.tmp\\c.txt").ok());
  EXPECT_EQ(Get("dir.tmp/c.txt"), "x");
  ASSERT_TRUE(fs_->Rename("C:\\dir.tmp", "C:\\Cartella").ok());
  ASSERT_TRUE(fs_->DeleteFile("C:\\Cartella\\c.txt").ok());
  EXPECT_EQ(Entries(), (Names{"Cartella"}));
}

TEST_F(PosixFsTest, RenameMovesAFileToAnotherVolume) {
  std::string other = MakeTempFolder("/dev/shm");  // tmpfs: another volume than /tmp
  if (other.empty()) GTEST_SKIP() << "no /dev/shm";
  auto fs = MakeFileSystem({"", "marlovex", {{'C', root_}, {'D', other}}});
  Put("a.txt", "A");
  Status moved = fs->Rename("C:\\a.txt", "D:\\a.txt");
  std::ifstream in(other + "/a.txt");
  std::string content(std::istreambuf_iterator<char>(in), {});
  stdfs::remove_all(other);
  EXPECT_TRUE(moved.ok()) << moved.description();
  EXPECT_EQ(content, "A");
  EXPECT_EQ(Entries(), Names{});
}

TEST_F(PosixFsTest, MakeDirectoryAndProgramFolder) {
  ASSERT_TRUE(fs_->MakeDirectory("C:\\Nuova").ok());
  EXPECT_TRUE(stdfs::is_directory(Native("Nuova")));
  EXPECT_EQ(fs_->ProgramDirectory(), stdfs::read_symlink("/proc/self/exe").parent_path().string());
}

}  // namespace
}  // namespace mlx::fs
