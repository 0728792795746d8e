// Programs on Windows: the arguments reach the program as the script wrote them, the failures
// carry the script language's numbers, a stopped wait ends the program, a batch file never
// gets characters its interpreter would act on.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process/process.h"
#include "platform/process/start_error_win32.h"
#include "platform/text/wide.h"

namespace mlx::process {
namespace {

namespace stdfs = std::filesystem;

class Win32ProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder with a blank and a name outside the ANSI code page.
    dir_ = stdfs::temp_directory_path() /
           stdfs::path(L"mlx proc \u00e0\u2603 " + std::to_wstring(GetCurrentProcessId()));
    stdfs::create_directories(dir_);
  }
  void TearDown() override { stdfs::remove_all(dir_); }

  std::string Dir() const { return text::FromWide(dir_.wstring()); }
  std::string Read(const wchar_t* name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  stdfs::path dir_;
  std::unique_ptr<Processes> p_ = MakeProcesses();
};

TEST_F(Win32ProcessesTest, ArgumentsArriveAsWritten) {
  const std::string arguments = "\"con spazi\" a\\\"b $(x) `y` ;rm 'q' \"\" \xC3\xA8\xE2\x82\xAC";
  ASSERT_TRUE(p_->RunAndWait(MLX_STAMPA_ARGOMENTI, arguments, Dir(), nullptr).ok());
  std::string expected;
  for (const std::string& a : SplitCommandLine(arguments)) expected += a + "\n";
  // The helper writes its arguments as the C runtime hands them over, in the ANSI code page;
  // compare what survives that: everything but the last argument.
  const std::string got = Read(L"argomenti.txt");
  const std::size_t cut = expected.rfind('\n', expected.size() - 2) + 1;
  EXPECT_EQ(got.substr(0, cut), expected.substr(0, cut));
}

TEST_F(Win32ProcessesTest, FailuresCarryTheScriptNumbers) {
  EXPECT_EQ(p_->RunAndWait("C:\\nessuno\\programma.exe", "", Dir(), nullptr).number(),
            err::kFileNotFound);
  EXPECT_EQ(p_->RunAndWait("programma-che-non-esiste", "", Dir(), nullptr).number(),
            err::kFileNotFound);
  EXPECT_EQ(p_->RunAndWait(MLX_STAMPA_ARGOMENTI, "", Dir() + "\\manca", nullptr).number(),
            err::kPathNotFound);
  std::ofstream(dir_ / L"testo.txt") << "non un programma";
  const std::string testo = Dir() + "\\testo.txt";
  EXPECT_EQ(p_->RunAndWait(testo, "", Dir(), nullptr).number(), err::kPathFileAccess);
  // A document nothing is associated with has no program to open it.
  std::ofstream(dir_ / L"dati.mlxsenzaprogramma") << "x";
  Status s = p_->Start(Dir() + "\\dati.mlxsenzaprogramma", "", Dir());
  EXPECT_EQ(s.number(), err::kPathFileAccess);
  EXPECT_NE(s.description().find("nessun programma per aprirlo"), std::string::npos)
      << s.description();
}

TEST_F(Win32ProcessesTest, BatchFilesGetNoInterpreterCharacters) {
  std::ofstream(dir_ / L"scrivi.bat") << "@echo %~1> uscita.txt\r\n";
  const std::string batch = Dir() + "\\scrivi.bat";
  Status s = p_->RunAndWait(batch, "\"a & del x\"", Dir(), nullptr);
  EXPECT_EQ(s.number(), err::kInvalidCall);
  EXPECT_FALSE(stdfs::exists(dir_ / L"uscita.txt"));
  ASSERT_TRUE(p_->RunAndWait(batch, "\"ciao mondo\"", Dir(), nullptr).ok());
  EXPECT_EQ(Read(L"uscita.txt"), "ciao mondo\r\n");
}

TEST_F(Win32ProcessesTest, AStoppedWaitEndsTheProgram) {
  const auto start = std::chrono::steady_clock::now();
  int asked = 0;
  ASSERT_TRUE(
      p_->RunAndWait(MLX_STAMPA_ARGOMENTI, "--dormi", Dir(), [&] { return ++asked > 3; }).ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(stdfs::exists(dir_ / L"argomenti.txt"));
}

TEST_F(Win32ProcessesTest, StartDoesNotWaitAndSelfPathIsThisProgram) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(p_->Start(MLX_STAMPA_ARGOMENTI, "--dormi", Dir()).ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  for (int i = 0; i < 100 && !stdfs::exists(dir_ / L"pid.txt"); ++i) Sleep(50);
  // The sleeping helper is ended here, so the folder can go.
  DWORD pid = 0;
  std::ifstream(dir_ / L"pid.txt") >> pid;
  HANDLE helper = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(helper, nullptr);
  TerminateProcess(helper, 0);
  WaitForSingleObject(helper, 5000);
  CloseHandle(helper);

  const std::string self = p_->SelfPath();
  EXPECT_TRUE(stdfs::is_regular_file(stdfs::path(text::ToWide(self)))) << self;
  EXPECT_EQ(stdfs::path(text::ToWide(self)).extension(), ".exe");
}

// The refusals the system gives and a test cannot provoke here (Wine starts a program that asks
// for an administrator without asking): each keeps the script's number and says why.
TEST(StartErrorTest, RefusalsCarryTheScriptsNumberAndTheReason) {
  struct Case {
    DWORD error;
    long number;
    const char* text;
  } cases[] = {
      {740, err::kPermissionDenied,
       "Autorizzazione negata: p.exe (il programma va avviato come amministratore)"},
      {ERROR_ACCESS_DENIED, err::kPermissionDenied, "Autorizzazione negata: p.exe"},
      {ERROR_PATH_NOT_FOUND, err::kFileNotFound, "File non trovato: p.exe"},
      {ERROR_EXE_MACHINE_TYPE_MISMATCH, err::kPathFileAccess,
       "Errore di accesso al percorso/file: p.exe (non \xC3\xA8 un programma)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const Status st = StartError(c.error, "p.exe", "C:\\app");
    EXPECT_EQ(st.number(), c.number);
    EXPECT_EQ(st.description(), c.text);
  }
  // Any other refusal names the system's own reason and the folder.
  const Status other = StartError(ERROR_NOT_ENOUGH_MEMORY, "p.exe", "C:\\app");
  EXPECT_EQ(other.number(), err::kPathFileAccess);
  EXPECT_NE(other.description().find(", cartella C:\\app)"), std::string::npos);
}

}  // namespace
}  // namespace mlx::process
