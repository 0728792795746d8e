#include "platform/ui/ui.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ui/terminal_ui.h"

namespace mlx::ui {
namespace {

namespace stdfs = std::filesystem;

TEST(Answers, ButtonsDefaultsAndNames) {
  EXPECT_EQ(Buttons(1 + kIconQuestion), (std::vector<int>{kOk, kCancel}));
  EXPECT_EQ(Buttons(3 + 512), (std::vector<int>{kYes, kNo, kCancel}));
  EXPECT_EQ(Buttons(9), (std::vector<int>{kOk}));
  EXPECT_EQ(DefaultAnswer(36), kYes);
  EXPECT_EQ(DefaultAnswer(4 + 256), kNo);
  EXPECT_EQ(DefaultAnswer(3 + 512 + kIconExclamation), kCancel);
  EXPECT_EQ(DefaultAnswer(4 + 512), kYes);  // no third button: the first

  for (int code = 1; code <= 7; ++code) EXPECT_EQ(ParseAnswer(AnswerName(code)), code);
  EXPECT_EQ(AnswerName(kYes), "Si");
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

TEST_F(TerminalUiTest, AnswersGivenInAdvanceAreUsedInOrder) {
  TerminalUiOptions options;
  options.answers = {kNo, kCancel};
  options.interactive = true;
  auto ui = Make(options, "6\n");
  EXPECT_EQ(ui->MessageBox("a", "t", 4), kNo);
  EXPECT_EQ(ui->MessageBox("c", "t", 3), kCancel);
  // With the list used up, an interactive box reads the terminal.
  EXPECT_EQ(ui->MessageBox("d", "t", 4 + 256), kYes);
  EXPECT_NE(Output().find("Risposta: No (data in anticipo)"), std::string::npos);
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

TEST_F(TerminalUiTest, InteractiveRepliesByNumberNameOrInitial) {
  TerminalUiOptions options;
  options.interactive = true;
  auto ui = Make(options, "forse\n1\n7\nriprova\r\ni\n\n");
  // "forse" is no answer and OK (1) is not a button here: both are asked again.
  EXPECT_EQ(ui->MessageBox("q", "t", 4), kNo);
  EXPECT_EQ(ui->MessageBox("q", "t", 2), kRetry);
  EXPECT_EQ(ui->MessageBox("q", "t", 2), kIgnore);
  EXPECT_EQ(ui->MessageBox("q", "t", 2 + 512), kIgnore);  // empty line: the default
  // End of input: the default.
  EXPECT_EQ(ui->MessageBox("q", "t", 5 + 256), kCancel);
  EXPECT_NE(Output().find("Fine dell'input"), std::string::npos);
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

// The terminal case, on a pseudo-terminal whose other end the test reads.
class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    struct winsize size {};
    size.ws_col = 60;
    size.ws_row = 24;
    ASSERT_EQ(ioctl(master_, TIOCSWINSZ, &size), 0);
    int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    out_ = fdopen(slave, "w");
    ASSERT_NE(out_, nullptr);
  }
  void TearDown() override {
    if (out_ != nullptr) std::fclose(out_);
    if (master_ >= 0) close(master_);
  }
  // What reached the terminal: waits for the first bytes, then takes all that follows.
  std::string Screen() {
    std::fflush(out_);
    std::string text;
    char buffer[4096];
    struct pollfd ready = {master_, POLLIN, 0};
    while (poll(&ready, 1, text.empty() ? 5000 : 50) > 0) {
      ssize_t n = read(master_, buffer, sizeof(buffer));
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

  int master_ = -1;
  std::FILE* out_ = nullptr;
};

TEST_F(PtyTest, WaitWindowIsARedrawnStatusLine) {
  TerminalUiOptions options;
  options.out = out_;
  auto ui = MakeTerminalUi(options);
  ui->SetWaitMessage("Attendere\r\nprego");
  ui->ShowWait();
  ui->Progress(10, 10);
  std::string screen = Screen();
  EXPECT_EQ(screen,
            "\r\x1b[KAggiornamento in corso, attendere... Attendere prego"
            "\r\x1b[KAggiornamento in corso, attendere... Attend (riga 10 di 10)");

  // A message box clears the line first and draws it again after the answer.
  ui->MessageBox("Messaggio", "", 0);
  screen = Screen();
  EXPECT_EQ(screen.rfind("\r\x1b[K+-", 0), 0u) << screen;
  EXPECT_NE(screen.find("\r\x1b[KAggiornamento in corso, attendere... Attend (riga 10 di 10)"),
            std::string::npos);

  ui->UnloadWait();
  EXPECT_EQ(Screen(), "\r\x1b[K");
  EXPECT_FALSE(ui->WaitLoaded());
}

}  // namespace
}  // namespace mlx::ui
