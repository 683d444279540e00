#include "scratchdatabase.h"

#include <cstdio>

#include <QCoreApplication>

namespace lumeko::bench {

using server::Backend;
using server::Database;
using server::DatabaseUrl;

DatabaseUrl postgresMaintenanceUrl()
{
    return DatabaseUrl::parse(qEnvironmentVariable("LUMEKO_BENCH_PG", QStringLiteral("postgresql:///postgres")));
}

bool postgresReachable(QString *why)
{
    try {
        Database db(postgresMaintenanceUrl());
        db.scalar(QStringLiteral("SELECT 1"));
        return true;
    } catch (const server::StorageError &e) {
        *why = e.message();
        return false;
    }
}

ScratchDatabase::ScratchDatabase(Backend backend, const QString &name)
{
    if (backend == Backend::Sqlite) {
        m_url.backend = Backend::Sqlite;
        m_url.path = m_dir.filePath(name + QStringLiteral(".db"));
        return;
    }
    const DatabaseUrl admin = postgresMaintenanceUrl();
    m_url = admin;
    m_url.database = QStringLiteral("%1_%2").arg(name).arg(QCoreApplication::applicationPid());
    Database db(admin);
    db.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(m_url.database) + QStringLiteral(" WITH (FORCE)"));
    db.exec(QStringLiteral("CREATE DATABASE ") + Database::quoted(m_url.database) + QStringLiteral(" ENCODING 'UTF8' TEMPLATE template0"));
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_url.backend != Backend::Postgres) return;
    try {
        Database db(postgresMaintenanceUrl());
        db.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(m_url.database) + QStringLiteral(" WITH (FORCE)"));
    } catch (...) {
    }
}

void registerOnBothBackends(const std::string &name, const std::function<void(benchmark::State &, server::Backend)> &run, int iterations)
{
    const auto add = [&](const std::string &full, server::Backend backend) {
        benchmark::RegisterBenchmark(full.c_str(), [run, backend](benchmark::State &state) { run(state, backend); })
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMillisecond);
    };
    add(name + "Sqlite", server::Backend::Sqlite);
    QString why;
    if (postgresReachable(&why))
        add(name + "Postgres", server::Backend::Postgres);
    else
        std::fprintf(stderr, "%sPostgres skipped: PostgreSQL does not answer at %s (%s)\n", name.c_str(), qPrintable(postgresMaintenanceUrl().toString()),
                     qPrintable(why));
}

} // namespace lumeko::bench
