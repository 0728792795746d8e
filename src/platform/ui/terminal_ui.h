// The terminal implementation of the dialogs, exposed for its tests and for callers that
// want to look at the state the interface only sets.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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
  void BeginTask(const progress::Task& task) override;
  void TaskProgress(std::int64_t done) override;
  void EndTask(bool interrupted) override;
  void MakeRoom() override { ClearWait(); }
  void SetMousePointer(int pointer) override { mouse_pointer_ = pointer; }

  int MousePointer() const { return mouse_pointer_; }
  const std::string& WaitMessage() const { return wait_message_; }
  int WaitLines() const { return wait_lines_; }

 private:
  int AskTerminal(const std::vector<int>& buttons, int default_answer);
  void DrawBox(const std::string& text, const std::string& title, int style);
  void WriteTranscript(const std::string& text, const std::string& title, int style, int answer);
  using Instant = std::chrono::steady_clock::time_point;
  Instant Now() const;
  std::size_t Columns() const;
  // The wait window's lines: caption, message, script progress, the operation in progress.
  std::vector<std::string> WaitBlock(Instant now) const;
  std::string TaskFigures(Instant now) const;
  void DrawWait(bool force);
  // The cursor movement from the end of the window on the terminal to its first column.
  std::string ToBlockStart() const;
  void ClearWait();
  void Write(const std::string& s);

  TerminalUiOptions options_;
  std::size_t next_answer_ = 0;
  bool out_is_terminal_ = false;
  bool transcript_failed_ = false;

  bool wait_loaded_ = false;
  std::string wait_message_;
  int wait_lines_ = 0;
  long progress_line_ = 0, progress_total_ = 0;
  std::size_t shown_height_ = 0;  // lines of the window on the terminal now, the cursor on the last
  std::string wait_printed_;      // the last status printed when out is not a terminal
  Instant wait_drawn_at_{};

  std::optional<progress::Task> task_;
  std::int64_t task_done_ = 0;
  Instant task_started_{};

  int mouse_pointer_ = 0;
};

}  // namespace mlx::ui
