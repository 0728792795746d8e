// The .reg reader and writer: whatever the reader accepts, the writer writes as a file the
// reader accepts again and that writes back byte for byte the same; a change to a value read
// from it survives a further round.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using namespace mlx::registry;
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  regfile::Document doc;
  std::string errore;
  if (!doc.Parse(bytes, &errore)) {
    if (errore.empty()) std::abort();  // a refusal always says what is wrong
    return 0;
  }
  const std::string scritto = doc.Serialize();
  regfile::Document riletto;
  if (!riletto.Parse(scritto, &errore)) std::abort();
  if (riletto.Serialize() != scritto) std::abort();

  bool creata = false;
  regfile::Key& chiave = riletto.Ensure({"HKEY_CURRENT_USER", "Software", "Prova"}, &creata);
  chiave.SetValue("Nome", kString, std::string("valore\"con\\segni"));
  chiave.SetValue("Numero", kDword, std::string("\x01\x02\x03\x04", 4));
  const std::string cambiato = riletto.Serialize();
  regfile::Document terzo;
  if (!terzo.Parse(cambiato, &errore)) std::abort();
  const regfile::Key* trovata = terzo.Find({"HKEY_CURRENT_USER", "Software", "Prova"});
  if (trovata == nullptr) std::abort();
  const regfile::Value* nome = trovata->FindValue("Nome");
  if (nome == nullptr || nome->type != kString || nome->data.rfind("valore\"con\\segni", 0) != 0) {
    std::abort();
  }
  return 0;
}
