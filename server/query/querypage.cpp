#include "server/query/querypage.h"

#include "server/query/scorereport.h"
#include "server/query/studentaccess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

namespace lumeko::server {

namespace {

Q_LOGGING_CATEGORY(lcQuery, "lumeko.query", QtInfoMsg)

// What every answer of the page carries. Scripts and styles come from the page's own files only,
// never inline; nothing may frame it, and no address leaks to other sites.
void secure(WebResponse &res, bool tls)
{
    res.addHeader("Content-Security-Policy", "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
                                             "base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    res.addHeader("X-Content-Type-Options", "nosniff");
    res.addHeader("X-Frame-Options", "DENY");
    res.addHeader("Referrer-Policy", "no-referrer");
    res.addHeader("Cross-Origin-Opener-Policy", "same-origin");
    res.addHeader("Cross-Origin-Resource-Policy", "same-origin");
    if (tls) res.addHeader("Strict-Transport-Security", "max-age=31536000");
}

void json(WebResponse &res, int status, const QJsonObject &body)
{
    res.status = status;
    res.contentType = "application/json; charset=utf-8";
    res.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    res.addHeader("Cache-Control", "no-store");
}

void refuse(WebResponse &res, int status, const QString &message, QJsonObject more = {})
{
    more.insert(QStringLiteral("error"), message);
    json(res, status, more);
}

QString tokenOf(const WebRequest &req)
{
    const QByteArray name = QByteArray(QueryPage::kCookie) + '=';
    for (const QByteArray &part : req.header("cookie").split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(name)) return QString::fromLatin1(p.mid(name.size()));
    }
    return {};
}

QByteArray cookie(const QString &token, bool tls)
{
    QByteArray c = QByteArray(QueryPage::kCookie) + '=' + token.toLatin1() + "; Path=/query/; HttpOnly; SameSite=Strict";
    if (token.isEmpty()) c += "; Max-Age=0";
    if (tls) c += "; Secure";
    return c;
}

// A request that changes something must come from the page itself: as JSON (which a form of
// another site cannot send without the browser asking first) and, where the browser says where
// it comes from, from this origin. The refusal's status, or 0.
int foreignRequest(const WebRequest &req, WebResponse &res)
{
    if (!req.header("content-type").trimmed().toLower().startsWith("application/json")) {
        refuse(res, 415, QStringLiteral("请求格式不正确。"));
        return 415;
    }
    const QByteArray origin = req.header("origin"), site = req.header("sec-fetch-site");
    const QByteArray own = QByteArray(req.tls ? "https://" : "http://") + req.header("host");
    if ((!origin.isEmpty() && origin != own) || (!site.isEmpty() && site != "same-origin" && site != "none")) {
        refuse(res, 403, QStringLiteral("请求来源不被接受。"));
        return 403;
    }
    return 0;
}

QJsonObject headingJson(const StudentHeading &h)
{
    return {{QStringLiteral("name"), h.name},
            {QStringLiteral("sno"), h.sno},
            {QStringLiteral("school"), h.school},
            {QStringLiteral("grade"), h.grade},
            {QStringLiteral("className"), h.className}};
}

QJsonObject examJson(const PublishedExam &e)
{
    return {{QStringLiteral("id"), double(e.id)},
            {QStringLiteral("name"), e.name},
            {QStringLiteral("date"), e.date.isValid() ? e.date.toString(Qt::ISODate) : QString()},
            {QStringLiteral("grade"), e.grade}};
}

QJsonArray linesJson(const QList<ReportLine> &lines)
{
    QJsonArray out;
    for (const ReportLine &l : lines) {
        QJsonObject o{{QStringLiteral("name"), l.name}};
        if (l.score) o.insert(QStringLiteral("score"), *l.score);
        if (l.level) o.insert(QStringLiteral("level"), *l.level);
        if (l.letter) o.insert(QStringLiteral("letter"), *l.letter);
        if (l.rank) o.insert(QStringLiteral("rank"), *l.rank);
        out.append(o);
    }
    return out;
}

QJsonObject reportJson(const ExamReport &r)
{
    QJsonObject exam = examJson(r.exam);
    exam.insert(QStringLiteral("show"), int(r.show));
    exam.insert(QStringLiteral("showName"), r.showName);
    exam.insert(QStringLiteral("candidates"), r.candidates);
    exam.insert(QStringLiteral("shows"), QJsonObject{{QStringLiteral("score"), showsScores(r.show)},
                                                     {QStringLiteral("level"), showsLevels(r.show)},
                                                     {QStringLiteral("rank"), showsRanks(r.show)}});
    QJsonObject out{{QStringLiteral("exam"), exam}, {QStringLiteral("subjects"), linesJson(r.subjects)}, {QStringLiteral("totals"), linesJson(r.totals)}};
    if (r.show == ShowType::Nothing) out.insert(QStringLiteral("notice"), QStringLiteral("学校未公开本次考试的成绩。"));
    return out;
}

int minutesOf(int seconds)
{
    return (seconds + 59) / 60;
}

// The page's own files, built into the library.
bool asset(const QByteArray &name, WebResponse &res)
{
    static const QList<std::pair<QByteArray, QByteArray>> files = {
        {"index.html", "text/html; charset=utf-8"}, {"query.css", "text/css; charset=utf-8"}, {"query.js", "text/javascript; charset=utf-8"}};
    for (const auto &[file, type] : files) {
        if (file != name) continue;
        QFile f(QStringLiteral(":/query/") + QString::fromLatin1(file));
        if (!f.open(QIODevice::ReadOnly)) return false;
        res.status = 200;
        res.contentType = type;
        res.body = f.readAll();
        res.addHeader("Cache-Control", "no-cache");
        return true;
    }
    return false;
}

} // namespace

void QueryPage::serve(const WebRequest &request, WebResponse &response)
{
    secure(response, request.tls);
    try {
        route(request, response);
    } catch (const StorageError &e) {
        qCWarning(lcQuery).noquote() << request.method << request.path << e.message();
        // The next request opens a new connection, in case this one broke (the database restarted).
        m_service.dropConnection();
        refuse(response, 500, QStringLiteral("服务器暂时无法查询，请稍后再试。"));
    } catch (const std::exception &e) {
        qCWarning(lcQuery).noquote() << request.method << request.path << e.what();
        refuse(response, 500, QStringLiteral("服务器暂时无法查询，请稍后再试。"));
    }
}

void QueryPage::route(const WebRequest &request, WebResponse &response)
{
    const QByteArray prefix(kPrefix);
    const QByteArray rest = request.path.mid(prefix.size());
    const bool get = request.method == "GET" || request.method == "HEAD", post = request.method == "POST";
    if (rest.isEmpty()) {
        response.status = 301;
        response.addHeader("Location", prefix + '/');
        response.body = "/query/\n";
        return;
    }
    if (!rest.startsWith("/api/")) {
        const QByteArray file = rest == "/" ? QByteArray("index.html") : rest.mid(1);
        if (!get) return refuse(response, 405, QStringLiteral("不支持的请求方式。"));
        if (!asset(file, response)) {
            response.status = 404;
            response.contentType = "text/plain; charset=utf-8";
            response.body = QStringLiteral("没有这个页面。\n").toUtf8();
        }
        return;
    }

    const QByteArray api = rest.mid(5);
    if (api == "signin" || api == "signout") {
        if (!post) return refuse(response, 405, QStringLiteral("不支持的请求方式。"));
        if (request.body.size() > kMaxBodyBytes) return refuse(response, 413, QStringLiteral("请求内容过长。"));
        if (foreignRequest(request, response) != 0) return;
        return api == "signin" ? signIn(request, response) : signOut(request, response);
    }
    const bool known = api == "me" || api == "exams" || api.startsWith("exams/");
    if (!known) return refuse(response, 404, QStringLiteral("没有这个接口。"));
    if (!get) return refuse(response, 405, QStringLiteral("不支持的请求方式。"));

    // Whose data: the session's student, and nobody else.
    Database &db = m_service.connection();
    StudentAccess access(db, m_service.environment().now());
    const std::optional<QueryStudent> student = access.resolve(tokenOf(request));
    if (!student) return refuse(response, 401, QStringLiteral("请先登录。"), {{QStringLiteral("signedIn"), false}});
    response.user = QStringLiteral("student:") + student->sno;

    if (api == "me") return json(response, 200, {{QStringLiteral("student"), headingJson(studentHeading(db, *student))}});
    if (api == "exams") {
        QJsonArray exams;
        for (const PublishedExam &e : publishedExams(db, *student))
            exams.append(examJson(e));
        return json(response, 200, {{QStringLiteral("exams"), exams}});
    }
    bool ok = false;
    const QByteArray idText = api.mid(6);
    const qint64 id = idText.size() <= 18 ? idText.toLongLong(&ok) : 0;
    const std::optional<ExamReport> report = ok && id > 0 && idText == QByteArray::number(id) ? examReport(db, *student, id) : std::nullopt;
    if (!report) return refuse(response, 404, QStringLiteral("没有找到这次考试的成绩。"));
    json(response, 200, reportJson(*report));
}

void QueryPage::signIn(const WebRequest &request, WebResponse &response)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body, &error);
    const QJsonValue sno = doc.object().value(QStringLiteral("sno")), password = doc.object().value(QStringLiteral("password"));
    if (error.error != QJsonParseError::NoError || !doc.isObject() || !sno.isString() || !password.isString() || sno.toString().trimmed().isEmpty() ||
        password.toString().isEmpty())
        return refuse(response, 400, QStringLiteral("请输入学号和密码。"));
    if (sno.toString().size() > 30 || password.toString().size() > 200) return refuse(response, 400, QStringLiteral("学号或密码过长。"));

    Database &db = m_service.connection();
    StudentAccess access(db, m_service.environment().now(), m_service.environment().options().passwordCost);
    // A browser that signs in again leaves its earlier session behind; it ends here.
    access.signOut(tokenOf(request));
    const StudentSignIn result = access.signIn(sno.toString(), password.toString(), request.peer);
    response.user = QStringLiteral("student:") + sno.toString().trimmed();
    switch (result.outcome) {
    case StudentSignIn::Outcome::SignedIn:
        response.addHeader("Set-Cookie", cookie(result.token, request.tls));
        qCInfo(lcQuery).noquote() << "student" << result.student.sno << "of" << result.student.school << "signed in from" << request.peer;
        return json(response, 200, {{QStringLiteral("student"), headingJson(studentHeading(db, result.student))}});
    case StudentSignIn::Outcome::Wrong:
        return refuse(response, 401,
                      QStringLiteral("学号或密码错误。再错%1次，该账号将被锁定%2分钟。").arg(result.attemptsLeft).arg(StudentAccess::kLockSeconds / 60),
                      {{QStringLiteral("attemptsLeft"), result.attemptsLeft}});
    case StudentSignIn::Outcome::Locked:
        qCInfo(lcQuery).noquote() << "student number" << sno.toString().trimmed() << "is locked; sign-in from" << request.peer << "refused";
        response.addHeader("Retry-After", QByteArray::number(result.secondsLeft));
        return refuse(response, 429, QStringLiteral("密码错误次数过多，该账号已被锁定，请%1分钟后再试。").arg(minutesOf(result.secondsLeft)),
                      {{QStringLiteral("locked"), true}, {QStringLiteral("secondsLeft"), result.secondsLeft}});
    case StudentSignIn::Outcome::Busy:
        qCWarning(lcQuery).noquote() << "the sign-in of student number" << sno.toString().trimmed() << "from" << request.peer
                                     << "found no turn to check its password";
        response.addHeader("Retry-After", "5");
        return refuse(response, 503, QStringLiteral("服务器繁忙，请稍后再试。"));
    case StudentSignIn::Outcome::AddressHeldOff:
        qCInfo(lcQuery).noquote() << "address" << request.peer << "is held off after too many wrong passwords";
        response.addHeader("Retry-After", QByteArray::number(result.secondsLeft));
        return refuse(response, 429, QStringLiteral("登录尝试过于频繁，请%1分钟后再试。").arg(minutesOf(result.secondsLeft)),
                      {{QStringLiteral("secondsLeft"), result.secondsLeft}});
    }
}

void QueryPage::signOut(const WebRequest &request, WebResponse &response)
{
    StudentAccess(m_service.connection(), m_service.environment().now()).signOut(tokenOf(request));
    response.addHeader("Set-Cookie", cookie(QString(), request.tls));
    json(response, 200, {{QStringLiteral("signedIn"), false}});
}

} // namespace lumeko::server
