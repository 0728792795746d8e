// Database files: opening and refusing, creation, compaction in place and beside another
// program, and exclusive work against another connection of the same process.
#include <filesystem>
#include <fstream>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using FilesTest = DbTest;

TEST_F(FilesTest, OpeningRefusesWhatIsNotAnSqliteDatabase) {
  auto c = provider_->NewConnection();
  EXPECT_FALSE(c->Open(dir_ + "/missing.mdb", "", "").ok());
  EXPECT_EQ(c->State(), 0);
  EXPECT_EQ(Files(), std::vector<std::string>{"test.mdb"});  // neither the file nor a lock made

  // Another program's database files, and an empty file, which is no database and is not made
  // into one: refused, and left as they were. (Text files, folders and FIFOs are refused in the
  // catalogue of bad input.)
  const struct { const char* name; std::string bytes; const char* why; } refused[] = {
      {"old.mdb", std::string("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24) + std::string(2000, '\0'),
       "Access database file"},
      {"new.accdb", std::string("\0\1\0\0Standard ACE DB\0", 20) + std::string(2000, '\0'),
       "Access database file"},
      {"empty.mdb", "", "empty file"},
  };
  for (const auto& r : refused) {
    const std::string path = dir_ + "/" + r.name;
    std::ofstream(path, std::ios::binary) << r.bytes;
    EXPECT_TRUE(Has(c->Open(path, "Admin", ""), r.why)) << r.name;
    EXPECT_TRUE(Has(provider_->Compact(path), r.why)) << r.name;
    EXPECT_EQ(ReadAll(path), r.bytes) << r.name;
  }

  ASSERT_TRUE(c->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_, "", "").ok());
  EXPECT_EQ(c->State(), 1);
  EXPECT_EQ(c->DataSource(), path_);
  c->Close();
  EXPECT_EQ(c->State(), 0);
  EXPECT_FALSE(c->Execute("SELECT 1").ok());
}

TEST_F(FilesTest, CreationNeverReplacesAFile) {
  Run({"CREATE TABLE T (a LONG)"});
  conn_->Close();
  std::string before = ReadAll(path_);
  EXPECT_TRUE(Has(provider_->CreateDatabase(path_), "already exists"));
  EXPECT_EQ(ReadAll(path_), before);
  EXPECT_FALSE(provider_->CreateDatabase(dir_ + "/no/such/folder/x.mdb").ok());
  std::string fresh = dir_ + "/fresh.mdb";
  ASSERT_TRUE(provider_->CreateDatabase(fresh).ok());
  auto c = Open(fresh);
  ASSERT_NE(c, nullptr);
  std::vector<TableInfo> tables;
  ASSERT_TRUE(c->Tables(&tables).ok());
  EXPECT_TRUE(tables.empty());
  // Nothing but the databases themselves: no lock or work files beside them.
  EXPECT_EQ(Files(), (std::vector<std::string>{"fresh.mdb", "test.mdb"}));
}

TEST(CompactionWorkFileTest, UpperCasesTheFileNameOnly) {
  EXPECT_EQ(CompactionWorkFile("C:\\Dati\\Archivio.mdb"), "C:\\Dati\\ARCHIVIO_BK.MDB");
  EXPECT_EQ(CompactionWorkFile("C:\\Dati\\a.mdb.mdb"), "C:\\Dati\\A_BK.MDB");
  EXPECT_EQ(CompactionWorkFile("/srv/dati/Archivio.MDB"), "/srv/dati/ARCHIVIO_BK.MDB");
  EXPECT_EQ(CompactionWorkFile("base.db"), "BASE.DB_BK.MDB");
}

TEST_F(FilesTest, CompactionInPlaceKeepsTheContentAndTheFile) {
  Run({"CREATE TABLE T (Id COUNTER PRIMARY KEY, v TEXT(100))",
       "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 200) "
       "INSERT INTO T (v) SELECT i || '" + std::string(90, 'v') + "' FROM s",
       "DELETE FROM T WHERE Id > 10"});
  conn_->Close();
  fs::EntryFacts before, after;
  int error = 0;
  ASSERT_TRUE(fs::ExamineEntry(path_, &before, &error));
  ASSERT_TRUE(provider_->Compact(path_).ok());
  ASSERT_TRUE(fs::ExamineEntry(path_, &after, &error));
  EXPECT_LT(after.size, before.size);
  // The same file, not a replacement.
  EXPECT_EQ(after.volume, before.volume);
  EXPECT_EQ(after.index, before.index);
  EXPECT_EQ(Files(), std::vector<std::string>{"test.mdb"});
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Text(First("SELECT count(*) FROM T")), "10");
  EXPECT_EQ(ColumnOf("T", "Id").seed, 201);
  conn_->Close();

  // A file nobody may write is opened for reading only and never compacted, even by root.
  namespace stdfs = std::filesystem;
  const auto writable = stdfs::perms::owner_write | stdfs::perms::group_write |
                        stdfs::perms::others_write;
  stdfs::permissions(path_, writable, stdfs::perm_options::remove);
  std::string bytes = ReadAll(path_);
  EXPECT_TRUE(Has(provider_->Compact(path_), "read-only"));
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Text(First("SELECT count(*) FROM T")), "10");
  EXPECT_FALSE(conn_->Execute("DELETE FROM T").ok());
  conn_->Close();
  EXPECT_EQ(ReadAll(path_), bytes);
}

TEST_F(FilesTest, CompactionBesideAnotherProgramNeverLosesItsWrites) {
  Run({"CREATE TABLE T (a LONG, b TEXT(10))", "INSERT INTO T VALUES (1, 'x')"});
  conn_->Close();
  Plain other(path_);
  // A write transaction in progress: compaction is refused and changes nothing; the other
  // program's commit then stands.
  ASSERT_EQ(other.Exec("BEGIN IMMEDIATE; UPDATE T SET a = 2"), SQLITE_OK);
  Status st = provider_->Compact(path_);
  EXPECT_TRUE(Has(st, "in use")) << st.description();
  ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
  EXPECT_EQ(Raw("SELECT a FROM T"), "2");
  // A read transaction in progress refuses it too.
  ASSERT_EQ(other.Exec("BEGIN; SELECT count(*) FROM T"), SQLITE_OK);
  EXPECT_TRUE(Has(provider_->Compact(path_), "in use"));
  ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
  // A program that merely has the file open sees the compacted file, and what it writes after
  // the compaction lands in the database (not in a file renamed away under it).
  ASSERT_TRUE(provider_->Compact(path_).ok());
  ASSERT_EQ(other.Exec("UPDATE T SET a = 3; INSERT INTO T VALUES (4, 'y')"), SQLITE_OK);
  EXPECT_EQ(Raw("SELECT group_concat(a) FROM T"), "3,4");
}

// A second connection of the same process counts as another user; once taken, the file is
// the connection's alone until it closes.
TEST_F(FilesTest, ExclusiveWorkFailsWhileAnotherConnectionReads) {
  Run({"CREATE TABLE T (a LONG)", "INSERT INTO T VALUES (1)"});
  auto other = Open(path_);
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(other->OpenRecordset("SELECT a FROM T", kForwardOnly, kReadOnly, &rs).ok());
  EXPECT_TRUE(Has(conn_->AcquireExclusive(), "in use"));
  EXPECT_TRUE(Has(provider_->Compact(path_), "in use"));
  EXPECT_EQ(Text(First("SELECT a FROM T")), "1");  // still shared after the refusal
  rs->Close();
  other->Close();
  ASSERT_TRUE(conn_->AcquireExclusive().ok());
  Plain plain(path_);
  EXPECT_EQ(plain.Exec("SELECT count(*) FROM T"), SQLITE_BUSY);
  EXPECT_FALSE(provider_->Compact(path_).ok());
  EXPECT_TRUE(conn_->Execute("INSERT INTO T VALUES (2)").ok());
  conn_->Close();
  EXPECT_EQ(plain.Exec("SELECT count(*) FROM T"), SQLITE_OK);
}

}  // namespace
}  // namespace mlx::db::testing
