// The file registry's answers, handles, persistence and sharing between processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "registry_test_util.h"
#include "system/registro.h"

namespace mlx::registry {
namespace {

using testing::TempDir;

class FileRegistryTest : public TempDir {};

TEST_F(FileRegistryTest, QueryAnswersAsTheSystemCallDoes) {
  auto reg = MakeFileRegistry(Path("q.reg"));
  ASSERT_EQ(reg->SetValueEx(kCurrentUser, "v", kString, "hello", 6), kSuccess);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "V", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, kString);

  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  size = 3;
  EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "v", &type, buffer, &size), kMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(std::string(buffer, 8), "########");  // nothing written when it does not fit

  size = 6;
  EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "v", &type, buffer, &size), kSuccess);
  EXPECT_EQ(std::string(buffer, 8), std::string("hello\0##", 8));

  size = 8;
  EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "missing", &type, buffer, &size), kFileNotFound);
  EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "v", &type, buffer, nullptr), kInvalidParameter);
}

TEST_F(FileRegistryTest, UnknownHandlesAndRootsAreRefusedByEveryCall) {
  auto reg = MakeFileRegistry(Path("h.reg"));
  for (Handle bad : {Handle{0}, Handle{0x80000007u}, Handle{12345}}) {
    Handle out = 99;
    std::uint32_t size = 0;
    EXPECT_EQ(reg->OpenKeyEx(bad, "Software", 0, kKeyRead, &out), kInvalidHandle);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(reg->QueryValueEx(bad, "v", nullptr, nullptr, &size), kInvalidHandle);
    EXPECT_EQ(reg->CreateKey(bad, "Software", &out), kInvalidHandle);
    EXPECT_EQ(reg->SetValueEx(bad, "v", kString, "x", 2), kInvalidHandle);
    EXPECT_EQ(reg->DeleteValue(bad, "v"), kInvalidHandle);
    EXPECT_EQ(reg->DeleteKey(bad, "Software"), kInvalidHandle);
    EXPECT_EQ(reg->CloseKey(bad), kInvalidHandle);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("h.reg")));

  Handle key = 0;
  ASSERT_EQ(reg->CreateKey(kCurrentUser, "Software\\K", &key), kSuccess);
  EXPECT_EQ(reg->CloseKey(key), kSuccess);
  EXPECT_EQ(reg->CloseKey(key), kInvalidHandle);
  EXPECT_EQ(reg->SetValueEx(key, "v", kString, "x", 2), kInvalidHandle);
  EXPECT_EQ(reg->CloseKey(kCurrentUser), kSuccess);  // the roots stay usable
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "Software\\K", 0, kKeyRead, &key), kSuccess);
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "Software\\Nope", 0, kKeyRead, &key), kFileNotFound);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(reg->CreateKey(kCurrentUser, "Software\\\\K", &key), kInvalidParameter);
  EXPECT_EQ(reg->SetValueEx(kCurrentUser, "two\nlines", kString, "x", 2), kInvalidParameter);
}

TEST_F(FileRegistryTest, DeletingKeysFollowsTheSystemRules) {
  auto reg = MakeFileRegistry(Path("d.reg"));
  Handle key = 0;
  ASSERT_EQ(reg->CreateKey(kCurrentUser, "Software\\A\\B", &key), kSuccess);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "Software\\A"), kAccessDenied);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "Software\\Missing"), kFileNotFound);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, ""), kAccessDenied);
  EXPECT_EQ(reg->DeleteValue(key, "none"), kFileNotFound);

  // A key deleted by another process: its open handle can no longer be written through.
  auto other = MakeFileRegistry(Path("d.reg"));
  EXPECT_EQ(other->DeleteKey(kCurrentUser, "software\\a\\b"), kSuccess);
  EXPECT_EQ(reg->SetValueEx(key, "v", kString, "x", 2), kKeyDeleted);
  Handle again = 0;
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "Software\\A\\B", 0, kKeyRead, &again), kFileNotFound);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "Software\\A"), kSuccess);
}

TEST_F(FileRegistryTest, FileIsCreatedPrivatelyOnlyWhenSomethingIsWrittenAndKeepsItsMode) {
  const std::string path = Path("new/deeper/registry.reg");
  auto reg = MakeFileRegistry(path);
  Handle key = 0;
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "Software", 0, kKeyRead, &key), kFileNotFound);
  EXPECT_EQ(reg->DeleteValue(kCurrentUser, "v"), kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(Path("new")));

  ASSERT_EQ(reg->SetValueEx(kCurrentUser, "v", kString, "1", 2), kSuccess);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Path("new/deeper"))) {
    ++entries;
    EXPECT_TRUE(entry.path().filename() == "registry.reg" ||
                entry.path().filename() == "registry.reg.lock")
        << entry.path();
  }
  EXPECT_EQ(entries, 2);  // no temporary file is left behind

  // An existing file keeps its mode and owner when it is rewritten.
  ASSERT_EQ(chmod(path.c_str(), 0664), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  }
  ASSERT_EQ(reg->SetValueEx(kCurrentUser, "w", kString, "2", 2), kSuccess);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }

  // A folder that cannot be made (a file is in its way): the write is reported, not lost.
  WriteFile(Path("plain"), "x");
  auto blocked = MakeFileRegistry(Path("plain/registry.reg"));
  EXPECT_EQ(blocked->SetValueEx(kCurrentUser, "v", kString, "1", 2), kCannotWrite);
  EXPECT_NE(blocked->LastError().find(Path("plain/registry.reg")), std::string::npos);
}

TEST_F(FileRegistryTest, ConcurrentProcessesLoseNoWrite) {
  const std::string path = Path("race.reg");
  constexpr int kWrites = 250;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      auto reg = MakeFileRegistry(path);
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        std::string name = "p" + std::to_string(child) + "_" + std::to_string(i);
        if (ScriviValoreRegistro(*reg, "HKCU", "Software\\Race", name, name) != kSuccess) {
          ++failures;
        }
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto reg = MakeFileRegistry(path);
  int missing = 0;
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < kWrites; ++i) {
      std::string name = "p" + std::to_string(child) + "_" + std::to_string(i);
      if (LeggiValoreRegistro(*reg, "HKCU", "Software\\Race", name) != name) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST(DefaultRegistryPathTest, FollowsTheConfigurationFolder) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string xdg = saved != nullptr ? saved : "";
  const std::string fallback = DefaultRegistryPath();  // whatever HOME gives
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(DefaultRegistryPath(), "/cfg/marlovex/registry.reg");
  for (const char* ignored : {"", "relative"}) {
    setenv("XDG_CONFIG_HOME", ignored, 1);
    EXPECT_NE(DefaultRegistryPath().find("/.config/marlovex/registry.reg"), std::string::npos);
  }
  if (saved != nullptr) {
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(DefaultRegistryPath(), fallback);
}

}  // namespace
}  // namespace mlx::registry
