#include "engine/clsStack.h"

#include <limits>
#include <new>

namespace mlx {

std::int32_t clsStack::Pop() {
  if (elementi_.empty()) {
    if (avviso_) avviso_("Stack vuoto, impossibile estrarre elementi.");
    return 0;
  }
  std::int32_t valore = elementi_.back();
  elementi_.pop_back();
  return valore;
}

void clsStack::Push(std::int32_t lItem) {
  // The count is a 32-bit number: a stack that cannot grow keeps what it has.
  if (elementi_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    if (avviso_) avviso_("Stack pieno, impossibile aggiungere altri elementi.");
    return;
  }
  try {
    elementi_.push_back(lItem);
  } catch (const std::bad_alloc&) {
    if (avviso_) avviso_("Stack pieno, impossibile aggiungere altri elementi.");
  }
}

}  // namespace mlx
