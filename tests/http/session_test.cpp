#include "school.h"

#include "server/http/clientsession.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::testing;
using wire::ErrorCode;

namespace {

TEST(ClientSession, SignsInCarriesTheTokenAndSignsOut)
{
    FakeSchool school;
    LocalLink link(school);
    ClientSession session(link);

    wire::Reply r = session.signIn(kLogin, QStringLiteral("错误"), QStringLiteral("教务处-01"));
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_EQ(r.message, QStringLiteral("用户名或密码错误"));
    EXPECT_FALSE(session.isSignedIn());
    EXPECT_EQ(session.call(QStringLiteral("SysQry"), QStringLiteral("Echo")).error, ErrorCode::NotSignedIn);

    r = session.signIn(kLogin, kPassword, QStringLiteral("教务处-01"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, wire::Value(QStringLiteral("T-1")));
    EXPECT_TRUE(session.isSignedIn());
    EXPECT_EQ(session.token(), QStringLiteral("T-1"));
    EXPECT_EQ(school.computer(), QStringLiteral("教务处-01"));

    r = session.call(QStringLiteral("SysQry"), QStringLiteral("Echo"), {{qint64(2012), true}});
    EXPECT_TRUE(r.ok()) << r.message.toStdString();
    const Call seen = school.echoed();
    EXPECT_EQ(seen.token, QStringLiteral("T-1"));
    ASSERT_EQ(seen.args.size(), 1);
    EXPECT_TRUE(seen.args[0].byRef);

    r = session.context();
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const auto &context = std::get<wire::DataPacket>(r.result);
    EXPECT_EQ(context.value(0, context.fieldIndex(u"UserName")).toString(), QStringLiteral("张老师"));

    // Signing in again starts a new session.
    ASSERT_TRUE(session.signIn(kLogin, kPassword, QStringLiteral("教务处-01")).ok());
    EXPECT_EQ(session.token(), QStringLiteral("T-2"));
    EXPECT_EQ(school.openSessions(), 2);

    EXPECT_TRUE(session.signOut().ok());
    EXPECT_FALSE(session.isSignedIn());
    EXPECT_EQ(school.openSessions(), 1); // T-1 was never signed out
    EXPECT_EQ(session.call(QStringLiteral("SysQry"), QStringLiteral("Echo")).error, ErrorCode::NotSignedIn);
}

TEST(ClientSession, AnswersThatAreNoTokenOrContextAreFailures)
{
    FakeService odd;
    wire::Value signInAnswer = qint64(42);
    wire::Value contextAnswer = QStringLiteral("张老师");
    odd.on(QStringLiteral("Session.SignIn"), [&](Call &, const CallOrigin &) { return wire::Reply{signInAnswer, {}, ErrorCode::None, {}}; });
    odd.on(QStringLiteral("Session.Context"), [&](Call &, const CallOrigin &) { return wire::Reply{contextAnswer, {}, ErrorCode::None, {}}; });
    LocalLink link(odd);
    ClientSession session(link);

    wire::Reply r = session.signIn(kLogin, kPassword, QString());
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("integer"))) << r.message.toStdString();
    EXPECT_FALSE(session.isSignedIn());

    signInAnswer = QString(); // an empty token is no token
    EXPECT_EQ(session.signIn(kLogin, kPassword, QString()).error, ErrorCode::Internal);
    EXPECT_FALSE(session.isSignedIn());

    r = session.context();
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("text"))) << r.message.toStdString();

    contextAnswer = students(2);
    r = session.context();
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("2 rows"))) << r.message.toStdString();

    contextAnswer = students(1);
    EXPECT_TRUE(session.context().ok());
}

} // namespace
