// The registry commands and the settings-key line.
#include "engine/clsMarlovex.h"
#include "engine/processo.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "system/impostazioni.h"
#include "system/registro.h"

namespace mlx {

registry::Registry& clsMarlovex::Registro() const {
  if (stato_.plat.registry == nullptr) {
    Solleva(err::kInvalidCall, "Registro non disponibile.");
  }
  return *stato_.plat.registry;
}

void clsMarlovex::RigaImpostazioni() {
  ErroreRiga = false;
  // The text after the section sign, taken as written (it is not expanded).
  RestoRiga = text::Mid(RigaCorrente, 1);
  if (RestoRiga.empty()) return;
  Passo([&] {
    registry::Registry& reg = Registro();
    if (ChiaveImpostazioni != -1) {
      UltimoEsitoRegistro = reg.CloseKey(static_cast<registry::Handle>(ChiaveImpostazioni));
      ChiaveImpostazioni = -1;
    }
    Parti = Dividi(RestoRiga, ",");
    registry::Handle h = 0;
    UltimoEsitoRegistro = reg.OpenKeyEx(registry::kCurrentUser,
                                        std::string(kRadiceImpostazioni) + Parti[0], 0,
                                        registry::kKeyRead, &h);
    // A key that cannot be opened is not reported here: later reads of the database path
    // then find nothing.
    if (UltimoEsitoRegistro == registry::kSuccess) ChiaveImpostazioni = h;
    NomeValoreDb = Parte(1);
    Azione = "Aperta chiave di registro " + Parti[0] + "\\" + Parti[1];
  });
}

void clsMarlovex::CmdVariabileDaRegistro() {
  const std::string& nome = Campo;
  const std::string& radice = Parte(2);
  const std::string& chiave = Parte(3);
  const std::string& valore = Parte(4);
  const std::string letto =
      LeggiValoreRegistro(Registro(), radice, chiave, valore, &UltimoEsitoRegistro);
  ScriviVoce(ExecVars.get(), nome + " = " + letto, nome);
  Azione = "Variabile " + nome + " da registro " + radice + "\\" + chiave + "\\" + valore +
           " = " + letto;
}

void clsMarlovex::CmdEliminaChiave() {
  const std::string& radice = Parte(1);
  const std::string& chiave = Parte(2);
  if (Vero) UltimoEsitoRegistro = EliminaChiaveRegistro(Registro(), radice, chiave);
  Azione = "Eliminata chiave " + radice + "\\" + chiave;
}

void clsMarlovex::CmdEliminaValore() {
  const std::string& radice = Parte(1);
  const std::string& percorso = Parte(2);
  if (Vero) UltimoEsitoRegistro = EliminaValoreRegistro(Registro(), radice, percorso);
  Azione = "Eliminato valore " + radice + "\\" + percorso;
}

void clsMarlovex::CmdScriviValore() {
  const std::string& radice = Parte(1);
  const std::string& percorso = Parte(2);
  const std::string& dati = Parte(3);
  if (Vero) {
    UltimoEsitoRegistro = ScriviValoreRegistro(Registro(), radice, SoloPercorso(percorso),
                                               SoloFile(percorso), dati);
  }
  Azione = "Aggiunto/modificato valore " + radice + "\\" + percorso + " = " + dati;
}

}  // namespace mlx
