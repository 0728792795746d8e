// The families of this build, joined. A family is added here with one line; its commands and
// line kinds stay in its own folder.
#include "engine/tabella.h"

#include <array>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "conditions/comandi_condizioni.h"
#include "dialogs/comandi_dialoghi.h"
#include "files/comandi_file.h"
#include "programs/comandi_programmi.h"
#include "engine/collezione.h"
#include "system/comandi_registro.h"
#include "system/comandi_switch.h"
#include "variables/comandi_variabili.h"

namespace mlx {

namespace {

struct Tabella {
  std::unordered_map<std::string_view, Comando, HashBreve, UgualeBreve> comandi;
  std::unordered_map<std::string_view, GestoreRiga, HashBreve, UgualeBreve> righe;
  // The line kinds of an ASCII first character by that character, looked up once per line.
  std::array<const GestoreRiga*, 128> righeAscii{};
  // The commands by the first byte of their code, looked up once per command line: a code is
  // compared with the few that begin as it does.
  std::array<std::vector<std::pair<std::string_view, const Comando*>>, 256> comandiPerIniziale;

  void IndicizzaComandi() {
    for (const auto& [codice, comando] : comandi) {
      if (codice.empty()) continue;
      comandiPerIniziale[static_cast<unsigned char>(codice[0])].emplace_back(codice, &comando);
    }
  }

  void IndicizzaRighe() {
    for (const auto& [primo, gestore] : righe) {
      if (primo.size() == 1 && static_cast<unsigned char>(primo[0]) < righeAscii.size()) {
        righeAscii[static_cast<unsigned char>(primo[0])] = &gestore;
      }
    }
  }

  // The rows of a family that keeps state in `stato`.
  template <typename Stato>
  void Aggiungi(const Famiglia<Stato>& famiglia, Stato Famiglie::*stato) {
    AggiungiLegati(famiglia, [stato](auto g) {
      return [g, stato](ContestoEsecuzione& c, Famiglie& f) { return g(c, f.*stato); };
    });
  }

  // The rows of a family without state of its own.
  void Aggiungi(const Famiglia<>& famiglia) {
    AggiungiLegati(famiglia,
                   [](auto g) { return [g](ContestoEsecuzione& c, Famiglie&) { return g(c); }; });
  }

  // `lega` turns a family's handler into one that takes every family's state.
  template <typename Stato, typename Lega>
  void AggiungiLegati(const Famiglia<Stato>& famiglia, Lega lega) {
    for (const Voce<Stato>& voce : famiglia.comandi) {
      Comando comando{lega(voce.gestore), nullptr, voce.prova};
      if (voce.costruisceSql) {
        if (famiglia.istruzione == nullptr) Guasto("il comando", voce.codice, "senza istruzione");
        comando.istruzione = lega(famiglia.istruzione);
      }
      if (!comandi.emplace(voce.codice, std::move(comando)).second) {
        Guasto("il comando", voce.codice, "in due righe");
      }
    }
    for (const TipoRiga<Stato>& tipo : famiglia.righe) {
      GestoreRiga gestore;
      if (tipo.gestore != nullptr) gestore = lega(tipo.gestore);
      if (!righe.emplace(tipo.primo, std::move(gestore)).second) {
        Guasto("il tipo di riga", tipo.primo, "dato due volte");
      }
    }
  }

  // A code given twice, or a statement without the family's step to run it, is a fault of the
  // build: the program stops before it runs any line.
  [[noreturn]] static void Guasto(const char* cosa, std::string_view codice, const char* come) {
    throw std::logic_error(std::string("Tabella dei comandi: ") + cosa + " " + std::string(codice) +
                           " " + come + ".");
  }
};

// The engine's own line kinds.
constexpr TipoRiga<> kRigheMotore[] = {
    // Comments: an empty line and a line beginning with ";" do nothing and log nothing.
    {"", nullptr},
    {";", nullptr},
};

const Tabella& TabellaComandi() {
  static const Tabella tabella = [] {
    Tabella t;
    t.Aggiungi(Famiglia<>{{}, kRigheMotore});
    t.Aggiungi(FamigliaDatabase(), &Famiglie::database);
    t.Aggiungi(FamigliaRegistro());
    t.Aggiungi(FamigliaInterruttori());
    t.Aggiungi(FamigliaVariabili());
    t.Aggiungi(FamigliaFlusso(), &Famiglie::flusso);
    t.Aggiungi(FamigliaCondizioni());
    t.Aggiungi(FamigliaDialoghi());
    t.Aggiungi(FamigliaFile());
    t.Aggiungi(FamigliaProgrammi());
    t.IndicizzaRighe();
    t.IndicizzaComandi();
    return t;
  }();
  return tabella;
}

}  // namespace

const Comando* TrovaComando(std::string_view codice) {
  const Tabella& tabella = TabellaComandi();
  if (codice.empty()) {
    auto it = tabella.comandi.find(codice);
    return it == tabella.comandi.end() ? nullptr : &it->second;
  }
  for (const auto& [altro, comando] :
       tabella.comandiPerIniziale[static_cast<unsigned char>(codice[0])]) {
    if (UgualeBreve{}(altro, codice)) return comando;
  }
  return nullptr;
}

const GestoreRiga* TrovaTipoRiga(std::string_view primo) {
  const Tabella& tabella = TabellaComandi();
  if (primo.size() == 1 && static_cast<unsigned char>(primo[0]) < tabella.righeAscii.size()) {
    return tabella.righeAscii[static_cast<unsigned char>(primo[0])];
  }
  const auto& righe = tabella.righe;
  auto it = righe.find(primo);
  return it == righe.end() ? nullptr : &it->second;
}

}  // namespace mlx
