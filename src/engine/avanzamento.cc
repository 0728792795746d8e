#include "engine/avanzamento.h"

#include "engine/processo.h"
#include "platform/ui/ui.h"

namespace mlx {

void Avanzamento::Begin(const progress::Task& task) {
  if (profondita_++ == 0 && stato_.plat.ui != nullptr) stato_.plat.ui->BeginTask(task);
}

void Avanzamento::Advance(std::int64_t fatto) {
  if (profondita_ == 1 && stato_.plat.ui != nullptr) stato_.plat.ui->TaskProgress(fatto);
}

void Avanzamento::End() {
  if (profondita_ > 0 && --profondita_ == 0 && stato_.plat.ui != nullptr) {
    stato_.plat.ui->EndTask(stato_.Interrotto);
  }
}

bool Avanzamento::Interrupted() {
  return stato_.InterruzioneRichiesta();
}

}  // namespace mlx
