// The terminal implementation of the dialogs, exposed for its tests and for callers that
// want to look at the state the interface only sets.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/ui/ui.h"

namespace mlx::ui {

class TerminalUi : public Ui {
 public:
  explicit TerminalUi(TerminalUiOptions options);

  int MessageBox(const std::string& text, const std::string& title, int style) override;

  void ShowWait() override;
  void SetWaitMessage(const std::string& text) override;
  void SetWaitLines(int lines) override;
  void UnloadWait() override;
  bool WaitLoaded() override { return wait_loaded_; }
  void Progress(long line, long total) override;
  void SetMousePointer(int pointer) override { mouse_pointer_ = pointer; }

  int MousePointer() const { return mouse_pointer_; }
  const std::string& WaitMessage() const { return wait_message_; }
  int WaitLines() const { return wait_lines_; }

 private:
  int AskTerminal(const std::vector<int>& buttons, int default_answer);
  void DrawBox(const std::string& text, const std::string& title, int style);
  void WriteTranscript(const std::string& text, const std::string& title, int style, int answer);
  void DrawWait(bool force);
  void ClearWaitLine();
  void Write(const std::string& s);

  TerminalUiOptions options_;
  std::size_t next_answer_ = 0;
  bool out_is_terminal_ = false;
  bool transcript_failed_ = false;

  bool wait_loaded_ = false;
  std::string wait_message_;
  int wait_lines_ = 0;
  long progress_line_ = 0, progress_total_ = 0;
  bool wait_line_shown_ = false;  // a status line is on the terminal now
  std::string wait_printed_;      // the last status printed when out is not a terminal
  std::chrono::steady_clock::time_point wait_drawn_at_{};

  int mouse_pointer_ = 0;
};

}  // namespace mlx::ui
