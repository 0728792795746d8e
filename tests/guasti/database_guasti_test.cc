// Every I/O point of four database commands, failed in turn and then cut by a power loss:
// a compaction, a change of a column's type (the table is rebuilt), an import of 10,000 rows
// and a copy of a table. After each one the database passes SQLite's integrity and foreign key
// checks and holds the state before the command or the state after it (the import: the rows
// before the failing one); a command that did not complete is reported (the run's exit status
// is 1).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "database/aiuto.h"
#include "fakes/ambiente.h"
#include "guasti/vfs_guasto.h"

namespace mlx::guasti {
namespace {

// A database's content as text, read past the VFS under test: per table (the layer's own
// included) its definition and its rows in rowid order.
struct Stato {
  std::map<std::string, std::vector<std::string>> tabelle;
  std::string controlli;  // what integrity_check and foreign_key_check found ("ok" when nothing)
  bool operator==(const Stato& altro) const { return tabelle == altro.tabelle; }
};

std::vector<std::string> Colonna(sqlite3* db, const std::string& sql) {
  std::vector<std::string> righe;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    return {std::string("ERRORE ") + sqlite3_errmsg(db)};
  }
  while (sqlite3_step(s) == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(s, 0);
    righe.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
  }
  sqlite3_finalize(s);
  return righe;
}

Stato Leggi(const std::string& percorso) {
  Stato stato;
  sqlite3* db = nullptr;
  // The system's VFS: a journal left hot is rolled back here, as the next open would.
  if (sqlite3_open_v2(percorso.c_str(), &db, SQLITE_OPEN_READWRITE,
                      VfsGuasto::Installa().Reale()->zName) != SQLITE_OK) {
    stato.controlli = std::string("non si apre: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return stato;
  }
  std::vector<std::string> controlli = Colonna(db, "PRAGMA integrity_check");
  for (std::string& chiave : Colonna(db, "PRAGMA foreign_key_check")) {
    controlli.push_back("chiavi: " + chiave);
  }
  for (const std::string& c : controlli) stato.controlli += (stato.controlli.empty() ? "" : "; ") + c;
  for (const std::string& nome : Colonna(db, "SELECT name FROM sqlite_schema")) {
    std::vector<std::string>& righe = stato.tabelle[nome];
    righe = Colonna(db, "SELECT ifnull(sql, '') FROM sqlite_schema WHERE name = '" + nome + "'");
    // __mlx_schema only remembers the schema cookie the layer last reconciled with; any open
    // brings it in step again, so its value is no part of the database's state.
    if (righe[0].rfind("CREATE TABLE", 0) != 0 || nome == "__mlx_schema") continue;
    std::string colonne;
    for (const std::string& c :
         Colonna(db, "SELECT 'quote(\"' || name || '\")' FROM pragma_table_info('" + nome + "')")) {
      colonne += (colonne.empty() ? "" : " || ',' || ") + c;
    }
    for (std::string& r : Colonna(db, "SELECT " + colonne + " FROM \"" + nome + "\" ORDER BY rowid")) {
      righe.push_back(std::move(r));
    }
  }
  sqlite3_close(db);
  return stato;
}

// The first table where two states differ, with its first differing row, to explain a failure.
std::string Differenza(const Stato& a, const Stato& b) {
  for (const auto& [nome, ra] : a.tabelle) {
    auto it = b.tabelle.find(nome);
    if (it == b.tabelle.end()) return "la tabella " + nome;
    const std::vector<std::string>& rb = it->second;
    for (std::size_t j = 0; j < std::max(ra.size(), rb.size()); ++j) {
      const std::string x = j < ra.size() ? ra[j] : "(nessuna)";
      const std::string y = j < rb.size() ? rb[j] : "(nessuna)";
      if (x != y) return nome + " riga " + std::to_string(j) + ": " + x + " / " + y;
    }
  }
  return a.tabelle.size() == b.tabelle.size() ? "nessuna" : "numero di tabelle";
}

// Whether `stato` is `prima` with the first rows of `tabella` that `dopo` has (none or all
// included).
bool PrefissoDi(Stato stato, Stato prima, const Stato& dopo, const std::string& tabella) {
  auto complete = dopo.tabelle.find(tabella);
  const std::vector<std::string> righe = std::move(stato.tabelle[tabella]);
  stato.tabelle.erase(tabella);
  prima.tabelle.erase(tabella);
  return stato == prima && complete != dopo.tabelle.end() &&
         righe.size() <= complete->second.size() &&
         std::equal(righe.begin(), righe.end(), complete->second.begin());
}

void Clienti(fakes::Ambiente& a, const std::string& db, int quanti) {
  auto conn = prova::Apri(a, db);
  ASSERT_TRUE(conn->Execute("CREATE TABLE Clienti (ID COUNTER PRIMARY KEY, Nome TEXT(40), "
                            "Citta TEXT(30))").ok());
  ASSERT_TRUE(conn->Execute("CREATE TABLE Ordini (Num COUNTER PRIMARY KEY, Cliente LONG "
                            "REFERENCES Clienti (ID), Importo CURRENCY)").ok());
  ASSERT_TRUE(conn->BeginTrans().ok());
  for (int i = 1; i <= quanti; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(conn->Execute("INSERT INTO Clienti (Nome, Citta) VALUES ('Cliente " + n +
                              "', 'Citta " + std::to_string(i % 7) + "')").ok());
    ASSERT_TRUE(conn->Execute("INSERT INTO Ordini (Cliente, Importo) VALUES (" + n + ", " + n +
                              ".25)").ok());
  }
  ASSERT_TRUE(conn->CommitTrans().ok());
}

struct Operazione {
  std::string nome;
  std::function<void(fakes::Ambiente&, const std::string& db)> prepara;
  std::vector<std::string> righe;  // after the line that opens the database
  std::string tabellaImportata;    // "" when only the old and the new state are right
};

const Operazione kOperazioni[] = {
    {"Compattazione",
     [](fakes::Ambiente& a, const std::string& db) {
       Clienti(a, db, 400);
       ASSERT_EQ(prova::Esegui(a, db, "DELETE FROM Ordini WHERE Num > 100"), "");
     },
     {"DBZ"}, ""},
    {"CambioDiTipo", [](fakes::Ambiente& a, const std::string& db) { Clienti(a, db, 300); },
     {"[Clienti]", "!,Citta,TEXT(80)"}, ""},
    {"Importazione",
     [](fakes::Ambiente& a, const std::string& db) {
       ASSERT_EQ(prova::Esegui(a, db, "CREATE TABLE Righe (N LONG PRIMARY KEY, Testo TEXT(50))"), "");
       std::string file;
       for (int i = 1; i <= 10000; ++i) {
         file += std::to_string(i) + ";'riga numero " + std::to_string(i) + "'\r\n";
       }
       a.Scrivi("righe.txt", file);
     },
     {"[Righe]", "<,righe.txt,;"}, "Righe"},
    {"CopiaDiTabella",
     [](fakes::Ambiente& a, const std::string& db) {
       Clienti(a, db, 300);
       ASSERT_EQ(prova::Esegui(a, db, "CREATE TABLE Copia (ID LONG, Nome TEXT(40))"), "");
     },
     {"[Copia]", "<T,Clienti"}, ""},
};

class Spazzata : public ::testing::TestWithParam<Operazione> {};

// Counts the operation's points, then sweeps them; the sanitizer build takes every `passo`-th.
TEST_P(Spazzata, LasciaIlVecchioOIlNuovoStato) {
  const Operazione& op = GetParam();
  VfsGuasto& vfs = VfsGuasto::Installa();
  fakes::Ambiente a;
  const std::string db = prova::NuovoDatabase(a, "Dati.mdb");
  op.prepara(a, db);
  const std::string originale = a.Leggi("Dati.mdb");
  std::vector<std::string> righe{"ERRY", "*" + db + "*"};
  righe.insert(righe.end(), op.righe.begin(), op.righe.end());
  const Stato prima = Leggi(db);
  EXPECT_EQ(prima.controlli, "ok");
  // The errors the trap passes over in silence are noted, to explain a failure.
  std::vector<std::string> note;
  a.stato->Dettagli = true;
  a.stato->StampaNota = [&note](const std::string& nota) { note.push_back(nota); };
  auto esegui = [&](Modo modo, long n) {
    for (const char* resto : {"", "-journal"}) Metti(db + resto, std::nullopt);
    a.Scrivi("Dati.mdb", originale);
    a.stato->ErroreSegnalato = false;
    a.ui.dialoghi.clear();
    note.clear();
    vfs.Arma(modo, n);
    a.Esegui(righe);
  };
  esegui(Modo::kConta, 0);
  const long punti = vfs.Punti();
  vfs.Disarma();
  EXPECT_FALSE(a.stato->ErroreSegnalato) << prova::PrimoDialogo(a);
  const Stato dopo = Leggi(db);
  EXPECT_EQ(dopo.controlli, "ok");
  EXPECT_FALSE(dopo == prima && op.nome != "Compattazione") << op.nome << " changed nothing";

#ifdef MLX_SANITIZED
  const long passo = std::max(1L, punti / 25);
#else
  const long passo = 1;
#endif
  long guasti = 0, segnalati = 0, perdite = 0;
  for (Modo modo : {Modo::kErrore, Modo::kPerdita}) {
    for (long n = 1; n <= punti + (modo == Modo::kPerdita ? 1 : 0); n += passo) {
      esegui(modo, n);
      const bool scattato = vfs.Scattato();
      const std::string dove = op.nome + (modo == Modo::kErrore ? ", guasto " : ", perdita ") +
                               std::to_string(n) + " di " + std::to_string(punti) + " (" +
                               vfs.Guasto() + ")";
      if (modo == Modo::kPerdita) {
        vfs.Ripristina();
        ++perdite;
      } else {
        vfs.Disarma();
        ++guasti;
      }
      const Stato stato = Leggi(db);
      ASSERT_EQ(stato.controlli, "ok") << dove;
      const std::string perche = Differenza(stato, dopo) + (note.empty() ? "" : "; " + note[0]);
      ASSERT_TRUE(stato == prima || stato == dopo ||
                  (!op.tabellaImportata.empty() &&
                   PrefissoDi(stato, prima, dopo, op.tabellaImportata)))
          << dove << ": neither the old nor the new state; " << perche;
      if (modo == Modo::kPerdita) continue;
      ASSERT_TRUE(scattato) << dove;
      // A fault the command could not absorb is reported, with a description.
      ASSERT_TRUE(stato == dopo || a.stato->ErroreSegnalato)
          << dove << ": failure reported as success; " << perche;
      if (a.stato->ErroreSegnalato) {
        ++segnalati;
        ASSERT_FALSE(a.ui.dialoghi.empty()) << dove;
        ASSERT_FALSE(a.ui.dialoghi.back().testo.empty()) << dove;
      }
    }
  }
  std::printf("%s: %ld punti di I/O, %ld guasti (%ld segnalati), %ld perdite di corrente\n",
              op.nome.c_str(), punti, guasti, segnalati, perdite);
}

INSTANTIATE_TEST_SUITE_P(Comandi, Spazzata, ::testing::ValuesIn(kOperazioni),
                         [](const auto& caso) { return caso.param.nome; });

}  // namespace
}  // namespace mlx::guasti
