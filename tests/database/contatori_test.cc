// Counter realignment on real database files.
#include "database/contatori.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "database/aiuto.h"

namespace mlx {
namespace {

class Contatori : public prova::ConDatabase {
 protected:
  void SetUp() override {
    ConDatabase::SetUp();
    // A table whose name has a blank comes first; then a lagging seed, a seed ahead, an empty
    // table and one without counter.
    auto conn = prova::Apri(a_, db_);
    for (const char* sql :
         {"CREATE TABLE [Con spazio] (N LONG, [Il Numero] COUNTER)",
          "CREATE TABLE Indietro (ID COUNTER PRIMARY KEY, N LONG)",
          "CREATE TABLE Avanti (ID COUNTER PRIMARY KEY, N LONG)",
          "CREATE TABLE Vuota (ID COUNTER PRIMARY KEY, N LONG)", "CREATE TABLE Senza (N LONG)"}) {
      ASSERT_TRUE(conn->Execute(sql).ok()) << sql;
    }
    for (const char* t : {"Indietro (ID", "Avanti (ID", "[Con spazio] ([Il Numero]"}) {
      for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(conn->Execute(std::string("INSERT INTO ") + t + ", N) VALUES (" +
                                  std::to_string(i) + ", 0)")
                        .ok());
      }
    }
    for (auto [t, c, seme] : {std::tuple("Indietro", "ID", 5), std::tuple("Avanti", "ID", 50),
                              std::tuple("Con spazio", "Il Numero", 3)}) {
      ASSERT_TRUE(conn->SetSeed(t, c, seme).ok());
    }
  }
  std::int64_t Seme(const std::string& tabella) {
    std::vector<db::ColumnInfo> colonne;
    EXPECT_TRUE(prova::Apri(a_, db_)->Columns(tabella, &colonne).ok());
    for (const db::ColumnInfo& c : colonne) {
      if (c.auto_increment) return c.seed;
    }
    return -1;
  }
};

TEST_F(Contatori, AlzaQuelliIndietroENonAbbassaGliAltri) {
  a_.Esegui({"MSGN", "LOGY", "*" + db_ + "*", "DBFC", "GET,N,SELECT COUNT(*) FROM Indietro"});
  EXPECT_TRUE(a_.ui.dialoghi.empty()) << prova::PrimoDialogo(a_);
  EXPECT_EQ(Seme("Con spazio"), 11);
  EXPECT_EQ(Seme("Indietro"), 11);
  EXPECT_EQ(Seme("Avanti"), 50);
  EXPECT_EQ(Seme("Vuota"), 1);
}

TEST_F(Contatori, ConUnAltroUtenteFallisceERiapreLaConnessione) {
  std::unique_ptr<db::Connection> altro = prova::Apri(a_, db_);
  // The other user is reading: the file is locked.
  std::unique_ptr<db::Recordset> lettura;
  ASSERT_TRUE(altro->OpenRecordset("SELECT Id FROM Indietro", db::kForwardOnly, db::kReadOnly,
                                   &lettura).ok());
  std::unique_ptr<db::Connection> conn = prova::Apri(a_, db_);
  EXPECT_FALSE(RiallineaContatori(a_.stato->plat, conn, db_));
  ASSERT_TRUE(conn);
  EXPECT_EQ(conn->State(), 1);
  conn.reset();
  lettura.reset();
  altro.reset();
  EXPECT_EQ(Seme("Indietro"), 5);
}

}  // namespace
}  // namespace mlx
