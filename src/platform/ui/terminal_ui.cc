// Dialogs on a terminal: message boxes drawn as text frames and answered from the keyboard,
// from answers given in advance, or by their default button; the wait window as a status line.
#include "platform/ui/terminal_ui.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "platform/text/text.h"

namespace mlx::ui {
namespace {

constexpr const char* kWaitCaption = "Aggiornamento in corso, attendere...";

// Splits at CR LF, CR or LF.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

// Text as it may safely reach a terminal: control characters (which could move the cursor or
// start escape sequences) become blanks, so that a script cannot garble the screen.
std::string Printable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      out.push_back(' ');
    } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
      out.push_back(' ');  // a C1 control character in UTF-8
      ++i;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string Pad(const std::string& s, std::size_t width) {
  std::size_t length = text::Length(s);
  return length >= width ? s : s + std::string(width - length, ' ');
}

std::string IconMark(int style) {
  switch (style & 0x70) {
    case kIconCritical:
      return "[x]";
    case kIconQuestion:
      return "[?]";
    case kIconExclamation:
      return "[!]";
    case kIconInformation:
      return "[i]";
    default:
      return "";
  }
}

// Built by appending: GCC 12 at -O3 sees a false overlap (-Wrestrict) in "[" + std::string&&.
std::string ButtonLabel(int answer) {
  std::string label = "[";
  label += std::to_string(answer);
  label += "] ";
  label += AnswerName(answer);
  return label;
}

std::string JsonString(const std::string& raw) {
  std::string s = text::IsValidUtf8(raw) ? raw : text::Cp1252ToUtf8(raw);
  std::string out = "\"";
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buffer[8];
          std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
          out += buffer;
        } else {
          out.push_back(ch);
        }
    }
  }
  out += "\"";
  return out;
}

// Reads one line (without its end) from `in`; false at the end of input with nothing read.
bool ReadInputLine(std::FILE* in, std::string* line) {
  line->clear();
  if (in == nullptr) return false;
  int c;
  bool any = false;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

std::string Trim(std::string s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

// The answer a typed reply names among the box's buttons: its code, its name, or the initial
// of its name.
std::optional<int> MatchReply(const std::string& reply, const std::vector<int>& buttons) {
  std::optional<int> answer = ParseAnswer(reply);
  if (!answer && reply.size() == 1) {
    char initial = static_cast<char>(std::toupper(static_cast<unsigned char>(reply[0])));
    for (int button : buttons) {
      if (AnswerName(button)[0] == initial) answer = button;
    }
  }
  if (answer && std::find(buttons.begin(), buttons.end(), *answer) == buttons.end()) {
    return std::nullopt;
  }
  return answer;
}

}  // namespace

TerminalUi::TerminalUi(TerminalUiOptions options) : options_(std::move(options)) {
  out_is_terminal_ = options_.out != nullptr && isatty(fileno(options_.out)) == 1;
}

void TerminalUi::Write(const std::string& s) {
  if (options_.out == nullptr) return;
  std::fwrite(s.data(), 1, s.size(), options_.out);
  std::fflush(options_.out);
}

int TerminalUi::MessageBox(const std::string& text, const std::string& title, int style) {
  std::vector<int> buttons = Buttons(style);
  int default_answer = DefaultAnswer(style);
  ClearWaitLine();
  DrawBox(text, title, style);

  int answer = default_answer;
  if (next_answer_ < options_.answers.size()) {
    int given = options_.answers[next_answer_++];
    if (std::find(buttons.begin(), buttons.end(), given) != buttons.end()) {
      answer = given;
      Write("Risposta: " + AnswerName(answer) + " (data in anticipo)\n");
    } else {
      std::string choices;
      for (int button : buttons) choices += (choices.empty() ? "" : ", ") + AnswerName(button);
      throw AnswerRefused("la risposta " + AnswerName(given) +
                          " data in anticipo non \xC3\xA8 tra i pulsanti del messaggio \"" +
                          Printable(title) + "\" (" + choices + "): esecuzione fermata.");
    }
  } else if (options_.interactive && !options_.never_wait) {
    answer = AskTerminal(buttons, default_answer);
  } else {
    Write("Risposta: " + AnswerName(answer) + " (pulsante predefinito)\n");
  }

  WriteTranscript(text, title, style, answer);
  if (wait_loaded_) DrawWait(true);
  return answer;
}

int TerminalUi::AskTerminal(const std::vector<int>& buttons, int default_answer) {
  for (;;) {
    Write("Risposta (Invio = " + AnswerName(default_answer) + "): ");
    std::string reply;
    if (!ReadInputLine(options_.in, &reply)) {
      Write("\nFine dell'input: scelto il pulsante predefinito " + AnswerName(default_answer) +
            "\n");
      return default_answer;
    }
    reply = Trim(reply);
    if (reply.empty()) return default_answer;
    if (std::optional<int> answer = MatchReply(reply, buttons)) return *answer;
    std::string choices;
    for (int button : buttons) {
      if (!choices.empty()) choices += ", ";
      choices += ButtonLabel(button);
    }
    Write("Risposta non valida: scegliere tra " + choices + "\n");
  }
}

void TerminalUi::DrawBox(const std::string& text, const std::string& title, int style) {
  std::vector<int> buttons = Buttons(style);
  int default_answer = DefaultAnswer(style);
  std::string mark = IconMark(style);
  std::string indent = mark.empty() ? "" : std::string(mark.size() + 1, ' ');

  std::vector<std::string> body;
  std::vector<std::string> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    body.push_back((i == 0 && !mark.empty() ? mark + " " : indent) + Printable(lines[i]));
  }
  std::string button_row;
  for (int button : buttons) {
    if (!button_row.empty()) button_row += "   ";
    button_row += ButtonLabel(button);
    if (button == default_answer) button_row += " (predefinito)";
  }

  std::string shown_title = Printable(title);
  std::size_t width = std::max(text::Length(button_row), text::Length(shown_title) + 4);
  for (const std::string& line : body) width = std::max(width, text::Length(line));

  std::string box;
  std::string top = "+-" + (shown_title.empty() ? std::string() : " " + shown_title + " ");
  box += top + std::string(width + 3 - text::Length(top), '-') + "+\n";
  std::string blank = "| " + std::string(width, ' ') + " |\n";
  box += blank;
  for (const std::string& line : body) box += "| " + Pad(line, width) + " |\n";
  box += blank;
  box += "| " + Pad(button_row, width) + " |\n";
  box += "+" + std::string(width + 2, '-') + "+\n";
  Write(box);
}

void TerminalUi::WriteTranscript(const std::string& text, const std::string& title, int style,
                                 int answer) {
  if (options_.transcript_path.empty()) return;
  std::string line = "{\"title\":" + JsonString(title) + ",\"text\":" + JsonString(text) +
                     ",\"style\":" + std::to_string(style) +
                     ",\"answer\":" + std::to_string(answer) + "}\n";
  // One write of the whole line to a file opened for appending, so lines of runs that share
  // a transcript never interleave.
  int fd = open(options_.transcript_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  bool written = false;
  if (fd >= 0) {
    written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    written = close(fd) == 0 && written;
  }
  if (!written && !transcript_failed_) {
    transcript_failed_ = true;
    Write("Nota: impossibile scrivere la trascrizione dei messaggi in " + options_.transcript_path +
          "\n");
  }
}

void TerminalUi::ShowWait() {
  wait_loaded_ = true;
  DrawWait(true);
}

void TerminalUi::SetWaitMessage(const std::string& text) {
  wait_message_ = text;
  if (wait_loaded_) DrawWait(true);
}

void TerminalUi::SetWaitLines(int lines) {
  wait_lines_ = lines;
}

void TerminalUi::Progress(long line, long total) {
  if (!wait_loaded_) return;
  progress_line_ = line;
  progress_total_ = total;
  DrawWait(line >= total);
}

void TerminalUi::UnloadWait() {
  ClearWaitLine();
  // A window loaded again starts empty, like a new form.
  wait_loaded_ = false;
  wait_message_.clear();
  wait_lines_ = 0;
  progress_line_ = progress_total_ = 0;
  wait_printed_.clear();
}

void TerminalUi::DrawWait(bool force) {
  std::string message;
  for (const std::string& part : SplitLines(wait_message_)) {
    std::string piece = Trim(Printable(part));
    if (piece.empty()) continue;
    if (!message.empty()) message += " ";
    message += piece;
  }
  std::string status = kWaitCaption;
  if (!message.empty()) status += " " + message;

  if (!out_is_terminal_) {
    // A log or a pipe gets each message once, without the progress that changes every line.
    if (status != wait_printed_) {
      wait_printed_ = status;
      Write(status + "\n");
    }
    return;
  }

  // Redraws for progress are limited to a few per second: a script of many short lines would
  // otherwise spend its time writing to the terminal.
  auto now = std::chrono::steady_clock::now();
  if (!force && wait_line_shown_ && now - wait_drawn_at_ < std::chrono::milliseconds(100)) return;
  wait_drawn_at_ = now;

  std::string suffix;
  if (progress_total_ > 0) {
    suffix =
        " (riga " + std::to_string(progress_line_) + " di " + std::to_string(progress_total_) + ")";
  }
  std::size_t columns = 80;
  struct winsize size {};
  if (ioctl(fileno(options_.out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    columns = size.ws_col;
  }
  std::size_t room = columns > 1 ? columns - 1 : 1;
  std::size_t suffix_length = text::Length(suffix);
  if (text::Length(status) + suffix_length > room) {
    status = room > suffix_length ? text::Left(status, room - suffix_length) : std::string();
  }
  Write("\r\x1b[K" + status + suffix);
  wait_line_shown_ = true;
}

void TerminalUi::ClearWaitLine() {
  if (!wait_line_shown_) return;
  Write("\r\x1b[K");
  wait_line_shown_ = false;
}

std::unique_ptr<Ui> MakeTerminalUi(TerminalUiOptions options) {
  return std::make_unique<TerminalUi>(std::move(options));
}

}  // namespace mlx::ui
