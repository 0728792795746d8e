// The variables family. Every command stores "name = value" under the name (Campo) and runs
// in a dry run too: reading a value changes nothing.
#include "variables/comandi_variabili.h"

#include <memory>

#include "conditions/mdlFileVersion.h"
#include "database/connessione.h"
#include "database/valori.h"
#include "dialogs/messaggi.h"
#include "engine/contesto.h"
#include "platform/db/db.h"
#include "platform/platform.h"
#include "platform/text/text.h"
#include "system/registro.h"
#include "variables/espansione.h"

namespace mlx {

namespace {

// Sets the line's variable (Campo) to the value. The item is written over in place, so that
// setting a variable again reuses its storage.
void Assegna(ContestoEsecuzione& c, std::string_view valore) {
  VoceDaScrivere(c.ExecVars.get(), c.Campo).assign(c.Campo).append(" = ").append(valore);
}

Lavoro CmdAssegna(ContestoEsecuzione& c) {
  std::string& voce = VoceDaScrivere(c.ExecVars.get(), c.Campo);
  // The sentence is "Variabile " and the item: the item is copied from it.
  constexpr std::string_view kVariabile = "Variabile ";
  c.Azione.clear();
  c.Azione.append(kVariabile).append(c.Campo).append(" = ");
  AggiungiUnioneDa(c.Parti, ",", 2, &c.Azione);
  voce.clear();
  voce.append(std::string_view(c.Azione).substr(kVariabile.size()));
  return {};
}

// GET: the first column of the first row a statement returns.
Lavoro CmdGet(ContestoEsecuzione& c) {
  const std::string istruzione = c.RestoDa(2);
  c.Azione = "Variabile " + c.Campo + " da SQL " + istruzione;
  struct Chiusura {
    std::unique_ptr<db::Recordset>& rs;
    ~Chiusura() { ChiudiOggetto(rs); }
  } chiusura{c.RecordsetGet};
  Verifica(c.ConnessioneAperta().OpenRecordset(istruzione, db::kDynamic, db::kOptimistic,
                                               &c.RecordsetGet));
  if (c.RecordsetGet->Eof() || c.RecordsetGet->FieldCount() == 0) {
    Solleva(3021,
            "BOF o EOF \xC3\xA8 True oppure il record corrente \xC3\xA8 stato eliminato. "
            "L'operazione richiesta richiede un record corrente.");
  }
  db::Value valore;
  Verifica(c.RecordsetGet->GetValue(0, &valore));
  Assegna(c, TestoValore(valore));
  return {};
}

// REG: a string value of the registry.
Lavoro CmdVariabileDaRegistro(ContestoEsecuzione& c) {
  const std::string& nome = c.Campo;
  const std::string& radice = c.Parte(2);
  const std::string& chiave = c.Parte(3);
  const std::string& valore = c.Parte(4);
  const std::string letto =
      LeggiValoreRegistro(c.Registro(), radice, chiave, valore, &c.UltimoEsitoRegistro);
  Assegna(c, letto);
  c.Azione = "Variabile " + nome + " da registro " + radice + "\\" + chiave + "\\" + valore +
             " = " + letto;
  return {};
}

// FILEVER: the version of a file, "" when it has none.
Lavoro CmdVersioneFile(ContestoEsecuzione& c) {
  const std::string& file = c.Parte(2);
  Assegna(c, FileVersionText(*c.plat().fs, file));
  c.Azione = "Variabile " + c.Campo + " come versione del file " + file;
  return {};
}

// ENV: a variable of the process's environment, "" when it is not set.
Lavoro CmdVariabileDaAmbiente(ContestoEsecuzione& c) {
  const std::string& nome = c.Parte(2);
  const std::string valore = VariabileAmbiente(c.plat(), nome);
  Assegna(c, valore);
  c.Azione = "Variabile " + c.Campo + " da ambiente " + nome + " = " + valore;
  return {};
}

// PATHONLY and FILEONLY: the folder or the name of a path written with either separator.
Lavoro CmdSoloPercorso(ContestoEsecuzione& c) {
  const std::string& percorso = c.Parte(2);
  const std::string valore = SoloPercorso(percorso);
  Assegna(c, valore);
  c.Azione = "Variabile " + c.Campo + " come path di " + percorso + " = " + valore;
  return {};
}

Lavoro CmdSoloFile(ContestoEsecuzione& c) {
  const std::string& percorso = c.Parte(2);
  const std::string valore = SoloFile(percorso);
  Assegna(c, valore);
  c.Azione = "Variabile " + c.Campo + " come file di " + percorso + " = " + valore;
  return {};
}

// PREPATH: a folder and a file joined by one separator.
Lavoro CmdUnisciPercorso(ContestoEsecuzione& c) {
  const std::string& cartella = c.Parte(2);
  const std::string& file = c.Parte(3);
  Assegna(c, UnisciPercorso(cartella, file));
  c.Azione = "Variabile " + c.Campo + " come concat. di " + cartella + " e " + file;
  return {};
}

// ASK: the code of the button the user pressed; the sentence names the button.
Lavoro CmdDomanda(ContestoEsecuzione& c) {
  const std::string& stile = c.Parte(2);
  const std::string& titolo = c.Parte(3);
  const std::string domanda = c.RestoDa(4);
  const std::string risposta = MostraMessaggio(c.processo, stile, titolo, domanda);
  Assegna(c, risposta);
  c.Azione = "Variabile " + c.Campo + " come risposta a " + TestoMessaggio(domanda) + " = " +
             BottoniMessaggio(risposta);
  return {};
}

// LEFTOF and RIGHTOF split at the first separator; an empty separator stands for a blank.
std::string Separatore(const std::string& scritto) {
  return scritto.empty() ? " " : scritto;
}

Lavoro CmdSinistraDi(ContestoEsecuzione& c) {
  const std::string& testo = c.Parte(2);
  const std::string& sep = c.Parte(3);
  Assegna(c, SinistraDi(testo, Separatore(sep)));
  c.Azione = "Variabile " + c.Campo + " come sottostringa sinistra di " + testo +
             " rispetto al separatore " + sep;
  return {};
}

Lavoro CmdDestraDi(ContestoEsecuzione& c) {
  const std::string& testo = c.Parte(2);
  const std::string& sep = c.Parte(3);
  Assegna(c, DestraDi(testo, Separatore(sep)));
  c.Azione = "Variabile " + c.Campo + " come sottostringa destra di " + testo +
             " rispetto al separatore " + sep;
  return {};
}

// UCASE and LCASE change the case of the whole rest of the line; the sentence shows only the
// first argument.
Lavoro CmdMaiuscolo(ContestoEsecuzione& c) {
  const std::string& primo = c.Parte(2);
  const std::string valore = text::ToUpper(c.RestoDa(2));
  Assegna(c, valore);
  c.Azione = "Variabile " + c.Campo + " come maiuscolo di " + primo + " = " + valore;
  return {};
}

Lavoro CmdMinuscolo(ContestoEsecuzione& c) {
  const std::string& primo = c.Parte(2);
  const std::string valore = text::ToLower(c.RestoDa(2));
  Assegna(c, valore);
  c.Azione = "Variabile " + c.Campo + " come minuscolo di " + primo + " = " + valore;
  return {};
}

// The count of LEFT and RIGHT: a number rounded half to even, 0 for an empty argument; a
// negative count is an invalid argument.
std::size_t Conteggio(const std::string& scritto) {
  const std::int32_t n = ValoreIntero(scritto);
  if (n < 0) {
    Solleva(err::kInvalidCall,
            "Chiamata di routine o argomento non valido: conteggio negativo " + scritto + ".");
  }
  return static_cast<std::size_t>(n);
}

Lavoro CmdSinistra(ContestoEsecuzione& c) {
  const std::string& conteggio = c.Parte(2);
  const std::string testo = c.RestoDa(3);
  Assegna(c, text::Left(testo, Conteggio(conteggio)));
  c.Azione = "Variabile " + c.Campo + " come " + conteggio + " caratteri sinistri di " + testo;
  return {};
}

Lavoro CmdDestra(ContestoEsecuzione& c) {
  const std::string& conteggio = c.Parte(2);
  const std::string testo = c.RestoDa(3);
  Assegna(c, text::Right(testo, Conteggio(conteggio)));
  c.Azione = "Variabile " + c.Campo + " come " + conteggio + " caratteri destri di " + testo;
  return {};
}

// OR and AND of two flags, stored as the Boolean text.
template <bool kEntrambi>
Lavoro CmdLogico(ContestoEsecuzione& c) {
  const std::string& a = c.Parte(2);
  const std::string& b = c.Parte(3);
  const std::string valore =
      TestoBooleano(kEntrambi ? IsVero(a) && IsVero(b) : IsVero(a) || IsVero(b));
  Assegna(c, valore);
  c.Azione =
      "Variabile " + c.Campo + " come " + a + (kEntrambi ? " AND " : " OR ") + b + " = " + valore;
  return {};
}

}  // namespace

const Famiglia<>& FamigliaVariabili() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"=", CmdAssegna, false, Esegue},
      {"GET", CmdGet, false, Esegue},
      {"REG", CmdVariabileDaRegistro, false, Esegue},
      {"FILEVER", CmdVersioneFile, false, Esegue},
      {"ENV", CmdVariabileDaAmbiente, false, Esegue},
      {"PATHONLY", CmdSoloPercorso, false, Esegue},
      {"FILEONLY", CmdSoloFile, false, Esegue},
      {"PREPATH", CmdUnisciPercorso, false, Esegue},
      {"ASK", CmdDomanda, false, Esegue},
      {"LEFTOF", CmdSinistraDi, false, Esegue},
      {"RIGHTOF", CmdDestraDi, false, Esegue},
      {"UCASE", CmdMaiuscolo, false, Esegue},
      {"LCASE", CmdMinuscolo, false, Esegue},
      {"LEFT", CmdSinistra, false, Esegue},
      {"RIGHT", CmdDestra, false, Esegue},
      {"OR", CmdLogico<false>, false, Esegue},
      {"AND", CmdLogico<true>, false, Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
