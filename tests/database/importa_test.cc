// Import of rows from text files.
#include "database/importa.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include "database/aiuto.h"

namespace mlx {
namespace {

using importazione::ApplicaRegole;
using importazione::LeggiLetterali;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(RegoleDiImportazione, SeparatoreENullFuoriDalleVirgolette) {
  const char* casi[][3] = {
      {"1;'Rossi';;10", ";", "1,'Rossi',NULL,10"},
      {"1;'Rossi';", ";", "1,'Rossi',NULL"},
      {";1", ";", ",1"},          // the first value never becomes NULL
      {"1;,2", ";", "1,NULL,2"},  // commas of the file separate too
      {"1;'a;b';'c,,d'", ";", "1,'a;b','c,,d'"},
      {"1|'O''Brien|x'|\"y|\"\"z\"|", "|", "1,'O''Brien|x',\"y|\"\"z\",NULL"},
      {"#1/2/2024#/3", "/", "#1/2/2024#,3"},
      {"1'2''3", "'", "1,2,NULL,3"},  // a separator that is a quote keeps its meaning
  };
  for (const auto& c : casi) EXPECT_EQ(ApplicaRegole(c[0], c[1]), c[2]) << c[0];
}

// The direct reader of a line agrees with the rules followed by the list reader, on lines
// built at random from pieces that matter to either.
TEST(RegoleDiImportazione, LetturaDirettaComeLeRegole) {
  const char* pezzi[] = {"1", "-2", "+3.5", ".5", "1e3", "'a'", "'b;c'", "'d''e'", "\"f\"",
                         "#1/5/2024#", "#1/5/2024 10:00#", "NULL", "True", "x", " ", ";", ",",
                         "''", "'", "#", "\t", "1 2", "-0.0"};
  unsigned seme = 12345;
  auto caso = [&](unsigned n) { return ((seme = seme * 1103515245u + 12345u) >> 16) % n; };
  std::vector<db::Value> diretti, regole;
  int semplici = 0;
  for (int prova = 0; prova < 20000; ++prova) {
    std::string riga;
    for (unsigned k = 1 + caso(8); k > 0; --k) riga += pezzi[caso(std::size(pezzi))];
    for (const char* sep : {";", ",", ";;", "\t"}) {
      const bool semplice = importazione::LeggiRiga(riga, sep, &diretti);
      ASSERT_EQ(semplice, LeggiLetterali(ApplicaRegole(riga, sep), &regole)) << riga;
      if (!semplice) continue;
      ++semplici;
      ASSERT_EQ(diretti.size(), regole.size()) << riga;
      for (std::size_t i = 0; i < diretti.size(); ++i) {
        ASSERT_TRUE(
            diretti[i].kind() == regole[i].kind() && diretti[i].real() == regole[i].real() &&
            diretti[i].integer() == regole[i].integer() && diretti[i].text() == regole[i].text())
            << riga;
      }
    }
  }
  EXPECT_GT(semplici, 2000);
}

class Importazione : public prova::ConDatabase {
 protected:
  void SetUp() override {
    ConDatabase::SetUp();
    Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Nome,TEXT(30)", "+,Eta,LONG", "+,Note,MEMO",
            "#,PK,ID,TRUE"});
  }
};

TEST_F(Importazione, NullSegnapostoEVirgolette) {
  a_.Scrivi("c.txt", "1;'Rossi';;'x'\r\n2;;40;\r\n3;NULL;;\r\n4;'{<NOME>}';{<ETA>};'a;b,,c'\n5;;;");
  a_.Scrivi("d.txt", "7|'Neri'|50|'n'\r\n");
  Esegui({"=,NOME,Bianchi", "=,ETA,33", "[Clienti]", "<,c.txt,;,(ID;Nome;Eta;Note)", "<,d.txt,|"});
  EXPECT_TRUE(a_.ui.dialoghi.empty()) << prova::PrimoDialogo(a_);
  EXPECT_THAT(Righe("SELECT * FROM Clienti ORDER BY ID"),
              ElementsAre("1|Rossi|<null>|x", "2|<null>|40|<null>", "3|<null>|<null>|<null>",
                          "4|Bianchi|33|a;b,,c", "5|<null>|<null>|<null>", "7|Neri|50|n"));
}

TEST_F(Importazione, UnaRigaCheFallisceTieneLePrecedenti) {
  a_.Scrivi("c.txt", "1;'a'\r\n2;'b'\r\n1;'doppio'\r\n3;'c'\r\n");
  a_.Scrivi("d.txt", "10;'a'\r\n11;'b' 'c'\r\n12;'d'\r\n");
  Esegui({"[Clienti]", "<,c.txt,;,(ID;Nome)", "*" + db_ + "*", "ERRN", "[Clienti]",
          "<,d.txt,;,(ID;Nome)", "=,DOPO,1"});
  EXPECT_THAT(Righe("SELECT ID FROM Clienti ORDER BY ID"), ElementsAre("1", "2", "10"));
  // The report names the data file and its line that failed.
  EXPECT_THAT(a_.TestiDialoghi(), ElementsAre(HasSubstr("(file c.txt, riga 3)")));
  EXPECT_EQ(a_.Log().back(), "Variabile DOPO = 1");
}

// The import and the copy of rows report how far they are: the bytes of the file, the rows of
// the source.
TEST_F(Importazione, AvanzamentoDiImportazioneECopia) {
  std::string dati;
  for (int i = 1; i <= 3000; ++i)
    dati += std::to_string(i) + ";'Cliente " + std::to_string(i) + "';40;\r\n";
  a_.Scrivi("dati.txt", dati);
  // The primary key of the set-up rebuilt the table.
  a_.ui.compiti.clear();
  a_.ui.compitiFiniti = 0;
  Esegui(
      {"[Clienti]", "<,dati.txt,;", "[Copia]", ">", "+,ID,LONG", "+,Nome,TEXT(30)", "<T,Clienti"});
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Copia"), ElementsAre("3000"));
  const auto& compiti = a_.ui.compiti;
  ASSERT_EQ(compiti.size(), 2u);
  EXPECT_EQ(compiti[0].kind, progress::Kind::kImport);
  EXPECT_EQ(compiti[0].unit, progress::Unit::kBytes);
  EXPECT_EQ(compiti[0].total, static_cast<std::int64_t>(dati.size()));
  EXPECT_EQ(compiti[1].kind, progress::Kind::kCopy);
  EXPECT_EQ(compiti[1].object, "Copia");
  EXPECT_EQ(compiti[1].total, 3000);
  EXPECT_EQ(a_.ui.compitiFiniti, 2);
  // Each operation's reports go up to all it did, many times on the way.
  const auto& avanzamenti = a_.ui.avanzamenti;
  const auto fineImportazione =
      std::find(avanzamenti.begin(), avanzamenti.end(), static_cast<std::int64_t>(dati.size()));
  ASSERT_NE(fineImportazione, avanzamenti.end());
  EXPECT_TRUE(std::is_sorted(avanzamenti.begin(), fineImportazione + 1));
  EXPECT_GT(fineImportazione - avanzamenti.begin(), 5);
  EXPECT_TRUE(std::is_sorted(fineImportazione + 1, avanzamenti.end()));
  EXPECT_EQ(avanzamenti.back(), 3000);
}

// Ctrl+C during an import: the rows imported so far are undone, nothing is reported, the run
// ends there and the database is closed.
TEST_F(Importazione, InterruzioneAnnullaERimetteIlDatabase) {
  std::string dati;
  for (int i = 1; i <= 3000; ++i) dati += std::to_string(i) + ";'x';1;\r\n";
  a_.Scrivi("dati.txt", dati);
  for (bool silenziosi : {false, true}) {
    fakes::Ambiente& a = a_;
    a.ui.avanzamenti.clear();
    a.stato->Interrotto = false;
    a.stato->RichiestaInterruzione = [&a] { return !a.ui.avanzamenti.empty(); };
    Esegui({silenziosi ? "ERRN" : "ERRY", "[Clienti]", "<,dati.txt,;", "=,V,dopo"});
    EXPECT_TRUE(a.stato->Interrotto);
    EXPECT_TRUE(a.ui.dialoghi.empty());
    EXPECT_THAT(a.Log(), Not(Contains(HasSubstr("Variabile V"))));
    a.stato->RichiestaInterruzione = nullptr;
    a.stato->Interrotto = false;
    EXPECT_THAT(Righe("SELECT COUNT(*) FROM Clienti"), ElementsAre("0"));
    // Closed: nobody holds the file.
    EXPECT_TRUE(prova::Apri(a, db_)->AcquireExclusive().ok());
  }
}

TEST_F(Importazione, FileMancanteOVuoto) {
  a_.Scrivi("altro/c.txt", "1;'a'\r\n");
  a_.Scrivi("vuoto.txt", "");
  // A relative name is looked for in the program's folder, a full path is used as given.
  Esegui({"[Clienti]", "<," + a_.Percorso("altro/c.txt") + ",;,(ID;Nome)", "<,manca.txt,;",
          "<,c.txt,;", "<,vuoto.txt,;"});
  EXPECT_THAT(a_.TestiDialoghi(), ElementsAre("File manca.txt non trovato, dati non importati.",
                                              "File c.txt non trovato, dati non importati.",
                                              HasSubstr("fine del file")));
  EXPECT_THAT(a_.Log(), ::testing::Contains("Dati importati in Clienti da manca.txt"));
  EXPECT_THAT(Righe("SELECT ID FROM Clienti"), ElementsAre("1"));
}

// The stored form of every value of a table, type included, read straight from SQLite.
std::vector<std::string> Memorizzati(const std::string& file, const std::string& tabella) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, ("SELECT * FROM " + tabella + " ORDER BY rowid").c_str(), -1, &st,
                     nullptr);
  std::vector<std::string> righe;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string riga;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const unsigned char* t = sqlite3_column_text(st, i);
      riga += std::to_string(sqlite3_column_type(st, i)) + ":" + (t ? (const char*)t : "") + " ";
    }
    righe.push_back(riga);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return righe;
}

TEST_F(Importazione, ValoriLegatiComeIlTestoDellIstruzione) {
  std::vector<std::string> righe;
  for (const char* t : {"[T1]", "[T2]"}) {
    righe.insert(righe.end(), {t, ">", "+,N,LONG", "+,R,DOUBLE", "+,S,TEXT(20)", "+,M,MEMO",
                               "+,D,DATETIME", "+,B,YESNO", "+,C,CURRENCY", "+,X,SHORT"});
  }
  Esegui(righe);
  a_.Scrivi("t.txt",
            "1;1.5;'a';'007';#2024-01-05#;True;12.5;'7'\r\n"
            "-2;-0.25;\"b \"\"q\"\"\";42;#1/5/2024#;False;3;1.50\r\n"
            "007;1e3;'';1.50;;;-1.5;\r\n"
            "+5;.5;12;'1e3';#12/31/1999#;-1;0;2\r\n"
            "9223372036854775807;123456789012345;'x,y';0.1;#2024-01-05 10:30#;1;0.0001;-7\r\n"
            "NULL;NULL;NULL;NULL;NULL;NULL;NULL;NULL\r\n");
  auto conn = prova::Apri(a_, db_);
  auto uguale = [](std::string_view s) { return std::string(s); };
  const auto con =
      importazione::ImportaDati(*a_.stato, *conn, "T1", "t.txt", ";", "", uguale, true);
  const auto senza =
      importazione::ImportaDati(*a_.stato, *conn, "T2", "t.txt", ";", "", uguale, false);
  conn.reset();
  // Every line but the one with a time of day goes through the prepared statement.
  EXPECT_EQ(con.preparate, 5);
  EXPECT_EQ(senza.preparate, 0);
  EXPECT_EQ(Memorizzati(db_, "T1").size(), 6u);
  EXPECT_EQ(Memorizzati(db_, "T1"), Memorizzati(db_, "T2"));
}

}  // namespace
}  // namespace mlx
