// The version reader on any bytes taken as an executable: it answers after a few reads, none
// larger than the largest section table, whatever the offsets and sizes the bytes claim.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conditions/risorsa_versione.h"
#include "fakes/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  mlx::fakes::FileInMemoria file(std::string(reinterpret_cast<const char*>(dati), quanti));
  mlx::FixedFileInfo info;
  const bool letto = mlx::ReadFixedFileInfo(file, &info);
  if (file.letture.size() > 16) std::abort();
  for (const auto& lettura : file.letture) {
    if (lettura.richiesti > 0xFFFFu * 40) std::abort();
  }
  if (letto && info.signature != 0xFEEF04BDu) std::abort();
  return 0;
}
