// Progress of long operations (an import, a copy of rows, a table rebuild, a compaction, the
// counter realignment): the operation tells a sink what it is doing and how far it is, and asks
// it whether the user wants the run to stop. The sink decides what is shown and where.
#pragma once

#include <cstdint>
#include <string>

namespace mlx::progress {

enum class Kind { kImport, kCopy, kRebuild, kCompact, kCounters };
// What the counts of an operation count.
enum class Unit { kRows, kPages, kBytes, kTables };

struct Task {
  Kind kind = Kind::kImport;
  std::string object;  // the file, table or database worked on
  Unit unit = Unit::kRows;
  std::int64_t total = 0;  // 0 when not known beforehand
  bool counted = true;     // false: how much is done cannot be told until the end
};

class Sink {
 public:
  virtual ~Sink() = default;
  // An operation begins; Advance reports the units done so far; End follows every Begin.
  virtual void Begin(const Task& task) = 0;
  virtual void Advance(std::int64_t done) = 0;
  virtual void End() = 0;
  // True once the user asked the run to stop: the operation gives up and undoes its work.
  virtual bool Interrupted() = 0;
};

// Begin on construction, End on destruction, so that a failure cannot leave a task open.
class Scope {
 public:
  Scope(Sink* sink, const Task& task) : sink_(sink) {
    if (sink_ != nullptr) sink_->Begin(task);
  }
  ~Scope() {
    if (sink_ != nullptr) sink_->End();
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  void Advance(std::int64_t done) {
    if (sink_ != nullptr) sink_->Advance(done);
  }
  bool Interrupted() { return sink_ != nullptr && sink_->Interrupted(); }

 private:
  Sink* sink_;
};

}  // namespace mlx::progress
