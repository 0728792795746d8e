// The variables family. Every command stores "name = value" under the name (Campo) and runs
// in a dry run too: reading a value changes nothing.
#include "variables/comandi_variabili.h"

#include <memory>

#include "conditions/mdlFileVersion.h"
#include "database/connessione.h"
#include "database/valori.h"
#include "engine/contesto.h"
#include "platform/db/db.h"
#include "platform/platform.h"
#include "system/registro.h"

namespace mlx {

namespace {

Lavoro CmdAssegna(ContestoEsecuzione& c) {
  const std::string valore = c.RestoDa(2);
  std::string voce;
  voce.reserve(c.Campo.size() + 3 + valore.size());
  voce.append(c.Campo).append(" = ").append(valore);
  ScriviVoce(c.ExecVars.get(), std::move(voce), c.Campo);
  c.Azione.assign("Variabile ").append(c.Campo).append(" = ").append(valore);
  return {};
}

// GET: the first column of the first row a statement returns.
Lavoro CmdGet(ContestoEsecuzione& c) {
  const std::string istruzione = c.RestoDa(2);
  c.Azione = "Variabile " + c.Campo + " da SQL " + istruzione;
  struct Chiusura {
    std::unique_ptr<db::Recordset>& rs;
    ~Chiusura() { ChiudiOggetto(rs); }
  } chiusura{c.RecordsetGet};
  Verifica(c.ConnessioneAperta().OpenRecordset(istruzione, db::kDynamic, db::kOptimistic,
                                               &c.RecordsetGet));
  if (c.RecordsetGet->Eof() || c.RecordsetGet->FieldCount() == 0) {
    Solleva(3021,
            "BOF o EOF \xC3\xA8 True oppure il record corrente \xC3\xA8 stato eliminato. "
            "L'operazione richiesta richiede un record corrente.");
  }
  db::Value valore;
  Verifica(c.RecordsetGet->GetValue(0, &valore));
  ScriviVoce(c.ExecVars.get(), c.Campo + " = " + TestoValore(valore), c.Campo);
  return {};
}

// REG: a string value of the registry.
Lavoro CmdVariabileDaRegistro(ContestoEsecuzione& c) {
  const std::string& nome = c.Campo;
  const std::string& radice = c.Parte(2);
  const std::string& chiave = c.Parte(3);
  const std::string& valore = c.Parte(4);
  const std::string letto =
      LeggiValoreRegistro(c.Registro(), radice, chiave, valore, &c.UltimoEsitoRegistro);
  ScriviVoce(c.ExecVars.get(), nome + " = " + letto, nome);
  c.Azione = "Variabile " + nome + " da registro " + radice + "\\" + chiave + "\\" + valore +
             " = " + letto;
  return {};
}

// FILEVER: the version of a file, "" when it has none.
Lavoro CmdVersioneFile(ContestoEsecuzione& c) {
  const std::string& file = c.Parte(2);
  ScriviVoce(c.ExecVars.get(), c.Campo + " = " + FileVersionText(*c.plat().fs, file), c.Campo);
  c.Azione = "Variabile " + c.Campo + " come versione del file " + file;
  return {};
}

}  // namespace

const Famiglia<>& FamigliaVariabili() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"=", CmdAssegna, false, Esegue},
      {"GET", CmdGet, false, Esegue},
      {"REG", CmdVariabileDaRegistro, false, Esegue},
      {"FILEVER", CmdVersioneFile, false, Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
