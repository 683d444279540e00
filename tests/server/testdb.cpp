#include "testdb.h"

#include "server/storage/migrations.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>

namespace lumeko::server::testing {

QString backendName(Backend backend)
{
    return backend == Backend::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgresql");
}

std::string backendParamName(const ::testing::TestParamInfo<Backend> &info)
{
    return backendName(info.param).toStdString();
}

namespace {

QString maintenanceUrl() { return QString::fromLocal8Bit(qgetenv("LUMEKO_TEST_PG")); }

// The database of this test process on the PostgreSQL server, created on first use and dropped
// when the process ends.
DatabaseUrl processDatabase()
{
    static const DatabaseUrl url = [] {
        DatabaseUrl admin = DatabaseUrl::parse(maintenanceUrl());
        DatabaseUrl mine = admin;
        mine.database = QStringLiteral("lumeko_test_%1").arg(QCoreApplication::applicationPid());
        {
            Database db(admin);
            db.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(mine.database));
            db.exec(QStringLiteral("CREATE DATABASE ") + Database::quoted(mine.database) + QStringLiteral(" ENCODING 'UTF8' TEMPLATE template0"));
        }
        static const DatabaseUrl dropAtExit = mine;
        static const DatabaseUrl adminAtExit = admin;
        std::atexit([] {
            try {
                Database db(adminAtExit);
                db.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(dropAtExit.database) + QStringLiteral(" WITH (FORCE)"));
            } catch (...) {
            }
        });
        return mine;
    }();
    return url;
}

} // namespace

bool TestDatabase::available(Backend backend, QString *why)
{
    if (backend == Backend::Sqlite || !maintenanceUrl().isEmpty()) return true;
    *why = QStringLiteral("LUMEKO_TEST_PG is not set; `make test` starts PostgreSQL and sets it");
    return false;
}

TestDatabase::TestDatabase(Backend backend)
{
    if (backend == Backend::Sqlite) {
        m_url.backend = Backend::Sqlite;
        m_url.path = m_dir.filePath(QStringLiteral("school.db"));
        return;
    }
    m_url = processDatabase();
    Database db(m_url);
    db.exec(QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE"));
    db.exec(QStringLiteral("CREATE SCHEMA public"));
}

TestDatabase::~TestDatabase() = default;

std::unique_ptr<Database> TestDatabase::open(bool migrateSchema) const
{
    auto db = std::make_unique<Database>(m_url);
    if (migrateSchema) migrate(*db);
    return db;
}

ScratchDatabase::ScratchDatabase(Backend backend, const QString &name)
{
    if (backend == Backend::Sqlite) {
        m_url.backend = Backend::Sqlite;
        m_url.path = m_dir.filePath(name + QStringLiteral(".db"));
        return;
    }
    m_url = DatabaseUrl::parse(maintenanceUrl());
    m_url.database = QStringLiteral("lumeko_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(name);
    Database admin(DatabaseUrl::parse(maintenanceUrl()));
    admin.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(m_url.database) + QStringLiteral(" WITH (FORCE)"));
    admin.exec(QStringLiteral("CREATE DATABASE ") + Database::quoted(m_url.database) + QStringLiteral(" ENCODING 'UTF8' TEMPLATE template0"));
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_url.backend != Backend::Postgres) return;
    // A plain DROP stops an autovacuum worker busy in the database, which FORCE may not (it runs as
    // a superuser); FORCE ends the connections of processes the test killed that the server has not
    // yet noticed are gone.
    QString why;
    for (int attempt = 0; attempt < 10; ++attempt) {
        try {
            Database admin(DatabaseUrl::parse(maintenanceUrl()));
            admin.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + Database::quoted(m_url.database) +
                       (attempt % 2 == 0 ? QString() : QStringLiteral(" WITH (FORCE)")));
            return;
        } catch (const StorageError &e) {
            why = e.message();
        }
        QThread::msleep(200);
    }
    ADD_FAILURE() << "the scratch database " << m_url.database.toStdString() << " was not dropped: " << why.toStdString();
}

} // namespace lumeko::server::testing
