// Database files: opening and refusing, creation, exclusive work against other processes,
// compaction, and crashes in the middle of a compaction or of a table rebuild.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "fixture.h"

namespace mlx::db::testing {
namespace {

using FilesTest = DbTest;

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(FilesTest, OpeningRefusesWhatIsNotAnSqliteDatabase) {
  auto c = provider_->NewConnection();
  std::string missing = dir_ + "/missing.mdb";
  Status st = c->Open(missing, "", "");
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(c->State(), 0);
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(std::filesystem::exists(missing + ".lock"));

  std::string jet = dir_ + "/old.mdb";
  WriteAll(jet, std::string("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24) + std::string(2000, '\0'));
  st = c->Open(jet, "Admin", "");
  EXPECT_TRUE(Has(st, "Access database file")) << st.description();
  EXPECT_TRUE(Has(provider_->Compact(jet), "Access database file"));
  std::string ace = dir_ + "/new.accdb";
  WriteAll(ace, std::string("\0\1\0\0Standard ACE DB\0", 20) + std::string(2000, '\0'));
  EXPECT_TRUE(Has(c->Open(ace, "", ""), "Access database file"));

  // (Text files, folders and FIFOs are refused in the catalogue of bad input.)
  // An empty file stays empty: it is no database, and is not made into one.
  std::string empty = dir_ + "/empty.mdb";
  WriteAll(empty, "");
  EXPECT_TRUE(Has(c->Open(empty, "", ""), "empty file")) << empty;
  EXPECT_FALSE(provider_->Compact(empty).ok());
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  // A device would make SQLite's open read without end: refused at once.
  EXPECT_TRUE(Has(c->Open("/dev/zero", "", ""), "not a regular file"));
  EXPECT_FALSE(provider_->Compact("/dev/zero").ok());

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

TEST_F(FilesTest, CompactionInPlaceKeepsContentIdentityModeAndOwner) {
  Run({"CREATE TABLE T (Id COUNTER PRIMARY KEY, v TEXT(100))", "BEGIN"});
  for (int i = 0; i < 200; ++i) {
    Run({"INSERT INTO T (v) VALUES ('" + std::string(90, 'a' + i % 26) + "')"});
  }
  Run({"COMMIT", "DELETE FROM T WHERE Id > 10"});
  conn_->Close();
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path_.c_str(), 4321, 4322), 0);
  }
  struct stat before {};
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  ASSERT_TRUE(provider_->Compact(path_).ok());
  struct stat after {};
  ASSERT_EQ(stat(path_.c_str(), &after), 0);
  EXPECT_LT(after.st_size, before.st_size);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, not a replacement
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(Files(), std::vector<std::string>{"test.mdb"});
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Text(First("SELECT count(*) FROM T")), "10");
  EXPECT_EQ(ColumnOf("T", "Id").seed, 201);
  conn_->Close();

  // A file nobody may write is opened for reading only and never compacted, even by root.
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  std::string bytes = ReadAll(path_);
  EXPECT_TRUE(Has(provider_->Compact(path_), "read-only"));
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_EQ(Text(First("SELECT count(*) FROM T")), "10");
  EXPECT_FALSE(conn_->Execute("DELETE FROM T").ok());
  conn_->Close();
  EXPECT_EQ(ReadAll(path_), bytes);
  ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
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

// A child process that keeps the database open until told to go; with `reading`, inside a read
// transaction.
struct Holder {
  pid_t pid = -1;
  int go = -1;
};

Holder HoldOpen(const std::string& path, bool reading) {
  int ready[2], go[2];
  EXPECT_EQ(pipe(ready), 0);
  EXPECT_EQ(pipe(go), 0);
  pid_t pid = fork();
  if (pid == 0) {
    auto c = MakeSqliteProvider()->NewConnection();
    bool ok = c->Open(path, "", "").ok();
    std::unique_ptr<Recordset> rs;
    if (ok && reading) ok = c->OpenRecordset("SELECT a FROM T", kForwardOnly, kReadOnly, &rs).ok();
    char b = ok ? 'y' : 'n';
    (void)!write(ready[1], &b, 1);
    (void)!read(go[0], &b, 1);
    _exit(0);
  }
  char b = 0;
  EXPECT_EQ(read(ready[0], &b, 1), 1);
  EXPECT_EQ(b, 'y');
  close(ready[0]);
  close(ready[1]);
  close(go[0]);
  return Holder{pid, go[1]};
}

void Release(const Holder& h) {
  char b = 'x';
  EXPECT_EQ(write(h.go, &b, 1), 1);
  close(h.go);
  waitpid(h.pid, nullptr, 0);
}

TEST_F(FilesTest, ExclusiveWorkFailsWhileAnotherConnectionHoldsALock) {
  Run({"CREATE TABLE T (a LONG)", "INSERT INTO T VALUES (1)"});
  conn_->Close();
  Holder reader = HoldOpen(path_, true);
  Status st = provider_->Compact(path_);
  EXPECT_TRUE(Has(st, "in use")) << st.description();
  conn_ = Open(path_);
  ASSERT_NE(conn_, nullptr);
  EXPECT_TRUE(Has(conn_->AcquireExclusive(), "in use"));
  EXPECT_EQ(Text(First("SELECT a FROM T")), "1");  // still shared after the refusal
  conn_->Close();
  Release(reader);
  // Another process with the file open but idle does not stand in the way.
  Holder idle = HoldOpen(path_, false);
  EXPECT_TRUE(provider_->Compact(path_).ok());
  Release(idle);

  // A second connection of the same process reading counts as another user too.
  conn_ = Open(path_);
  auto other = Open(path_);
  std::unique_ptr<Recordset> rs;
  ASSERT_TRUE(other->OpenRecordset("SELECT a FROM T", kForwardOnly, kReadOnly, &rs).ok());
  EXPECT_FALSE(conn_->AcquireExclusive().ok());
  EXPECT_FALSE(provider_->Compact(path_).ok());
  rs->Close();
  other->Close();
  // Once taken, the file is this connection's alone until it closes.
  ASSERT_TRUE(conn_->AcquireExclusive().ok());
  Plain plain(path_);
  EXPECT_EQ(plain.Exec("SELECT count(*) FROM T"), SQLITE_BUSY);
  EXPECT_FALSE(provider_->Compact(path_).ok());
  EXPECT_TRUE(conn_->Execute("INSERT INTO T VALUES (2)").ok());
  conn_->Close();
  EXPECT_EQ(plain.Exec("SELECT count(*) FROM T"), SQLITE_OK);

  // A process killed while it holds a lock leaves none behind.
  Holder killed = HoldOpen(path_, true);
  kill(killed.pid, SIGKILL);
  waitpid(killed.pid, nullptr, 0);
  close(killed.go);
  EXPECT_TRUE(provider_->Compact(path_).ok());
}

// ---------------------------------------------------------------------------------------------
// Crash tests: a child does the work and is killed at a random moment; the database must always
// open, pass the integrity check and hold either the old or the new state.

#ifdef MLX_SANITIZED
constexpr int kKills = 12;  // the sanitizer build checks memory, the normal build the odds
#else
constexpr int kKills = 50;
#endif

class CrashTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    Run({"CREATE TABLE T (Id COUNTER CONSTRAINT pk PRIMARY KEY, v TEXT(40), n LONG)",
         "CREATE INDEX ixV ON T (v)", "CREATE TABLE C (TId LONG, CONSTRAINT fkT FOREIGN KEY (TId) "
         "REFERENCES T (Id) ON DELETE CASCADE)",
         "CREATE VIEW Pari AS SELECT Id FROM T WHERE n Mod 2 = 0", "BEGIN"});
    // Rows enough for the work to take a while: filled by SQLite itself, quickly.
    Run({"WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 15000) "
         "INSERT INTO T (v, n) SELECT 'value ' || i, i FROM s",
         "INSERT INTO C SELECT Id FROM T WHERE Id <= 100", "COMMIT"});
    fingerprint_ = Fingerprint();
    conn_->Close();
    conn_.reset();
  }

  std::string Fingerprint() {
    return Text(First("SELECT count(*) & ':' & sum(n) & ':' & max(Id) & ':' & "
                      "(SELECT count(*) FROM C) & ':' & (SELECT count(*) FROM Pari) FROM T"));
  }

  // Checks the database after a kill; returns the type code of column n.
  int Check() {
    conn_ = Open(path_);
    if (!conn_) return -1;
    EXPECT_EQ(Raw("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Raw("PRAGMA foreign_key_check"), "");
    EXPECT_EQ(Fingerprint(), fingerprint_);
    std::vector<IndexInfo> idx;
    EXPECT_TRUE(conn_->Indexes("T", &idx).ok());
    EXPECT_EQ(idx.size(), 2u);
    std::vector<KeyInfo> keys;
    EXPECT_TRUE(conn_->Keys("C", &keys).ok());
    EXPECT_EQ(keys.size(), 1u);
    int type = ColumnOf("T", "n").type;
    conn_->Close();
    conn_.reset();
    return type;
  }

  // Runs the work in a child and kills it: before the work starts, at a random moment while it
  // runs, or once it has ended. The child reports on a pipe when the work starts and when it
  // ends; the test counts where each kill landed and requires many of them during the work.
  template <typename Work>
  void KillRepeatedly(int kills, Work work) {
    auto run_child = [&](int go, int report) {
      char b = 0;
      if (read(go, &b, 1) != 1) _exit(2);
      (void)!write(report, "S", 1);
      bool ok = work();
      (void)!write(report, "E", 1);
      _exit(ok ? 0 : 1);
    };
    struct Child {
      pid_t pid;
      int go, report;
    };
    auto start_child = [&]() {
      int go[2], report[2];
      EXPECT_EQ(pipe(go), 0);
      EXPECT_EQ(pipe(report), 0);
      pid_t pid = fork();
      if (pid == 0) {
        close(go[1]);
        close(report[0]);
        run_child(go[0], report[1]);
      }
      close(go[0]);
      close(report[1]);
      return Child{pid, go[1], report[0]};
    };
    auto wait_mark = [](const Child& c, char mark) {
      char b = 0;
      while (read(c.report, &b, 1) == 1 && b != mark) {
      }
    };
    // Calibrate: how long one uninterrupted piece of work takes here.
    Child calib = start_child();
    ASSERT_EQ(write(calib.go, "g", 1), 1);
    wait_mark(calib, 'S');
    auto start = std::chrono::steady_clock::now();
    wait_mark(calib, 'E');
    auto full = std::chrono::steady_clock::now() - start;
    int status = 0;
    waitpid(calib.pid, &status, 0);
    close(calib.go);
    close(calib.report);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    long span = std::max<long>(
        1000, static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(full).count()));
    std::mt19937 rng(12345);
    int before = 0, during = 0, after = 0;
    for (int i = 0; i < kills; ++i) {
      Child c = start_child();
      const bool kill_before = i == 0, kill_after = i == kills - 1;
      if (!kill_before) {
        ASSERT_EQ(write(c.go, "g", 1), 1);
        wait_mark(c, 'S');
        if (kill_after) {
          wait_mark(c, 'E');
        } else {
          // Pieces of work differ in length (a rebuild in one direction converts, in the other
          // not; a busy machine slows some): the delays stay in the first four fifths of the
          // expected length, which shrinks whenever a kill came after the end.
          std::uniform_int_distribution<long> within(span / 20, span * 4 / 5);
          std::this_thread::sleep_for(std::chrono::microseconds(within(rng)));
        }
      }
      kill(c.pid, SIGKILL);
      waitpid(c.pid, nullptr, 0);
      close(c.go);
      char rest[4];
      const bool ended = kill_after || read(c.report, rest, sizeof rest) > 0;
      close(c.report);
      if (kill_before) {
        ++before;
      } else if (ended) {
        ++after;
        if (!kill_after) span = std::max<long>(1000, span * 2 / 3);
      } else {
        ++during;
      }
      int type = Check();
      ASSERT_TRUE(type == kAdInteger || type == kAdVarWChar) << "after kill " << i;
    }
    EXPECT_EQ(before, 1);
    EXPECT_GE(during, kills / 3);
    EXPECT_GE(after, 1);
    RecordProperty("kills_before_during_after",
                   std::to_string(before) + "/" + std::to_string(during) + "/" +
                       std::to_string(after));
  }

  std::string fingerprint_;
};

TEST_F(CrashTest, KilledCompactionLeavesTheOldOrTheNewDatabase) {
  KillRepeatedly(kKills, [&] { return MakeSqliteProvider()->Compact(path_).ok(); });
}

TEST_F(CrashTest, KilledRebuildLeavesTheOldOrTheNewTable) {
  // Each child turns column n into the other type; a kill leaves one of the two.
  KillRepeatedly(kKills, [&] {
    auto c = MakeSqliteProvider()->NewConnection();
    if (!c->Open(path_, "", "").ok()) return false;
    std::vector<ColumnInfo> cols;
    if (!c->Columns("T", &cols).ok()) return false;
    bool is_long = cols[2].type == kAdInteger;
    return c->Execute(std::string("ALTER TABLE T ALTER COLUMN n ") + (is_long ? "TEXT(20)" : "LONG"))
        .ok();
  });
}

}  // namespace
}  // namespace mlx::db::testing
