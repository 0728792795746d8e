#include "dialogs/messaggi.h"

#include "engine/errore.h"
#include "engine/utilita.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {

// A whole number as the box's conversions read it: unlike a count, an empty text is no number.
std::int32_t Numero(std::string_view testo) {
  if (TogliSpazi(testo).empty()) {
    Solleva(err::kTypeMismatch, "Tipo non corrispondente: il valore \"\" non \xC3\xA8 un numero.");
  }
  return ValoreIntero(testo);
}

}  // namespace

std::string TestoMessaggio(std::string_view testo) {
  return Sostituisci(testo, "#~#", "\r\n");
}

std::string MostraMessaggio(const StatoProcesso& processo, std::string_view stile,
                            const std::string& titolo, std::string_view testo) {
  const std::int32_t codiceStile = Numero(stile);
  return std::to_string(processo.Messaggio(TestoMessaggio(testo), codiceStile, titolo));
}

std::int32_t IconeMessaggio(std::string_view chiave) {
  static constexpr struct {
    std::string_view chiave;
    std::int32_t icona;
  } kIcone[] = {{"!", ui::kIconExclamation},
                {"i", ui::kIconInformation},
                {"x", ui::kIconCritical},
                {"?", ui::kIconQuestion}};
  for (const auto& voce : kIcone) {
    if (text::EqualsNoCase(chiave, voce.chiave)) return voce.icona;
  }
  Solleva(err::kInvalidCall, "Chiamata di routine o argomento non valido: l'icona \"" +
                                 std::string(chiave) +
                                 "\" non \xC3\xA8 tra quelle dei messaggi (!, i, x, ?).");
}

std::string BottoniMessaggio(std::string_view codice) {
  return ui::AnswerName(Numero(codice));
}

}  // namespace mlx
