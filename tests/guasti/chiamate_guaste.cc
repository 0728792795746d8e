#include "guasti/chiamate_guaste.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "guasti/vfs_guasto.h"

namespace mlx::guasti {
namespace {

std::optional<std::string> Contenuto(const std::string& percorso) {
  std::ifstream in(percorso, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The path an open descriptor names now; "" for one that is not a file.
std::string Percorso(int fd) {
  char buffer[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

ChiamateGuaste::ChiamateGuaste(std::vector<std::string> seguiti)
    : seguiti_(std::move(seguiti)), modo_(Modo::kConta) {
  Arma(Modo::kConta, 0);
  prima_ = fs::SetCalls(this);
}

ChiamateGuaste::~ChiamateGuaste() { fs::SetCalls(prima_); }

void ChiamateGuaste::Arma(Modo modo, long n) {
  modo_ = modo;
  bersaglio_ = n;
  punti_ = 0;
  scattato_ = false;
  durevoli_.clear();
  contenutiSincronizzati_.clear();
  rinominePendenti_.clear();
  for (const std::string& s : seguiti_) durevoli_[s] = Contenuto(s);
}

bool ChiamateGuaste::Fallisce(int errore) {
  if (modo_ == Modo::kPerdita && scattato_) {
    errno = EIO;
    return true;
  }
  ++punti_;
  if (modo_ == Modo::kConta || punti_ != bersaglio_) return false;
  scattato_ = true;
  errno = modo_ == Modo::kPerdita ? EIO : errore;
  return true;
}

ssize_t ChiamateGuaste::Write(int fd, const void* data, std::size_t size) {
  if (Fallisce(ENOSPC)) return -1;
  return FileCalls::Write(fd, data, size);
}

int ChiamateGuaste::Sync(int fd) {
  if (Fallisce(EIO)) return -1;
  int rc = FileCalls::Sync(fd);
  if (rc != 0) return rc;
  const std::string percorso = Percorso(fd);
  if (percorso.empty()) return rc;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // A folder: the renames in it become durable, each name with the content its file had
    // at its last flush (none: an empty file).
    std::vector<std::pair<std::string, std::string>> restano;
    for (const auto& [da, a] : rinominePendenti_) {
      if (da.rfind(percorso + "/", 0) != 0) {
        restano.emplace_back(da, a);
        continue;
      }
      auto it = contenutiSincronizzati_.find(a);
      durevoli_[a] = it != contenutiSincronizzati_.end() ? it->second : std::string();
      durevoli_[da] = std::nullopt;
    }
    rinominePendenti_ = std::move(restano);
  } else {
    contenutiSincronizzati_[percorso] = Contenuto(percorso);
  }
  return rc;
}

int ChiamateGuaste::Rename(const std::string& from, const std::string& to, bool no_replace) {
  if (Fallisce(EIO)) return -1;
  int rc = FileCalls::Rename(from, to, no_replace);
  if (rc == 0) {
    rinominePendenti_.emplace_back(from, to);
    // The flushed content goes with the file to its new name; the old name is durable only
    // as far as it already was.
    auto it = contenutiSincronizzati_.find(from);
    if (it != contenutiSincronizzati_.end()) {
      contenutiSincronizzati_[to] = it->second;
      contenutiSincronizzati_.erase(from);
    } else {
      contenutiSincronizzati_.erase(to);
    }
  }
  return rc;
}

void ChiamateGuaste::Ripristina() {
  for (const auto& [percorso, contenuto] : durevoli_) {
    if (!contenuto) {
      unlink(percorso.c_str());
      continue;
    }
    std::ofstream(percorso, std::ios::binary | std::ios::trunc) << *contenuto;
  }
  Arma(Modo::kConta, 0);
}

}  // namespace mlx::guasti
