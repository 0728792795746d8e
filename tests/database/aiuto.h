// Helpers of the database tests: real database files in the test's program folder, and
// queries whose rows come back as text.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/valori.h"
#include "fakes/ambiente.h"
#include "platform/db/db.h"
#include "system/registro.h"

namespace mlx::prova {

// Creates an empty database file in the program folder and returns its path.
inline std::string NuovoDatabase(fakes::Ambiente& a, const std::string& nome = "Dati.mdb") {
  if (!a.sqlite) a.UsaSqlite();
  const std::string percorso = a.Percorso(nome);
  std::filesystem::create_directories(std::filesystem::path(percorso).parent_path());
  Status s = a.sqlite->CreateDatabase(percorso);
  if (!s.ok()) throw std::runtime_error(s.description());
  return percorso;
}

// Sets the host program's database, as its settings in the registry name it.
inline void DatabaseOspite(fakes::Ambiente& a, const std::string& percorso) {
  ScriviValoreRegistro(*a.registro, "HKCU",
                       "Software\\VB and VBA Program Settings\\Hollemar900\\Settings", "PathMDB",
                       percorso);
}

inline std::unique_ptr<db::Connection> Apri(fakes::Ambiente& a, const std::string& percorso) {
  std::unique_ptr<db::Connection> conn = a.sqlite->NewConnection();
  Status s = conn->Open(percorso, "", "");
  if (!s.ok()) throw std::runtime_error(s.description());
  return conn;
}

// The rows of a query, each as its values' texts joined by "|" (Null as "<null>").
inline std::vector<std::string> Righe(fakes::Ambiente& a, const std::string& percorso,
                                      const std::string& sql) {
  std::unique_ptr<db::Connection> conn = Apri(a, percorso);
  std::unique_ptr<db::Recordset> rs;
  Status s = conn->OpenRecordset(sql, db::kForwardOnly, db::kReadOnly, &rs);
  if (!s.ok()) return {"ERRORE: " + s.description()};
  std::vector<std::string> righe;
  for (; !rs->Eof(); (void)rs->MoveNext()) {
    std::string riga;
    for (int i = 0; i < rs->FieldCount(); ++i) {
      db::Value v;
      (void)rs->GetValue(i, &v);
      riga += (i > 0 ? "|" : "") + (v.is_null() ? std::string("<null>") : TestoValore(v));
    }
    righe.push_back(riga);
  }
  return righe;
}

// Runs a statement on a connection of its own; "" or the error's description.
inline std::string Esegui(fakes::Ambiente& a, const std::string& percorso, const std::string& sql) {
  Status s = Apri(a, percorso)->Execute(sql);
  return s.ok() ? "" : s.description();
}

// The sentences the lines print with --verbose (which a dry run prints too, its log being off).
inline std::vector<std::string> Frasi(fakes::Ambiente& a, const std::vector<std::string>& righe,
                                      bool vero = true) {
  std::vector<std::string> frasi;
  a.stato->Dettagli = true;
  a.stato->StampaDettaglio = [&frasi](const std::string& f) { frasi.push_back(f); };
  a.Esegui(righe, vero);
  a.stato->StampaDettaglio = nullptr;
  return frasi;
}

// The first dialog's text, to explain a failed expectation of none.
inline std::string PrimoDialogo(const fakes::Ambiente& a) {
  return a.ui.dialoghi.empty() ? "" : a.ui.dialoghi[0].testo;
}

// Tests on a fresh database file: lines run on it with the log on, its rows read back.
class ConDatabase : public ::testing::Test {
 protected:
  void SetUp() override { db_ = NuovoDatabase(a_); }
  void Esegui(std::vector<std::string> righe) {
    righe.insert(righe.begin(), {"MSGN", "LOGY", "*" + db_ + "*"});
    a_.Esegui(righe);
  }
  std::vector<std::string> Righe(const std::string& sql) { return prova::Righe(a_, db_, sql); }
  fakes::Ambiente a_;
  std::string db_;
};

}  // namespace mlx::prova
