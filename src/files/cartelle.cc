#include "files/cartelle.h"

#include "engine/utilita.h"
#include "platform/fs/fs.h"

namespace mlx {

bool CreaCartella(fs::FileSystem& fs, const std::string& percorso) {
  // The parent is the text before the last separator. A path without one is its own parent, and
  // a path whose parent is empty ("\A", "/A") begins at the root: either is made directly.
  const std::string genitore = SoloPercorso(percorso);
  if (!genitore.empty() && genitore != percorso && !fs.IsDirectory(genitore) &&
      !CreaCartella(fs, genitore)) {
    return false;
  }
  return fs.MakeDirectory(percorso).ok();
}

}  // namespace mlx
