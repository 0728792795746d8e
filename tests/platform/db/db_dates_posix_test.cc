// Dates in a file the user may only read: POSIX file modes and a child that drops root's rights.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

class DatesPosixTest : public DbTest {};

TEST_F(DatesPosixTest, OpeningAFileThatCannotBeWrittenLeavesItsDateTexts) {
  conn_->Close();
  Outside({
      "CREATE TABLE Visite (id INTEGER PRIMARY KEY, quando DATETIME);"
      "INSERT INTO Visite VALUES (1, '2024-06-01 10:00')"});
  auto read_back = [&](Connection* c) {
    std::unique_ptr<Recordset> rs;
    Value v;
    return c->OpenRecordset("Visite", kForwardOnly, kReadOnly, &rs).ok() && !rs->Eof() &&
           rs->GetValue(1, &v).ok() && v.kind() == Value::Kind::kDate &&
           v.real() == 45444 + 10.0 / 24;
  };

  // A file the user may only read. Root writes any file whatever its mode, so the open runs in
  // a child as an unprivileged user.
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    auto c = provider_->NewConnection();
    _exit(c->Open(path_, "", "").ok() && read_back(c.get()) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Raw("SELECT typeof(quando) FROM Visite"), "text");
  EXPECT_FALSE(std::filesystem::exists(path_ + "-journal"));

  // Writable again: the next open does the work.
  ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Raw("SELECT typeof(quando) FROM Visite"), "real");
  EXPECT_TRUE(read_back(conn_.get()));
}

}  // namespace
}  // namespace mlx::db::testing
