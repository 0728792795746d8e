// The programs family. EXEC and DLLREG report their outcome only through ErroreRiga.
#include "programs/comandi_programmi.h"

#include "engine/contesto.h"
#include "programs/avvio.h"
#include "programs/programmi.h"

namespace mlx {

namespace {

// "EXEC,program,arguments,wait[,folder]": with exactly four arguments the program runs in the
// folder given, otherwise in the current one.
Lavoro CmdEsegui(ContestoEsecuzione& c) {
  const std::string programma = c.Parte(1);
  const std::string argomenti = c.Parte(2);
  const std::string attesa = c.Parte(3);
  const bool conCartella = c.Parti.size() == 5;
  const std::string cartella = conCartella ? c.Parti[4] : ".";
  c.Azione = "Esecuzione programma " + programma + " " + (IsVero(attesa) ? "con" : "senza") +
             " attesa" + (conCartella ? " dal percorso " + cartella : "");
  return [&c, programma, argomenti, attesa, cartella] {
    c.ErroreRiga = !EseguiProgramma(c.processo, programma, argomenti, attesa, cartella);
  };
}

// "DLLREG,file,register": a true flag registers the component, any other text unregisters it.
Lavoro CmdRegistraDll(ContestoEsecuzione& c) {
  const std::string file = c.Parte(1);
  const bool registra = IsVero(c.Parte(2));
  c.Azione = std::string(registra ? "Registrata" : "Deregistrata") + " dll/ocx " + file;
  return [&c, file, registra] { c.ErroreRiga = !c.RegisterServer(file, registra); };
}

// "BOOT": the program runs the current script again at the next logon.
Lavoro CmdAvvioAutomatico(ContestoEsecuzione& c) {
  c.Azione = "Predisposizione esecuzione automatica";
  return [&c] { PredisponiAvvio(c.processo, c.TxtFile); };
}

}  // namespace

const Famiglia<>& FamigliaProgrammi() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"EXEC", CmdEsegui, false, Rispetta},
      {"DLLREG", CmdRegistraDll, false, Rispetta},
      {"BOOT", CmdAvvioAutomatico, false, Rispetta},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
