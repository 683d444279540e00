#pragma once
// What a server method sees of its call: the positional arguments with typed, checked access, the
// signed-in user, the database connection of this thread, and the reply it fills.

#include "server/core/server_export.h"
#include "server/storage/database.h"
#include "wire/envelope.h"
#include "wire/protocol/method.h"

#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <stdexcept>

namespace lumeko::server {

class ServerEnvironment;

// Thrown by methods to answer with an error code; the dispatcher turns it into the reply.
class LUMEKO_SERVER_EXPORT CallError : public std::runtime_error {
public:
    CallError(wire::ErrorCode code, const QString &message) : std::runtime_error(message.toStdString()), m_code(code) {}
    wire::ErrorCode code() const { return m_code; }
    QString message() const { return QString::fromStdString(what()); }

private:
    wire::ErrorCode m_code;
};

// The signed-in user of a session: a teacher of one school.
struct LUMEKO_SERVER_EXPORT SessionUser {
    QString teacherCode; // the user code of the host services
    QString school;
    QString name;
    QString login;
    int userType = 0;    // 1 = not restricted by rights
    QString roles;       // comma text of role numbers 1..6
    bool viewAllGrade = false;
    bool viewAllClass = false;
    QString tokenHash;   // the session's stored key

    bool unrestricted() const { return userType == 1; }
    bool hasRole(int role) const;
};

class LUMEKO_SERVER_EXPORT MethodCall {
public:
    MethodCall(Database &db, ServerEnvironment &env, const SessionUser *user, QList<wire::Argument> &args, wire::Reply &reply,
               QString origin);

    Database &db() { return m_db; }
    ServerEnvironment &env() { return m_env; }
    // The signed-in user; only the session object's sign-in runs without one.
    const SessionUser &user() const;
    const QString &origin() const { return m_origin; }
    qsizetype argCount() const { return m_args.size(); }

    // Typed access to argument i; a value of another kind is a BadArguments error naming the
    // argument. Null reads as an empty text, 0, false. Integers also accept a text of digits and
    // an integral float, since the pages pass intake years both ways.
    QString text(int i) const;
    qint64 integer(int i) const;
    double real(int i) const;
    bool boolean(int i) const;
    bool isNull(int i) const;
    bool isText(int i) const;
    const wire::ChangePacket &changes(int i) const;
    const wire::DataPacket &packet(int i) const; // a data packet argument (Data on entry)
    const wire::Value &value(int i) const;

    // The argument must be the signed-in user's school id; returns it.
    QString school(int i) const;
    // The user must hold the function key under the function id (or be unrestricted).
    void requireRight(const QString &functionId, const QString &key);
    bool hasRight(const QString &functionId, const QString &key);
    // The user may open the page or use the function (or is unrestricted).
    void requireFunction(const QString &functionId);
    bool hasFunction(const QString &functionId);
    // The user holds one of the grants the declaration names; otherwise Forbidden, naming them.
    void requireGrant(const wire::protocol::Method &decl);

    void setResult(wire::Value v) { m_reply.result = std::move(v); }
    // Writes a by-reference argument back to the caller.
    void setRef(int i, wire::Value v);
    // Checks up front that an argument to be written back was passed by reference, so that a
    // write method fails before it stores anything rather than after.
    void requireByRef(int i) const;
    void setMessage(const QString &message) { m_reply.message = message; }

private:
    [[noreturn]] void badArgument(int i, const char *expected) const;
    const wire::Argument &arg(int i) const;

    Database &m_db;
    ServerEnvironment &m_env;
    const SessionUser *m_user;
    QList<wire::Argument> &m_args;
    wire::Reply &m_reply;
    QString m_origin;
    const QSet<QString> &rights();
    std::optional<QSet<QString>> m_rights; // see loadRightKeys; loaded on first use
};

// A server method: its declaration (shared with the clients) and its implementation. The
// dispatcher checks a call against the declaration before `run` sees it.
struct LUMEKO_SERVER_EXPORT MethodDef {
    const wire::protocol::Method *decl = nullptr;
    std::function<void(MethodCall &)> run;
};

} // namespace lumeko::server
