#include "database/schema.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "database/transazione.h"
#include "engine/errore.h"
#include "engine/utilita.h"
#include "platform/text/text.h"

namespace mlx::schema {

namespace {

// Rows copied between two reports of the progress (and two looks at an interruption).
constexpr std::int64_t kRigheTraAvanzamenti = 256;

// The names of a ";" list, in order.
std::vector<std::string> Nomi(const std::string& elenco) {
  return Dividi(elenco, ";");
}

bool SiApre(db::Connection& conn, const std::string& origine) {
  std::unique_ptr<db::Recordset> rs;
  Status s = conn.OpenRecordset(origine, db::kCursorUnspecified, db::kLockUnspecified, &rs);
  if (rs) rs->Close();
  return s.ok();
}

// The number of rows of a row source (a table or query name, or a SELECT); -1 when it cannot
// be counted.
std::int64_t ContaRighe(db::Connection& conn, const std::string& origine) {
  const std::string testo = TogliSpazi(origine);
  std::string sql;
  if (text::ToUpper(testo.substr(0, 6)) == "SELECT") {
    sql = "SELECT COUNT(*) FROM (" + testo + ")";
  } else {
    sql = "SELECT COUNT(*) FROM " + (testo.rfind('[', 0) == 0 ? testo : "[" + testo + "]");
  }
  std::unique_ptr<db::Recordset> rs;
  db::Value n;
  if (!conn.OpenRecordset(sql, db::kForwardOnly, db::kReadOnly, &rs).ok() || rs->Eof() ||
      !rs->GetValue(0, &n).ok() || n.kind() != db::Value::Kind::kInteger) {
    return -1;
  }
  return n.integer();
}

[[noreturn]] void NonEsiste(const std::string& cosa) {
  Solleva(err::kDatabase, cosa + " non esiste.");
}

}  // namespace

bool EsisteTabella(db::Connection& conn, const std::string& tabella) {
  return SiApre(conn, "[" + tabella + "]");
}

bool EsisteQuery(db::Connection& conn, const std::string& nome) {
  return SiApre(conn, "SELECT * FROM " + nome);
}

bool AggiungiQuery(db::Connection& conn, const std::string& nome, const std::string& sql) {
  // A name that opens as a row source is changed in place: when it is a table, that fails. So is
  // a saved query that cannot run while its tables lack what it names.
  std::string testo;
  if (EsisteQuery(conn, nome) || conn.ViewCommand(nome, &testo).ok()) {
    return conn.SetViewCommand(nome, sql).ok();
  }
  return conn.AppendView(nome, sql).ok();
}

bool EliminaQuery(db::Connection& conn, const std::string& nome) {
  return conn.DeleteView(nome).ok();
}

void CreaIndice(db::Connection& conn, const std::string& tabella, const std::string& nome,
                const std::string& campi, bool primario, bool univoco, bool nulli) {
  db::IndexInfo indice;
  indice.name = nome;
  indice.columns = Nomi(campi);
  indice.primary_key = primario;
  indice.unique = univoco || primario;
  indice.index_nulls = nulli && !primario ? db::kIndexNullsIgnore : db::kIndexNullsAllow;
  // An index of the same name is replaced; when there is none, nothing is deleted.
  (void)conn.DeleteIndex(tabella, nome);
  Verifica(conn.AppendIndex(tabella, indice));
}

void CreaRelazione(db::Connection& conn, const std::string& nome, const std::string& tabella,
                   const std::string& campi, const std::string& collegata,
                   const std::string& campiCollegati, bool aggiorna, bool elimina) {
  const std::vector<std::string> colonne = Nomi(campi);
  const std::vector<std::string> collegate = Nomi(campiCollegati);
  db::KeyInfo chiave;
  chiave.name = nome;
  chiave.related_table = collegata;
  for (std::size_t i = 0; i < colonne.size(); ++i) {
    if (i >= collegate.size()) {
      Solleva(err::kSubscript,
              "La relazione " + nome + " non ha un campo collegato per " + colonne[i] + ".");
    }
    chiave.columns.emplace_back(colonne[i], collegate[i]);
  }
  chiave.update_rule = aggiorna ? db::kRuleCascade : db::kRuleNone;
  chiave.delete_rule = elimina ? db::kRuleCascade : db::kRuleNone;
  Verifica(conn.AppendKey(tabella, chiave));
}

void ModificaRelazione(db::Connection& conn, const std::string& tabella, const std::string& nome,
                       bool aggiorna, bool elimina) {
  std::vector<db::KeyInfo> chiavi;
  Verifica(conn.Keys(tabella, &chiavi));
  for (const db::KeyInfo& vecchia : chiavi) {
    if (!text::EqualsNoCase(vecchia.name, nome)) continue;
    db::KeyInfo nuova = vecchia;
    nuova.update_rule = aggiorna ? db::kRuleCascade : db::kRuleNone;
    nuova.delete_rule = elimina ? db::kRuleCascade : db::kRuleNone;
    // The old relation goes and the new one comes in one transaction of the data-access
    // layer: when the new one cannot be made, the old one is still there.
    Verifica(conn.ReplaceKey(tabella, nuova));
    return;
  }
  NonEsiste("La relazione " + nome + " della tabella " + tabella);
}

void EliminaRelazione(db::Connection& conn, const std::string& tabella, const std::string& nome) {
  Verifica(conn.DeleteKey(tabella, nome));
}

void RinominaCampo(db::Connection& conn, const std::string& tabella, const std::string& vecchio,
                   const std::string& nuovo) {
  Verifica(conn.RenameColumn(tabella, vecchio, nuovo));
}

void RinominaTabella(db::Connection& conn, const std::string& vecchia, const std::string& nuova) {
  Verifica(conn.RenameTable(vecchia, nuova));
}

void ModificaDefaultCampo(db::Connection& conn, const std::string& tabella,
                          const std::string& campo, const std::string& valore) {
  Verifica(conn.SetDefault(tabella, campo, valore));
}

void PermettiLunghezzaZero(db::Connection& conn, const std::string& tabella,
                           const std::string& campo) {
  std::vector<db::TableInfo> tabelle;
  Verifica(conn.Tables(&tabelle));
  for (const db::TableInfo& t : tabelle) {
    if (t.name == tabella) {
      Verifica(conn.SetAllowZeroLength(t.name, campo, true));
      return;
    }
  }
}

bool LeggiLunghezzaZero(db::Connection& conn, const std::string& tabella,
                        const std::string& campo) {
  std::vector<db::ColumnInfo> colonne;
  Verifica(conn.Columns(tabella, &colonne));
  for (const db::ColumnInfo& c : colonne) {
    if (text::EqualsNoCase(c.name, campo)) return c.allow_zero_length;
  }
  NonEsiste("Il campo " + campo + " della tabella " + tabella);
}

void ImpostaLunghezzaZero(db::Connection& conn, const std::string& tabella,
                          const std::string& campo, bool valore) {
  Verifica(conn.SetAllowZeroLength(tabella, campo, valore));
}

void ImportaDatiTabella(db::Connection& conn, const std::string& destinazione,
                        const std::string& origine, progress::Sink* avanzamento) {
  std::unique_ptr<db::Recordset> da, a;
  Verifica(conn.OpenRecordset(origine, db::kForwardOnly, db::kReadOnly, &da));
  Status aperta = conn.OpenRecordset("[" + destinazione + "]", db::kDynamic, db::kOptimistic, &a);
  if (!aperta.ok()) {
    da->Close();
    Verifica(aperta);
  }

  // The rows the source has now: a source that reads the destination itself must not go on
  // reading the rows the copy adds.
  const std::int64_t righe = ContaRighe(conn, origine);
  // Where each source column goes in the destination; -1 for none.
  std::vector<int> posizioni;
  for (int i = 0; i < da->FieldCount(); ++i) {
    posizioni.push_back(a->FieldIndex(da->Field(i).name));
  }
  progress::Scope copia(avanzamento, {progress::Kind::kCopy, destinazione,
                                      progress::Unit::kRows, std::max<std::int64_t>(righe, 0)});
  // One transaction for the whole copy: a row the table refuses undoes only itself and is
  // passed over. A copy the user interrupts, or one the database file fails (a disk error, a
  // full disk), leaves the destination as it was.
  Transazione transazione(conn);
  const auto interrotta = [&] {
    da->Close();
    a->Close();
    transazione.Annulla();
    Solleva(err::kInterrupted,
            "Copia delle righe da " + origine + " interrotta, nessuna riga copiata.");
  };
  const auto guasto = [&](const Status& esito) {
    if (esito.ok() || esito.number() != err::kStorage) return;
    da->Close();
    a->Close();
    transazione.Annulla();
    Verifica(esito);
  };
  std::int64_t copiate = 0;
  for (; !da->Eof() && (righe < 0 || copiate < righe); ++copiate) {
    if (copiate % kRigheTraAvanzamenti == 0) {
      copia.Advance(copiate);
      if (copia.Interrupted()) interrotta();
    }
    const Status nuova = a->AddNew();
    guasto(nuova);
    if (nuova.ok()) {
      for (int i = 0; i < da->FieldCount(); ++i) {
        if (posizioni[i] < 0) continue;
        db::Value valore;
        const Status letto = da->GetValue(i, &valore);
        guasto(letto);
        if (letto.ok()) (void)a->SetValue(posizioni[i], valore);
      }
      guasto(a->Update());
    }
    const Status avanti = da->MoveNext();
    guasto(avanti);
    if (!avanti.ok()) break;
  }
  if (copia.Interrupted()) interrotta();
  copia.Advance(copiate);
  da->Close();
  a->Close();
  Verifica(transazione.Conferma());
}

}  // namespace mlx::schema
