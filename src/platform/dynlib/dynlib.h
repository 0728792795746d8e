// Loading a component library and calling one of its entry points. Paths are native.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace mlx::dynlib {

class Loader {
 public:
  virtual ~Loader() = default;
  // Loads the library, calls the entry point of that name (no arguments, a 32-bit status code
  // back) and unloads the library. An error, with nothing called, when the file cannot be
  // loaded as a library or has no such entry point.
  virtual Status CallEntryPoint(const std::string& library, const std::string& entry,
                                std::int32_t* result) = 0;
};

std::unique_ptr<Loader> MakeLoader();

}  // namespace mlx::dynlib
