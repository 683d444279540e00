// The server as a client sees it through calls: sign-in and sessions, the dispatcher's refusals,
// school isolation, the system methods and the file store, on both back ends.

#include "fixtureschool.h"

#include "server/core/auth.h"
#include "wire/protocol/methods.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;

namespace {

const QString S = QStringLiteral("Session");
const QString SysQry = QStringLiteral("SysQry");
const QString SysUp = QStringLiteral("SysUp");

// Injection attempts, sent in every text argument of the methods under test.
const QStringList kHostileTexts = {
    QStringLiteral("' OR '1'='1"),
    QStringLiteral("x'; DROP TABLE \"JC_Teacher\"; --"),
    QStringLiteral("StudState' UNION SELECT \"sPass\", \"sLoginName\", \"sName\" FROM \"JC_Teacher\" --"),
    QStringLiteral("\"; DELETE FROM \"XT_RegList\"; --"),
    QStringLiteral("S1' --"),
};

const wire::DataPacket *packetIn(const wire::Reply &r, int ref)
{
    auto it = r.refs.find(ref);
    return it == r.refs.end() ? nullptr : std::get_if<wire::DataPacket>(&*it);
}

class ServiceTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
    }

    qint64 rows(const char *table)
    {
        return fx->db().scalar(QStringLiteral("SELECT count(*) FROM ") + Database::quoted(QString::fromLatin1(table))).toLongLong();
    }

    std::unique_ptr<ServiceFixture> fx;
};

TEST_P(ServiceTest, SignInByLoginMobileOrMailGivesASessionWithTheUsersContext)
{
    for (const char *login : {"wang", "WANG", "13800000001", "wang@school.cn"}) {
        const QString token = fx->signIn(QString::fromLatin1(login), QStringLiteral("pw6"));
        ASSERT_EQ(token.size(), 64) << login;
        const wire::Reply r = fx->call(S, wire::protocol::session::Context.methodName(), {}, token);
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        const auto &ctx = std::get<wire::DataPacket>(r.result);
        ASSERT_EQ(ctx.rowCount(), 1);
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"SchoolId")).toString(), "S1");
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"SchoolName")).toString(), QStringLiteral("一中"));
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"SchoolType")).toString(), QStringLiteral("完全中学"));
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"UserCode")).toString(), kTeacherCode);
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"UserName")).toString(), QStringLiteral("王老师"));
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"UserType")).toLongLong(), 0);
        EXPECT_EQ(ctx.value(0, ctx.fieldIndex(u"Roles")).toString(), "6");
        EXPECT_FALSE(ctx.value(0, ctx.fieldIndex(u"ViewAllGrade")).toBool());
    }
    EXPECT_EQ(fx->db().scalar(QStringLiteral("SELECT count(*) FROM \"XT_Session\" WHERE length(\"sTokenHash\") = 64")).toLongLong(), 4)
        << "only hashes of the tokens are stored";

    // Refusals: wrong password, unknown login, a teacher who left, a teacher without a password.
    for (auto [login, pw] : {std::pair{"wang", "PW6"}, {"nobody", "pw6"}, {"gone", "pw"}, {"nopass", ""}}) {
        const wire::Reply r = fx->call(S, wire::protocol::session::SignIn.methodName(), {txt(login), txt(pw), txt("PC")}, {}, QString::fromLatin1(login));
        EXPECT_EQ(r.error, ErrorCode::Refused) << login;
        EXPECT_FALSE(std::holds_alternative<QString>(r.result)) << "no token on a refusal";
    }
}

TEST_P(ServiceTest, WrongPasswordsBrakeTheLoginFromTheirAddressAndAnAddressThatGuessesWidely)
{
    const auto attempt = [&](const char *login, const char *pw, const char *peer) {
        return fx->call(S, wire::protocol::session::SignIn.methodName(), {txt(login), txt(pw), txt("PC")}, {}, QString::fromLatin1(peer));
    };
    const quint64 checked = PasswordChecks::begun();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(attempt("wang", "guess", "10.0.0.7").message, "the login or the password is wrong") << i;
    // From that address even the right password now waits, and no password is checked for it.
    wire::Reply r = attempt("wang", "pw6", "10.0.0.7");
    EXPECT_EQ(r.error, ErrorCode::Refused);
    EXPECT_EQ(r.message, "too many failed sign-ins; try again in 30 seconds");
    EXPECT_EQ(PasswordChecks::begun() - checked, 5u);
    // The teacher herself, at a computer with another address, is not locked out by those
    // guesses; her own mistypes there count apart.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(attempt("WANG", "pw", "10.0.0.8").message, "the login or the password is wrong") << "the login in any case";
    EXPECT_TRUE(attempt("wang", "pw6", "10.0.0.8").ok());
    EXPECT_TRUE(attempt("wang", "pw", "10.0.0.8").message.contains("wrong")) << "her sign-in cleared her count there";

    // The block lifts after its time; the next wrong password from the guessing address blocks
    // the login there twice as long.
    fx->now = fx->now.addSecs(31);
    EXPECT_EQ(attempt("wang", "guess", "10.0.0.7").message, "the login or the password is wrong");
    EXPECT_EQ(attempt("wang", "pw6", "10.0.0.7").message, "too many failed sign-ins; try again in 60 seconds");
    EXPECT_TRUE(attempt("wang", "pw6", "10.0.0.8").ok());
    fx->now = fx->now.addSecs(61);
    EXPECT_TRUE(attempt("wang", "pw6", "10.0.0.7").ok()) << "the right password after the block clears the count";
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(attempt("wang", "guess", "10.0.0.7").message, "the login or the password is wrong") << i;

    // An address that tries a wrong password on twenty logins, once each, is braked whatever
    // login it tries next; other addresses are not.
    for (int i = 0; i < 20; ++i) {
        const QByteArray login = "teacher" + QByteArray::number(i);
        EXPECT_EQ(attempt(login.constData(), "guess", "10.0.0.9").message, "the login or the password is wrong") << i;
    }
    r = attempt("wang", "pw6", "10.0.0.9");
    EXPECT_EQ(r.message, "too many failed sign-ins from this address; try again in 30 seconds");
    EXPECT_TRUE(attempt("admin", "lumeko", "10.0.0.8").ok());
    fx->now = fx->now.addSecs(30);
    EXPECT_TRUE(attempt("wang", "pw6", "10.0.0.9").ok());

    // The guesses' rows are forgotten a day later by the next sign-in, the block of a subject
    // still blocked is not.
    const auto rowsOf = [&](const char *peer) {
        return fx->db().scalar("SELECT count(*) FROM \"XT_SignInFailure\" WHERE \"sSubject\" LIKE ?", {QStringLiteral("%@") + peer}).toLongLong();
    };
    EXPECT_EQ(rowsOf("10.0.0.9"), 20) << "one per login guessed (wang's was cleared by her sign-in)";
    fx->now = fx->now.addDays(1);
    for (int i = 0; i < 5; ++i)
        attempt("wang", "guess", "10.0.0.10");
    fx->now = fx->now.addSecs(1);
    EXPECT_TRUE(attempt("admin", "lumeko", "10.0.0.8").ok());
    EXPECT_EQ(rowsOf("10.0.0.9"), 0);
    EXPECT_EQ(rowsOf("10.0.0.10"), 1);
    EXPECT_EQ(attempt("wang", "pw6", "10.0.0.10").error, ErrorCode::Refused);
}

TEST_P(ServiceTest, GuessesSentAtOnceAreCheckedNoMoreOftenThanOneAfterTheOther)
{
    // 48 wrong passwords for one login from one address at once, each call on a thread (and
    // a database connection) of its own. The five free attempts are the only ones checked; the
    // rest are refused before anything is hashed, and never more checks run at once than allowed.
    const int atOnce = PasswordChecks::atOnce();
    const auto wait = PasswordChecks::longestWait();
    PasswordChecks::configure(2, std::chrono::seconds(30));
    const quint64 checked = PasswordChecks::begun();
    std::mutex mutex;
    QStringList answers;
    std::vector<std::thread> guessers;
    for (int i = 0; i < 48; ++i) {
        guessers.emplace_back([&, i] {
            const wire::Reply r = fx->call(S, wire::protocol::session::SignIn.methodName(),
                                           {val(QStringLiteral("wang")), val(QStringLiteral("guess-%1").arg(i)), txt("PC")}, {}, QStringLiteral("10.0.0.7"));
            std::lock_guard lock(mutex);
            answers << r.message;
        });
    }
    for (std::thread &t : guessers)
        t.join();
    EXPECT_EQ(PasswordChecks::begun() - checked, 5u);
    EXPECT_LE(PasswordChecks::mostAtOnce(), 2);
    EXPECT_EQ(answers.count(QStringLiteral("the login or the password is wrong")), 5);
    EXPECT_EQ(answers.count(QStringLiteral("too many failed sign-ins; try again in 30 seconds")), 43) << answers.join(u'\n').toStdString();

    // The teacher signs in from her own computer, and so does another teacher from the guessing
    // address: five wrong passwords do not brake the address.
    EXPECT_TRUE(fx->call(S, "SignIn", {txt("wang"), txt("pw6"), txt("PC")}, {}, QStringLiteral("10.0.0.8")).ok());
    EXPECT_TRUE(fx->call(S, "SignIn", {txt("admin"), txt("lumeko"), txt("PC")}, {}, QStringLiteral("10.0.0.7")).ok());

    // Thirty teachers of a school behind one NAT address signing in at the same moment all get
    // in, their checks taking turns: attempts in flight are no failures of the address (counted
    // as such, the twentieth blocked the whole school for 30 s).
    const QString hash = hashPassword(QStringLiteral("pw"), PasswordCost::Minimal);
    for (int i = 0; i < 30; ++i)
        fx->db().exec("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"iState\") VALUES (?, 'S1', ?, ?, ?, 0)",
                      {QStringLiteral("{NAT-%1}").arg(i), QStringLiteral("教师%1").arg(i), QStringLiteral("nat%1").arg(i), hash});
    std::atomic<int> signedIn{0};
    guessers.clear();
    for (int i = 0; i < 30; ++i) {
        guessers.emplace_back([&, i] {
            if (fx->call(S, "SignIn", {val(QStringLiteral("nat%1").arg(i)), txt("pw"), txt("PC")}, {}, QStringLiteral("10.0.1.1")).ok()) ++signedIn;
        });
    }
    for (std::thread &t : guessers)
        t.join();
    EXPECT_EQ(signedIn.load(), 30);
    EXPECT_LE(PasswordChecks::mostAtOnce(), 2);
    {
        PasswordChecks::configure(1, std::chrono::milliseconds(50));
        const PasswordChecks::Turn held(std::chrono::milliseconds(-1)); // the only turn, held by "another sign-in"
        for (int i = 0; i < 6; ++i) {
            const wire::Reply busy = fx->call(S, "SignIn", {txt("wang"), txt("pw6"), txt("PC")}, {}, QStringLiteral("10.0.2.1"));
            EXPECT_EQ(busy.error, ErrorCode::Timeout) << "the server's, not the password's";
            EXPECT_EQ(busy.message, "the server is checking too many passwords at once; try again in a moment");
        }
    }
    EXPECT_TRUE(fx->call(S, "SignIn", {txt("wang"), txt("pw6"), txt("PC")}, {}, QStringLiteral("10.0.2.1")).ok()) << "six busy refusals are no wrong passwords";
    PasswordChecks::configure(atOnce, wait);
}

TEST_P(ServiceTest, SessionsEndWhenIdleTooLongOrSignedOut)
{
    EXPECT_EQ(fx->call(SysQry, "DBDate").error, ErrorCode::NotSignedIn);
    EXPECT_EQ(fx->call(SysQry, "DBDate", {}, QString(64, u'0')).error, ErrorCode::NotSignedIn);

    const QString token = fx->signIn("admin", "lumeko");
    fx->now = fx->now.addSecs(11 * 3600);
    EXPECT_TRUE(fx->call(SysQry, "DBDate", {}, token).ok()) << "a call within the lifetime extends it";
    fx->now = fx->now.addSecs(11 * 3600);
    const wire::Reply r = fx->call(SysQry, "DBDate", {}, token);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<QDateTime>(r.result).toMSecsSinceEpoch(), fx->now.toMSecsSinceEpoch()) << "the server's clock";
    fx->now = fx->now.addSecs(12 * 3600 + 1);
    EXPECT_EQ(fx->call(SysQry, "DBDate", {}, token).error, ErrorCode::NotSignedIn);

    const QString again = fx->signIn("admin", "lumeko");
    EXPECT_TRUE(fx->call(S, "SignOut", {}, again).ok());
    EXPECT_EQ(fx->call(SysQry, "DBDate", {}, again).error, ErrorCode::NotSignedIn);
}

TEST_P(ServiceTest, UnknownNamesWrongArgumentsAndForeignSchoolsAreRefusedClearly)
{
    const QString token = fx->signIn("wang", "pw6");
    auto r = fx->call("NoSuchQry", "QFamily", {}, token);
    EXPECT_EQ(r.error, ErrorCode::UnknownObject);
    EXPECT_TRUE(r.message.contains("NoSuchQry"));
    r = fx->call(SysQry, "QNothing", {}, token);
    EXPECT_EQ(r.error, ErrorCode::UnknownMethod);
    r = fx->call(SysQry, "QRegByType", {txt("StudState")}, token);
    EXPECT_EQ(r.error, ErrorCode::BadArguments);
    EXPECT_EQ(r.message, "SysQry.QRegByType takes 2 arguments (ListName text, out Data data packet), not 1");
    r = fx->call(SysQry, "QRegByType", {val(qint64(5)), ref()}, token);
    EXPECT_EQ(r.error, ErrorCode::BadArguments) << "an integer where a list name belongs";
    EXPECT_EQ(r.message, "SysQry.QRegByType: argument 1 (ListName) must be a text, not an integer");
    // An intake year may come as digits; anything else in its slot is refused before the method runs.
    EXPECT_TRUE(fx->call("StudentQry", "QStudByClass", {txt("001"), txt("1701"), txt("2026"), txt("S1"), txt("Y"), ref()}, token).ok());
    r = fx->call("StudentQry", "QStudByClass", {txt("001"), txt("1701"), txt("2026 or 1=1"), txt("S1"), txt("Y"), ref()}, token);
    EXPECT_EQ(r.message, "StudentQry.QStudByClass: argument 3 (InYear) must be an integer, not a text");
    r = fx->call("StudentUp", "UpDept", {val(wire::DataPacket()), val(qint64(-1)), ref(qint64(0))}, token);
    EXPECT_EQ(r.message, "StudentUp.UpDept: argument 1 (Delta) must be a change packet, not a data packet") << "kinds come before rights";
    EXPECT_EQ(fx->call(SysQry, "QRegByType", {txt("StudState"), val(wire::Null{})}, token).error, ErrorCode::BadArguments)
        << "the data packet comes back only through a by-reference argument";
    EXPECT_TRUE(fx->call(SysQry, "qregbytype", {txt("StudState"), ref()}, token).ok()) << "names match without regard to case";

    // The school id argument must be the caller's own school, and nothing is stored otherwise.
    r = fx->call(SysQry, "QSchoolInfo", {txt("S2"), ref()}, token);
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_TRUE(r.refs.isEmpty());
    r = fx->call(SysUp, "AddLogs", {txt("S2"), txt("wang"), txt("王老师"), txt("PC"), txt("改了别人的数据")}, token);
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_EQ(rows("XT_Log"), 0);
}

TEST_P(ServiceTest, SystemQueriesAnswerTheRegistryFieldsAndSchool)
{
    const QString token = fx->signIn("wang", "pw6");
    auto r = fx->call(SysQry, "QRegByType", {txt("studstate"), ref()}, token);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket *list = packetIn(r, 1);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->rowCount(), 2) << "list names match without regard to case";
    EXPECT_EQ(list->value(0, list->fieldIndex(u"sKeyId")).toString(), "00");
    EXPECT_EQ(list->value(0, list->fieldIndex(u"sValue")).toString(), QStringLiteral("在读"));

    r = fx->call(SysQry, "QFieldsByTable", {txt("XJ_Student"), ref()}, token);
    const wire::DataPacket *fields = packetIn(r, 1);
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->rowCount(), 2);
    EXPECT_EQ(fields->value(0, 0).toString(), "sName") << "in column order";
    EXPECT_EQ(fields->fields()[fields->fieldIndex(u"bShowed")].type, wire::FieldType::Boolean);

    r = fx->call(SysQry, "QRegisterByKey", {txt("SysParams"), txt("MaxImageSize"), ref(QString())}, token);
    EXPECT_EQ(std::get<QString>(r.result), "100");
    EXPECT_EQ(std::get<QString>(r.refs.value(2)), "http://example.invalid/photo-help");
    r = fx->call(SysQry, "QRegisterByKey", {txt("SysParams"), txt("CaleOrderOnSave")}, token);
    EXPECT_EQ(std::get<QString>(r.result), QString()) << "an absent key reads as empty";

    r = fx->call(SysQry, "QSchoolInfo", {txt("S1"), ref()}, token);
    const wire::DataPacket *info = packetIn(r, 1);
    ASSERT_TRUE(info && info->rowCount() == 1);
    EXPECT_EQ(info->value(0, info->fieldIndex(u"sFullName")).toString(), QStringLiteral("示范市第一中学"));
    EXPECT_TRUE(info->value(0, info->fieldIndex(u"bHasSub")).toBool());
    EXPECT_EQ(info->value(0, info->fieldIndex(u"sSubCap")).toString(), QStringLiteral("分校"));

    r = fx->call(SysQry, "GetGraduate", {txt("S1,1901"), ref(qint64(0))}, token);
    EXPECT_EQ(std::get<qint64>(r.refs.value(1)), 1);
    r = fx->call(SysQry, "GetGraduate", {txt("S1,1701"), ref(qint64(0))}, token);
    EXPECT_EQ(std::get<qint64>(r.refs.value(1)), 0);
    EXPECT_EQ(fx->call(SysQry, "GetGraduate", {txt("S2,1901"), ref()}, token).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->call(SysQry, "GetGraduate", {txt("S1;1901' or 1=1"), ref()}, token).error, ErrorCode::Refused);

    // Every text argument carrying an injection attempt finds nothing and changes nothing.
    for (const QString &bad : kHostileTexts) {
        SCOPED_TRACE(bad.toStdString());
        r = fx->call(SysQry, "QRegByType", {val(bad), ref()}, token);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(packetIn(r, 1)->rowCount(), 0);
        r = fx->call(SysQry, "QFieldsByTable", {val(bad), ref()}, token);
        EXPECT_EQ(packetIn(r, 1)->rowCount(), 0);
        r = fx->call(SysQry, "QRegisterByKey", {val(bad), val(bad), ref()}, token);
        EXPECT_EQ(std::get<QString>(r.result), QString());
        EXPECT_EQ(fx->call(SysQry, "QSchoolInfo", {val(bad), ref()}, token).error, ErrorCode::Forbidden);
        EXPECT_EQ(fx->call(S, "TypeList", {val(bad)}, token).result, wire::Value(QString()));
        EXPECT_EQ(fx->call(S, "SignIn", {val(bad), val(bad), val(bad)}, {}, QStringLiteral("10.1.1.1")).error, ErrorCode::Refused);
    }
    EXPECT_EQ(rows("JC_Teacher"), 5);
    EXPECT_EQ(rows("XT_RegList"), 4);
}

TEST_P(ServiceTest, TheLogKeepsTheServersTimeAndRefusesOverlongLines)
{
    const QString token = fx->signIn("wang", "pw6");
    const QString piece = QStringLiteral("(1)") + QString(94, QChar(0x6539));
    auto r = fx->call(SysUp, "AddLogs", {txt("S1"), txt("wang"), txt("王老师"), txt("PC-01"), val(piece)}, token);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const auto log = fx->db().select(QStringLiteral("SELECT \"SchoolCode\", \"sText\", \"dTime\" FROM \"XT_Log\""), {},
                                     {{"SchoolCode", wire::FieldType::Text, 0, 0}, {"sText", wire::FieldType::Text, 0, 0},
                                      {"dTime", wire::FieldType::DateTime, 0, 0}});
    ASSERT_EQ(log.rowCount(), 1);
    EXPECT_EQ(log.value(0, 1).toString(), piece);
    EXPECT_EQ(log.value(0, 2).toDateTime(), fx->now);
    r = fx->call(SysUp, "AddLogs", {txt("S1"), txt("wang"), txt("王老师"), txt("PC-01"), val(QString(201, u'x'))}, token);
    EXPECT_EQ(r.error, ErrorCode::BadArguments);
    EXPECT_EQ(rows("XT_Log"), 1);
}

TEST_P(ServiceTest, TheFileStoreKeepsPhotosOfTheCallersSchoolOnly)
{
    const QString token = fx->signIn("wang", "pw6");
    QByteArray jpeg(5000, '\0');
    for (int i = 0; i < jpeg.size(); ++i) jpeg[i] = char(i * 7);
    auto r = fx->call(SysQry, "VarToSFile", {ref(QStringLiteral("StudentPics\\S1\\0\\")), ref(QStringLiteral("261206080000123.jpg")), ref(jpeg)}, token);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.result), 1);
    r = fx->call(SysQry, "SFileToVar", {ref(QStringLiteral("StudentPics\\S1\\0\\261206080000123.jpg"))}, token);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<QByteArray>(r.result), jpeg);
    EXPECT_TRUE(QFile::exists(fx->fileStore() + "/StudentPics/S1/0/261206080000123.jpg"));

    const QList<std::pair<QString, QString>> refused = {
        {"StudentPics\\S1\\0\\..\\..\\..\\", "evil.jpg"},
        {"StudentPics\\S2\\0\\", "a.jpg"},
        {"/etc\\", "passwd"},
        {"C:\\Windows\\", "x.jpg"},
        {"StudentPics\\S1\\0\\", "..\\..\\x.jpg"},
        {"StudentPics\\S1\\7\\", "a.jpg"},
    };
    for (const auto &[folder, name] : refused) {
        r = fx->call(SysQry, "VarToSFile", {ref(folder), ref(name), ref(QByteArray("x"))}, token);
        EXPECT_EQ(r.error, ErrorCode::Refused) << folder.toStdString() << name.toStdString();
        EXPECT_EQ(fx->call(SysQry, "SFileToVar", {ref(folder + name)}, token).error, ErrorCode::Refused);
    }
    r = fx->call(SysQry, "VarToSFile", {ref(QStringLiteral("StudentPics\\S1\\1\\")), ref(QStringLiteral("big.jpg")), ref(QByteArray(64 * 1024 + 1, 'x'))}, token);
    EXPECT_EQ(r.error, ErrorCode::TooLarge);
    EXPECT_EQ(fx->call(SysQry, "SFileToVar", {ref(QStringLiteral("StudentPics\\S1\\1\\big.jpg"))}, token).error, ErrorCode::Refused)
        << "nothing of a refused file is kept";
    // Uploading is for users who may open the student register; the other school's teacher has
    // no grant for it (and would reach only their own school's folder).
    r = fx->call(SysQry, "VarToSFile", {ref(QStringLiteral("StudentPics\\S2\\0\\")), ref(QStringLiteral("a.jpg")), ref(QByteArray("x"))},
                 fx->signIn("li", "pw2"));
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    const QStringList everything = QDir(fx->fileStore()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(everything, QStringList{"StudentPics"});
}

TEST_P(ServiceTest, HostDataFollowsTheUsersSchoolAndRights)
{
    const QString admin = fx->signIn("admin", "lumeko");
    const QString teacher = fx->signIn("wang", "pw6");
    const auto keys = [&](const QString &token) {
        const auto p = std::get<wire::DataPacket>(fx->call(S, "UserRight", {}, token).result);
        QStringList out;
        for (qsizetype r = 0; r < p.rowCount(); ++r)
            out << p.value(r, p.fieldIndex(u"sParFunId")).toString() + "/" + p.value(r, p.fieldIndex(u"sID")).toString() + "/" +
                       p.value(r, p.fieldIndex(u"sFunKey")).toString();
        return out;
    };
    EXPECT_EQ(keys(admin).size(), 8) << "an unrestricted user holds every function";
    EXPECT_EQ(keys(teacher), (QStringList{"/40/", "40/4009/", "4009/400902/Import", "00/0001/Print"}))
        << "role grants and the user's own grant, nothing else";

    const auto grades = std::get<wire::DataPacket>(fx->call(S, "GradeList", {}, teacher).result);
    EXPECT_EQ(grades.rowCount(), 2) << "the other school's grade is not listed";
    const auto names = std::get<wire::DataPacket>(fx->call(S, "GradeNames", {}, teacher).result);
    ASSERT_EQ(names.rowCount(), 3) << "grade names of the school's type only";
    EXPECT_EQ(names.value(0, names.fieldIndex(u"sNextGrade")).toString(), "1801");
    EXPECT_TRUE(names.value(2, names.fieldIndex(u"bGraduate")).toBool());
    const auto classes = std::get<wire::DataPacket>(fx->call(S, "ClassNames", {}, teacher).result);
    EXPECT_EQ(classes.rowCount(), 2);
    EXPECT_EQ(fx->call(S, "TypeList", {txt("STUDTYPE")}, teacher).result, wire::Value(QStringLiteral("统招生,借读生")));
}

// Methods of the test alone, declared as every server method is.
constexpr wire::protocol::Method NeedsManager{"StudentUp", "NeedsManager", {}, wire::protocol::Kind::Integer, wire::protocol::Right::key("4009", "Manager")};
constexpr wire::protocol::Method NeedsPrint{"StudentUp", "NeedsPrint", {}, wire::protocol::Kind::Integer, wire::protocol::Right::key("4009", "Print")};
constexpr wire::protocol::Method NeedsPage{
    "StudentUp", "NeedsPage", {}, wire::protocol::Kind::Integer, wire::protocol::Right::anyOf({{"4031", {}}, {"4009", {}}})};

TEST_P(ServiceTest, TheDispatcherChecksTheRightADeclarationNames)
{
    for (const wire::protocol::Method *m : {&NeedsManager, &NeedsPrint, &NeedsPage})
        fx->service().addMethod(*m, [](MethodCall &c) { c.setResult(qint64(1)); });
    const QString teacher = fx->signIn("wang", "pw6");
    const wire::Reply no = fx->call("StudentUp", "NeedsManager", {}, teacher);
    EXPECT_EQ(no.error, ErrorCode::Forbidden);
    EXPECT_EQ(no.message, "StudentUp.NeedsManager needs the right 4009/Manager");
    EXPECT_TRUE(fx->call("StudentUp", "NeedsPrint", {}, teacher).ok()) << "common keys under \"00\" count for every page";
    EXPECT_TRUE(fx->call("StudentUp", "NeedsPage", {}, teacher).ok()) << "one of the functions is enough";
    EXPECT_TRUE(fx->call("StudentUp", "NeedsManager", {}, fx->signIn("admin", "lumeko")).ok()) << "the administrator is not restricted";
    EXPECT_EQ(fx->call("StudentUp", "NeedsManager", {}, QString()).error, ErrorCode::NotSignedIn);
}

TEST_P(ServiceTest, AnUpdateStoresItsWholePacketOrNothingAndAnswersTheErrorCount)
{
    const QString admin = fx->signIn("admin", "lumeko");
    auto r = fx->call("StudentQry", "QDept", {txt("S1"), ref()}, admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket empty = *packetIn(r, 1);
    EXPECT_EQ(empty.rowCount(), 0);
    EXPECT_EQ(fx->call("StudentQry", "MaxDeptID", {txt("S1")}, admin).result, wire::Value(QString())) << "empty means none";

    // The client's change packet over the fields the query gave it.
    const auto packet = [&](std::initializer_list<wire::RowChange> rows) {
        wire::ChangePacket p;
        p.fields = empty.fields();
        p.rows = rows;
        return p;
    };
    const auto up = [&](const wire::ChangePacket &p, const QString &token) {
        return fx->call("StudentUp", "UpDept", {val(p), val(qint64(-1)), ref(qint64(0))}, token);
    };
    const auto depts = [&] {
        const auto p = *packetIn(fx->call("StudentQry", "QDept", {txt("S1"), ref()}, admin), 1);
        QStringList out;
        for (qsizetype i = 0; i < p.rowCount(); ++i) out << p.value(i, 0).toString() + "=" + p.value(i, 1).toString();
        return out;
    };
    using wire::RowStatus;
    r = up(packet({{RowStatus::Inserted, {}, {"001", QStringLiteral("语文组"), QVariant(), "S1"}},
                   {RowStatus::Inserted, {}, {"002", QStringLiteral("数学组"), QVariant(), "S1"}}}), admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.refs.value(2)), 0);
    EXPECT_EQ(depts(), (QStringList{QStringLiteral("001=语文组"), QStringLiteral("002=数学组")}));
    EXPECT_EQ(fx->call("StudentQry", "MaxDeptID", {txt("S1")}, admin).result, wire::Value(QStringLiteral("2")));

    // A stale edit and a row of another school: two errors, and the good insert is not kept.
    r = up(packet({{RowStatus::Inserted, {}, {"003", QStringLiteral("英语组"), QVariant(), "S1"}},
                   {RowStatus::Modified, {"001", QStringLiteral("旧名字"), QVariant(), "S1"}, {"001", QStringLiteral("新名字"), QVariant(), "S1"}},
                   {RowStatus::Inserted, {}, {"009", QStringLiteral("外校组"), QVariant(), "S2"}}}), admin);
    ASSERT_TRUE(r.ok()) << "refused rows are counted, not failed";
    EXPECT_EQ(std::get<qint64>(r.refs.value(2)), 2);
    EXPECT_TRUE(r.message.contains("changed or deleted by someone else")) << r.message.toStdString();
    EXPECT_EQ(depts().size(), 2);

    // Without the dialog's "Manager" right, or with the count not by reference: nothing stored.
    const auto insert003 = packet({{RowStatus::Inserted, {}, {"003", QStringLiteral("英语组"), QVariant(), "S1"}}});
    EXPECT_EQ(up(insert003, fx->signIn("wang", "pw6")).error, ErrorCode::Forbidden);
    r = fx->call("StudentUp", "UpDept", {val(insert003), val(qint64(-1)), val(qint64(0))}, admin);
    EXPECT_EQ(r.error, ErrorCode::BadArguments);
    EXPECT_EQ(fx->call("StudentUp", "UpDept", {txt("not a packet"), val(qint64(-1)), ref(qint64(0))}, admin).error, ErrorCode::BadArguments);
    auto noKey = insert003;
    noKey.fields.removeFirst();
    for (wire::RowChange &row : noKey.rows) row.newValues.removeFirst();
    EXPECT_EQ(up(noKey, admin).error, ErrorCode::BadArguments) << "a packet without the table's key";
    EXPECT_EQ(depts().size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServiceTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
