#pragma once
// Fresh databases for the storage and server suites, on both back ends. SQLite databases are files
// in a temporary folder; PostgreSQL tests share one database per test process (created from the
// maintenance URL in LUMEKO_TEST_PG) whose schema is dropped and made anew for every test.

#include "server/storage/database.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace lumeko::server::testing {

// "sqlite" and "postgresql": the parameter values of the suites that run on both back ends.
QString backendName(Backend backend);
std::string backendParamName(const ::testing::TestParamInfo<Backend> &info);

class TestDatabase {
public:
    // Skips the test (GTEST_SKIP in the caller) when PostgreSQL is asked for and LUMEKO_TEST_PG is
    // not set; `make test` always sets it.
    static bool available(Backend backend, QString *why);
    explicit TestDatabase(Backend backend);
    ~TestDatabase();

    const DatabaseUrl &url() const { return m_url; }
    // A new connection to the test database; with migrate, the schema is created first.
    std::unique_ptr<Database> open(bool migrate = true) const;

private:
    QTemporaryDir m_dir;
    DatabaseUrl m_url;
};

// A database of its own, made empty, for a test that hands it to other processes (lumeko-server,
// pg_dump, pg_restore) or needs several at once: on PostgreSQL a new database beside the test
// process's, dropped with whoever is still connected when the object goes; on SQLite a file name
// in a temporary folder, not yet created. The caller makes the schema when it wants one.
class ScratchDatabase {
public:
    // `name` tells the test's databases apart (letters, digits and "_").
    ScratchDatabase(Backend backend, const QString &name);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;

    const DatabaseUrl &url() const { return m_url; }

private:
    QTemporaryDir m_dir;
    DatabaseUrl m_url;
};

#define LUMEKO_REQUIRE_BACKEND(backend)                                                              \
    do {                                                                                             \
        QString why_;                                                                                \
        if (!::lumeko::server::testing::TestDatabase::available(backend, &why_)) GTEST_SKIP() << why_.toStdString(); \
    } while (0)

} // namespace lumeko::server::testing
