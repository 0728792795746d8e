#include "guasti/chiamate_guaste.h"

#include <cerrno>

#include "guasti/vfs_guasto.h"

namespace mlx::guasti {

ChiamateGuaste::ChiamateGuaste(const std::vector<std::string>& seguiti) : modo_(Modo::kConta) {
  for (const std::string& s : seguiti) seguiti_.push_back(sistema::Canonico(s));
  Arma(Modo::kConta, 0);
  prima_ = fs::SetCalls(this);
}

ChiamateGuaste::~ChiamateGuaste() { fs::SetCalls(prima_); }

void ChiamateGuaste::Arma(Modo modo, long n) {
  modo_ = modo;
  bersaglio_ = n;
  punti_ = 0;
  scattato_ = false;
  durevoli_.Dimentica();
  contenutiSincronizzati_.clear();
  rinominePendenti_.clear();
  for (const std::string& s : seguiti_) durevoli_.Segui(s);
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

// The name `a` now survives a power loss, with the content its file had at its last flush.
void ChiamateGuaste::RinominaDurevole(const std::string& da, const std::string& a) {
  auto it = contenutiSincronizzati_.find(a);
  durevoli_.Fissa(a, it != contenutiSincronizzati_.end() ? it->second : std::string());
  durevoli_.Fissa(da, std::nullopt);
}

int ChiamateGuaste::Sync(int fd) {
  if (Fallisce(EIO)) return -1;
  int rc = FileCalls::Sync(fd);
  const std::string percorso = sistema::Percorso(fd);
  if (rc != 0 || percorso.empty()) return rc;
  if (!sistema::Cartella(fd)) {
    contenutiSincronizzati_[percorso] = Contenuto(percorso);
    return rc;
  }
  // A folder: the renames in it become durable.
  std::vector<std::pair<std::string, std::string>> restano;
  for (const auto& [da, a] : rinominePendenti_) {
    if (da.substr(0, da.find_last_of("/\\")) == percorso) {
      RinominaDurevole(da, a);
    } else {
      restano.emplace_back(da, a);
    }
  }
  rinominePendenti_ = std::move(restano);
  return rc;
}

int ChiamateGuaste::Rename(const std::string& from, const std::string& to, bool no_replace) {
  if (Fallisce(EIO)) return -1;
  int rc = FileCalls::Rename(from, to, no_replace);
  if (rc != 0) return rc;
  const std::string da = sistema::Canonico(from), a = sistema::Canonico(to);
  // The flushed content goes with the file to its new name; the old name is durable only
  // as far as it already was.
  auto it = contenutiSincronizzati_.find(da);
  if (it != contenutiSincronizzati_.end()) {
    contenutiSincronizzati_[a] = it->second;
    contenutiSincronizzati_.erase(da);
  } else {
    contenutiSincronizzati_.erase(a);
  }
  if (sistema::kRinominaScrittaSubito) {
    RinominaDurevole(da, a);
  } else {
    rinominePendenti_.emplace_back(da, a);
  }
  return rc;
}

void ChiamateGuaste::Ripristina() {
  durevoli_.Ripristina();
  Arma(Modo::kConta, 0);
}

}  // namespace mlx::guasti
