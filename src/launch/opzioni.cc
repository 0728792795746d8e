#include "launch/opzioni.h"

namespace mlx {

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
    if (a.rfind("--", 0) != 0) break;
    if (a == "--") {
      ++i;
      break;
    }
    std::string nome = a, valore;
    bool haValore = false;
    if (std::size_t uguale = a.find('='); uguale != std::string::npos) {
      nome = a.substr(0, uguale);
      valore = a.substr(uguale + 1);
      haValore = true;
    }
    auto prendiValore = [&](std::string* dove) -> std::string {
      if (!haValore) {
        if (i + 1 >= argv.size()) return "l'opzione " + nome + " richiede un valore";
        valore = argv[++i];
      }
      *dove = valore;
      return "";
    };
    auto senzaValore = [&](bool* dove) -> std::string {
      if (haValore) return "l'opzione " + nome + " non accetta valori";
      *dove = true;
      return "";
    };
    std::string errore;
    if (nome == "--help") {
      errore = senzaValore(&o->aiuto);
    } else if (nome == "--version") {
      errore = senzaValore(&o->versione);
    } else if (nome == "--dry-run") {
      errore = senzaValore(&o->prova);
      o->dettagli = true;
    } else if (nome == "--verbose") {
      errore = senzaValore(&o->dettagli);
    } else if (nome == "--yes") {
      errore = senzaValore(&o->maiAttendere);
    } else if (nome == "--run-once") {
      errore = senzaValore(&o->unaTantum);
    } else if (nome == "--app-dir") {
      errore = prendiValore(&o->cartellaProgramma);
    } else if (nome == "--registry") {
      errore = prendiValore(&o->registro);
    } else if (nome == "--answers") {
      errore = prendiValore(&o->risposte);
    } else if (nome == "--transcript") {
      errore = prendiValore(&o->trascrizione);
    } else if (nome == "--keep-rehearsal") {
      errore = prendiValore(&o->cartellaProva);
    } else {
      errore = "opzione sconosciuta " + nome;
    }
    if (!errore.empty()) return errore;
  }
  if (o->unaTantum && i < argv.size()) return "--run-once non accetta script";
  if (!o->cartellaProva.empty() && !o->prova) return "--keep-rehearsal vale solo con --dry-run";
  for (std::size_t k = i; k < argv.size(); ++k) {
    if (k > i) o->argomenti += ' ';
    o->argomenti += argv[k];
  }
  return "";
}

std::string TestoAiuto() {
  return
      "Uso: marlovex [OPZIONI] [SCRIPT[,SCRIPT...] | -U TABELLA | -C]\n"
      "\n"
      "Esegue gli script di aggiornamento indicati, uno dopo l'altro (separati da virgole).\n"
      "Senza argomenti esegue MLX.txt nella cartella del programma.\n"
      "  -U TABELLA        esegue gli aggiornamenti pianificati scaduti\n"
      "  -C                nessun effetto\n"
      "\n"
      "Opzioni:\n"
      "  --help            mostra questo testo\n"
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
