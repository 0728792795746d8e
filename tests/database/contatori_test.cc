// Counter realignment on real database files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "database/aiuto.h"
#include "database/contatori.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;

class Contatori : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = prova::NuovoDatabase(a_);
    // Four tables: a lagging seed, a seed ahead, an empty one, one without counter; and one
    // whose name has a blank, last in the catalogue's order.
    std::unique_ptr<db::Connection> conn = prova::Apri(a_, db_);
    for (const char* sql :
         {"CREATE TABLE [Con spazio] (N LONG, [Il Numero] COUNTER)",
          "CREATE TABLE Indietro (ID COUNTER PRIMARY KEY, N LONG)",
          "CREATE TABLE Avanti (ID COUNTER PRIMARY KEY, N LONG)",
          "CREATE TABLE Vuota (ID COUNTER PRIMARY KEY, N LONG)", "CREATE TABLE Senza (N LONG)"}) {
      EXPECT_TRUE(conn->Execute(sql).ok()) << sql;
    }
    ASSERT_TRUE(conn->BeginTrans().ok());
    for (int i = 1; i <= 10; ++i) {
      const std::string v = std::to_string(i);
      for (const char* t : {"Indietro (ID", "Avanti (ID", "[Con spazio] ([Il Numero]"}) {
        EXPECT_TRUE(conn->Execute(std::string("INSERT INTO ") + t + ", N) VALUES (" + v + ", 0)").ok());
      }
    }
    ASSERT_TRUE(conn->CommitTrans().ok());
    EXPECT_TRUE(conn->SetSeed("Indietro", "ID", 5).ok());
    EXPECT_TRUE(conn->SetSeed("Avanti", "ID", 50).ok());
    EXPECT_TRUE(conn->SetSeed("Con spazio", "Il Numero", 3).ok());
  }
  std::int64_t Seme(const std::string& tabella) {
    std::vector<db::ColumnInfo> colonne;
    EXPECT_TRUE(prova::Apri(a_, db_)->Columns(tabella, &colonne).ok());
    for (const db::ColumnInfo& c : colonne) {
      if (c.auto_increment) return c.seed;
    }
    return -1;
  }

  Ambiente a_;
  std::string db_;
};

TEST_F(Contatori, AlzaIContatoriIndietroENonAbbassaGliAltri) {
  std::unique_ptr<db::Connection> conn = prova::Apri(a_, db_);
  EXPECT_TRUE(RiallineaContatori(a_.stato->plat, conn, db_));
  ASSERT_TRUE(conn);
  EXPECT_EQ(conn->State(), 1);
  conn.reset();
  EXPECT_EQ(Seme("Indietro"), 11);
  EXPECT_EQ(Seme("Avanti"), 50);
  EXPECT_EQ(Seme("Vuota"), 1);
  EXPECT_EQ(Seme("Con spazio"), 11);
  EXPECT_EQ(prova::Esegui(a_, db_, "INSERT INTO Indietro (N) VALUES (1)"), "");
  EXPECT_THAT(prova::Righe(a_, db_, "SELECT MAX(ID) FROM Indietro"), ElementsAre("11"));
}

TEST_F(Contatori, ConUnAltroUtenteFallisceERiapreLaConnessione) {
  std::unique_ptr<db::Connection> altro = prova::Apri(a_, db_);
  std::unique_ptr<db::Connection> conn = prova::Apri(a_, db_);
  EXPECT_FALSE(RiallineaContatori(a_.stato->plat, conn, db_));
  ASSERT_TRUE(conn);
  EXPECT_EQ(conn->State(), 1);
  conn.reset();
  altro.reset();
  EXPECT_EQ(Seme("Indietro"), 5);
}

TEST_F(Contatori, ComandoDbfcScriveLaFraseEFunzionaAncheASecco) {
  a_.stato->Dettagli = true;
  std::vector<std::string> frasi;
  a_.stato->StampaDettaglio = [&](const std::string& f) { frasi.push_back(f); };
  a_.Esegui({"MSGN", "*" + db_ + "*", "DBFC", "GET,N,SELECT COUNT(*) FROM Indietro"}, false);
  EXPECT_THAT(frasi, ::testing::Contains("Riallineamento contatori su DataBase " + db_));
  EXPECT_TRUE(a_.ui.dialoghi.empty());
  EXPECT_EQ(Seme("Indietro"), 11);
}

}  // namespace
}  // namespace mlx
