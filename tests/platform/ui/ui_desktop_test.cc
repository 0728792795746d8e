// The desktop's message box stands in for the terminal only where the terminal would be asked:
// answers given in advance, --yes and non-interactive runs never show it, the transcript takes
// its answer, and a box it cannot show is asked on the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/ui/terminal_ui.h"

namespace mlx::ui {
namespace {

struct Shown {
  std::string text, title;
  int style;
};

class DesktopBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = std::tmpfile();
    out_ = std::tmpfile();
    ASSERT_NE(in_, nullptr);
    ASSERT_NE(out_, nullptr);
  }
  void TearDown() override {
    std::fclose(in_);
    std::fclose(out_);
  }

  TerminalUi Make(TerminalUiOptions options, int answer, const std::string& input = "") {
    std::fputs(input.c_str(), in_);
    std::rewind(in_);
    options.in = in_;
    options.out = out_;
    options.out_is_terminal = false;
    options.desktop_box = [this, answer](const std::string& text, const std::string& title,
                                         int style) {
      shown_.push_back({text, title, style});
      return answer;
    };
    return TerminalUi(options);
  }

  std::FILE* in_ = nullptr;
  std::FILE* out_ = nullptr;
  std::vector<Shown> shown_;
};

TEST_F(DesktopBoxTest, AnswersWhereTheTerminalWouldBeAsked) {
  TerminalUiOptions options;
  options.interactive = true;
  TerminalUi ui = Make(options, kNo);
  EXPECT_EQ(ui.MessageBox("Cancellare?", "Pulizia", 4 + kIconQuestion + 256), kNo);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "Cancellare?");
  EXPECT_EQ(shown_[0].style, 4 + kIconQuestion + 256);
  // A set of buttons no box offers is shown as the terminal draws it, OK alone; bits beyond
  // buttons, icon and default button do not reach the desktop.
  TerminalUi ok_only = Make(options, kOk);
  EXPECT_EQ(ok_only.MessageBox("x", "t", 6 + kIconExclamation + 0x4000), kOk);
  EXPECT_EQ(shown_.back().style, kIconExclamation);
}

TEST_F(DesktopBoxTest, NeverShownWithoutAnInteractiveRun) {
  TerminalUiOptions options;
  options.interactive = true;
  options.answers = {kYes};
  options.never_wait = true;
  TerminalUi ui = Make(options, kNo);
  EXPECT_EQ(ui.MessageBox("a", "t", 4), kYes);       // given in advance
  EXPECT_EQ(ui.MessageBox("b", "t", 4 + 256), kNo);  // --yes: the default
  TerminalUiOptions quiet;
  TerminalUi not_interactive = Make(quiet, kNo);
  EXPECT_EQ(not_interactive.MessageBox("c", "t", 4), kYes);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(DesktopBoxTest, ABoxThatCannotBeShownIsAskedOnTheTerminal) {
  TerminalUiOptions options;
  options.interactive = true;
  TerminalUi failed = Make(options, 0, "7\n");
  EXPECT_EQ(failed.MessageBox("q", "t", 4), kNo);
  // An answer that is none of the box's buttons is not taken either.
  TerminalUi strange = Make(options, 10, "");
  EXPECT_EQ(strange.MessageBox("q", "t", 5 + 256), kCancel);
  EXPECT_EQ(shown_.size(), 2u);
}

}  // namespace
}  // namespace mlx::ui
