#include "launch/mdlMarlovex.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "database/programmati.h"
#include "engine/clsMarlovex.h"
#include "launch/opzioni.h"
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
  // "-C" and any other option: accepted, nothing happens. An option of the grammar other than
  // those two is likely a mistake, so a note says where the options are.
  if (opzione != "-U" && opzione != "-C" && stato.StampaNota) {
    stato.StampaNota("marlovex: opzione " + SinistraDi(argomenti, " ") +
                     " sconosciuta, nessun effetto; 'marlovex --help' elenca le opzioni.");
  }
}

void EseguiScript(StatoProcesso& stato, const std::string& percorso) {
  // After an interruption no further script runs.
  if (stato.InterruzioneRichiesta()) return;
  if (!stato.plat.fs->IsFile(percorso)) {
    // "b.txt --verbose": an option written after the script became part of its name.
    const std::vector<std::string> parole = Dividi(percorso, " ");
    const auto opzione = std::find_if(parole.begin() + 1, parole.end(), OpzioneNota);
    if (opzione != parole.end() && stato.StampaNota) {
      stato.StampaNota("marlovex: " + *opzione +
                       " dopo lo script fa parte del suo nome: le opzioni vanno prima degli "
                       "script.");
    }
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

// Bit k of the answer is set when byte k of the 64 bytes from `p` is a CR or an LF.
std::uint64_t FiniRigaInBlocco(const char* p) {
  std::uint64_t maschera = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  for (int k = 0; k < 4; ++k) {
    const __m128i byte = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i fine = _mm_or_si128(_mm_cmpeq_epi8(byte, lf), _mm_cmpeq_epi8(byte, cr));
    maschera |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(fine)))
                << (16 * k);
  }
#else
  for (int k = 0; k < 64; ++k) {
    if (p[k] == '\n' || p[k] == '\r') maschera |= std::uint64_t{1} << k;
  }
#endif
  return maschera;
}

// The lines of file content one at a time, as views of it: CR LF, CR and LF each end a line,
// and content that ends with a line end has no empty line after it. The line ends are found
// 64 bytes at a time, as the bits of a mask, so that a line costs a few steps whatever its
// length.
class LettoreRighe {
 public:
  explicit LettoreRighe(std::string_view testo) : testo_(testo) { Carica(); }
  bool AltraRiga() const { return pos_ < testo_.size(); }
  // The text after the lines read so far.
  std::string_view Resto() const { return testo_.substr(pos_); }
  std::string_view Prossima() {
    const std::size_t inizio = pos_;
    const std::size_t fine = ProssimaFine();
    if (fine == testo_.size()) {
      pos_ = fine;
      return testo_.substr(inizio);
    }
    pos_ = fine + 1;
    if (testo_[fine] == '\r' && pos_ < testo_.size() && testo_[pos_] == '\n') ++pos_;
    maschera_ &= DaPos();
    return testo_.substr(inizio, fine - inizio);
  }

 private:
  // The position of the first line end from pos_, or the text's size when there is none.
  std::size_t ProssimaFine() {
    while (maschera_ == 0) {
      if (blocco_ + 64 >= testo_.size()) return testo_.size();
      blocco_ += 64;
      Carica();
    }
    return blocco_ + static_cast<std::size_t>(std::countr_zero(maschera_));
  }
  // The line ends of the block from blocco_ at or after pos_. The last block is read from a
  // copy padded with bytes that end no line.
  void Carica() {
    if (blocco_ + 64 <= testo_.size()) {
      maschera_ = FiniRigaInBlocco(testo_.data() + blocco_);
    } else {
      char ultimo[64] = {};
      std::memcpy(ultimo, testo_.data() + blocco_, testo_.size() - blocco_);
      maschera_ = FiniRigaInBlocco(ultimo);
    }
    maschera_ &= DaPos();
  }
  // The bits of the block's positions at or after pos_.
  std::uint64_t DaPos() const {
    if (pos_ <= blocco_) return ~std::uint64_t{0};
    const std::size_t salto = pos_ - blocco_;
    return salto >= 64 ? 0 : ~std::uint64_t{0} << salto;
  }

  std::string_view testo_;
  std::size_t pos_ = 0;
  std::size_t blocco_ = 0;
  std::uint64_t maschera_ = 0;
};

// How reading the lines of a text ended.
enum class Lettura { Fatta, Errore, NonUtf8 };

// Adds the lines of the text of `percorso` to the script, loading its includes. With `verifica`
// each line is checked to be UTF-8 as it is read, while it is at hand, and the first that is not
// stops the reading (NonUtf8); the rest of the text is checked whole before an include is
// loaded, so that nothing but the lines added is done before the text is known to be UTF-8.
Lettura LeggiRighe(StatoProcesso& stato, Caricamento& caricamento, const std::string& percorso,
                   std::string_view testo, bool verifica) {
  RigheScript& script = caricamento.RigheScript;
  // Room for a line every eight bytes: a generous guess that spares a pass over the text to
  // count them. Room never written is cheap, and more lines only make the list grow.
  script.reserve(script.size() + testo.size() / 8 + 1);

  LettoreRighe lettore(testo);
  const auto Leggi = [&](std::string_view* riga) {
    *riga = lettore.Prossima();
    return !verifica || text::IsValidUtf8(*riga);
  };
  while (lettore.AltraRiga()) {
    std::string_view riga;
    if (!Leggi(&riga)) return Lettura::NonUtf8;
    riga = SenzaSpazi(riga);
    if (riga.empty()) continue;
    if (riga.back() == '_' && lettore.AltraRiga()) {
      // A line ending in "_" goes on in the next one: the joined line is kept on its own.
      std::string unita(riga);
      while (!unita.empty() && unita.back() == '_' && lettore.AltraRiga()) {
        unita.pop_back();
        std::string_view seguito;
        if (!Leggi(&seguito)) return Lettura::NonUtf8;
        unita += SenzaSpazi(seguito);
      }
      riga = script.Conserva(std::move(unita));
    }
    if (riga.starts_with("<<MLX,")) {
      if (verifica) {
        if (!text::IsValidUtf8(lettore.Resto())) return Lettura::NonUtf8;
        verifica = false;
      }
      const std::string nome = TogliSpazi(DestraDi(riga, ","));
      const std::string inclusione = stato.PercorsoApp(nome);
      if (!LeggiVoce(&caricamento.FileInCaricamento, inclusione).empty()) {
        stato.SegnalaErrore("Esecuzione impossibile, riferimento circolare tra " + percorso +
                            " e " + inclusione);
        return Lettura::Errore;
      }
      if (caricamento.FileInCaricamento.Conta() >= kMaxInclusioniAnnidate) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " supera il limite di " +
                            std::to_string(kMaxInclusioniAnnidate) + " inclusioni annidate.");
        return Lettura::Errore;
      }
      if (!stato.plat.fs->IsFile(inclusione)) {
        stato.SegnalaErrore("Esecuzione impossibile, il file " + inclusione + " incluso da " +
                            percorso + " non esiste.");
        return Lettura::Errore;
      }
      if (!CaricaScript(stato, caricamento, inclusione)) return Lettura::Errore;
      script.push_back({});
    } else {
      script.SostituisciUltima(riga);
      script.push_back({});
    }
  }
  return Lettura::Fatta;
}

}  // namespace

bool CaricaScript(StatoProcesso& stato, Caricamento& caricamento, const std::string& percorso) {
  caricamento.FileInCaricamento.Aggiungi(percorso, percorso);

  fs::FileBytes contenuto;
  Status letto = stato.plat.fs->ReadFileBytes(percorso, &contenuto);
  if (!letto.ok()) {
    stato.SegnalaErrore("Esecuzione impossibile, il file " + percorso +
                        " non si legge: " + letto.description());
    return false;
  }
  RigheScript& script = caricamento.RigheScript;
  // The lines are views of the file's text, which the script keeps. Text that may be UTF-8
  // (the common case) is read as it is, each line checked as it is read, so that the file is
  // gone through once; text that is not is decoded whole and read again.
  const std::size_t righePrima = script.size();
  const std::optional<std::string_view> utf8 =
      text::Utf8FileText(script.ConservaByte(std::move(contenuto)));
  Lettura esito =
      utf8 ? LeggiRighe(stato, caricamento, percorso, *utf8, true) : Lettura::NonUtf8;
  if (esito == Lettura::NonUtf8) {
    script.Tronca(righePrima);
    script.SostituisciUltima({});
    esito = LeggiRighe(stato, caricamento, percorso, script.DecodificaUltimo(), false);
  }
  if (esito != Lettura::Fatta) return false;
  caricamento.FileInCaricamento.Rimuovi(percorso);
  return true;
}

}  // namespace mlx
