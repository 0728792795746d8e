// The rehearsal behind --dry-run: every database the run opens is copied on first use into a
// private folder and the run works on the copy; the registry file is rehearsed on a copy too,
// and a registry that is no file on an overlay that reads it and keeps the writes to itself.
// Nothing outside the folder is created, changed or locked. At the end the copies are compared
// with the state they started from, and the folder is removed unless it is to be kept.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/processo.h"
#include "launch/rapporto.h"
#include "platform/platform.h"

namespace mlx {

namespace registry {
class OverlayRegistry;
}

class ProvaDatabase;

class Prova : public Rendiconto {
 public:
  // Prepares a rehearsal over the services of `reale`: the private folder (cartella, created
  // when missing and kept at the end; "" for a new temporary folder, removed at the end) and
  // the copy of the registry file at `fileRegistro`, or, when it is "", the overlay over the
  // registry of `reale`. Answers null with *errore set on failure.
  static std::unique_ptr<Prova> Prepara(const Platform& reale, const std::string& fileRegistro,
                                        const std::string& cartella, std::string* errore);
  ~Prova() override;
  Prova(const Prova&) = delete;
  Prova& operator=(const Prova&) = delete;

  // The services the run gets: databases and registry on the copies, the rest as they were.
  const Platform& Piattaforma() const { return plat_; }
  const std::string& Cartella() const { return cartella_; }

  void Errore(const std::string& script, std::int32_t riga, const std::string& testo) override;
  void SoloDescritto(const std::string& script, std::int32_t riga, const std::string& frase,
                     const std::string& crea) override;
  void FileMancante(const std::string& script, std::int32_t riga,
                    const std::string& percorso) override;

  // Compares every copy with the state it started from. Call once the run is over.
  Rapporto Confronta();

 private:
  Prova() = default;

  Platform reale_;
  Platform plat_;
  std::string cartella_;
  bool conserva_ = false;
  std::string registroOriginale_, registroCopia_;
  std::string testoRegistroPrima_;
  std::unique_ptr<ProvaDatabase> database_;
  std::unique_ptr<registry::Registry> registro_;
  registry::OverlayRegistry* sovrapposto_ = nullptr;  // registro_, when it is the overlay
  std::vector<VoceRiga> operazioni_, errori_, avvisi_;
  // What the commands that only described their work would have created, as native paths.
  std::vector<VoceRiga> previsti_;
};

}  // namespace mlx
