// A failure of a script line: an error number and the description the user reads. Operations
// throw it; the line's error trap in the engine decides what becomes of it.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/status.h"

namespace mlx {

class ErroreScript : public std::exception {
 public:
  ErroreScript(long numero, std::string descrizione)
      : numero_(numero), descrizione_(std::move(descrizione)) {}
  long Numero() const { return numero_; }
  const std::string& Descrizione() const { return descrizione_; }
  const char* what() const noexcept override { return descrizione_.c_str(); }

 private:
  long numero_;
  std::string descrizione_;
};

[[noreturn]] inline void Solleva(long numero, std::string descrizione) {
  throw ErroreScript(numero, std::move(descrizione));
}

// Turns a failed platform result into a script error.
inline void Verifica(const Status& status) {
  if (!status.ok()) Solleva(status.number(), status.description());
}

}  // namespace mlx
