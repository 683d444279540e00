#include "fakes.h"

#include "link/clientsession.h"
#include "server/cli/cli.h"
#include "server/http/httpserver.h"
#include "wire/codec.h"
#include "wire/protocol/methods.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <ctime>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::testing;

namespace {

TEST(ClientSession, SignsInCarriesTheTokenAndChecksWhatComesBack)
{
    FakeSchool school;
    LocalLink link(school);
    ClientSession session(link);
    Reply r = session.signIn(kLogin, QStringLiteral("错误"), QStringLiteral("教务处-01"));
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_FALSE(session.isSignedIn());

    ASSERT_TRUE(session.signIn(kLogin, kPassword, QStringLiteral("教务处-01")).ok());
    EXPECT_EQ(session.token(), QStringLiteral("T-1"));
    EXPECT_EQ(school.last(QStringLiteral("Session.SignIn")).args.value(2).value, Value(QStringLiteral("教务处-01")));
    EXPECT_TRUE(session.call(QStringLiteral("SysQry"), QStringLiteral("Back"), {{qint64(1), true}}).ok());
    EXPECT_EQ(school.last(QStringLiteral("SysQry.Back")).token, QStringLiteral("T-1"));
    EXPECT_TRUE(session.context().ok());
    EXPECT_TRUE(session.signOut().ok());
    EXPECT_FALSE(session.isSignedIn());
    EXPECT_EQ(school.openSessions(), 0);
    EXPECT_EQ(session.call(QStringLiteral("SysQry"), QStringLiteral("Back")).error, ErrorCode::NotSignedIn);

    // A server whose answers are no token and no one-row context.
    FakeService odd;
    Value answered = qint64(42);
    odd.on(QStringLiteral("Session.SignIn"), [&](Call &, const CallOrigin &) { return answer(answered); });
    odd.on(QStringLiteral("Session.Context"), [&](Call &, const CallOrigin &) { return answer(answered); });
    LocalLink oddLink(odd);
    ClientSession confused(oddLink);
    for (const Value &v : {Value(qint64(42)), Value(QString())}) {
        answered = v;
        EXPECT_EQ(confused.signIn(kLogin, kPassword, QString()).error, ErrorCode::Internal);
        EXPECT_FALSE(confused.isSignedIn());
    }
    for (const Value &v : {Value(QStringLiteral("张老师")), Value(students(2))}) {
        answered = v;
        r = confused.context();
        EXPECT_EQ(r.error, ErrorCode::Internal);
        EXPECT_FALSE(r.message.isEmpty());
    }
}

struct Outcome {
    int code = -1;
    QString out, err;
};

const char *const kClassListTsv =
    "sCode\tsName\tiClassNo\tfScore\tbSelected\tdBirthday\ttEntered\timgPhoto\n"
    "{A}\t王小明\t1\t98.5\ttrue\t2012-09-01\t2024-09-01T08:00:00+08:00\t<3 bytes>\n"
    "{B}\t李\\t\"四\"\t\t\tfalse\t\t\t\n";

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Date-times print in local time with its offset; the expected texts are in Beijing time.
        qputenv("TZ", "CST-8");
        tzset();
    }
    void SetUp() override { qunsetenv("LUMEKO_PASSWORD"); }

    Outcome run(const QStringList &args, const cli::LinkFactory &links)
    {
        Outcome o;
        QTextStream out(&o.out), err(&o.err);
        o.code = cli::run(args, out, err, links);
        out.flush();
        err.flush();
        return o;
    }
    // Over an in-process link to the fake school; records the address each link was made for.
    Outcome run(const QStringList &args)
    {
        return run(args, [this](const cli::ServerAddress &server, QString *) {
            urls.append(server.url);
            caFiles.append(server.caFile);
            return std::make_unique<LocalLink>(school);
        });
    }
    static QStringList signedIn(const char *command)
    {
        return QStringList{QStringLiteral("--server"), QStringLiteral("http://school:8210"), QStringLiteral("--user"), kLogin,
                           QStringLiteral("--password"), kPassword}
               + QString::fromUtf8(command).split(u' ', Qt::SkipEmptyParts);
    }

    FakeSchool school;
    QStringList urls, caFiles;
};

TEST_F(Cli, ArgumentsAreTypedByTheirPrefix)
{
    QTemporaryDir dir;
    auto file = [&](const char *name, const QByteArray &bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return u'@' + f.fileName();
    };
    wire::ChangePacket delta;
    delta.fields = classList().fields();
    delta.rows.append({wire::RowStatus::Deleted, classList().row(1), {}});
    const QStringList files = {file("list.cbor", wire::encodeDataPacket(classList())), file("delta.cbor", wire::encodeChangePacket(delta)) + u'&'};

    const Outcome o = run(signedIn("call SysQry Back i:2012 s:0701 s: f:1.5 f:-2e3 b:true d:2024-09-01 t:2024-09-01T08:00:00 "
                                   "null i:-7& s:AT&T& null& s:班级&&") + files);
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    const QList<wire::Argument> expected = {
        {qint64(2012), false}, {QStringLiteral("0701"), false}, {QStringLiteral(""), false}, {1.5, false}, {-2000.0, false},
        {true, false}, {QDate(2024, 9, 1), false}, {QDateTime(QDate(2024, 9, 1), QTime(8, 0)), false}, {wire::Null{}, false},
        {qint64(-7), true}, {QStringLiteral("AT&T"), true}, {wire::Null{}, true}, {QStringLiteral("班级&"), true},
        {classList(), false}, {delta, true}};
    const Call seen = school.last(QStringLiteral("SysQry.Back"));
    EXPECT_EQ(seen.token, QStringLiteral("T-1"));
    ASSERT_EQ(seen.args.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen.args[i].value.index(), expected[i].value.index()) << i;
        EXPECT_EQ(seen.args[i], expected[i]) << i;
    }
    EXPECT_EQ(urls, QStringList{QStringLiteral("http://school:8210")});
    EXPECT_EQ(school.openSessions(), 0); // signed out again

    // Anything else is a usage error, found before any server is asked.
    const QList<std::pair<QString, QString>> bad = {
        {QStringLiteral("x:1"), QStringLiteral("unknown type")},        {QStringLiteral("2012"), QStringLiteral("no type")},
        {QStringLiteral("i:12a"), QStringLiteral("not an integer")},    {QStringLiteral("i: 12"), QStringLiteral("not an integer")},
        {QStringLiteral("f:inf"), QStringLiteral("not a number")},      {QStringLiteral("b:yes"), QStringLiteral("true or false")},
        {QStringLiteral("d:2024-13-01"), QStringLiteral("not a date")}, {QStringLiteral("t:yesterday"), QStringLiteral("not a date-time")},
        {u'@' + dir.filePath(QStringLiteral("missing.cbor")), QStringLiteral("cannot read")},
        {file("junk.cbor", "no packet at all"), QStringLiteral("neither a data packet")},
    };
    const int calls = school.callCount();
    for (const auto &[arg, why] : bad) {
        const Outcome b = run(signedIn("call SysQry Back s:ok") << arg);
        EXPECT_EQ(b.code, cli::UsageError) << arg.toStdString();
        EXPECT_TRUE(b.err.contains(QStringLiteral("argument '%1'").arg(arg)) && b.err.contains(why)) << b.err.toStdString();
        EXPECT_TRUE(b.err.contains(QStringLiteral("usage: lumeko-cli")));
    }
    EXPECT_EQ(school.callCount(), calls);
    EXPECT_EQ(urls.size(), 1);
}

TEST_F(Cli, WrongCommandLinesAreUsageErrors)
{
    auto line = [](const char *text) { return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts); };
    const QList<std::pair<QStringList, QString>> bad = {
        {line("--user u --password p whoami"), QStringLiteral("--server is missing")},
        {line("--server http://s:1 --user u whoami"), QStringLiteral("--password is missing")},
        {line("--server http://s:1 --user u --password p --verbose whoami"), QStringLiteral("unknown option --verbose")},
        {line("--server http://s:1 --user u --password"), QStringLiteral("--password needs a value")},
        {signedIn(""), QStringLiteral("no command")},
        {signedIn("list"), QStringLiteral("unknown command 'list'")},
        {signedIn("call SysQry"), QStringLiteral("an object and a method")},
        {signedIn("whoami --json"), QStringLiteral("whoami takes no arguments")},
        {signedIn("call SysQry Back;drop"), QStringLiteral("'Back;drop' is not an object or method name")},
    };
    for (const auto &[args, why] : bad) {
        const Outcome o = run(args);
        EXPECT_EQ(o.code, cli::UsageError) << args.join(u' ').toStdString();
        EXPECT_TRUE(o.err.contains(why) && o.err.contains(QStringLiteral("usage: lumeko-cli"))) << o.err.toStdString();
    }
    EXPECT_TRUE(urls.isEmpty());

    const Outcome ftp = run(line("--server ftp://school --user u --password p whoami"), cli::httpLinks());
    EXPECT_EQ(ftp.code, cli::UsageError);
    EXPECT_TRUE(ftp.err.contains(QStringLiteral("not a server address"))) << ftp.err.toStdString();

    // --ca belongs to an https:// server, and its file must be there.
    Outcome o = run(line("--server http://school:8210 --ca ca.crt --user u --password p whoami"));
    EXPECT_EQ(o.code, cli::UsageError);
    EXPECT_TRUE(o.err.contains(QStringLiteral("--ca is for an https:// server"))) << o.err.toStdString();
    EXPECT_TRUE(urls.isEmpty());
    QTemporaryDir dir;
    o = run({QStringLiteral("--server"), QStringLiteral("https://school:8470"), QStringLiteral("--ca"), dir.filePath(QStringLiteral("ca.crt")),
             QStringLiteral("--user"), QStringLiteral("u"), QStringLiteral("--password"), QStringLiteral("p"), QStringLiteral("whoami")},
            cli::httpLinks());
    EXPECT_EQ(o.code, cli::UsageError);
    EXPECT_TRUE(o.err.contains(QStringLiteral("--ca: cannot read %1").arg(dir.filePath(QStringLiteral("ca.crt"))))) << o.err.toStdString();

    const Outcome help = run(line("--help"));
    EXPECT_EQ(help.code, cli::Success);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: lumeko-cli")) && help.err.isEmpty());

    // --name=value, and the password from the environment.
    qputenv("LUMEKO_PASSWORD", kPassword.toUtf8());
    const Outcome env = run({QStringLiteral("--server=http://school:8210"), QStringLiteral("--user=") + kLogin, QStringLiteral("whoami")});
    EXPECT_EQ(env.code, cli::Success) << env.err.toStdString();
    EXPECT_EQ(urls, QStringList{QStringLiteral("http://school:8210")});
    EXPECT_EQ(caFiles, QStringList{QString()});

    // The authority file goes to the link with the address.
    const Outcome withCa = run({QStringLiteral("--server"), QStringLiteral("https://school:8470"), QStringLiteral("--ca=/etc/lumeko/school-ca.crt"),
                                QStringLiteral("--user"), kLogin, QStringLiteral("whoami")});
    EXPECT_EQ(withCa.code, cli::Success) << withCa.err.toStdString();
    EXPECT_EQ(urls.last(), QStringLiteral("https://school:8470"));
    EXPECT_EQ(caFiles.last(), QStringLiteral("/etc/lumeko/school-ca.crt"));
}

TEST_F(Cli, ResultsPrintAsTabSeparatedTextJsonOrOneLine)
{
    Outcome o = run(signedIn("call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QString::fromUtf8(kClassListTsv) + QStringLiteral("#3\t2\n"));

    o = run(signedIn("--json call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    const QString json = QString::fromUtf8(
        "[\n"
        "  {\"sCode\": \"{A}\", \"sName\": \"王小明\", \"iClassNo\": 1, \"fScore\": 98.5, \"bSelected\": true, "
        "\"dBirthday\": \"2012-09-01\", \"tEntered\": \"2024-09-01T08:00:00+08:00\", \"imgPhoto\": \"<3 bytes>\"},\n"
        "  {\"sCode\": \"{B}\", \"sName\": \"李\\t\\\"四\\\"\", \"iClassNo\": null, \"fScore\": null, \"bSelected\": false, "
        "\"dBirthday\": null, \"tEntered\": null, \"imgPhoto\": null}\n"
        "]\n");
    EXPECT_EQ(o.out, json + QStringLiteral("#3\t2\n"));
    const QJsonArray rows = QJsonDocument::fromJson(json.toUtf8()).array(); // what a JSON reader makes of it
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("sName")].toString(), QStringLiteral("李\t\"四\""));
    EXPECT_TRUE(rows[1].toObject()[QStringLiteral("iClassNo")].isNull());

    // A packet written back comes after its index, on a line of its own; scalars take one line.
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("list.cbor")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(wire::encodeDataPacket(classList()));
    list.close();
    o = run(signedIn("call SysQry Back i:0") << u'@' + list.fileName() + u'&');
    EXPECT_EQ(o.out, QStringLiteral("0\n#1\n") + QString::fromUtf8(kClassListTsv));
    const QList<std::pair<QString, QString>> scalars = {
        {QStringLiteral("s:一\t二\\三"), QStringLiteral("一\\t二\\\\三")}, {QStringLiteral("null"), QString()},
        {QStringLiteral("f:0.1"), QStringLiteral("0.1")}, {QStringLiteral("f:100"), QStringLiteral("100")},
        {QStringLiteral("b:false"), QStringLiteral("false")}, {QStringLiteral("d:2024-02-29"), QStringLiteral("2024-02-29")},
        {QStringLiteral("t:2024-09-01T08:00:00.250"), QStringLiteral("2024-09-01T08:00:00.250+08:00")},
        {QStringLiteral("t:2024-09-01T00:00:00Z"), QStringLiteral("2024-09-01T08:00:00+08:00")},
    };
    for (const auto &[arg, printed] : scalars) {
        o = run(signedIn("call SysQry Back") << arg);
        EXPECT_EQ(o.out, printed + u'\n') << arg.toStdString() << o.err.toStdString();
    }
}

TEST_F(Cli, WhoamiPrintsWhoAndWhereFirst)
{
    Outcome o = run(signedIn("whoami"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QStringLiteral("SchoolId\t3301001\nSchoolName\t杭州市第一中学\nUserCode\t0007\nUserName\t张老师\nUserType\t2\n"
                                    "Roles\t1,3\nSchoolType\t1\nUserID\t{U-7}\nViewAllGrade\ttrue\nViewAllClass\tfalse\n"));
    o = run(signedIn("--json whoami"));
    EXPECT_EQ(o.out, QStringLiteral("{\"SchoolId\": \"3301001\", \"SchoolName\": \"杭州市第一中学\", \"UserCode\": \"0007\", "
                                    "\"UserName\": \"张老师\", \"UserType\": 2, \"Roles\": \"1,3\", \"SchoolType\": \"1\", "
                                    "\"UserID\": \"{U-7}\", \"ViewAllGrade\": true, \"ViewAllClass\": false}\n"));
}

TEST_F(Cli, ServerErrorsExitWithOne)
{
    QStringList wrongPassword = signedIn("whoami");
    wrongPassword[5] = QStringLiteral("123456");
    Outcome o = run(wrongPassword);
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_EQ(o.err, QStringLiteral("Forbidden: 用户名或密码错误\n"));
    EXPECT_TRUE(o.out.isEmpty());

    o = run(signedIn("call SysQry Nope i:1"));
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_EQ(o.err, QStringLiteral("UnknownMethod: 没有方法 SysQry.Nope\n"));
    EXPECT_EQ(school.openSessions(), 0); // signed out after the failure too

    // Over HTTP: a server that answers, then one that has gone.
    HttpServer server(school);
    ASSERT_TRUE(server.listen());
    QStringList overHttp = signedIn("call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&");
    overHttp[1] = server.url();
    o = run(overHttp, cli::httpLinks());
    EXPECT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QString::fromUtf8(kClassListTsv) + QStringLiteral("#3\t2\n"));
    EXPECT_EQ(school.lastPeer(), QStringLiteral("127.0.0.1"));
    server.stop();
    o = run(overHttp, cli::httpLinks());
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_TRUE(o.err.startsWith(QStringLiteral("Internal: Session.SignIn: cannot connect"))) << o.err.toStdString();
}

} // namespace

namespace {

TEST_F(Cli, MethodsListsEveryDeclaredMethodWithoutAServer)
{
    const Outcome o = run({QStringLiteral("methods")});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(urls.isEmpty()) << "no link was made";
    const QStringList lines = o.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), qsizetype(wire::protocol::allMethods().size()));
    for (const wire::protocol::Method *m : wire::protocol::allMethods())
        EXPECT_EQ(lines.filter(m->fullName() + u'(').size(), 1) << m->fullName().toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("StudentUp.UpFamily(Delta change packet, MaxErrors integer, out ErrorCount integer) -> nothing  "
                                              "[4009/Manager or 4009/Import]")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Session.SignIn(Login text, Password text, Computer text) -> text  [anyone]")));
    EXPECT_EQ(run({QStringLiteral("methods"), QStringLiteral("extra")}).code, 2);
}

} // namespace
