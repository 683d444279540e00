#pragma once
// A small school for the server suites: two schools, an administrator and a subject teacher of
// school S1, a teacher of school S2, a few rights, registry rows, grades and classes.

#include "server/core/service.h"
#include "testdb.h"

#include <QTemporaryDir>

namespace lumeko::server::testing {

inline constexpr char kAdminCode[] = "{00000000-0000-0000-0000-000000000001}";
inline constexpr char kTeacherCode[] = "{00000000-0000-0000-0000-000000000006}";
inline constexpr char kOtherSchoolCode[] = "{00000000-0000-0000-0000-0000000000F2}";

void seedFixtureSchool(Database &db);

// A service over a fresh fixture database with a clock the test moves.
class ServiceFixture {
public:
    explicit ServiceFixture(Backend backend);

    Service &service() { return *m_service; }
    Database &db() { return m_service->connection(); }
    QDateTime now;
    const QString &fileStore() const { return m_filesPath; }

    wire::Reply call(const QString &object, const QString &method, QList<wire::Argument> args = {}, const QString &token = {},
                     const QString &peer = QStringLiteral("10.0.0.7"));
    // Signs in and returns the token; fails the test when sign-in fails.
    QString signIn(const QString &login, const QString &password);

private:
    TestDatabase m_testDb;
    QTemporaryDir m_files;
    QString m_filesPath;
    std::unique_ptr<Service> m_service;
};

// Shorthands for call arguments.
inline wire::Argument val(wire::Value v) { return {std::move(v), false}; }
inline wire::Argument ref(wire::Value v = wire::Null{}) { return {std::move(v), true}; }
inline wire::Argument txt(const char *s) { return {QString::fromUtf8(s), false}; }

} // namespace lumeko::server::testing
