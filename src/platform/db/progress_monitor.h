// Long statements of a connection: SQLite calls the monitor every few thousand steps of its
// virtual machine, and the monitor ends the statement when the user asked the run to stop and,
// while a measured statement runs, reports how many rows that statement has read.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>

#include "platform/progress.h"

namespace mlx::db::internal {

class ProgressMonitor {
 public:
  // Installed on the connection until destroyed; nothing is installed without a sink.
  ProgressMonitor(sqlite3* db, progress::Sink* sink);
  ~ProgressMonitor();
  ProgressMonitor(const ProgressMonitor&) = delete;
  ProgressMonitor& operator=(const ProgressMonitor&) = delete;

  // The monitor installed on a connection; nullptr when there is none.
  static ProgressMonitor* Of(sqlite3* db);

  progress::Sink* sink() const { return sink_; }
  // While set, the rows the statement's full table scan has read are reported as done.
  void Measure(sqlite3_stmt* statement) { measured_ = statement; }

 private:
  static int OnSteps(void* self);

  sqlite3* db_;
  progress::Sink* sink_;
  sqlite3_stmt* measured_ = nullptr;
};

// An operation of the layer reported to the sink of its connection's monitor, when it has one:
// begun here, ended when destroyed.
class MonitoredTask {
 public:
  MonitoredTask(sqlite3* db, const progress::Task& task);
  ~MonitoredTask();
  MonitoredTask(const MonitoredTask&) = delete;
  MonitoredTask& operator=(const MonitoredTask&) = delete;

  // Whether anyone watches: totals that cost a query are worth taking only then.
  static bool Watched(sqlite3* db) { return ProgressMonitor::Of(db) != nullptr; }
  // The rows the statement reads by a full scan are the task's rows done; nullptr stops that.
  void Measure(sqlite3_stmt* statement);
  void Advance(std::int64_t done);

 private:
  ProgressMonitor* monitor_;
};

}  // namespace mlx::db::internal
