#pragma once
// The reference data, added inside the caller's open transaction (seedSystemData wraps it in one
// of its own; the demo school adds it to its own transaction).

#include "server/storage/database.h"

namespace lumeko::server::seed {

// The level of reference data this build knows; stored in the registry once added.
int systemDataLevel();
void addSystemData(Database &db);

} // namespace lumeko::server::seed
