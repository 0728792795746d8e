#include "launch/opzioni.h"

namespace mlx {

namespace {

// The long options: each sets a flag or takes a value.
struct Opzione {
  std::string_view nome;
  bool OpzioniAvvio::*flag = nullptr;
  std::string OpzioniAvvio::*valore = nullptr;
};

constexpr Opzione kOpzioni[] = {
    {"--help", &OpzioniAvvio::aiuto},
    {"--version", &OpzioniAvvio::versione},
    {"--dry-run", &OpzioniAvvio::prova},
    {"--verbose", &OpzioniAvvio::dettagli},
    {"--yes", &OpzioniAvvio::maiAttendere},
    {"--run-once", &OpzioniAvvio::unaTantum},
    {"--app-dir", nullptr, &OpzioniAvvio::cartellaProgramma},
    {"--registry", nullptr, &OpzioniAvvio::registro},
    {"--answers", nullptr, &OpzioniAvvio::risposte},
    {"--transcript", nullptr, &OpzioniAvvio::trascrizione},
    {"--keep-rehearsal", nullptr, &OpzioniAvvio::cartellaProva},
};

const Opzione* CercaOpzione(std::string_view nome) {
  for (const Opzione& opzione : kOpzioni) {
    if (opzione.nome == nome) return &opzione;
  }
  return nullptr;
}

}  // namespace

std::string LeggiRigaComando(const std::vector<std::string>& argv,
                             const std::function<std::string(const std::string&)>& ambiente,
                             OpzioniAvvio* o) {
  o->cartellaProgramma = ambiente("MLX_APP_DIR");
  o->registro = ambiente("MLX_REGISTRY");
  o->risposte = ambiente("MLX_ANSWERS");
  o->trascrizione = ambiente("MLX_TRANSCRIPT");

  std::size_t i = 0;
  for (; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a == "-h") {
      o->aiuto = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) break;
    if (a == "--") {
      ++i;
      break;
    }
    const std::size_t uguale = a.find('=');
    const std::string nome = a.substr(0, uguale);
    const Opzione* opzione = CercaOpzione(nome);
    if (opzione == nullptr) return "opzione sconosciuta " + nome;
    if (opzione->flag != nullptr) {
      if (uguale != std::string::npos) return "l'opzione " + nome + " non accetta valori";
      o->*opzione->flag = true;
    } else if (uguale != std::string::npos) {
      o->*opzione->valore = a.substr(uguale + 1);
    } else {
      if (i + 1 >= argv.size()) return "l'opzione " + nome + " richiede un valore";
      o->*opzione->valore = argv[++i];
    }
  }
  if (o->prova) o->dettagli = true;
  if (o->unaTantum && i < argv.size()) return "--run-once non accetta script";
  if (!o->cartellaProva.empty() && !o->prova) return "--keep-rehearsal vale solo con --dry-run";
  for (std::size_t k = i; k < argv.size(); ++k) {
    if (k > i) o->argomenti += ' ';
    o->argomenti += argv[k];
  }
  return "";
}

bool OpzioneNota(std::string_view parola) {
  return parola == "-h" || CercaOpzione(parola.substr(0, parola.find('='))) != nullptr;
}

std::string TestoAiuto() {
  return "Uso: marlovex [OPZIONI] [SCRIPT[,SCRIPT...] | -U TABELLA | -C]\n"
         "\n"
         "Esegue gli script di aggiornamento indicati, uno dopo l'altro (separati da virgole).\n"
         "Senza argomenti esegue MLX.txt nella cartella del programma.\n"
         "  -U TABELLA        esegue gli aggiornamenti pianificati scaduti\n"
         "  -C                nessun effetto (come ogni altra opzione che inizia con -)\n"
         "\n"
         "Opzioni:\n"
         "  -h, --help        mostra questo testo\n"
         "  --version         mostra la versione\n"
         "  --dry-run         prova su copie private dei database e del registro; file,\n"
         "                    programmi e componenti sono solo descritti; segue il rapporto\n"
         "                    di cosa cambierebbe (implica --verbose)\n"
         "  --keep-rehearsal DIR  con --dry-run: lavora in DIR (nuova o vuota) e la conserva\n"
         "  --verbose         scrive la frase di ogni riga eseguita sullo standard output\n"
         "  --run-once        esegue l'avvio predisposto da BOOT (valore MLX di RunOnce) e lo\n"
         "                    cancella; nulla da fare quando non ce n'è\n"
         "  --app-dir DIR     cartella del programma (MLX_APP_DIR): MLX.txt, inclusioni,\n"
         "                    mlxlog.txt, MLXBatch.bat, Pelsacord.mdb\n"
         "  --registry FILE   file del registro (MLX_REGISTRY)\n"
         "  --answers LISTA   risposte ai messaggi, in ordine (MLX_ANSWERS): codici 1-7 o\n"
         "                    OK, Annulla, Termina, Riprova, Ignora, Si, No\n"
         "  --yes             non attende mai il terminale: risposta successiva o pulsante\n"
         "                    predefinito\n"
         "  --transcript FILE aggiunge ogni messaggio come riga JSON (MLX_TRANSCRIPT)\n"
         "\n"
         "Ambiente: MLX_NOW (orologio fisso, AAAA-MM-GG HH:MM:SS), MLX_DRIVES (lettere di\n"
         "unita', per esempio C=/srv/c;D=/mnt/d).\n"
         "Stato di uscita: 0 nessun errore segnalato, 1 errore segnalato, 2 uso errato.\n";
}

}  // namespace mlx
