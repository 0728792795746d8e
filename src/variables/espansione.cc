#include "variables/espansione.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/errore.h"
#include "platform/clock/clock.h"
#include "platform/sysinfo/sysinfo.h"

namespace mlx {

bool ValoreDiSistema(std::string_view nome, const Platform& plat, std::string* valore) {
  // Every built-in name begins with "S": any other is passed over at once.
  if (nome.empty() || nome[0] != 'S') return false;
  if (nome == "SPAZIO") {
    *valore = " ";
  } else if (nome == "SYS_DATE") {
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
  } else {
    return false;
  }
  return true;
}

std::string_view Espansore::Espandi(const CollezioneTesti* store, std::string_view testo,
                                    const Platform& plat) {
  const std::size_t primo = Cerca(testo, "{<");
  if (primo == std::string_view::npos) {
    sostituzioni_ = 0;
    letti_ = testo.size();
    return testo;
  }
  EspandiDa(store, testo, primo, plat, &buffer_);
  return buffer_;
}

void Espansore::Togli(std::size_t n) {
  Pezzo& cima = pila_.back();
  cima.testo.remove_prefix(n);
  resto_ -= n;
  letti_ += n;
  if (cima.testo.empty()) pila_.pop_back();
}

bool Espansore::LeggiNome() {
  // Usually the name and its ">}" lie in the top piece: the name is then a view of it.
  if (!pila_.empty()) {
    const std::string_view pezzo = pila_.back().testo;
    for (std::size_t j = 0; j + 1 < pezzo.size(); ++j) {
      if (pezzo[j] == '>' && pezzo[j + 1] == '}') {
        nome_ = pezzo.substr(0, j);
        Togli(j + 2);
        return true;
      }
    }
  }
  const bool chiuso = LeggiNomeUnito();
  nome_ = nomeUnito_;
  return chiuso;
}

bool Espansore::LeggiNomeUnito() {
  std::string& nome = nomeUnito_;
  nome.clear();
  while (!pila_.empty()) {
    const std::string_view pezzo = pila_.back().testo;
    const void* trovato = std::memchr(pezzo.data(), '>', pezzo.size());
    if (trovato == nullptr) {
      nome.append(pezzo);
      Togli(pezzo.size());
      continue;
    }
    const std::size_t j =
        static_cast<std::size_t>(static_cast<const char*>(trovato) - pezzo.data());
    if (j + 1 < pezzo.size()) {
      if (pezzo[j + 1] == '}') {
        nome.append(pezzo.substr(0, j));
        Togli(j + 2);
        return true;
      }
      nome.append(pezzo.substr(0, j + 1));
      Togli(j + 1);
      continue;
    }
    // The ">" ends the piece: the "}" may begin the piece under it.
    const bool chiuso = pila_.size() > 1 && pila_[pila_.size() - 2].testo.front() == '}';
    nome.append(pezzo.substr(0, j + (chiuso ? 0 : 1)));
    Togli(pezzo.size());
    if (chiuso) {
      Togli(1);
      return true;
    }
  }
  return false;
}

bool Espansore::RimandaASe(std::int32_t origine, const std::string* voce) const {
  for (std::int32_t o = origine; o >= 0; o = origini_[static_cast<std::size_t>(o)].genitore) {
    if (origini_[static_cast<std::size_t>(o)].voce == voce) return true;
  }
  return false;
}

void Espansore::Limite(std::int32_t origine, const std::string* voce, long profondita,
                       std::size_t lunghezza) const {
  if (voce != nullptr && RimandaASe(origine, voce)) {
    Solleva(err::kInvalidCall, "Espansione delle variabili senza fine: la variabile " +
                                   std::string(nome_) +
                                   " contiene un segnaposto che rimanda a se stesso.");
  }
  std::string motivo;
  if (lunghezza > kMaxLunghezzaEspansa) {
    motivo = "il testo espanso supererebbe i " + std::to_string(kMaxLunghezzaEspansa >> 20) + " MB";
  } else if (profondita > kMaxProfondita) {
    motivo = "oltre " + std::to_string(kMaxProfondita) +
             " segnaposti annidati uno nel valore dell'altro";
  } else {
    motivo = "oltre " + std::to_string(kMaxSostituzioni) + " sostituzioni in una riga";
  }
  Solleva(err::kInvalidCall, "Espansione delle variabili interrotta: " + motivo + " (variabile " +
                                 std::string(nome_) + ").");
}

void Espansore::EspandiIn(const CollezioneTesti* store, std::string_view testo,
                          const Platform& plat, std::string* risultato) {
  EspandiDa(store, testo, 0, plat, risultato);
}

void Espansore::EspandiDa(const CollezioneTesti* store, std::string_view testo, std::size_t da,
                          const Platform& plat, std::string* risultato) {
  std::string& s = *risultato;
  s.clear();
  s.append(testo.substr(0, da));
  pila_.clear();
  origini_.clear();
  resto_ = testo.size() - da;
  sostituzioni_ = 0;
  letti_ = da;
  std::size_t sistemaUsati = 0;
  if (resto_ > 0) pila_.push_back({testo.substr(da), -1});

  // The text is s (read and final) followed by the stack. A placeholder is searched for in the
  // stack only: after a replacement at position p the search goes on from p + 1, so the byte
  // that then stands at p is final.
  while (!pila_.empty()) {
    const Pezzo cima = pila_.back();
    const std::string_view pezzo = cima.testo;
    std::size_t i = 0;
    bool trovato = false;
    for (;;) {
      i = CercaCarattere(pezzo, '{', i);
      if (i == std::string_view::npos) break;
      const char dopo = i + 1 < pezzo.size() ? pezzo[i + 1]
                        : pila_.size() > 1   ? pila_[pila_.size() - 2].testo.front()
                                             : '\0';
      if (dopo == '<') {
        trovato = true;
        break;
      }
      ++i;
    }
    if (!trovato) {
      s.append(pezzo);
      Togli(pezzo.size());
      continue;
    }
    s.append(pezzo.substr(0, i));
    // "{<" (perhaps across two pieces), then the name up to ">}".
    if (i + 2 <= pezzo.size()) {
      Togli(i + 2);
    } else {
      Togli(i + 1);
      Togli(1);
    }
    if (!LeggiNome()) {
      Solleva(err::kInvalidCall, "Segnaposto senza chiusura \">}\": {<" + std::string(nome_));
    }

    std::string_view valore;
    const std::string* voce = nullptr;
    if (sistemaUsati == sistema_.size()) sistema_.push_back(std::make_unique<std::string>());
    if (ValoreDiSistema(nome_, plat, sistema_[sistemaUsati].get())) {
      valore = *sistema_[sistemaUsati++];
    } else {
      voce = store != nullptr ? store->Trova(nome_) : nullptr;
      if (voce == nullptr)
        Solleva(err::kInvalidCall, "Variabile non definita: " + std::string(nome_));
      valore = DestraDiVista(*voce, " = ");
    }
    const long profondita =
        cima.origine < 0 ? 1 : origini_[static_cast<std::size_t>(cima.origine)].profondita + 1;
    const std::size_t lunghezza = s.size() + resto_ + valore.size();
    if (++sostituzioni_ > kMaxSostituzioni || profondita > kMaxProfondita ||
        lunghezza > kMaxLunghezzaEspansa) {
      Limite(cima.origine, voce, profondita, lunghezza);
    }

    // The byte that now stands where the placeholder began is final: the value's first, or
    // when the value is empty the first of the text after the placeholder.
    if (!valore.empty()) {
      const std::string_view seguito = valore.substr(1);
      if (CercaCarattere(seguito, '{') == std::string_view::npos) {
        // No placeholder can begin in a value without "{": the whole of it is final.
        s.append(valore);
        letti_ += valore.size();
      } else {
        s.push_back(valore.front());
        letti_ += 1;
        origini_.push_back({voce, cima.origine, static_cast<std::int32_t>(profondita)});
        pila_.push_back({seguito, static_cast<std::int32_t>(origini_.size() - 1)});
        resto_ += seguito.size();
      }
    } else if (!pila_.empty()) {
      s.push_back(pila_.back().testo.front());
      Togli(1);
    }
  }
}

std::string EspandiVariabili(const CollezioneTesti* store, std::string_view testo,
                             const Platform& plat) {
  Espansore espansore;
  std::string risultato;
  espansore.EspandiIn(store, testo, plat, &risultato);
  return risultato;
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
