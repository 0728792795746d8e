// Finer points: the tokenizer's view of literals and names, dates outside the calendar, values too
// large, recordset fields and values, and column changes that touch counters and defaults.
#include <chrono>
#include <cmath>

#include "fixture.h"
#include "platform/clock/clock.h"

namespace mlx::db::testing {
namespace {

using ValuesTest = DbTest;

TEST_F(ValuesTest, LiteralsNamesAndCommentsAreNeverRewritten) {
  Run({"CREATE TABLE [Ordini & Note] ([True] TEXT(40), [Select] LONG, [Data #1] DATETIME)",
       "INSERT INTO [Ordini & Note] VALUES ('a & b -- c /* d */ #1/2/2003# True', 1, "
       "#2003-01-02#) -- a comment",
       "INSERT INTO [Ordini & Note] VALUES (\"it's \"\"quoted\"\"\", 2, /* note */ #13:30#)"});
  EXPECT_EQ(Column("SELECT [True] FROM [Ordini & Note] ORDER BY [Select]"),
            (std::vector<std::string>{"a & b -- c /* d */ #1/2/2003# True",
                                      "it's \"quoted\""}));
  EXPECT_EQ(Column("SELECT [Data #1] FROM [Ordini & Note] ORDER BY [Select]", 0),
            (std::vector<std::string>{"37623", "0.5625"}));
  EXPECT_EQ(Column("SELECT [Select] FROM [Ordini & Note] WHERE [Data #1] = #1/2/2003#"),
            std::vector<std::string>{"1"});
  EXPECT_TRUE(Has(conn_->Execute("SELECT #32/13/2020#"), "Istruzione SQL non valida."));
  EXPECT_TRUE(Has(conn_->Execute("SELECT [unclosed FROM x"), "Istruzione SQL non valida."));
  EXPECT_TRUE(Has(conn_->Execute("SELECT 'a' &"), "Istruzione SQL non valida."));
  // A month above 12 in a month-first literal is read day first, as Jet does.
  EXPECT_EQ(Text(First("SELECT #25/12/2020# = #12/25/2020#")), "1");
}

// Numbers that are no date (beyond 31/12/9999, before 01/01/100, infinite or not a number) are
// refused by every function that reads or makes a date, never turned into a calendar date.
TEST_F(ValuesTest, NumbersOutsideTheCalendarAreInvalidDates) {
  Run({"CREATE TABLE D (k LONG, v DOUBLE, d DATETIME)", "INSERT INTO D VALUES (1, 1e19, 1e400)",
       "INSERT INTO D VALUES (3, 2958466, 2958465.5)",
       "INSERT INTO D VALUES (4, -657435, -657434)"});
  // Year stands for the parts of a date (Month to Weekday), which all read it the same way.
  const char* readers[] = {"Year(x)", "DatePart('yyyy', x)", "DateDiff('d', 0, x)",
                           "DateDiff('s', x, 0)", "DateAdd('d', 1, x)", "DateAdd('m', 1, x)",
                           "Format(x, 'yyyy')", "Format(x, 'General Date')", "CDate(x)"};
  for (const std::string r : readers) {
    for (const char* x : {"1e19", "-1e19", "2958466", "-657435", "v", "d", "-d"}) {
      const std::string sql = "SELECT " + r.substr(0, r.find('x')) + x + r.substr(r.find('x') + 1) +
                              " FROM D WHERE k = 1";
      EXPECT_TRUE(Has(conn_->Execute(sql), "Invalid date")) << sql;
    }
  }
  // Results that would leave the calendar are refused as well.
  for (const char* sql :
       {"SELECT DateAdd('yyyy', 1, #12/31/9999#)", "SELECT DateAdd('m', -1, #1/15/100#)",
        "SELECT DateAdd('d', 1e300, #1/1/2000#)", "SELECT DateAdd('m', 1e19, #1/1/2000#)",
        "SELECT DateSerial(10000, 1, 1)", "SELECT DateSerial(2020, 1e19, 1)",
        "SELECT DateSerial(2020, 1, 1e19)"}) {
    EXPECT_TRUE(Has(conn_->Execute(sql), "Invalid date")) << sql;
  }
  // The edges of the calendar are dates; a number a date column cannot show is read as a number.
  EXPECT_EQ(Text(First("SELECT Format(d, 'dd/mm/yyyy hh:nn') & ' ' & Year(v + 1) FROM D "
                       "WHERE k = 4")),
            "01/01/100 00:00 100");
  EXPECT_EQ(Text(First("SELECT Format(DateAdd('m', 1, #11/30/9999#), 'dd/mm/yyyy')")),
            "30/12/9999");
  EXPECT_EQ(Text(First("SELECT Year(d) & ' ' & Hour(d) FROM D WHERE k = 3")), "9999 12");
  Value v = First("SELECT d FROM D WHERE k = 1");
  EXPECT_EQ(v.kind(), Value::Kind::kDouble);
  EXPECT_TRUE(std::isinf(v.real()));
  EXPECT_EQ(Text(First("SELECT Format(1e19, 'Fixed')")), "10000000000000000000.00");
}

// A statement run for its effect reads no more of a query than its first row, and no value may
// grow past the limit of one value: both end at once with a clear answer instead of taking the
// machine's time or memory.
TEST_F(ValuesTest, StatementsEndAtOnceOnEndlessQueriesAndHugeValues) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(conn_
                  ->Execute("WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) "
                            "SELECT n FROM r")
                  .ok());
  // The first row still shows whether the query runs at all.
  EXPECT_TRUE(Has(conn_->Execute("SELECT CInt(70000)"), "Overflow"));
  for (const char* sql :
       {"SELECT Space(1e9) & 'x'", "SELECT Space(300000000)", "SELECT Space(1e19)",
        "SELECT Space(200000000) & Space(200000000)", "SELECT zeroblob(300000000)",
        "SELECT replace(Space(1000), ' ', Space(1000000))"}) {
    EXPECT_TRUE(Has(conn_->Execute(sql), "Value too long")) << sql;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  // Counts beyond any text are as good as the whole text.
  EXPECT_EQ(Text(First("SELECT Left('abc', 1e19) & Mid('abc', 2, 1e300) & Len(Space(3))")),
            "abcbc3");
  EXPECT_TRUE(Has(conn_->Execute("SELECT Left('abc', -1)"), "Invalid procedure call"));
  // Counts and positions of any size are refused or taken as a whole, never cut to an integer
  // that cannot hold them.
  for (const char* sql :
       {"SELECT Weekday(#1/1/2021#, 1e19)", "SELECT Weekday(#1/1/2021#, 8)",
        "SELECT Weekday(#1/1/2021#, -1)", "SELECT Round(1.5, -1)", "SELECT Round(1.5, -1e19)"}) {
    EXPECT_TRUE(Has(conn_->Execute(sql), "Invalid procedure call")) << sql;
  }
  EXPECT_EQ(Text(First("SELECT Weekday(#1/3/2021#, 2) & ' ' & Round(2.5, 1e19) & ' ' & "
                       "Round(1.2345, 2)")),
            "7 2.5 1.23");
}

TEST_F(ValuesTest, QueriesReadTheProvidersClock) {
  auto fixed = clock::MakeSystemClock(clock::ParseFixedTime("2021-06-15 10:30:00"));
  auto provider = MakeSqliteProvider(fixed.get());
  auto c = provider->NewConnection();
  ASSERT_TRUE(c->Open(path_, "", "").ok());
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(c->OpenRecordset("SELECT Format(Now(), 'yyyy-mm-dd hh:nn:ss'), Date(), Time()",
                               kForwardOnly, kReadOnly, &rs).ok());
  Value v;
  ASSERT_TRUE(rs->GetValue(0, &v).ok());
  EXPECT_EQ(v.text(), "2021-06-15 10:30:00");
  ASSERT_TRUE(rs->GetValue(1, &v).ok());
  EXPECT_EQ(v.real(), 44362);
  ASSERT_TRUE(rs->GetValue(2, &v).ok());
  EXPECT_DOUBLE_EQ(v.real(), 10.5 / 24);
}

TEST_F(ValuesTest, RecordsetFieldsAndValues) {
  Run({"CREATE TABLE R (Id COUNTER PRIMARY KEY, Prezzo CURRENCY, Giorno DATETIME, Dati LONGBINARY,"
       " Nota MEMO)",
       "CREATE VIEW VR AS SELECT Id, Prezzo * 2 AS Doppio FROM R"});
  ASSERT_TRUE(conn_->SetAllowZeroLength("R", "Nota", true).ok());
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(conn_->OpenRecordset("SELECT * FROM R", kDynamic, kOptimistic, &rs).ok());
  EXPECT_TRUE(rs->Eof());
  Value v;
  EXPECT_FALSE(rs->GetValue(0, &v).ok());
  EXPECT_FALSE(rs->MoveNext().ok());
  EXPECT_EQ(rs->FieldIndex("PREZZO"), 1);
  EXPECT_EQ(rs->FieldIndex("Nessuno"), -1);
  ASSERT_TRUE(rs->AddNew().ok());
  ASSERT_TRUE(rs->SetValue(1, Value::Currency(123456)).ok());
  ASSERT_TRUE(rs->SetValue(2, Value::Text("2021-03-04 12:00:00")).ok());
  ASSERT_TRUE(rs->SetValue(3, Value::Binary(std::string("\0\1\2", 3))).ok());
  ASSERT_TRUE(rs->SetValue(4, Value::Text("")).ok());
  ASSERT_TRUE(rs->GetValue(1, &v).ok());  // the pending value shows before Update
  EXPECT_EQ(v.integer(), 123456);
  ASSERT_TRUE(rs->Update().ok());
  EXPECT_FALSE(rs->Eof());
  ASSERT_TRUE(rs->GetValue(1, &v).ok());
  EXPECT_EQ(v.kind(), Value::Kind::kCurrency);
  EXPECT_EQ(v.integer(), 123456);
  ASSERT_TRUE(rs->GetValue(2, &v).ok());
  EXPECT_EQ(v.kind(), Value::Kind::kDate);
  EXPECT_DOUBLE_EQ(v.real(), 44259.5);
  ASSERT_TRUE(rs->GetValue(3, &v).ok());
  EXPECT_EQ(v.kind(), Value::Kind::kBinary);
  EXPECT_EQ(v.text(), std::string("\0\1\2", 3));
  EXPECT_FALSE(rs->SetValue(9, Value::Null()).ok());

  ASSERT_TRUE(conn_->OpenRecordset("VR", kDynamic, kOptimistic, &rs).ok());
  EXPECT_EQ(rs->Field(1).name, "Doppio");
  EXPECT_EQ(rs->Field(1).type, kAdDouble);
  ASSERT_TRUE(rs->GetValue(1, &v).ok());
  EXPECT_DOUBLE_EQ(v.real(), 24.6912);
  EXPECT_FALSE(rs->AddNew().ok());
  EXPECT_FALSE(conn_->OpenRecordset("Nessuna", kDynamic, kOptimistic, &rs).ok());
  EXPECT_FALSE(conn_->OpenRecordset("SELECT * FROM Nessuna", kDynamic, kOptimistic, &rs).ok());
}

TEST_F(ValuesTest, ColumnChangesThatTouchCountersAndDefaults) {
  Run({"CREATE TABLE K (Codice LONG, Nome TEXT(10))", "INSERT INTO K VALUES (5, 'a')",
       "INSERT INTO K VALUES (9, 'b')"});
  // A number column turned into a counter keeps its values and goes on after the largest.
  Run({"ALTER TABLE K ALTER COLUMN Codice COUNTER", "INSERT INTO K (Nome) VALUES ('c')"});
  EXPECT_EQ(Column("SELECT Codice FROM K ORDER BY Codice"),
            (std::vector<std::string>{"5", "9", "10"}));
  EXPECT_TRUE(ColumnOf("K", "Codice").auto_increment);
  Run({"ALTER TABLE K ALTER COLUMN Codice LONG"});
  EXPECT_FALSE(ColumnOf("K", "Codice").auto_increment);
  EXPECT_FALSE(conn_->SetSeed("K", "Codice", 1).ok());
  // A default written as plain text stands for that text.
  ASSERT_TRUE(conn_->SetDefault("K", "Nome", "senza nome").ok());
  Run({"INSERT INTO K (Codice) VALUES (1)"});
  EXPECT_EQ(Text(First("SELECT Nome FROM K WHERE Codice = 1")), "senza nome");
  // Widening a text column keeps its zero-length rule; a trigger of another tool survives.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE Log (msg TEXT); CREATE TRIGGER trk AFTER INSERT ON K "
                             "BEGIN INSERT INTO Log VALUES (NEW.Nome); END",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  Run({"ALTER TABLE K ALTER COLUMN Nome TEXT(50)", "INSERT INTO K VALUES (2, 'lungo nome qui')"});
  EXPECT_EQ(ColumnOf("K", "Nome").defined_size, 50);
  EXPECT_EQ(Column("SELECT msg FROM Log"), std::vector<std::string>{"lungo nome qui"});
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO K VALUES (3, '')"), "zero-length"));
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE K ADD COLUMN Nome2 TEXT(5) CHECK (1)"),
                  "Istruzione SQL non valida."));
}

TEST_F(ValuesTest, PreparedStatementsAndTransactions) {
  Run({"CREATE TABLE I (Id COUNTER PRIMARY KEY, Nome TEXT(10), Quando DATETIME, Ok YESNO)"});
  std::unique_ptr<Statement> ins;
  ASSERT_TRUE(conn_->Prepare("INSERT INTO [I] (Nome, Quando, Ok) VALUES (?, ?, ?)", &ins).ok());
  ASSERT_TRUE(conn_->BeginTrans().ok());
  ASSERT_TRUE(ins->Execute({Value::Text("a"), Value::Integer(44197), Value::Integer(-1)}).ok());
  // A failing row undoes only itself.
  EXPECT_TRUE(Has(ins->Execute({Value::Text(""), Value::Null(), Value::Null()}), "zero-length"));
  EXPECT_FALSE(ins->Execute({Value::Text("b")}).ok());
  ASSERT_TRUE(ins->Execute({Value::Text("b"), Value::Double(44197.5), Value::Integer(0)}).ok());
  // Schema work inside the transaction becomes part of it.
  Run({"CREATE INDEX ixNome ON I (Nome)"});
  ASSERT_TRUE(conn_->CommitTrans().ok());
  EXPECT_EQ(Column("SELECT Id & Nome & Format(Quando, 'yyyy hh') & Ok FROM I ORDER BY Id"),
            (std::vector<std::string>{"1a2021 00-1", "2b2021 120"}));
  ASSERT_TRUE(conn_->BeginTrans().ok());
  ASSERT_TRUE(ins->Execute({Value::Text("c"), Value::Null(), Value::Null()}).ok());
  EXPECT_FALSE(conn_->Execute("ALTER TABLE I ALTER COLUMN Nome TEXT(20)").ok());
  ASSERT_TRUE(conn_->RollbackTrans().ok());
  EXPECT_EQ(Text(First("SELECT count(*) FROM I")), "2");
  EXPECT_FALSE(conn_->Prepare("CREATE TABLE X (a LONG)", &ins).ok());
  EXPECT_EQ(ins, nullptr);
  ASSERT_TRUE(conn_->Prepare("UPDATE I SET Nome = ? WHERE Id = ?", &ins).ok());
  conn_->Close();
  EXPECT_FALSE(ins->Execute({Value::Text("z"), Value::Integer(1)}).ok());
}

}  // namespace
}  // namespace mlx::db::testing
