// Field values as scripts read them.
#pragma once

#include <string>

#include "platform/db/db.h"

namespace mlx {

// The text of a value as a variable keeps it: "" for Null; True or False; whole numbers
// without decimals; other numbers with "." and at most 15 significant digits; currency with
// at most four decimals; dates as dd/mm/yyyy hh:nn:ss (the date alone at midnight, the time
// alone on day 0); texts as they are.
std::string TestoValore(const db::Value& valore);

// The value as a number: 0 for Null; a text is read as a number (a script error when it is
// not one).
double ValoreComeNumero(const db::Value& valore);

}  // namespace mlx
