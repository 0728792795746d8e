#include "database/contatori.h"

#include <cmath>
#include <vector>

#include "database/connessione.h"
#include "database/valori.h"
#include "engine/errore.h"
#include "platform/progress.h"

namespace mlx {

namespace {

// The next value the counter must hand out: one more than the largest in its column, 1 for an
// empty column.
std::int64_t Successivo(db::Connection& conn, const std::string& tabella,
                        const std::string& colonna) {
  std::unique_ptr<db::Recordset> rs;
  // Names in brackets: a table or column whose name holds a blank must not stop the walk.
  Verifica(conn.OpenRecordset("SELECT MAX([" + colonna + "]) FROM [" + tabella + "]",
                              db::kForwardOnly, db::kReadOnly, &rs));
  double massimo = 0;
  if (!rs->Eof()) {
    db::Value valore;
    Verifica(rs->GetValue(0, &valore));
    massimo = ValoreComeNumero(valore);
  }
  rs->Close();
  return static_cast<std::int64_t>(std::nearbyint(massimo + 1));
}

void RiallineaTabelle(db::Connection& conn, progress::Sink* avanzamento,
                      const std::string& percorso) {
  std::vector<db::TableInfo> tabelle;
  Verifica(conn.Tables(&tabelle));
  progress::Scope riallineamento(
      avanzamento, {progress::Kind::kCounters, percorso, progress::Unit::kTables,
                    static_cast<std::int64_t>(tabelle.size())});
  std::int64_t fatte = 0;
  for (const db::TableInfo& tabella : tabelle) {
    riallineamento.Advance(fatte++);
    if (riallineamento.Interrupted()) Solleva(err::kInterrupted, "Riallineamento interrotto.");
    if (tabella.type != "TABLE") continue;
    std::vector<db::ColumnInfo> colonne;
    Verifica(conn.Columns(tabella.name, &colonne));
    for (const db::ColumnInfo& colonna : colonne) {
      if (!colonna.auto_increment) continue;
      const std::int64_t successivo = Successivo(conn, tabella.name, colonna.name);
      if (colonna.seed < successivo) {
        Verifica(conn.SetSeed(tabella.name, colonna.name, successivo));
        break;  // one counter a table
      }
    }
  }
  riallineamento.Advance(fatte);
}

}  // namespace

bool RiallineaContatori(const Platform& plat, std::unique_ptr<db::Connection>& conn,
                        const std::string& percorso) {
  ChiudiOggetto(conn);
  bool riuscito = true;
  std::unique_ptr<db::Connection> privata;
  try {
    privata = ApriConnessione(plat, percorso);
    Verifica(privata->AcquireExclusive());
    RiallineaTabelle(*privata, plat.progress, percorso);
  } catch (const ErroreScript&) {
    riuscito = false;
  }
  ChiudiOggetto(privata);
  conn = ApriConnessione(plat, percorso);
  return riuscito;
}

}  // namespace mlx
