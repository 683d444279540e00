#include "server/core/methodcall.h"

#include "server/core/rights.h"

#include <cmath>

namespace lumeko::server {

using wire::ErrorCode;

bool SessionUser::hasRole(int role) const
{
    const QString r = QString::number(role);
    for (QStringView part : QStringView(roles).split(u','))
        if (part.trimmed() == r) return true;
    return false;
}

MethodCall::MethodCall(Database &db, ServerEnvironment &env, const SessionUser *user, QList<wire::Argument> &args,
                       wire::Reply &reply, QString origin)
    : m_db(db), m_env(env), m_user(user), m_args(args), m_reply(reply), m_origin(std::move(origin))
{
}

const SessionUser &MethodCall::user() const
{
    if (!m_user) throw CallError(ErrorCode::NotSignedIn, QStringLiteral("sign in first"));
    return *m_user;
}

const wire::Argument &MethodCall::arg(int i) const
{
    if (i < 0 || i >= m_args.size())
        throw CallError(ErrorCode::BadArguments, QStringLiteral("argument %1 is missing").arg(i + 1));
    return m_args[i];
}

void MethodCall::badArgument(int i, const char *expected) const
{
    throw CallError(ErrorCode::BadArguments, QStringLiteral("argument %1 must be %2, not %3")
                                                 .arg(i + 1).arg(QLatin1StringView(expected), wire::valueKindName(arg(i).value)));
}

const wire::Value &MethodCall::value(int i) const { return arg(i).value; }

bool MethodCall::isNull(int i) const { return std::holds_alternative<wire::Null>(arg(i).value); }
bool MethodCall::isText(int i) const { return std::holds_alternative<QString>(arg(i).value); }

QString MethodCall::text(int i) const
{
    const wire::Value &v = arg(i).value;
    if (auto s = std::get_if<QString>(&v)) return *s;
    if (std::holds_alternative<wire::Null>(v)) return {};
    badArgument(i, "a text");
}

qint64 MethodCall::integer(int i) const
{
    const wire::Value &v = arg(i).value;
    if (auto n = std::get_if<qint64>(&v)) return *n;
    if (std::holds_alternative<wire::Null>(v)) return 0;
    if (auto d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9e15) return qint64(*d);
    } else if (auto s = std::get_if<QString>(&v)) {
        bool ok = false;
        const qint64 n = s->trimmed().toLongLong(&ok);
        if (ok) return n;
    }
    badArgument(i, "an integer");
}

double MethodCall::real(int i) const
{
    const wire::Value &v = arg(i).value;
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto n = std::get_if<qint64>(&v)) return double(*n);
    if (std::holds_alternative<wire::Null>(v)) return 0;
    badArgument(i, "a number");
}

bool MethodCall::boolean(int i) const
{
    const wire::Value &v = arg(i).value;
    if (auto b = std::get_if<bool>(&v)) return *b;
    if (auto n = std::get_if<qint64>(&v); n && (*n == 0 || *n == 1)) return *n == 1;
    if (std::holds_alternative<wire::Null>(v)) return false;
    badArgument(i, "a boolean");
}

const wire::ChangePacket &MethodCall::changes(int i) const
{
    if (auto p = std::get_if<wire::ChangePacket>(&arg(i).value)) return *p;
    badArgument(i, "a change packet");
}

const wire::DataPacket &MethodCall::packet(int i) const
{
    if (auto p = std::get_if<wire::DataPacket>(&arg(i).value)) return *p;
    badArgument(i, "a data packet");
}

QString MethodCall::school(int i) const
{
    const QString s = text(i);
    if (s != user().school)
        throw CallError(ErrorCode::Forbidden, QStringLiteral("the school \"%1\" is not the signed-in user's school").arg(s.left(40)));
    return s;
}

const QSet<QString> &MethodCall::rights()
{
    if (!m_rights) m_rights = loadRightKeys(m_db, user());
    return *m_rights;
}

bool MethodCall::hasRight(const QString &functionId, const QString &key)
{
    if (user().unrestricted()) return true;
    return rights().contains(functionId + u'/' + key) || rights().contains(QStringLiteral("00/") + key);
}

bool MethodCall::hasFunction(const QString &functionId)
{
    return user().unrestricted() || rights().contains(functionId);
}

void MethodCall::requireFunction(const QString &functionId)
{
    if (!user().unrestricted() && !rights().contains(functionId))
        throw CallError(ErrorCode::Forbidden, QStringLiteral("function %1 is not granted to this user").arg(functionId));
}

void MethodCall::requireGrant(const wire::protocol::Method &decl)
{
    if (user().unrestricted()) return;
    for (const wire::protocol::Grant &g : decl.right.granted()) {
        const QString id = QString::fromLatin1(g.functionId.data(), qsizetype(g.functionId.size()));
        if (g.key.empty() ? rights().contains(id) : hasRight(id, QString::fromLatin1(g.key.data(), qsizetype(g.key.size())))) return;
    }
    throw CallError(ErrorCode::Forbidden, QStringLiteral("%1 needs the right %2").arg(decl.fullName(), wire::protocol::describeRight(decl.right)));
}

void MethodCall::requireRight(const QString &functionId, const QString &key)
{
    if (!hasRight(functionId, key))
        throw CallError(ErrorCode::Forbidden, QStringLiteral("the right \"%1\" of function %2 is needed").arg(key, functionId));
}

void MethodCall::requireByRef(int i) const
{
    if (i < 0 || i >= m_args.size() || !m_args[i].byRef)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("argument %1 must be passed by reference").arg(i + 1));
}

void MethodCall::setRef(int i, wire::Value v)
{
    requireByRef(i);
    m_reply.refs.insert(i, std::move(v));
}

} // namespace lumeko::server
