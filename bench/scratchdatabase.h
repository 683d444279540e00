#pragma once
// Databases of a benchmark's own on either back end: a SQLite file in a temporary folder, or a
// database on the PostgreSQL server named by LUMEKO_BENCH_PG (default postgresql:///postgres,
// the local server's socket), created for the benchmark and dropped when it is done.

#include "server/storage/database.h"

#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>
#include <optional>
#include <string>

namespace lumeko::bench {

// The maintenance URL the PostgreSQL databases are made from.
server::DatabaseUrl postgresMaintenanceUrl();
// Whether the PostgreSQL server answers; `why` says what failed when it does not.
bool postgresReachable(QString *why);

// Registers `run` as "<name>Sqlite" and, when the PostgreSQL server answers, as "<name>Postgres"
// (saying why not otherwise), each timed by hand over `iterations` and reported in milliseconds.
void registerOnBothBackends(const std::string &name, const std::function<void(benchmark::State &, server::Backend)> &run, int iterations);

class ScratchDatabase {
public:
    // On PostgreSQL the database is called `name` with this process's id appended, so that two
    // engineers running the same benchmark do not meet. Throws StorageError when it cannot be made.
    ScratchDatabase(server::Backend backend, const QString &name);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    const server::DatabaseUrl &url() const { return m_url; }

private:
    QTemporaryDir m_dir;
    server::DatabaseUrl m_url;
};

} // namespace lumeko::bench
