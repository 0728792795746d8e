// Programs on POSIX: posix_spawn, never a shell. A waiting start sleeps on a descriptor of the
// child (pidfd) between looks at the interruption flag; a detached start goes through a short-
// lived intermediate process, so the program is adopted by the system and never left a zombie.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/process/process.h"

extern char** environ;

namespace mlx::process {

namespace {

constexpr int kPollMillis = 200;
// Rounds between asking a stopped program to end and ending it by force.
constexpr int kRoundsBeforeKill = 10;

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// The path taken from the current folder.
std::string FromCurrentFolder(const std::string& path) {
  std::string full = CurrentFolder();
  full.push_back('/');
  full.append(path);
  return full;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program as the child will find it after changing folder: a name with a "/" taken from
// the current folder, a bare name from the current folder when it is there, else from PATH.
std::string Locate(const std::string& program) {
  if (program.empty()) return program;
  if (program.find('/') != std::string::npos) {
    return program.front() == '/' ? program : FromCurrentFolder(program);
  }
  struct stat st {};
  if (stat(program.c_str(), &st) == 0) return FromCurrentFolder(program);
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    std::size_t colon = rest.find(':');
    // An empty entry of PATH is the current folder.
    std::string candidate(colon == 0 ? std::string_view(".") : rest.substr(0, colon));
    candidate.push_back('/');
    candidate.append(program);
    if (IsExecutableFile(candidate)) {
      return candidate.front() == '/' ? candidate : FromCurrentFolder(candidate);
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return program;  // not found: the start reports the missing file
}

Status SpawnError(int error, const std::string& program, const std::string& folder) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return Status::Error(err::kFileNotFound, "File non trovato: " + program);
    case EACCES:
    case EPERM:
      return Status::Error(err::kPermissionDenied, "Autorizzazione negata: " + program);
    default:
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " +
                                                     program + " (" + std::strerror(error) +
                                                     ", cartella " + folder + ")");
  }
}

// What a start needs, checked and laid out before any process is made.
struct Avvio {
  std::string program;
  std::string folder;
  std::vector<std::string> args;
  std::vector<char*> argv;

  Status Prepara(const std::string& prog, std::string_view arguments, const std::string& dir,
                 bool executable_only) {
    program = Locate(prog);
    folder = dir.empty() ? "." : dir;
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return Status::Error(err::kPathNotFound, "Impossibile trovare il percorso: " + folder);
    }
    if (stat(program.c_str(), &st) != 0) return SpawnError(errno, prog, folder);
    if (executable_only && !IsExecutableFile(program)) return SpawnError(EACCES, prog, folder);
    args.clear();
    args.push_back(program);
    for (std::string& a : SplitCommandLine(arguments)) args.push_back(std::move(a));
    argv.clear();
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return Status::OK();
  }

  // posix_spawn in the folder, with the signals a child should start with; answers 0 or errno.
  int Spawn(pid_t* pid, bool new_session) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (new_session) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr, flags);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    int error = posix_spawn(pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return error;
  }
};

void WaitFor(pid_t pid, const std::function<bool()>& interrupted) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  int rounds_since_stop = -1;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) break;
    if (rounds_since_stop < 0 && interrupted && interrupted()) {
      kill(pid, SIGTERM);
      rounds_since_stop = 0;
    } else if (rounds_since_stop >= 0 && ++rounds_since_stop == kRoundsBeforeKill) {
      kill(pid, SIGKILL);
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      poll(&p, 1, kPollMillis);
    } else {
      usleep(kPollMillis * 1000 / 4);
    }
  }
  if (pidfd >= 0) close(pidfd);
}

class PosixProcesses : public Processes {
 public:
  explicit PosixProcesses(ProcessOptions options) : options_(std::move(options)) {}

  Status RunAndWait(const std::string& program, std::string_view arguments,
                    const std::string& folder,
                    const std::function<bool()>& interrupted) override {
    Avvio avvio;
    Status s = avvio.Prepara(program, arguments, folder, true);
    if (!s.ok()) return s;
    pid_t pid = 0;
    if (int error = avvio.Spawn(&pid, false); error != 0) return SpawnError(error, program, folder);
    WaitFor(pid, interrupted);
    return Status::OK();
  }

  Status Start(const std::string& program, std::string_view arguments,
               const std::string& folder) override {
    Avvio avvio;
    Status s = avvio.Prepara(program, arguments, folder, false);
    if (!s.ok()) return s;
    if (!IsExecutableFile(avvio.program)) {
      // A document (or a folder) goes to the desktop's opener, with the file as its argument.
      const std::string opener = Locate(options_.opener);
      if (!IsExecutableFile(opener)) {
        return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " +
                                                       program +
                                                       " (nessun programma per aprirlo)");
      }
      avvio.args = {opener, avvio.program};
      avvio.program = opener;
      avvio.argv = {avvio.args[0].data(), avvio.args[1].data(), nullptr};
    }
    return Detached(avvio, program);
  }

  std::string SelfPath() override {
    std::vector<char> buffer(4096);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return "marlovex";
    return std::string(buffer.data(), static_cast<std::size_t>(n));
  }

 private:
  // The intermediate process starts the program in a new session and ends at once, handing
  // back the start's result in its exit code; the program is then the system's child.
  static Status Detached(Avvio& avvio, const std::string& program) {
    pid_t intermedio = fork();
    if (intermedio < 0) return SpawnError(errno, program, avvio.folder);
    if (intermedio == 0) {
      pid_t pid = 0;
      int error = avvio.Spawn(&pid, true);
      _exit(error > 0 && error < 126 ? error : (error == 0 ? 0 : 126));
    }
    int status = 0;
    while (waitpid(intermedio, &status, 0) < 0 && errno == EINTR) {
    }
    const int error = WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
    if (error != 0) return SpawnError(error, program, avvio.folder);
    return Status::OK();
  }

  ProcessOptions options_;
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses(ProcessOptions options) {
  return std::make_unique<PosixProcesses>(std::move(options));
}

}  // namespace mlx::process
