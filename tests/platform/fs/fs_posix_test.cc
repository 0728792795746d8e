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

TEST_F(PosixFsTest, ErrorsCarryNumbersAndNameThePath) {
  std::string bytes;
  Status s = fs_->ReadFile("C:\\nessuno.txt", &bytes);
  EXPECT_EQ(s.number(), 53);
  EXPECT_EQ(s.description(), "File non trovato: C:\\nessuno.txt");
  s = fs_->ReadFile("C:\\manca\\x.txt", &bytes);
  EXPECT_EQ(s.number(), 76);
  EXPECT_EQ(s.description(), "Impossibile trovare il percorso: C:\\manca\\x.txt");
  EXPECT_EQ(fs_->WriteFile("C:\\manca\\x.txt", "x").number(), 76);

  stdfs::create_directory(Native("Dir"));
  s = fs_->ReadFile("C:\\Dir", &bytes);
  EXPECT_EQ(s.number(), 75);
  EXPECT_EQ(s.description().rfind("Errore di accesso al percorso/file: C:\\Dir", 0), 0u);

  // A NUL byte refuses the whole path instead of cutting it short.
  EXPECT_EQ(fs_->WriteFile(std::string("C:\\a\0b", 6), "x").number(), 75);
  EXPECT_EQ(Entries(), (Names{"Dir"}));
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

  std::unique_ptr<InputFile> file;
  EXPECT_EQ(fs_->OpenLines("C:\\nessuno.txt", &file).number(), 53);
  EXPECT_EQ(file, nullptr);
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

  file.reset();
  EXPECT_EQ(fs_->OpenRandomAccess("C:\\nessuno.bin", &file).number(), 53);
  EXPECT_EQ(file, nullptr);
  stdfs::create_directory(Native("Dir"));
  EXPECT_EQ(fs_->OpenRandomAccess("C:\\Dir", &file).number(), 75);
}

TEST_F(PosixFsTest, CopyFile) {
  Put("src.exe", "nuovo");
  Put("dst.exe", "vecchio");
  chmod(Native("src.exe").c_str(), 0751);
  auto old_time = stdfs::file_time_type() + std::chrono::hours(24 * 365 * 40);
  stdfs::last_write_time(Native("src.exe"), old_time);

  EXPECT_EQ(fs_->CopyFile("C:\\src.exe", "C:\\dst.exe", false, false).number(), 58);
  EXPECT_EQ(Get("dst.exe"), "vecchio");
  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\dst.exe", true, false).ok());
  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\new.exe", false, false).ok());
  for (const char* name : {"dst.exe", "new.exe"}) {
    EXPECT_EQ(Get(name), "nuovo");
    EXPECT_EQ(stdfs::status(Native(name)).permissions(), stdfs::perms(0751));
    EXPECT_EQ(stdfs::last_write_time(Native(name)), old_time);
  }
  ASSERT_TRUE(fs_->CopyFile("C:\\src.exe", "C:\\src.exe", true, false).ok());
  EXPECT_EQ(Get("src.exe"), "nuovo");

  stdfs::create_directory(Native("Dir"));
  EXPECT_EQ(fs_->CopyFile("C:\\nessuno", "C:\\x", true, false).number(), 53);
  EXPECT_EQ(fs_->CopyFile("C:\\src.exe", "C:\\manca\\x", true, false).number(), 76);
  EXPECT_EQ(fs_->CopyFile("C:\\src.exe", "C:\\Dir", true, false).number(), 75);
  EXPECT_EQ(Entries(), (Names{"Dir", "dst.exe", "new.exe", "src.exe"}));
}

// Contents beyond the block size of any one copy step, and files of special file systems that
// report no size, arrive whole; a durable copy (a move's) is the same copy.
TEST_F(PosixFsTest, CopyFileContentWhole) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  Put("big.bin", big);
  Put("empty.txt", "");
  ASSERT_TRUE(fs_->CopyFile("C:\\big.bin", "C:\\copy.bin", false, false).ok());
  ASSERT_TRUE(fs_->CopyFile("C:\\big.bin", "C:\\moved.bin", false, true).ok());
  ASSERT_TRUE(fs_->CopyFile("C:\\empty.txt", "C:\\empty2.txt", false, false).ok());
  EXPECT_TRUE(Get("copy.bin") == big);
  EXPECT_TRUE(Get("moved.bin") == big);
  EXPECT_EQ(Get("empty2.txt"), "");

  std::ifstream in("/proc/self/mounts");
  const std::string mounts(std::istreambuf_iterator<char>(in), {});
  if (mounts.empty()) GTEST_SKIP() << "no /proc";
  ASSERT_TRUE(fs_->CopyFile("/proc/self/mounts", "C:\\mounts.txt", false, false).ok());
  EXPECT_EQ(Get("mounts.txt").substr(0, 20), mounts.substr(0, 20));
  EXPECT_EQ(Entries(),
            (Names{"big.bin", "copy.bin", "empty.txt", "empty2.txt", "mounts.txt", "moved.bin"}));
}

TEST_F(PosixFsTest, DeleteFile) {
  for (const char* name : {"a.tmp", "B.TMP", "keep.txt"}) Put(name, "x");
  stdfs::create_directory(Native("dir.tmp"));
  ASSERT_TRUE(fs_->DeleteFile("C:\\*.tmp").ok());
  EXPECT_EQ(Entries(), (Names{"dir.tmp", "keep.txt"}));
  EXPECT_EQ(fs_->DeleteFile("C:\\*.tmp").number(), 53);
  EXPECT_EQ(fs_->DeleteFile("C:\\manca\\*.tmp").number(), 76);

  ASSERT_TRUE(fs_->DeleteFile("C:\\keep.txt").ok());
  EXPECT_EQ(fs_->DeleteFile("C:\\keep.txt").number(), 53);
  EXPECT_EQ(fs_->DeleteFile("C:\\dir.tmp").number(), 75);
  EXPECT_EQ(Entries(), (Names{"dir.tmp"}));
}

TEST_F(PosixFsTest, RenameNeverReplacesAnExistingTarget) {
  Put("a.txt", "A");
  Put("b.txt", "B");
  EXPECT_EQ(fs_->Rename("C:\\a.txt", "C:\\b.txt").number(), 58);
  EXPECT_EQ(Get("b.txt"), "B");
  stdfs::create_directory(Native("Dir"));
  ASSERT_TRUE(fs_->Rename("C:\\a.txt", "C:\\Dir\\c.txt").ok());
  EXPECT_EQ(Get("Dir/c.txt"), "A");
  ASSERT_TRUE(fs_->Rename("C:\\Dir", "C:\\Cartella").ok());
  EXPECT_EQ(fs_->Rename("C:\\a.txt", "C:\\z.txt").number(), 53);
  EXPECT_EQ(fs_->Rename("C:\\b.txt", "C:\\manca\\z.txt").number(), 76);
  EXPECT_EQ(Entries(), (Names{"Cartella", "b.txt"}));
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
  EXPECT_EQ(fs_->MakeDirectory("C:\\Nuova").number(), 75);
  EXPECT_EQ(fs_->MakeDirectory("C:\\a\\b").number(), 76);
  EXPECT_EQ(fs_->ProgramDirectory(), stdfs::read_symlink("/proc/self/exe").parent_path().string());
}

TEST_F(PosixFsTest, ReadFileTakesTheWholeFileWhateverItsSizeSays) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536},
                                 std::size_t{65537}, std::size_t{300000}, std::size_t{5} << 20}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    Put("f.bin", bytes);
    std::string read = "left over";
    ASSERT_TRUE(fs_->ReadFile("C:\\f.bin", &read).ok());
    EXPECT_EQ(read, bytes) << size;
  }
  // A file of the process's own status: the file system gives it the size 0, yet it has text.
  auto proc = MakeFileSystem({"", "marlovex", {{'P', "/proc/self"}}});
  std::string status;
  ASSERT_TRUE(proc->ReadFile("P:\\status", &status).ok());
  EXPECT_NE(status.find("Pid:"), std::string::npos);
}

}  // namespace
}  // namespace mlx::fs
