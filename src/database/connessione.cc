#include "database/connessione.h"

#include "engine/errore.h"
#include "engine/utilita.h"
#include "engine/processo.h"
#include "platform/fs/fs.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {
constexpr int kPuntatoreNormale = 0;
constexpr int kPuntatoreClessidra = 11;

db::Provider& Fornitore(const Platform& plat) {
  if (plat.db == nullptr)
    Solleva(err::kDatabase, "Nessun accesso ai database in questa esecuzione.");
  return *plat.db;
}
}  // namespace

std::string PercorsoNativo(const Platform& plat, const std::string& percorso) {
  std::string nativo = plat.fs->ToNative(percorso);
  if (nativo.empty() && !percorso.empty()) {
    Solleva(err::kPathNotFound, "Impossibile trovare il percorso: " + percorso);
  }
  return nativo;
}

std::unique_ptr<db::Connection> ApriConnessione(const Platform& plat, const std::string& percorso) {
  std::unique_ptr<db::Connection> conn = Fornitore(plat).NewConnection();
  Verifica(conn->Open(PercorsoNativo(plat, percorso), "", ""));
  return conn;
}

db::Connection& OggettoConnessione(const Platform& plat, std::unique_ptr<db::Connection>& conn) {
  if (!conn) conn = Fornitore(plat).NewConnection();
  return *conn;
}

void ApriDatabase(const Platform& plat, db::Connection& conn, const std::string& percorso) {
  Verifica(conn.Open(PercorsoNativo(plat, percorso), "Admin", ""));
}

void ChiudiOggetto(std::unique_ptr<db::Connection>& oggetto) {
  if (oggetto && oggetto->State() != 0) oggetto->Close();
  oggetto.reset();
}

void ChiudiOggetto(std::unique_ptr<db::Recordset>& oggetto) {
  if (oggetto && oggetto->IsOpen()) oggetto->Close();
  oggetto.reset();
}

bool CompattaDatabase(StatoProcesso& stato, std::unique_ptr<db::Connection>& conn,
                      const std::string& percorso) {
  const Platform& plat = stato.plat;
  if (plat.ui != nullptr) plat.ui->SetMousePointer(kPuntatoreClessidra);
  ChiudiOggetto(conn);

  Status esito = Status::OK();
  const std::string lavoro = db::CompactionWorkFile(percorso);
  const std::string nativo = plat.fs->ToNative(percorso);
  if (nativo.empty()) {
    esito = Status::Error(err::kPathNotFound, "Impossibile trovare il percorso: " + percorso);
  } else if (plat.db == nullptr) {
    esito = Status::Error(err::kDatabase, "Nessun accesso ai database in questa esecuzione.");
  } else {
    // A work file left beside the database by an earlier compaction is removed first; when
    // there is none, nothing happens.
    if (plat.fs->Exists(lavoro)) (void)plat.fs->DeleteFile(lavoro);
    // The database is compacted in place: a failure at any point leaves it as it was.
    esito = plat.db->Compact(nativo);
  }
  if (plat.ui != nullptr) plat.ui->SetMousePointer(kPuntatoreNormale);
  // A compaction the user interrupted left the database as it was: the run ends, with nothing
  // to report.
  if (!esito.ok() && stato.InterruzioneRichiesta()) return false;
  if (!esito.ok()) {
    stato.SegnalaErrore("Errore " + std::to_string(esito.number()) + " : " + esito.description());
    return false;
  }
  conn = ApriConnessione(plat, percorso);
  return true;
}

bool CreaDatabase(const Platform& plat, const std::string& percorso) {
  if (!plat.fs->List(percorso, false).empty()) return false;
  if (plat.db == nullptr) return false;
  const std::string nativo = plat.fs->ToNative(percorso);
  if (nativo.empty()) return false;
  return plat.db->CreateDatabase(nativo).ok();
}

std::vector<std::string> ElencoDatabase(const Platform& plat, const std::string& cartella,
                                        const std::string& prefisso) {
  return plat.fs->List(UnisciPercorso(cartella, prefisso) + "*.mdb", false);
}

}  // namespace mlx
