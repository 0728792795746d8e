#include "launch/mdlMarlovex.h"

#include <utility>

#include "database/programmati.h"
#include "engine/clsMarlovex.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

std::string StatoProcesso::PercorsoApp(const std::string& file) const {
  return UnisciPercorso(plat.fs->ProgramDirectory(), file);
}

int StatoProcesso::Messaggio(const std::string& testo, int stile,
                             const std::string& titolo) const {
  if (plat.ui == nullptr) return ui::DefaultAnswer(stile);
  return plat.ui->MessageBox(testo, titolo, stile);
}

void StatoProcesso::SegnalaErrore(const std::string& testo) {
  ErroreSegnalato = true;
  Messaggio(testo, ui::kIconInformation, "Attenzione");
}

void Main(StatoProcesso& stato, const std::string& argomenti) {
  stato.NomeValoreDb = "PathMDB";
  stato.DbAlternativo.clear();
  stato.IconeMessaggio.Svuota();
  stato.IconeMessaggio.Aggiungi("!", ui::kIconExclamation);
  stato.IconeMessaggio.Aggiungi("i", ui::kIconInformation);
  stato.IconeMessaggio.Aggiungi("x", ui::kIconCritical);
  stato.IconeMessaggio.Aggiungi("?", ui::kIconQuestion);
  ElaboraRigaComando(stato, argomenti);
  stato.IconeMessaggio.Svuota();
}

void ElaboraRigaComando(StatoProcesso& stato, const std::string& argomenti) {
  std::vector<std::string> files;
  if (argomenti.empty()) {
    files.push_back(stato.PercorsoApp("MLX.txt"));
  } else if (argomenti[0] == '-') {
    LeggiOpzioni(stato, argomenti);
    return;
  } else {
    files = Dividi(argomenti, ",");
  }
  for (const std::string& elemento : files) {
    std::string percorso = Sostituisci(TogliSpazi(elemento), "\"", "");
    // Two commas in a row leave an empty element: there is no file to run.
    if (percorso.empty()) continue;
    EseguiScript(stato, percorso);
  }
  stato.RigheScript.assign(1, "");
}

void LeggiOpzioni(StatoProcesso& stato, const std::string& argomenti) {
  const std::string opzione = text::ToUpper(SinistraDi(argomenti, " "));
  const std::string argomento = SinistraDi(DestraDi(argomenti, " "), "|");
  if (opzione == "-U") {
    // The plans of the table whose date has come. A scheduling database or table that is
    // missing runs nothing and is reported.
    EseguiProgrammati(stato, argomento);
  }
  // "-C" and any other option: accepted, nothing happens.
}

void EseguiScript(StatoProcesso& stato, const std::string& percorso) {
  stato.RigheScript.assign(1, "");
  stato.FileInCaricamento = std::make_unique<CollezioneTesti>();

  if (!stato.plat.fs->IsFile(percorso)) {
    stato.SegnalaErrore("File " + percorso + " non trovato.");
    return;
  }
  if (!CaricaScript(stato, percorso)) {
    SvuotaCollection(stato.FileInCaricamento);
    stato.RigheScript.clear();
    return;
  }
  if (stato.RigheScript.size() > 1) stato.RigheScript.pop_back();

  clsMarlovex motore(stato);
  motore.Vero = stato.EsecuzioneReale;
  motore.InitVars(percorso);
  std::string etichetta;
  // The loaded lines pass to the engine; the module keeps an empty array.
  if (!motore.InitMLX(std::exchange(stato.RigheScript, {""}), &etichetta)) {
    stato.SegnalaErrore("Esecuzione impossibile, l'etichetta " + etichetta +
                        " compare due volte in " + percorso + ".");
    motore.Clear();
    return;
  }
  const long totale = static_cast<long>(motore.Righe.size());
  if (stato.plat.ui != nullptr) {
    ui::Ui* finestra = stato.plat.ui;
    motore.LineExecuted = [finestra, totale](std::int32_t linea) {
      finestra->Progress(static_cast<long>(linea) + 1, totale);
    };
  }
  motore.Ciclo();
  motore.Clear();
}

namespace {

// Splits file content into lines: CR LF, CR and LF each end a line.
std::vector<std::string> DividiRighe(const std::string& testo) {
  std::vector<std::string> righe;
  std::size_t inizio = 0;
  for (std::size_t i = 0; i < testo.size(); ++i) {
    if (testo[i] == '\r' || testo[i] == '\n') {
      righe.push_back(testo.substr(inizio, i - inizio));
      if (testo[i] == '\r' && i + 1 < testo.size() && testo[i + 1] == '\n') ++i;
      inizio = i + 1;
    }
  }
  if (inizio < testo.size()) righe.push_back(testo.substr(inizio));
  return righe;
}

}  // namespace

bool CaricaScript(StatoProcesso& stato, const std::string& percorso) {
  stato.FileInCaricamento->Aggiungi(percorso, percorso);

  std::string contenuto;
  Status letto = stato.plat.fs->ReadFile(percorso, &contenuto);
  if (!letto.ok()) {
    stato.SegnalaErrore("Esecuzione impossibile, il file " + percorso +
                        " non si legge: " + letto.description());
    return false;
  }
  const std::vector<std::string> righe = DividiRighe(text::DecodeFileBytes(contenuto));

  for (std::size_t i = 0; i < righe.size(); ++i) {
    std::string riga = TogliSpazi(righe[i]);
    if (riga.empty()) continue;
    while (!riga.empty() && riga.back() == '_' && i + 1 < righe.size()) {
      riga.pop_back();
      riga += TogliSpazi(righe[++i]);
    }
    if (riga.rfind("<<MLX,", 0) == 0) {
      const std::string nome = TogliSpazi(DestraDi(riga, ","));
      const std::string inclusione = stato.PercorsoApp(nome);
      if (!LeggiVoce(stato.FileInCaricamento.get(), inclusione).empty()) {
        stato.SegnalaErrore("Esecuzione impossibile, riferimento circolare tra " + percorso +
                            " e " + inclusione);
        return false;
      }
      if (!stato.plat.fs->IsFile(inclusione)) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " non esiste.");
        return false;
      }
      if (!CaricaScript(stato, inclusione)) return false;
      stato.RigheScript.emplace_back();
    } else {
      stato.RigheScript.back() = std::move(riga);
      stato.RigheScript.emplace_back();
    }
  }
  stato.FileInCaricamento->Rimuovi(percorso);
  return true;
}

}  // namespace mlx
