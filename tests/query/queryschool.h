#pragma once
// The score query page over real sockets: the fixture school (tests/server) with students who
// have passwords and exams in every state a school leaves them, a QueryPage on an HttpServer, and
// a client that keeps the session cookie as a browser would.

#include "../server/fixtureschool.h"

#include "server/http/httpserver.h"
#include "server/query/querypage.h"

#include <QJsonArray>
#include <QJsonObject>

#include <httplib.h>

#include <map>
#include <memory>
#include <string>

namespace lumeko::server::testing {

// Students: A and B in class 001 and C (no password) in class 002 of grade 1701, intake 2026, of
// school S1; D has A's number in school S2; E is of the intake 2025 of S1.
inline constexpr char kStudentA[] = "{0000000A-0000-0000-0000-000000000001}";
inline constexpr char kStudentB[] = "{0000000B-0000-0000-0000-000000000002}";
inline constexpr char kStudentC[] = "{0000000C-0000-0000-0000-000000000003}";
inline constexpr char kStudentD[] = "{0000000D-0000-0000-0000-000000000004}";
inline constexpr char kStudentE[] = "{0000000E-0000-0000-0000-000000000005}";
inline constexpr char kNumberA[] = "2026010101", kPasswordA[] = "xm-2026!";
inline constexpr char kNumberB[] = "2026010102", kPasswordB[] = "xh-2026!";
inline constexpr char kNumberC[] = "2026010201";
inline constexpr char kPasswordD[] = "s2-2026!";
inline constexpr char kNumberE[] = "2025010101", kPasswordE[] = "e-2025!";

// The exams, by the ids the database gave them.
struct QueryExams {
    qint64 midterm = 0;     // 期中考试, published (scores and ranks), frozen; A, B, C sat it
    qint64 monthly = 0;     // 十月月考, published (scores); A and B
    qint64 final = 0;       // 期末考试, not published; A and B
    qint64 unit = 0;        // a teacher's unit exam, marked published; A
    qint64 forB = 0;        // 十二月月考, published; B only
    qint64 otherSchool = 0; // of S2, published; D
    qint64 otherIntake = 0; // of the intake 2025, published; E
};
QueryExams seedQuerySchool(Database &db);

// One answer as the client saw it.
struct Answer {
    int status = 0;
    httplib::Headers headers;
    std::string body;
    QJsonObject json; // the body, when it is a JSON object

    std::string header(const char *name) const;
    QString error() const { return json.value(QStringLiteral("error")).toString(); }
};

// A browser's side of the page: it keeps the cookie the server sets and sends it back.
class QueryClient {
public:
    QueryClient(const QString &host, int port, bool tls = false);

    Answer get(const std::string &path, const httplib::Headers &extra = {});
    Answer post(const std::string &path, const std::string &body, const httplib::Headers &extra = {}, const char *contentType = "application/json");
    Answer signIn(const QString &number, const QString &password);
    Answer signOut() { return post("/query/api/signout", "{}"); }

    std::string cookie;        // "lumeko_query=…", as last set; empty when cleared
    std::string lastSetCookie; // the whole Set-Cookie line of the last answer that had one

private:
    Answer keep(const httplib::Result &r);
    std::unique_ptr<httplib::Client> m_client;
};

// A service over the fixture database (with the test's clock), the query page on an HTTP server
// with a few workers (each holds a database connection).
class QueryServer {
public:
    explicit QueryServer(Backend backend, HttpServerOptions options = {}, int workerThreads = 4);
    ~QueryServer();

    ServiceFixture fixture;
    QueryExams exams;
    QueryClient client() const { return QueryClient(QStringLiteral("127.0.0.1"), m_http->port(), m_http->options().tls()); }
    Database &db() { return fixture.db(); }
    int port() const { return m_http->port(); }
    void advance(int seconds) { fixture.now = fixture.now.addSecs(seconds); }

private:
    std::unique_ptr<QueryPage> m_page;
    std::unique_ptr<HttpServer> m_http;
};

// The report's lines by name ("语文", "全总分").
std::map<QString, QJsonObject> linesByName(const Answer &report);

} // namespace lumeko::server::testing
