// Dialogs on a terminal: message boxes drawn as text frames and answered from the keyboard,
// from answers given in advance, or by their default button; the wait window as a block of lines
// redrawn in place, with the progress of the script and of a long operation.
#include "platform/ui/terminal_ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

#include "platform/fs/regular.h"
#include "platform/text/text.h"
#include "platform/ui/terminal.h"

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

constexpr const char* kWaitMark = "[i]";
// The message area's height a script can ask for, in lines.
constexpr int kMaxWaitLines = 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
// Seconds of work before a rate is shown.
constexpr double kFirstRate = 0.5;
// Seconds an operation takes before a log gets a line for it.
constexpr double kSummaryAfter = 1.0;

std::string TaskLabel(const progress::Task& task) {
  const std::string object = Printable(task.object);
  switch (task.kind) {
    case progress::Kind::kImport:
      return "Importazione dal file " + object;
    case progress::Kind::kCopy:
      return "Copia delle righe in " + object;
    case progress::Kind::kRebuild:
      return "Ricostruzione della tabella " + object;
    case progress::Kind::kCompact:
      return "Compattazione del database " + object;
    case progress::Kind::kCounters:
      return "Riallineamento dei contatori di " + object;
  }
  return object;
}

// A whole number with "." between thousands: 1.234.567.
std::string Number(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back('.');
    out.push_back(digits[i]);
  }
  return n < 0 ? "-" + out : out;
}

// One decimal, with the decimal comma.
std::string Decimal(double d) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%.1f", d);
  std::string out = buffer;
  std::replace(out.begin(), out.end(), '.', ',');
  return out;
}

std::string Bytes(double n) {
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  if (n < 1024) return Number(static_cast<std::int64_t>(n)) + " byte";
  std::size_t unit = 0;
  n /= 1024;
  while (n >= 1024 && unit + 1 < std::size(kUnits)) {
    n /= 1024;
    ++unit;
  }
  return Decimal(n) + " " + kUnits[unit];
}

std::string UnitName(progress::Unit unit, std::int64_t n) {
  const bool one = n == 1;
  switch (unit) {
    case progress::Unit::kRows:
      return one ? "riga" : "righe";
    case progress::Unit::kPages:
      return one ? "pagina" : "pagine";
    case progress::Unit::kTables:
      return one ? "tabella" : "tabelle";
    case progress::Unit::kBytes:
      return "byte";
  }
  return "";
}

std::string Quantity(progress::Unit unit, std::int64_t n) {
  if (unit == progress::Unit::kBytes) return Bytes(static_cast<double>(n));
  return Number(n) + " " + UnitName(unit, n);
}

// "4.200 di 10.000 righe", "1,2 MB di 3,4 MB".
std::string Quantity(progress::Unit unit, std::int64_t done, std::int64_t total) {
  if (unit == progress::Unit::kBytes) return Quantity(unit, done) + " di " + Quantity(unit, total);
  return Number(done) + " di " + Quantity(unit, total);
}

std::string Rate(progress::Unit unit, double per_second) {
  if (unit == progress::Unit::kBytes) return Bytes(per_second) + "/s";
  return Number(static_cast<std::int64_t>(per_second)) + " " + UnitName(unit, 2) + "/s";
}

// "7 s", "2 min 05 s", "1 h 02 min": the time taken in whole seconds gone, the time left in
// seconds begun.
std::string Duration(double seconds, bool left = false) {
  seconds = std::max(seconds, 0.0);
  const std::int64_t s = static_cast<std::int64_t>(left ? std::ceil(seconds) : std::floor(seconds));
  char buffer[48];
  if (s < 60) {
    std::snprintf(buffer, sizeof(buffer), "%lld s", static_cast<long long>(s));
  } else if (s < 3600) {
    std::snprintf(buffer, sizeof(buffer), "%lld min %02lld s", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
  } else {
    std::snprintf(buffer, sizeof(buffer), "%lld h %02lld min", static_cast<long long>(s / 3600),
                  static_cast<long long>(s % 3600 / 60));
  }
  return buffer;
}

// "[#####...............]  25%".
std::string Bar(std::int64_t done, std::int64_t total) {
  constexpr int kWidth = 20;
  const double fraction = static_cast<double>(done) / static_cast<double>(total);
  const int filled = static_cast<int>(fraction * kWidth);
  const int percent = static_cast<int>(fraction * 100);
  return "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
         (percent < 10    ? "  "
          : percent < 100 ? " "
                          : "") +
         std::to_string(percent) + "%";
}

}  // namespace

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

TerminalUi::TerminalUi(TerminalUiOptions options) : options_(std::move(options)) {
  out_is_terminal_ = options_.out_is_terminal.has_value()
                         ? *options_.out_is_terminal
                         : IsTerminal(options_.out);
}

void TerminalUi::Write(const std::string& s) {
  if (options_.out == nullptr) return;
  std::fwrite(s.data(), 1, s.size(), options_.out);
  std::fflush(options_.out);
}

int TerminalUi::MessageBox(const std::string& text, const std::string& title, int style) {
  std::vector<int> buttons = Buttons(style);
  int default_answer = DefaultAnswer(style);
  ClearWait();
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
  const bool written = fs::AppendAtOnce(options_.transcript_path, line);
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

void TerminalUi::BeginTask(const progress::Task& task) {
  if (!wait_loaded_) return;
  task_ = task;
  task_done_ = 0;
  task_started_ = Now();
  DrawWait(true);
}

void TerminalUi::TaskProgress(std::int64_t done) {
  if (!task_) return;
  task_done_ = done;
  DrawWait(false);
}

void TerminalUi::EndTask(bool interrupted) {
  if (!task_) return;
  const double seconds = std::chrono::duration<double>(Now() - task_started_).count();
  if (!out_is_terminal_ && (seconds >= kSummaryAfter || interrupted)) {
    // A log or a pipe gets one line for an operation that took a while, when it is over; the
    // many short ones of a script would only crowd it.
    std::string summary = TaskLabel(*task_) + (interrupted ? ": interrotta dopo " : ": ");
    if (task_->counted) {
      summary += Quantity(task_->unit, task_done_) + (interrupted ? ", " : " in ");
    } else if (!interrupted) {
      summary += "fatto in ";
    }
    Write(summary + Duration(seconds) + "\n");
  }
  task_.reset();
  if (wait_loaded_) DrawWait(true);
}

void TerminalUi::UnloadWait() {
  ClearWait();
  // A window loaded again starts empty, like a new form.
  wait_loaded_ = false;
  wait_message_.clear();
  wait_lines_ = 0;
  progress_line_ = progress_total_ = 0;
  task_.reset();
  wait_printed_.clear();
}

TerminalUi::Instant TerminalUi::Now() const {
  return options_.now ? options_.now() : std::chrono::steady_clock::now();
}

std::size_t TerminalUi::Columns() const {
  if (options_.columns > 0) return static_cast<std::size_t>(options_.columns);
  const int columns = TerminalColumns(options_.out);
  return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

// The figures in the order they matter, so that a narrow terminal cuts the least useful: how
// far, the time (left, or taken), how much, the rate.
std::string TerminalUi::TaskFigures(Instant now) const {
  const progress::Task& task = *task_;
  const double seconds = std::chrono::duration<double>(now - task_started_).count();
  const std::string taken = "trascorsi " + Duration(seconds);
  if (!task.counted) {
    // Nothing tells how far the operation is: the time it has taken and its size.
    return task.total > 0 ? taken + "  " + Quantity(task.unit, task.total) : taken;
  }
  const std::int64_t done = std::max<std::int64_t>(task_done_, 0);
  const std::int64_t shown = task.total > 0 ? std::min(done, task.total) : done;
  const std::string bar = task.total > 0 ? Bar(shown, task.total) + "  " : "";
  const std::string amount =
      task.total > 0 ? Quantity(task.unit, shown, task.total) : Quantity(task.unit, done);
  // Rates from less than a moment's work say nothing yet.
  if (seconds < kFirstRate) return bar + taken + "  " + amount;
  const double rate = static_cast<double>(done) / seconds;
  // The time left, from the average rate so far, only when the total is known.
  std::string time = taken;
  if (task.total > 0 && done > 0 && done < task.total) {
    time = "mancano " + Duration(static_cast<double>(task.total - done) / rate, true);
  }
  return bar + time + "  " + amount + "  " + Rate(task.unit, rate);
}

std::vector<std::string> TerminalUi::WaitBlock(Instant now) const {
  std::vector<std::string> block = {std::string(kWaitMark) + " " + kWaitCaption};
  const std::string indent(std::string_view(kWaitMark).size() + 1, ' ');
  std::vector<std::string> message;
  for (const std::string& part : SplitLines(wait_message_)) message.push_back(Printable(part));
  while (!message.empty() && Trim(message.back()).empty()) message.pop_back();
  // The number of lines the script gave is the message area's height: shorter messages
  // keep the window's size, longer ones are shown whole.
  const std::size_t height = static_cast<std::size_t>(std::clamp(wait_lines_, 0, kMaxWaitLines));
  if (message.size() < height) message.resize(height);
  for (const std::string& line : message) block.push_back(indent + line);
  if (progress_total_ > 0) {
    block.push_back(indent + "riga " + std::to_string(progress_line_) + " di " +
                    std::to_string(progress_total_));
  }
  if (task_) {
    block.push_back(indent + TaskLabel(*task_));
    block.push_back(indent + TaskFigures(now));
  }
  return block;
}

void TerminalUi::DrawWait(bool force) {
  if (!out_is_terminal_) {
    // A log or a pipe gets each message once, on one line, without the progress that changes
    // every line.
    std::string status = kWaitCaption;
    for (const std::string& part : SplitLines(wait_message_)) {
      std::string piece = Trim(Printable(part));
      if (!piece.empty()) status += " " + piece;
    }
    if (status != wait_printed_) {
      wait_printed_ = status;
      Write(status + "\n");
    }
    return;
  }

  // Redraws for progress are limited to a few per second: a script of many short lines, or an
  // operation of many rows, would otherwise spend its time writing to the terminal.
  const Instant now = Now();
  if (!force && shown_height_ > 0 && now - wait_drawn_at_ < kRedrawInterval) return;
  wait_drawn_at_ = now;

  // Drawn over the window shown before, from its first line; lines are cut to the width, as
  // a line that wrapped would move everything below it.
  const std::vector<std::string> block = WaitBlock(now);
  const std::size_t room = std::max<std::size_t>(Columns(), 2) - 1;
  std::string screen = ToBlockStart();
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (i > 0) screen += "\n";
    screen += text::Left(block[i], room) + "\x1b[K";
  }
  // Whatever is left below of a taller window goes.
  screen += "\x1b[J";
  Write(screen);
  shown_height_ = block.size();
}

std::string TerminalUi::ToBlockStart() const {
  std::string move = "\r";
  if (shown_height_ > 1) move += "\x1b[" + std::to_string(shown_height_ - 1) + "A";
  return move;
}

void TerminalUi::ClearWait() {
  if (shown_height_ == 0) return;
  Write(ToBlockStart() + "\x1b[J");
  shown_height_ = 0;
}

std::unique_ptr<Ui> MakeTerminalUi(TerminalUiOptions options) {
  return std::make_unique<TerminalUi>(std::move(options));
}

}  // namespace mlx::ui
