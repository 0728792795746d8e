#include "platform/db/progress_monitor.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace mlx::db::internal {

namespace {

// Steps of SQLite's virtual machine between two calls: a few microseconds of work, so that an
// interruption is noticed at once and the calls cost nothing that can be measured.
constexpr int kStepsPerCall = 4096;

// The monitors by connection. Connections are few and monitors are looked up only when a long
// operation begins.
std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}
std::vector<std::pair<sqlite3*, ProgressMonitor*>>& Monitors() {
  static std::vector<std::pair<sqlite3*, ProgressMonitor*>> monitors;
  return monitors;
}

}  // namespace

ProgressMonitor::ProgressMonitor(sqlite3* db, progress::Sink* sink) : db_(db), sink_(sink) {
  if (sink_ == nullptr || db_ == nullptr) return;
  sqlite3_progress_handler(db_, kStepsPerCall, &ProgressMonitor::OnSteps, this);
  std::lock_guard<std::mutex> guard(Lock());
  Monitors().emplace_back(db_, this);
}

ProgressMonitor::~ProgressMonitor() {
  if (sink_ == nullptr || db_ == nullptr) return;
  sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  std::lock_guard<std::mutex> guard(Lock());
  auto& monitors = Monitors();
  monitors.erase(std::remove(monitors.begin(), monitors.end(), std::make_pair(db_, this)),
                 monitors.end());
}

ProgressMonitor* ProgressMonitor::Of(sqlite3* db) {
  std::lock_guard<std::mutex> guard(Lock());
  for (const auto& [connection, monitor] : Monitors()) {
    if (connection == db) return monitor;
  }
  return nullptr;
}

int ProgressMonitor::OnSteps(void* self) {
  auto* monitor = static_cast<ProgressMonitor*>(self);
  // A non-zero answer makes the statement fail with SQLITE_INTERRUPT; its transaction, or the
  // statement alone in autocommit, is undone.
  if (monitor->sink_->Interrupted()) return 1;
  if (monitor->measured_ != nullptr) {
    monitor->sink_->Advance(
        sqlite3_stmt_status(monitor->measured_, SQLITE_STMTSTATUS_FULLSCAN_STEP, 0));
  }
  return 0;
}

MonitoredTask::MonitoredTask(sqlite3* db, const progress::Task& task)
    : monitor_(ProgressMonitor::Of(db)) {
  if (monitor_ != nullptr) monitor_->sink()->Begin(task);
}

MonitoredTask::~MonitoredTask() {
  if (monitor_ == nullptr) return;
  monitor_->Measure(nullptr);
  monitor_->sink()->End();
}

void MonitoredTask::Measure(sqlite3_stmt* statement) {
  if (monitor_ != nullptr) monitor_->Measure(statement);
}

void MonitoredTask::Advance(std::int64_t done) {
  if (monitor_ != nullptr) monitor_->sink()->Advance(done);
}

}  // namespace mlx::db::internal
