#pragma once
// lumeko-server restore: puts a backup made by `lumeko-server backup` into a new, empty database.

#include "server/storage/database.h"

#include <QProcess>
#include <QTextStream>

namespace lumeko::server {

// Restores the backup file `from` into the database of `url`, which must hold no table yet; says
// what it did on `out` and why it refused or failed on `err`. Answers the program's exit code: 0
// done, 1 refused or failed (the target left as it was), 2 a usage error.
int restoreBackup(const DatabaseUrl &url, const QString &from, QTextStream &out, QTextStream &err);

// Prepares a PostgreSQL client tool (pg_dump, pg_restore) to reach the database of `url`: the
// connection options for its command line; the password, if any, goes to its environment.
QStringList postgresClientArgs(const DatabaseUrl &url, QProcess &tool);

} // namespace lumeko::server
