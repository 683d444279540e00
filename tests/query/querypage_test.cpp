// The score query page's own files and answers: what every answer carries for the browser's
// protection, a page without inline script or markup built from text, the secure cookie over
// HTTPS, the display rules' small parts, and the demo school's students who can try it.

#include "queryschool.h"

#include "../http/testcerts.h"

#include "server/core/auth.h"
#include "server/query/scorereport.h"
#include "server/seed/seed.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;

namespace {

QByteArray sourceFile(const char *name)
{
    QFile f(QStringLiteral(LUMEKO_SOURCE_DIR "/server/query/web/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

class QueryPageFiles : public ::testing::Test {
protected:
    void SetUp() override { server = std::make_unique<QueryServer>(Backend::Sqlite); }
    std::unique_ptr<QueryServer> server;
};

TEST_F(QueryPageFiles, ThePageAndItsFilesComeWithTheirTypes)
{
    QueryClient browser = server->client();
    const Answer redirect = browser.get("/query");
    EXPECT_EQ(redirect.status, 301);
    EXPECT_EQ(redirect.header("Location"), "/query/");

    struct File {
        const char *path, *type, *source;
    };
    for (const File &f :
         {File{"/query/", "text/html; charset=utf-8", "index.html"}, File{"/query/index.html", "text/html; charset=utf-8", "index.html"},
          File{"/query/query.css", "text/css; charset=utf-8", "query.css"}, File{"/query/query.js", "text/javascript; charset=utf-8", "query.js"}}) {
        const Answer a = browser.get(f.path);
        EXPECT_EQ(a.status, 200) << f.path;
        EXPECT_EQ(a.header("Content-Type"), f.type) << f.path;
        EXPECT_EQ(QByteArray::fromStdString(a.body), sourceFile(f.source)) << f.path << ": the file as it is in the tree";
    }
    const Answer page = browser.get("/query/");
    EXPECT_NE(page.body.find("学生成绩查询"), std::string::npos);
    EXPECT_NE(page.body.find("<html lang=\"zh-CN\">"), std::string::npos);

    // Nothing else of the tree or the disk is served.
    for (const char *path : {"/query/web/index.html", "/query/../query/index.html", "/query/querypage.cpp", "/query/CMakeLists.txt", "/query/%2e%2e/etc/passwd",
                             "/query/api/", "/query/api/students", "/queryx", "/query.js"}) {
        const Answer a = browser.get(path);
        EXPECT_EQ(a.status, 404) << path;
    }
    EXPECT_EQ(browser.post("/query/", "{}").status, 405);
}

TEST_F(QueryPageFiles, EveryAnswerCarriesTheBrowsersProtection)
{
    QueryClient browser = server->client();
    ASSERT_EQ(browser.signIn(kNumberA, kPasswordA).status, 200);
    for (const char *path :
         {"/query/", "/query/query.js", "/query/query.css", "/query/api/me", "/query/api/exams", "/query/api/exams/42", "/query/nothing", "/query"}) {
        SCOPED_TRACE(path);
        const Answer a = browser.get(path);
        const std::string csp = a.header("Content-Security-Policy");
        EXPECT_NE(csp.find("default-src 'none'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("script-src 'self'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("frame-ancestors 'none'"), std::string::npos) << csp;
        EXPECT_EQ(csp.find("unsafe-inline"), std::string::npos) << csp;
        EXPECT_EQ(csp.find("unsafe-eval"), std::string::npos) << csp;
        EXPECT_EQ(a.header("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(a.header("X-Frame-Options"), "DENY");
        EXPECT_EQ(a.header("Referrer-Policy"), "no-referrer");
        EXPECT_EQ(a.header("Strict-Transport-Security"), "") << "only over HTTPS";
    }
    // A failure in the API answers JSON as well.
    const Answer missing = browser.get("/query/api/nothing");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(missing.error(), "没有这个接口。");
    // The calls beside the page are untouched.
    EXPECT_EQ(browser.get("/health").body, "ok");
}

// The page is built so that the policy holds: scripts and styles only from its files, and text
// from the server only ever set as text.
TEST(QueryPageSource, NoInlineScriptStyleOrMarkupFromText)
{
    const QString html = QString::fromUtf8(sourceFile("index.html"));
    const QRegularExpression script(QStringLiteral("<script([^>]*)>([^<]*)</script>"));
    int scripts = 0;
    for (auto m = script.globalMatch(html); m.hasNext();) {
        const auto s = m.next();
        ++scripts;
        EXPECT_TRUE(s.captured(1).contains(QStringLiteral("src="))) << s.captured(0).toStdString();
        EXPECT_TRUE(s.captured(2).trimmed().isEmpty()) << "no script inline: " << s.captured(0).toStdString();
    }
    EXPECT_EQ(scripts, 1);
    EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("\\son[a-z]+\\s*=")))) << "no inline event handlers";
    EXPECT_FALSE(html.contains(QStringLiteral("style="))) << "no inline styles";
    EXPECT_FALSE(html.contains(QStringLiteral("<style")));
    EXPECT_FALSE(html.contains(QStringLiteral("javascript:")));

    const QString js = QString::fromUtf8(sourceFile("query.js"));
    for (const char *sink :
         {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(", "new Function", "setAttribute('style'", "setAttribute(\"style\""})
        EXPECT_FALSE(js.contains(QString::fromLatin1(sink))) << sink;
    EXPECT_TRUE(js.contains(QStringLiteral("textContent")));
}

TEST(QueryPageTls, TheCookieIsSecureAndTransportStrictOverHttps)
{
    QTemporaryDir dir;
    const lumeko::testing::TestCertificate ca = lumeko::testing::TestCertificate::authority(QStringLiteral("示范市教育局 根证书"));
    const lumeko::testing::TestCertificate cert =
        lumeko::testing::TestCertificate::server(&ca, QStringLiteral("localhost"), QStringLiteral("DNS:localhost,IP:127.0.0.1"));
    ASSERT_TRUE(lumeko::testing::writeFile(dir.filePath("server.crt"), cert.certificatePem()));
    ASSERT_TRUE(lumeko::testing::writeFile(dir.filePath("server.key"), cert.keyPem()));
    HttpServerOptions options;
    options.tlsCertificate = dir.filePath("server.crt");
    options.tlsKey = dir.filePath("server.key");
    QueryServer server(Backend::Sqlite, options);
    QueryClient browser = server.client();
    const Answer a = browser.signIn(kNumberA, kPasswordA);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_NE(browser.lastSetCookie.find("; Secure"), std::string::npos) << browser.lastSetCookie;
    EXPECT_EQ(a.header("Strict-Transport-Security"), "max-age=31536000");
    // The page's own origin over HTTPS is https://.
    const std::string body = "{}";
    EXPECT_EQ(browser.post("/query/api/signout", body, {{"Origin", "http://127.0.0.1:" + std::to_string(server.port())}}).status, 403);
    EXPECT_EQ(browser.get("/query/api/me").status, 200);
    EXPECT_EQ(browser.post("/query/api/signout", body, {{"Origin", "https://127.0.0.1:" + std::to_string(server.port())}}).status, 200);
    EXPECT_NE(browser.lastSetCookie.find("; Secure"), std::string::npos) << "clearing it too";
    EXPECT_EQ(browser.get("/query/api/me").status, 401);
}

TEST(QueryDisplay, ScoresAsThePagesWriteThemAndDisplayTypesByKey)
{
    EXPECT_EQ(scoreText(112.5), "112.5");
    EXPECT_EQ(scoreText(90), "90");
    EXPECT_EQ(scoreText(0), "0");
    EXPECT_EQ(scoreText(87.25), "87.25");
    EXPECT_EQ(scoreText(99.999), "100");
    EXPECT_EQ(scoreText(-0.001), "0");
    EXPECT_EQ(scoreText(633.1), "633.1");

    EXPECT_EQ(showTypeOf(""), ShowType::Scores) << "an exam without one shows scores, as new exams do";
    EXPECT_EQ(showTypeOf(" 2 "), ShowType::ScoresAndLevels);
    EXPECT_EQ(showTypeOf("4"), ShowType::Nothing);
    EXPECT_EQ(showTypeOf("5"), ShowType::Nothing) << "a type this server does not know shows nothing";
    EXPECT_EQ(showTypeOf("-1"), ShowType::Nothing);
    EXPECT_EQ(showTypeOf("显示分数"), ShowType::Nothing);
    EXPECT_TRUE(showsScores(ShowType::ScoresAndRanks) && showsRanks(ShowType::ScoresAndRanks) && !showsLevels(ShowType::ScoresAndRanks));
    EXPECT_TRUE(showsLevels(ShowType::Levels) && !showsScores(ShowType::Levels));
}

// The demo school's students sign in to the page and read the exam it published.
class DemoStudents : public ::testing::TestWithParam<Backend> {};

TEST_P(DemoStudents, SignInAndReadThePublishedExam)
{
    LUMEKO_REQUIRE_BACKEND(GetParam());
    ServiceFixture fixture(GetParam());
    DemoOptions demo;
    demo.scale = 0.05;
    demo.today = QDate(2026, 12, 6);
    demo.schoolId = QStringLiteral("440300009");
    demo.hashPassword = [](const QString &pw) { return hashPassword(pw, PasswordCost::Minimal); };
    QList<DemoStudent> students;
    seedDemoSchool(fixture.db(), demo, &students);
    ASSERT_EQ(students.size(), 3);

    Database &db = fixture.db();
    const wire::DataPacket published = db.select("SELECT \"Id\", \"markShowType\", \"GradeCode\", \"Freeze\" FROM \"CJ_ExamTotal\" WHERE \"WXshowed\" = ?",
                                                 {db.toDb(true, wire::FieldType::Boolean)},
                                                 {{"Id", wire::FieldType::Integer, 0, 0},
                                                  {"markShowType", wire::FieldType::Text, 0, 0},
                                                  {"GradeCode", wire::FieldType::Text, 0, 0},
                                                  {"Freeze", wire::FieldType::Boolean, 0, 0}});
    ASSERT_EQ(published.rowCount(), 1) << "one exam is published";
    EXPECT_EQ(published.value(0, 1).toString(), "3");
    EXPECT_EQ(published.value(0, 2).toString(), "1701") << "the youngest junior grade, as the demo teachers'";
    EXPECT_FALSE(published.value(0, 3).toBool());
    const qint64 exam = published.value(0, 0).toLongLong();

    QueryPage page(fixture.service());
    HttpServer http(fixture.service());
    http.addWebHandler(QStringLiteral("/query"), page);
    ASSERT_TRUE(http.listen());
    QStringList numbers;
    for (const DemoStudent &s : students) {
        SCOPED_TRACE(s.sno.toStdString());
        numbers << s.sno;
        EXPECT_FALSE(s.description.isEmpty());
        QueryClient browser(QStringLiteral("127.0.0.1"), http.port());
        const Answer in = browser.signIn(s.sno, s.password);
        ASSERT_EQ(in.status, 200) << in.body;
        EXPECT_EQ(in.json.value("student").toObject().value("name").toString(), s.name);
        const QJsonArray exams = browser.get("/query/api/exams").json.value("exams").toArray();
        ASSERT_EQ(exams.size(), 1);
        EXPECT_EQ(qint64(exams.first().toObject().value("id").toDouble()), exam);
        const Answer report = browser.get("/query/api/exams/" + std::to_string(exam));
        ASSERT_EQ(report.status, 200);
        // The whole total as stored for him.
        const QString code = db.scalar("SELECT \"sCode\" FROM \"XJ_Student\" WHERE \"sNO\" = ? AND \"SchoolCode\" = ?", {s.sno, demo.schoolId}).toString();
        const QVariant total = db.scalar("SELECT \"FullTotal\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? AND \"StudentCode\" = ?", {exam, code});
        EXPECT_EQ(linesByName(report)["全总分"].value("score").toString(), scoreText(total.toDouble()));
    }
    numbers.removeDuplicates();
    EXPECT_EQ(numbers.size(), 3);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM \"XJ_Student\" WHERE \"sPass\" IS NOT NULL AND \"SchoolCode\" = ?", {demo.schoolId}).toLongLong(), 3)
        << "only the three have passwords";
    http.stop();
}

INSTANTIATE_TEST_SUITE_P(Backends, DemoStudents, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
