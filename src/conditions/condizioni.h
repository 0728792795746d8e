// The condition evaluator: single tests on files, variables, the last line's error state and
// databases, and whole condition lines that join tests in pairs with AND, OR and XOR and group
// them in parentheses. It works on the run context, so that every family that branches or
// stores a condition's result (condition lines, COND) calls the same code.
//
// Each function leaves its description of what it tested in the context's Azione and catches
// nothing: an error of a test (a database that cannot be opened, a malformed line) reaches the
// caller, whose line's error trap decides what becomes of it.
#pragma once

#include <string>
#include <string_view>

namespace mlx {

struct ContestoEsecuzione;

// One single test, used exactly as written (no blanks removed). Appends its description to
// Azione. A database test changes the connection, DbCorrente, TabellaCorrente and DbCiclo.
bool EvalCondizione(ContestoEsecuzione& c, std::string_view szExec);

// One pair: "^test^", or "^test^ op ^test^" with op AND, OR or XOR in any case. Both tests are
// evaluated whatever the first answers; another operator gives false without evaluating the
// second. Azione becomes the pair's description.
bool EvalBiCondizione(ContestoEsecuzione& c, std::string_view szExec);

// A whole condition line: a pair whose elements may be groups "(pair)", nested to any depth,
// reduced innermost first. Every test is evaluated once, left to right. Azione becomes the
// line's log text, "Condizione   ... : ". A line that begins (after blanks) with neither "^"
// nor "(" is false and leaves Azione as it was.
bool EvalMultiCondizione(ContestoEsecuzione& c, std::string_view szExec);

}  // namespace mlx
