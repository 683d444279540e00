// The score query page, which answers whoever reaches the server: every part of a request is
// outside input. Each input is a few requests, served one after the other to a QueryPage over a
// SQLite school made once (two students with query passwords, a published exam both sat):
//
//   POST /query/api/signin [tls]          the request line; "tls" serves it over HTTPS
//   content-type: application/json        headers, by name; "$T" in a value stands for the
//   cookie: lumeko_query=$T               token of the last sign-in answered in this input
//                                         an empty line, then the body up to the next request
//   {"sno": "2026010101", "password": "xm-2026!"}
//   %%                                    a line of its own between requests
//   WAIT 20                               the server's clock goes on 20 minutes
//
// What must hold for any input:
//  - every answer has a status from 200 to 599, and none is 500 (no request makes the page fail);
//    every one carries a Content-Security-Policy without inline script and X-Content-Type-Options;
//    the API answers JSON objects as application/json; a refusal to try again later says when
//    (Retry-After); a session cookie is HttpOnly and SameSite=Strict, and Secure over HTTPS;
//  - a sign-in succeeds only with the first student's number and password;
//  - the first student's name and scores are in no answer but that of such a sign-in or of a
//    request that carries a session token handed out before; the second student's (whose password
//    no input knows) are in none;
//  - nothing the page is asked changes the students, exams, candidates or scores.
// Sessions and sign-in attempts are cleared before each input and the clock set back, so that an
// input is answered alike however often it runs, and the brake on wrong passwords never carries
// over from one input to the next.

#include "check.h"

#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/query/querypage.h"
#include "server/seed/seed.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>

using namespace lumeko;
using namespace lumeko::server;

namespace {

constexpr char kCodeA[] = "{0000000A-0000-0000-0000-000000000001}";
constexpr char kCodeB[] = "{0000000B-0000-0000-0000-000000000002}";
constexpr char kNumberA[] = "2026010101", kPasswordA[] = "xm-2026!";
constexpr char kNumberB[] = "2026010102";
// Nobody is meant to find it: the second student's data must stay out of every answer.
constexpr char kPasswordB[] = "b7Qe-Vw9#pLk2-Zr4x!Tm8";
// Names and scores that occur nowhere else, so that finding them in an answer means the student's data.
const QByteArray kNameA = QStringLiteral("欧阳明远").toUtf8(), kNameB = QStringLiteral("司马晴川").toUtf8();
const QList<QByteArray> kScoresA{"113.25", "87.5", "200.75"}, kScoresB{"104.75", "91.35", "196.1"};
constexpr int kMostRequests = 12;
const QString kPeer = QStringLiteral("10.0.0.7");
const QDateTime kStart(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC);

QDateTime now = kStart;
Service *service = nullptr;
QueryPage *page = nullptr;

const QStringList kKeptTables{"XJ_Student", "CJ_ExamTotal", "CJ_ExamStudent", "CJ_Mark", "CJ_SubjectItem", "CJ_ExamSubject"};
QList<qint64> keptCounts;

QList<qint64> countRows(Database &db)
{
    QList<qint64> out;
    for (const QString &t : kKeptTables)
        out << db.scalar(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(t)).toLongLong();
    return out;
}

void seedSchool(Database &db)
{
    seedSystemData(db);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO \"XT_School\" (\"SchoolCode\", \"sFullName\", \"sName\", \"sSchoolType\") VALUES ('S1', ?, ?, ?)"),
            {QStringLiteral("示范市第一中学"), QStringLiteral("一中"), QStringLiteral("完全中学")});
    db.exec(QStringLiteral("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\") VALUES ('S1', '001', ?)"), {QStringLiteral("一班")});
    const QString student = QStringLiteral("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", "
                                           "\"iClassNo\", \"iState\", \"sName\", \"sNO\", \"sPass\") VALUES (?, 'S1', '1701', 2026, '001', ?, '00', ?, ?, ?)");
    db.exec(student, {kCodeA, 1, QString::fromUtf8(kNameA), kNumberA, hashPassword(QString::fromLatin1(kPasswordA), PasswordCost::Minimal)});
    db.exec(student, {kCodeB, 2, QString::fromUtf8(kNameB), kNumberB, hashPassword(QString::fromLatin1(kPasswordB), PasswordCost::Minimal)});
    const QString subject = QStringLiteral("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)");
    db.exec(subject, {"001", QStringLiteral("语文")});
    db.exec(subject, {"002", QStringLiteral("数学")});

    // Two exams of the whole grade, published with scores and ranks; the second one B sat alone.
    const QString exam = QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                                        "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"hasMain\", \"hasBase\", \"ModifyRight\", "
                                        "\"dDefDay\", \"dLimitDay\", \"Freeze\", \"WXshowed\", \"Classes\", \"markShowType\") "
                                        "VALUES ('S1', '1701', 2026, ?, ?, ?, 200, 180, 150, 80, ?, ?, 63, ?, ?, ?, ?, 'ALL', '3')");
    const QVariant yes = db.toDb(true, wire::FieldType::Boolean), no = db.toDb(false, wire::FieldType::Boolean);
    const QString wholeGrade = QString(QChar(0x22A5));
    QList<qint64> exams;
    for (const auto &[code, name, day] : {std::tuple("001", "期中考试", QDate(2026, 11, 12)), std::tuple("005", "十二月月考", QDate(2026, 12, 1))}) {
        exams << db.insertReturningId(
            exam,
            {code, wholeGrade, QString::fromUtf8(name), no, no, db.toDb(day, wire::FieldType::Date), db.toDb(day.addDays(14), wire::FieldType::Date), no, yes},
            QStringLiteral("Id"));
        const QString examSubject = QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
                                                   "\"SubjectCode\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") "
                                                   "VALUES ('S1', '1701', 2026, ?, ?, ?, 120, 96, 84, 72, 36)");
        db.exec(examSubject, {code, wholeGrade, "001"});
        db.exec(examSubject, {code, wholeGrade, "002"});
    }
    const QString candidate = QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\", \"FullTotal\", \"FullOrder\") "
                                             "VALUES (?, ?, '001', ?, ?)");
    const QString mark =
        QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\") VALUES (?, ?, ?, ?, ?)");
    db.exec(candidate, {exams[0], kCodeA, kScoresA[2].toDouble(), 1});
    db.exec(mark, {exams[0], kCodeA, "001", kScoresA[0].toDouble(), 1});
    db.exec(mark, {exams[0], kCodeA, "002", kScoresA[1].toDouble(), 2});
    for (qint64 id : exams) {
        db.exec(candidate, {id, kCodeB, kScoresB[2].toDouble(), 2});
        db.exec(mark, {id, kCodeB, "001", kScoresB[0].toDouble(), 2});
        db.exec(mark, {id, kCodeB, "002", kScoresB[1].toDouble(), 1});
    }
    tx.commit();
}

bool holdsAny(const QByteArray &text, const QByteArray &name, const QList<QByteArray> &scores)
{
    if (text.contains(name)) return true;
    for (const QByteArray &s : scores)
        if (text.contains(s)) return true;
    return false;
}

// The body and the header values of an answer, where a student's data could be.
QByteArray answerText(const WebResponse &res)
{
    QByteArray out = res.body;
    for (const auto &[name, value] : res.headers)
        out += '\n' + value;
    return out;
}

QByteArray headerOf(const WebResponse &res, const QByteArray &name)
{
    for (const auto &[n, value] : res.headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

struct Request {
    WebRequest web;
    int waitMinutes = -1; // a WAIT line: no request, the clock goes on
};

QList<Request> cut(const QByteArray &input)
{
    QList<Request> out;
    qsizetype from = 0;
    while (from <= input.size() && out.size() < kMostRequests) {
        qsizetype end = input.indexOf("\n%%\n", from);
        const QByteArray block = input.mid(from, end < 0 ? -1 : end - from);
        from = end < 0 ? input.size() + 1 : end + 4;
        Request r;
        const qsizetype lineEnd = block.indexOf('\n');
        const QList<QByteArray> words = block.left(lineEnd < 0 ? block.size() : lineEnd).trimmed().split(' ');
        if (words.first() == "WAIT") {
            r.waitMinutes = words.size() > 1 ? std::clamp(words[1].toInt(), 0, 7 * 24 * 60) : 0;
            out << r;
            continue;
        }
        r.web.method = words.first();
        QByteArray path = words.size() > 1 ? words[1] : QByteArray();
        // The server hands the page only its own paths: /query and what lies under /query/.
        if (path != "/query" && !path.startsWith("/query/")) path = "/query" + QByteArray(path.startsWith('/') ? "" : "/") + path;
        r.web.path = path;
        r.web.tls = words.size() > 2 && words[2] == "tls";
        r.web.peer = kPeer;
        qsizetype at = lineEnd < 0 ? block.size() : lineEnd + 1;
        while (at < block.size()) {
            qsizetype next = block.indexOf('\n', at);
            if (next < 0) next = block.size();
            const QByteArray line = block.mid(at, next - at);
            at = next + 1;
            if (line.isEmpty()) break;
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) continue;
            r.web.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        r.web.body = at < block.size() ? block.mid(at) : QByteArray();
        out << r;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The page's log of every sign-in would drown the fuzzer's own output; its warnings stay.
    QLoggingCategory::setFilterRules(QStringLiteral("lumeko.*.info=false"));
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    if (!dir.isValid()) fuzz::fail("no temporary folder for the school's database");
    ServerOptions o;
    o.database.backend = Backend::Sqlite;
    o.database.path = dir.filePath(QStringLiteral("school.db"));
    o.passwordCost = PasswordCost::Minimal;
    o.clock = [] { return now; };
    service = new Service(o);
    seedSchool(service->connection());
    page = new QueryPage(*service);
    keptCounts = countRows(service->connection());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Database &db = service->connection();
    db.exec(QStringLiteral("DELETE FROM \"XT_StudentSession\""));
    db.exec(QStringLiteral("DELETE FROM \"XT_SignInFailure\""));
    now = kStart;

    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray token;         // of the last sign-in answered in this input
    QList<QByteArray> handed; // every token handed out in this input
    for (Request &r : cut(input)) {
        if (r.waitMinutes >= 0) {
            now = now.addSecs(qint64(r.waitMinutes) * 60);
            continue;
        }
        for (QByteArray &value : r.web.headers)
            value.replace("$T", token);
        WebResponse res;
        page->serve(r.web, res);
        const QString what = QString::fromLatin1(r.web.method + ' ' + r.web.path.left(100));

        fuzz::require(res.status >= 200 && res.status <= 599, "an answer with a status outside 200 to 599", what);
        fuzz::require(res.status != 500, "a request the page failed on", what);
        const QByteArray csp = headerOf(res, "Content-Security-Policy");
        fuzz::require(csp.contains("default-src 'none'") && csp.contains("script-src 'self'") && !csp.contains("unsafe-inline"),
                      "an answer without the page's Content-Security-Policy", what);
        fuzz::require(headerOf(res, "X-Content-Type-Options") == "nosniff", "an answer without X-Content-Type-Options: nosniff", what);
        if (r.web.path.startsWith("/query/api/")) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(res.body, &error);
            fuzz::require(res.contentType.startsWith("application/json") && error.error == QJsonParseError::NoError && doc.isObject(),
                          "an API answer that is no JSON object", what + QStringLiteral(" answered ") + QString::fromLatin1(res.contentType));
        }
        if (res.status == 429 || res.status == 503) fuzz::require(!headerOf(res, "Retry-After").isEmpty(), "a refusal to try later without Retry-After", what);

        const QByteArray setCookie = headerOf(res, "Set-Cookie");
        if (!setCookie.isEmpty())
            fuzz::require(setCookie.contains("; HttpOnly") && setCookie.contains("; SameSite=Strict") && (!r.web.tls || setCookie.contains("; Secure")),
                          "a session cookie the page's script or another site could reach", QString::fromLatin1(setCookie));

        bool signedIn = false;
        if (r.web.path == "/query/api/signin" && res.status == 200) {
            const QJsonObject body = QJsonDocument::fromJson(r.web.body).object();
            fuzz::require(body.value(QStringLiteral("sno")).toString().trimmed() == QLatin1String(kNumberA) &&
                              body.value(QStringLiteral("password")).toString() == QLatin1String(kPasswordA),
                          "a sign-in succeeded without the first student's number and password", QString::fromUtf8(r.web.body.left(200)));
            const qsizetype at = setCookie.indexOf("lumeko_query=");
            fuzz::require(at == 0, "a sign-in succeeded without a session cookie", QString::fromLatin1(setCookie));
            token = setCookie.mid(13, setCookie.indexOf(';') - 13);
            fuzz::require(token.size() == 64, "a session token that is not 64 hex digits", QString::fromLatin1(token));
            handed << token;
            signedIn = true;
        }

        const QByteArray text = answerText(res);
        fuzz::require(!holdsAny(text, kNameB, kScoresB), "an answer holds the data of a student nobody signed in as", what);
        bool carriesSession = false;
        for (const QByteArray &t : handed)
            carriesSession = carriesSession || r.web.header("cookie").contains(t);
        if (!signedIn && !carriesSession) fuzz::require(!holdsAny(text, kNameA, kScoresA), "an answer without a session holds a student's data", what);
    }
    fuzz::require(countRows(db) == keptCounts, "the page changed the students, exams or scores");
    return 0;
}
