// The host services over an embedded server on the fixture school: sign-in and the context, the
// rights packet, the grade caches, type lists, server objects in C++ and through the C call.

#include "fixtureschool.h"
#include "scriptedprovider.h"
#include "server/core/auth.h"

#include "host/pub/lumekopub.h"
#include "host/pub/provider.h"
#include "host/pub/pub.h"
#include "wire/codec.h"

#include <gtest/gtest.h>

#include <functional>

namespace lumeko::pub {
namespace {

using server::testing::kAdminCode;
using server::testing::kTeacherCode;
using server::testing::ServiceFixture;
using testing::ScriptedProvider;
using wire::Argument;
using wire::DataPacket;
using wire::ErrorCode;

DataPacket decoded(LumekoBytes bytes)
{
    return wire::decodeDataPacket(QByteArrayView(reinterpret_cast<const char *>(bytes.data), qsizetype(bytes.size)));
}

QStringList column(const DataPacket &p, const char *field)
{
    const int f = p.fieldIndex(QString::fromLatin1(field));
    EXPECT_GE(f, 0) << "no field " << field;
    QStringList values;
    for (qsizetype r = 0; f >= 0 && r < p.rowCount(); ++r) values << p.value(r, f).toString();
    return values;
}

QString utf8(const char *text) { return QString::fromUtf8(text); }

// A link whose answers the test gives, for the paths an embedded server does not take.
class FakeLink final : public wire::ServerLink {
public:
    std::function<wire::Reply(wire::Call &)> answer;
    QStringList methods;
    wire::Reply call(wire::Call &call) override
    {
        methods << call.method;
        return answer(call);
    }
};

class HostSession : public ::testing::Test {
protected:
    ServiceFixture fx{server::Backend::Sqlite};
    wire::LocalLink link{fx.service()};
    ScriptedProvider host;

    void SetUp() override { signOut(); }
    void TearDown() override { signOut(); }

    void signInAs(const char *login, const char *password)
    {
        QString error;
        ASSERT_TRUE(signIn(link, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
    }
    qint64 sessions() { return fx.db().scalar(QStringLiteral("SELECT count(*) FROM \"XT_Session\""), {}).toLongLong(); }
};

TEST_F(HostSession, SignInAnswersTheUsersContextAndSignOutForgetsIt)
{
    EXPECT_FALSE(isSignedIn());
    EXPECT_STREQ(GetSchoolId(), "");
    EXPECT_EQ(GetUserType(), 0);

    signInAs("admin", "lumeko");
    EXPECT_TRUE(isSignedIn());
    EXPECT_EQ(utf8(GetSchoolId()), u"S1");
    EXPECT_EQ(utf8(GetSchoolName()), u"一中");
    EXPECT_EQ(utf8(GetSchoolType()), u"完全中学");
    EXPECT_EQ(utf8(GetUserCode()), QString::fromLatin1(kAdminCode));
    EXPECT_EQ(utf8(GetUserName()), u"管理员");
    EXPECT_EQ(utf8(GetUserID()), u"admin");
    EXPECT_EQ(utf8(GetUserRole()), u"1");
    EXPECT_EQ(GetUserType(), 1);
    EXPECT_EQ(IsViewAllGrade(), 1);
    EXPECT_EQ(IsViewAllClass(), 1);
    // The session carries the computer name the provider gives.
    EXPECT_EQ(fx.db().scalar(QStringLiteral("SELECT \"sComputer\" FROM \"XT_Session\""), {}).toString(), host.computerValue);

    // A second sign-in ends the first session on the server.
    signInAs("wang", "pw6");
    EXPECT_EQ(sessions(), 1);
    EXPECT_EQ(utf8(GetUserCode()), QString::fromLatin1(kTeacherCode));
    EXPECT_EQ(utf8(GetUserName()), u"王老师");
    EXPECT_EQ(utf8(GetUserID()), u"wang");
    EXPECT_EQ(utf8(GetUserRole()), u"6");
    EXPECT_EQ(GetUserType(), 0);
    EXPECT_EQ(IsViewAllGrade(), 0);
    EXPECT_EQ(IsViewAllClass(), 0);
    EXPECT_EQ(userName(), u"王老师");

    signOut();
    EXPECT_FALSE(isSignedIn());
    EXPECT_EQ(sessions(), 0);
    EXPECT_STREQ(GetSchoolId(), "");
    EXPECT_STREQ(GetUserName(), "");
    EXPECT_EQ(GetUserType(), 0);
    EXPECT_EQ(decoded(GetClassNames()).fieldCount(), 0);
}

TEST_F(HostSession, FailedSignInsLeaveTheServicesSignedOutWithATextForTheUser)
{
    signInAs("admin", "lumeko");
    ServerObject before = ServerObject::sysQry();
    QString error;
    EXPECT_FALSE(signIn(link, QStringLiteral("admin"), QStringLiteral("wrong"), &error));
    EXPECT_TRUE(error.startsWith(u"登录失败，用户名或密码不正确")) << error.toStdString();
    EXPECT_TRUE(error.contains(u"wrong")) << "the server's reason is kept in brackets: " << error.toStdString();
    EXPECT_FALSE(isSignedIn());
    EXPECT_STREQ(GetSchoolId(), "");
    // Objects of the ended session no longer reach the server.
    EXPECT_EQ(before.call(QStringLiteral("DBDate")).error, ErrorCode::NotSignedIn);

    // A server too busy checking other passwords is not taken for a wrong password.
    const int atOnce = server::PasswordChecks::atOnce();
    const auto longestWait = server::PasswordChecks::longestWait();
    server::PasswordChecks::configure(1, std::chrono::milliseconds(50));
    {
        const server::PasswordChecks::Turn held(std::chrono::milliseconds(-1)); // another sign-in's
        EXPECT_FALSE(signIn(link, QStringLiteral("admin"), QStringLiteral("lumeko"), &error));
    }
    server::PasswordChecks::configure(atOnce, longestWait);
    EXPECT_TRUE(error.startsWith(u"服务器没有及时响应，请稍后再试。")) << error.toStdString();

    FakeLink down;
    down.answer = [](wire::Call &) { return wire::Reply::failure(ErrorCode::Internal, QStringLiteral("connection refused by 127.0.0.1:9")); };
    EXPECT_FALSE(signIn(down, QStringLiteral("admin"), QStringLiteral("lumeko"), &error));
    EXPECT_TRUE(error.startsWith(u"无法连接服务器")) << error.toStdString();

    // A server that signs in but cannot tell who signed in is no session: it is ended again.
    FakeLink noContext;
    noContext.answer = [](wire::Call &c) {
        if (c.method == u"SignIn") return wire::Reply{QStringLiteral("token-1"), {}, ErrorCode::None, {}};
        if (c.method == u"Context") return wire::Reply{qint64(7), {}, ErrorCode::None, {}};
        EXPECT_EQ(c.token, u"token-1");
        return wire::Reply{};
    };
    EXPECT_FALSE(signIn(noContext, QStringLiteral("admin"), QStringLiteral("lumeko"), &error));
    EXPECT_EQ(noContext.methods, QStringList({"SignIn", "Context", "SignOut"}));
    EXPECT_FALSE(isSignedIn());

    FakeLink noToken;
    noToken.answer = [](wire::Call &) { return wire::Reply{}; };
    EXPECT_FALSE(signIn(noToken, QStringLiteral("admin"), QStringLiteral("lumeko"), &error));
    EXPECT_EQ(noToken.methods, QStringList{"SignIn"});
}

TEST_F(HostSession, RightsPacketDecodesToTheUsersGrantsAndIsReadOncePerSession)
{
    signInAs("wang", "pw6");
    const DataPacket rights = decoded(GetUserRight());
    for (const char *f : {"sFunKey", "sFunName", "sID", "sImg", "sDeskImg", "sParFunId", "sFunId"})
        EXPECT_GE(rights.fieldIndex(QString::fromLatin1(f)), 0) << f;
    // Role 6 grants 40, 4009 and 0001; the teacher alone holds the import key of 4009.
    EXPECT_EQ(column(rights, "sID"), QStringList({"40", "4009", "400902", "0001"}));
    EXPECT_EQ(column(rights, "sFunKey"), QStringList({"", "", "Import", "Print"}));
    EXPECT_EQ(column(rights, "sParFunId"), QStringList({"", "40", "4009", "00"}));

    // Rights changed on the server meanwhile apply from the next sign-in, also after the grade
    // data were dropped.
    fx.db().exec(QStringLiteral("DELETE FROM \"XT_UserRight\""), {});
    RemoteCloseGradeData();
    EXPECT_EQ(column(decoded(GetUserRight()), "sID"), QStringList({"40", "4009", "400902", "0001"}));
    signInAs("wang", "pw6");
    EXPECT_EQ(column(decoded(GetUserRight()), "sID"), QStringList({"40", "4009", "0001"}));

    // An unrestricted user sees the whole function tree.
    signInAs("admin", "lumeko");
    EXPECT_EQ(decoded(GetUserRight()).rowCount(), 8);
    EXPECT_EQ(userRight().rowCount(), 8);
}

TEST_F(HostSession, GradeDataComeFromTheCacheUntilTheModuleDropsThem)
{
    signInAs("admin", "lumeko");
    const DataPacket classes = decoded(GetClassNames());
    EXPECT_EQ(column(classes, "ClassCode"), QStringList({"001", "002"}));
    EXPECT_EQ(column(classes, "ClassName"), QStringList({"一班", "二班"}));
    EXPECT_EQ(column(classes, "sArea"), QStringList({"本部", "分校"}));
    EXPECT_GE(classes.fieldIndex(u"AliasName"), 0);
    const DataPacket grades = decoded(GetGradeList());
    EXPECT_EQ(column(grades, "GradeCode"), QStringList({"1701", "1801"}));
    EXPECT_EQ(column(grades, "InYear"), QStringList({"2026", "2025"}));
    EXPECT_EQ(column(grades, "bCurGrade"), QStringList({"Y", "Y"}));
    for (const char *f : {"sYear", "TeacherCode", "SubTeacherCode", "SchoolCode"}) EXPECT_GE(grades.fieldIndex(QString::fromLatin1(f)), 0) << f;
    const DataPacket names = decoded(GetGradeNames());
    EXPECT_EQ(column(names, "sKeyId"), QStringList({"1701", "1801", "1901"}));
    EXPECT_EQ(column(names, "sValue"), QStringList({"七年级", "八年级", "九年级"}));
    EXPECT_EQ(column(names, "sType"), QStringList({"初中", "初中", "初中"}));

    // Changed behind the host's back: the cached packets stay as they were read.
    fx.db().exec(QStringLiteral("UPDATE \"XJ_Class\" SET \"ClassName\" = ? WHERE \"SchoolCode\" = 'S1' AND \"ClassCode\" = '002'"),
                 {QStringLiteral("三班")});
    fx.db().exec(QStringLiteral("DELETE FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'S1' AND \"GradeCode\" = '1801'"), {});
    fx.db().exec(QStringLiteral("UPDATE \"XT_GradeName\" SET \"sValue\" = ? WHERE \"sKeyId\" = '1701'"), {QStringLiteral("初一")});
    EXPECT_EQ(column(decoded(GetClassNames()), "ClassName"), QStringList({"一班", "二班"}));
    EXPECT_EQ(decoded(GetGradeList()).rowCount(), 2);
    EXPECT_EQ(column(decoded(GetGradeNames()), "sValue").first(), u"七年级");
    EXPECT_EQ(column(classNames(), "ClassName"), QStringList({"一班", "二班"}));

    RemoteCloseGradeData();
    EXPECT_EQ(column(decoded(GetClassNames()), "ClassName"), QStringList({"一班", "三班"}));
    EXPECT_EQ(column(decoded(GetGradeList()), "GradeCode"), QStringList{"1701"});
    EXPECT_EQ(column(decoded(GetGradeNames()), "sValue").first(), u"初一");

    // A packet the server could not give is logged, comes back empty, and is asked for again.
    RemoteCloseGradeData();
    fx.db().exec(QStringLiteral("DROP TABLE \"XJ_Class\""), {});
    EXPECT_EQ(decoded(GetClassNames()).rowCount(), 0);
    ASSERT_EQ(host.logLines.size(), 1);
    EXPECT_TRUE(host.logLines[0].startsWith(u"读取ClassNames失败，错误:")) << host.logLines[0].toStdString();
    EXPECT_EQ(decoded(GetClassNames()).rowCount(), 0);
    EXPECT_EQ(host.logLines.size(), 2);
}

TEST_F(HostSession, TypeListsAndGradeTypes)
{
    EXPECT_STREQ(GetTypeList("StudType"), "") << "no list without a session";
    signInAs("wang", "pw6");
    EXPECT_EQ(utf8(GetTypeList("StudType")), u"统招生,借读生");
    EXPECT_EQ(utf8(GetTypeList("STUDTYPE")), u"统招生,借读生");
    EXPECT_EQ(utf8(GetTypeList("StudState")), u"在读,休学");
    EXPECT_STREQ(GetTypeList("NoSuchList"), "");
    EXPECT_STREQ(GetTypeList(nullptr), "");

    EXPECT_STREQ(GetGradeType("0106"), "Primary");
    EXPECT_STREQ(GetGradeType("1701"), "Junior");
    EXPECT_STREQ(GetGradeType("2301"), "Senior");
    EXPECT_STREQ(GetGradeType("1"), "Junior");
    EXPECT_STREQ(GetGradeType("3101"), "");
    EXPECT_STREQ(GetGradeType(""), "");
    EXPECT_STREQ(GetGradeType(nullptr), "");
    EXPECT_STREQ(GetGradeType(" 1701"), "");
}

TEST_F(HostSession, ServerObjectsWriteByReferenceValuesBackIntoTheArguments)
{
    signInAs("wang", "pw6");
    {
        ServerObject sys = ServerObject::sysQry();
        QList<Argument> args{{schoolId(), false}, {wire::Null{}, true}};
        const wire::Reply r = sys.call(QStringLiteral("QSchoolInfo"), args);
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        const auto *school = std::get_if<DataPacket>(&args[1].value);
        ASSERT_NE(school, nullptr) << wire::valueKindName(args[1].value).toStdString();
        EXPECT_EQ(column(*school, "sFullName"), QStringList{"示范市第一中学"});
        EXPECT_EQ(column(*school, "bHasSub"), QStringList{"true"});
        EXPECT_EQ(std::get<QString>(args[0].value), u"S1") << "by-value arguments are left alone";

        // Result and by-reference text together; the rvalue form keeps them in the reply.
        const wire::Reply key = sys.call(QStringLiteral("QRegisterByKey"),
                                         {{QStringLiteral("SysParams"), false}, {QStringLiteral("MaxImageSize"), false}, {QString(), true}});
        ASSERT_TRUE(key.ok()) << key.message.toStdString();
        EXPECT_EQ(std::get<QString>(key.result), u"100");
        EXPECT_EQ(std::get<QString>(key.refs.value(2)), u"http://example.invalid/photo-help");

        // A refused call leaves the arguments as they were.
        wire::DataPacket untouched({{QStringLiteral("Mark"), wire::FieldType::Text, 0, 0}});
        untouched.appendRow({QStringLiteral("untouched")});
        QList<Argument> other{{QStringLiteral("S2"), false}, {untouched, true}};
        const wire::Reply refused = sys.call(QStringLiteral("QSchoolInfo"), other);
        EXPECT_EQ(refused.error, ErrorCode::Forbidden);
        EXPECT_EQ(std::get<wire::DataPacket>(other[1].value), untouched);
        EXPECT_THROW(sys.invoke(QStringLiteral("QSchoolInfo"), other), ServerError);
        try {
            sys.invoke(QStringLiteral("NoSuchMethod"));
            ADD_FAILURE() << "an unknown method must throw";
        } catch (const ServerError &e) {
            EXPECT_EQ(e.code(), ErrorCode::UnknownMethod);
            EXPECT_TRUE(e.message().contains(u"SysQry")) << "the call goes to the object's own name";
        }
    }

    // A write through the update object: the operation log gets the piece.
    ServerObject up = ServerObject::sysUp();
    EXPECT_EQ(up.kind(), ServerKind::SysUp);
    QList<Argument> log{{schoolId(), false}, {userId(), false}, {userName(), false}, {localComputer(), false}, {QStringLiteral("增加学生 张三"), false}};
    ASSERT_TRUE(up.call(QStringLiteral("AddLogs"), log).ok());
    EXPECT_EQ(fx.db().scalar(QStringLiteral("SELECT \"sComputer\" || '/' || \"sText\" FROM \"XT_Log\""), {}).toString(), u"TEST-PC/增加学生 张三");

    // Closed, moved-from and signed-out objects fail without reaching anything.
    ServerObject moved = std::move(up);
    EXPECT_EQ(up.handle(), nullptr);
    EXPECT_EQ(up.call(QStringLiteral("AddLogs"), log).error, ErrorCode::NotSignedIn);
    EXPECT_NE(moved.handle(), nullptr);
    moved.close();
    EXPECT_EQ(moved.call(QStringLiteral("AddLogs"), log).error, ErrorCode::NotSignedIn);
    ServerObject stale = ServerObject::studentQry();
    signOut();
    EXPECT_EQ(stale.call(QStringLiteral("QDept"), {{QStringLiteral("S1"), false}, {wire::Null{}, true}}).error, ErrorCode::NotSignedIn);
    EXPECT_EQ(fx.db().scalar(QStringLiteral("SELECT count(*) FROM \"XT_Log\""), {}).toLongLong(), 1);
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();
}

TEST_F(HostSession, TheCCallTakesAndGivesEncodedBytes)
{
    signInAs("wang", "pw6");
    LumekoServer *sys = RemoteSysQry();
    ASSERT_NE(sys, nullptr);
    // Object and token of the encoded call are the server object's, whatever the caller wrote.
    const QByteArray call = wire::encodeCall(wire::Call{QStringLiteral("Elsewhere"), QStringLiteral("QRegByType"), QStringLiteral("forged"),
                                                        {{QStringLiteral("StudType"), false}, {wire::Null{}, true}}});
    LumekoBytes reply{nullptr, 0};
    EXPECT_EQ(LumekoServerCall(sys, reinterpret_cast<const unsigned char *>(call.constData()), size_t(call.size()), &reply), 0);
    wire::Reply r = wire::decodeReply(QByteArrayView(reinterpret_cast<const char *>(reply.data), qsizetype(reply.size)));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    ASSERT_TRUE(r.refs.contains(1));
    EXPECT_EQ(column(std::get<DataPacket>(r.refs[1]), "sValue"), QStringList({"统招生", "借读生"}));

    // Bytes that are no call, and no object at all: a failure reply all the same.
    const unsigned char junk[] = {0x83, 0x01, 0x02};
    EXPECT_EQ(LumekoServerCall(sys, junk, sizeof junk, &reply), int(ErrorCode::Malformed));
    r = wire::decodeReply(QByteArrayView(reinterpret_cast<const char *>(reply.data), qsizetype(reply.size)));
    EXPECT_EQ(r.error, ErrorCode::Malformed);
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_EQ(LumekoServerCall(nullptr, reinterpret_cast<const unsigned char *>(call.constData()), size_t(call.size()), &reply),
              int(ErrorCode::BadArguments));
    EXPECT_EQ(LumekoServerCall(sys, nullptr, 4, &reply), int(ErrorCode::Malformed));
    EXPECT_EQ(LumekoServerCall(sys, reinterpret_cast<const unsigned char *>(call.constData()), size_t(call.size()), nullptr), 0)
        << "the reply may be left unread";

    // The update object refuses another school's log through the same path.
    LumekoServer *up = RemoteSysUp();
    const QByteArray addLog = wire::encodeCall(wire::Call{{}, QStringLiteral("AddLogs"), {},
                                                          {{QStringLiteral("S2"), false}, {QString(), false}, {QString(), false}, {QString(), false}, {QStringLiteral("x"), false}}});
    EXPECT_EQ(LumekoServerCall(up, reinterpret_cast<const unsigned char *>(addLog.constData()), size_t(addLog.size()), &reply),
              int(ErrorCode::Forbidden));
    RemoteSysUpClose(up);

    // Released by the wrong close function: released all the same, and logged.
    RemoteStudentUpClose(sys);
    ASSERT_EQ(host.logLines.size(), 1);
    EXPECT_EQ(host.logLines[0], u"服务器对象SysQry由StudentUp的关闭函数释放");
    RemoteAchieveQryClose(nullptr);
    EXPECT_EQ(host.logLines.size(), 1);

    // Made before any sign-in: a real object whose calls fail.
    signOut();
    LumekoServer *early = RemoteAchieveQry();
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(LumekoServerCall(early, reinterpret_cast<const unsigned char *>(call.constData()), size_t(call.size()), &reply),
              int(ErrorCode::NotSignedIn));
    RemoteAchieveQryClose(early);
}

TEST_F(HostSession, TheGradeChooserOffersTheSchoolsGradesAndGetParamsReturnsTheAnswer)
{
    EXPECT_TRUE(gradeChoices().isEmpty());
    signInAs("admin", "lumeko");
    fx.db().exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)"),
                 {"S1", 2023, "1901", QStringLiteral("2025~2026学年"), "N"});
    // Records the intakes left behind as they moved up: not offered.
    fx.db().exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)"),
                 {"S1", 2025, "1701", QStringLiteral("2025~2026学年"), "N"});
    fx.db().exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)"),
                 {"S1", 2023, "1801", QStringLiteral("2024~2025学年"), "N"});
    const QList<GradeChoice> choices = gradeChoices();
    ASSERT_EQ(choices.size(), 3);
    EXPECT_EQ(choices[0].text, u"2026级七年级");
    EXPECT_EQ(choices[0].params, u"2026,1701,七年级,Y");
    EXPECT_EQ(choices[1].params, u"2025,1801,八年级,Y");
    EXPECT_EQ(choices[2].text, u"2023级九年级");
    EXPECT_EQ(choices[2].params, u"2023,1901,九年级,N");

    EXPECT_STREQ(GetParams(), "") << "nothing was chosen yet";
    host.chooserAnswer(choices[1].params);
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_EQ(utf8(GetParams()), u"2025,1801,八年级,Y");
    EXPECT_EQ(params(), u"2025,1801,八年级,Y");
    host.chooserAnswer(QStringLiteral("CANCEL"));
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_STREQ(GetParams(), "CANCEL");
    // A provider that answers nothing counts as cancelled.
    host.chooserAnswer(QString());
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_STREQ(GetParams(), "CANCEL");
    EXPECT_EQ(host.chooserKinds, QStringList({"0", "0", "0"}));
    EXPECT_TRUE(host.scriptDone());
    // The next user does not find this one's choice.
    signOut();
    EXPECT_STREQ(GetParams(), "");
}

} // namespace
} // namespace lumeko::pub
