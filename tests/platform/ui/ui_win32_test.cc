// The dialogs' system pieces on Windows: a file is no console, and the transcript is appended
// whole under a name outside the ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text/wide.h"
#include "platform/ui/terminal.h"
#include "platform/ui/terminal_ui.h"

namespace mlx::ui {
namespace {

namespace stdfs = std::filesystem;

TEST(Win32Terminal, AFileIsNoConsole) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(terminal::IsTerminal(file));
  EXPECT_EQ(terminal::Columns(file), 0);
  EXPECT_FALSE(terminal::IsTerminal(nullptr));
  std::fclose(file);
}

TEST(Win32Terminal, TranscriptLinesAreAppendedWhole) {
  const stdfs::path dir =
      stdfs::temp_directory_path() /
      stdfs::path(L"mlx ui \u00e8\u2603 " + std::to_wstring(GetCurrentProcessId()));
  stdfs::create_directories(dir);
  const std::string path = text::FromWide((dir / L"trascrizione \u4e2d.jsonl").wstring());
  TerminalUiOptions options;
  options.transcript_path = path;
  options.out = std::tmpfile();
  TerminalUi ui(options);
  ui.MessageBox("Perch\xC3\xA9?", "Domanda", 4 + 256);
  ui.MessageBox("Ancora", "Domanda", 0);
  std::ifstream in(dir / L"trascrizione \u4e2d.jsonl", std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str(),
            "{\"title\":\"Domanda\",\"text\":\"Perch\xC3\xA9?\",\"style\":260,\"answer\":7}\n"
            "{\"title\":\"Domanda\",\"text\":\"Ancora\",\"style\":0,\"answer\":1}\n");
  in.close();
  std::fclose(options.out);
  // A transcript in a folder that is not there is told once and does not stop the box.
  EXPECT_FALSE(terminal::AppendWhole(text::FromWide((dir / L"manca\\x.jsonl").wstring()), "x"));
  stdfs::remove_all(dir);
}

}  // namespace
}  // namespace mlx::ui
