// The registry file's system pieces on Windows: a change of the file changes its stamp, the
// lock keeps a second writer out until it is released, folders are made whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/registry/file_store.h"
#include "platform/text/wide.h"

namespace mlx::registry::store {
namespace {

namespace stdfs = std::filesystem;

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = stdfs::temp_directory_path() /
           stdfs::path(L"mlx store \u00e0\u2603 " + std::to_wstring(GetCurrentProcessId()));
    stdfs::create_directories(dir_);
  }
  void TearDown() override { stdfs::remove_all(dir_); }
  std::string Path(const wchar_t* name) const { return text::FromWide((dir_ / name).wstring()); }
  int Open(const wchar_t* name) const {
    return _wopen((dir_ / name).c_str(), _O_RDWR | _O_CREAT | _O_BINARY, 0600);
  }

  stdfs::path dir_;
};

TEST_F(FileStoreTest, StampsTellChangedFilesApart) {
  Stamp missing;
  EXPECT_EQ(StampOfPath(Path(L"manca.reg"), &missing), ENOENT);
  EXPECT_EQ(StampOfPath(Path(L"manca\\x.reg"), &missing), ENOTDIR);

  std::ofstream(dir_ / L"r.reg", std::ios::binary) << "uno";
  Stamp first, again, by_descriptor;
  ASSERT_EQ(StampOfPath(Path(L"r.reg"), &first), 0);
  ASSERT_EQ(StampOfPath(Path(L"r.reg"), &again), 0);
  EXPECT_TRUE(first == again);
  int fd = Open(L"r.reg");
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(StampOfDescriptor(fd, &by_descriptor));
  EXPECT_TRUE(first == by_descriptor);
  _close(fd);

  // Another file renamed into its place, as an atomic replacement does, is another file.
  std::ofstream(dir_ / L"nuovo.reg", std::ios::binary) << "due";
  ASSERT_TRUE(MoveFileExW((dir_ / L"nuovo.reg").c_str(), (dir_ / L"r.reg").c_str(),
                          MOVEFILE_REPLACE_EXISTING));
  Stamp replaced;
  ASSERT_EQ(StampOfPath(Path(L"r.reg"), &replaced), 0);
  EXPECT_FALSE(first == replaced);
}

TEST_F(FileStoreTest, AnExclusiveLockKeepsOthersOutUntilReleased) {
  int holder = Open(L"r.reg.lock");
  int other = Open(L"r.reg.lock");
  ASSERT_GE(holder, 0);
  ASSERT_GE(other, 0);
  ASSERT_EQ(Lock(holder, true), 0);
  OVERLAPPED at = {};
  HANDLE second = reinterpret_cast<HANDLE>(_get_osfhandle(other));
  EXPECT_FALSE(LockFileEx(second, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                          MAXDWORD, &at));
  EXPECT_FALSE(LockFileEx(second, LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at));
  _close(holder);  // closing releases the lock, as a process that dies does
  EXPECT_EQ(Lock(other, false), 0);
  _close(other);
}

TEST_F(FileStoreTest, FoldersAreMadeWhole) {
  const std::string deep = Path(L"a\\b \u4e2d\\c");
  EXPECT_TRUE(MakeFolders(deep));
  EXPECT_TRUE(stdfs::is_directory(dir_ / L"a\\b \u4e2d\\c"));
  EXPECT_TRUE(MakeFolders(deep));
  std::ofstream(dir_ / L"file") << "x";
  EXPECT_FALSE(MakeFolders(Path(L"file\\sotto")));
  EXPECT_EQ(DirName("C:\\x.reg"), "C:\\");
  EXPECT_EQ(DirName("C:\\Dati\\x.reg"), "C:\\Dati");
  EXPECT_EQ(DirName("D:/Dati/x.reg"), "D:/Dati");
  EXPECT_EQ(DirName("x.reg"), ".");
}

}  // namespace
}  // namespace mlx::registry::store
