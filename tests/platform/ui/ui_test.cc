#include "platform/ui/ui.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ui/terminal_ui.h"

namespace mlx::ui {
namespace {

namespace stdfs = std::filesystem;

// Button codes no box offers show OK alone; a default beyond the last button is the first.
TEST(Answers, ButtonsDefaultsAndNames) {
  EXPECT_EQ(Buttons(9), (std::vector<int>{kOk}));
  EXPECT_EQ(DefaultAnswer(9 + 256), kOk);
  EXPECT_EQ(DefaultAnswer(2 + 512), kIgnore);
  EXPECT_EQ(DefaultAnswer(3 + 512 + kIconExclamation), kCancel);
  EXPECT_EQ(DefaultAnswer(4 + 512), kYes);
  for (int code = 1; code <= 7; ++code) EXPECT_EQ(ParseAnswer(AnswerName(code)), code);
  EXPECT_EQ(AnswerName(8), "");
  EXPECT_EQ(ParseAnswer(" 4 "), kRetry);
  EXPECT_EQ(ParseAnswer("S\xC3\x8C"), kYes);  // "SÌ"
  for (const char* bad : {"", "0", "8", "Yes", "S"}) EXPECT_FALSE(ParseAnswer(bad)) << bad;
}

// A terminal ui writing to a temporary file and reading from the given input text.
class TerminalUiTest : public ::testing::Test {
 protected:
  void SetUp() override { out_ = std::tmpfile(); }
  void TearDown() override {
    if (in_ != nullptr) std::fclose(in_);
    std::fclose(out_);
  }

  std::unique_ptr<TerminalUi> Make(TerminalUiOptions options, const std::string& input = "") {
    input_ = input;
    in_ = input_.empty() ? std::tmpfile() : fmemopen(input_.data(), input_.size(), "r");
    options.in = in_;
    options.out = out_;
    return std::make_unique<TerminalUi>(options);
  }

  std::string Output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text(1 << 16, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out_));
    return text;
  }

  std::FILE* out_ = nullptr;
  std::FILE* in_ = nullptr;
  std::string input_;
};

TEST_F(TerminalUiTest, ABoxThatMayNotWaitIsDrawnAndTakesItsDefault) {
  TerminalUiOptions options;
  options.interactive = true;
  options.never_wait = true;
  auto ui = Make(options, "6\n");
  EXPECT_EQ(ui->MessageBox("Prima riga\r\nSeconda riga", "Domanda", 4 + kIconQuestion + 256), kNo);
  std::string out = Output();
  EXPECT_EQ(out,
            "+- Domanda ---------------------+\n"
            "|                               |\n"
            "| [?] Prima riga                |\n"
            "|     Seconda riga              |\n"
            "|                               |\n"
            "| [6] Si   [7] No (predefinito) |\n"
            "+-------------------------------+\n"
            "Risposta: No (pulsante predefinito)\n");
  EXPECT_EQ(std::ftell(in_), 0);
}

TEST_F(TerminalUiTest, ControlCharactersNeverReachTheTerminal) {
  auto ui = Make({});
  ui->MessageBox("x\x1b[2Jy", "\x1b]0;t\a", kIconExclamation);
  std::string out = Output();
  EXPECT_NE(out.find("| [!] x [2Jy"), std::string::npos) << out;
  EXPECT_EQ(out.find_first_of("\x1b\a"), std::string::npos);
}

// An answer given in advance that is no button of the box is never replaced by a guess.
TEST_F(TerminalUiTest, AnAnswerThatNamesNoButtonStopsTheRun) {
  TerminalUiOptions options;
  options.answers = {kRetry, kOk};
  auto ui = Make(options);
  try {
    ui->MessageBox("Cancellare i dati?", "Pulizia", 4 + kIconQuestion);
    FAIL() << "answered";
  } catch (const AnswerRefused& refused) {
    EXPECT_STREQ(refused.what(),
                 "la risposta Riprova data in anticipo non \xC3\xA8 tra i pulsanti del messaggio "
                 "\"Pulizia\" (Si, No): esecuzione fermata.");
  }
}

// Answers given in advance come first; with the list used up, an interactive box reads the
// terminal. (Answers in advance alone are a whole-script case.)
TEST_F(TerminalUiTest, InteractiveRepliesByNumberNameOrInitial) {
  TerminalUiOptions options;
  options.answers = {kCancel};
  options.interactive = true;
  auto ui = Make(options, "forse\n1\n7\nriprova\r\ni\n\n");
  EXPECT_EQ(ui->MessageBox("c", "t", 3), kCancel);
  // "forse" is no answer and OK (1) is not a button here: both are asked again.
  EXPECT_EQ(ui->MessageBox("q", "t", 4), kNo);
  EXPECT_EQ(ui->MessageBox("q", "t", 2), kRetry);
  EXPECT_EQ(ui->MessageBox("q", "t", 2), kIgnore);
  EXPECT_EQ(ui->MessageBox("q", "t", 2 + 512), kIgnore);  // empty line: the default
  // End of input: the default.
  EXPECT_EQ(ui->MessageBox("q", "t", 5 + 256), kCancel);
  const std::string out = Output();
  EXPECT_NE(out.find("Risposta: Annulla (data in anticipo)"), std::string::npos) << out;
  EXPECT_NE(out.find("Fine dell'input"), std::string::npos) << out;
}

TEST_F(TerminalUiTest, TranscriptGetsOneJsonLinePerDialog) {
  TerminalUiOptions options;
  options.transcript_path = (stdfs::temp_directory_path() / "mlx-ui-test.jsonl").string();
  stdfs::remove(options.transcript_path);
  options.answers = {kOk};
  auto ui = Make(options);
  ui->MessageBox("Riga \"uno\"\r\nC:\\App \xE2\x82\xAC", "Titolo", 1 + kIconInformation);
  ui->MessageBox("Fine", "", 0);
  std::ifstream in(options.transcript_path);
  std::string transcript(std::istreambuf_iterator<char>(in), {});
  stdfs::remove(options.transcript_path);
  EXPECT_EQ(transcript,
            "{\"title\":\"Titolo\",\"text\":\"Riga \\\"uno\\\"\\r\\nC:\\\\App \xE2\x82\xAC\","
            "\"style\":65,\"answer\":1}\n"
            "{\"title\":\"\",\"text\":\"Fine\",\"style\":0,\"answer\":1}\n");
}

TEST_F(TerminalUiTest, WaitWindowPrintsEachMessageOnceWhenNotATerminal) {
  auto ui = Make({});
  ui->Progress(1, 10);  // not loaded: nothing
  EXPECT_FALSE(ui->WaitLoaded());
  ui->SetWaitMessage("Attendere\r\nprego");
  ui->ShowWait();
  EXPECT_TRUE(ui->WaitLoaded());
  ui->Progress(2, 10);
  ui->SetWaitMessage("Attendere\r\nprego");
  ui->SetWaitMessage("Copia dei file");
  ui->Progress(3, 10);
  ui->UnloadWait();
  EXPECT_FALSE(ui->WaitLoaded());
  EXPECT_EQ(ui->WaitMessage(), "");
  ui->ShowWait();
  EXPECT_EQ(Output(),
            "Aggiornamento in corso, attendere... Attendere prego\n"
            "Aggiornamento in corso, attendere... Copia dei file\n"
            "Aggiornamento in corso, attendere...\n");
}

// What a terminal shows after the bytes written to it: the moves and erasures the wait window
// uses (CR, LF, cursor up, erase to the end of the line and of the screen) applied to a grid.
std::vector<std::string> Render(const std::string& bytes) {
  std::vector<std::string> rows(1);
  std::size_t row = 0, column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      column = 0;
      if (++row == rows.size()) rows.emplace_back();
    } else if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      std::size_t j = i + 2;
      std::size_t n = 0;
      while (j < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[j]))) {
        n = n * 10 + static_cast<std::size_t>(bytes[j++] - '0');
      }
      const char command = j < bytes.size() ? bytes[j] : '\0';
      if (command == 'A') {
        row -= std::min(row, std::max<std::size_t>(n, 1));
      } else if (command == 'K' || command == 'J') {
        if (rows[row].size() > column) rows[row].resize(column);
        if (command == 'J') rows.resize(row + 1);
      } else {
        ADD_FAILURE() << "unexpected sequence ESC[" << n << command;
      }
      i = j;
    } else {
      if (rows[row].size() < column) rows[row].resize(column, ' ');
      if (column < rows[row].size()) {
        rows[row][column] = c;
      } else {
        rows[row].push_back(c);
      }
      ++column;
    }
  }
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

// The terminal ui on a fake terminal (a temporary file said to be one, of a fixed width) and a
// clock the test moves.
class FakeTerminalTest : public TerminalUiTest {
 protected:
  std::unique_ptr<TerminalUi> MakeTerminal(int columns = 100) {
    TerminalUiOptions options;
    options.out_is_terminal = true;
    options.columns = columns;
    options.now = [this] { return now_; };
    return Make(options);
  }
  void Wait(int milliseconds) { now_ += std::chrono::milliseconds(milliseconds); }
  std::vector<std::string> Screen() { return Render(Output()); }

  std::chrono::steady_clock::time_point now_{};
};

TEST_F(FakeTerminalTest, WaitWindowIsShownReplacedAndRemovedInPlace) {
  auto ui = MakeTerminal(30);
  ui->SetWaitLines(3);
  ui->SetWaitMessage("Attendere\r\nprego, un momento");
  ui->ShowWait();
  // The window keeps the height the script gave its message; lines are cut to the width.
  EXPECT_EQ(Screen(), (std::vector<std::string>{"[i] Aggiornamento in corso, a", "    Attendere",
                                                "    prego, un momento", "    "}));
  ui->Progress(1, 40);
  ui->SetWaitMessage("Copia\r\ndei\r\nfile\r\nin corso");
  // A longer message is shown whole, drawn over the window before.
  EXPECT_EQ(Screen(),
            (std::vector<std::string>{"[i] Aggiornamento in corso, a", "    Copia", "    dei",
                                      "    file", "    in corso", "    riga 1 di 40"}));
  ui->SetWaitLines(0);
  ui->SetWaitMessage("Fine");
  // A shorter window leaves nothing of the taller one below it.
  EXPECT_EQ(Screen(), (std::vector<std::string>{"[i] Aggiornamento in corso, a", "    Fine",
                                                "    riga 1 di 40"}));
  ui->UnloadWait();
  EXPECT_TRUE(Screen().empty());
  EXPECT_EQ(Output().find("\n\n"), std::string::npos);
}

// Other output on the same screen (the sentences of --verbose, a message box) is written where
// the window was, and the window is drawn again below it, once.
TEST_F(FakeTerminalTest, OtherOutputGetsRoomAndTheWindowComesBackBelowIt) {
  auto ui = MakeTerminal();
  ui->SetWaitMessage("Attendere");
  ui->ShowWait();
  ui->Progress(1, 10);
  ui->MakeRoom();
  std::fputs("Creata tabella Clienti\n", out_);
  ui->Progress(2, 10);
  const std::vector<std::string> window = {"[i] Aggiornamento in corso, attendere...",
                                           "    Attendere", "    riga 2 di 10"};
  std::vector<std::string> screen = Screen();
  ASSERT_EQ(screen.size(), 4u);
  EXPECT_EQ(screen[0], "Creata tabella Clienti");
  EXPECT_EQ(std::vector<std::string>(screen.begin() + 1, screen.end()), window);
  ui->MessageBox("Continuare?", "Domanda", 4 + kIconQuestion);
  screen = Screen();
  ASSERT_GE(screen.size(), 5u);
  EXPECT_EQ(screen[1], "+- Domanda ---------------------+");
  EXPECT_EQ(std::vector<std::string>(screen.end() - 3, screen.end()), window);
  EXPECT_EQ(std::count(screen.begin(), screen.end(), "    Attendere"), 1);
}

TEST_F(FakeTerminalTest, ScriptProgressIsDrawnAFewTimesASecond) {
  auto ui = MakeTerminal();
  ui->ShowWait();
  ui->Progress(1, 1000);
  const std::size_t shown = Output().size();
  for (long line = 2; line < 100; ++line) ui->Progress(line, 1000);
  EXPECT_EQ(Output().size(), shown);  // no time has passed
  Wait(250);
  ui->Progress(100, 1000);
  EXPECT_EQ(Screen().back(), "    riga 100 di 1000");
  ui->Progress(1000, 1000);  // the last line is always shown
  EXPECT_EQ(Screen().back(), "    riga 1000 di 1000");
}

TEST_F(FakeTerminalTest, OperationShowsBarRateAndTimeLeft) {
  auto ui = MakeTerminal();
  ui->ShowWait();
  ui->BeginTask({progress::Kind::kRebuild, "Clienti", progress::Unit::kRows, 10000, true});
  EXPECT_EQ(Screen().back(), "    [....................]   0%  trascorsi 0 s  0 di 10.000 righe");
  ui->TaskProgress(200);
  Wait(100);
  ui->TaskProgress(400);  // too soon for a redraw, too soon for a rate
  EXPECT_EQ(Screen().back(), "    [....................]   0%  trascorsi 0 s  0 di 10.000 righe");
  Wait(1900);
  ui->TaskProgress(5000);
  std::vector<std::string> screen = Screen();
  EXPECT_EQ(screen[screen.size() - 2], "    Ricostruzione della tabella Clienti");
  EXPECT_EQ(screen.back(),
            "    [##########..........]  50%  mancano 2 s  5.000 di 10.000 righe  2.500 righe/s");
  Wait(2000);
  ui->TaskProgress(10000);
  EXPECT_EQ(
      Screen().back(),
      "    [####################] 100%  trascorsi 4 s  10.000 di 10.000 righe  2.500 righe/s");
  ui->EndTask(false);
  EXPECT_EQ(Screen().back(), "[i] Aggiornamento in corso, attendere...");
}

TEST_F(FakeTerminalTest, OperationsWithoutTotalOrCountShowWhatIsKnown) {
  auto ui = MakeTerminal(60);
  ui->ShowWait();
  // A size in bytes, its rate in bytes too.
  ui->BeginTask({progress::Kind::kImport, "righe.txt", progress::Unit::kBytes, 3 << 20, true});
  Wait(1000);
  ui->TaskProgress(3 << 19);
  // Cut to the width less one column, so that the terminal never wraps it.
  const std::string whole =
      "    [##########..........]  50%  mancano 1 s  1,5 MB di 3,0 MB  1,5 MB/s";
  EXPECT_EQ(Screen().back(), whole.substr(0, 59));
  ui->EndTask(false);
  // No total: what is done, the rate and the time taken, no time left.
  ui->BeginTask({progress::Kind::kCopy, "Storico", progress::Unit::kRows, 0, true});
  Wait(4000);
  ui->TaskProgress(4200);
  EXPECT_EQ(Screen().back(), "    trascorsi 4 s  4.200 righe  1.050 righe/s");
  ui->EndTask(false);
  // Nothing counted while it runs: its size and the time taken.
  ui->BeginTask(
      {progress::Kind::kCompact, "/dati/archivio.mdb", progress::Unit::kPages, 1234, false});
  Wait(61000);
  ui->TaskProgress(7);
  EXPECT_EQ(Screen().back(), "    trascorsi 1 min 01 s  1.234 pagine");
  ui->EndTask(false);
  // Without the window an operation shows nothing.
  ui->UnloadWait();
  ui->BeginTask({progress::Kind::kCopy, "Storico", progress::Unit::kRows, 10, true});
  ui->TaskProgress(5);
  ui->EndTask(false);
  EXPECT_TRUE(Screen().empty());
}

TEST_F(TerminalUiTest, OperationIsOneLineAtItsEndWhenNotATerminal) {
  std::chrono::steady_clock::time_point now{};
  TerminalUiOptions options;
  options.now = [&now] { return now; };
  auto ui = Make(options);
  ui->SetWaitMessage("Importazione");
  ui->ShowWait();
  ui->BeginTask({progress::Kind::kImport, "righe.txt", progress::Unit::kBytes, 2048, true});
  for (int done = 0; done <= 2048; done += 256) {
    now += std::chrono::milliseconds(500);
    ui->TaskProgress(done);
  }
  ui->EndTask(false);
  ui->BeginTask({progress::Kind::kCompact, "a.mdb", progress::Unit::kPages, 9, false});
  now += std::chrono::milliseconds(1500);
  ui->EndTask(false);
  // A short operation leaves no line.
  ui->BeginTask({progress::Kind::kRebuild, "Clienti", progress::Unit::kRows, 3, true});
  now += std::chrono::milliseconds(900);
  ui->TaskProgress(3);
  ui->EndTask(false);
  ui->BeginTask({progress::Kind::kCopy, "Storico", progress::Unit::kRows, 10000, true});
  now += std::chrono::milliseconds(2500);
  ui->TaskProgress(1234);
  ui->EndTask(true);
  EXPECT_EQ(Output(),
            "Aggiornamento in corso, attendere... Importazione\n"
            "Importazione dal file righe.txt: 2,0 KB in 4 s\n"
            "Compattazione del database a.mdb: fatto in 1 s\n"
            "Copia delle righe in Storico: interrotta dopo 1.234 righe, 2 s\n");
}

// The real terminal, a pseudo-terminal whose other end the test reads: recognised as one, and
// its width asked of it.
TEST(PtyTest, TheTerminalAndItsWidthAreFound) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  struct winsize size {};
  size.ws_col = 24;
  size.ws_row = 24;
  ASSERT_EQ(ioctl(master, TIOCSWINSZ, &size), 0);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  std::FILE* out = fdopen(slave, "w");
  ASSERT_NE(out, nullptr);
  TerminalUiOptions options;
  options.out = out;
  auto ui = MakeTerminalUi(options);
  ui->ShowWait();
  ui->UnloadWait();
  std::fflush(out);
  std::string screen;
  char buffer[4096];
  struct pollfd ready = {master, POLLIN, 0};
  while (poll(&ready, 1, screen.empty() ? 5000 : 50) > 0) {
    ssize_t n = read(master, buffer, sizeof(buffer));
    if (n <= 0) break;
    screen.append(buffer, static_cast<std::size_t>(n));
  }
  std::fclose(out);
  close(master);
  EXPECT_EQ(screen, "\r[i] Aggiornamento in co\x1b[K\x1b[J\r\x1b[J");
}

}  // namespace
}  // namespace mlx::ui
