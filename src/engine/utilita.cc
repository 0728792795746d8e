#include "engine/utilita.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "engine/errore.h"
#include "platform/db/db.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

std::string_view DestraDiVista(std::string_view testo, std::string_view sep) {
  if (testo.empty()) return {};
  std::size_t p = Cerca(testo, sep);
  if (p == std::string_view::npos) return {};
  return testo.substr(p + sep.size());
}

std::string DestraDi(std::string_view testo, std::string_view sep) {
  return std::string(DestraDiVista(testo, sep));
}

std::string SinistraDi(std::string_view testo, std::string_view sep) {
  if (testo.empty()) return "";
  std::size_t p = testo.find(sep);
  if (p == std::string_view::npos) return std::string(testo);
  return std::string(testo.substr(0, p));
}

void Dividi(std::string_view testo, std::string_view sep, std::vector<std::string>* parti) {
  // The pieces are written over the vector's own texts, so that splitting line after line
  // into the same vector allocates nothing once the texts are large enough.
  std::size_t n = 0;
  const auto Metti = [&](std::string_view pezzo) {
    if (n < parti->size()) {
      (*parti)[n].clear();
      (*parti)[n].append(pezzo);
    } else {
      parti->emplace_back(pezzo);
    }
    ++n;
  };
  if (sep.empty()) {
    Metti(testo);
  } else {
    std::size_t inizio = 0;
    for (;;) {
      const std::size_t p =
          sep.size() == 1 ? CercaCarattere(testo, sep[0], inizio) : Cerca(testo, sep, inizio);
      if (p == std::string_view::npos) break;
      Metti(testo.substr(inizio, p - inizio));
      inizio = p + sep.size();
    }
    Metti(testo.substr(inizio));
  }
  parti->resize(n);
}

std::vector<std::string> Dividi(std::string_view testo, std::string_view sep) {
  std::vector<std::string> parti;
  Dividi(testo, sep, &parti);
  return parti;
}

std::string Elemento(std::string_view testo, int n, std::string_view sep) {
  if (testo.empty() || n <= 0) return "";
  std::vector<std::string> parti = Dividi(testo, sep);
  if (static_cast<std::size_t>(n) > parti.size()) return "";
  return parti[static_cast<std::size_t>(n) - 1];
}

std::string UnisciDa(const std::vector<std::string>& arr, std::string_view sep, long inizio) {
  std::string risultato;
  AggiungiUnioneDa(arr, sep, inizio, &risultato);
  return risultato;
}

void AggiungiUnioneDa(const std::vector<std::string>& arr, std::string_view sep, long inizio,
                      std::string* risultato) {
  if (inizio < 0) inizio = 0;
  for (std::size_t i = static_cast<std::size_t>(inizio); i < arr.size(); ++i) {
    if (i > static_cast<std::size_t>(inizio)) risultato->append(sep);
    risultato->append(arr[i]);
  }
}

std::string Sostituisci(std::string_view testo, std::string_view da, std::string_view a) {
  if (da.empty()) return std::string(testo);
  std::string risultato;
  std::size_t inizio = 0;
  for (;;) {
    std::size_t p = testo.find(da, inizio);
    if (p == std::string_view::npos) break;
    risultato.append(testo.substr(inizio, p - inizio));
    risultato.append(a);
    inizio = p + da.size();
  }
  risultato.append(testo.substr(inizio));
  return risultato;
}

std::string RaddoppiaApici(std::string_view testo) { return Sostituisci(testo, "'", "''"); }

bool IsVero(std::string_view testo) {
  std::string maiuscolo = text::ToUpper(testo);
  return maiuscolo == "TRUE" || maiuscolo == "VERO" || testo == "-1";
}

namespace {

// The number a non-empty text reads as, when it reads as one.
std::optional<double> LeggiNumero(std::string_view testo) {
  std::string s = TogliSpazi(testo);
  if (s.empty()) return std::nullopt;
  // Either "." or "," serves as the decimal mark (scripts are written in both habits);
  // a text with both is ambiguous and refused.
  bool punto = s.find('.') != std::string::npos;
  bool virgola = s.find(',') != std::string::npos;
  if (punto && virgola) return std::nullopt;
  if (virgola) s = Sostituisci(s, ",", ".");
  const char* inizio = s.c_str();
  char* fine = nullptr;
  errno = 0;
  double valore = std::strtod(inizio, &fine);
  if (fine == inizio || *fine != '\0' || errno == ERANGE || !std::isfinite(valore) ||
      s.find_first_of("xXnN") != std::string::npos) {
    return std::nullopt;
  }
  return valore;
}

}  // namespace

double ValoreNumerico(std::string_view testo) {
  if (TogliSpazi(testo).empty()) return 0;
  std::optional<double> valore = LeggiNumero(testo);
  if (!valore) Solleva(err::kTypeMismatch, "Tipo non corrispondente: " + std::string(testo));
  return *valore;
}

bool IsNumeric(std::string_view testo) {
  return LeggiNumero(testo).has_value();
}

std::int32_t ValoreIntero(std::string_view testo) {
  const double valore = std::nearbyint(ValoreNumerico(testo));
  if (valore < -2147483648.0 || valore > 2147483647.0) {
    Solleva(err::kOverflow, "Overflow: " + std::string(testo));
  }
  return static_cast<std::int32_t>(valore);
}

bool PercorsoAssoluto(std::string_view percorso) {
  if (!percorso.empty() && (percorso[0] == '/' || percorso[0] == '\\')) return true;
  return percorso.size() >= 2 && percorso[1] == ':' &&
         std::isalpha(static_cast<unsigned char>(percorso[0])) != 0;
}

std::string UnisciPercorso(std::string_view cartella, std::string_view file) {
  return fs::Join(cartella, file);
}

std::string SoloFile(std::string_view percorso) {
  std::size_t p = fs::LastSeparator(percorso);
  if (p == std::string_view::npos) return std::string(percorso);
  return std::string(percorso.substr(p + 1));
}

std::string SoloPercorso(std::string_view percorso) {
  std::size_t p = fs::LastSeparator(percorso);
  if (p == std::string_view::npos) return std::string(percorso);
  return std::string(percorso.substr(0, p));
}

std::string_view SenzaSpazi(std::string_view testo) {
  std::size_t inizio = testo.find_first_not_of(' ');
  if (inizio == std::string_view::npos) return {};
  std::size_t fine = testo.find_last_not_of(' ');
  return testo.substr(inizio, fine - inizio + 1);
}

std::string TogliSpazi(std::string_view testo) { return std::string(SenzaSpazi(testo)); }

std::string LeggiVoce(const CollezioneTesti* coll, std::string_view chiave) {
  if (coll == nullptr) return "";
  const std::string* voce = coll->Trova(chiave);
  return voce == nullptr ? "" : *voce;
}

std::string_view VoceDestra(const CollezioneTesti* coll, std::string_view chiave,
                            std::string_view sep) {
  if (coll == nullptr) return {};
  const std::string* voce = coll->Trova(chiave);
  return voce == nullptr ? std::string_view() : DestraDiVista(*voce, sep);
}

std::string LeggiVoceDestra(const CollezioneTesti* coll, std::string_view chiave,
                            std::string_view sep) {
  return std::string(VoceDestra(coll, chiave, sep));
}

void ScriviVoce(CollezioneTesti* coll, std::string valore, std::string_view chiave) {
  VoceDaScrivere(coll, chiave) = std::move(valore);
}

std::string& VoceDaScrivere(CollezioneTesti* coll, std::string_view chiave) {
  if (coll == nullptr) Solleva(err::kInvalidCall, "Archivio delle variabili non disponibile.");
  return coll->Voce(chiave);
}

void SvuotaCollection(std::unique_ptr<CollezioneTesti>& coll) {
  if (!coll) return;
  coll->Svuota();
  coll.reset();
}

std::int32_t TipoCampo(db::Recordset* rs, std::string_view nome) {
  if (rs == nullptr || !rs->IsOpen()) return -4;
  int indice = rs->FieldIndex(std::string(nome));
  if (indice < 0) return -4;
  return rs->Field(indice).type;
}

bool FormCaricato(ui::Ui* interfaccia, std::string_view nome) {
  return interfaccia != nullptr && nome == "frmWait" && interfaccia->WaitLoaded();
}

void ScaricaAttesa(ui::Ui* interfaccia) {
  if (FormCaricato(interfaccia, "frmWait")) interfaccia->UnloadWait();
}

void ScriviSuFile(fs::FileSystem& fileSystem, const std::string& percorso,
                  const std::string& testo, bool sovrascrivi) {
  const std::string riga = testo + "\r\n";
  (void)(sovrascrivi ? fileSystem.WriteFile(percorso, riga)
                     : fileSystem.AppendFile(percorso, riga));
}

}  // namespace mlx
