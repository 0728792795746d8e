// The switches family. Only the log switches honour a dry run, which so never writes the log.
#include "system/comandi_switch.h"

#include "engine/contesto.h"

namespace mlx {

namespace {

Lavoro CmdLogAttivo(ContestoEsecuzione& c) {
  c.Azione = "Log attivato";
  return [&c] { c.LogAttivo = true; };
}

Lavoro CmdLogDisattivo(ContestoEsecuzione& c) {
  c.Azione = "Log disattivato";
  return [&c] { c.LogAttivo = false; };
}

Lavoro CmdErroriAttivi(ContestoEsecuzione& c) {
  c.ErroriSilenziosi = false;
  c.Azione = "Segnalazione errori attivata";
  return {};
}

Lavoro CmdErroriSilenziosi(ContestoEsecuzione& c) {
  c.ErroriSilenziosi = true;
  c.Azione = "Segnalazione errori disattivata";
  return {};
}

Lavoro CmdMessaggioFinaleSi(ContestoEsecuzione& c) {
  c.SegnalaAggiornamento = true;
  c.Azione = "Attivato msgbox segnalazione aggiornamento";
  return {};
}

Lavoro CmdMessaggioFinaleNo(ContestoEsecuzione& c) {
  c.SegnalaAggiornamento = false;
  c.Azione = "Disattivato msgbox segnalazione aggiornamento";
  return {};
}

Lavoro CmdRichiestaSi(ContestoEsecuzione& c) {
  c.RichiediAggiornamento = true;
  c.Azione = "Attivato msgbox richiesta aggiornamento";
  return {};
}

Lavoro CmdRichiestaNo(ContestoEsecuzione& c) {
  c.RichiediAggiornamento = false;
  c.Azione = "Disattivato msgbox richiesta aggiornamento";
  return {};
}

}  // namespace

const Famiglia<>& FamigliaInterruttori() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"MSGY", CmdMessaggioFinaleSi, false, Esegue},
      {"MSGN", CmdMessaggioFinaleNo, false, Esegue},
      {"ASKY", CmdRichiestaSi, false, Esegue},
      {"ASKN", CmdRichiestaNo, false, Esegue},
      {"LOGY", CmdLogAttivo, false, Rispetta},
      {"LOGN", CmdLogDisattivo, false, Rispetta},
      {"ERRY", CmdErroriAttivi, false, Esegue},
      {"ERRN", CmdErroriSilenziosi, false, Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
