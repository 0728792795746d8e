// A keyed collection whose keys compare without regard to case (ASCII and Latin-1), as every
// keyed collection of the script language does. The item keeps the key as last written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/text/text.h"

namespace mlx {

template <typename T>
class Collezione {
 public:
  bool Contiene(std::string_view chiave) const { return voci_.count(text::FoldKey(chiave)) > 0; }

  // The item under the key, or nullopt when the key is missing.
  std::optional<T> Leggi(std::string_view chiave) const {
    auto it = voci_.find(text::FoldKey(chiave));
    if (it == voci_.end()) return std::nullopt;
    return it->second;
  }

  // Adds the item; false (and nothing changed) when the key is already present.
  bool Aggiungi(std::string_view chiave, T valore) {
    return voci_.emplace(text::FoldKey(chiave), std::move(valore)).second;
  }

  void Rimuovi(std::string_view chiave) { voci_.erase(text::FoldKey(chiave)); }
  void Svuota() { voci_.clear(); }
  std::size_t Conta() const { return voci_.size(); }

 private:
  std::unordered_map<std::string, T> voci_;
};

}  // namespace mlx
