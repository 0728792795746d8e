// Measures, side by side in one run, two pieces of work of the data-access layer against the
// same work done by hand with the sqlite3 shell:
//   (a) a column type change (a table rebuild) of a table of N rows (default 1,000,000);
//   (b) the compaction of a large database, against "sqlite3 FILE VACUUM" of the same file.
// Usage: db_bench [--rows N] [--dir FOLDER] [--runs R]   (needs sqlite3 on the PATH)
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/db/db.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "db_bench: %s\n", what.c_str());
  std::exit(1);
}

void Check(const mlx::Status& st, const std::string& what) {
  if (!st.ok()) Fail(what + ": " + st.description());
}

void Shell(const std::string& db, const std::string& script_file) {
  std::string cmd = "sqlite3 -batch '" + db + "' < '" + script_file + "'";
  if (std::system(cmd.c_str()) != 0) Fail("the sqlite3 shell failed: " + cmd);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Copy(const std::string& from, const std::string& to) {
  fs::remove(to);
  fs::copy_file(from, to);
}

}  // namespace

int main(int argc, char** argv) {
  long rows = 1000000;
  int runs = 3;
  std::string dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    if (opt == "--rows") rows = std::atol(argv[i + 1]);
    else if (opt == "--dir") dir = argv[i + 1];
    else if (opt == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else Fail("unknown option " + opt);
  }
  bool own_dir = dir.empty();
  if (own_dir) {
    char tmpl[] = "/tmp/mlx-db-bench-XXXXXX";
    if (!mkdtemp(tmpl)) Fail("cannot make a temporary folder");
    dir = tmpl;
  }
  if (std::system("sqlite3 -version >/dev/null 2>&1") != 0) Fail("sqlite3 is not on the PATH");
  auto provider = mlx::db::MakeSqliteProvider();

  // The source database, made through the layer: a counter key, an indexed text column and the
  // text column whose type changes.
  std::string base = dir + "/base.mdb";
  fs::remove(base);
  Check(provider->CreateDatabase(base), "create");
  {
    auto c = provider->NewConnection();
    Check(c->Open(base, "", ""), "open");
    Check(c->Execute("CREATE TABLE T (Id COUNTER CONSTRAINT pk PRIMARY KEY, Name TEXT(50), "
                     "Amount TEXT(20), Qty LONG)"),
          "create table");
    Check(c->Execute("CREATE INDEX ixName ON T (Name)"), "create index");
    auto start = Clock::now();
    Check(c->Execute("WITH RECURSIVE s(v) AS (SELECT 1 UNION ALL SELECT v + 1 FROM s WHERE v < " +
                     std::to_string(rows) + ") INSERT INTO T (Id, Name, Amount, Qty) SELECT v, "
                     "'name ' || v, CAST(v % 1000 AS TEXT) || '.25', v % 7 FROM s"),
          "fill");
    std::printf("setup: %ld rows written through the layer in %.2f s\n", rows, Seconds(start));
  }
  std::string hand_rebuild = dir + "/rebuild.sql";
  {
    FILE* f = std::fopen(hand_rebuild.c_str(), "w");
    std::fputs(
        "PRAGMA foreign_keys = OFF;\n"
        "BEGIN IMMEDIATE;\n"
        "CREATE TABLE \"T_new\" (\"Id\" INT, \"Name\" VARCHAR(50) COLLATE NOCASE, "
        "\"Amount\" DOUBLE, \"Qty\" INT, CONSTRAINT \"pk\" PRIMARY KEY (\"Id\"));\n"
        "INSERT INTO \"T_new\" (\"Id\", \"Name\", \"Amount\", \"Qty\") SELECT \"Id\", \"Name\", "
        "\"Amount\", \"Qty\" FROM \"T\";\n"
        "DROP TABLE \"T\";\n"
        "ALTER TABLE \"T_new\" RENAME TO \"T\";\n"
        "CREATE INDEX \"T_ixName\" ON \"T\" (\"Name\");\n"
        "PRAGMA foreign_key_check(\"T\");\n"
        "COMMIT;\n",
        f);
    std::fclose(f);
  }

  // (a) The rebuild, alternating layer and shell on fresh copies.
  std::vector<double> layer_rebuild, shell_rebuild;
  for (int r = 0; r < runs; ++r) {
    std::string a = dir + "/a.mdb", b = dir + "/b.mdb";
    Copy(base, a);
    Copy(base, b);
    auto start = Clock::now();
    {
      auto c = provider->NewConnection();
      Check(c->Open(a, "", ""), "open copy");
      Check(c->Execute("ALTER TABLE T ALTER COLUMN Amount DOUBLE"), "rebuild");
    }
    layer_rebuild.push_back(Seconds(start));
    start = Clock::now();
    Shell(b, hand_rebuild);
    shell_rebuild.push_back(Seconds(start));
  }

  // (b) Compaction of a large database with a third of its rows deleted.
  std::string big = dir + "/big.mdb";
  Copy(base, big);
  {
    auto c = provider->NewConnection();
    Check(c->Open(big, "", ""), "open big");
    Check(c->Execute("DELETE FROM T WHERE Id % 3 = 0"), "delete");
  }
  std::vector<double> layer_compact, shell_compact;
  std::string vacuum = dir + "/vacuum.sql";
  for (int r = 0; r < runs; ++r) {
    std::string a = dir + "/ca.mdb", b = dir + "/cb.mdb";
    Copy(big, a);
    Copy(big, b);
    auto start = Clock::now();
    Check(provider->Compact(a), "compact");
    layer_compact.push_back(Seconds(start));
    FILE* f = std::fopen(vacuum.c_str(), "w");
    std::fprintf(f, "VACUUM;\n");
    std::fclose(f);
    start = Clock::now();
    Shell(b, vacuum);
    shell_compact.push_back(Seconds(start));
  }

  auto size = static_cast<double>(fs::file_size(big)) / (1024.0 * 1024.0);
  std::printf("\n%-44s %10s %10s %8s %6s\n", "work (median of runs)", "layer s", "shell s", "ratio",
              "goal");
  double ra = Median(layer_rebuild) / Median(shell_rebuild);
  double rb = Median(layer_compact) / Median(shell_compact);
  std::printf("%-44s %10.3f %10.3f %8.3f %6s\n",
              ("(a) type change, " + std::to_string(rows) + " rows").c_str(),
              Median(layer_rebuild), Median(shell_rebuild), ra, "1.10");
  char label[96];
  std::snprintf(label, sizeof label, "(b) compaction, %.0f MB", size);
  std::printf("%-44s %10.3f %10.3f %8.3f %6s\n", label, Median(layer_compact),
              Median(shell_compact), rb, "1.05");
  std::printf("runs: %d; both compact in place with VACUUM, the layer under the file's exclusive lock.\n",
              runs);
  if (own_dir) fs::remove_all(dir);
  return 0;
}
