// The dialogs family. Neither command changes anything, so both run in a dry run too.
#include "dialogs/comandi_dialoghi.h"

#include "dialogs/messaggi.h"
#include "engine/contesto.h"
#include "platform/platform.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {

// Separates a message's text from its title.
constexpr std::string_view kSeparatoreTitolo = "\xC2\xA7~\xC2\xA7";  // "§~§"

// MSG: a box with the OK button and the icon of the key; the text is expanded once more, so a
// value that holds a placeholder shows what that names.
Lavoro CmdMessaggio(ContestoEsecuzione& c) {
  const std::int32_t icona = IconeMessaggio(c.Parte(1));
  const std::string testo = c.Espandi(c.RestoDa(2));
  c.Azione = "Messaggio a video";
  c.processo.Messaggio(TestoMessaggio(SinistraDi(testo, kSeparatoreTitolo)), icona,
                       DestraDi(testo, kSeparatoreTitolo));
  return {};
}

// WAITY: shows the wait window with its message ("~" a line break, commas kept); a number of
// lines sizes its message area.
Lavoro CmdAttesa(ContestoEsecuzione& c) {
  const std::string& righe = c.Parte(1);
  c.Azione = "Attivato msgbox di attesa";
  ui::Ui* finestra = c.plat().ui;
  if (finestra == nullptr) return {};
  if (IsNumeric(righe)) finestra->SetWaitLines(ValoreIntero(righe));
  if (c.Parti.size() > 2) finestra->SetWaitMessage(Sostituisci(c.RestoDa(2), "~", "\r\n"));
  finestra->ShowWait();
  return {};
}

}  // namespace

const Famiglia<>& FamigliaDialoghi() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"MSG", CmdMessaggio, false, Esegue},
      {"WAITY", CmdAttesa, false, Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
