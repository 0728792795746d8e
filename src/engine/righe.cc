#include "engine/righe.h"

#include "platform/text/text.h"

namespace mlx {

RigheScript::RigheScript(const std::vector<std::string>& righe) {
  // All the lines in one block, one after the other.
  std::string tutto;
  std::size_t totale = 0;
  for (const std::string& riga : righe) totale += riga.size();
  tutto.reserve(totale);
  for (const std::string& riga : righe) tutto += riga;
  const std::string_view testo = Conserva(std::move(tutto));
  righe_.reserve(righe.size());
  std::size_t inizio = 0;
  for (const std::string& riga : righe) {
    push_back(testo.substr(inizio, riga.size()));
    inizio += riga.size();
  }
}

std::string_view RigheScript::Conserva(std::string testo) {
  testi_.push_back(std::make_unique<const std::string>(std::move(testo)));
  return *testi_.back();
}

std::string_view RigheScript::ConservaByte(fs::FileBytes file) {
  file_.push_back(std::move(file));
  return file_.back().view();
}

std::string_view RigheScript::DecodificaUltimo() {
  std::string decodificato;
  const std::string_view testo = text::DecodeFileBytesView(file_.back().view(), &decodificato);
  if (testo.data() != decodificato.data()) return testo;
  file_.pop_back();
  return Conserva(std::move(decodificato));
}

RigheScript::operator std::vector<std::string>() const {
  return std::vector<std::string>(righe_.begin(), righe_.end());
}

}  // namespace mlx
