// Signing in to the score query page: the student number and the register's password, the lock
// after five wrong passwords and its end fifteen minutes later by the server's clock, sessions that
// end on sign-out, after half an hour without a request and when the password is set anew, and
// requests from other sites refused.

#include "queryschool.h"

#include "server/core/auth.h"
#include "server/query/studentaccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;

namespace {

class QueryAccess : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        server = std::make_unique<QueryServer>(GetParam());
    }
    std::unique_ptr<QueryServer> server;
};

TEST_P(QueryAccess, TheRightPasswordSignsInAndSetsAProtectedCookie)
{
    QueryClient browser = server->client();
    EXPECT_EQ(browser.get("/query/api/me").status, 401) << "nobody is signed in yet";

    const Answer a = browser.signIn(kNumberA, kPasswordA);
    ASSERT_EQ(a.status, 200) << a.body;
    const QJsonObject student = a.json.value("student").toObject();
    EXPECT_EQ(student.value("name").toString(), "王小明");
    EXPECT_EQ(student.value("sno").toString(), kNumberA);
    EXPECT_EQ(student.value("school").toString(), "示范市第一中学");
    EXPECT_EQ(student.value("grade").toString(), "七年级");
    EXPECT_EQ(student.value("className").toString(), "七(1)班") << "the grade's name of the class";

    // The cookie: a fresh random token, out of reach of scripts and of other sites; not Secure
    // over plain HTTP (the browser would not send it back).
    ASSERT_FALSE(browser.cookie.empty());
    EXPECT_EQ(browser.cookie.size(), std::string("lumeko_query=").size() + 64);
    for (const char *part : {"; HttpOnly", "; SameSite=Strict", "; Path=/query/"})
        EXPECT_NE(browser.lastSetCookie.find(part), std::string::npos) << part << " in " << browser.lastSetCookie;
    EXPECT_EQ(browser.lastSetCookie.find("Secure"), std::string::npos);
    EXPECT_EQ(server->db().scalar("SELECT count(*) FROM \"XT_StudentSession\" WHERE \"StudentCode\" = ?", {kStudentA}).toLongLong(), 1);
    EXPECT_EQ(server->db()
                  .scalar("SELECT count(*) FROM \"XT_StudentSession\" WHERE \"sTokenHash\" = ?",
                          {QString::fromStdString(browser.cookie.substr(browser.cookie.find('=') + 1))})
                  .toLongLong(),
              0)
        << "only a hash of the token is stored";

    const Answer me = browser.get("/query/api/me");
    ASSERT_EQ(me.status, 200);
    EXPECT_EQ(me.json.value("student").toObject().value("name").toString(), "王小明");

    // Signing in again in the same browser ends the earlier session.
    const std::string first = browser.cookie;
    ASSERT_EQ(browser.signIn(kNumberB, kPasswordB).status, 200);
    EXPECT_EQ(browser.get("/query/api/me").json.value("student").toObject().value("name").toString(), "李小红");
    QueryClient stale = server->client();
    stale.cookie = first;
    EXPECT_EQ(stale.get("/query/api/me").status, 401);
}

TEST_P(QueryAccess, WrongPasswordsUnknownNumbersAndStudentsWithoutAPasswordAreRefusedAlike)
{
    QueryClient browser = server->client();
    Answer a = browser.signIn(kNumberA, "xm-2025!");
    EXPECT_EQ(a.status, 401);
    EXPECT_TRUE(a.error().startsWith("学号或密码错误")) << a.error().toStdString();
    EXPECT_TRUE(a.error().contains("再错4次")) << a.error().toStdString();
    EXPECT_EQ(a.json.value("attemptsLeft").toInt(), 4);
    EXPECT_TRUE(browser.cookie.empty()) << "no session for a wrong password";

    // An unknown number and a student the register gave no password answer the same words, so
    // that nobody learns which numbers exist.
    for (const char *number : {"9999999999", kNumberC}) {
        a = browser.signIn(QString::fromLatin1(number), "anything");
        EXPECT_EQ(a.status, 401) << number;
        EXPECT_TRUE(a.error().startsWith("学号或密码错误")) << number;
    }
    EXPECT_EQ(browser.signIn(kNumberC, "").status, 400) << "an empty password is no try at all";

    // A sign-in forgets the wrong passwords before it.
    EXPECT_EQ(browser.signIn(kNumberB, "nope").json.value("attemptsLeft").toInt(), 4);
    EXPECT_EQ(browser.signIn(kNumberB, "nope").json.value("attemptsLeft").toInt(), 3);
    ASSERT_EQ(browser.signIn(kNumberB, kPasswordB).status, 200);
    EXPECT_EQ(browser.signIn(kNumberB, "nope").json.value("attemptsLeft").toInt(), 4);
    browser.signOut();

    // Numbers are compared as given, never spliced into the SQL.
    a = browser.signIn("' OR '1'='1", "' OR '1'='1");
    EXPECT_EQ(a.status, 401);
    a = browser.signIn(QStringLiteral("%1' --").arg(kNumberA), kPasswordA);
    EXPECT_EQ(a.status, 401);
    EXPECT_EQ(server->db().scalar("SELECT count(*) FROM \"XT_StudentSession\"").toLongLong(), 0) << "signed out, and nobody else signed in";

    // Malformed requests.
    EXPECT_EQ(browser.post("/query/api/signin", "{\"sno\": 2026010101, \"password\": \"x\"}").status, 400) << "the number must be text";
    EXPECT_EQ(browser.post("/query/api/signin", "not json").status, 400);
    EXPECT_EQ(browser.post("/query/api/signin", "[]").status, 400);
    EXPECT_EQ(browser.signIn(QString(31, u'1'), "x").status, 400) << "longer than any student number";
    const Answer tooLong = browser.post("/query/api/signin", std::string(5000, ' '));
    EXPECT_EQ(tooLong.status, 413);
}

TEST_P(QueryAccess, OneNumberInTwoSchoolsSignsInTheStudentWhosePasswordItIs)
{
    QueryClient a = server->client(), d = server->client();
    ASSERT_EQ(a.signIn(kNumberA, kPasswordA).status, 200);
    const Answer other = d.signIn(kNumberA, kPasswordD);
    ASSERT_EQ(other.status, 200);
    EXPECT_EQ(other.json.value("student").toObject().value("name").toString(), "钱同号");
    EXPECT_EQ(other.json.value("student").toObject().value("school").toString(), "示范市第二中学");
    EXPECT_EQ(a.get("/query/api/me").json.value("student").toObject().value("name").toString(), "王小明");
}

TEST_P(QueryAccess, FiveWrongPasswordsLockTheNumberForFifteenMinutes)
{
    QueryClient browser = server->client();
    for (int attempt = 1; attempt <= 4; ++attempt) {
        const Answer a = browser.signIn(kNumberA, QStringLiteral("guess-%1").arg(attempt));
        ASSERT_EQ(a.status, 401);
        EXPECT_EQ(a.json.value("attemptsLeft").toInt(), 5 - attempt);
        server->advance(30);
    }
    Answer a = browser.signIn(kNumberA, "guess-5");
    EXPECT_EQ(a.status, 429);
    EXPECT_TRUE(a.json.value("locked").toBool());
    EXPECT_TRUE(a.error().contains("锁定")) << a.error().toStdString();
    EXPECT_TRUE(a.error().contains("15分钟")) << a.error().toStdString();
    EXPECT_EQ(a.header("Retry-After"), "900");

    // While locked even the right password is refused, and the wait counts down by the server's clock.
    server->advance(60);
    a = browser.signIn(kNumberA, kPasswordA);
    EXPECT_EQ(a.status, 429);
    EXPECT_TRUE(a.error().contains("14分钟")) << a.error().toStdString();
    EXPECT_EQ(a.header("Retry-After"), "840");
    EXPECT_TRUE(browser.cookie.empty());
    server->advance(14 * 60 - 1);
    EXPECT_EQ(browser.signIn(kNumberA, kPasswordA).status, 429) << "one second before the lock ends";

    // The lock is the number's only: a classmate signs in meanwhile.
    QueryClient classmate = server->client();
    EXPECT_EQ(classmate.signIn(kNumberB, kPasswordB).status, 200);

    server->advance(1);
    a = browser.signIn(kNumberA, kPasswordA);
    ASSERT_EQ(a.status, 200) << a.body;
    // A sign-in clears the count: the next wrong password starts from five again.
    QueryClient again = server->client();
    EXPECT_EQ(again.signIn(kNumberA, "wrong").json.value("attemptsLeft").toInt(), 4);
}

TEST_P(QueryAccess, ALockThatRanOutAndWrongPasswordsSpreadOverMoreThanFifteenMinutesStartAfresh)
{
    QueryClient browser = server->client();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(browser.signIn(kNumberA, "wrong").status, 401);
    server->advance(15 * 60);
    EXPECT_EQ(browser.signIn(kNumberA, "wrong").json.value("attemptsLeft").toInt(), 4) << "the earlier four are forgotten";

    for (int i = 0; i < 4; ++i)
        browser.signIn(kNumberA, "wrong");
    ASSERT_EQ(browser.signIn(kNumberA, "wrong").status, 429);
    server->advance(15 * 60);
    const Answer a = browser.signIn(kNumberA, "wrong");
    EXPECT_EQ(a.status, 401) << "after the lock a wrong password counts as the first";
    EXPECT_EQ(a.json.value("attemptsLeft").toInt(), 4);
}

TEST_P(QueryAccess, AnAddressGuessingOverManyNumbersIsHeldOff)
{
    QueryClient browser = server->client();
    for (int i = 0; i < StudentAccess::kAddressAttempts; ++i) {
        // Each number is tried once: none of them comes near its own lock.
        ASSERT_EQ(browser.signIn(QStringLiteral("30000%1").arg(i), "guess").status, 401) << i;
    }
    Answer a = browser.signIn(kNumberA, kPasswordA);
    EXPECT_EQ(a.status, 429) << "the address is held off, whichever number it tries";
    EXPECT_TRUE(a.error().contains("过于频繁")) << a.error().toStdString();
    EXPECT_FALSE(a.json.value("locked").toBool()) << "no number is locked by it";
    server->advance(StudentAccess::kAddressHoldSeconds);
    EXPECT_EQ(browser.signIn(kNumberA, kPasswordA).status, 200);
}

// The evening an exam is published, a school's students behind one NAT address look up their
// scores together. Their sign-ins in flight are no failures of the address: counted as such, the
// fifty-first blocked the whole school for a quarter of an hour.
TEST(QueryAccessAtOnce, StudentsSigningInTogetherFromOneAddressAllGetIn)
{
    constexpr int kStudents = StudentAccess::kAddressAttempts + 10;
    LUMEKO_REQUIRE_BACKEND(Backend::Sqlite);
    QueryServer server(Backend::Sqlite, {}, kStudents + 4);
    const QString hash = hashPassword(QStringLiteral("pw"), PasswordCost::Minimal);
    for (int i = 0; i < kStudents; ++i)
        server.db().exec(
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
            "\"iState\", \"sName\", \"sNO\", \"sPass\") VALUES (?, 'S1', '1701', 2026, '001', ?, '00', ?, ?, ?)",
            {QStringLiteral("{NAT-%1}").arg(i), 10 + i, QStringLiteral("学生%1").arg(i), QStringLiteral("30270%1").arg(i, 3, 10, QChar(u'0')), hash});
    // The checks take turns, one at a time here, and the only turn is held a while: every
    // sign-in is in flight, waiting for its check, at the same time.
    const int atOnce = PasswordChecks::atOnce();
    const auto longestWait = PasswordChecks::longestWait();
    PasswordChecks::configure(1, std::chrono::seconds(30));
    std::atomic<int> signedIn{0};
    std::vector<std::thread> browsers;
    {
        const PasswordChecks::Turn held(std::chrono::milliseconds(-1));
        for (int i = 0; i < kStudents; ++i)
            browsers.emplace_back([&, i] {
                if (server.client().signIn(QStringLiteral("30270%1").arg(i, 3, 10, QChar(u'0')), "pw").status == 200) ++signedIn;
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    for (std::thread &t : browsers)
        t.join();
    PasswordChecks::configure(atOnce, longestWait);
    EXPECT_EQ(signedIn.load(), kStudents);
}

TEST_P(QueryAccess, ALockHoldsTheNumberOnlyAtTheAddressThatGuessed)
{
    // The page hands the sign-in the client's address; here it is given directly, as a school's
    // computer room and a family's home would be seen.
    const auto signIn = [&](const char *number, const char *password, const char *peer) {
        return StudentAccess(server->db(), server->fixture.now).signIn(QString::fromLatin1(number), QString::fromLatin1(password), QString::fromLatin1(peer));
    };
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(signIn(kNumberB, "guess", "10.20.0.5").attemptsLeft, 5 - i);
    StudentSignIn r = signIn(kNumberB, "guess", "10.20.0.5");
    EXPECT_EQ(r.outcome, StudentSignIn::Outcome::Locked);
    EXPECT_EQ(signIn(kNumberB, kPasswordB, "10.20.0.5").outcome, StudentSignIn::Outcome::Locked);
    // At home the student signs in, and a wrong password there has its own count.
    r = signIn(kNumberB, "typo", "172.16.3.9");
    EXPECT_EQ(r.outcome, StudentSignIn::Outcome::Wrong);
    EXPECT_EQ(r.attemptsLeft, 4);
    r = signIn(kNumberB, kPasswordB, "172.16.3.9");
    ASSERT_EQ(r.outcome, StudentSignIn::Outcome::SignedIn);
    EXPECT_EQ(r.student.name, QStringLiteral("李小红"));
    EXPECT_EQ(signIn(kNumberB, kPasswordB, "10.20.0.5").outcome, StudentSignIn::Outcome::Locked) << "still locked where it was guessed";
    server->advance(StudentAccess::kLockSeconds);
    EXPECT_EQ(signIn(kNumberB, kPasswordB, "10.20.0.5").outcome, StudentSignIn::Outcome::SignedIn);
}

TEST_P(QueryAccess, WrongPasswordsSentAtOnceAreCountedBeforeTheyAreChecked)
{
    // 24 browsers at one address send a wrong password for one number at once. Each attempt is
    // counted before its password is checked: four are told how many tries are left (4, 3, 2, 1,
    // each once), the fifth locks the number, and the other nineteen find it locked without a
    // password being checked. The number has one student, so one check per attempt let through.
    const quint64 checked = PasswordChecks::begun();
    std::mutex mutex;
    std::vector<Answer> answers;
    std::vector<std::thread> browsers;
    for (int i = 0; i < 24; ++i) {
        browsers.emplace_back([&] {
            QueryClient browser = server->client();
            const Answer a = browser.signIn(kNumberB, "guess");
            std::lock_guard lock(mutex);
            answers.push_back(a);
        });
    }
    for (std::thread &t : browsers)
        t.join();
    EXPECT_EQ(PasswordChecks::begun() - checked, 5u);
    std::multiset<int> left;
    int locked = 0;
    for (const Answer &a : answers) {
        if (a.status == 401) left.insert(a.json.value("attemptsLeft").toInt());
        if (a.status == 429 && a.json.value("locked").toBool()) ++locked;
    }
    EXPECT_EQ(left, (std::multiset<int>{1, 2, 3, 4}));
    EXPECT_EQ(locked, 20);

    // A sign-in that finds no turn to check its password is told the server is busy, and its
    // attempt counts for nothing.
    const int atOnce = PasswordChecks::atOnce();
    const auto longestWait = PasswordChecks::longestWait();
    PasswordChecks::configure(1, std::chrono::milliseconds(50));
    {
        const PasswordChecks::Turn held(std::chrono::milliseconds(-1)); // the only turn, another sign-in's
        const Answer busy = server->client().signIn(kNumberA, kPasswordA);
        EXPECT_EQ(busy.status, 503);
        EXPECT_EQ(busy.error(), "服务器繁忙，请稍后再试。");
        EXPECT_EQ(busy.header("Retry-After"), "5");
    }
    PasswordChecks::configure(atOnce, longestWait);
    EXPECT_EQ(server->client().signIn(kNumberA, "wrong").json.value("attemptsLeft").toInt(), 4);
}

TEST_P(QueryAccess, SessionsEndOnSignOutAfterHalfAnHourIdleAndWhenThePasswordChanges)
{
    QueryClient browser = server->client();
    ASSERT_EQ(browser.signIn(kNumberA, kPasswordA).status, 200);
    const std::string token = browser.cookie;
    const Answer out = browser.signOut();
    EXPECT_EQ(out.status, 200);
    EXPECT_NE(browser.lastSetCookie.find("Max-Age=0"), std::string::npos) << "the browser forgets the cookie";
    EXPECT_TRUE(browser.cookie.empty());
    browser.cookie = token; // a copy kept elsewhere is worth nothing now
    EXPECT_EQ(browser.get("/query/api/me").status, 401);

    // Requests keep a session alive; half an hour without one ends it.
    ASSERT_EQ(browser.signIn(kNumberA, kPasswordA).status, 200);
    for (int i = 0; i < 3; ++i) {
        server->advance(25 * 60);
        ASSERT_EQ(browser.get("/query/api/exams").status, 200) << i;
    }
    server->advance(30 * 60);
    const Answer ended = browser.get("/query/api/exams");
    EXPECT_EQ(ended.status, 401);
    EXPECT_FALSE(ended.json.value("signedIn").toBool(true));

    // The class teacher sets a new password through the register: the old session ends, the new
    // password signs in.
    ASSERT_EQ(browser.signIn(kNumberA, kPasswordA).status, 200);
    const QString admin = server->fixture.signIn("admin", "lumeko");
    const wire::Reply set = server->fixture.call("StudentUp", "SetPass", {txt("S1"), txt(kStudentA), txt("new-pass-1"), ref(qint64(2))}, admin);
    ASSERT_TRUE(set.ok()) << set.message.toStdString();
    EXPECT_EQ(browser.get("/query/api/me").status, 401);
    EXPECT_EQ(browser.signIn(kNumberA, kPasswordA).status, 401);
    EXPECT_EQ(browser.signIn(kNumberA, "new-pass-1").status, 200);
    // And a password taken away closes the way in.
    ASSERT_TRUE(server->fixture.call("StudentUp", "SetPass", {txt("S1"), txt(kStudentA), txt(""), ref(qint64(2))}, admin).ok());
    EXPECT_EQ(browser.get("/query/api/me").status, 401);
}

TEST_P(QueryAccess, ChangesComeOnlyFromThePageItself)
{
    QueryClient browser = server->client();
    // A form of another site posts as a form, not as JSON, and its browser names its origin.
    EXPECT_EQ(browser.post("/query/api/signin", "sno=2026010101&password=xm-2026!", {}, "application/x-www-form-urlencoded").status, 415);
    EXPECT_EQ(browser.post("/query/api/signin", "{\"sno\":\"2026010101\",\"password\":\"xm-2026!\"}", {}, "text/plain").status, 415);
    const std::string body = "{\"sno\":\"2026010101\",\"password\":\"xm-2026!\"}";
    Answer a = browser.post("/query/api/signin", body, {{"Origin", "https://evil.example"}});
    EXPECT_EQ(a.status, 403);
    EXPECT_EQ(a.error(), "请求来源不被接受。");
    EXPECT_EQ(browser.post("/query/api/signin", body, {{"Sec-Fetch-Site", "cross-site"}}).status, 403);
    EXPECT_TRUE(browser.cookie.empty());
    // The page's own origin is welcome.
    const std::string own = "http://127.0.0.1:" + std::to_string(server->port());
    a = browser.post("/query/api/signin", body, {{"Origin", own}, {"Sec-Fetch-Site", "same-origin"}});
    EXPECT_EQ(a.status, 200) << a.body;

    // Sign-out by another site does not end the session.
    EXPECT_EQ(browser.post("/query/api/signout", "{}", {{"Origin", "http://127.0.0.1:1"}}).status, 403);
    EXPECT_EQ(browser.get("/query/api/me").status, 200);
    EXPECT_EQ(browser.get("/query/api/signin").status, 405) << "signing in is a POST";
    EXPECT_EQ(browser.post("/query/api/exams", "{}").status, 405) << "reading is a GET";
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryAccess, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
