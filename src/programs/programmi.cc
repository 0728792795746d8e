#include "programs/programmi.h"

#include <cstdint>

#include "engine/utilita.h"
#include "platform/dynlib/dynlib.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"

namespace mlx {

namespace {

bool Esito(StatoProcesso& stato, const Status& s) {
  if (!s.ok() && stato.Dettagli && stato.StampaNota) stato.StampaNota(s.description());
  return s.ok();
}

// The native form of a script path; a path on an unmapped drive is reported as missing.
bool Nativo(StatoProcesso& stato, const std::string& percorso, std::string* nativo) {
  *nativo = stato.plat.fs->ToNative(percorso);
  if (!nativo->empty() || percorso.empty()) return true;
  return Esito(stato, Status::Error(err::kPathNotFound,
                                    "Impossibile trovare il percorso: " + percorso));
}

}  // namespace

bool EseguiProgramma(StatoProcesso& stato, const std::string& szExec, const std::string& argomenti,
                     const std::string& attesa, const std::string& cartella) {
  if (IsVero(attesa)) return EseguiEAttendi(stato, szExec, argomenti, cartella);
  std::string programma, dove;
  if (!Nativo(stato, szExec, &programma) || !Nativo(stato, cartella, &dove)) return false;
  return Esito(stato, stato.plat.process->Start(programma, argomenti, dove));
}

bool EseguiEAttendi(StatoProcesso& stato, const std::string& applicazione,
                    const std::string& argomenti, const std::string& cartella) {
  std::string programma, dove;
  if (!Nativo(stato, applicazione, &programma) || !Nativo(stato, cartella, &dove)) return false;
  return Esito(stato, stato.plat.process->RunAndWait(programma, argomenti, dove, [&stato] {
    return stato.InterruzioneRichiesta();
  }));
}

bool RegisterServer(StatoProcesso& stato, const std::string& DllServerPath, bool bRegister) {
  fs::FileSystem& fs = *stato.plat.fs;
  if (!fs.IsFile(DllServerPath)) return false;
  std::int32_t risultato = -1;
  const Status s = stato.plat.dynlib->CallEntryPoint(
      fs.ToNative(DllServerPath), bRegister ? "DllRegisterServer" : "DllUnregisterServer",
      &risultato);
  return Esito(stato, s) && risultato == 0;
}

}  // namespace mlx
