#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "guasti/chiamate_guaste.h"

namespace mlx::guasti::sistema {

const bool kRinominaScrittaSubito = false;

std::string Percorso(int fd) {
  char buffer[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool Cartella(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Canonico(const std::string& percorso) {
  const std::size_t barra = percorso.rfind('/');
  const std::string cartella = barra == std::string::npos ? "." : percorso.substr(0, barra);
  char risolta[PATH_MAX];
  if (realpath(cartella.empty() ? "/" : cartella.c_str(), risolta) == nullptr) return percorso;
  const std::string base(risolta);
  return (base == "/" ? "" : base) + "/" + percorso.substr(barra + 1);
}

}  // namespace mlx::guasti::sistema
