// Dialogs: message boxes and the wait window. Message-box styles and answers are the standard
// codes: buttons 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No,
// 5 Retry/Cancel; icons 16, 32, 48, 64; default button 256 (second) or 512 (third).
// Answers: 1 OK, 2 Cancel (Annulla), 3 Abort (Termina), 4 Retry (Riprova), 5 Ignore (Ignora),
// 6 Yes (Si), 7 No.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"

namespace mlx::ui {

constexpr int kIconCritical = 16, kIconQuestion = 32, kIconExclamation = 48, kIconInformation = 64;
constexpr int kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7;

// The answer codes the box of a style offers, in button order.
std::vector<int> Buttons(int style);
// The answer of the style's default button.
int DefaultAnswer(int style);
// Italian name of an answer code ("OK", "Annulla", ...), "" outside 1..7.
std::string AnswerName(int answer);
// "1".."7" or a name (any case, "Sì" too): the answer code; nullopt otherwise.
std::optional<int> ParseAnswer(std::string_view text);

// Text as a JSON string: quoted and escaped, bytes that are not UTF-8 read as Windows-1252.
std::string JsonString(const std::string& raw);

// Raised by a dialog whose answer given in advance names none of its buttons. Taking another
// button instead could run a branch nobody chose, so the run stops there (exit status 2).
class AnswerRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // Shows a modal message box and returns the answer code; may raise AnswerRefused.
  virtual int MessageBox(const std::string& text, const std::string& title, int style) = 0;

  // The wait window: loaded and shown by a command, unloaded at the end of a run.
  virtual void ShowWait() = 0;
  virtual void SetWaitMessage(const std::string& text) = 0;
  virtual void SetWaitLines(int lines) = 0;
  virtual void UnloadWait() = 0;
  virtual bool WaitLoaded() = 0;
  // Progress of the run (line n of total), shown while the wait window is up.
  virtual void Progress(long line, long total) = 0;
  // A long operation in progress (how far it is, its rate, the time left), shown while the
  // wait window is up; without the window nothing is shown. An interrupted one ended undone.
  virtual void BeginTask(const progress::Task& task) { (void)task; }
  virtual void TaskProgress(std::int64_t done) { (void)done; }
  virtual void EndTask(bool interrupted) { (void)interrupted; }
  // Takes the wait window off the screen before other output is written there, so that the
  // next redraw does not draw over that output; the window comes back with the next progress.
  virtual void MakeRoom() {}
  // 0 default, 11 hourglass.
  virtual void SetMousePointer(int pointer) = 0;
};

struct TerminalUiOptions {
  std::vector<int> answers;     // given in advance, used in order
  bool never_wait = false;      // --yes: never read the terminal
  bool interactive = false;     // standard input is a terminal
  std::string transcript_path;  // JSON line per dialog, appended; "" for none
  std::FILE* in = stdin;
  std::FILE* out = stderr;
  // The terminal behind `out`: nullopt asks the system whether it is one; columns 0 asks its
  // width at every redraw.
  std::optional<bool> out_is_terminal;
  int columns = 0;
  // A box of the desktop that answers instead of the terminal when a box would be asked there
  // (text, title and a style of the buttons the terminal draws in; an answer, 0 when it could
  // not be shown). MakeTerminalUi takes the system's, where it has one, for an interactive run.
  std::function<int(const std::string&, const std::string&, int)> desktop_box;
  // The monotonic clock that paces the redraws and measures rates; none: the system's.
  std::function<std::chrono::steady_clock::time_point()> now;
};
std::unique_ptr<Ui> MakeTerminalUi(TerminalUiOptions options);

}  // namespace mlx::ui
