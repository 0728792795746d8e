#include "launch/mdlMarlovex.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
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
  RigheScript& righe = caricamento.RigheScript;
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

// How deep includes may nest. Each level is a call of CaricaScript on the machine's stack,
// which must stay far from its end; real scripts nest a few levels, and a chain this deep is a
// mistake (a generated include that names the next one without end).
constexpr std::size_t kMaxInclusioniAnnidate = 64;

// Text is scanned eight bytes at a time: a mask has the high bit of each byte of the word
// that equals the byte searched for.
constexpr std::uint64_t kUni = 0x0101010101010101ull;
constexpr std::uint64_t kAlti = 0x8080808080808080ull;

std::uint64_t Parola(const char* p) {
  std::uint64_t parola;
  std::memcpy(&parola, p, sizeof parola);
  return parola;
}

// Exact: every byte of `parola` equal to `b` has its high bit set, and no other.
std::uint64_t Uguali(std::uint64_t parola, unsigned char b) {
  const std::uint64_t x = parola ^ (kUni * b);
  const std::uint64_t basso = kAlti - kUni;  // 0x7F in every byte
  return ~(((x & basso) + basso) | x | basso);
}

// The position of the first CR or LF from `da`, or the text's size when there is none.
std::size_t FineRiga(std::string_view testo, std::size_t da) {
  std::size_t i = da;
  for (; i + 8 <= testo.size(); i += 8) {
    const std::uint64_t parola = Parola(testo.data() + i);
    const std::uint64_t fine = Uguali(parola, '\n') | Uguali(parola, '\r');
    // The first byte of the text is the word's lowest on a little-endian machine.
    if (fine != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return i + static_cast<std::size_t>(std::countr_zero(fine)) / 8;
      } else {
        return i + static_cast<std::size_t>(std::countl_zero(fine)) / 8;
      }
    }
  }
  while (i < testo.size() && testo[i] != '\n' && testo[i] != '\r') ++i;
  return i;
}

// The lines of file content one at a time, as views of it: CR LF, CR and LF each end a line,
// and content that ends with a line end has no empty line after it.
class LettoreRighe {
 public:
  explicit LettoreRighe(std::string_view testo) : testo_(testo) {}
  bool AltraRiga() const { return pos_ < testo_.size(); }
  std::string_view Prossima() {
    const std::size_t inizio = pos_;
    const std::size_t fine = FineRiga(testo_, inizio);
    if (fine == testo_.size()) {
      pos_ = fine;
      return testo_.substr(inizio);
    }
    pos_ = fine + 1;
    if (testo_[fine] == '\r' && pos_ < testo_.size() && testo_[pos_] == '\n') ++pos_;
    return testo_.substr(inizio, fine - inizio);
  }

 private:
  std::string_view testo_;
  std::size_t pos_ = 0;
};

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
  text::DecodeFileBytesInPlace(&contenuto);
  RigheScript& script = caricamento.RigheScript;
  // The lines are views of the file's text, which the script keeps.
  const std::string_view testo = script.Conserva(std::move(contenuto));
  // Room for a line every eight bytes: a generous guess that spares a pass over the text to
  // count them. Room never written is cheap, and more lines only make the list grow.
  script.reserve(script.size() + testo.size() / 8 + 1);

  LettoreRighe lettore(testo);
  while (lettore.AltraRiga()) {
    std::string_view riga = SenzaSpazi(lettore.Prossima());
    if (riga.empty()) continue;
    if (riga.back() == '_' && lettore.AltraRiga()) {
      // A line ending in "_" goes on in the next one: the joined line is kept on its own.
      std::string unita(riga);
      while (!unita.empty() && unita.back() == '_' && lettore.AltraRiga()) {
        unita.pop_back();
        unita += SenzaSpazi(lettore.Prossima());
      }
      riga = script.Conserva(std::move(unita));
    }
    if (riga.starts_with("<<MLX,")) {
      const std::string nome = TogliSpazi(DestraDi(riga, ","));
      const std::string inclusione = stato.PercorsoApp(nome);
      if (!LeggiVoce(&caricamento.FileInCaricamento, inclusione).empty()) {
        stato.SegnalaErrore("Esecuzione impossibile, riferimento circolare tra " + percorso +
                            " e " + inclusione);
        return false;
      }
      if (caricamento.FileInCaricamento.Conta() >= kMaxInclusioniAnnidate) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " supera il limite di " +
                            std::to_string(kMaxInclusioniAnnidate) + " inclusioni annidate.");
        return false;
      }
      if (!stato.plat.fs->IsFile(inclusione)) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " non esiste.");
        return false;
      }
      if (!CaricaScript(stato, caricamento, inclusione)) return false;
      script.push_back({});
    } else {
      script.SostituisciUltima(riga);
      script.push_back({});
    }
  }
  caricamento.FileInCaricamento.Rimuovi(percorso);
  return true;
}

}  // namespace mlx
