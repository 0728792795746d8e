// The runner on POSIX: posix_spawn, the output captured in unlinked temporary files (no pipe
// to drain while waiting), a wait that looks at the clock every few milliseconds.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "fakes/esegui.h"

extern char** environ;

namespace mlx::fakes {

namespace {

// A file that no other process can open: the child writes it, the parent reads it back.
int FileAnonimo() {
  std::string nome = (std::filesystem::temp_directory_path() / "mlx-esegui-XXXXXX").string();
  const int fd = mkostemp(nome.data(), O_CLOEXEC);
  if (fd >= 0) unlink(nome.c_str());
  return fd;
}

std::string Rileggi(int fd) {
  std::string testo;
  if (fd < 0) return testo;
  char blocco[65536];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, blocco, sizeof blocco)) > 0;) testo.append(blocco, n);
  close(fd);
  return testo;
}

}  // namespace

Esito Esegui(const Comando& c) {
  std::vector<std::string> voci;
  for (char** e = environ; *e != nullptr; ++e) voci.emplace_back(*e);
  for (const std::string& voce : c.ambiente) {
    const std::string nome = voce.substr(0, voce.find('=')) + "=";
    std::erase_if(voci, [&](const std::string& v) { return v.starts_with(nome); });
    voci.push_back(voce);
  }
  std::vector<char*> argv = {const_cast<char*>(c.programma.c_str())}, envp;
  for (const std::string& a : c.argomenti) argv.push_back(const_cast<char*>(a.c_str()));
  for (std::string& v : voci) envp.push_back(v.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t azioni;
  posix_spawnattr_t attributi;
  posix_spawn_file_actions_init(&azioni);
  posix_spawnattr_init(&attributi);
  const int uscita = c.terminale ? -1 : FileAnonimo(), errori = c.terminale ? -1 : FileAnonimo();
  const std::string ingresso = c.ingresso.empty() ? "/dev/null" : c.ingresso;
  posix_spawn_file_actions_addopen(&azioni, 0, ingresso.c_str(), c.terminale ? O_RDWR : O_RDONLY,
                                   0);
  posix_spawn_file_actions_adddup2(&azioni, c.terminale ? 0 : uscita, 1);
  posix_spawn_file_actions_adddup2(&azioni, c.terminale ? 0 : errori, 2);
  // The session comes first, so that opening the terminal makes it the controlling one.
  if (c.terminale) posix_spawnattr_setflags(&attributi, POSIX_SPAWN_SETSID);
  if (!c.cartella.empty()) posix_spawn_file_actions_addchdir_np(&azioni, c.cartella.c_str());
  pid_t pid = 0;
  const int errore =
      posix_spawn(&pid, c.programma.c_str(), &azioni, &attributi, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&azioni);
  posix_spawnattr_destroy(&attributi);

  Esito esito;
  if (errore != 0) {
    esito.errori = c.programma + ": " + std::strerror(errore) + Rileggi(uscita) + Rileggi(errori);
    return esito;
  }
  const auto fine = std::chrono::steady_clock::now() + c.limite;
  const int attesa = c.limite.count() > 0 ? WNOHANG : 0;
  int stato = 0;
  for (pid_t r; (r = waitpid(pid, &stato, attesa)) != pid;) {
    if (r < 0 && errno != EINTR) {
      esito.errori = "waitpid: " + std::string(std::strerror(errno));
      return esito;  // stato -1: the program's end is unknown, never taken for a success
    }
    if (r == 0 && std::chrono::steady_clock::now() > fine) {
      esito.scaduto = true;
      kill(pid, SIGKILL);
      waitpid(pid, &stato, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  esito.stato = WIFEXITED(stato) ? WEXITSTATUS(stato) : 128 + WTERMSIG(stato);
  esito.uscita = Rileggi(uscita);
  esito.errori = Rileggi(errori);
  return esito;
}

bool CreaFifo(const std::string& percorso) {
  return mkfifo(percorso.c_str(), 0600) == 0;
}

}  // namespace mlx::fakes
