// Import of rows from text files.
#include <sqlite3.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "database/importa.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using importazione::ApplicaRegole;
using importazione::LeggiLetterali;
using ::testing::ElementsAre;

TEST(RegoleDiImportazione, SeparatoreENull) {
  struct Caso {
    const char *riga, *separatore, *atteso;
  };
  const Caso casi[] = {
      {"1;'Rossi';;10", ";", "1,'Rossi',NULL,10"},
      {"1;'Rossi';", ";", "1,'Rossi',NULL"},
      {";1", ";", ",1"},  // the first value never becomes NULL
      {"1;;;", ";", "1,NULL,NULL,NULL"},
      {";;;", ";", ",NULL,NULL,NULL"},
      {"1,,2", ",", "1,NULL,2"},
      {"1;,2", ";", "1,NULL,2"},  // commas of the file separate too
      {"1;;2", ";;", "1,2"},
      {"1\t\t2", "\t", "1,NULL,2"},
      {"", ";", ""},
      // Inside quoted literals nothing changes.
      {"1;'a;b';'c,,d'", ";", "1,'a;b','c,,d'"},
      {"1|'O''Brien|x'|\"y|\"\"z\"|", "|", "1,'O''Brien|x',\"y|\"\"z\",NULL"},
      {"#1/2/2024#/3", "/", "#1/2/2024#,3"},
      // A separator that is itself a quote keeps its meaning.
      {"1'2''3", "'", "1,2,NULL,3"},
  };
  for (const Caso& c : casi) {
    EXPECT_EQ(ApplicaRegole(c.riga, c.separatore), c.atteso) << c.riga;
  }
}

TEST(RegoleDiImportazione, LetteraliSemplici) {
  std::vector<db::Value> v;
  ASSERT_TRUE(LeggiLetterali(" 12 , -3.5e2,'it''s', \"q\"\"\" ,NULL, true,False,#2024-01-05#,"
                             "#1/5/2024#, +7, .5",
                             &v));
  ASSERT_EQ(v.size(), 11u);
  EXPECT_EQ(v[0].kind(), db::Value::Kind::kInteger);
  EXPECT_EQ(v[0].integer(), 12);
  EXPECT_EQ(v[1].kind(), db::Value::Kind::kDouble);
  EXPECT_EQ(v[1].real(), -350.0);
  EXPECT_EQ(v[2].text(), "it's");
  EXPECT_EQ(v[3].text(), "q\"");
  EXPECT_TRUE(v[4].is_null());
  EXPECT_EQ(v[5].integer(), -1);
  EXPECT_EQ(v[6].integer(), 0);
  EXPECT_EQ(v[7].integer(), 45296);  // days from 30/12/1899
  EXPECT_EQ(v[8].integer(), 45296);
  EXPECT_EQ(v[9].integer(), 7);
  EXPECT_EQ(v[10].real(), 0.5);

  // Anything that is not a plain literal goes as a whole statement.
  for (const char* lista : {"1+2", "Now()", "'a' 'b'", "#1/2/2024 10:00#", "#13/1/2024#",
                            "1.23456789012345678", "-0.0", "'aperto", "", "1,", "1,,2",
                            "99999999999999999999", "NULLO", "x", "1e", "#2024-02-30#"}) {
    EXPECT_FALSE(LeggiLetterali(lista, &v)) << lista;
  }
}

// The direct reader of a line and the rules followed by the list reader agree on every line:
// lines built at random from pieces that matter to either.
TEST(RegoleDiImportazione, LetturaDirettaComeLeRegole) {
  const char* pezzi[] = {"1", "-2", "+3.5", ".5", "1e3", "007", "'a'", "'b;c'", "'d''e'", "\"f\"",
                         "#2024-01-05#", "#1/5/2024#", "#1/5/2024 10:00#", "NULL", "True", "x",
                         " ", "  12 ", ";", ";", ",", "''", "'", "#", "\t", "1 2", "-0.0", "--1"};
  unsigned seme = 12345;
  auto caso = [&](unsigned n) {
    seme = seme * 1103515245u + 12345u;
    return (seme >> 16) % n;
  };
  std::vector<db::Value> diretti, regole;
  int semplici = 0;
  for (int prova = 0; prova < 20000; ++prova) {
    std::string riga;
    const unsigned lunghezza = 1 + caso(8);
    for (unsigned k = 0; k < lunghezza; ++k) riga += pezzi[caso(sizeof pezzi / sizeof *pezzi)];
    for (const char* sep : {";", ",", ";;", "\t"}) {
      const bool a = importazione::LeggiRiga(riga, sep, &diretti);
      const bool b = LeggiLetterali(ApplicaRegole(riga, sep), &regole);
      ASSERT_EQ(a, b) << riga << " [" << sep << "]";
      if (!a) continue;
      ++semplici;
      ASSERT_EQ(diretti.size(), regole.size()) << riga;
      for (std::size_t i = 0; i < diretti.size(); ++i) {
        ASSERT_EQ(diretti[i].kind(), regole[i].kind()) << riga;
        ASSERT_EQ(diretti[i].integer(), regole[i].integer()) << riga;
        ASSERT_EQ(diretti[i].real(), regole[i].real()) << riga;
        ASSERT_EQ(diretti[i].text(), regole[i].text()) << riga;
      }
    }
  }
  // The pieces make plain lines often enough for the comparison to mean something.
  EXPECT_GT(semplici, 2000);
}

class Importazione : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = prova::NuovoDatabase(a_);
    Esegui({"[Clienti]", ">", "+,ID,LONG", "+,Nome,TEXT(30)", "+,Eta,LONG", "+,Note,MEMO",
            "#,PK,ID,TRUE"});
  }
  void Esegui(std::vector<std::string> righe) {
    righe.insert(righe.begin(), {"MSGN", "LOGY", "*" + db_ + "*"});
    a_.Esegui(righe);
  }
  std::vector<std::string> Righe(const std::string& sql) { return prova::Righe(a_, db_, sql); }

  Ambiente a_;
  std::string db_;
};

TEST_F(Importazione, NullInOgniPosizioneESegnaposto) {
  a_.Scrivi("clienti.txt",
            "1;'Rossi';;'x'\r\n2;;40;\r\n3;NULL;;\r\n4;'{<NOME>}';{<ETA>};'a;b,,c'\n5;'Verdi';;");
  Esegui({"=,NOME,Bianchi", "=,ETA,33", "[Clienti]", "<,clienti.txt,;,(ID;Nome;Eta;Note)"});
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  EXPECT_THAT(Righe("SELECT * FROM Clienti ORDER BY ID"),
              ElementsAre("1|Rossi|<null>|x", "2|<null>|40|<null>", "3|<null>|<null>|<null>",
                          "4|Bianchi|33|a;b,,c", "5|Verdi|<null>|<null>"));
  EXPECT_EQ(a_.Log().back(), "Dati importati in Clienti da clienti.txt");
}

TEST_F(Importazione, SenzaElencoDiColonneIValoriSonoInOrdine) {
  a_.Scrivi("c.txt", "7|'Neri'|50|'n'\r\n");
  Esegui({"[Clienti]", "<,c.txt,|"});
  EXPECT_THAT(Righe("SELECT * FROM Clienti"), ElementsAre("7|Neri|50|n"));
}

TEST_F(Importazione, UnaRigaCheFallisceTieneLePrecedenti) {
  a_.Scrivi("c.txt", "1;'a'\r\n2;'b'\r\n1;'doppio'\r\n3;'c'\r\n");
  Esegui({"[Clienti]", "<,c.txt,;,(ID;Nome)", "=,DOPO,1"});
  EXPECT_THAT(Righe("SELECT ID, Nome FROM Clienti ORDER BY ID"), ElementsAre("1|a", "2|b"));
  ASSERT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a_.ui.dialoghi[0].titolo, "Attenzione");
  // The line after still runs.
  EXPECT_EQ(a_.Log().back(), "Variabile DOPO = 1");

  // The same holds when a line fails in the statement itself.
  a_.Scrivi("d.txt", "10;'a'\r\n11;'b' 'c'\r\n12;'d'\r\n");
  Esegui({"ERRN", "[Clienti]", "<,d.txt,;,(ID;Nome)"});
  EXPECT_THAT(Righe("SELECT ID FROM Clienti WHERE ID >= 10"), ElementsAre("10"));
}

TEST_F(Importazione, FileMancanteOVuoto) {
  Esegui({"[Clienti]", "<,manca.txt,;"});
  ASSERT_EQ(a_.ui.dialoghi.size(), 1u);
  EXPECT_EQ(a_.ui.dialoghi[0].testo, "File manca.txt non trovato, dati non importati.");
  EXPECT_EQ(a_.ui.dialoghi[0].stile, 64);
  EXPECT_EQ(a_.Log().back(), "Dati importati in Clienti da manca.txt");

  // The program's folder is always where the file is looked for, an absolute path included.
  a_.Scrivi("altro/c.txt", "1;'a'\r\n");
  Esegui({"[Clienti]", "<," + a_.Percorso("altro/c.txt") + ",;,(ID;Nome)"});
  EXPECT_EQ(a_.ui.dialoghi.size(), 2u);
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Clienti"), ElementsAre("0"));

  // An empty file fails at its first read.
  a_.Scrivi("vuoto.txt", "");
  Esegui({"[Clienti]", "<,vuoto.txt,;"});
  ASSERT_EQ(a_.ui.dialoghi.size(), 3u);
  EXPECT_THAT(a_.ui.dialoghi[2].testo, ::testing::HasSubstr("fine del file"));
}

// The raw stored form of every value of a table: type and literal, as SQLite keeps them.
std::vector<std::string> Memorizzati(const std::string& file, const std::string& tabella) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  const std::string sql = "SELECT * FROM \"" + tabella + "\" ORDER BY rowid";
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
  std::vector<std::string> righe;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string riga;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      static const char* kTipi[] = {"", "int", "real", "text", "blob", "null"};
      riga += std::string(kTipi[sqlite3_column_type(st, i)]) + ":";
      const unsigned char* t = sqlite3_column_text(st, i);
      riga += t ? reinterpret_cast<const char*>(t) : "";
      riga += " ";
    }
    righe.push_back(riga);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return righe;
}

TEST_F(Importazione, IstruzionePreparataEIstruzioneInteraDannoLoStessoRisultato) {
  std::vector<std::string> righe;
  for (const char* tipo : {"T1", "T2"}) {
    righe.insert(righe.end(),
                 {std::string("[") + tipo + "]", ">", "+,N,LONG", "+,R,DOUBLE", "+,S,TEXT(20)",
                  "+,M,MEMO", "+,D,DATETIME", "+,B,YESNO", "+,C,CURRENCY", "+,X,SHORT"});
  }
  Esegui(righe);
  ASSERT_TRUE(a_.ui.dialoghi.empty()) << prova::TestiDialoghi(a_)[0];
  a_.Scrivi("t.txt",
            "1;1.5;'a';'007';#2024-01-05#;True;12.5;'7'\r\n"
            "-2;-0.25;\"b \"\"q\"\"\";42;#1/5/2024#;False;3;1.50\r\n"
            "007;1e3;'';1.50;;;-1.5;\r\n"
            "+5;.5;12;'1e3';#12/31/1999#;-1;0;2\r\n"
            "9223372036854775807;123456789012345;'x,y';'';#2024-01-05 10:30#;1;0.0001;-7\r\n"
            "NULL;NULL;NULL;NULL;NULL;NULL;NULL;NULL\r\n"
            "3;2.5;'z';'{<SPAZIO>}';#2000-02-29#;TRUE;99.99;'12'\r\n");
  importazione::Conteggio con, senza;
  {
    auto conn = prova::Apri(a_, db_);
    auto espandi = [&](std::string_view s) { return std::string(s); };
    con = importazione::ImportaDati(*a_.stato, *conn, "T1", "t.txt", ";", "", espandi, true);
    senza = importazione::ImportaDati(*a_.stato, *conn, "T2", "t.txt", ";", "", espandi, false);
    // Where the connection prepares statements, the lines of plain literals go through one.
    std::unique_ptr<db::Statement> prova;
    if (conn->Prepare("INSERT INTO [T1] VALUES (?,?,?,?,?,?,?,?)", &prova).ok()) {
      EXPECT_EQ(con.preparate, 6);
    }
  }
  EXPECT_EQ(con.righe, 7);
  EXPECT_EQ(senza.preparate, 0);
  const std::vector<std::string> uno = Memorizzati(db_, "T1");
  EXPECT_EQ(uno.size(), 7u);
  EXPECT_EQ(uno, Memorizzati(db_, "T2"));
  EXPECT_EQ(Righe("SELECT * FROM T1"), Righe("SELECT * FROM T2"));
}

// The connection of the data-access layer, with statements prepared straight on SQLite and
// values bound as the layer binds them: it shows that the values read from the literals are
// stored as the literals themselves are.
class ConnessionePreparante : public db::Connection {
 public:
  ConnessionePreparante(std::unique_ptr<db::Connection> dentro, const std::string& file)
      : d_(std::move(dentro)) {
    sqlite3_open_v2(file.c_str(), &raw_, SQLITE_OPEN_READWRITE, nullptr);
  }
  ~ConnessionePreparante() override { sqlite3_close(raw_); }

  class Preparata : public db::Statement {
   public:
    Preparata(sqlite3* raw, const std::string& sql) : raw_(raw) {
      sqlite3_prepare_v2(raw, sql.c_str(), -1, &st_, nullptr);
    }
    ~Preparata() override { sqlite3_finalize(st_); }
    Status Execute(const std::vector<db::Value>& valori) override {
      sqlite3_reset(st_);
      for (std::size_t i = 0; i < valori.size(); ++i) {
        const int k = static_cast<int>(i + 1);
        const db::Value& v = valori[i];
        switch (v.kind()) {
          case db::Value::Kind::kNull: sqlite3_bind_null(st_, k); break;
          case db::Value::Kind::kInteger: sqlite3_bind_int64(st_, k, v.integer()); break;
          case db::Value::Kind::kDouble: sqlite3_bind_double(st_, k, v.real()); break;
          case db::Value::Kind::kText:
            sqlite3_bind_text(st_, k, v.text().data(), static_cast<int>(v.text().size()),
                              SQLITE_TRANSIENT);
            break;
          default: return Status::Error(err::kInvalidCall, "tipo non previsto");
        }
      }
      const int rc = sqlite3_step(st_);
      return rc == SQLITE_DONE ? Status::OK() : Status::Error(rc, sqlite3_errmsg(raw_));
    }

   private:
    sqlite3* raw_;
    sqlite3_stmt* st_ = nullptr;
  };

  Status Prepare(const std::string& sql, std::unique_ptr<db::Statement>* st) override {
    // Only the statements of the import: INSERT INTO [T]  VALUES (?,...).
    std::string nativa = sql;
    for (char& c : nativa) {
      if (c == '[' || c == ']') c = '"';
    }
    *st = std::make_unique<Preparata>(raw_, nativa);
    return Status::OK();
  }
  // The rows go straight to the file: no transaction on the wrapped connection.
  Status BeginTrans() override { return Status::Error(err::kInvalidCall, "no"); }

  Status Open(const std::string& c, const std::string& u, const std::string& p) override {
    return d_->Open(c, u, p);
  }
  void Close() override { d_->Close(); }
  int State() override { return d_->State(); }
  std::string DataSource() override { return d_->DataSource(); }
  Status Execute(const std::string& sql) override { return d_->Execute(sql); }
  Status OpenRecordset(const std::string& s, db::CursorType c, db::LockType l,
                       std::unique_ptr<db::Recordset>* r) override {
    return d_->OpenRecordset(s, c, l, r);
  }
  Status Tables(std::vector<db::TableInfo>* t) override { return d_->Tables(t); }
  Status Columns(const std::string& t, std::vector<db::ColumnInfo>* c) override {
    return d_->Columns(t, c);
  }
  Status SetSeed(const std::string& t, const std::string& c, std::int64_t s) override {
    return d_->SetSeed(t, c, s);
  }
  Status SetAllowZeroLength(const std::string& t, const std::string& c, bool a) override {
    return d_->SetAllowZeroLength(t, c, a);
  }
  Status SetDefault(const std::string& t, const std::string& c, const std::string& v) override {
    return d_->SetDefault(t, c, v);
  }
  Status RenameColumn(const std::string& t, const std::string& a, const std::string& b) override {
    return d_->RenameColumn(t, a, b);
  }
  Status RenameTable(const std::string& a, const std::string& b) override {
    return d_->RenameTable(a, b);
  }
  Status Indexes(const std::string& t, std::vector<db::IndexInfo>* i) override {
    return d_->Indexes(t, i);
  }
  Status AppendIndex(const std::string& t, const db::IndexInfo& i) override {
    return d_->AppendIndex(t, i);
  }
  Status DeleteIndex(const std::string& t, const std::string& n) override {
    return d_->DeleteIndex(t, n);
  }
  Status Keys(const std::string& t, std::vector<db::KeyInfo>* k) override { return d_->Keys(t, k); }
  Status AppendKey(const std::string& t, const db::KeyInfo& k) override {
    return d_->AppendKey(t, k);
  }
  Status DeleteKey(const std::string& t, const std::string& n) override {
    return d_->DeleteKey(t, n);
  }
  Status ReplaceKey(const std::string& t, const db::KeyInfo& k) override {
    return d_->ReplaceKey(t, k);
  }
  Status ViewCommand(const std::string& n, std::string* s) override {
    return d_->ViewCommand(n, s);
  }
  Status AppendView(const std::string& n, const std::string& s) override {
    return d_->AppendView(n, s);
  }
  Status SetViewCommand(const std::string& n, const std::string& s) override {
    return d_->SetViewCommand(n, s);
  }
  Status DeleteView(const std::string& n) override { return d_->DeleteView(n); }

 private:
  std::unique_ptr<db::Connection> d_;
  sqlite3* raw_ = nullptr;
};

TEST_F(Importazione, ValoriLegatiComeILetterali) {
  std::vector<std::string> righe;
  for (const char* tipo : {"T1", "T2"}) {
    righe.insert(righe.end(),
                 {std::string("[") + tipo + "]", ">", "+,N,LONG", "+,R,DOUBLE", "+,S,TEXT(20)",
                  "+,M,MEMO", "+,D,DATETIME", "+,B,YESNO", "+,C,CURRENCY", "+,X,SHORT"});
  }
  Esegui(righe);
  a_.Scrivi("t.txt",
            "1;1.5;'a';'007';#2024-01-05#;True;12.5;'7'\r\n"
            "-2;-0.25;\"b \"\"q\"\"\";42;#1/5/2024#;False;3;1.50\r\n"
            "007;1e3;'';1.50;#12/31/1999#;-1;-1.5;2\r\n"
            "+5;.5;12;'1e3';NULL;1;0.0001;-7\r\n"
            "9223372036854775807;123456789012345;'x,y';0.1;#2000-02-29#;0;99.99;'12'\r\n");
  auto espandi = [&](std::string_view s) { return std::string(s); };
  importazione::Conteggio con;
  {
    ConnessionePreparante conn(prova::Apri(a_, db_), db_);
    con = importazione::ImportaDati(*a_.stato, conn, "T1", "t.txt", ";", "", espandi, true);
  }
  auto conn = prova::Apri(a_, db_);
  importazione::ImportaDati(*a_.stato, *conn, "T2", "t.txt", ";", "", espandi, false);
  EXPECT_EQ(con.preparate, 5);
  const std::vector<std::string> legati = Memorizzati(db_, "T1");
  EXPECT_EQ(legati.size(), 5u);
  EXPECT_EQ(legati, Memorizzati(db_, "T2"));
}

TEST_F(Importazione, ProvaASeccoNonImporta) {
  a_.Scrivi("c.txt", "1;'a'\r\n");
  a_.Esegui({"MSGN", "*" + db_ + "*", "[Clienti]", "<,c.txt,;,(ID;Nome)"}, false);
  EXPECT_THAT(Righe("SELECT COUNT(*) FROM Clienti"), ElementsAre("0"));
}

}  // namespace
}  // namespace mlx
