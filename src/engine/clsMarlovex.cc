#include "engine/clsMarlovex.h"

#include "database/schema.h"
#include "engine/processo.h"
#include "platform/clock/clock.h"
#include "platform/fs/fs.h"
#include "platform/db/db.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"
#include "system/impostazioni.h"
#include "variables/espansione.h"

namespace mlx {

namespace {
const char* const kChiaveOspite = "Software\\VB and VBA Program Settings\\Hollemar900\\Settings";
const char* const kSezioneParagrafo = "\xC2\xA7";  // "§"

}  // namespace

clsMarlovex::clsMarlovex(StatoProcesso& stato)
    : Ritorni([&stato](const std::string& testo) { stato.SegnalaErrore(testo); }),
      stato_(stato) {}

clsMarlovex::~clsMarlovex() { Ritorni.Purge(); }

void clsMarlovex::InitVars(const std::string& szTxtFile) {
  RichiediAggiornamento = true;
  EsitoCondizione = true;
  SegnalaAggiornamento = true;
  AggiornamentoEseguito = false;
  NuovoCampoTesto = false;
  CicloAttivo = false;
  DbCiclo.clear();
  TxtFile = szTxtFile;
  NomeValoreDb = "PathMDB";
  ExecVars = std::make_unique<CollezioneTesti>();
  Connessione = stato_.plat.db != nullptr ? stato_.plat.db->NewConnection() : nullptr;
  RecordsetGet.reset();

  ChiaveImpostazioni = -1;
  if (stato_.plat.registry != nullptr) {
    registry::Handle h = 0;
    UltimoEsitoRegistro = stato_.plat.registry->OpenKeyEx(registry::kCurrentUser, kChiaveOspite,
                                                          0, registry::kKeyRead, &h);
    if (UltimoEsitoRegistro == registry::kSuccess) ChiaveImpostazioni = h;
  } else {
    UltimoEsitoRegistro = registry::kInvalidHandle;
  }
  DbCorrente = LeggiImpostazione(stato_.plat.registry, "Hollemar900", "Settings", "PathMDB", "");
}

bool clsMarlovex::InitMLX(std::vector<std::string> vMLX, std::string* etichettaDoppia) {
  Righe = std::move(vMLX);
  Etichette.Svuota();
  for (std::size_t i = 0; i < Righe.size(); ++i) {
    const std::string& riga = Righe[i];
    if (riga.empty() || riga[0] != ':') continue;
    std::string nome = riga.substr(1);
    if (!Etichette.Aggiungi(nome, static_cast<std::int32_t>(i))) {
      if (etichettaDoppia != nullptr) *etichettaDoppia = nome;
      return false;
    }
  }
  return true;
}

void clsMarlovex::Ciclo() {
  Ritorni.Purge();
  CurrLinea = 0;
  do {
    Riga(CurrLinea);
    if (LineExecuted) LineExecuted(CurrLinea);
    Avanza();
  } while (IsRunning);
  Clear();
  if (AggiornamentoEseguito && SegnalaAggiornamento) {
    stato_.Messaggio("Aggiornamento eseguito con successo.", ui::kIconInformation,
                     "Aggiornamento");
  }
  ScaricaAttesa(stato_.plat.ui);
}

void clsMarlovex::Avanza() {
  if (CurrLinea >= static_cast<std::int32_t>(Righe.size()) - 1) {
    Interrompi();
  } else {
    ++CurrLinea;
  }
}

void clsMarlovex::SaltaCommenti() {
  const std::int32_t ultima = static_cast<std::int32_t>(Righe.size()) - 1;
  if (CurrLinea >= ultima) {
    Interrompi();
    return;
  }
  do {
    ++CurrLinea;
    if (CurrLinea > ultima) {
      Interrompi();
      return;
    }
  } while (Righe[CurrLinea].empty() || Righe[CurrLinea][0] == ';');
}

void clsMarlovex::Interrompi() {
  if (inClear_) {
    // Clear's repositioning ran off the end of a script that has nothing but comments: the
    // run is already stopping, and clearing again would never end.
    IsRunning = false;
    return;
  }
  Clear();
  if (Debugging) stato_.Messaggio("Esecuzione terminata.", ui::kIconInformation, "Attenzione");
}

void clsMarlovex::Clear() {
  inClear_ = true;
  LogAttivo = false;
  IsRunning = false;
  SvuotaCollection(ExecVars);
  CurrLinea = -1;
  SaltaCommenti();
  if (ChiaveImpostazioni != -1) {
    if (stato_.plat.registry != nullptr) {
      UltimoEsitoRegistro =
          stato_.plat.registry->CloseKey(static_cast<registry::Handle>(ChiaveImpostazioni));
    }
    ChiaveImpostazioni = -1;
  }
  ChiudiDatabase();
  if (stato_.plat.ui != nullptr) {
    stato_.plat.ui->SetMousePointer(0);
    ScaricaAttesa(stato_.plat.ui);
  }
  inClear_ = false;
}

void clsMarlovex::Riga(std::int32_t lLinea) {
  if (!IsRunning) {
    Clear();
    InitVars(TxtFile);
  }
  Azione.clear();
  IsRunning = true;
  if (lLinea < 0 || lLinea >= static_cast<std::int32_t>(Righe.size())) {
    // A line index outside the script (a return address of an empty stack, say) ends the
    // run instead of reading past the lines.
    Interrompi();
    return;
  }
  RigaCorrente = Righe[lLinea];
  lineaLavoro_ = lLinea;

  try {
    const std::string_view primo = text::FirstView(RigaCorrente);
    if (primo.empty() || primo == ";") {
      // Comment: nothing is done, nothing is logged.
    } else if (primo == kSezioneParagrafo) {
      RigaImpostazioni();
    } else if (primo == "*") {
      Passo([&] { RigaDatabase(); });
    } else if (primo == "^" || primo == "(") {
      // Condition lines belong to a command family that this build does not contain yet;
      // like an unknown command they do nothing.
    } else if (primo == "[") {
      RigaTabella();
    } else {
      RigaComando();
    }
  } catch (const RigaInterrotta&) {
    // The error was reported: no log line, and the run goes on after this line.
    return;
  }

  if (!Azione.empty()) {
    if (LogAttivo) ScriviLog(Azione);
    if (stato_.Dettagli && stato_.StampaDettaglio) stato_.StampaDettaglio(Azione);
  }
  CurrLinea = lineaLavoro_;
}

void clsMarlovex::RigaTabella() {
  TabellaCorrente = text::Inner(RigaCorrente);
  Azione = "Tabella " + TabellaCorrente;
}

void clsMarlovex::RigaComando() {
  ErroreRiga = false;
  EseguiSql = true;
  bool espansa = true;
  try {
    Parti = Dividi(Espandi(RigaCorrente), ",");
  } catch (const ErroreScript& e) {
    // A failed expansion is reported with this line's own field, read from the raw line,
    // rather than the previous line's.
    Parti = Dividi(RigaCorrente, ",");
    espansa = false;
    GestisciErrore(e);
  }
  if (!espansa) {
    // With errors silenced the line is only marked failed: nothing of it may run, and the
    // arguments of the previous line must not be taken for this one's.
    Parti.clear();
    EseguiSql = false;
  }
  SqlTesta = "ALTER TABLE [" + TabellaCorrente + "]";
  Campo = Parti.size() > 1 ? Parti[1] : "";

  if (espansa) {
    const VoceComando* voce = TrovaComando(Parti[0]);
    if (voce == nullptr || voce->gestore == nullptr) {
      EseguiSql = false;
    } else {
      if (!voce->costruisceSql) EseguiSql = false;
      Passo([&] { (this->*(voce->gestore))(); });
    }
  }

  // A text column just added accepts zero-length text (its name without brackets). The flag
  // is spent by this line whatever happens to it.
  const bool nuovoCampoTesto = NuovoCampoTesto;
  NuovoCampoTesto = false;
  if (EseguiSql && Vero) {
    Passo([&] {
      Verifica(ConnessioneAperta().Execute(SqlTesta + SqlAzione + Campo + " " + SqlCoda));
    });
    if (nuovoCampoTesto) {
      Passo([&] {
        schema::PermettiLunghezzaZero(ConnessioneAperta(), TabellaCorrente,
                              Sostituisci(Sostituisci(Campo, "[", ""), "]", ""));
      });
    }
  }
  AggiornamentoEseguito = true;
}

void clsMarlovex::GestisciErrore(const ErroreScript& e) {
  if (ErroriSilenziosi) {
    ErroreRiga = true;
    return;
  }
  const std::string& descrizione = e.Descrizione();
  if (descrizione.find("gi\xC3\xA0 esistente") != std::string::npos ||
      descrizione.find("already exists") != std::string::npos ||
      descrizione.find("non esiste.") != std::string::npos) {
    Azione.clear();
    return;
  }
  ChiudiDatabase();
  const std::string quarta = descrizione.find("Istruzione SQL non valida.") != std::string::npos
                                 ? "Impossibile accedere in modo esclusivo alla base dati."
                                 : descrizione;
  stato_.SegnalaErrore("Database: " + DbCorrente + "\r\nTabella: " + TabellaCorrente +
                       "\r\nCampo: " + (Parti.size() > 1 ? Parti[1] : "") + "\r\n" + quarta);
  ScaricaAttesa(stato_.plat.ui);
  throw RigaInterrotta{};
}

void clsMarlovex::ChiudiDatabase() {
  if (RecordsetGet) {
    if (RecordsetGet->IsOpen()) RecordsetGet->Close();
    RecordsetGet.reset();
  }
  if (Connessione) {
    if (Connessione->State() != 0) Connessione->Close();
    Connessione.reset();
  }
}

db::Connection& clsMarlovex::ConnessioneAperta() {
  if (!Connessione || Connessione->State() == 0) {
    Solleva(err::kDatabase, "Nessun database aperto: la riga richiede un database.");
  }
  return *Connessione;
}

const std::string& clsMarlovex::Parte(std::size_t i) const {
  if (i >= Parti.size()) {
    Solleva(err::kSubscript, "Indice non compreso nell'intervallo: la riga non ha l'argomento " +
                                 std::to_string(i) + ".");
  }
  return Parti[i];
}

std::string clsMarlovex::Espandi(std::string_view testo) const {
  return EspandiVariabili(ExecVars.get(), testo, stato_.plat);
}

void clsMarlovex::ScriviLog(const std::string& testo) {
  if (stato_.plat.fs == nullptr || stato_.plat.clock == nullptr) return;
  // The log never fails a line: a log that cannot be written is passed over.
  ScriviSuFile(*stato_.plat.fs, stato_.PercorsoApp("mlxlog.txt"),
               clock::Format(stato_.plat.clock->Now(), "dd/mm/yy hh:nn:ss") + " " + testo, false);
}

}  // namespace mlx
