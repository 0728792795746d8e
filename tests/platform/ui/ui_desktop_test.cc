// The desktop's message box stands in for the terminal only where the terminal would be asked:
// answers given in advance, --yes and non-interactive runs never show it, and a box it cannot
// show, or an answer that is none of the box's buttons, is asked on the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/ui/terminal_ui.h"

namespace mlx::ui {
namespace {

TEST(DesktopBox, AnswersOnlyWhereTheTerminalWouldBeAsked) {
  struct Case {
    const char* what;
    bool interactive;
    std::vector<int> answers;
    bool never_wait;
    int desktop;        // the desktop box's answer
    const char* input;  // the terminal's
    int style, want;
    int shown_style;  // what reaches the desktop; -1 when nothing does
  };
  const Case cases[] = {
      {"asked", true, {}, false, kNo, "", 4 + kIconQuestion + 256, kNo, 4 + kIconQuestion + 256},
      // A set of buttons no box offers is shown as the terminal draws it, OK alone; bits beyond
      // buttons, icon and default button do not reach the desktop.
      {"OK alone", true, {}, false, kOk, "", 6 + kIconExclamation + 0x4000, kOk, kIconExclamation},
      {"given in advance", true, {kYes}, false, kNo, "", 4, kYes, -1},
      {"--yes: the default", true, {}, true, kNo, "", 4 + 256, kNo, -1},
      {"not interactive", false, {}, false, kNo, "", 4, kYes, -1},
      {"cannot be shown", true, {}, false, 0, "7\n", 4, kNo, 4},
      {"no button of the box", true, {}, false, 10, "", 5 + 256, kCancel, 5 + 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr);
    std::fputs(c.input, in);
    std::rewind(in);
    std::vector<int> shown;
    TerminalUiOptions options;
    options.in = in;
    options.out = out;
    options.out_is_terminal = false;
    options.interactive = c.interactive;
    options.answers = c.answers;
    options.never_wait = c.never_wait;
    options.desktop_box = [&](const std::string& text, const std::string& title, int style) {
      EXPECT_EQ(text + "|" + title, "Cancellare?|Pulizia");
      shown.push_back(style);
      return c.desktop;
    };
    TerminalUi ui(options);
    EXPECT_EQ(ui.MessageBox("Cancellare?", "Pulizia", c.style), c.want);
    EXPECT_EQ(shown, c.shown_style < 0 ? std::vector<int>{} : std::vector<int>{c.shown_style});
    std::fclose(in);
    std::fclose(out);
  }
}

}  // namespace
}  // namespace mlx::ui
