// A registry that takes changes without making them: reads fall through to a base registry
// unless the overlay changed the key or value, and writes stay in the overlay, a deleted key or
// value kept as a mark that hides what the base holds. The base is only ever read, so a run can
// be rehearsed on the machine's own registry, seeing its values, and leave it as it was.
//
// Every call answers as the base would: the same codes for a missing or deleted key or value,
// for a handle whose key was deleted since (a handle names its key's path, as in the file
// registry), and for a write the base would refuse (the base is asked to open the key with the
// rights the write needs, which is how the system registry tells a user who may not write a key).
#pragma once

#include <memory>
#include <string>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace mlx::registry {

class OverlayRegistry : public Registry {
 public:
  // The keys the overlay touched, as two documents: as the base holds them (before) and as the
  // overlay shows them (after), each with the values that were written or deleted. A key
  // missing from a document does not exist there; keys and values never touched are in neither.
  // Answers false, with *error set, when the base cannot be read.
  virtual bool Describe(regfile::Document* before, regfile::Document* after,
                        std::string* error) = 0;
};

// The overlay over `base`, which must outlive it.
std::unique_ptr<OverlayRegistry> MakeOverlayRegistry(Registry& base);

}  // namespace mlx::registry
