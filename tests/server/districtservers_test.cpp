// Several lumeko-server processes on one database behave as one server: a session made on one is
// valid on the others and survives a restart, a sign-out on one ends it everywhere, and the brake
// on wrong passwords counts the guesses sent to any of them. And the front's limits as the
// command line sets them.

#include "fixtureschool.h"
#include "serverprocess.h"
#include "tests/http/rawclient.h"

#include "link/clientsession.h"
#include "server/storage/migrations.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using namespace std::chrono_literals;

namespace {

// A call with a session token the caller got elsewhere, as a client would that was moved to
// another server behind the district's front.
wire::Reply callWithToken(const ServerProcess &server, const QString &token, const char *object, const char *method)
{
    link::HttpLink link(server.link());
    wire::Call c{QString::fromLatin1(object), QString::fromLatin1(method), token, {}};
    return link.call(c);
}

QString contextName(const wire::Reply &r)
{
    const auto *p = std::get_if<wire::DataPacket>(&r.result);
    return r.ok() && p && p->rowCount() == 1 ? p->value(0, p->fieldIndex(u"UserName")).toString() : QString();
}

class DistrictServers : public ::testing::TestWithParam<Backend> {};

TEST_P(DistrictServers, TwoServersOnOneDatabaseShareSessionsAndTheBrake)
{
    LUMEKO_REQUIRE_BACKEND(GetParam());
    TestDatabase database(GetParam());
    seedFixtureSchool(*database.open());
    QTemporaryDir files;
    ServerProcess a(database.url(), files.path()), b(database.url(), files.path());
    ASSERT_TRUE(a.waitUntilServing());
    ASSERT_TRUE(b.waitUntilServing());

    link::HttpLink toA(a.link());
    link::ClientSession wang(toA);
    ASSERT_TRUE(wang.signIn("wang", "pw6", "PC-1").ok());
    const QString who = contextName(callWithToken(a, wang.token(), "Session", "Context"));
    ASSERT_FALSE(who.isEmpty());
    EXPECT_EQ(contextName(callWithToken(b, wang.token(), "Session", "Context")), who) << "a session made on one server is valid on the other";

    // A server restarted, even killed outright, signs nobody out.
    a.killHard();
    a.restart();
    ASSERT_TRUE(a.waitUntilServing());
    EXPECT_EQ(contextName(callWithToken(a, wang.token(), "Session", "Context")), who) << "the session outlived the server that made it";

    // Signing out on one server ends the session on every server.
    link::HttpLink toB(b.link());
    link::ClientSession admin(toB);
    ASSERT_TRUE(admin.signIn("admin", "lumeko", "PC-2").ok());
    const QString adminToken = admin.token();
    EXPECT_FALSE(contextName(callWithToken(a, adminToken, "Session", "Context")).isEmpty());
    ASSERT_TRUE(admin.signOut().ok());
    const wire::Reply after = callWithToken(a, adminToken, "Session", "Context");
    EXPECT_FALSE(after.ok()) << "a session ended on B is refused by A";

    // Wrong passwords are counted wherever they are sent: five on A, and B brakes the sixth try
    // from the same address, the right password included; another login from it is not braked.
    link::ClientSession guesser(toA);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(guesser.signIn("wang", QStringLiteral("guess%1").arg(i), "PC-3").message, QStringLiteral("the login or the password is wrong")) << i;
    link::ClientSession onB(toB);
    const wire::Reply braked = onB.signIn("wang", "pw6", "PC-3");
    EXPECT_FALSE(braked.ok());
    EXPECT_TRUE(braked.message.startsWith(QStringLiteral("too many failed sign-ins"))) << braked.message.toStdString();
    EXPECT_TRUE(onB.signIn("admin", "lumeko", "PC-3").ok());
    EXPECT_EQ(contextName(callWithToken(b, wang.token(), "Session", "Context")), who) << "the signed-in teacher keeps working meanwhile";

    EXPECT_EQ(a.stop(), 0) << "SIGTERM stops a server in an orderly way";
    EXPECT_EQ(contextName(callWithToken(b, wang.token(), "Session", "Context")), who) << "and the other serves on";
}

INSTANTIATE_TEST_SUITE_P(Backends, DistrictServers, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

// A school behind one NAT address needs more connections from it than the default; the command
// line raises (or lowers) the cap, and refuses a value that makes no sense.
TEST(ServerFrontLimits, TheCommandLineSetsTheConnectionCaps)
{
    TestDatabase database(Backend::Sqlite);
    seedFixtureSchool(*database.open());
    QTemporaryDir files;
    ServerProcess server(database.url(), files.path(), {"--max-per-address", "3"});
    ASSERT_TRUE(server.waitUntilServing());

    const std::string health = "GET /health HTTP/1.1\r\nHost: school\r\n\r\n";
    std::vector<std::unique_ptr<lumeko::testing::RawClient>> open;
    for (int i = 0; i < 3; ++i) {
        open.push_back(std::make_unique<lumeko::testing::RawClient>(server.port(), "127.0.0.1"));
        ASSERT_TRUE(open.back()->send(health));
        EXPECT_EQ(lumeko::testing::statusLine(open.back()->readAnswer(10s)), "HTTP/1.1 200 OK") << i;
    }
    lumeko::testing::RawClient fourth(server.port(), "127.0.0.1");
    fourth.send(health);
    bool closed = false;
    EXPECT_EQ(fourth.readUntilClosed(10s, &closed), "") << "a fourth connection from the address is closed unanswered";
    EXPECT_TRUE(closed);
    lumeko::testing::RawClient elsewhere(server.port(), "127.0.0.2");
    ASSERT_TRUE(elsewhere.send(health));
    EXPECT_EQ(lumeko::testing::statusLine(elsewhere.readAnswer(10s)), "HTTP/1.1 200 OK") << "another address is served";

    for (const QStringList &wrong :
         {QStringList{"--max-per-address", "0"}, QStringList{"--max-connections", "many"}, QStringList{"--max-connections", "10", "--max-per-address", "20"}}) {
        QProcess p;
        p.start(QStringLiteral(LUMEKO_SERVER_BIN), QStringList{"serve", "--db", database.url().toString(), "--files", files.path()} + wrong);
        ASSERT_TRUE(p.waitForFinished(20'000));
        EXPECT_EQ(p.exitCode(), 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("--max-")) << "the message names the flag";
    }
}

} // namespace
