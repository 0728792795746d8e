// Dates that other programs write into the file: ISO texts in date columns become day numbers
// (through triggers that run in any SQLite program), tables made elsewhere get those triggers when
// the layer opens the file.
#include "fixture.h"

namespace mlx::db::testing {
namespace {

class DatesTest : public DbTest {
 protected:
  // Names of the layer's date triggers in the file.
  std::string DateTriggers() {
    return Raw(
        "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND (name LIKE '__mlx_di%' "
        "OR name LIKE '__mlx_du%') ORDER BY name");
  }
};

// Each text: what the layer shows once it is stored ("" when it must stay the text it is, "-"
// when it is checked on its own).
struct IsoCase {
  const char* text;
  const char* shown;
};
const IsoCase kIsoCases[] = {
    {"2024-06-01", "2024-06-01 00:00:00"},
    {"2024-06-01 08:15", "2024-06-01 08:15:00"},
    {"2024-06-01T08:15:30", "2024-06-01 08:15:30"},
    {"2024-06-01 08:15:30.4999", "2024-06-01 08:15:30"},
    {"2024-06-01 08:15:30.5", "2024-06-01 08:15:31"},
    {"2024-12-31T23:59:59.9", "2025-01-01 00:00:00"},
    {"1899-12-29 06:00", "1899-12-29 06:00:00"},
    {"1899-12-29 23:59:59.5", "1899-12-30 00:00:00"},
    {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
    {"0100-01-01", "-"},
    {"domani", ""},
    {"2024-02-30", ""},
    {"2024-06-01 24:00", ""},
    {"0099-12-31", ""},
    {"9999-12-31 23:59:59.5", ""},
    {"2024-6-1", ""},
    {"2024-06-01 08:15:30.", ""},
    {"2024-06-01 08:15:30+02:00", ""},
    {"01/06/2024", ""},
};

TEST_F(DatesTest, IsoTextsWrittenByAnotherProgramBecomeTheLayersDayNumbers) {
  Run({"CREATE TABLE P (k LONG, a DATETIME, b DATETIME)"});
  std::string insert = "BEGIN;";
  int k = 0;
  for (const IsoCase& c : kIsoCases) {
    insert += "INSERT INTO P (k, a) VALUES (" + std::to_string(k++) + ", '" + c.text + "');";
  }
  Outside({insert + "COMMIT"});
  // Each converted text holds exactly the number the layer makes of the same text.
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(
      conn_->OpenRecordset("SELECT k, b FROM P ORDER BY k", kDynamic, kOptimistic, &rs).ok());
  for (const IsoCase& c : kIsoCases) {
    ASSERT_FALSE(rs->Eof());
    if (*c.shown) {
      ASSERT_TRUE(rs->SetValue(1, Value::Text(c.text)).ok());
      ASSERT_TRUE(rs->Update().ok()) << c.text;
    }
    ASSERT_TRUE(rs->MoveNext().ok());
  }
  rs.reset();
  k = 0;
  for (const IsoCase& c : kIsoCases) {
    const std::string row = " FROM P WHERE k = " + std::to_string(k++);
    if (*c.shown) {
      EXPECT_EQ(Raw("SELECT typeof(a) IN ('integer', 'real')" + row), "1") << c.text;
      EXPECT_EQ(Raw("SELECT a = b" + row), "1") << c.text;
      if (*c.shown == '-') continue;
      EXPECT_EQ(Text(First("SELECT Format(a, 'yyyy-mm-dd hh:nn:ss')" + row)), c.shown) << c.text;
    } else {
      EXPECT_EQ(Raw("SELECT typeof(a) || ':' || a" + row), std::string("text:") + c.text);
    }
  }
  // Before 30/12/1899 the time is subtracted from the day number, as on Jet.
  auto stored = [&](std::string_view text) {
    for (std::size_t i = 0; i < std::size(kIsoCases); ++i) {
      if (kIsoCases[i].text == text) return Raw("SELECT a FROM P WHERE k = " + std::to_string(i));
    }
    return std::string("no case");
  };
  EXPECT_EQ(stored("1899-12-29 06:00"), "-1.25");
  EXPECT_EQ(stored("1899-12-29 23:59:59.5"), "0");
  EXPECT_EQ(stored("0100-01-01"), "-657434");  // the first date there is
}

TEST_F(DatesTest, ScriptsCompareAndSortDatesWhoeverWroteThem) {
  Run(
      {"CREATE TABLE Ordini (Id COUNTER PRIMARY KEY, Nome TEXT(20), Quando DATETIME NOT NULL, "
       "Consegna DATE)",
       "INSERT INTO Ordini (Nome, Quando) VALUES ('gennaio', #1/15/2024#)",
       "INSERT INTO Ordini (Nome, Quando) VALUES ('marzo 2025', #3/1/2025 10:31:13#)"});
  // The counter and the date triggers both act on a row inserted without its counter.
  Outside({
      "INSERT INTO Ordini (Nome, Quando) VALUES ('giugno', '2024-06-01');"
      "INSERT INTO Ordini (Nome, Quando, Consegna) VALUES ('fine', '2024-12-31 18:01:07', "
      "'2025-01-02');"
      "INSERT INTO Ordini (Nome, Quando) VALUES ('vecchio', '1890-05-01');"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Quando > #1/1/2025#"),
            std::vector<std::string>{"marzo 2025"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Quando = #6/1/2024#"),
            std::vector<std::string>{"giugno"});
  // A time compares equal to the literal that names it, whoever wrote it.
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Quando = #12/31/2024 6:01:07 PM#"),
            std::vector<std::string>{"fine"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Quando = #3/1/2025 10:31:13#"),
            std::vector<std::string>{"marzo 2025"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Consegna BETWEEN #1/1/2025# AND #1/31/2025#"),
            std::vector<std::string>{"fine"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini ORDER BY Quando"),
            (std::vector<std::string>{"vecchio", "gennaio", "giugno", "fine", "marzo 2025"}));
  EXPECT_EQ(Column("SELECT Id FROM Ordini ORDER BY Id"),
            (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  Value v = First("SELECT Quando FROM Ordini WHERE Nome = 'fine'");
  EXPECT_EQ(v.kind(), Value::Kind::kDate);
  EXPECT_EQ(Text(First("SELECT Year(Quando) & '/' & Hour(Quando) FROM Ordini WHERE Nome = 'fine'")),
            "2024/18");
  // An update by the other program, and ISO text in the scripts' own SQL, are converted too.
  Outside({"UPDATE Ordini SET Quando = '2026-02-01T09:00:00' WHERE Nome = 'gennaio'"});
  Run({"UPDATE Ordini SET Consegna = '2024-06-03' WHERE Nome = 'giugno'"});
  EXPECT_EQ(Column("SELECT Nome FROM Ordini WHERE Quando > #1/1/2026# OR Consegna < #6/4/2024#"),
            (std::vector<std::string>{"gennaio", "giugno"}));
  EXPECT_EQ(Raw("SELECT count(*) FROM Ordini WHERE typeof(Quando) = 'text' OR "
                "typeof(Consegna) = 'text'"),
            "0");
  // A date already in a unique column refuses its duplicate written as text.
  Run({"CREATE UNIQUE INDEX ixQuando ON Ordini (Quando)"});
  EXPECT_NE(Plain(path_).Exec("INSERT INTO Ordini (Nome, Quando) VALUES ('doppio', '2024-06-01')"),
            SQLITE_OK);
  EXPECT_EQ(Text(First("SELECT count(*) FROM Ordini")), "5");
  // The triggers follow the table through a rebuild and a rename.
  Run({"ALTER TABLE Ordini ALTER COLUMN Nome TEXT(30)"});
  ASSERT_TRUE(conn_->RenameTable("Ordini", "Richieste").ok());
  Outside({"INSERT INTO Richieste (Nome, Quando) VALUES ('dopo', '2027-01-01')"});
  EXPECT_EQ(Column("SELECT Nome FROM Richieste WHERE Quando > #1/1/2026# ORDER BY Quando"),
            (std::vector<std::string>{"gennaio", "dopo"}));
  EXPECT_EQ(DateTriggers(), "__mlx_di_Richieste|__mlx_du_Richieste");
}

TEST_F(DatesTest, OpeningGivesOtherTablesTheTriggersAndConvertsTheirTextsOnce) {
  Run({"CREATE TABLE Turni (Id COUNTER PRIMARY KEY, Inizio DATETIME)"});
  conn_->Close();
  // Tables made by the other program, and a layer table whose date triggers are gone (as in a
  // file written before they existed), with texts already in them.
  Outside({
      "CREATE TABLE Visite (id INTEGER PRIMARY KEY, quando DATETIME, nota TEXT);"
      "INSERT INTO Visite VALUES (1, '2024-06-01 10:00', '2024-06-01');"
      "INSERT INTO Visite VALUES (2, 'ieri', NULL);"
      "CREATE TABLE Calendario (giorno DATE PRIMARY KEY, fine TIMESTAMP) WITHOUT ROWID;"
      "INSERT INTO Calendario VALUES ('2024-06-02', '2024-06-02 18:00');"
      "CREATE TABLE Giorni (g DATETIME PRIMARY KEY);"
      "INSERT INTO Giorni VALUES (45444);"
      "CREATE TABLE Eventi (id INTEGER PRIMARY KEY, g DATETIME REFERENCES Giorni (g));"
      "INSERT INTO Eventi VALUES (1, '2024-06-01'), (2, '2024-06-02');"
      "DROP TRIGGER __mlx_di_Turni; DROP TRIGGER __mlx_du_Turni;"
      "INSERT INTO Turni (Id, Inizio) VALUES (7, '2024-06-03 06:00');"});
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(DateTriggers(),
            "__mlx_di_Calendario|__mlx_di_Eventi|__mlx_di_Giorni|__mlx_di_Turni|__mlx_di_Visite|"
            "__mlx_du_Calendario|__mlx_du_Eventi|__mlx_du_Giorni|__mlx_du_Turni|__mlx_du_Visite");
  EXPECT_EQ(Raw("SELECT typeof(quando) || ',' || typeof(nota) FROM Visite ORDER BY id"),
            "real,text|text,null");
  EXPECT_EQ(Raw("SELECT typeof(giorno) || ',' || typeof(fine) FROM Calendario"), "integer,real");
  EXPECT_EQ(Raw("SELECT typeof(Inizio) FROM Turni"), "real");
  // A row that a rule refuses to change keeps its text (a date with no parent row); the others
  // are converted.
  EXPECT_EQ(Raw("SELECT typeof(g) FROM Eventi ORDER BY id"), "integer|text");
  EXPECT_EQ(Column("SELECT quando FROM Visite WHERE quando < #6/2/2024# ORDER BY id"),
            std::vector<std::string>{"45444.41667"});

  // From now on the other program's writes are converted where it writes them; a counter still
  // unassigned does not stop the date trigger that the open added after the counter's.
  Outside({
      "INSERT INTO Visite (id, quando) VALUES (3, '2024-06-05');"
      "UPDATE Calendario SET fine = '2024-06-02 20:00' WHERE giorno = 45445;"
      "INSERT INTO Calendario VALUES ('2024-06-07', '2024-06-07 08:00');"
      "INSERT INTO Turni (Inizio) VALUES ('2024-06-04 06:00');"});
  EXPECT_EQ(Column("SELECT Format(quando, 'dd/mm') FROM Visite WHERE quando BETWEEN #6/1/2024# "
                   "AND #12/31/2024# ORDER BY quando"),
            (std::vector<std::string>{"01/06", "05/06"}));
  EXPECT_EQ(Column("SELECT Format(fine, 'dd hh') FROM Calendario ORDER BY giorno"),
            (std::vector<std::string>{"02 20", "07 08"}));
  EXPECT_EQ(Column("SELECT Id & ' ' & Format(Inizio, 'dd') FROM Turni ORDER BY Inizio"),
            (std::vector<std::string>{"7 03", "8 04"}));

  // A date column that the other program adds leaves the triggers out of date: the next open
  // writes them again.
  conn_->Close();
  Outside({
      "ALTER TABLE Visite ADD COLUMN rinvio DATETIME;"
      "UPDATE Visite SET rinvio = '2024-07-01' WHERE id = 1"});
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Raw("SELECT typeof(rinvio) FROM Visite WHERE id = 1"), "integer");
}

}  // namespace
}  // namespace mlx::db::testing
