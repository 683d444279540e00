// The session with the application server: signing in and out, the user's context, the packets the
// host hands to the module (rights once per session; grade list, grade names and class names until
// the module says they changed) and the server objects.

#include "host/pub/state.h"

#include <QHash>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <limits>

namespace lumeko::pub {

Q_LOGGING_CATEGORY(lcPub, "lumeko.pub", QtInfoMsg)

using wire::ErrorCode;
using wire::Reply;

namespace detail {

SessionState &session()
{
    static SessionState s;
    return s;
}

std::shared_ptr<Connection> currentConnection()
{
    SessionState &s = session();
    std::lock_guard lock(s.mutex);
    return s.connection;
}

Reply callServer(const std::shared_ptr<Connection> &connection, wire::Call &call)
{
    if (!connection || !connection->open.load() || !connection->link)
        return Reply::failure(ErrorCode::NotSignedIn, QStringLiteral("not signed in to a server"));
    call.token = connection->token;
    try {
        return connection->link->call(call);
    } catch (const std::exception &e) {
        // Links report failures as replies; this is a last guard for the module's sake.
        return Reply::failure(ErrorCode::Internal, QString::fromUtf8(e.what()));
    }
}

} // namespace detail

using detail::Connection;
using detail::session;

namespace {

namespace P = wire::protocol::session;

Reply sessionCall(const std::shared_ptr<Connection> &connection, const wire::protocol::Method &method, QList<wire::Argument> args = {})
{
    wire::Call call{method.objectName(), method.methodName(), {}, std::move(args)};
    return detail::callServer(connection, call);
}

QString describeFailure(const Reply &r)
{
    QString lead;
    switch (r.error) {
    case ErrorCode::Refused:
    case ErrorCode::NotSignedIn:
    case ErrorCode::Forbidden: lead = QStringLiteral("登录失败，用户名或密码不正确，或该账号已停用。"); break;
    case ErrorCode::Timeout: lead = QStringLiteral("服务器没有及时响应，请稍后再试。"); break;
    case ErrorCode::Internal: lead = QStringLiteral("无法连接服务器，请检查服务器地址和网络。"); break;
    default: lead = QStringLiteral("登录失败。"); break;
    }
    return r.message.isEmpty() ? lead : lead + QStringLiteral("（") + r.message + QStringLiteral("）");
}

// The context packet's fields by name; a missing field reads as empty.
detail::Context readContext(const wire::DataPacket &p)
{
    const auto value = [&p](const char *name) {
        const int f = p.fieldIndex(QString::fromLatin1(name));
        return f < 0 || p.rowCount() == 0 ? QVariant() : p.value(0, f);
    };
    detail::Context c;
    c.schoolId = value("SchoolId").toString();
    c.schoolName = value("SchoolName").toString();
    c.schoolType = value("SchoolType").toString();
    c.userCode = value("UserCode").toString();
    c.userName = value("UserName").toString();
    c.userId = value("UserID").toString();
    c.roles = value("Roles").toString();
    c.userType = value("UserType").toInt();
    c.viewAllGrade = value("ViewAllGrade").toBool();
    c.viewAllClass = value("ViewAllClass").toBool();
    return c;
}

// A packet of the session object, from the cache in `slot` or from the server. A failure is
// written to the host's log and gives an empty packet, which is not cached.
wire::DataPacket sessionPacket(std::optional<wire::DataPacket> detail::SessionState::*slot, const wire::protocol::Method &method)
{
    detail::SessionState &s = session();
    QString failure;
    {
        std::lock_guard lock(s.mutex);
        if ((s.*slot)) return *(s.*slot);
        if (!s.connection) return {};
        Reply r = sessionCall(s.connection, method);
        if (auto *p = std::get_if<wire::DataPacket>(&r.result); r.ok() && p) {
            s.*slot = std::move(*p);
            return *(s.*slot);
        }
        failure = r.ok() ? QStringLiteral("the server answered no data packet") : r.message;
    }
    writeLog(QStringLiteral("读取%1失败，错误:%2").arg(method.methodName(), failure));
    return {};
}

} // namespace

bool signIn(wire::ServerLink &link, const QString &login, const QString &password, QString *error)
{
    signOut();
    auto connection = std::make_shared<Connection>();
    connection->link = &link;
    wire::Call call{P::SignIn.objectName(), P::SignIn.methodName(), {}, {{login, false}, {password, false}, {provider().localComputer(), false}}};
    Reply r;
    try {
        r = link.call(call);
    } catch (const std::exception &e) {
        r = Reply::failure(ErrorCode::Internal, QString::fromUtf8(e.what()));
    }
    const QString *token = std::get_if<QString>(&r.result);
    if (r.ok() && (!token || token->isEmpty())) r = Reply::failure(ErrorCode::Internal, QStringLiteral("the server answered no session"));
    if (!r.ok()) {
        if (error) *error = describeFailure(r);
        return false;
    }
    connection->token = *token;

    Reply context = sessionCall(connection, P::Context);
    const auto *packet = std::get_if<wire::DataPacket>(&context.result);
    if (context.ok() && (!packet || packet->rowCount() != 1))
        context = Reply::failure(ErrorCode::Internal, QStringLiteral("the server answered no context of the user"));
    if (!context.ok()) {
        sessionCall(connection, P::SignOut);
        connection->open = false;
        if (error) *error = describeFailure(context);
        return false;
    }

    detail::SessionState &s = session();
    std::lock_guard lock(s.mutex);
    s.connection = std::move(connection);
    s.context = readContext(*packet);
    if (error) error->clear();
    return true;
}

void signOut()
{
    detail::SessionState &s = session();
    std::shared_ptr<Connection> connection;
    {
        std::lock_guard lock(s.mutex);
        connection = std::move(s.connection);
        s.connection.reset();
        s.context = {};
        s.rights.reset();
        s.gradeList.reset();
        s.gradeNames.reset();
        s.classNames.reset();
        s.schoolOutline.reset();
    }
    detail::clearParams();
    if (connection) {
        sessionCall(connection, P::SignOut);
        connection->open = false;
    }
}

bool isSignedIn() { return detail::currentConnection() != nullptr; }

namespace {
template <typename T>
T contextValue(T detail::Context::*member)
{
    detail::SessionState &s = session();
    std::lock_guard lock(s.mutex);
    return s.context.*member;
}
} // namespace

QString schoolId() { return contextValue(&detail::Context::schoolId); }
QString schoolName() { return contextValue(&detail::Context::schoolName); }
QString schoolType() { return contextValue(&detail::Context::schoolType); }
QString userCode() { return contextValue(&detail::Context::userCode); }
QString userName() { return contextValue(&detail::Context::userName); }
QString userId() { return contextValue(&detail::Context::userId); }
QString userRole() { return contextValue(&detail::Context::roles); }
int userType() { return contextValue(&detail::Context::userType); }
bool viewAllGrade() { return contextValue(&detail::Context::viewAllGrade); }
bool viewAllClass() { return contextValue(&detail::Context::viewAllClass); }

wire::DataPacket userRight()
{
    return sessionPacket(&detail::SessionState::rights, P::UserRight);
}
wire::DataPacket gradeList()
{
    return sessionPacket(&detail::SessionState::gradeList, P::GradeList);
}
wire::DataPacket gradeNames()
{
    return sessionPacket(&detail::SessionState::gradeNames, P::GradeNames);
}
wire::DataPacket classNames()
{
    return sessionPacket(&detail::SessionState::classNames, P::ClassNames);
}
wire::DataPacket schoolOutline()
{
    return sessionPacket(&detail::SessionState::schoolOutline, P::SchoolOutline);
}

GradeDataNotifier *gradeDataNotifier()
{
    static GradeDataNotifier notifier;
    return &notifier;
}

void closeGradeData()
{
    {
        detail::SessionState &s = session();
        std::lock_guard lock(s.mutex);
        s.gradeList.reset();
        s.gradeNames.reset();
        s.classNames.reset();
        s.schoolOutline.reset();
    }
    Q_EMIT gradeDataNotifier()->gradeDataClosed();
}

wire::DataPacket recentExams(int limit)
{
    const auto connection = detail::currentConnection();
    if (!connection) return {};
    const Reply r = sessionCall(connection, P::RecentExams, {{qint64(limit), false}});
    if (const auto *p = std::get_if<wire::DataPacket>(&r.result); r.ok() && p) return *p;
    writeLog(QStringLiteral("读取最近考试失败，错误:%1").arg(r.ok() ? QStringLiteral("the server answered no data packet") : r.message));
    return {};
}

QString typeList(const QString &listName)
{
    const auto connection = detail::currentConnection();
    if (!connection) return {};
    const Reply r = sessionCall(connection, P::TypeList, {{listName, false}});
    if (const QString *values = std::get_if<QString>(&r.result); r.ok() && values) return *values;
    writeLog(QStringLiteral("读取列表%1失败，错误:%2").arg(listName, r.ok() ? QStringLiteral("the server answered no text") : r.message));
    return {};
}

QString gradeType(const QString &gradeCode)
{
    if (gradeCode.isEmpty()) return {};
    switch (gradeCode.front().unicode()) {
    case u'0': return QStringLiteral("Primary");
    case u'1': return QStringLiteral("Junior");
    case u'2': return QStringLiteral("Senior");
    default: return {};
    }
}

QList<GradeChoice> gradeChoices()
{
    const wire::DataPacket grades = gradeList();
    const wire::DataPacket names = gradeNames();
    const int fCode = grades.fieldIndex(u"GradeCode"), fYear = grades.fieldIndex(u"InYear"), fCur = grades.fieldIndex(u"bCurGrade");
    const int fKey = names.fieldIndex(u"sKeyId"), fName = names.fieldIndex(u"sValue");
    if (fCode < 0 || fYear < 0) return {};
    QHash<QString, QString> nameOf;
    if (fKey >= 0 && fName >= 0)
        for (qsizetype r = 0; r < names.rowCount(); ++r) nameOf.insert(names.value(r, fKey).toString(), names.value(r, fName).toString());
    const int fSchoolYear = grades.fieldIndex(u"sYear");
    struct Row {
        qint64 year;
        QString code, schoolYear;
        bool current;
    };
    QList<Row> rows;
    QHash<qint64, QString> lastYear; // per intake: the last school year it was in the school
    QSet<qint64> currentIntakes;
    for (qsizetype r = 0; r < grades.rowCount(); ++r) {
        const Row row{grades.value(r, fYear).toLongLong(), grades.value(r, fCode).toString(),
                      fSchoolYear < 0 ? QString() : grades.value(r, fSchoolYear).toString(), fCur < 0 || grades.value(r, fCur).toString() != u"N"};
        rows << row;
        if (row.current) currentIntakes.insert(row.year);
        if (row.schoolYear > lastYear.value(row.year)) lastYear.insert(row.year, row.schoolYear);
    }
    // The current grades from the lowest up; then the intakes that left the school, newest first,
    // under the grades of their last school year (a senior intake ends in two, arts and science).
    // The records an intake leaves behind as it moves up are not offered: its students are no
    // longer there.
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (a.current != b.current) return a.current;
        return a.current ? a.code < b.code : a.year > b.year;
    });
    QList<GradeChoice> choices;
    for (const Row &row : rows) {
        if (!row.current && (currentIntakes.contains(row.year) || lastYear.value(row.year) != row.schoolYear)) continue;
        const QString year = QString::number(row.year);
        const QString name = nameOf.value(row.code, row.code);
        choices.append(
            {year + QStringLiteral("级") + name, QStringList{year, row.code, name, row.current ? QStringLiteral("Y") : QStringLiteral("N")}.join(u',')});
    }
    return choices;
}

// ---- Server objects ------------------------------------------------------------------------------

QString serverObjectName(ServerKind kind)
{
    switch (kind) {
    case ServerKind::StudentQry: return QStringLiteral("StudentQry");
    case ServerKind::StudentUp: return QStringLiteral("StudentUp");
    case ServerKind::AchieveQry: return QStringLiteral("AchieveQry");
    case ServerKind::AchieveUp: return QStringLiteral("AchieveUp");
    case ServerKind::SysQry: return QStringLiteral("SysQry");
    case ServerKind::SysUp: return QStringLiteral("SysUp");
    }
    return {};
}

namespace {

LumekoServer *openServer(ServerKind kind) { return new LumekoServer{kind, detail::currentConnection()}; }

void closeServer(LumekoServer *server, ServerKind kind)
{
    if (!server) return;
    if (server->kind != kind)
        writeLog(QStringLiteral("服务器对象%1由%2的关闭函数释放").arg(serverObjectName(server->kind), serverObjectName(kind)));
    delete server;
}

Reply serverCall(LumekoServer *server, wire::Call &call)
{
    if (!server) return Reply::failure(ErrorCode::BadArguments, QStringLiteral("no server object"));
    call.object = serverObjectName(server->kind);
    return detail::callServer(server->connection, call);
}

} // namespace

ServerError::ServerError(wire::ErrorCode code, const QString &message) : std::runtime_error(message.toStdString()), m_code(code) {}

ServerObject ServerObject::open(ServerKind kind) { return ServerObject(kind, openServer(kind)); }
ServerObject ServerObject::studentQry() { return open(ServerKind::StudentQry); }
ServerObject ServerObject::studentUp() { return open(ServerKind::StudentUp); }
ServerObject ServerObject::achieveQry() { return open(ServerKind::AchieveQry); }
ServerObject ServerObject::achieveUp() { return open(ServerKind::AchieveUp); }
ServerObject ServerObject::sysQry() { return open(ServerKind::SysQry); }
ServerObject ServerObject::sysUp() { return open(ServerKind::SysUp); }

ServerObject::ServerObject(ServerObject &&other) noexcept : m_kind(other.m_kind), m_handle(std::exchange(other.m_handle, nullptr)) {}

ServerObject &ServerObject::operator=(ServerObject &&other) noexcept
{
    if (this != &other) {
        close();
        m_kind = other.m_kind;
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

ServerObject::~ServerObject() { close(); }

void ServerObject::close()
{
    LumekoServer *h = std::exchange(m_handle, nullptr);
    if (!h) return;
    switch (m_kind) {
    case ServerKind::StudentQry: RemoteStudentQryClose(h); break;
    case ServerKind::StudentUp: RemoteStudentUpClose(h); break;
    case ServerKind::AchieveQry: RemoteAchieveQryClose(h); break;
    case ServerKind::AchieveUp: RemoteAchieveUpClose(h); break;
    case ServerKind::SysQry: RemoteSysQryClose(h); break;
    case ServerKind::SysUp: RemoteSysUpClose(h); break;
    }
}

wire::Reply ServerObject::call(const QString &method, QList<wire::Argument> &args)
{
    if (!m_handle) return Reply::failure(ErrorCode::NotSignedIn, QStringLiteral("the server object is closed"));
    // The call gets its own (shared, copy-on-write) list: the server may move packets out of it.
    wire::Call call{{}, method, {}, args};
    qCDebug(lcPub).noquote() << serverObjectName(m_kind) + u'.' + method << args.size() << "arguments";
    Reply r = serverCall(m_handle, call);
    if (!r.ok()) qCDebug(lcPub).noquote() << serverObjectName(m_kind) + u'.' + method << "failed:" << r.message;
    if (r.ok())
        for (auto it = r.refs.cbegin(); it != r.refs.cend(); ++it)
            if (it.key() >= 0 && it.key() < args.size()) args[it.key()].value = it.value();
    return r;
}

wire::Reply ServerObject::call(const QString &method, QList<wire::Argument> &&args)
{
    QList<wire::Argument> own = std::move(args);
    return call(method, own);
}

wire::Reply ServerObject::call(const wire::protocol::Method &method, QList<wire::Argument> &args)
{
    if (method.objectName().compare(serverObjectName(m_kind), Qt::CaseInsensitive) != 0)
        return Reply::failure(ErrorCode::BadArguments, QStringLiteral("%1 is not a method of %2").arg(method.fullName(), serverObjectName(m_kind)));
    // The declaration says which slots go by reference; a wrong call is not sent.
    for (qsizetype i = 0; i < args.size() && i < method.maxArgs(); ++i)
        args[i].byRef = method.args()[size_t(i)].pass != wire::protocol::Pass::In;
    if (const QString wrong = wire::protocol::checkArguments(method, args); !wrong.isEmpty()) return Reply::failure(ErrorCode::BadArguments, wrong);
    return call(method.methodName(), args);
}

wire::Reply ServerObject::call(const wire::protocol::Method &method, QList<wire::Argument> &&args)
{
    QList<wire::Argument> own = std::move(args);
    return call(method, own);
}

wire::Value ServerObject::invoke(const QString &method, QList<wire::Argument> &args)
{
    Reply r = call(method, args);
    if (!r.ok()) throw ServerError(r.error, r.message);
    return std::move(r.result);
}

wire::Value ServerObject::invoke(const QString &method, QList<wire::Argument> &&args)
{
    QList<wire::Argument> own = std::move(args);
    return invoke(method, own);
}

} // namespace lumeko::pub

// ---- The C functions of the server objects ---------------------------------------------------

using lumeko::pub::ServerKind;

extern "C" {

LumekoServer *RemoteStudentQry(void) { return lumeko::pub::openServer(ServerKind::StudentQry); }
LumekoServer *RemoteStudentUp(void) { return lumeko::pub::openServer(ServerKind::StudentUp); }
LumekoServer *RemoteAchieveQry(void) { return lumeko::pub::openServer(ServerKind::AchieveQry); }
LumekoServer *RemoteAchieveUp(void) { return lumeko::pub::openServer(ServerKind::AchieveUp); }
LumekoServer *RemoteSysQry(void) { return lumeko::pub::openServer(ServerKind::SysQry); }
LumekoServer *RemoteSysUp(void) { return lumeko::pub::openServer(ServerKind::SysUp); }

void RemoteStudentQryClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::StudentQry); }
void RemoteStudentUpClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::StudentUp); }
void RemoteAchieveQryClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::AchieveQry); }
void RemoteAchieveUpClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::AchieveUp); }
void RemoteSysQryClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::SysQry); }
void RemoteSysUpClose(LumekoServer *server) { lumeko::pub::closeServer(server, ServerKind::SysUp); }

int LumekoServerCall(LumekoServer *server, const unsigned char *call, size_t size, LumekoBytes *reply)
{
    using lumeko::wire::ErrorCode;
    using lumeko::wire::Reply;
    thread_local QByteArray t_reply;
    Reply r;
    try {
        if (!server) {
            r = Reply::failure(ErrorCode::BadArguments, QStringLiteral("no server object"));
        } else if ((!call && size > 0) || size > size_t(std::numeric_limits<qsizetype>::max())) {
            r = Reply::failure(ErrorCode::Malformed, QStringLiteral("no call bytes"));
        } else {
            lumeko::wire::Call c = lumeko::wire::decodeCall(QByteArrayView(reinterpret_cast<const char *>(call), qsizetype(size)));
            r = lumeko::pub::serverCall(server, c);
        }
    } catch (const lumeko::wire::WireError &e) {
        r = Reply::failure(ErrorCode::Malformed, e.message());
    } catch (const std::exception &e) {
        r = Reply::failure(ErrorCode::Internal, QString::fromUtf8(e.what()));
    }
    try {
        t_reply = lumeko::wire::encodeReply(r);
    } catch (const std::exception &e) {
        r = Reply::failure(ErrorCode::Internal, QStringLiteral("the reply cannot be encoded: ") + QString::fromUtf8(e.what()));
        t_reply = lumeko::wire::encodeReply(r);
    }
    if (reply) *reply = LumekoBytes{reinterpret_cast<const unsigned char *>(t_reply.constData()), size_t(t_reply.size())};
    return int(r.error);
}

void RemoteCloseGradeData(void) { lumeko::pub::closeGradeData(); }

} // extern "C"
