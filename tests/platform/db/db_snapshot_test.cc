// Snapshots: a consistent copy of a database into a new file, with the source left untouched.
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using SnapshotTest = DbTest;

TEST_F(SnapshotTest, CopiesEverythingAndLeavesTheSourceAsItWas) {
  Run({"CREATE TABLE T (ID COUNTER PRIMARY KEY, Nome TEXT(20))",
       "INSERT INTO T (Nome) VALUES ('a')", "INSERT INTO T (Nome) VALUES ('b')",
       "CREATE INDEX IxNome ON T (Nome)"});
  ASSERT_TRUE(conn_->AppendView("Q", "SELECT Nome FROM T").ok());
  conn_->Close();
  const std::string before = ReadAll(path_);
  const std::string copy = dir_ + "/copy.db";
  Provider::SnapshotInfo info;
  long last_done = -1, last_total = 0;
  Status st = provider_->Snapshot(path_, copy, &info, [&](long done, long total) {
    last_done = done;
    last_total = total;
  });
  ASSERT_TRUE(st.ok()) << st.description();
  EXPECT_EQ(ReadAll(path_), before);
  EXPECT_EQ(Files(), (std::vector<std::string>{"copy.db", "test.mdb"}));
  EXPECT_FALSE(info.waited);
  EXPECT_EQ(info.bytes, static_cast<std::int64_t>(ReadAll(copy).size()));
  EXPECT_GT(last_total, 0);
  EXPECT_EQ(last_done, last_total);

  conn_ = Open(copy);
  EXPECT_EQ(Column("SELECT Nome FROM Q ORDER BY Nome"), (std::vector<std::string>{"a", "b"}));
  std::vector<IndexInfo> indexes;
  ASSERT_TRUE(conn_->Indexes("T", &indexes).ok());
  EXPECT_EQ(indexes.size(), 2u);
  // The copy is a database of its own: changing it leaves the source as it was.
  Run({"INSERT INTO T (Nome) VALUES ('c')"});
  conn_->Close();
  EXPECT_EQ(ReadAll(path_), before);
}

TEST_F(SnapshotTest, RefusesWhatItCannotCopyAndLeavesNoTarget) {
  conn_->Close();
  Provider::SnapshotInfo info;
  const std::string copy = dir_ + "/copy.db";
  EXPECT_FALSE(provider_->Snapshot(dir_ + "/missing.mdb", copy, &info).ok());
  { std::ofstream(dir_ + "/garbage.mdb", std::ios::binary) << std::string(4096, 'x'); }
  Status st = provider_->Snapshot(dir_ + "/garbage.mdb", copy, &info);
  EXPECT_NE(st.description().find("not a database"), std::string::npos) << st.description();
  EXPECT_FALSE(std::filesystem::exists(copy));
  // An existing target is never replaced.
  { std::ofstream(copy) << "mine"; }
  EXPECT_FALSE(provider_->Snapshot(path_, copy, &info).ok());
  EXPECT_EQ(ReadAll(copy), "mine");
}

TEST_F(SnapshotTest, ReadOnlySourceIsCopied) {
  Run({"CREATE TABLE T (a LONG)", "INSERT INTO T VALUES (7)"});
  conn_->Close();
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  Provider::SnapshotInfo info;
  Status st = provider_->Snapshot(path_, dir_ + "/copy.db", &info);
  EXPECT_TRUE(st.ok()) << st.description();
  conn_ = Open(dir_ + "/copy.db");
  EXPECT_EQ(Column("SELECT a FROM T"), (std::vector<std::string>{"7"}));
}

TEST_F(SnapshotTest, WaitsForAWriterAndCopiesItsCommittedState) {
  Run({"CREATE TABLE T (a LONG)", "INSERT INTO T VALUES (1)"});
  conn_->Close();
  // Another program holds the file exclusively in the middle of a write, then commits.
  Plain writer(path_);
  ASSERT_EQ(writer.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
  ASSERT_EQ(writer.Exec("INSERT INTO T VALUES (2)"), SQLITE_OK);
  std::thread commit([&writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writer.Exec("COMMIT");
  });
  Provider::SnapshotInfo info;
  Status st = provider_->Snapshot(path_, dir_ + "/copy.db", &info);
  commit.join();
  ASSERT_TRUE(st.ok()) << st.description();
  EXPECT_TRUE(info.waited);
  conn_ = Open(dir_ + "/copy.db");
  EXPECT_EQ(Column("SELECT a FROM T ORDER BY a"), (std::vector<std::string>{"1", "2"}));
}

}  // namespace
}  // namespace mlx::db::testing
