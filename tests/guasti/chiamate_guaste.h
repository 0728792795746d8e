// File calls (platform/fs/replace.h) that count their points and, armed for point N, fail it
// (ENOSPC for a write, EIO for a flush or a rename) or simulate a power loss there: that call
// and every later one fail, and Ripristina() then leaves on disk only what a disk would keep:
// a file's content as of its last flush, and a rename once it is durable (on POSIX when its
// folder is flushed, on Windows when the rename, written through, returns), the renamed file
// with the content it had when last flushed (none: an empty file).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "guasti/disco.h"
#include "platform/fs/replace.h"

namespace mlx::guasti {

enum class Modo;

class ChiamateGuaste : public fs::FileCalls {
 public:
  // Puts itself in place of the system's calls until destroyed. `seguiti`: the files whose
  // durable state is tracked (their siblings written by a replacement are tracked too).
  explicit ChiamateGuaste(const std::vector<std::string>& seguiti = {});
  ~ChiamateGuaste() override;

  void Arma(Modo modo, long n);
  long Punti() const { return punti_; }
  bool Scattato() const { return scattato_; }
  void Ripristina();

  ssize_t Write(int fd, const void* data, std::size_t size) override;
  int Sync(int fd) override;
  int Rename(const std::string& from, const std::string& to, bool no_replace) override;

 private:
  bool Fallisce(int errore);
  void RinominaDurevole(const std::string& da, const std::string& a);
  std::vector<std::string> seguiti_;
  Modo modo_;
  long bersaglio_ = 0;
  long punti_ = 0;
  bool scattato_ = false;
  Durevoli durevoli_;
  // Content as of the last flush of each file, by path; nullopt: a name that would not be there.
  std::map<std::string, std::optional<std::string>> contenutiSincronizzati_;
  std::vector<std::pair<std::string, std::string>> rinominePendenti_;
  fs::FileCalls* prima_ = nullptr;
};

// What the system alone can tell, in chiamate_guaste_posix.cc and chiamate_guaste_win32.cc.
namespace sistema {
// The path an open descriptor names now, in the form of Canonico; "" when it names no file.
std::string Percorso(int fd);
bool Cartella(int fd);
// The path with its folder's links, short names and prefixes resolved.
std::string Canonico(const std::string& percorso);
// A rename is durable once it returns (written through), not once its folder is flushed.
extern const bool kRinominaScrittaSubito;
}  // namespace sistema

}  // namespace mlx::guasti
