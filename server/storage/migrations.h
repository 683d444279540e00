#pragma once
// Creating and upgrading the schema. A new database is created from the table declarations and
// stamped with the latest version; a database of an older version runs the upgrade steps after its
// version, each in its own transaction. Later changes to the declarations add a step here.

#include "server/storage/database.h"
#include "server/storage/schema.h"

namespace lumeko::server {

LUMEKO_STORAGE_EXPORT int latestSchemaVersion();
// The version stamped in the database; 0 when it has no schema yet.
LUMEKO_STORAGE_EXPORT int schemaVersionOf(Database &db);
// Creates or upgrades the schema; returns the version the database had before. Throws
// StorageError, and refuses a database newer than this server knows.
LUMEKO_STORAGE_EXPORT int migrate(Database &db);

// The statements that create one table and its indexes on a back end.
LUMEKO_STORAGE_EXPORT QStringList createTableStatements(const TableDef &table, Backend backend);

} // namespace lumeko::server
