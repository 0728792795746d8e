#include "database/programmati.h"

#include <memory>
#include <utility>
#include <vector>

#include "database/connessione.h"
#include "database/schema.h"
#include "database/valori.h"
#include "engine/errore.h"
#include "engine/utilita.h"
#include "engine/processo.h"
#include "platform/clock/clock.h"
#include "system/impostazioni.h"

namespace mlx {

namespace {

struct Piano {
  std::string data;
  std::string script;
  bool senzaScript = false;
};

// The condition that picks the plan's rows among those not yet done.
std::string CondizionePiano(const Piano& piano) {
  return "DataAgg = '" + RaddoppiaApici(piano.data) + "' AND " +
         (piano.senzaScript ? std::string("MLX IS NULL")
                            : "MLX = '" + RaddoppiaApici(piano.script) + "'") +
         " AND NOT Eseguito";
}

// The due plans, read whole before any of them runs: a script that is run may itself plan
// updates in the same database.
std::vector<Piano> PianiDovuti(db::Connection& conn, const std::string& tabella,
                               const std::string& oggi) {
  std::unique_ptr<db::Recordset> rs;
  Verifica(conn.OpenRecordset("SELECT * FROM " + tabella + " WHERE DataAgg <= '" + oggi +
                                  "' AND NOT Eseguito ORDER BY DataAgg",
                              db::kForwardOnly, db::kReadOnly, &rs));
  const int colData = rs->FieldIndex("DataAgg");
  const int colScript = rs->FieldIndex("MLX");
  if (colData < 0 || colScript < 0) {
    rs->Close();
    Solleva(err::kDatabase, "La tabella " + tabella + " non ha i campi DataAgg e MLX.");
  }
  std::vector<Piano> piani;
  for (; !rs->Eof(); Verifica(rs->MoveNext())) {
    db::Value data, script;
    Verifica(rs->GetValue(colData, &data));
    Verifica(rs->GetValue(colScript, &script));
    Piano piano{TestoValore(data), TestoValore(script), script.is_null()};
    bool doppio = false;
    for (const Piano& p : piani) {
      doppio = doppio || (p.data == piano.data && p.script == piano.script &&
                          p.senzaScript == piano.senzaScript);
    }
    if (!doppio) piani.push_back(std::move(piano));
  }
  rs->Close();
  return piani;
}

}  // namespace

std::string PercorsoProgrammati(const StatoProcesso& stato) {
  return LeggiImpostazione(stato.plat.registry, "Pelsacord", "Settings", "PathMDB",
                           stato.PercorsoApp("Pelsacord.mdb"));
}

bool CreaTabellaProgrammati(db::Connection& conn, const std::string& tabella) {
  if (!schema::EsisteTabella(conn, tabella)) {
    Verifica(conn.Execute("CREATE TABLE " + tabella +
                          " (DataAgg TEXT(8) NULL, MLX TEXT(127) NULL, Eseguito LOGICAL)"));
  }
  return true;
}

void ProgrammaAggiornamento(StatoProcesso& stato, const std::string& tabella,
                            const std::string& data, const std::string& script) {
  std::unique_ptr<db::Connection> conn = ApriConnessione(stato.plat, PercorsoProgrammati(stato));
  if (!CreaTabellaProgrammati(*conn, tabella)) return;
  std::unique_ptr<db::Recordset> rs;
  Verifica(conn->OpenRecordset("SELECT * FROM " + tabella + " WHERE DataAgg = '" +
                                   RaddoppiaApici(data) + "' AND MLX = '" + RaddoppiaApici(script) +
                                   "'",
                               db::kDynamic, db::kOptimistic, &rs));
  if (rs->Eof()) {
    Verifica(rs->AddNew());
    Verifica(rs->SetValue(rs->FieldIndex("DataAgg"), db::Value::Text(data)));
    Verifica(rs->SetValue(rs->FieldIndex("MLX"), db::Value::Text(script)));
    Verifica(rs->SetValue(rs->FieldIndex("Eseguito"), db::Value::Boolean(false)));
    Verifica(rs->Update());
  }
  ChiudiOggetto(rs);
  ChiudiOggetto(conn);
}

void EseguiProgrammati(StatoProcesso& stato, const std::string& tabella,
                       const std::function<void(const std::string&)>& eseguiScript) {
  const std::string percorso = PercorsoProgrammati(stato);
  const std::string oggi = clock::Format(stato.plat.clock->Now(), "yyyymmdd");
  const std::string mancati = "Aggiornamenti programmati non eseguiti: ";
  std::vector<Piano> piani;
  try {
    std::unique_ptr<db::Connection> conn = ApriConnessione(stato.plat, percorso);
    if (!schema::EsisteTabella(*conn, tabella)) {
      stato.SegnalaErrore(mancati + "la tabella " + tabella +
                          " non esiste nel database di pianificazione " + percorso + ".");
      return;
    }
    piani = PianiDovuti(*conn, tabella, oggi);
  } catch (const ErroreScript& e) {
    stato.SegnalaErrore(mancati + "il database di pianificazione " + percorso +
                        " non si legge.\r\n" + e.Descrizione());
    return;
  }

  for (const Piano& piano : piani) {
    if (!piano.senzaScript) eseguiScript(piano.script);
    // Marked done at once, each on its own connection: a run that stops half way leaves the
    // plans already run marked.
    try {
      std::unique_ptr<db::Connection> conn = ApriConnessione(stato.plat, percorso);
      Verifica(conn->Execute("UPDATE " + tabella + " SET Eseguito = True WHERE " +
                             CondizionePiano(piano)));
    } catch (const ErroreScript& e) {
      stato.SegnalaErrore("Impossibile segnare come eseguito l'aggiornamento " + piano.script +
                          " del " + piano.data + ".\r\n" + e.Descrizione());
    }
  }
}

}  // namespace mlx
