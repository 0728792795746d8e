// Every I/O point of four database commands, failed in turn and then cut by a power loss:
// a compaction, a change of a column's type (the table is rebuilt), an import of 10,000 rows
// and a copy of a table. After each one the database passes SQLite's integrity and foreign key
// checks and holds the state before the command or the state after it (the import: the rows
// before the failing one); a command that did not complete is reported (the run's exit status
// is 1).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "database/aiuto.h"
#include "fakes/ambiente.h"
#include "guasti/vfs_guasto.h"

namespace mlx::guasti {
namespace {

namespace stdfs = std::filesystem;

// A database's content as text, read past the VFS under test: per table (the layer's own
// included) its definition and its rows in rowid order.
struct Stato {
  std::vector<std::pair<std::string, std::vector<std::string>>> tabelle;
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
    std::string riga;
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      const unsigned char* t = sqlite3_column_text(s, c);
      riga += (c > 0 ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : "NULL");
    }
    righe.push_back(riga);
  }
  sqlite3_finalize(s);
  return righe;
}

Stato Leggi(const std::string& percorso) {
  Stato stato;
  sqlite3* db = nullptr;
  // The system's VFS: a journal left hot is rolled back here, as the next open would.
  if (sqlite3_open_v2(percorso.c_str(), &db, SQLITE_OPEN_READWRITE, "unix") != SQLITE_OK) {
    stato.controlli = std::string("non si apre: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return stato;
  }
  std::vector<std::string> integrita = Colonna(db, "PRAGMA integrity_check");
  std::vector<std::string> chiavi = Colonna(db, "PRAGMA foreign_key_check");
  stato.controlli = integrita == std::vector<std::string>{"ok"} && chiavi.empty()
                        ? "ok"
                        : (integrita.empty() ? "" : integrita[0]) +
                              (chiavi.empty() ? "" : " chiavi: " + chiavi[0]);
  for (const std::string& riga :
       Colonna(db, "SELECT name || '|' || ifnull(sql, '') FROM sqlite_schema ORDER BY name")) {
    const std::string nome = riga.substr(0, riga.find('|'));
    std::vector<std::string> contenuto{riga};
    // __mlx_schema only remembers the schema cookie the layer last reconciled with; any open
    // brings it in step again, so its value is no part of the database's state.
    if (riga.find("|CREATE TABLE") != std::string::npos && nome != "__mlx_schema") {
      std::string colonne;
      for (const std::string& c :
           Colonna(db, "SELECT 'quote(\"' || name || '\")' FROM pragma_table_info('" + nome + "')")) {
        colonne += (colonne.empty() ? "" : " || ',' || ") + c;
      }
      for (std::string& r : Colonna(db, "SELECT " + colonne + " FROM \"" + nome + "\" ORDER BY rowid")) {
        contenuto.push_back(std::move(r));
      }
    }
    stato.tabelle.emplace_back(nome, std::move(contenuto));
  }
  sqlite3_close(db);
  return stato;
}

// The first table where two states differ, with its first differing row, to explain a failure.
std::string Differenza(const Stato& a, const Stato& b) {
  for (std::size_t i = 0; i < std::max(a.tabelle.size(), b.tabelle.size()); ++i) {
    if (i >= a.tabelle.size() || i >= b.tabelle.size()) return "numero di tabelle";
    const auto& ra = a.tabelle[i].second;
    const auto& rb = b.tabelle[i].second;
    if (ra == rb) continue;
    for (std::size_t j = 0; j < std::max(ra.size(), rb.size()); ++j) {
      const std::string x = j < ra.size() ? ra[j] : "(nessuna)";
      const std::string y = j < rb.size() ? rb[j] : "(nessuna)";
      if (x != y) return a.tabelle[i].first + " riga " + std::to_string(j) + ": " + x + " / " + y;
    }
  }
  return "nessuna";
}

// Whether `stato` is `prima` with the first rows of `tabella` that `dopo` has (none or all
// included).
bool PrefissoDi(const Stato& stato, const Stato& prima, const Stato& dopo, const std::string& tabella) {
  if (stato.tabelle.size() != prima.tabelle.size()) return false;
  for (std::size_t i = 0; i < stato.tabelle.size(); ++i) {
    const auto& [nome, righe] = stato.tabelle[i];
    if (nome != tabella) {
      if (stato.tabelle[i] != prima.tabelle[i]) return false;
      continue;
    }
    const std::vector<std::string>* complete = nullptr;
    for (const auto& t : dopo.tabelle) {
      if (t.first == tabella) complete = &t.second;
    }
    if (complete == nullptr || righe.size() > complete->size()) return false;
    if (!std::equal(righe.begin(), righe.end(), complete->begin())) return false;
  }
  return true;
}

struct Operazione {
  std::string nome;
  std::function<void(fakes::Ambiente&, const std::string& db)> prepara;
  std::vector<std::string> righe;  // after the line that opens the database
  std::string tabellaImportata;    // "" when only the old and the new state are right
};

struct Conteggio {
  long punti = 0, guasti = 0, segnalati = 0, perdite = 0;
};

class Spazzata : public ::testing::Test {
 protected:
  // Sweeps the operation's points; the sanitizer build takes every `passo`-th.
  void Spazza(const Operazione& op) {
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

    auto riparti = [&] {
      for (const char* resto : {"", "-journal"}) stdfs::remove(db + resto);
      a.Scrivi("Dati.mdb", originale);
      a.stato->ErroreSegnalato = false;
      a.ui.dialoghi.clear();
      note.clear();
    };
    riparti();
    vfs.Arma(Modo::kConta, 0);
    a.Esegui(righe);
    Conteggio conto;
    conto.punti = vfs.Punti();
    vfs.Disarma();
    EXPECT_FALSE(a.stato->ErroreSegnalato) << prova::PrimoDialogo(a);
    const Stato dopo = Leggi(db);
    EXPECT_EQ(dopo.controlli, "ok");
    EXPECT_FALSE(dopo == prima && op.nome != "compattazione") << op.nome << " changed nothing";

#ifdef MLX_SANITIZED
    const long passo = std::max(1L, conto.punti / 25);
#else
    const long passo = 1;
#endif
    for (Modo modo : {Modo::kErrore, Modo::kPerdita}) {
      for (long n = 1; n <= conto.punti + (modo == Modo::kPerdita ? 1 : 0); n += passo) {
        riparti();
        vfs.Arma(modo, n);
        a.Esegui(righe);
        const bool scattato = vfs.Scattato();
        const std::string guasto = vfs.Guasto();
        if (modo == Modo::kPerdita) {
          vfs.Ripristina();
          ++conto.perdite;
        } else {
          vfs.Disarma();
          ++conto.guasti;
        }
        const Stato stato = Leggi(db);
        const std::string dove = op.nome + (modo == Modo::kErrore ? ", guasto " : ", perdita ") +
                                 std::to_string(n) + " di " + std::to_string(conto.punti) + " (" + guasto + ")";
        ASSERT_EQ(stato.controlli, "ok") << dove;
        const bool giusto = stato == prima || stato == dopo ||
                            (!op.tabellaImportata.empty() &&
                             PrefissoDi(stato, prima, dopo, op.tabellaImportata));
        ASSERT_TRUE(giusto) << dove << ": neither the old nor the new state; "
                            << Differenza(stato, dopo) << (note.empty() ? "" : "; " + note[0]);
        if (modo == Modo::kErrore) {
          ASSERT_TRUE(scattato) << dove;
          // A fault the command could not absorb is reported, with a description.
          if (!(stato == dopo)) {
            ASSERT_TRUE(a.stato->ErroreSegnalato)
                << dove << ": failure reported as success; " << Differenza(stato, dopo)
                << (note.empty() ? "" : "; " + note[0]);
          }
          if (a.stato->ErroreSegnalato) {
            ++conto.segnalati;
            ASSERT_FALSE(a.ui.dialoghi.empty()) << dove;
            ASSERT_FALSE(a.ui.dialoghi.back().testo.empty()) << dove;
          }
        }
      }
    }
    std::printf("%s: %ld punti di I/O, %ld guasti (%ld segnalati), %ld perdite di corrente\n",
                op.nome.c_str(), conto.punti, conto.guasti, conto.segnalati, conto.perdite);

  }
};

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

TEST_F(Spazzata, Compattazione) {
  Spazza({"compattazione",
          [](fakes::Ambiente& a, const std::string& db) {
            Clienti(a, db, 400);
            ASSERT_EQ(prova::Esegui(a, db, "DELETE FROM Ordini WHERE Num > 100"), "");
          },
          {"DBZ"},
          ""});
}

TEST_F(Spazzata, CambioDiTipo) {
  Spazza({"cambio di tipo",
          [](fakes::Ambiente& a, const std::string& db) { Clienti(a, db, 300); },
          {"[Clienti]", "!,Citta,TEXT(80)"},
          ""});
}

TEST_F(Spazzata, Importazione) {
  Spazza({"importazione",
          [](fakes::Ambiente& a, const std::string& db) {
            ASSERT_EQ(prova::Esegui(a, db, "CREATE TABLE Righe (N LONG PRIMARY KEY, Testo TEXT(50))"),
                      "");
            std::string file;
            for (int i = 1; i <= 10000; ++i) {
              file += std::to_string(i) + ";'riga numero " + std::to_string(i) + "'\r\n";
            }
            a.Scrivi("righe.txt", file);
          },
          {"[Righe]", "<,righe.txt,;"},
          "Righe"});
}

TEST_F(Spazzata, CopiaDiTabella) {
  Spazza({"copia di tabella",
          [](fakes::Ambiente& a, const std::string& db) {
            Clienti(a, db, 300);
            ASSERT_EQ(prova::Esegui(a, db, "CREATE TABLE Copia (ID LONG, Nome TEXT(40))"), "");
          },
          {"[Copia]", "<T,Clienti"},
          ""});
}

}  // namespace
}  // namespace mlx::guasti
