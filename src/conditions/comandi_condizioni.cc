// The conditions family.
#include "conditions/comandi_condizioni.h"

#include <string>
#include <vector>

#include "conditions/condizioni.h"
#include "engine/contesto.h"
#include "platform/text/text.h"

namespace mlx {

namespace {

// COND,N,test: N becomes "True" or "False". Like every variable command it runs in a dry run
// too.
Lavoro CmdCondizione(ContestoEsecuzione& c) {
  // A variable test is handed over as the script wrote it, not as the line was expanded: the
  // evaluator reads the variable's value itself and expands only the value compared with it.
  // So when a field after the first begins with a placeholder, the third field is taken from
  // the line as written and only the fields after it as expanded. They are expanded on their
  // own, so that a comma in the third field's value cannot shift them.
  std::string condizione;
  if (text::Like(c.RigaCorrente, "COND,*,{<*")) {
    const std::vector<std::string> scritte = Dividi(c.RigaCorrente, ",");
    condizione = scritte[2];
    if (scritte.size() > 3) condizione += "," + c.Espandi(UnisciDa(scritte, ",", 3));
  } else {
    condizione = c.RestoDa(2);
  }
  const std::string nome = c.Campo;
  bool esito = false;
  try {
    esito = EvalCondizione(c, condizione);
  } catch (const ErroreScript&) {
    // With errors silenced the sentence is still logged, with what the test described.
    c.Azione = "Variabile " + nome + " come " + c.Azione;
    throw;
  }
  const std::string valore = TestoBooleano(esito);
  ScriviVoce(c.ExecVars.get(), nome + " = " + valore, nome);
  c.Azione = "Variabile " + nome + " come " + c.Azione + valore;
  return {};
}

}  // namespace

const Famiglia<>& FamigliaCondizioni() {
  static constexpr Voce<> comandi[] = {
      {"COND", CmdCondizione, false, InProva::Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
