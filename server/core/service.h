#pragma once
// The application server: the named methods of the six server objects and of the session object,
// dispatched from decoded calls, each on this thread's own database connection. It keeps no state
// between calls beyond its connections, so several processes can serve one database.

#include "server/core/auth.h"
#include "server/core/methodcall.h"
#include "server/storage/database.h"
#include "wire/link.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>

namespace lumeko::server {

using wire::CallOrigin;
using wire::CallService;
using wire::LocalLink;
using wire::ServerLink;

struct LUMEKO_SERVER_EXPORT ServerOptions {
    DatabaseUrl database;
    QString fileStore;                 // root folder of the file store (student photos)
    PasswordCost passwordCost = PasswordCost::Interactive;
    int sessionMinutes = 12 * 60;      // a session ends this long after its last call
    qsizetype maxFileBytes = 8 * 1024 * 1024;
    std::function<QDateTime()> clock;  // the server's time (UTC); tests set it
};

// What methods may use besides their call: the options and the clock.
class LUMEKO_SERVER_EXPORT ServerEnvironment {
public:
    explicit ServerEnvironment(ServerOptions options) : m_options(std::move(options)) {}
    const ServerOptions &options() const { return m_options; }
    QDateTime now() const { return m_options.clock ? m_options.clock() : QDateTime::currentDateTimeUtc(); }

private:
    ServerOptions m_options;
};

class LUMEKO_SERVER_EXPORT Service final : public CallService {
public:
    // Opens (and creates or upgrades) the schema on this thread's connection; throws StorageError.
    // It serves no method until whoever composes it adds the method modules
    // (server/methods/methods.h: installSchoolMethods).
    explicit Service(ServerOptions options);
    ~Service() override;

    wire::Reply handle(wire::Call &call, const CallOrigin &origin) override;

    // This thread's connection to the database, opened on first use.
    Database &connection();
    // Closes this thread's connection, so that the next use opens a new one: after a failure of the
    // database, whose connection may be broken (the database restarted).
    void dropConnection();
    ServerEnvironment &environment() { return m_env; }

    // Registers the implementation of a declared method (object and method names are matched
    // without regard to case); a method registered twice is a programming error.
    void addMethod(const wire::protocol::Method &decl, std::function<void(MethodCall &)> run);
    const wire::protocol::Method *findMethod(const QString &object, const QString &method) const;
    bool hasMethod(const QString &object, const QString &method) const;
    QStringList objectNames() const;
    qsizetype methodCount() const;

private:
    const SessionUser *resolveSession(Database &db, const QString &token, SessionUser *storage);
    wire::Reply dispatch(wire::Call &call, const CallOrigin &origin);

    ServerEnvironment m_env;
    quint64 m_id;
    QHash<QString, QHash<QString, MethodDef>> m_objects;
};

} // namespace lumeko::server
