#include <windows.h>
#include <shellapi.h>

#include <atomic>

#include "launch/console.h"
#include "platform/text/wide.h"

namespace mlx {
namespace {

std::atomic<bool> interruzione{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI SuInterruzione(DWORD evento) {
  if (evento != CTRL_C_EVENT && evento != CTRL_BREAK_EVENT && evento != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  interruzione = true;
  // The next event goes to the system's own handler, which ends the process.
  SetConsoleCtrlHandler(SuInterruzione, FALSE);
  return TRUE;
}

}  // namespace

// The narrow argv holds the arguments in the ANSI code page, which loses every character
// outside it: the wide command line is split again instead.
std::vector<std::string> ArgomentiProgramma(int, char**) {
  std::vector<std::string> argomenti;
  int numero = 0;
  LPWSTR* parole = CommandLineToArgvW(GetCommandLineW(), &numero);
  if (parole == nullptr) return argomenti;
  for (int i = 1; i < numero; ++i) argomenti.push_back(text::FromWide(parole[i]));
  LocalFree(parole);
  return argomenti;
}

void PreparaConsole() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

void InstallaInterruzione() {
  SetConsoleCtrlHandler(SuInterruzione, TRUE);
}

bool InterruzioneRichiesta() {
  return interruzione;
}

bool CambiaCartella(const std::string& native) {
  return SetCurrentDirectoryW(text::ToWide(native).c_str()) != 0;
}

}  // namespace mlx
