#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/process/process.h"

namespace mlx::process {
namespace {

TEST(PosixProcesses, MissingProgramAndFolder) {
  auto p = MakeProcesses();
  Status s = p->RunAndWait("/nessuno/programma", "", ".", nullptr);
  EXPECT_EQ(s.number(), err::kFileNotFound);
  s = p->RunAndWait("/bin/true", "", "/nessuna/cartella", nullptr);
  EXPECT_EQ(s.number(), err::kPathNotFound);
  // A file that is not executable is not run by a waiting start; an executable text without an
  // interpreter line is refused too, never handed to a shell.
  char nome[] = "/tmp/mlxprocessXXXXXX";
  int fd = mkstemp(nome);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "touch /tmp/mlx-mai-creato\n", 26), 26);
  close(fd);
  s = p->RunAndWait(nome, "", ".", nullptr);
  EXPECT_EQ(s.number(), err::kPermissionDenied);
  chmod(nome, 0755);
  s = p->RunAndWait(nome, "", ".", nullptr);
  EXPECT_EQ(s.number(), err::kPathFileAccess);
  EXPECT_NE(access("/tmp/mlx-mai-creato", F_OK), 0);
  unlink(nome);
  EXPECT_TRUE(p->RunAndWait("true", "", ".", nullptr).ok());
  EXPECT_EQ(p->Start("/nessuno/programma", "", ".").number(), err::kFileNotFound);
}

}  // namespace
}  // namespace mlx::process
