#pragma once
// What a school database starts with. seedSystemData adds the reference data that the pages rely on
// (registry lists and values, field definitions, grade names per school type, the function tree of
// the rights packet with its role grants, the shared exam names).

#include "server/seed/seed_export.h"
#include "server/storage/database.h"

namespace lumeko::server {

// Inserts the reference data a database has not received yet, in a transaction of its own; run it
// after the schema is created or upgraded. Rows that already exist are left as they are, and rows an
// administrator deleted stay deleted: the database remembers the level of reference data it holds
// (registry "Lumeko" / "SystemDataLevel") and only rows of a newer level are added. Throws
// StorageError.
LUMEKO_SEED_EXPORT void seedSystemData(Database &db);

} // namespace lumeko::server
