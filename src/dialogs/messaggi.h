// Message and question boxes built from a script's arguments, and the names of their answers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/processo.h"

namespace mlx {

// The message text of a box: every "#~#" becomes a line break (CR LF).
std::string TestoMessaggio(std::string_view testo);

// Shows a box of the given style (the standard button, icon and default-button code, written as
// a number) and returns the code of the button pressed as text ("1".."7"). A style that is not a
// whole number is a type error, raised before anything is shown.
std::string MostraMessaggio(const StatoProcesso& processo, std::string_view stile,
                            const std::string& titolo, std::string_view testo);

// The icon code of a message's icon key: "!" 48, "i" 64, "x" 16, "?" 32, the key in any case.
// Any other key is an invalid argument.
std::int32_t IconeMessaggio(std::string_view chiave);

// The Italian name of an answer code ("OK", "Annulla", ...); "" for a number outside 1..7. A
// code that is not a number is a type error.
std::string BottoniMessaggio(std::string_view codice);

}  // namespace mlx
