#include "platform/process/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mlx::process {
namespace {

using ::testing::ElementsAre;

TEST(SplitCommandLine, BlanksQuotesBackslashesAndShellCharacters) {
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
  // Backslashes are literal except before a quote: 2n give n and the quote groups, 2n+1 give n
  // and a quote.
  EXPECT_THAT(SplitCommandLine("a\\\\b c\\"), ElementsAre("a\\\\b", "c\\"));
  EXPECT_THAT(SplitCommandLine("\"a\\\\\" b"), ElementsAre("a\\", "b"));
  EXPECT_THAT(SplitCommandLine("a\\\"b"), ElementsAre("a\"b"));
  EXPECT_THAT(SplitCommandLine("a\\\\\\\"b c"), ElementsAre("a\\\"b", "c"));
  // Characters a shell would act on are literal.
  EXPECT_THAT(SplitCommandLine("$(id) `id` ; | & > '*'"),
              ElementsAre("$(id)", "`id`", ";", "|", "&", ">", "'*'"));
}

TEST(QuoteArgument, SplitReadsBackWhatWasQuoted) {
  const std::vector<std::string> cases = {
      "semplice", "", "con spazi", "tab\tqui", "\"", "a\"b", "C:\\Program Files\\",
      "\\\\server\\share\\", "fine\\\"", "\\\"\\\\\"", "\xC3\xA0 \xE2\x98\x83"};
  for (const std::string& arg : cases) {
    EXPECT_THAT(SplitCommandLine(QuoteArgument(arg)), ElementsAre(arg)) << QuoteArgument(arg);
  }
  // Nothing is quoted that does not need it, so a path without blanks is shown as written.
  EXPECT_EQ(QuoteArgument("C:\\x\\y.exe"), "C:\\x\\y.exe");
}

TEST(BuildCommandLine, TheProgramGetsTheArgumentsAsWritten) {
  const std::string arguments = "\"con spazi\" a\\\"b $(id) ;x \"\"";
  std::vector<std::string> expected = {"C:\\Program Files\\App\\x.exe"};
  for (std::string& a : SplitCommandLine(arguments)) expected.push_back(a);
  EXPECT_EQ(SplitCommandLine(BuildCommandLine(expected[0], arguments)), expected);
  EXPECT_EQ(BuildCommandLine("x.exe", ""), "x.exe");
}

}  // namespace
}  // namespace mlx::process
