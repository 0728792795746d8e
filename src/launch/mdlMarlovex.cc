#include "launch/mdlMarlovex.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "database/programmati.h"
#include "engine/clsMarlovex.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

void Main(StatoProcesso& stato, const std::string& argomenti) {
  stato.DbAlternativo.clear();
  ElaboraRigaComando(stato, argomenti);
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
}

void LeggiOpzioni(StatoProcesso& stato, const std::string& argomenti) {
  const std::string opzione = text::ToUpper(SinistraDi(argomenti, " "));
  const std::string argomento = SinistraDi(DestraDi(argomenti, " "), "|");
  if (opzione == "-U") {
    // The plans of the table whose date has come. A scheduling database or table that is
    // missing runs nothing and is reported.
    EseguiProgrammati(stato, argomento,
                      [&stato](const std::string& script) { EseguiScript(stato, script); });
  }
  // "-C" and any other option: accepted, nothing happens.
}

void EseguiScript(StatoProcesso& stato, const std::string& percorso) {
  // After an interruption no further script runs.
  if (stato.InterruzioneRichiesta()) return;
  if (!stato.plat.fs->IsFile(percorso)) {
    stato.SegnalaErrore("File " + percorso + " non trovato.");
    return;
  }
  Caricamento caricamento;
  if (!CaricaScript(stato, caricamento, percorso)) return;
  std::vector<std::string>& righe = caricamento.RigheScript;
  if (righe.size() > 1) righe.pop_back();

  clsMarlovex motore(stato);
  motore.InitVars(percorso);
  std::string etichetta;
  if (!motore.InitMLX(std::move(righe), &etichetta)) {
    stato.SegnalaErrore("Esecuzione impossibile, l'etichetta " + etichetta +
                        " compare due volte in " + percorso + ".");
    motore.Clear();
    return;
  }
  const long totale = static_cast<long>(motore.Righe().size());
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

// Splits file content into lines: CR LF, CR and LF each end a line. The lines are views of the
// text, which must outlive them: a large script is not copied line by line twice.
std::vector<std::string_view> DividiRighe(const std::string& testo) {
  std::vector<std::string_view> righe;
  righe.reserve(static_cast<std::size_t>(std::count(testo.begin(), testo.end(), '\n')) + 1);
  const std::string_view tutto = testo;
  std::size_t inizio = 0;
  for (std::size_t i = 0; i < testo.size(); ++i) {
    if (testo[i] == '\r' || testo[i] == '\n') {
      righe.push_back(tutto.substr(inizio, i - inizio));
      if (testo[i] == '\r' && i + 1 < testo.size() && testo[i + 1] == '\n') ++i;
      inizio = i + 1;
    }
  }
  if (inizio < testo.size()) righe.push_back(tutto.substr(inizio));
  return righe;
}

}  // namespace

bool CaricaScript(StatoProcesso& stato, Caricamento& caricamento, const std::string& percorso) {
  caricamento.FileInCaricamento.Aggiungi(percorso, percorso);

  std::string contenuto;
  Status letto = stato.plat.fs->ReadFile(percorso, &contenuto);
  if (!letto.ok()) {
    stato.SegnalaErrore("Esecuzione impossibile, il file " + percorso +
                        " non si legge: " + letto.description());
    return false;
  }
  const std::string testo = text::DecodeFileBytes(contenuto);
  const std::vector<std::string_view> righe = DividiRighe(testo);
  caricamento.RigheScript.reserve(caricamento.RigheScript.size() + righe.size());

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
      if (!LeggiVoce(&caricamento.FileInCaricamento, inclusione).empty()) {
        stato.SegnalaErrore("Esecuzione impossibile, riferimento circolare tra " + percorso +
                            " e " + inclusione);
        return false;
      }
      if (!stato.plat.fs->IsFile(inclusione)) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " non esiste.");
        return false;
      }
      if (!CaricaScript(stato, caricamento, inclusione)) return false;
      caricamento.RigheScript.emplace_back();
    } else {
      caricamento.RigheScript.back() = std::move(riga);
      caricamento.RigheScript.emplace_back();
    }
  }
  caricamento.FileInCaricamento.Rimuovi(percorso);
  return true;
}

}  // namespace mlx
