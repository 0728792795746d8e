// The registry family. Registry operations answer a result code and never fail a line.
#include "system/comandi_registro.h"

#include "engine/contesto.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "system/registro.h"

namespace mlx {

namespace {

// The settings-key line "§app,value": which key and value hold the host database path.
void RigaImpostazioni(ContestoEsecuzione& c) {
  c.ErroreRiga = false;
  // The text after the section sign, taken as written (it is not expanded).
  const std::string RestoRiga = text::Mid(c.RigaCorrente, 1);
  if (RestoRiga.empty()) return;
  registry::Registry& reg = c.Registro();
  c.impostazioni.Chiudi(&reg, &c.UltimoEsitoRegistro);
  c.Parti = Dividi(RestoRiga, ",");
  // A key that cannot be opened is not reported here: later reads of the database path then
  // find nothing.
  c.impostazioni.Apri(reg, c.Parti[0], &c.UltimoEsitoRegistro);
  c.impostazioni.NomeValoreDb = c.Parte(1);
  c.Azione = "Aperta chiave di registro " + c.Parti[0] + "\\" + c.Parti[1];
}

Lavoro CmdEliminaChiave(ContestoEsecuzione& c) {
  const std::string radice = c.Parte(1);
  const std::string chiave = c.Parte(2);
  c.Azione = "Eliminata chiave " + radice + "\\" + chiave;
  return [&c, radice, chiave] {
    c.UltimoEsitoRegistro = EliminaChiaveRegistro(c.Registro(), radice, chiave);
  };
}

Lavoro CmdEliminaValore(ContestoEsecuzione& c) {
  const std::string radice = c.Parte(1);
  const std::string percorso = c.Parte(2);
  c.Azione = "Eliminato valore " + radice + "\\" + percorso;
  return [&c, radice, percorso] {
    c.UltimoEsitoRegistro = EliminaValoreRegistro(c.Registro(), radice, percorso);
  };
}

Lavoro CmdScriviValore(ContestoEsecuzione& c) {
  const std::string radice = c.Parte(1);
  const std::string percorso = c.Parte(2);
  const std::string dati = c.Parte(3);
  c.Azione = "Aggiunto/modificato valore " + radice + "\\" + percorso + " = " + dati;
  return [&c, radice, percorso, dati] {
    c.UltimoEsitoRegistro = ScriviValoreRegistro(c.Registro(), radice, SoloPercorso(percorso),
                                                 SoloFile(percorso), dati);
  };
}

}  // namespace

const Famiglia<>& FamigliaRegistro() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"X\xC2\xA7", CmdEliminaChiave, false, SuCopia},  // "X§"
      {"-\xC2\xA7", CmdEliminaValore, false, SuCopia},  // "-§"
      {"+\xC2\xA7", CmdScriviValore, false, SuCopia},   // "+§"
  };
  static constexpr TipoRiga<> righe[] = {
      {"\xC2\xA7", RigaImpostazioni},  // "§"
  };
  static const Famiglia<> famiglia{comandi, righe};
  return famiglia;
}

}  // namespace mlx
