// Realignment of the counters of a database: every counter whose next value lags behind the
// values already in its column is moved up to one more than the largest of them.
#pragma once

#include <memory>
#include <string>

#include "platform/db/db.h"
#include "platform/platform.h"

namespace mlx {

// Closes `conn`, walks the user tables of the database at the path on a private connection
// that has the file to itself, and opens `conn` again on the path, on success and failure alike
// (a failure to open it again is a script error). False when the walk stopped at an error;
// counters already raised stay raised. Counters never go down.
bool RiallineaContatori(const Platform& plat, std::unique_ptr<db::Connection>& conn,
                        const std::string& percorso);

}  // namespace mlx
