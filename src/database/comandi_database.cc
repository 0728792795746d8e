// The database family. Arguments are read before anything is set up, so that a line with an
// argument missing runs nothing; the sentence is composed before the work, so that a failure
// the error trap passes over leaves no log line.
#include "database/comandi_database.h"

#include <utility>

#include "database/connessione.h"
#include "database/contatori.h"
#include "database/importa.h"
#include "database/programmati.h"
#include "database/schema.h"
#include "engine/contesto.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace mlx {

namespace {

const char* const kParagrafo = "\xC2\xA7";  // "§"

std::string Vf(bool b) {
  return TestoBooleano(b);
}

// The database line "*path*".
void RigaDatabase(ContestoEsecuzione& c, StatoDatabase&) {
  c.ErroreRiga = false;
  const Platform& plat = c.plat();
  std::string percorso = c.Espandi(text::Inner(c.RigaCorrente));
  const bool paragrafo = percorso.rfind(kParagrafo, 0) == 0;
  if (percorso.empty() || paragrafo) {
    // The host application's own database, or a path relative to its folder.
    const std::string ospite = c.impostazioni.PercorsoDatabase(plat.registry);
    if (text::Mid(c.RigaCorrente, 1, 1) == kParagrafo && paragrafo) {
      std::string cartella = ospite;
      if (text::ToUpper(text::Right(ospite, 4)) == ".MDB") {
        const std::size_t sep = fs::LastSeparator(ospite);
        cartella = sep == std::string::npos ? "" : ospite.substr(0, sep + 1);
      }
      percorso = UnisciPercorso(cartella, percorso.substr(std::string(kParagrafo).size()));
      c.processo.DbAlternativo = percorso;
    } else {
      percorso = ospite;
      c.processo.DbAlternativo.clear();
    }
  }
  db::Connection& conn = OggettoConnessione(plat, c.Connessione);
  if (conn.State() != 0) conn.Close();
  // Current before the open, so that the error of a file that does not open names that file.
  c.DbCorrente = percorso;
  ApriDatabase(plat, conn, percorso);
  c.Azione = "Aperto database " + percorso;
}

// The table line "[table]": the name as written (it is not expanded).
void RigaTabella(ContestoEsecuzione& c, StatoDatabase&) {
  c.TabellaCorrente = text::Inner(c.RigaCorrente);
  c.Azione = "Tabella " + c.TabellaCorrente;
}

// Commands that build the statement run at the end of the line. Each sets the whole statement.

void Istruzione(StatoDatabase& s, std::string testa, std::string azione, std::string coda) {
  s.SqlTesta = std::move(testa);
  s.SqlAzione = std::move(azione);
  s.SqlCoda = std::move(coda);
  s.NuovoCampoTesto = false;
}

std::string SuTabella(const ContestoEsecuzione& c) {
  return "ALTER TABLE [" + c.TabellaCorrente + "]";
}

Lavoro CmdAggiungiCampo(ContestoEsecuzione& c, StatoDatabase& s) {
  c.Parte(1);
  const std::string tipo = c.Espandi(c.Parte(2));
  Istruzione(s, SuTabella(c), " ADD COLUMN ", tipo);
  const std::string maiuscolo = text::ToUpper(tipo);
  s.NuovoCampoTesto = maiuscolo.rfind("TEXT(", 0) == 0 || maiuscolo == "MEMO";
  c.Azione = "Aggiunto campo " + c.Campo + " di tipo " + tipo;
  return {};
}

Lavoro CmdEliminaCampo(ContestoEsecuzione& c, StatoDatabase& s) {
  c.Parte(1);
  Istruzione(s, SuTabella(c), " DROP COLUMN ", "");
  c.Azione = "Eliminato campo " + c.Campo;
  return {};
}

Lavoro CmdModificaTipo(ContestoEsecuzione& c, StatoDatabase& s) {
  c.Parte(1);
  const std::string tipo = c.Parte(2);
  Istruzione(s, SuTabella(c), " ALTER COLUMN ", tipo);
  c.Azione = "Modificato campo " + c.Campo + " nel tipo " + tipo;
  return {};
}

Lavoro CmdSvuotaCampo(ContestoEsecuzione& c, StatoDatabase& s) {
  c.Parte(1);
  Istruzione(s, "UPDATE [" + c.TabellaCorrente + "]", " SET ", " = NULL");
  c.Azione = "Svuotato campo " + c.Campo;
  return {};
}

Lavoro CmdModificaValore(ContestoEsecuzione& c, StatoDatabase& s) {
  c.Parte(1);
  const std::string valore = c.Parte(2);
  const std::string condizione = c.RestoDa(3);
  Istruzione(s, "UPDATE [" + c.TabellaCorrente + "]", " SET ", " = " + valore);
  c.Azione = "Modificato valore campo " + c.Campo + " = " + valore;
  if (!condizione.empty()) {
    s.SqlCoda += " WHERE " + condizione;
    c.Azione += " quando " + condizione;
  }
  return {};
}

// The commands on the whole table and "-#" name no column: the statement's column is empty.

// A statement on the whole current table, with its sentence: the table's name follows it.
Lavoro SuTabella(ContestoEsecuzione& c, StatoDatabase& s, const std::string& comando,
                 const char* frase) {
  Istruzione(s, comando + " [" + c.TabellaCorrente + "]", "", "");
  c.Campo.clear();
  c.Azione = frase + c.TabellaCorrente;
  return {};
}

Lavoro CmdEliminaTabella(ContestoEsecuzione& c, StatoDatabase& s) {
  return SuTabella(c, s, "DROP TABLE", "Eliminata tabella ");
}

Lavoro CmdCreaTabella(ContestoEsecuzione& c, StatoDatabase& s) {
  // The table is made without columns; "+" lines add them.
  return SuTabella(c, s, "CREATE TABLE", "Creata tabella ");
}

Lavoro CmdSvuotaTabella(ContestoEsecuzione& c, StatoDatabase& s) {
  return SuTabella(c, s, "DELETE * FROM", "Svuotata tabella ");
}

Lavoro CmdEliminaIndice(ContestoEsecuzione& c, StatoDatabase& s) {
  const std::string nome = c.Parte(1);
  Istruzione(s, "DROP INDEX " + nome + " ON [" + c.TabellaCorrente + "]", "", "");
  c.Campo.clear();
  c.Azione = "Eliminato indice " + nome + " da " + c.TabellaCorrente;
  return {};
}

// The statement of the line: "head clause column tail". A text column just added then accepts
// zero-length text (its name without brackets); that step runs even when the statement failed
// in a way the error trap passes over (the column exists already).
void EseguiIstruzione(ContestoEsecuzione& c, StatoDatabase& s) {
  const bool nuovoCampoTesto = std::exchange(s.NuovoCampoTesto, false);
  c.Passo([&] {
    Verifica(c.ConnessioneAperta().Execute(s.SqlTesta + s.SqlAzione + c.Campo + " " + s.SqlCoda));
  });
  if (nuovoCampoTesto) {
    c.Passo([&] {
      schema::PermettiLunghezzaZero(c.ConnessioneAperta(), c.TabellaCorrente,
                                    Sostituisci(Sostituisci(c.Campo, "[", ""), "]", ""));
    });
  }
}

// Commands on the current table that call an operation.

Lavoro CmdDefaultCampo(ContestoEsecuzione& c, StatoDatabase&) {
  c.Parte(1);
  const std::string valore = c.RestoDa(2);
  // The clause a statement would carry; the sentence shows it, the operation stores the value.
  const std::string SqlCoda = " SET DEFAULT " + valore;
  c.Azione = "Modificato valore default campo " + c.Campo + " = " + SqlCoda;
  return [&c, valore] {
    schema::ModificaDefaultCampo(c.ConnessioneAperta(), c.TabellaCorrente, c.Campo, valore);
  };
}

Lavoro CmdRinominaCampo(ContestoEsecuzione& c, StatoDatabase&) {
  c.Parte(1);
  const std::string nuovo = c.Parte(2);
  c.Azione = "Rinominato campo " + c.Campo + " in " + nuovo;
  return [&c, nuovo] {
    schema::RinominaCampo(c.ConnessioneAperta(), c.TabellaCorrente, c.Campo, nuovo);
  };
}

Lavoro CmdLunghezzaZero(ContestoEsecuzione& c, StatoDatabase&) {
  c.Parte(1);
  const bool permetti = c.Flag(2);
  c.Azione = std::string(permetti ? "Permetti" : "Nega") + " lunghezza zero su campo " + c.Campo;
  return [&c, permetti] {
    schema::ImpostaLunghezzaZero(c.ConnessioneAperta(), c.TabellaCorrente, c.Campo, permetti);
  };
}

Lavoro CmdImportaDati(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string file = c.Parte(1);
  const std::string separatore = c.Parte(2);
  const std::string colonne = c.Parti.size() > 3 ? c.Parti[3] : "";
  c.Azione = "Dati importati in " + c.TabellaCorrente + " da " + file;
  return [&c, file, separatore, colonne] {
    importazione::ImportaDati(c.processo, c.ConnessioneAperta(), c.TabellaCorrente, file,
                              separatore, colonne,
                              [&c](std::string_view riga) { return c.Espandi(riga); });
  };
}

Lavoro CmdImportaTabella(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string origine = c.Parte(1);
  c.Azione = "Importati dati da tabella " + origine;
  return [&c, origine] {
    schema::ImportaDatiTabella(c.ConnessioneAperta(), c.TabellaCorrente, origine,
                               c.plat().progress);
  };
}

Lavoro CmdRinominaTabella(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nuova = c.Parte(1);
  c.Azione = "Rinominata tabella " + c.TabellaCorrente + " in " + nuova;
  // The current table keeps its old name.
  return [&c, nuova] { schema::RinominaTabella(c.ConnessioneAperta(), c.TabellaCorrente, nuova); };
}

Lavoro CmdCreaIndice(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  const std::string campi = c.Parte(2);
  const bool Primario = c.Flag(3), Univoco = c.Flag(4), Nulli = c.Flag(5);
  c.Azione = "Creato indice " + nome + "(" + campi + ") Primario=" + Vf(Primario) +
             " Univoco=" + Vf(Univoco) + " Nulli=" + Vf(Nulli);
  return [&c, nome, campi, Primario, Univoco, Nulli] {
    schema::CreaIndice(c.ConnessioneAperta(), c.TabellaCorrente, nome, campi, Primario, Univoco,
                       Nulli);
  };
}

Lavoro CmdCreaRelazione(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  const std::string campi = c.Parte(2);
  const std::string collegata = c.Parte(3);
  const std::string campiCollegati = c.Parte(4);
  const bool AggiornaCascata = c.Flag(5), EliminaCascata = c.Flag(6);
  c.Azione = "Creata relazione " + nome + " da " + c.TabellaCorrente + "(" + campi + ") a " +
             collegata + "(" + campiCollegati + ") Update=" + Vf(AggiornaCascata) +
             " Delete=" + Vf(EliminaCascata);
  return [&c, nome, campi, collegata, campiCollegati, AggiornaCascata, EliminaCascata] {
    schema::CreaRelazione(c.ConnessioneAperta(), nome, c.TabellaCorrente, campi, collegata,
                          campiCollegati, AggiornaCascata, EliminaCascata);
  };
}

Lavoro CmdModificaRelazione(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  const bool AggiornaCascata = c.Flag(2), EliminaCascata = c.Flag(3);
  c.Azione = "Modificata relazione " + nome + " Update=" + Vf(AggiornaCascata) +
             " Delete=" + Vf(EliminaCascata);
  return [&c, nome, AggiornaCascata, EliminaCascata] {
    schema::ModificaRelazione(c.ConnessioneAperta(), c.TabellaCorrente, nome, AggiornaCascata,
                              EliminaCascata);
  };
}

Lavoro CmdEliminaRelazione(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  c.Azione = "Eliminata relazione " + nome;
  return [&c, nome] { schema::EliminaRelazione(c.ConnessioneAperta(), c.TabellaCorrente, nome); };
}

// Database-wide commands.

Lavoro CmdSql(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string istruzione = c.RestoDa(1);
  c.Azione = "Eseguita query " + istruzione;
  return [&c, istruzione] { Verifica(c.ConnessioneAperta().Execute(istruzione)); };
}

Lavoro CmdCompatta(ContestoEsecuzione& c, StatoDatabase&) {
  c.Azione = "Compattazione DataBase" + c.DbCorrente;
  return [&c] { c.ErroreRiga = !CompattaDatabase(c.processo, c.Connessione, c.DbCorrente); };
}

Lavoro CmdRiallinea(ContestoEsecuzione& c, StatoDatabase&) {
  c.Azione = "Riallineamento contatori su DataBase " + c.DbCorrente;
  return [&c] { c.ErroreRiga = !RiallineaContatori(c.plat(), c.Connessione, c.DbCorrente); };
}

Lavoro CmdCreaDatabase(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string percorso = c.Parte(1);
  c.Azione = "Creazione database " + percorso;
  return [&c, percorso] { c.ErroreRiga = !CreaDatabase(c.plat(), percorso); };
}

Lavoro CmdAggiungiQuery(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  const std::string istruzione = c.RestoDa(2);
  c.Azione = "Aggiunta/modifica query " + nome + " : " + istruzione;
  return [&c, nome, istruzione] {
    const bool aperta = c.Connessione && c.Connessione->State() != 0;
    c.ErroreRiga = !(aperta && schema::AggiungiQuery(*c.Connessione, nome, istruzione));
  };
}

Lavoro CmdEliminaQuery(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string nome = c.Parte(1);
  c.Azione = "Eliminata query " + nome;
  return [&c, nome] {
    const bool aperta = c.Connessione && c.Connessione->State() != 0;
    c.ErroreRiga = !(aperta && schema::EliminaQuery(*c.Connessione, nome));
  };
}

Lavoro CmdProgramma(ContestoEsecuzione& c, StatoDatabase&) {
  const std::string tabella = c.Parte(1);
  const std::string data = c.Parte(2);
  const std::string script = c.Parte(3);
  c.Azione = "Pianificazione aggiornamento " + script + " in data " + data;
  return [&c, tabella, data, script] {
    ProgrammaAggiornamento(c.processo, tabella, data, script);
  };
}

}  // namespace

const Famiglia<StatoDatabase>& FamigliaDatabase() {
  using enum InProva;
  // {code, handler, builds the statement run at the end of the line, in a dry run}: every
  // command changes only databases, so a rehearsal runs them all on its copies.
  static constexpr Voce<StatoDatabase> comandi[] = {
      // Columns, rows, table and index on the current table, by a statement.
      {"+", CmdAggiungiCampo, true, SuCopia},
      {"-", CmdEliminaCampo, true, SuCopia},
      {"!", CmdModificaTipo, true, SuCopia},
      {"0", CmdSvuotaCampo, true, SuCopia},
      {"M", CmdModificaValore, true, SuCopia},
      {"X", CmdEliminaTabella, true, SuCopia},
      {">", CmdCreaTabella, true, SuCopia},
      {"/", CmdSvuotaTabella, true, SuCopia},
      {"-#", CmdEliminaIndice, true, SuCopia},
      // Columns, import, index and relations on the current table, by an operation.
      {"D", CmdDefaultCampo, false, SuCopia},
      {"$", CmdRinominaCampo, false, SuCopia},
      {"Z", CmdLunghezzaZero, false, SuCopia},
      {"<", CmdImportaDati, false, SuCopia},
      {"<T", CmdImportaTabella, false, SuCopia},
      {"$T", CmdRinominaTabella, false, SuCopia},
      {"#", CmdCreaIndice, false, SuCopia},
      {"@", CmdCreaRelazione, false, SuCopia},
      {"M@", CmdModificaRelazione, false, SuCopia},
      {"-@", CmdEliminaRelazione, false, SuCopia},
      // The whole database.
      {"SQL", CmdSql, false, SuCopia},
      {"DBZ", CmdCompatta, false, SuCopia},
      {"DBFC", CmdRiallinea, false, SuCopia},
      {"+DB", CmdCreaDatabase, false, SuCopia},
      {"+Q", CmdAggiungiQuery, false, SuCopia},
      {"-Q", CmdEliminaQuery, false, SuCopia},
      {"+TASK", CmdProgramma, false, SuCopia},
  };
  static constexpr TipoRiga<StatoDatabase> righe[] = {
      {"*", RigaDatabase},
      {"[", RigaTabella},
  };
  static const Famiglia<StatoDatabase> famiglia{comandi, righe, EseguiIstruzione};
  return famiglia;
}

}  // namespace mlx
