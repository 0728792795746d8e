// Column type changes: the values already there are converted to the new type as Jet converts
// them, or the change is refused with a description naming the field and the first value that
// does not fit, and the table stays exactly as it was.
#include "fixture.h"

namespace mlx::db::testing {
namespace {

class TypeChangeTest : public DbTest {
 protected:
  // A fresh table T (Id, v of the given type) with one row per value (SQL literals), in order.
  void Fill(const std::string& type, const std::vector<std::string>& values) {
    (void)conn_->Execute("DROP TABLE T");  // absent the first time
    Run({"CREATE TABLE T (Id COUNTER PRIMARY KEY, v " + type + ")"});
    for (const auto& value : values) Run({"INSERT INTO T (v) VALUES (" + value + ")"});
  }
  Status Change(const std::string& type) {
    return conn_->Execute("ALTER TABLE T ALTER COLUMN v " + type);
  }
  std::vector<std::string> Values() { return Column("SELECT v FROM T ORDER BY Id"); }
  static std::string Refused(const std::string& value, const std::string& why) {
    return "Impossibile cambiare il tipo del campo 'T.v': il valore '" + value + "' " + why + ".";
  }
};

using Strings = std::vector<std::string>;

std::string Range(const std::string& type) { return "è fuori dall'intervallo di " + type; }
std::string NotA(const std::string& type) { return "non è convertibile in " + type; }
std::string Longer(int size) { return "è più lungo di " + std::to_string(size) + " caratteri"; }

// Each case: a column of one type with these values (SQL literals) changed to another; what the
// values become (the layer's text of each, "|" between them) or the description of the refusal.
TEST_F(TypeChangeTest, ValuesConvertOrTheFirstThatDoesNotIsNamed) {
  struct Case {
    const char* from;
    Strings values;
    const char* to;
    std::string want;
  };
  const std::string x80 = "'" + std::string(80, 'x') + "'";
  const Case cases[] = {
      // Numbers become whole numbers rounded half to even, within the range of the new type.
      {"DOUBLE", {"2.25", "2.5", "3.5", "-2.5", "Null", "-0.4"}, "LONG", "2|2|4|-2|<null>|0"},
      {"DOUBLE", {"255.5"}, "BYTE", Refused("255.5", Range("BYTE"))},  // 256 after rounding
      {"DOUBLE", {"255.49", "-0.5"}, "BYTE", "255|0"},
      {"LONG", {"-32768", "32767", "40000"}, "SHORT", Refused("40000", Range("SHORT"))},
      {"DOUBLE", {"-2147483648.4", "2147483647.5"}, "INTEGER",
       Refused("2147483647.5", Range("LONG"))},
      {"YESNO", {"False", "True"}, "BYTE", Refused("-1", Range("BYTE"))},  // Yes is -1
      {"LONG", {"9223372036854775807", "-9223372036854775808"}, "BIGINT",
       "9223372036854775807|-9223372036854775808"},
      // Texts become numbers only when they are numbers; words in a value are not taken for an
      // error of the statement.
      {"TEXT(20)", {"' 42 '", "'-7.5'", "'1e3'", "'+3'", "Null"}, "LONG", "42|-8|1000|3|<null>"},
      {"TEXT(20)", {"' 3.25'", "'-0.5 '"}, "DOUBLE", "3.25|-0.5"},
      {"TEXT(20)", {"'near: syntax error'"}, "LONG", Refused("near: syntax error", NotA("LONG"))},
      {"TEXT(20)", {"'1e39'"}, "SINGLE", Refused("1e39", Range("SINGLE"))},
      // Currency, decimal and Yes/No.
      {"DOUBLE", {"1.23456", "12.00004", "-2.5", "7"}, "CURRENCY", "12346c|120000c|-25000c|70000c"},
      {"TEXT(10)", {"'123.456'", "'-0.125'"}, "DECIMAL(5,2)", "123.46|-0.12"},
      {"DOUBLE", {"999.994", "999.996"}, "DECIMAL(5,2)", Refused("999.996", Range("DECIMAL(5,2)"))},
      {"LONG", {"5", "0", "-3", "Null"}, "YESNO", "True|False|True|<null>"},
      {"YESNO", {"True", "False", "Null"}, "TEXT(5)", "-1|0|<null>"},
      {"TEXT(10)", {"'Vero'", "' 0 '", "'forse'"}, "YESNO", Refused("forse", NotA("YESNO"))},
      // Dates become the text the dialect gives a date, and date texts become dates.
      {"DATETIME", {"#2024-03-15 14:30#", "#2024-03-15#", "#14:30#", "Null"}, "TEXT(30)",
       "15/03/2024 14:30:00|15/03/2024|14:30:00|<null>"},
      {"DATETIME", {"#2024-03-15 14:30#"}, "TEXT(10)",
       Refused("15/03/2024 14:30:00", Longer(10))},
      {"DATETIME", {"#2024-03-15 14:30#"}, "LONG", "45367"},
      {"TEXT(30)", {"'15/03/2024'", "'domani'"}, "DATETIME", Refused("domani", NotA("DATETIME"))},
      {"DOUBLE", {"45366.5", "1e7"}, "DATETIME", Refused("10000000", Range("DATETIME"))},
      // Texts must fit a smaller size; a long value is named by its beginning.
      {"MEMO", {x80}, "TEXT(10)", Refused(std::string(50, 'x') + "...", Longer(10))},
      {"LONG", {"12345", "123456"}, "TEXT(5)", Refused("123456", Longer(5))},
      {"DOUBLE", {"1.5", "-0.25"}, "TEXT(5)", "1.5|-0.25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + c.values[0] + " -> " + c.to);
    Fill(c.from, c.values);
    const Status st = Change(c.to);
    if (c.want.starts_with("Impossibile")) {
      EXPECT_EQ(st.description(), c.want);
      continue;
    }
    ASSERT_TRUE(st.ok()) << st.description();
    std::string values;
    for (const std::string& v : Values()) values += (values.empty() ? "" : "|") + v;
    EXPECT_EQ(values, c.want);
  }
}

// What a converted value is stored as, not only how it reads.
TEST_F(TypeChangeTest, ConvertedValuesAreStoredAsTheirType) {
  Fill("DOUBLE", {"2.5", "Null"});
  ASSERT_TRUE(Change("LONG").ok());
  EXPECT_EQ(ColumnOf("T", "v").type, kAdInteger);
  EXPECT_EQ(Raw("SELECT typeof(v) FROM T ORDER BY Id"), "integer|null");
  Fill("TEXT(20)", {"' 3.25'"});
  ASSERT_TRUE(Change("DOUBLE").ok());
  EXPECT_EQ(Raw("SELECT typeof(v) FROM T"), "real");
  Fill("LONG", {"5", "0"});
  ASSERT_TRUE(Change("YESNO").ok());
  EXPECT_EQ(Raw("SELECT v FROM T ORDER BY Id"), "-1|0");
  Fill("TEXT(30)", {"'2024-03-15 14:30'", "' 15/03/2024 '", "'14:30'"});
  ASSERT_TRUE(Change("DATETIME").ok());
  EXPECT_EQ(Column("SELECT Format(v, 'yyyy-mm-dd hh:nn') FROM T ORDER BY Id"),
            (Strings{"2024-03-15 14:30", "2024-03-15 00:00", "1899-12-30 14:30"}));
  EXPECT_EQ(Raw("SELECT count(*) FROM T WHERE typeof(v) = 'text'"), "0");
}

TEST_F(TypeChangeTest, TextsThatAreNoNumbersAreNamedAndNothingChanges) {
  for (const char* text : {"", " ", "0x1A", "12abc", "1 2", "inf", "nan", "1,5", "1e", "."}) {
    Fill("TEXT(20)", {});
    ASSERT_TRUE(conn_->SetAllowZeroLength("T", "v", true).ok());
    Run({"INSERT INTO T (v) VALUES ('" + std::string(text) + "')"});
    EXPECT_EQ(Change("DOUBLE").description(), Refused(text, NotA("DOUBLE"))) << text;
  }
  // The first value that does not convert is named.
  Run({"CREATE TABLE Clienti (Codice TEXT(10))", "INSERT INTO Clienti VALUES ('12')",
       "INSERT INTO Clienti VALUES ('ABC')", "INSERT INTO Clienti VALUES ('XYZ')"});
  EXPECT_EQ(conn_->Execute("ALTER TABLE Clienti ALTER COLUMN Codice LONG").description(),
            "Impossibile cambiare il tipo del campo 'Clienti.Codice': il valore 'ABC' non è "
            "convertibile in LONG.");
  // A refused size leaves the column as it was; characters are code points: five accented
  // letters fit five characters.
  Fill("TEXT(60)", {"'corto'", "'sedici caratteri'", "'àèìòù'", "Null"});
  EXPECT_EQ(Change("TEXT(5)").description(), Refused("sedici caratteri", Longer(5)));
  EXPECT_EQ(ColumnOf("T", "v").defined_size, 60);
  Run({"UPDATE T SET v = 'sei' WHERE Id = 2"});
  ASSERT_TRUE(Change("TEXT(5)").ok());
  EXPECT_EQ(Values(), (Strings{"corto", "sei", "àèìòù", "<null>"}));
  EXPECT_EQ(ColumnOf("T", "v").defined_size, 5);
}

TEST_F(TypeChangeTest, ARefusedChangeLeavesTheTableExactlyAsItWas) {
  Run({"CREATE TABLE Cat (Id COUNTER CONSTRAINT pkCat PRIMARY KEY, Nome TEXT(20))",
       "CREATE TABLE Art (Id COUNTER CONSTRAINT pkArt PRIMARY KEY, CatId LONG, Codice TEXT(10), "
       "Note TEXT(20) DEFAULT 'nessuna', CONSTRAINT fk FOREIGN KEY (CatId) REFERENCES Cat (Id) "
       "ON DELETE CASCADE)",
       "CREATE TABLE Riga (ArtId LONG, CONSTRAINT fkRiga FOREIGN KEY (ArtId) REFERENCES Art (Id))",
       "CREATE UNIQUE INDEX ixCodice ON Art (Codice)", "INSERT INTO Cat (Nome) VALUES ('c')",
       "INSERT INTO Art (CatId, Codice) VALUES (1, '1')",
       "INSERT INTO Art (CatId, Codice) VALUES (1, '1.0')",
       "INSERT INTO Art (CatId, Codice) VALUES (1, 'x')", "INSERT INTO Riga VALUES (1)",
       "CREATE VIEW Codici AS SELECT Codice FROM Art WHERE Codice <> 'x'"});
  ASSERT_TRUE(conn_->SetSeed("Art", "Id", 50).ok());
  ASSERT_TRUE(conn_->SetAllowZeroLength("Art", "Codice", true).ok());
  auto snapshot = [&] {
    return Raw("SELECT type || ' ' || name || ' ' || ifnull(sql, '') FROM sqlite_schema "
               "ORDER BY name") +
           "\n" + Raw("SELECT tbl || col || ifnull(allow_zero_length, '-') || "
                      "ifnull(default_text, '-') FROM __mlx_columns ORDER BY 1") +
           "\n" + Raw("SELECT tbl || col || seed || inc || guard FROM __mlx_counters ORDER BY 1") +
           "\n" + Raw("SELECT tbl || name || sqlite_name || is_primary || nulls FROM "
                      "__mlx_indexes ORDER BY 1") +
           "\n" + Raw("SELECT name || tbl || ref_tbl || cols FROM __mlx_relations ORDER BY 1") +
           "\n" + Raw("SELECT name || jet_sql FROM __mlx_views ORDER BY 1") + "\n" +
           Raw("SELECT rowid || Id || CatId || Codice || typeof(Codice) || Note FROM Art");
  };
  const std::string before = snapshot();
  // A value that does not convert, then values that convert but collide in the unique index.
  EXPECT_EQ(conn_->Execute("ALTER TABLE Art ALTER COLUMN Codice LONG").description(),
            "Impossibile cambiare il tipo del campo 'Art.Codice': il valore 'x' non è "
            "convertibile in LONG.");
  EXPECT_EQ(snapshot(), before);
  Run({"DELETE FROM Art WHERE Codice = 'x'"});
  const std::string without_x = snapshot();
  EXPECT_TRUE(Has(conn_->Execute("ALTER TABLE Art ALTER COLUMN Codice LONG"), "UNIQUE"));
  EXPECT_EQ(snapshot(), without_x);
  // Null in a column made NOT NULL.
  Run({"UPDATE Art SET Codice = Null WHERE Id = 2"});
  const std::string with_null = snapshot();
  EXPECT_EQ(conn_->Execute("ALTER TABLE Art ALTER COLUMN Codice TEXT(10) NOT NULL").description(),
            "Impossibile cambiare il campo 'Art.Codice': contiene valori Null.");
  EXPECT_EQ(snapshot(), with_null);
  // The rules still hold, foreign keys included.
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Riga VALUES (99)"), "FOREIGN KEY"));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO Art (CatId, Codice) VALUES (1, '1')"), "UNIQUE"));
  Run({"INSERT INTO Art (CatId, Codice) VALUES (1, '')"});
  EXPECT_EQ(Text(First("SELECT max(Id) FROM Art")), "50");
  EXPECT_EQ(Raw("PRAGMA integrity_check"), "ok");
}

TEST_F(TypeChangeTest, AConvertedColumnKeepsItsUniqueIndexAndCounter) {
  Fill("TEXT(10)", {"' 7 '", "'12'"});
  Run({"CREATE UNIQUE INDEX ixV ON T (v)", "ALTER TABLE T ALTER COLUMN v LONG"});
  EXPECT_EQ(Values(), (Strings{"7", "12"}));
  EXPECT_TRUE(Has(conn_->Execute("INSERT INTO T (v) VALUES (12)"), "UNIQUE"));

  // Texts turned into a counter: the next number comes after the largest number, not after
  // the largest text ('7' > '12').
  Run({"CREATE TABLE K (Codice TEXT(10), Nome TEXT(10))", "INSERT INTO K VALUES ('7', 'a')",
       "INSERT INTO K VALUES ('12', 'b')", "ALTER TABLE K ALTER COLUMN Codice COUNTER",
       "INSERT INTO K (Nome) VALUES ('c')"});
  EXPECT_EQ(Column("SELECT Codice FROM K ORDER BY Nome"), (Strings{"7", "12", "13"}));
}

}  // namespace
}  // namespace mlx::db::testing
