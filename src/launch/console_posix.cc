#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "launch/console.h"

namespace mlx {
namespace {

volatile std::sig_atomic_t interruzione = 0;

extern "C" void SuInterruzione(int) {
  interruzione = 1;
}

}  // namespace

std::vector<std::string> ArgomentiProgramma(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void PreparaConsole() {}

void InstallaInterruzione() {
  struct sigaction azione = {};
  azione.sa_handler = SuInterruzione;
  sigemptyset(&azione.sa_mask);
  azione.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &azione, nullptr);
  sigaction(SIGTERM, &azione, nullptr);
}

bool InterruzioneRichiesta() {
  return interruzione != 0;
}

bool CambiaCartella(const std::string& native) {
  return chdir(native.c_str()) == 0;
}

}  // namespace mlx
