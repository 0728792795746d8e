#include "engine/processo.h"

#include "engine/utilita.h"
#include "platform/fs/fs.h"
#include "platform/ui/ui.h"

namespace mlx {

std::string StatoProcesso::PercorsoApp(const std::string& file) const {
  return UnisciPercorso(plat.fs->ProgramDirectory(), file);
}

int StatoProcesso::Messaggio(const std::string& testo, int stile, const std::string& titolo) const {
  if (plat.ui == nullptr) return ui::DefaultAnswer(stile);
  return plat.ui->MessageBox(testo, titolo, stile);
}

void StatoProcesso::SegnalaErrore(const std::string& testo) {
  ErroreSegnalato = true;
  if (rendiconto != nullptr) {
    rendiconto->Errore(ScriptInCorso != nullptr ? *ScriptInCorso : std::string(), RigaInCorso,
                       testo);
  }
  Messaggio(testo, ui::kIconInformation, "Attenzione");
}

}  // namespace mlx
