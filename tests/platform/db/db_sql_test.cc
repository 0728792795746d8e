// The scripts' SQL dialect on the SQLite layer: statement shapes, expressions, types, values,
// counters, zero-length text, the edges of sizes and the classes of error descriptions.
#include <limits>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using SqlTest = DbTest;

TEST_F(SqlTest, EachJetTypeReportsItsAdoCodeAndSize) {
  Run({"CREATE TABLE T (a TEXT(50), b TEXT, c MEMO, d BYTE, e SHORT, f SMALLINT, g LONG, "
       "h INTEGER, i COUNTER, j SINGLE, k REAL, l DOUBLE, m FLOAT, n CURRENCY, o MONEY, "
       "p DATETIME, q DATE, r YESNO, s BIT, t LOGICAL, u DECIMAL(10,2), v NUMERIC, w CHAR(5), "
       "x LONGBINARY, y GUID, z BINARY(16), aa VARCHAR)"});
  struct Want {
    const char* name;
    int type;
    long size;
  };
  const Want want[] = {
      {"a", 202, 50}, {"b", 203, 536870910}, {"c", 203, 536870910}, {"d", 17, 1}, {"e", 2, 2},
      {"f", 2, 2}, {"g", 3, 4}, {"h", 3, 4}, {"i", 3, 4}, {"j", 4, 4}, {"k", 4, 4}, {"l", 5, 8},
      {"m", 5, 8}, {"n", 6, 8}, {"o", 6, 8}, {"p", 7, 8}, {"q", 7, 8}, {"r", 11, 2}, {"s", 11, 2},
      {"t", 11, 2}, {"u", 131, 19}, {"v", 131, 19}, {"w", 130, 5},
      {"x", 205, 1073741823}, {"y", 72, 16}, {"z", 128, 16}, {"aa", 202, 255}};
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(conn_->OpenRecordset("[T]", kForwardOnly, kReadOnly, &rs).ok());
  ASSERT_EQ(rs->FieldCount(), 27);
  for (const Want& w : want) {
    ColumnInfo c = ColumnOf("T", w.name);
    EXPECT_EQ(c.type, w.type) << w.name;
    EXPECT_EQ(c.defined_size, w.size) << w.name;
    FieldInfo f = rs->Field(rs->FieldIndex(w.name));
    EXPECT_EQ(f.type, w.type) << w.name;
    EXPECT_EQ(f.defined_size, w.size) << w.name;
  }
}

TEST_F(SqlTest, TablesOfOtherToolsGetTheNearestType) {
  Outside({"CREATE TABLE ext (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR(30), note TEXT, "
           "amount REAL, raw BLOB, misc)"});
  EXPECT_EQ(ColumnOf("ext", "id").type, kAdInteger);
  EXPECT_TRUE(ColumnOf("ext", "id").auto_increment);
  EXPECT_EQ(ColumnOf("ext", "name").type, kAdVarWChar);
  EXPECT_EQ(ColumnOf("ext", "name").defined_size, 30);
  EXPECT_EQ(ColumnOf("ext", "note").type, kAdLongVarWChar);
  EXPECT_EQ(ColumnOf("ext", "amount").type, kAdDouble);
  EXPECT_EQ(ColumnOf("ext", "raw").type, kAdLongVarBinary);
  // Text of other tools' tables has no zero-length rule.
  EXPECT_TRUE(ColumnOf("ext", "name").allow_zero_length);
  Run({"INSERT INTO ext (name) VALUES ('')"});
  ASSERT_TRUE(conn_->SetSeed("ext", "id", 100).ok());
  EXPECT_EQ(ColumnOf("ext", "id").seed, 100);
  // A rebuild keeps what another tool declared: the key, its unique constraint, its values.
  Outside({"CREATE TABLE ext2 (code TEXT UNIQUE, n)"});
  Run({"INSERT INTO ext2 VALUES ('a', '7')", "ALTER TABLE ext2 ALTER COLUMN n LONG",
       "ALTER TABLE ext ALTER COLUMN amount CURRENCY", "INSERT INTO ext (name) VALUES ('z')"});
  EXPECT_EQ(Raw("SELECT typeof(n) FROM ext2"), "integer");
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO ext2 VALUES ('a', 1)"), "UNIQUE"));
  EXPECT_EQ(Text(First("SELECT max(id) FROM ext")), "100");
}

TEST_F(SqlTest, ValuesKeepTheirJetMeaning) {
  Run({"CREATE TABLE V (flag YESNO, price CURRENCY, memo MEMO, code TEXT(10), day DATETIME, "
       "ratio DOUBLE)",
       "INSERT INTO V VALUES (True, 12.34567, '00123', '00123', #12/31/2020 13:30#, 2)"});
  // Text(): True/False for Yes/No, "c" after ten-thousandths for currency.
  const char* shown[] = {"True", "123457c", "00123", "00123"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Column("SELECT * FROM V", i).at(0), shown[i]) << i;
  EXPECT_EQ(First("SELECT day FROM V").kind(), Value::Kind::kDate);
  EXPECT_DOUBLE_EQ(First("SELECT day FROM V").real(), 44196.5625);
  EXPECT_EQ(First("SELECT ratio FROM V").kind(), Value::Kind::kDouble);
  EXPECT_EQ(Raw("SELECT typeof(memo) || typeof(flag) || flag FROM V"), "textinteger-1");
}

TEST_F(SqlTest, ATableWithoutColumnsHidesItsPlaceholder) {
  Run({"CREATE TABLE Vuota"});
  std::vector<ColumnInfo> cols;
  ASSERT_TRUE(conn_->Columns("Vuota", &cols).ok());
  EXPECT_TRUE(cols.empty());
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(conn_->OpenRecordset("SELECT * FROM Vuota", kForwardOnly, kReadOnly, &rs).ok());
  EXPECT_EQ(rs->FieldCount(), 0);
  Run({"ALTER TABLE Vuota ADD COLUMN A LONG", "INSERT INTO Vuota VALUES (7)"});
  EXPECT_EQ(Column("[Vuota]"), std::vector<std::string>{"7"});
  // Dropping the last column leaves a table without visible columns again.
  Run({"ALTER TABLE Vuota DROP COLUMN A"});
  ASSERT_TRUE(conn_->Columns("Vuota", &cols).ok());
  EXPECT_TRUE(cols.empty());
  EXPECT_TRUE(Has(conn_->Execute("SELECT __mlx_placeholder FROM Vuota"), "no such"));
  // Nor can a relation or an index name it (a relation would keep the table from getting its
  // first column).
  Run({"CREATE TABLE P (Id LONG CONSTRAINT pkP PRIMARY KEY)"});
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE Vuota ADD CONSTRAINT fk FOREIGN KEY "
                                 "(__mlx_placeholder) REFERENCES P (Id)"),
                  "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("CREATE INDEX ix ON Vuota (__mlx_placeholder)"), "non esiste."));
  Run({"ALTER TABLE Vuota ADD COLUMN PId LONG",
       "ALTER TABLE Vuota ADD CONSTRAINT fk FOREIGN KEY (PId) REFERENCES P (Id)"});
  std::vector<KeyInfo> keys;
  ASSERT_TRUE(conn_->Keys("Vuota", &keys).ok());
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].columns[0].first, "PId");
}

TEST_F(SqlTest, ExpressionsOfTheDialect) {
  Run({"CREATE TABLE P (id LONG, nome TEXT(20), cognome TEXT(20), n DOUBLE, d DATETIME)",
       "INSERT INTO P VALUES (1, 'Mario', 'Rossi', 1.5, #1/15/2021#)",
       "INSERT INTO P VALUES (2, 'Anna', Null, 3, #2021-02-01 08:05:09#)",
       "INSERT INTO P VALUES (3, \"Lu&ca\", 'True', -2.5, Null)"});
  // '&' joins texts, takes Null as empty text and binds less tightly than '+'.
  EXPECT_EQ(Column("SELECT nome & ' ' & cognome FROM P ORDER BY id"),
            (std::vector<std::string>{"Mario Rossi", "Anna ", "Lu&ca True"}));
  EXPECT_EQ(Text(First("SELECT id + 1 & 'x' FROM P WHERE id = 1")), "2x");
  EXPECT_EQ(Text(First("SELECT Null & Null")), "<null>");
  EXPECT_EQ(Text(First("SELECT 1.5 & ''")), "1.5");
  // True is -1; text and names that look like keywords are left alone.
  EXPECT_EQ(Text(First("SELECT True")), "-1");
  EXPECT_EQ(Column("SELECT id FROM P WHERE cognome = 'True'"), std::vector<std::string>{"3"});
  EXPECT_EQ(Column("SELECT id FROM P WHERE d < #2/1/2021# ORDER BY id"),
            std::vector<std::string>{"1"});
  EXPECT_EQ(Column("SELECT TOP 2 id FROM P ORDER BY id DESC"),
            (std::vector<std::string>{"3", "2"}));
  EXPECT_EQ(Column("SELECT DISTINCTROW id FROM P WHERE id = 2"), std::vector<std::string>{"2"});
  EXPECT_EQ(Column("SELECT id FROM P WHERE nome LIKE 'm*'"), std::vector<std::string>{"1"});
  EXPECT_EQ(Column("SELECT id FROM P WHERE nome LIKE '_nna'"), std::vector<std::string>{"2"});
  EXPECT_EQ(Column("SELECT id FROM P WHERE nome LIKE '[A-B]*'"), std::vector<std::string>{"2"});
  // Many stars against a long text that nearly matches: answered at once, not by trying every
  // placement of the stars.
  EXPECT_EQ(Column("SELECT count(*) FROM P WHERE printf('%.*c', 5000, 'a') LIKE "
                   "'*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b'"),
            std::vector<std::string>{"0"});
  // Text compares without regard to case, as Jet compares it.
  EXPECT_EQ(Column("SELECT id FROM P WHERE nome = 'MARIO'"), std::vector<std::string>{"1"});
  struct Case {
    const char* expr;
    const char* want;
  };
  const Case cases[] = {
      {"IIf(n > 2, 'big', 'small') FROM P WHERE id = 2", "big"},
      {"Nz(cognome, 'none') FROM P WHERE id = 2", "none"},
      {"Len(nome) FROM P WHERE id = 1", "5"},
      {"Left(nome, 2) & Right(nome, 2) & Mid(nome, 2, 3) FROM P WHERE id = 1", "Maioari"},
      {"UCase('àb') & LCase('CD')", "ÀBcd"},
      {"Val(' 12 3abc')", "123"},
      {"CLng(2.5) & CLng(3.5)", "24"},
      {"Format(d, 'dd/mm/yyyy hh:nn:ss') FROM P WHERE id = 2", "01/02/2021 08:05:09"},
      {"Format(0.256, '0.0%')", "25.6%"},
      {"Year(d) & '-' & Month(d) & '-' & Day(d) FROM P WHERE id = 1", "2021-1-15"},
      {"Format(DateAdd('m', 1, #1/31/2021#), 'yyyy-mm-dd')", "2021-02-28"},
      {"IsNull(cognome) FROM P WHERE id = 2", "-1"},
      {"InStr('abcabc', 'C')", "3"},
      {"5 Mod 3", "2"},
      {"DateDiff('d', #1/1/2021#, #3/1/2021#)", "59"},
      {"DateDiff('m', #1/31/2021#, #2/1/2021#)", "1"},
      {"DateDiff('yyyy', #12/31/2020#, #1/1/2021#)", "1"},
      {"DatePart('q', #8/15/2021#)", "3"},
      {"DatePart('y', #2/1/2021#)", "32"},
      {"Weekday(#1/3/2021#)", "1"},  // a Sunday
      {"Format(DateSerial(2021, 14, 0), 'dd/mm/yyyy')", "31/01/2022"},
      {"Format(TimeSerial(13, 5, 0), 'hh:nn')", "13:05"},
      {"Format(#3/4/2021 14:05:06#, 'General Date')", "04/03/2021 14:05:06"},
      {"Format(#3/4/2021#, 'Long Date')", "giovedì 4 marzo 2021"},
      {"Format(#3/4/2021 14:05:06#, 'Medium Time')", "02:05 PM"},
      {"Format(-1234.567, 'Standard')", "-1,234.57"},
      {"Format(0, '0.00;(0.00);\"zero\"')", "zero"},
      {"Format(-5, '0.00;(0.00)')", "(5.00)"},
      {"Format(-1, 'Yes/No')", "Yes"},
      {"Format('abc', '>')", "ABC"},
      {"Round(2.5) & Round(3.5) & Round(2.3456, 2)", "242.35"},
      {"Round(-2.5)", "-2"},
      {"Int(-2.5) & ',' & Fix(-2.5) & ',' & Sgn(-3)", "-3,-2,-1"},
      {"CCur(1.23456)", "1.2346"},
      {"CDate('2021-03-04') = #3/4/2021#", "1"},
      {"Val('&H1F') + Val('1e2')", "131"},
      {"Mid('àèìòù', 2, 2) & Len('àèìòù')", "èì5"},
      {"InStr(3, 'abcabc', 'b')", "5"},
      {"Chr(65) & Asc('a')", "A97"},
      {"StrComp('abc', 'ABD')", "-1"},
      // Pattern letters alone and around literals; named formats leave other kinds as they are.
      {"Format(#3/4/2021 14:05:06#, 'ddd dd mmm yy')", "gio 04 mar 21"},
      {"Format(#3/4/2021#, 'q w y')", "1 5 63"},
      {"Format(#3/4/2021 14:05:06#, '\"alle\" h\\h nn')", "alle 14h 05"},
      {"Format(#3/4/2021 09:07:00#, 'hh:mm') & ' ' & Format(#3/4/2021#, 'mm/yyyy')",
       "09:07 03/2021"},
      {"Format(#3/4/2021 21:00:00#, 'h AM/PM')", "9 PM"},
      {"Format(1234.5, 'Scientific')", "1.23E+03"},
      {"Format(0, 'On/Off') & Format('x', 'On/Off')", "Offx"},
      {"Format('abc', 'Short Date') & Format('abc', 'Fixed')", "abcabc"},
      // The hours around midnight and noon; two-digit years below 30 are of this century.
      {"Hour(#12:30 AM#) & ' ' & Hour(#12:30 PM#) & ' ' & Hour(#1:00 AM#) & ' ' & "
       "Hour(#11:59:59 PM#)",
       "0 12 1 23"},
      {"Year(#1/1/29#) & ' ' & Year(#1/1/30#) & ' ' & Year(#12/31/00#) & ' ' & Year(#1/1/99#)",
       "2029 1930 2000 1999"},
      {"Year(DateSerial(29, 1, 1)) & ' ' & Year(DateSerial(30, 1, 1))", "2029 1930"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(First(std::string("SELECT ") + c.expr)), c.want) << c.expr;
  }
  EXPECT_EQ(Text(First("SELECT Int(Now() - Date())")), "0");
  EXPECT_TRUE(Has(conn_->Execute("SELECT CLng('abc')"), "mismatch"));
  EXPECT_TRUE(Has(conn_->Execute("SELECT CInt(40000)"), "Overflow"));
  EXPECT_TRUE(Has(conn_->Execute("SELECT IIf(1, 2)"), "Istruzione SQL non valida."));
  // The delete shapes of the dialect.
  Run({"DELETE P.* FROM P WHERE id = 1"});
  EXPECT_EQ(Column("SELECT id FROM [P] ORDER BY id"), (std::vector<std::string>{"2", "3"}));
  Run({"DELETE * FROM [P]"});
  EXPECT_TRUE(Column("[P]").empty());
}

TEST_F(SqlTest, CreateTableWithConstraintsDefaultsAndCounters) {
  Run({"CREATE TABLE Cat (Id COUNTER CONSTRAINT pkCat PRIMARY KEY, Nome TEXT(30) NOT NULL, "
       "Attivo YESNO DEFAULT True, Quota CURRENCY DEFAULT 0)",
       "CREATE TABLE Art (Id AUTOINCREMENT(100, 10), CatId LONG, Nome TEXT(30), "
       "CONSTRAINT pkArt PRIMARY KEY (Id), CONSTRAINT uqNome UNIQUE (Nome), "
       "CONSTRAINT fkCat FOREIGN KEY (CatId) REFERENCES Cat (Id) ON DELETE CASCADE)",
       "INSERT INTO Cat (Nome) VALUES ('a')", "INSERT INTO Cat (Nome) VALUES ('b')",
       "INSERT INTO Art (CatId, Nome) VALUES (1, 'x')",
       "INSERT INTO Art (CatId, Nome) VALUES (2, 'y')"});
  EXPECT_EQ(Column("SELECT Id & ':' & Attivo & ':' & Quota FROM Cat ORDER BY Id"),
            (std::vector<std::string>{"1:-1:0", "2:-1:0"}));
  EXPECT_EQ(Column("SELECT Id FROM Art ORDER BY Id"), (std::vector<std::string>{"100", "110"}));
  EXPECT_EQ(ColumnOf("Art", "Id").seed, 120);
  EXPECT_TRUE(ColumnOf("Art", "Id").auto_increment);
  EXPECT_EQ(ColumnOf("Cat", "Attivo").default_value, "True");
  EXPECT_FALSE(ColumnOf("Cat", "Nome").nullable);
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Cat (Id) VALUES (9)"), "NOT NULL"));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Art (CatId, Nome) VALUES (1, 'X')"), "UNIQUE"));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Art (CatId, Nome) VALUES (5, 'z')"), "FOREIGN"));
  Run({"DELETE FROM Cat WHERE Id = 1"});
  EXPECT_EQ(Column("SELECT Nome FROM Art"), std::vector<std::string>{"y"});
  EXPECT_EQ(IndexNames("Art"), (std::vector<std::string>{"pkArt", "uqNome"}));
}

TEST_F(SqlTest, CountersNeverCollideAndTheirSeedReadsBack) {
  Run({"CREATE TABLE C (Nome TEXT(10), N COUNTER)",  // a counter that is not the key
       "INSERT INTO C (Nome) VALUES ('a')", "INSERT INTO C (Nome, N) VALUES ('b', 50)",
       "INSERT INTO C (Nome) VALUES ('c')"});
  EXPECT_EQ(Column("SELECT N FROM C ORDER BY N"), (std::vector<std::string>{"1", "50", "51"}));
  EXPECT_EQ(ColumnOf("C", "N").seed, 52);
  // A seed set low by hand reads back as set, and the next number skips the present values.
  ASSERT_TRUE(conn_->SetSeed("C", "N", 50).ok());
  EXPECT_EQ(ColumnOf("C", "N").seed, 50);
  Run({"INSERT INTO C (Nome) VALUES ('d')"});
  EXPECT_EQ(Text(First("SELECT N FROM C WHERE Nome = 'd'")), "52");
  EXPECT_FALSE(conn_->SetSeed("C", "Nome", 5).ok());
  // A counter added to a table with rows numbers them.
  Run({"CREATE TABLE R (v TEXT(5))", "INSERT INTO R VALUES ('x')", "INSERT INTO R VALUES ('y')",
       "ALTER TABLE R ADD COLUMN Id COUNTER", "INSERT INTO R (v) VALUES ('z')"});
  EXPECT_EQ(Column("SELECT Id FROM R ORDER BY Id"), (std::vector<std::string>{"1", "2", "3"}));
}

// A seed at the largest value present must not hand out a value a row holds; one above it is
// taken as it is. Both kinds of counter: the table's key and a column of its own.
TEST_F(SqlTest, ACounterSeedAtTheLargestValueGoesOnAfterIt) {
  Run({"CREATE TABLE K (Id COUNTER PRIMARY KEY, n LONG)",
       "CREATE TABLE C (k LONG PRIMARY KEY, Num COUNTER)"});
  for (int i = 1; i <= 3; ++i) {
    Run({"INSERT INTO K (n) VALUES (" + std::to_string(i) + ")",
         "INSERT INTO C (k) VALUES (" + std::to_string(i) + ")"});
  }
  const char* tables[][2] = {{"K", "Id"}, {"C", "Num"}};
  for (const auto& [table, column] : tables) {
    SCOPED_TRACE(table);
    const std::string t = table, c = column;
    auto insert_and_read = [&](int k) {
      Run({t == "K" ? "INSERT INTO K (n) VALUES (0)"
                    : "INSERT INTO C (k) VALUES (" + std::to_string(k) + ")"});
      return Text(First("SELECT max(" + c + ") FROM " + t));
    };
    ASSERT_TRUE(conn_->SetSeed(t, c, 3).ok());  // the largest value present
    EXPECT_EQ(insert_and_read(100), "4");
    ASSERT_TRUE(conn_->SetSeed(t, c, 7).ok());  // past it
    EXPECT_EQ(insert_and_read(102), "7");
  }
}

TEST_F(SqlTest, HoursAroundMidnightAndNoon) {
  EXPECT_EQ(Text(First("SELECT Hour(#12:30 AM#) & ' ' & Hour(#12:30 PM#) & ' ' & Hour(#1:00 AM#) "
                       "& ' ' & Hour(#11:59:59 PM#)")),
            "0 12 1 23");
}

TEST_F(SqlTest, TextSizesRunUpTo255) {
  Run({"CREATE TABLE T (a TEXT(255), b CHAR(255))", "ALTER TABLE T ADD COLUMN c TEXT(255)"});
  EXPECT_EQ(ColumnOf("T", "a").defined_size, 255);
  for (const char* sql : {"CREATE TABLE U (a TEXT(256))", "CREATE TABLE U (a CHAR(256))",
                          "ALTER TABLE T ADD COLUMN d TEXT(256)",
                          "ALTER TABLE T ALTER COLUMN a TEXT(256)", "CREATE TABLE U (a TEXT(0))"}) {
    EXPECT_FALSE(conn_->Execute(sql).ok()) << sql;
  }
  EXPECT_EQ(ColumnOf("T", "a").defined_size, 255);
}

// A number in a type past what a 64-bit integer holds: in a statement it makes no type (it
// stopped the program before); in another tool's table a size that large limits nothing.
TEST_F(SqlTest, TypeNumbersPastA64BitInteger) {
  const std::string huge = "99999999999999999999";
  for (const std::string& type : {"TEXT(" + huge + ")", "COUNTER(" + huge + ", 1)",
                                  "COUNTER(1, -" + huge + ")", "DECIMAL(" + huge + ", 2)"}) {
    EXPECT_FALSE(conn_->Execute("CREATE TABLE U (a " + type + ")").ok()) << type;
  }
  Outside({"CREATE TABLE W (a VARCHAR(" + huge + "))"});
  Reopen();
  EXPECT_EQ(ColumnOf("W", "a").defined_size, std::numeric_limits<long>::max());
  Run({"INSERT INTO W (a) VALUES ('" + std::string(300, 'x') + "')"});
  EXPECT_EQ(Text(First("SELECT Len(a) FROM W")), "300");
}

TEST_F(SqlTest, ZeroLengthTextIsRefusedUntilAllowed) {
  Run({"CREATE TABLE Z (a TEXT(5), b MEMO, n LONG)"});
  EXPECT_FALSE(ColumnOf("Z", "a").allow_zero_length);
  Status st = conn_->Execute("INSERT INTO Z (a) VALUES ('')");
  EXPECT_TRUE(Has(st, "zero-length")) << st.description();
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Z (b) VALUES ('')"), "zero-length"));
  Run({"INSERT INTO Z (a) VALUES ('x')"});
  EXPECT_TRUE(Has(conn_->Execute("UPDATE Z SET a = ''"), "zero-length"));
  ASSERT_TRUE(conn_->SetAllowZeroLength("Z", "a", true).ok());
  EXPECT_TRUE(ColumnOf("Z", "a").allow_zero_length);
  Run({"UPDATE Z SET a = ''"});
  EXPECT_FALSE(conn_->SetAllowZeroLength("Z", "n", true).ok());
  // Texts longer than the column's size are refused too.
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Z (a) VALUES ('abcdef')"), "too small"));
}

std::string TooSmall(const std::string& field) {
  return "The field '" + field +
         "' is too small to accept the amount of data you attempted to add.";
}

TEST_F(SqlTest, TextSizeRuleNamesTheFieldAsItIsNow) {
  Run({"CREATE TABLE S (a TEXT(3), m MEMO, n LONG)", "INSERT INTO S VALUES ('abc', 'lungo', 1)"});
  EXPECT_EQ(conn_->Execute("INSERT INTO S (a) VALUES ('abcd')").description(), TooSmall("S.a"));
  // A number written into a text column is measured as the text it is stored as.
  EXPECT_EQ(conn_->Execute("UPDATE S SET a = 12345").description(), TooSmall("S.a"));
  Run({"UPDATE S SET a = 123, m = 'un testo lungo quanto si vuole'"});
  // Renamed column and table are named as they are now; names set free are taken again.
  ASSERT_TRUE(conn_->RenameColumn("S", "a", "b").ok());
  ASSERT_TRUE(conn_->RenameTable("S", "S2").ok());
  EXPECT_EQ(conn_->Execute("INSERT INTO S2 (b) VALUES ('abcd')").description(), TooSmall("S2.b"));
  Run({"CREATE TABLE S (a TEXT(5))", "ALTER TABLE S2 ADD COLUMN a TEXT(2)",
       "INSERT INTO S VALUES ('abcde')"});
  EXPECT_EQ(conn_->Execute("INSERT INTO S VALUES ('abcdef')").description(), TooSmall("S.a"));
  EXPECT_EQ(conn_->Execute("UPDATE S2 SET a = 'abc'").description(), TooSmall("S2.a"));
  // A type change takes the new size, which the texts already there must fit. The zero-length
  // permission leaves the size as it is.
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE S2 ALTER COLUMN b TEXT(2)"), "'S2.b'"));
  Run({"ALTER TABLE S2 ALTER COLUMN b TEXT(3)", "UPDATE S2 SET a = 'x'"});
  EXPECT_EQ(Column("SELECT b FROM S2"), std::vector<std::string>{"123"});
  EXPECT_EQ(conn_->Execute("UPDATE S2 SET b = 'abcd'").description(), TooSmall("S2.b"));
  Run({"ALTER TABLE S2 ALTER COLUMN b TEXT(6)", "UPDATE S2 SET b = 'abcdef'"});
  EXPECT_EQ(conn_->Execute("UPDATE S2 SET b = 'abcdefg'").description(), TooSmall("S2.b"));
  ASSERT_TRUE(conn_->SetAllowZeroLength("S2", "b", true).ok());
  Run({"UPDATE S2 SET b = ''"});
  EXPECT_EQ(conn_->Execute("UPDATE S2 SET b = 'abcdefg'").description(), TooSmall("S2.b"));
  // A column whose default is too long for the rows already there is not added.
  EXPECT_EQ(conn_->Execute("ALTER TABLE S2 ADD COLUMN d TEXT(2) DEFAULT 'xyz'").description(),
            TooSmall("S2.d"));
  EXPECT_TRUE(Has(conn_->Execute("SELECT d FROM S2"), "no such column"));
  EXPECT_EQ(Column("SELECT b & '/' & a & '/' & n FROM S2"), std::vector<std::string>{"/x/1"});
}

TEST_F(SqlTest, PreparedInsertsMeasureTextsAndKeepThemWhole) {
  Run({"CREATE TABLE P (t TEXT(3), m MEMO)"});
  std::unique_ptr<Statement> ins;
  ASSERT_TRUE(conn_->Prepare("INSERT INTO P VALUES (?, ?)", &ins).ok());
  EXPECT_EQ(ins->Execute({Value::Text("abcd"), Value::Null()}).description(), TooSmall("P.t"));
  ASSERT_TRUE(ins->Execute({Value::Text("abc"), Value::Text("lungo")}).ok());
  // A text holding a NUL is stored with all its bytes.
  ASSERT_TRUE(
      ins->Execute({Value::Text(std::string("a\0b", 3)), Value::Text(std::string("x\0yz", 4))})
          .ok());
  EXPECT_EQ(Column("SELECT length(CAST(t AS BLOB)) & '/' & length(CAST(m AS BLOB)) FROM P "
                   "ORDER BY rowid"),
            (std::vector<std::string>{"3/5", "3/4"}));
}

TEST_F(SqlTest, TablesWrittenWithTheSizeRuleInTheirTriggerKeepIt) {
  Run({"CREATE TABLE Base (x LONG)"});
  Outside({"CREATE TABLE V (\"t\" VARCHAR(3) COLLATE NOCASE)",
           "INSERT INTO __mlx_columns VALUES ('V', 't', 0, NULL)"});
  // Rewriting the guard triggers puts the rule there, as the table has no check for it.
  ASSERT_TRUE(conn_->SetAllowZeroLength("V", "t", true).ok());
  EXPECT_EQ(conn_->Execute("INSERT INTO V VALUES ('abcd')").description(), TooSmall("V.t"));
  Run({"INSERT INTO V VALUES ('')", "ALTER TABLE V ALTER COLUMN t TEXT(4)",
       "INSERT INTO V VALUES ('abcd')"});
  EXPECT_EQ(conn_->Execute("INSERT INTO V VALUES ('abcde')").description(), TooSmall("V.t"));
}

TEST_F(SqlTest, ErrorDescriptionsFallInTheirClasses) {
  Run({"CREATE TABLE E (a LONG)", "CREATE INDEX ix ON E (a)"});
  EXPECT_TRUE(Has(conn_->Execute("CREATE TABLE E (b LONG)"), "already exists"));
  EXPECT_TRUE(Has(conn_->Execute("CREATE TABLE [e]"), "already exists"));
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE E ADD COLUMN A TEXT(5)"), "already exists"));
  EXPECT_TRUE(Has(conn_->Execute("CREATE INDEX ix ON E (a)"), "already exists"));
  EXPECT_TRUE(Has(conn_->Execute("DROP TABLE Nessuna"), "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE Nessuna ADD COLUMN x LONG"), "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE E DROP COLUMN nessuno"), "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE E ALTER COLUMN nessuno LONG"), "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("DROP INDEX nessuno ON E"), "non esiste."));
  EXPECT_TRUE(Has(conn_->Execute("SELEKT * FROM E"), "Istruzione SQL non valida."));
  EXPECT_TRUE(Has(conn_->Execute("CREATE TABLE X (a NOTATYPE)"), "Istruzione SQL non valida."));
  EXPECT_TRUE(Has(conn_->Execute("UPDATE E SET a = 'x"), "Istruzione SQL non valida."));
  EXPECT_TRUE(Has(conn_->Execute(""), "Istruzione SQL non valida."));
  // Other failures keep their own text and fall in none of the classes.
  Status st = conn_->Execute("SELECT nessuna FROM E");
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(st.description().find("non esiste."), std::string::npos);
  EXPECT_EQ(st.number(), err::kDatabase);
  EXPECT_TRUE(Has(conn_->Execute("DELETE FROM E; DROP TABLE E"), "end of SQL statement"));
}

TEST_F(SqlTest, RecordsetsInsertAndChangeRows) {
  Run({"CREATE TABLE S (Id COUNTER PRIMARY KEY, DataAgg TEXT(8), MLX TEXT(127), Eseguito LOGICAL)",
       "INSERT INTO S (DataAgg, MLX, Eseguito) VALUES ('20200101', 'a.txt', False)",
       "INSERT INTO S (DataAgg, MLX, Eseguito) VALUES ('20200102', 'b.txt', False)"});
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(conn_->OpenRecordset("SELECT * FROM S WHERE DataAgg <= '20200101' AND NOT Eseguito "
                                   "ORDER BY DataAgg",
                                   kDynamic, kOptimistic, &rs).ok());
  ASSERT_FALSE(rs->Eof());
  int flag = rs->FieldIndex("eseguito");
  ASSERT_GE(flag, 0);
  ASSERT_TRUE(rs->SetValue(flag, Value::Boolean(true)).ok());
  ASSERT_TRUE(rs->Update().ok());
  ASSERT_TRUE(rs->MoveNext().ok());
  EXPECT_TRUE(rs->Eof());
  rs->Close();
  EXPECT_EQ(Column("SELECT Eseguito FROM S ORDER BY Id"),
            (std::vector<std::string>{"True", "False"}));

  ASSERT_TRUE(conn_->OpenRecordset("[S]", kDynamic, kOptimistic, &rs).ok());
  ASSERT_TRUE(rs->AddNew().ok());
  ASSERT_TRUE(rs->SetValue(rs->FieldIndex("MLX"), Value::Text("c.txt")).ok());
  ASSERT_TRUE(rs->Update().ok());
  Value id;
  ASSERT_TRUE(rs->GetValue(rs->FieldIndex("Id"), &id).ok());
  EXPECT_EQ(id.integer(), 3);  // the counter's value shows on the new current row
  // A failed insertion reports the table's rule.
  ASSERT_TRUE(rs->AddNew().ok());
  ASSERT_TRUE(rs->SetValue(rs->FieldIndex("MLX"), Value::Text("")).ok());
  EXPECT_TRUE(Has(rs->Update(), "zero-length"));
  rs->Close();

  ASSERT_TRUE(conn_->OpenRecordset("[S]", kForwardOnly, kReadOnly, &rs).ok());
  EXPECT_FALSE(rs->AddNew().ok());
  ASSERT_TRUE(conn_->OpenRecordset("SELECT count(*) FROM S", kDynamic, kOptimistic, &rs).ok());
  EXPECT_EQ(rs->Field(0).type, kAdInteger);
  EXPECT_FALSE(rs->SetValue(0, Value::Integer(1)).ok());
  // Closing the connection closes its recordsets.
  conn_->Close();
  EXPECT_FALSE(rs->IsOpen());
  EXPECT_FALSE(rs->MoveNext().ok());
}

TEST_F(SqlTest, BookkeepingNeverShows) {
  Run({"CREATE TABLE A (x TEXT(5), n COUNTER)", "CREATE INDEX PrimaryKey ON A (x) WITH PRIMARY"});
  std::vector<TableInfo> tables;
  ASSERT_TRUE(conn_->Tables(&tables).ok());
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].name, "A");
  std::unique_ptr<Recordset> rs;
  EXPECT_FALSE(conn_->OpenRecordset("[__mlx_counters]", kForwardOnly, kReadOnly, &rs).ok());
  EXPECT_FALSE(conn_->OpenRecordset("SELECT * FROM __mlx_counters", kForwardOnly, kReadOnly, &rs)
                   .ok());
  EXPECT_FALSE(conn_->Execute("DELETE FROM [__mlx_counters]").ok());
  EXPECT_TRUE(Has(conn_->Execute("CREATE TABLE __mlx_mine (a LONG)"), "non valida"));
}

}  // namespace
}  // namespace mlx::db::testing
