// The import's line reader. The first byte picks the separator, the rest is one data line.
// Reading the line straight must give the same answer and the same values as applying the
// separator rules and reading the literals of the result.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/importa.h"

namespace {

bool Uguali(const mlx::db::Value& a, const mlx::db::Value& b) {
  if (a.kind() != b.kind() || a.integer() != b.integer() || a.text() != b.text()) return false;
  // Two NaNs are the same value read twice.
  return a.real() == b.real() || (a.real() != a.real() && b.real() != b.real());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using namespace mlx;
  if (quanti == 0) return 0;
  static const char* const kSeparatori[] = {";", ",", "|", "\t", "::", " ", "'", "#"};
  const std::string separatore = kSeparatori[dati[0] % 8];
  const std::string riga(reinterpret_cast<const char*>(dati) + 1, quanti - 1);

  const std::string regolata = importazione::ApplicaRegole(riga, separatore);
  std::vector<db::Value> attesi;
  const bool letterali = importazione::LeggiLetterali(regolata, &attesi);
  std::vector<db::Value> letti;
  const bool diretta = importazione::LeggiRiga(riga, separatore, &letti);
  if (diretta != letterali) std::abort();
  if (!diretta) return 0;
  if (letti.size() != attesi.size()) std::abort();
  for (std::size_t i = 0; i < letti.size(); ++i) {
    if (!Uguali(letti[i], attesi[i])) std::abort();
  }
  return 0;
}
