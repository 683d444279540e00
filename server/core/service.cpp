#include "server/core/service.h"

#include "server/grammar/clienttexterror.h"
#include "server/storage/changeapplier.h"
#include "server/storage/migrations.h"

#include <QAtomicInteger>
#include <QLoggingCategory>

#include <unordered_map>

namespace lumeko::server {

using wire::ErrorCode;
using wire::Reply;

Q_LOGGING_CATEGORY(lcServer, "lumeko.server", QtInfoMsg)

namespace {

// Each thread keeps one connection per service: Qt's SQL connections belong to the thread that
// opened them, and the HTTP workers are long-lived threads.
thread_local std::unordered_map<quint64, std::unique_ptr<Database>> t_connections;

quint64 nextServiceId()
{
    static QAtomicInteger<quint64> counter;
    return counter.fetchAndAddRelaxed(1) + 1;
}

// Sessions are touched at most this often, so that a busy client does not write on every call.
constexpr int kTouchSeconds = 300;

} // namespace

Service::Service(ServerOptions options) : m_env(std::move(options)), m_id(nextServiceId())
{
    migrate(connection());
}

Service::~Service()
{
    t_connections.erase(m_id);
}

Database &Service::connection()
{
    std::unique_ptr<Database> &c = t_connections[m_id];
    if (!c) c = std::make_unique<Database>(m_env.options().database);
    return *c;
}

void Service::dropConnection()
{
    t_connections.erase(m_id);
}

void Service::addMethod(const wire::protocol::Method &decl, std::function<void(MethodCall &)> run)
{
    auto &methods = m_objects[decl.objectName().toLower()];
    Q_ASSERT_X(!methods.contains(decl.methodName().toLower()), "Service::addMethod", "a method is registered twice");
    methods.insert(decl.methodName().toLower(), MethodDef{&decl, std::move(run)});
}

bool Service::hasMethod(const QString &object, const QString &method) const
{
    return findMethod(object, method) != nullptr;
}

const wire::protocol::Method *Service::findMethod(const QString &object, const QString &method) const
{
    auto it = m_objects.find(object.toLower());
    if (it == m_objects.end()) return nullptr;
    auto m = it->find(method.toLower());
    return m == it->end() ? nullptr : m->decl;
}

QStringList Service::objectNames() const { return m_objects.keys(); }

qsizetype Service::methodCount() const
{
    qsizetype n = 0;
    for (const auto &methods : m_objects)
        n += methods.size();
    return n;
}

const SessionUser *Service::resolveSession(Database &db, const QString &token, SessionUser *u)
{
    using wire::FieldType;
    if (token.isEmpty()) throw CallError(ErrorCode::NotSignedIn, QStringLiteral("sign in first"));
    const QString hash = sessionTokenHash(token);
    const auto row = db.select(
        QStringLiteral("SELECT s.\"TeacherCode\", s.\"SchoolCode\", s.\"dSeen\", s.\"dExpires\", t.\"sName\", t.\"sLoginName\", "
                       "t.\"iUserType\", t.\"sRole\", t.\"bViewAllGrade\", t.\"bViewAllClass\" "
                       "FROM \"XT_Session\" s JOIN \"JC_Teacher\" t ON t.\"sCode\" = s.\"TeacherCode\" WHERE s.\"sTokenHash\" = ?"),
        {hash},
        {{"TeacherCode", FieldType::Text, 0, 0}, {"SchoolCode", FieldType::Text, 0, 0}, {"dSeen", FieldType::DateTime, 0, 0},
         {"dExpires", FieldType::DateTime, 0, 0}, {"sName", FieldType::Text, 0, 0}, {"sLoginName", FieldType::Text, 0, 0},
         {"iUserType", FieldType::Integer, 0, 0}, {"sRole", FieldType::Text, 0, 0}, {"bViewAllGrade", FieldType::Boolean, 0, 0},
         {"bViewAllClass", FieldType::Boolean, 0, 0}});
    if (row.rowCount() == 0) throw CallError(ErrorCode::NotSignedIn, QStringLiteral("the session is not known; sign in again"));
    const QDateTime now = m_env.now();
    if (row.value(0, 3).toDateTime() <= now) {
        db.exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"sTokenHash\" = ?"), {hash});
        throw CallError(ErrorCode::NotSignedIn, QStringLiteral("the session has ended; sign in again"));
    }
    if (row.value(0, 2).toDateTime().secsTo(now) > kTouchSeconds)
        db.exec(QStringLiteral("UPDATE \"XT_Session\" SET \"dSeen\" = ?, \"dExpires\" = ? WHERE \"sTokenHash\" = ?"),
                {db.toDb(now, FieldType::DateTime), db.toDb(now.addSecs(m_env.options().sessionMinutes * 60), FieldType::DateTime), hash});
    u->teacherCode = row.value(0, 0).toString();
    u->school = row.value(0, 1).toString();
    u->name = row.value(0, 4).toString();
    u->login = row.value(0, 5).toString();
    u->userType = int(row.value(0, 6).toLongLong());
    u->roles = row.value(0, 7).toString();
    u->viewAllGrade = row.value(0, 8).toBool();
    u->viewAllClass = row.value(0, 9).toBool();
    u->tokenHash = hash;
    return u;
}

Reply Service::dispatch(wire::Call &call, const CallOrigin &origin)
{
    auto object = m_objects.constFind(call.object.toLower());
    if (object == m_objects.cend())
        return Reply::failure(ErrorCode::UnknownObject, QStringLiteral("there is no server object \"%1\"").arg(call.object));
    auto method = object->constFind(call.method.toLower());
    if (method == object->cend())
        return Reply::failure(ErrorCode::UnknownMethod, QStringLiteral("%1 has no method \"%2\"").arg(call.object, call.method));
    const MethodDef &m = *method;
    const wire::protocol::Method &decl = *m.decl;
    if (const QString wrong = wire::protocol::checkArguments(decl, call.args); !wrong.isEmpty()) return Reply::failure(ErrorCode::BadArguments, wrong);
    Database &db = connection();
    SessionUser user;
    const SessionUser *signedIn = nullptr;
    if (decl.right.who != wire::protocol::Right::Who::Anyone) {
        signedIn = resolveSession(db, call.token, &user);
        origin.user = user.login;
    }
    qCDebug(lcServer).noquote() << decl.fullName() << "for" << (signedIn ? user.login : QStringLiteral("anyone")) << "from" << origin.peer;
    Reply reply;
    MethodCall mc(db, m_env, signedIn, call.args, reply, origin.peer);
    if (decl.right.who == wire::protocol::Right::Who::Granted) mc.requireGrant(decl);
    m.run(mc);
    return reply;
}

Reply Service::handle(wire::Call &call, const CallOrigin &origin)
{
    try {
        return dispatch(call, origin);
    } catch (const CallError &e) {
        return Reply::failure(e.code(), e.message());
    } catch (const grammar::ClientTextError &e) {
        return Reply::failure(ErrorCode::Refused, e.message());
    } catch (const PacketError &e) {
        return Reply::failure(ErrorCode::BadArguments, e.message());
    } catch (const StorageError &e) {
        qCWarning(lcServer).noquote() << call.object << call.method << e.message();
        // The next call opens a new connection, in case this one broke (the database restarted).
        t_connections.erase(m_id);
        return Reply::failure(ErrorCode::Storage, QStringLiteral("%1.%2: %3").arg(call.object, call.method, e.plainMessage()));
    } catch (const wire::WireError &e) {
        return Reply::failure(ErrorCode::BadArguments, e.message());
    } catch (const std::exception &e) {
        qCWarning(lcServer).noquote() << call.object << call.method << e.what();
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1.%2 failed on the server; its log has the details").arg(call.object, call.method));
    }
}

} // namespace lumeko::server
