// Long statements report to the provider's progress sink and end when it says the user asked
// to stop: undone, with the database as it was.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/progress.h"

namespace mlx::db::testing {
namespace {

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
