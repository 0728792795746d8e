// The return stack of subroutine calls: a last-in, first-out stack of line indexes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mlx {

class clsStack {
 public:
  // Called with the text of a failure ("Stack vuoto, ..."), which the owner shows to the user.
  using Avviso = std::function<void(const std::string&)>;

  explicit clsStack(Avviso avviso = nullptr) : avviso_(std::move(avviso)) {}

  void Purge() { elementi_.clear(); }
  // The top value, removed; 0 and a message when the stack is empty.
  std::int32_t Pop();
  void Push(std::int32_t lItem);
  std::int32_t Count() const { return static_cast<std::int32_t>(elementi_.size()); }

 private:
  std::vector<std::int32_t> elementi_;
  Avviso avviso_;
};

}  // namespace mlx
