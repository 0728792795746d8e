// The flow family.
#include "flow/comandi_flusso.h"

#include <string>

#include "conditions/condizioni.h"
#include "database/connessione.h"
#include "engine/clsStack.h"
#include "engine/contesto.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

const char* const kTestoAvviso =
    "ATTENZIONE: Questa versione del programma richiede l'aggiornamento della base dati.\r\n"
    "Per procedere con l'aggiornamento \xC3\xA8 necessario che tutti gli utenti escano dal "
    "programma.\r\n"
    "Procedere con l'aggiornamento?";

namespace {

constexpr int kSiNo = 4;

std::int32_t UltimaRiga(const ContestoEsecuzione& c) {
  return static_cast<std::int32_t>(c.Righe->size()) - 1;
}

// Moves the working line forward to the next line that begins with "^", or to the last line.
// Only "^" stops: blocks do not nest, and a line beginning with "(" is passed over.
void SaltaAvanti(ContestoEsecuzione& c) {
  const RigheScript& righe = *c.Righe;
  const std::int32_t ultima = UltimaRiga(c);
  while (c.LineaLavoro < ultima) {
    ++c.LineaLavoro;
    const std::string_view riga = righe[c.LineaLavoro];
    if (!riga.empty() && riga[0] == '^') return;
  }
}

// After a skip: the line the skip stopped on is interpreted next, unless it is the last one.
void RiprendiDallaFermata(ContestoEsecuzione& c) {
  if (c.LineaLavoro < UltimaRiga(c)) --c.LineaLavoro;
}

// The line of a label, compared without regard to case. A label the script does not declare is
// a script error, which the line's error trap reports or, with errors silenced, only marks.
std::int32_t LineaEtichetta(const ContestoEsecuzione& c, const std::string& nome) {
  const std::optional<std::int32_t> linea = c.Etichette->Leggi(nome);
  if (!linea) Solleva(err::kInvalidCall, "Etichetta " + nome + " non trovata nello script.");
  return *linea;
}

// Evaluates the condition line. A condition that cannot be evaluated is false, so a block that
// changes something never runs on an unanswered question: with errors silenced the line is
// marked failed and its sentence logged; an error the trap passes over leaves no sentence; a
// reported error (the database is then closed) leaves no sentence either. `*muta` says the
// line must write no log line.
bool ValutaCondizione(ContestoEsecuzione& c, bool* muta) {
  bool esito = false;
  try {
    if (c.Passo([&] { esito = EvalMultiCondizione(c, c.RigaCorrente); })) return esito;
    *muta = c.Azione.empty();
  } catch (const RigaInterrotta&) {
    *muta = true;
  }
  return false;
}

// Asks, once a run, whether the upgrade may go on. The answer No closes the database and ends
// the line without a log line; the run goes on with no database open.
void ChiediAggiornamento(ContestoEsecuzione& c) {
  if (!c.RichiediAggiornamento) return;
  c.RichiediAggiornamento = false;
  const int risposta = c.processo.Messaggio(kTestoAvviso, kSiNo + ui::kIconQuestion, "ATTENZIONE!");
  if (risposta != ui::kNo) return;
  c.processo.Messaggio(
      "Il programma non potr\xC3\xA0 funzionare correttamente fino a quando\r\n"
      "la base dati non sar\xC3\xA0 aggiornata da questa o da un'altra postazione.",
      ui::kIconInformation, "ATTENZIONE");
  c.ChiudiDatabase();
  throw RigaInterrotta{};
}

// A condition line: "^c^" or "(...)" evaluates c and, when it is false, skips its body; "^^"
// ends a block; "^ELSE^" skips the else part of a block whose condition was true.
void RigaCondizione(ContestoEsecuzione& c, StatoFlusso& f) {
  const std::string_view interno = text::InnerView(c.RigaCorrente);
  if (interno.empty()) {
    c.Azione = "Fine condizione";
    return;
  }
  bool muta = false;
  const bool scavalca = interno == "ELSE";
  if (scavalca) {
    SaltaAvanti(c);
    RiprendiDallaFermata(c);
    c.Azione = "Scavalcamento ELSE";
  } else {
    c.Azione = "Condizione ";
    f.EsitoCondizione = ValutaCondizione(c, &muta);
  }

  if (f.EsitoCondizione) {
    ChiediAggiornamento(c);
    if (!scavalca) c.Azione += " Vera";
  } else {
    SaltaAvanti(c);
    c.Azione += " Falsa";
    if ((*c.Righe)[c.LineaLavoro] == "^ELSE^") {
      c.Azione += "; esecuzione ELSE";  // the working line stays on it: the else part runs next
    } else {
      RiprendiDallaFermata(c);
    }
  }
  if (muta) c.Azione.clear();
}

Lavoro CmdSalto(ContestoEsecuzione& c, StatoFlusso&) {
  const std::string etichetta = c.Parte(1);
  c.Azione = "Salto a " + etichetta;
  c.LineaLavoro = LineaEtichetta(c, etichetta);
  return {};
}

Lavoro CmdSaltoConRitorno(ContestoEsecuzione& c, StatoFlusso&) {
  const std::string etichetta = c.Parte(1);
  c.Azione = "Salto a " + etichetta + " con ritorno";
  // The label first: a call that cannot jump leaves no return address behind.
  const std::int32_t linea = LineaEtichetta(c, etichetta);
  c.Ritorni->Push(c.LineaLavoro);
  c.LineaLavoro = linea;
  return {};
}

Lavoro CmdRitorno(ContestoEsecuzione& c, StatoFlusso&) {
  c.Azione = "Ritorno dal salto";
  // A return without a call shows the stack's message and goes on with the next line, rather
  // than starting the script over from its first line.
  const bool chiamata = c.Ritorni->Count() > 0;
  const std::int32_t ritorno = c.Ritorni->Pop();
  if (chiamata) c.LineaLavoro = ritorno;
  return {};
}

Lavoro CmdFine(ContestoEsecuzione& c, StatoFlusso&) {
  c.Azione = "Termine esecuzione";
  // Interrompi clears the engine, which switches the log off: this sentence is never logged.
  c.Interrompi();
  return {};
}

// LOOP,label,folder,files: the lines after the label run once for each database of the list;
// the LOOP line stands after them. The list is made on the first pass (a ";" list, or the
// databases of the folder whose names begin with files when it holds a "*"), each pass opens
// the next database, and the pass after the last one ends the loop.
Lavoro CmdCiclo(ContestoEsecuzione& c, StatoFlusso& f) {
  const Platform& plat = c.plat();
  const std::string etichetta = c.Parte(1);
  std::string cartella = c.Parte(2);
  const std::string files = c.Parte(3);
  constexpr const char* kNessuna = "####";
  if (cartella == "\xC2\xA7") {
    // The folder of the host application's database.
    cartella = c.impostazioni.PercorsoDatabase(plat.registry);
    if (cartella.empty() || !plat.fs->Exists(cartella)) {
      cartella = kNessuna;
    } else if (!plat.fs->IsDirectory(cartella)) {
      cartella = SoloPercorso(cartella);
    }
  }
  const std::string base = cartella.empty() ? SoloPercorso(c.DbCiclo) : cartella;

  const std::string chiave = text::FoldKey(etichetta);
  CicloDatabase& ciclo = f.cicli[chiave];
  if (!ciclo.CicloAttivo) {
    if (files.find('*') == std::string::npos) {
      ciclo.ElencoCiclo = files.empty() ? std::vector<std::string>{} : Dividi(files, ";");
    } else {
      ciclo.ElencoCiclo = ElencoDatabase(plat, base, files);
    }
    ciclo.IndiceCiclo = -1;
    ciclo.CicloAttivo = true;
  }
  // The index moves before anything can fail, so a database that cannot be opened is never
  // tried again.
  ++ciclo.IndiceCiclo;
  if (cartella == kNessuna ||
      ciclo.IndiceCiclo >= static_cast<std::int32_t>(ciclo.ElencoCiclo.size())) {
    f.cicli.erase(chiave);
    c.Azione = "Ciclo " + etichetta + " terminato";
    return {};
  }
  const std::string percorso = UnisciPercorso(base, ciclo.ElencoCiclo[ciclo.IndiceCiclo]);
  c.LineaLavoro = LineaEtichetta(c, etichetta);
  c.processo.DbAlternativo = percorso;
  c.DbCorrente = percorso;
  c.DbCiclo = percorso;
  c.Azione = "Ciclo: ritorno a " + etichetta;
  db::Connection& conn = OggettoConnessione(plat, c.Connessione);
  if (conn.State() != 0) conn.Close();
  ApriDatabase(plat, conn, percorso);
  return {};
}

}  // namespace

const Famiglia<StatoFlusso>& FamigliaFlusso() {
  // Flow commands move through the script in a dry run too.
  static constexpr Voce<StatoFlusso> comandi[] = {
      {"LOOP", CmdCiclo, false, InProva::Esegue},
      {"GOTO", CmdSalto, false, InProva::Esegue},
      {"GOSUB", CmdSaltoConRitorno, false, InProva::Esegue},
      {"RET", CmdRitorno, false, InProva::Esegue},
      {"END", CmdFine, false, InProva::Esegue},
  };
  static constexpr TipoRiga<StatoFlusso> righe[] = {
      {"^", RigaCondizione},
      {"(", RigaCondizione},
  };
  static const Famiglia<StatoFlusso> famiglia{comandi, righe};
  return famiglia;
}

}  // namespace mlx
