// Switches for the log, error reporting and the engine's own messages.
#include "engine/clsMarlovex.h"

namespace mlx {

void clsMarlovex::CmdLogAttivo() {
  if (Vero) LogAttivo = true;
  Azione = "Log attivato";
}

void clsMarlovex::CmdLogDisattivo() {
  if (Vero) LogAttivo = false;
  Azione = "Log disattivato";
}

void clsMarlovex::CmdErroriAttivi() {
  ErroriSilenziosi = false;
  Azione = "Segnalazione errori attivata";
}

void clsMarlovex::CmdErroriSilenziosi() {
  ErroriSilenziosi = true;
  Azione = "Segnalazione errori disattivata";
}

void clsMarlovex::CmdMessaggioFinaleSi() {
  SegnalaAggiornamento = true;
  Azione = "Attivato msgbox segnalazione aggiornamento";
}

void clsMarlovex::CmdMessaggioFinaleNo() {
  SegnalaAggiornamento = false;
  Azione = "Disattivato msgbox segnalazione aggiornamento";
}

void clsMarlovex::CmdRichiestaSi() {
  RichiediAggiornamento = true;
  Azione = "Attivato msgbox richiesta aggiornamento";
}

void clsMarlovex::CmdRichiestaNo() {
  RichiediAggiornamento = false;
  Azione = "Disattivato msgbox richiesta aggiornamento";
}

}  // namespace mlx
