#include "platform/process/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mlx::process {
namespace {

using ::testing::ElementsAre;

TEST(SplitCommandLine, BlanksAndQuotes) {
  EXPECT_TRUE(SplitCommandLine("").empty());
  EXPECT_TRUE(SplitCommandLine("  \t ").empty());
  EXPECT_THAT(SplitCommandLine(" a  b\tc "), ElementsAre("a", "b", "c"));
  EXPECT_THAT(SplitCommandLine("\"C:\\Program Files\\x.exe\" /s"),
              ElementsAre("C:\\Program Files\\x.exe", "/s"));
  // Quotes may open and close inside an argument; an empty pair is an empty argument.
  EXPECT_THAT(SplitCommandLine("a\"b c\"d \"\" e"), ElementsAre("ab cd", "", "e"));
  // Inside quotes a doubled quote is a literal one.
  EXPECT_THAT(SplitCommandLine("\"a\"\"b\""), ElementsAre("a\"b"));
  // An unclosed quote runs to the end.
  EXPECT_THAT(SplitCommandLine("\"a b"), ElementsAre("a b"));
}

TEST(SplitCommandLine, Backslashes) {
  // Literal except before a quote: 2n give n and the quote groups, 2n+1 give n and a quote.
  EXPECT_THAT(SplitCommandLine("a\\\\b c\\"), ElementsAre("a\\\\b", "c\\"));
  EXPECT_THAT(SplitCommandLine("\"a\\\\\" b"), ElementsAre("a\\", "b"));
  EXPECT_THAT(SplitCommandLine("a\\\"b"), ElementsAre("a\"b"));
  EXPECT_THAT(SplitCommandLine("a\\\\\\\"b c"), ElementsAre("a\\\"b", "c"));
}

TEST(SplitCommandLine, ShellCharactersAreLiteral) {
  EXPECT_THAT(SplitCommandLine("$(id) `id` ; | & > '*'"),
              ElementsAre("$(id)", "`id`", ";", "|", "&", ">", "'*'"));
}

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
