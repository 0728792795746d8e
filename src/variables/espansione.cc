#include "variables/espansione.h"

#include <cmath>
#include <cstdio>

#include "engine/errore.h"
#include "platform/clock/clock.h"
#include "platform/sysinfo/sysinfo.h"

namespace mlx {

bool ValoreDiSistema(std::string_view nome, const Platform& plat, std::string* valore) {
  if (nome == "SYS_DATE") {
    *valore = clock::Format(plat.clock->Now(), "dd/mm/yyyy");
  } else if (nome == "SYS_TIME") {
    *valore = clock::Format(plat.clock->Now(), "hh:nn:ss");
  } else if (nome == "SYS_DATETIME") {
    *valore = clock::Format(plat.clock->Now(), "dd/mm/yyyy hh:nn:ss");
  } else if (nome == "SYS_WINVER") {
    *valore = VersioneWindows(plat);
  } else if (nome == "SYS_CURDRV") {
    *valore = text::Left(plat.sysinfo->CurrentDirectory(), 2);
  } else if (nome == "SYS_CURDIR") {
    *valore = plat.sysinfo->CurrentDirectory();
  } else if (nome == "SYS_WINDIR") {
    *valore = CartellaWindows(plat);
  } else if (nome == "SYS_WINSYSDIR") {
    *valore = CartellaSistema(plat);
  } else if (nome == "SYS_TEMPDIR") {
    *valore = CartellaTemp(plat);
  } else if (nome == "SYS_PCNAME") {
    *valore = NomeComputer(plat);
  } else if (nome == "SYS_USERNAME") {
    *valore = NomeUtente(plat);
  } else if (nome == "SPAZIO") {
    *valore = " ";
  } else {
    return false;
  }
  return true;
}

std::string EspandiVariabili(const CollezioneTesti* store, std::string_view testo,
                             const Platform& plat) {
  std::string s(testo);
  std::size_t p = s.find("{<");
  long sostituzioni = 0;
  while (p != std::string::npos) {
    std::size_t q = s.find(">}", p);
    if (q == std::string::npos) {
      Solleva(err::kInvalidCall, "Segnaposto senza chiusura \">}\": " + s.substr(p));
    }
    std::string nome = s.substr(p + 2, q - p - 2);
    std::string valore;
    if (!ValoreDiSistema(nome, plat, &valore)) {
      if (store == nullptr || !store->Contiene(nome)) {
        Solleva(err::kInvalidCall, "Variabile non definita: " + nome);
      }
      valore = DestraDi(*store->Leggi(nome), " = ");
    }
    if (++sostituzioni > kMaxSostituzioni ||
        s.size() - (q + 2 - p) + valore.size() > kMaxLunghezzaEspansa) {
      Solleva(err::kInvalidCall,
              "Espansione delle variabili senza fine: la variabile " + nome +
                  " contiene un segnaposto che rimanda a se stesso.");
    }
    s.replace(p, q + 2 - p, valore);
    // The search resumes one character after the start of the replaced placeholder, so a
    // placeholder inside the inserted value is expanded in turn.
    p = s.find("{<", p + 1);
  }
  return s;
}

PartiTestVariabile DividiTestVariabile(std::string_view testo) {
  std::size_t p = Cerca(testo, "{<");
  std::size_t q = Cerca(testo, ">}");
  if (p == std::string_view::npos || q == std::string_view::npos || q < p + 2) {
    Solleva(err::kInvalidCall, "Test di variabile non valido: " + std::string(testo));
  }
  PartiTestVariabile parti;
  parti.nome = testo.substr(p + 2, q - p - 2);
  if (q + 2 < testo.size()) parti.operatore = testo.substr(q + 2, 2);
  if (q + 4 < testo.size()) parti.valore = testo.substr(q + 4);
  return parti;
}

void ScomponiTestVariabile(const CollezioneTesti* store, std::string_view testo,
                           const Platform& plat, std::string* nome, std::string* operatore,
                           std::string* valore) {
  const PartiTestVariabile parti = DividiTestVariabile(testo);
  *nome = parti.nome;
  *operatore = parti.operatore;
  *valore = parti.valore.empty() ? "" : EspandiVariabili(store, parti.valore, plat);
}

std::string VersioneWindows(const Platform& plat) {
  std::uint32_t basso = plat.sysinfo->VersionNumber() & 0xFFFFu;
  unsigned maggiore = basso & 0xFFu;
  unsigned minore = (basso >> 8) & 0xFFu;
  // The minor version is shown divided by 100 and rounded to two digits.
  long centesimi = static_cast<long>(std::floor(minore / 100.0 + 0.5));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%u.%02ld", maggiore, centesimi);
  return buffer;
}

std::string CartellaWindows(const Platform& plat) { return plat.sysinfo->WindowsDirectory(); }
std::string CartellaSistema(const Platform& plat) { return plat.sysinfo->SystemDirectory(); }
std::string CartellaTemp(const Platform& plat) { return plat.sysinfo->TempDirectory(); }
std::string NomeComputer(const Platform& plat) { return plat.sysinfo->ComputerName(); }
std::string NomeUtente(const Platform& plat) { return plat.sysinfo->UserName(); }
std::string VariabileAmbiente(const Platform& plat, std::string_view nome) {
  return plat.sysinfo->Environment(nome);
}

}  // namespace mlx
