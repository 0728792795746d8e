// The lines of a script. The text is kept in a few blocks this object owns (the bytes of a
// whole file, a line joined from continuations) and every line is a view of one of them, so
// that loading and freeing a script of a million lines costs no allocation per line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

namespace mlx {

class RigheScript {
 public:
  RigheScript() = default;
  // Copies of the given lines, each kept as written.
  explicit RigheScript(const std::vector<std::string>& righe);
  RigheScript(RigheScript&&) noexcept = default;
  RigheScript& operator=(RigheScript&&) noexcept = default;
  RigheScript(const RigheScript&) = delete;
  RigheScript& operator=(const RigheScript&) = delete;

  std::size_t size() const { return righe_.size(); }
  bool empty() const { return righe_.empty(); }
  std::string_view operator[](std::size_t i) const { return righe_[i]; }
  std::string_view back() const { return righe_.back(); }

  // Keeps the text for as long as this object lives and answers a view of it. Moving the
  // object keeps the views valid.
  std::string_view Conserva(std::string testo);
  // Keeps the bytes of a script file as they are and answers a view of them.
  std::string_view ConservaByte(fs::FileBytes file);
  // The text of the bytes ConservaByte kept last: the bytes themselves when they are UTF-8,
  // otherwise their decoded copy, which is kept in their place (no line may be a view of
  // them any more).
  std::string_view DecodificaUltimo();
  // Keeps the first n lines only.
  void Tronca(std::size_t n) {
    while (!etichette_.empty() && etichette_.back() >= n) etichette_.pop_back();
    righe_.resize(std::min(n, righe_.size()));
  }
  // Appends a line, or replaces the last one. The line must be a view of text kept by Conserva
  // (or text that outlives this object, such as a literal).
  void push_back(std::string_view riga) {
    if (Etichetta(riga)) etichette_.push_back(righe_.size());
    righe_.push_back(riga);
  }
  void SostituisciUltima(std::string_view riga) {
    if (!etichette_.empty() && etichette_.back() == righe_.size() - 1) etichette_.pop_back();
    if (Etichetta(riga)) etichette_.push_back(righe_.size() - 1);
    righe_.back() = riga;
  }
  void pop_back() {
    if (!etichette_.empty() && etichette_.back() == righe_.size() - 1) etichette_.pop_back();
    righe_.pop_back();
  }
  // The indexes of the lines that begin with ":" (labels), in order: noted as the lines are
  // added, so that indexing the labels of a long script does not read every line again.
  const std::vector<std::size_t>& Etichette() const { return etichette_; }
  // Room for n lines. The room grows at least twofold, so that reserving a little more for each
  // of many included files does not copy the list each time.
  void reserve(std::size_t n) {
    if (n > righe_.capacity()) righe_.reserve(std::max(n, 2 * righe_.capacity()));
  }

  // The lines as separate texts.
  operator std::vector<std::string>() const;

 private:
  // Each block on the heap by itself, so that the views stay valid when the list grows.
  std::vector<std::unique_ptr<const std::string>> testi_;
  std::vector<fs::FileBytes> file_;
  std::vector<std::string_view> righe_;
  std::vector<std::size_t> etichette_;

  static bool Etichetta(std::string_view riga) { return !riga.empty() && riga[0] == ':'; }
};

}  // namespace mlx
