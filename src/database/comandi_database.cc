// The database commands: the database line, the commands that build a statement on the
// current table, the commands that call a schema operation, the database-wide commands, and
// GET. Arguments are read before anything is set up, so that a line with an argument missing
// runs nothing; the sentence is composed before the work, so that a failure the error trap
// passes over leaves no log line.
#include "database/connessione.h"
#include "database/contatori.h"
#include "database/importa.h"
#include "database/programmati.h"
#include "database/schema.h"
#include "database/valori.h"
#include "engine/clsMarlovex.h"
#include "engine/processo.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "system/registro.h"

namespace mlx {

namespace {
const char* const kParagrafo = "\xC2\xA7";  // "§"

std::string Vf(bool b) {
  return TestoBooleano(b);
}
}  // namespace

bool clsMarlovex::Flag(std::size_t i) const {
  return i < Parti.size() && IsVero(Parti[i]);
}

// The database line "*path*".
void clsMarlovex::RigaDatabase() {
  ErroreRiga = false;
  std::string percorso = Espandi(text::Inner(RigaCorrente));
  const bool paragrafo = percorso.rfind(kParagrafo, 0) == 0;
  if (percorso.empty() || paragrafo) {
    // The host application's own database, or a path relative to its folder.
    std::string ospite;
    if (ChiaveImpostazioni != -1 && stato_.plat.registry != nullptr) {
      ospite = LeggiStringaRegistro(*stato_.plat.registry,
                                    static_cast<registry::Handle>(ChiaveImpostazioni),
                                    NomeValoreDb);
    }
    if (text::Mid(RigaCorrente, 1, 1) == kParagrafo && paragrafo) {
      std::string cartella = ospite;
      if (text::ToUpper(text::Right(ospite, 4)) == ".MDB") {
        const std::size_t sep = fs::LastSeparator(ospite);
        cartella = sep == std::string::npos ? "" : ospite.substr(0, sep + 1);
      }
      percorso = UnisciPercorso(cartella, percorso.substr(std::string(kParagrafo).size()));
      stato_.DbAlternativo = percorso;
    } else {
      percorso = ospite;
      stato_.DbAlternativo.clear();
    }
  }
  if (!Connessione) {
    if (stato_.plat.db == nullptr) Solleva(err::kDatabase, "Nessun accesso ai database.");
    Connessione = stato_.plat.db->NewConnection();
  }
  if (Connessione->State() != 0) Connessione->Close();
  Verifica(Connessione->Open(PercorsoNativo(stato_.plat, percorso), "Admin", ""));
  DbCorrente = percorso;
  Azione = "Aperto database " + percorso;
}

// Commands that build the statement run at the end of the line. EseguiSql stays off until
// every argument has been read.

void clsMarlovex::CmdAggiungiCampo() {
  EseguiSql = false;
  Parte(1);
  const std::string tipo = Espandi(Parte(2));
  SqlAzione = " ADD COLUMN ";
  SqlCoda = tipo;
  const std::string maiuscolo = text::ToUpper(tipo);
  NuovoCampoTesto = maiuscolo.rfind("TEXT(", 0) == 0 || maiuscolo == "MEMO";
  Azione = "Aggiunto campo " + Campo + " di tipo " + tipo;
  EseguiSql = true;
}

void clsMarlovex::CmdEliminaCampo() {
  EseguiSql = false;
  Parte(1);
  SqlAzione = " DROP COLUMN ";
  SqlCoda.clear();
  Azione = "Eliminato campo " + Campo;
  EseguiSql = true;
}

void clsMarlovex::CmdModificaTipo() {
  EseguiSql = false;
  Parte(1);
  const std::string tipo = Parte(2);
  SqlAzione = " ALTER COLUMN ";
  SqlCoda = tipo;
  Azione = "Modificato campo " + Campo + " nel tipo " + tipo;
  EseguiSql = true;
}

void clsMarlovex::CmdSvuotaCampo() {
  EseguiSql = false;
  Parte(1);
  SqlTesta = "UPDATE [" + TabellaCorrente + "]";
  SqlAzione = " SET ";
  SqlCoda = " = NULL";
  Azione = "Svuotato campo " + Campo;
  EseguiSql = true;
}

void clsMarlovex::CmdModificaValore() {
  EseguiSql = false;
  Parte(1);
  const std::string valore = Parte(2);
  const std::string condizione = RestoDa(3);
  SqlTesta = "UPDATE [" + TabellaCorrente + "]";
  SqlAzione = " SET ";
  SqlCoda = " = " + valore;
  Azione = "Modificato valore campo " + Campo + " = " + valore;
  if (!condizione.empty()) {
    SqlCoda += " WHERE " + condizione;
    Azione += " quando " + condizione;
  }
  EseguiSql = true;
}

void clsMarlovex::CmdEliminaTabella() {
  SqlTesta = "DROP TABLE [" + TabellaCorrente + "]";
  SqlAzione.clear();
  SqlCoda.clear();
  Campo.clear();
  Azione = "Eliminata tabella " + TabellaCorrente;
}

void clsMarlovex::CmdCreaTabella() {
  // The table is made without columns; "+" lines add them.
  SqlTesta = "CREATE TABLE [" + TabellaCorrente + "]";
  SqlAzione.clear();
  SqlCoda.clear();
  Campo.clear();
  Azione = "Creata tabella " + TabellaCorrente;
}

void clsMarlovex::CmdSvuotaTabella() {
  SqlTesta = "DELETE * FROM [" + TabellaCorrente + "]";
  SqlAzione.clear();
  SqlCoda.clear();
  Campo.clear();
  Azione = "Svuotata tabella " + TabellaCorrente;
}

void clsMarlovex::CmdEliminaIndice() {
  EseguiSql = false;
  const std::string nome = Parte(1);
  SqlTesta = "DROP INDEX " + nome + " ON [" + TabellaCorrente + "]";
  SqlAzione.clear();
  SqlCoda.clear();
  Campo.clear();
  Azione = "Eliminato indice " + nome + " da " + TabellaCorrente;
  EseguiSql = true;
}

// Commands on the current table that call an operation; the operation runs only in a real
// execution.

void clsMarlovex::CmdDefaultCampo() {
  Parte(1);
  const std::string valore = RestoDa(2);
  SqlAzione = " ALTER COLUMN ";
  SqlCoda = " SET DEFAULT " + valore;
  Azione = "Modificato valore default campo " + Campo + " = " + SqlCoda;
  if (Vero) schema::ModificaDefaultCampo(ConnessioneAperta(), TabellaCorrente, Campo, valore);
}

void clsMarlovex::CmdRinominaCampo() {
  Parte(1);
  const std::string nuovo = Parte(2);
  Azione = "Rinominato campo " + Campo + " in " + nuovo;
  if (Vero) schema::RinominaCampo(ConnessioneAperta(), TabellaCorrente, Campo, nuovo);
}

void clsMarlovex::CmdLunghezzaZero() {
  Parte(1);
  const bool permetti = Flag(2);
  Azione = std::string(permetti ? "Permetti" : "Nega") + " lunghezza zero su campo " + Campo;
  if (Vero) schema::ImpostaLunghezzaZero(ConnessioneAperta(), TabellaCorrente, Campo, permetti);
}

void clsMarlovex::CmdImportaDati() {
  const std::string file = Parte(1);
  const std::string separatore = Parte(2);
  const std::string colonne = Parti.size() > 3 ? Parti[3] : "";
  Azione = "Dati importati in " + TabellaCorrente + " da " + file;
  if (Vero) ImportaDati(ConnessioneAperta(), TabellaCorrente, file, separatore, colonne);
}

void clsMarlovex::CmdImportaTabella() {
  const std::string origine = Parte(1);
  Azione = "Importati dati da tabella " + origine;
  if (Vero) schema::ImportaDatiTabella(ConnessioneAperta(), TabellaCorrente, origine);
}

void clsMarlovex::CmdRinominaTabella() {
  const std::string nuova = Parte(1);
  Azione = "Rinominata tabella " + TabellaCorrente + " in " + nuova;
  // The current table keeps its old name.
  if (Vero) schema::RinominaTabella(ConnessioneAperta(), TabellaCorrente, nuova);
}

void clsMarlovex::CmdCreaIndice() {
  const std::string nome = Parte(1);
  const std::string campi = Parte(2);
  Primario = Flag(3);
  Univoco = Flag(4);
  Nulli = Flag(5);
  Azione = "Creato indice " + nome + "(" + campi + ") Primario=" + Vf(Primario) +
           " Univoco=" + Vf(Univoco) + " Nulli=" + Vf(Nulli);
  if (Vero) {
    schema::CreaIndice(ConnessioneAperta(), TabellaCorrente, nome, campi, Primario, Univoco, Nulli);
  }
}

void clsMarlovex::CmdCreaRelazione() {
  const std::string nome = Parte(1);
  const std::string campi = Parte(2);
  const std::string collegata = Parte(3);
  const std::string campiCollegati = Parte(4);
  AggiornaCascata = Flag(5);
  EliminaCascata = Flag(6);
  Azione = "Creata relazione " + nome + " da " + TabellaCorrente + "(" + campi + ") a " +
           collegata + "(" + campiCollegati + ") Update=" + Vf(AggiornaCascata) +
           " Delete=" + Vf(EliminaCascata);
  if (Vero) {
    schema::CreaRelazione(ConnessioneAperta(), nome, TabellaCorrente, campi, collegata, campiCollegati,
                  AggiornaCascata, EliminaCascata);
  }
}

void clsMarlovex::CmdModificaRelazione() {
  const std::string nome = Parte(1);
  AggiornaCascata = Flag(2);
  EliminaCascata = Flag(3);
  Azione = "Modificata relazione " + nome + " Update=" + Vf(AggiornaCascata) +
           " Delete=" + Vf(EliminaCascata);
  if (Vero) {
    schema::ModificaRelazione(ConnessioneAperta(), TabellaCorrente, nome, AggiornaCascata, EliminaCascata);
  }
}

void clsMarlovex::CmdEliminaRelazione() {
  const std::string nome = Parte(1);
  Azione = "Eliminata relazione " + nome;
  if (Vero) schema::EliminaRelazione(ConnessioneAperta(), TabellaCorrente, nome);
}

// Database-wide commands.

void clsMarlovex::CmdSql() {
  const std::string istruzione = RestoDa(1);
  Azione = "Eseguita query " + istruzione;
  if (Vero) Verifica(ConnessioneAperta().Execute(istruzione));
}

void clsMarlovex::CmdCompatta() {
  Azione = "Compattazione DataBase" + DbCorrente;
  ErroreRiga = !CompattaDatabase(Connessione, DbCorrente);
}

void clsMarlovex::CmdRiallinea() {
  Azione = "Riallineamento contatori su DataBase " + DbCorrente;
  ErroreRiga = !RiallineaContatori(Connessione, DbCorrente);
}

void clsMarlovex::CmdCreaDatabase() {
  const std::string percorso = Parte(1);
  Azione = "Creazione database " + percorso;
  ErroreRiga = !mlx::CreaDatabase(stato_.plat, percorso);
}

void clsMarlovex::CmdAggiungiQuery() {
  const std::string nome = Parte(1);
  const std::string istruzione = RestoDa(2);
  Azione = "Aggiunta/modifica query " + nome + " : " + istruzione;
  const bool aperta = Connessione && Connessione->State() != 0;
  ErroreRiga = !(aperta && schema::AggiungiQuery(*Connessione, nome, istruzione));
}

void clsMarlovex::CmdEliminaQuery() {
  const std::string nome = Parte(1);
  Azione = "Eliminata query " + nome;
  const bool aperta = Connessione && Connessione->State() != 0;
  ErroreRiga = !(aperta && schema::EliminaQuery(*Connessione, nome));
}

void clsMarlovex::CmdProgramma() {
  const std::string tabella = Parte(1);
  const std::string data = Parte(2);
  const std::string script = Parte(3);
  Azione = "Pianificazione aggiornamento " + script + " in data " + data;
  ProgrammaAggiornamento(tabella, data, script);
}

// GET: the first column of the first row a statement returns.
void clsMarlovex::CmdGet() {
  const std::string istruzione = RestoDa(2);
  Azione = "Variabile " + Campo + " da SQL " + istruzione;
  struct Chiusura {
    std::unique_ptr<db::Recordset>& rs;
    ~Chiusura() { ChiudiOggetto(rs); }
  } chiusura{RecordsetGet};
  Verifica(
      ConnessioneAperta().OpenRecordset(istruzione, db::kDynamic, db::kOptimistic, &RecordsetGet));
  if (RecordsetGet->Eof() || RecordsetGet->FieldCount() == 0) {
    Solleva(3021,
            "BOF o EOF \xC3\xA8 True oppure il record corrente \xC3\xA8 stato eliminato. "
            "L'operazione richiesta richiede un record corrente.");
  }
  db::Value valore;
  Verifica(RecordsetGet->GetValue(0, &valore));
  ScriviVoce(ExecVars.get(), Campo + " = " + TestoValore(valore), Campo);
}

// The operations, on the connection they are given.

void clsMarlovex::ImportaDati(db::Connection& conn, const std::string& tabella,
                              const std::string& file, const std::string& separatore,
                              const std::string& colonne) {
  importazione::ImportaDati(stato_, conn, tabella, file, separatore, colonne,
                            [this](std::string_view riga) { return Espandi(riga); });
}
bool clsMarlovex::RiallineaContatori(std::unique_ptr<db::Connection>& conn,
                                     const std::string& percorso) {
  return mlx::RiallineaContatori(stato_.plat, conn, percorso);
}
bool clsMarlovex::CompattaDatabase(std::unique_ptr<db::Connection>& conn,
                                   const std::string& percorso) {
  return mlx::CompattaDatabase(stato_, conn, percorso);
}
void clsMarlovex::ProgrammaAggiornamento(const std::string& tabella, const std::string& data,
                                         const std::string& script) {
  mlx::ProgrammaAggiornamento(stato_, tabella, data, script);
}

}  // namespace mlx
