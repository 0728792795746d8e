// The schema operations on an open connection: existence tests, saved queries, indexes,
// relations, renames, default values, the zero-length rule of text columns, and copying the
// rows of one table into another. Names are written as in the script; lists of columns are
// one text with the names separated by ";". Unless said otherwise a failure is a script error
// whose description the line's error trap classifies ("already exists", "non esiste.").
#pragma once

#include <string>

#include "platform/db/db.h"
#include "platform/progress.h"

namespace mlx::schema {

// True when the table (or saved query) opens as a row source. Never fails.
bool EsisteTabella(db::Connection& conn, const std::string& tabella);
// True when "SELECT * FROM name" opens: a saved query, or a table. Never fails.
bool EsisteQuery(db::Connection& conn, const std::string& nome);
// Adds the saved query, or replaces the text of an existing one. False on any failure (a name
// that belongs to a table included).
bool AggiungiQuery(db::Connection& conn, const std::string& nome, const std::string& sql);
// False on any failure.
bool EliminaQuery(db::Connection& conn, const std::string& nome);

// Creates the index over the listed columns, in order, replacing an index of that name. A
// primary index is unique and keeps its rows whatever `nulli` says; otherwise `nulli` leaves
// rows whose indexed columns are null out of the index.
void CreaIndice(db::Connection& conn, const std::string& tabella, const std::string& nome,
                const std::string& campi, bool primario, bool univoco, bool nulli);
// Creates the relation from the columns of `tabella` (the many side) to the related columns of
// `collegata`, paired by position; the flags switch on the cascade of updates and deletes. A
// related list shorter than the column list appends nothing.
void CreaRelazione(db::Connection& conn, const std::string& nome, const std::string& tabella,
                   const std::string& campi, const std::string& collegata,
                   const std::string& campiCollegati, bool aggiorna, bool elimina);
// Rebuilds the relation with the same columns and both cascade rules set from the flags, in
// one step: when the new relation cannot be made, the old one stays.
void ModificaRelazione(db::Connection& conn, const std::string& tabella, const std::string& nome,
                       bool aggiorna, bool elimina);
void EliminaRelazione(db::Connection& conn, const std::string& tabella, const std::string& nome);

void RinominaCampo(db::Connection& conn, const std::string& tabella, const std::string& vecchio,
                   const std::string& nuovo);
void RinominaTabella(db::Connection& conn, const std::string& vecchia, const std::string& nuova);
// Stores the default value text of the column, unchanged.
void ModificaDefaultCampo(db::Connection& conn, const std::string& tabella,
                          const std::string& campo, const std::string& valore);

// Lets the column accept zero-length text. The table name must match the stored name exactly,
// case included; no such table changes nothing and is no error.
void PermettiLunghezzaZero(db::Connection& conn, const std::string& tabella,
                           const std::string& campo);
bool LeggiLunghezzaZero(db::Connection& conn, const std::string& tabella, const std::string& campo);
void ImpostaLunghezzaZero(db::Connection& conn, const std::string& tabella,
                          const std::string& campo, bool valore);

// Copies every row of the source (a table, a saved query or a SELECT) into the destination
// table, column by column matched by name: source columns without a namesake are skipped,
// destination columns without one keep their defaults, and a row that cannot be stored is
// skipped. Only a source or destination that cannot be opened is an error.
// The copy reports its rows to `avanzamento` (when given), and one the user interrupts is undone
// and fails.
void ImportaDatiTabella(db::Connection& conn, const std::string& destinazione,
                        const std::string& origine, progress::Sink* avanzamento = nullptr);

}  // namespace mlx::schema
