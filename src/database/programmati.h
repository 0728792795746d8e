// The register of scripts planned for a later date: a table of the scheduling database with
// the columns DataAgg (the due date as yyyymmdd), MLX (the script) and Eseguito (done). A start
// with "-U table" runs the plans that are due, oldest first, and marks each as done.
#pragma once

#include <functional>
#include <string>

#include "platform/db/db.h"

namespace mlx {

struct StatoProcesso;

// The scheduling database: the "Pelsacord" setting, or Pelsacord.mdb in the program's folder.
std::string PercorsoProgrammati(const StatoProcesso& stato);

// Creates the table of plans when it does not exist. True; a failure is a script error.
bool CreaTabellaProgrammati(db::Connection& conn, const std::string& tabella);

// Records the plan (table, date, script) unless the same script is already planned for that
// date, done or not. A failure is a script error.
void ProgrammaAggiornamento(StatoProcesso& stato, const std::string& tabella,
                            const std::string& data, const std::string& script);

// Runs every plan of the table whose date has come and that has not run, oldest date first,
// each through `eseguiScript`, and marks it done whatever the outcome of its script; a plan
// without script is only marked done. A plan of the same script and date is run once. When the
// scheduling database cannot be opened or has no such table, nothing runs and the reason is
// reported to the user.
void EseguiProgrammati(StatoProcesso& stato, const std::string& tabella,
                       const std::function<void(const std::string&)>& eseguiScript);

}  // namespace mlx
