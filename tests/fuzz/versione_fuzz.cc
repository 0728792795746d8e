// The version reader on any bytes taken as an executable: it answers without reading a byte
// past the end of the file, and never asks for more than the parts it follows.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conditions/risorsa_versione.h"
#include "fakes/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  mlx::fakes::FileInMemoria file(std::string(reinterpret_cast<const char*>(dati), quanti));
  mlx::FixedFileInfo info;
  const bool letto = mlx::ReadFixedFileInfo(file, &info);
  for (const auto& lettura : file.letture) {
    if (lettura.offset + lettura.richiesti > quanti) std::abort();
  }
  if (letto && info.signature != 0xFEEF04BDu) std::abort();
  return 0;
}
