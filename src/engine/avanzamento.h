// The progress of long operations as the process sees it: shown in the wait window while that
// is up, and the place where an operation learns that the user asked the run to stop.
#pragma once

#include <cstdint>

#include "platform/progress.h"

namespace mlx {

struct StatoProcesso;

class Avanzamento final : public progress::Sink {
 public:
  explicit Avanzamento(StatoProcesso& stato) : stato_(stato) {}

  // An operation inside another one (a statement of an import, say) is part of the outer one:
  // only the outermost is shown.
  void Begin(const progress::Task& task) override;
  void Advance(std::int64_t fatto) override;
  void End() override;
  bool Interrupted() override;

 private:
  StatoProcesso& stato_;
  int profondita_ = 0;
};

}  // namespace mlx
