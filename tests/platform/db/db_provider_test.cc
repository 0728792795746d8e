// The provider's work on whole files: snapshots, a consistent copy of a database into a new file
// with the source left untouched; and long statements, which report to the provider's progress
// sink and end when it says the user asked to stop: undone, with the database as it was.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "platform/progress.h"

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

// Records what it is told; answers "stop" from the given call of Interrupted on.
class RecordingSink : public progress::Sink {
 public:
  void Begin(const progress::Task& task) override { tasks.push_back(task); }
  void Advance(std::int64_t done) override { advances.push_back(done); }
  void End() override { ++ended; }
  bool Interrupted() override { return ++questions >= stop_at; }

  std::vector<progress::Task> tasks;
  std::vector<std::int64_t> advances;
  int ended = 0;
  long questions = 0;
  long stop_at = -1u >> 1;
};

class ProgressTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    provider_->SetProgressSink(&sink_);
    conn_ = Open(path_);
    ASSERT_NE(conn_, nullptr);
    // Rows enough for statements that run many thousands of steps.
    Run({"CREATE TABLE Righe (N LONG, T TEXT(50))",
         "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20000) "
         "INSERT INTO Righe (N, T) SELECT n, 'riga ' || n FROM s"});
    sink_.tasks.clear();
    sink_.advances.clear();
  }
  void TearDown() override {
    conn_.reset();
    DbTest::TearDown();
  }

  std::vector<ColumnInfo> ColumnsOfRighe() {
    std::vector<ColumnInfo> columns;
    EXPECT_TRUE(conn_->Columns("Righe", &columns).ok());
    return columns;
  }

  RecordingSink sink_;
};

TEST_F(ProgressTest, RebuildReportsTheRowsItCopied) {
  // A default on an existing column is set by writing the table again.
  ASSERT_TRUE(conn_->SetDefault("Righe", "N", "7").ok());
  ASSERT_EQ(sink_.tasks.size(), 1u);
  EXPECT_EQ(sink_.tasks[0].kind, progress::Kind::kRebuild);
  EXPECT_EQ(sink_.tasks[0].object, "Righe");
  EXPECT_EQ(sink_.tasks[0].unit, progress::Unit::kRows);
  EXPECT_EQ(sink_.tasks[0].total, 20000);
  EXPECT_EQ(sink_.ended, 1);
  // Several reports while the copy ran, never going back, ending at every row.
  ASSERT_GT(sink_.advances.size(), 2u);
  EXPECT_TRUE(std::is_sorted(sink_.advances.begin(), sink_.advances.end()));
  EXPECT_GT(sink_.advances[sink_.advances.size() / 2], 0);
  EXPECT_EQ(sink_.advances.back(), 20000);
}

TEST_F(ProgressTest, CompactionShowsItsSizeAndCountsNothing) {
  conn_->Close();
  ASSERT_TRUE(provider_->Compact(path_).ok());
  ASSERT_EQ(sink_.tasks.size(), 1u);
  EXPECT_EQ(sink_.tasks[0].kind, progress::Kind::kCompact);
  EXPECT_EQ(sink_.tasks[0].unit, progress::Unit::kPages);
  EXPECT_GT(sink_.tasks[0].total, 10);
  EXPECT_FALSE(sink_.tasks[0].counted);
  EXPECT_TRUE(sink_.advances.empty());
  EXPECT_EQ(sink_.ended, 1);
}

TEST_F(ProgressTest, InterruptedStatementsAreUndone) {
  sink_.stop_at = sink_.questions + 2;
  // A rebuild: the table keeps its rows and gets no default.
  Status st = conn_->SetDefault("Righe", "N", "7");
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(st.number(), err::kInterrupted) << st.description();
  EXPECT_EQ(ColumnsOfRighe()[0].default_value, "");
  EXPECT_EQ(sink_.ended, 1);

  // A plain statement.
  sink_.questions = 0;
  sink_.stop_at = 2;
  st = conn_->Execute("UPDATE Righe SET T = 'cambiata'");
  EXPECT_EQ(st.number(), err::kInterrupted) << st.description();

  // A compaction.
  conn_->Close();
  sink_.questions = 0;
  st = provider_->Compact(path_);
  EXPECT_EQ(st.number(), err::kInterrupted) << st.description();

  // Nothing of it stayed, and the database works.
  sink_.stop_at = -1u >> 1;
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Text(First("SELECT COUNT(*) FROM Righe WHERE T LIKE 'riga *'")), "20000");
  EXPECT_TRUE(conn_->SetDefault("Righe", "N", "7").ok());
}

}  // namespace
}  // namespace mlx::db::testing
