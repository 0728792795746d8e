// Runs a real program from a test, the same way on POSIX and on Windows: its arguments, extra
// environment, working folder and standard input given; its output captured; a time limit
// after which it is killed. With the files and the temporary folder that such tests use.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fs/regular.h"

namespace mlx::fakes {

struct Comando {
  std::string programma = {};  // the executable's path
  std::vector<std::string> argomenti = {};
  std::vector<std::string> ambiente = {};  // NAME=VALUE entries over this process's environment
  std::string cartella = {};               // the working folder ("" this process's)
  std::string ingresso = {};               // the file read as standard input ("" empty input)
  // POSIX only: `ingresso` is a terminal, which the program gets as its controlling terminal
  // (in a session of its own) and as all three standard streams; nothing is captured.
  bool terminale = false;
  std::chrono::milliseconds limite{0};  // 0: no limit
};

struct Esito {
  int stato = -1;        // the exit status; 128 + the signal's number for a POSIX signal
  bool scaduto = false;  // killed at the limit
  std::string uscita, errori;
};

// Runs the program and waits for it; a program that cannot be started answers stato -1 and
// the reason in `errori`.
Esito Esegui(const Comando& comando);

// Makes a FIFO; false where the system has none (Windows) or it could not be made.
bool CreaFifo(const std::string& percorso);

// A file's bytes, "" when it is missing; a file written whole.
inline std::string LeggiFile(const std::string& percorso) {
  std::ifstream in(std::filesystem::path(percorso), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
inline void ScriviFile(const std::string& percorso, const std::string& contenuto) {
  std::ofstream(std::filesystem::path(percorso), std::ios::binary) << contenuto;
}

// A folder of the test's own in the system's temporary folder (a native path), deleted with
// what it holds at the end of a test that passed and kept for a look after one that failed.
struct CartellaTemporanea {
  std::string percorso;
  CartellaTemporanea() { EXPECT_TRUE(fs::MakeTemporaryFolder("mlxrun-", &percorso)); }
  ~CartellaTemporanea() {
    std::error_code ignorato;
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(percorso, ignorato);
  }
  // A name in it, joined with the system's separator.
  std::string operator/(const std::string& nome) const {
    return percorso + static_cast<char>(std::filesystem::path::preferred_separator) + nome;
  }
};

}  // namespace mlx::fakes
