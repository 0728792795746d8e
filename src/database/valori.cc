#include "database/valori.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "engine/utilita.h"
#include "platform/clock/clock.h"

namespace mlx {

namespace {

std::string Numero(double d) {
  if (std::isnan(d)) return "NaN";
  char buf[64];
  if (d == std::trunc(d) && std::fabs(d) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", d == 0 ? 0.0 : d);
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%.15G", d);
  return buf;
}

std::string Valuta(std::int64_t decimillesimi) {
  const bool negativo = decimillesimi < 0;
  const std::uint64_t assoluto = negativo ? 0 - static_cast<std::uint64_t>(decimillesimi)
                                          : static_cast<std::uint64_t>(decimillesimi);
  std::string testo = (negativo ? "-" : "") + std::to_string(assoluto / 10000);
  std::uint64_t resto = assoluto % 10000;
  if (resto != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(resto));
    std::string decimali = buf;
    while (decimali.back() == '0') decimali.pop_back();
    testo += "." + decimali;
  }
  return testo;
}

// Days since 30/12/1899, the time of day as the fraction (taken as positive also before that
// day, as the dates of the scripts' database are kept). A number outside the calendar is
// written as a number.
std::string Data(double giorni) {
  if (!clock::IsDayNumberInRange(giorni)) return Numero(giorni);
  double intero = std::trunc(giorni);
  long long secondi = std::llround(std::fabs(giorni - intero) * 86400.0);
  if (secondi >= 86400) {
    secondi -= 86400;
    intero += giorni >= 0 ? 1 : -1;
  }
  int anno = 0, mese = 0, giorno = 0;
  clock::DateOfDayNumber(static_cast<std::int64_t>(intero), &anno, &mese, &giorno);

  char data[80], ora[80];
  std::snprintf(data, sizeof data, "%02d/%02d/%04d", giorno, mese, anno);
  std::snprintf(ora, sizeof ora, "%02lld:%02lld:%02lld", secondi / 3600, secondi / 60 % 60,
                secondi % 60);
  if (intero == 0) return ora;
  if (secondi == 0) return data;
  return std::string(data) + " " + ora;
}

}  // namespace

std::string TestoValore(const db::Value& valore) {
  using K = db::Value::Kind;
  switch (valore.kind()) {
    case K::kNull:
      return "";
    case K::kBoolean:
      return TestoBooleano(valore.boolean());
    case K::kInteger:
      return std::to_string(valore.integer());
    case K::kDouble:
      return Numero(valore.real());
    case K::kCurrency:
      return Valuta(valore.integer());
    case K::kDate:
      return Data(valore.real());
    case K::kText:
    case K::kBinary:
      return valore.text();
  }
  return "";
}

double ValoreComeNumero(const db::Value& valore) {
  using K = db::Value::Kind;
  switch (valore.kind()) {
    case K::kNull:
      return 0;
    case K::kBoolean:
    case K::kInteger:
      return static_cast<double>(valore.integer());
    case K::kCurrency:
      return static_cast<double>(valore.integer()) / 10000.0;
    case K::kDouble:
    case K::kDate:
      return valore.real();
    case K::kText:
    case K::kBinary:
      return ValoreNumerico(valore.text());
  }
  return 0;
}

}  // namespace mlx
