#include "school.h"

#include "server/cli/cli.h"
#include "server/http/httpserver.h"
#include "wire/codec.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <ctime>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::testing;

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Date-times print in local time with their offset; the expected texts are Beijing time.
        qputenv("TZ", "CST-8");
        tzset();
    }

    void SetUp() override { qunsetenv("LUMEKO_PASSWORD"); }

    Outcome run(const QStringList &args, const cli::LinkFactory &links)
    {
        Outcome o;
        QTextStream out(&o.out);
        QTextStream err(&o.err);
        o.code = cli::run(args, out, err, links);
        out.flush();
        err.flush();
        return o;
    }

    // Over an in-process link to the fake school; records which server each link was made for.
    Outcome run(const QStringList &args)
    {
        return run(args, [this](const QString &url, QString *) -> std::unique_ptr<ServerLink> {
            urls.append(url);
            return std::make_unique<LocalLink>(school);
        });
    }

    // The options every command needs, then the command.
    Outcome signedIn(const QStringList &command) { return run(base() + command); }
    static QStringList base()
    {
        return {QStringLiteral("--server"), QStringLiteral("http://school:8210"), QStringLiteral("--user"), kLogin,
                QStringLiteral("--password"), kPassword};
    }

    FakeSchool school;
    QStringList urls;
};

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

const char *const kClassListTsv =
    "sCode\tsName\tiClassNo\tfScore\tbSelected\tdBirthday\ttEntered\timgPhoto\n"
    "{A}\t王小明\t1\t98.5\ttrue\t2012-09-01\t2024-09-01T08:00:00+08:00\t<3 bytes>\n"
    "{B}\t李\\t\"四\"\t\t\tfalse\t\t\t\n";

TEST_F(Cli, ArgumentsAreTypedByTheirPrefix)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const wire::DataPacket data = students(3);
    wire::ChangePacket delta;
    delta.fields = data.fields();
    delta.rows.append({wire::RowStatus::Deleted, data.row(1), {}});
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString dataFile = write(QStringLiteral("students.cbor"), wire::encodeDataPacket(data));
    const QString deltaFile = write(QStringLiteral("delta.cbor"), wire::encodeChangePacket(delta));

    const Outcome o = signedIn(QStringList{QStringLiteral("call"), QStringLiteral("SysQry"), QStringLiteral("Echo")}
                               + words("i:2012 s:0701 s: f:1.5 f:-2e3 b:true b:false d:2024-09-01 t:2024-09-01T08:00:00 null "
                                       "i:-7& s:AT&T& null& s:班级&&")
                               + QStringList{u'@' + dataFile, u'@' + deltaFile + u'&'});
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    const QList<wire::Argument> expected = {
        {qint64(2012), false}, {QStringLiteral("0701"), false}, {QStringLiteral(""), false}, {1.5, false}, {-2000.0, false},
        {true, false}, {false, false}, {QDate(2024, 9, 1), false}, {QDateTime(QDate(2024, 9, 1), QTime(8, 0)), false},
        {wire::Null{}, false}, {qint64(-7), true}, {QStringLiteral("AT&T"), true}, {wire::Null{}, true},
        {QStringLiteral("班级&"), true}, {data, false}, {delta, true},
    };
    const Call seen = school.echoed();
    EXPECT_EQ(seen.token, QStringLiteral("T-1"));
    ASSERT_EQ(seen.args.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen.args[i].value.index(), expected[i].value.index()) << i;
        EXPECT_EQ(seen.args[i], expected[i]) << i;
    }
    EXPECT_EQ(urls, QStringList{QStringLiteral("http://school:8210")});
    EXPECT_EQ(school.openSessions(), 0); // signed out again

    // Anything else is a usage error, found before any server is asked.
    write(QStringLiteral("garbage.cbor"), QByteArray("no packet at all"));
    const QList<std::pair<QString, QString>> bad = {
        {QStringLiteral("x:1"), QStringLiteral("unknown type")},
        {QStringLiteral("2012"), QStringLiteral("no type")},
        {QStringLiteral("i:12a"), QStringLiteral("not an integer")},
        {QStringLiteral("i:"), QStringLiteral("not an integer")},
        {QStringLiteral("i: 12"), QStringLiteral("not an integer")},
        {QStringLiteral("i:99999999999999999999"), QStringLiteral("not an integer")},
        {QStringLiteral("f:abc"), QStringLiteral("not a number")},
        {QStringLiteral("f:inf"), QStringLiteral("not a number")},
        {QStringLiteral("b:yes"), QStringLiteral("true or false")},
        {QStringLiteral("d:2024-13-01"), QStringLiteral("not a date")},
        {QStringLiteral("d:20240901"), QStringLiteral("not a date")},
        {QStringLiteral("t:yesterday"), QStringLiteral("not a date-time")},
        {QStringLiteral("Null"), QStringLiteral("no type")},
        {QStringLiteral("@"), QStringLiteral("file name")},
        {u'@' + dir.filePath(QStringLiteral("missing.cbor")), QStringLiteral("cannot read")},
        {u'@' + dir.filePath(QStringLiteral("garbage.cbor")), QStringLiteral("neither a data packet")},
    };
    const int callsBefore = school.callCount();
    for (const auto &[arg, why] : bad) {
        const Outcome b = signedIn({QStringLiteral("call"), QStringLiteral("SysQry"), QStringLiteral("Echo"), QStringLiteral("s:ok"), arg});
        EXPECT_EQ(b.code, cli::UsageError) << arg.toStdString();
        EXPECT_TRUE(b.err.contains(QStringLiteral("argument '%1'").arg(arg))) << b.err.toStdString();
        EXPECT_TRUE(b.err.contains(why)) << arg.toStdString() << ": " << b.err.toStdString();
        EXPECT_TRUE(b.err.contains(QStringLiteral("usage: lumeko-cli"))) << arg.toStdString();
        EXPECT_TRUE(b.out.isEmpty());
    }
    EXPECT_EQ(school.callCount(), callsBefore);
    EXPECT_EQ(urls.size(), 1);
}

TEST_F(Cli, WrongCommandLinesAreUsageErrors)
{
    const QList<std::pair<QStringList, QString>> bad = {
        {{}, QStringLiteral("--server is missing")},
        {words("--user u --password p whoami"), QStringLiteral("--server is missing")},
        {words("--server http://s:1 --password p whoami"), QStringLiteral("--user is missing")},
        {words("--server http://s:1 --user u whoami"), QStringLiteral("--password is missing")},
        {words("--server http://s:1 --user u --password p --verbose whoami"), QStringLiteral("unknown option --verbose")},
        {words("--server http://s:1 --user u --password"), QStringLiteral("--password needs a value")},
        {words("--server http://s:1 --user u --password p --json=yes whoami"), QStringLiteral("--json takes no value")},
        {base(), QStringLiteral("no command")},
        {base() + words("list"), QStringLiteral("unknown command 'list'")},
        {base() + words("call SysQry"), QStringLiteral("an object and a method")},
        {base() + words("whoami extra"), QStringLiteral("whoami takes no arguments")},
        {base() + words("call Sys.Qry Echo"), QStringLiteral("'Sys.Qry' is not an object or method name")},
        {base() + words("call SysQry Echo;drop"), QStringLiteral("'Echo;drop' is not an object or method name")},
        {base() + words("whoami --json"), QStringLiteral("whoami takes no arguments")},
    };
    for (const auto &[args, why] : bad) {
        const Outcome o = run(args);
        EXPECT_EQ(o.code, cli::UsageError) << args.join(u' ').toStdString();
        EXPECT_TRUE(o.err.contains(why)) << args.join(u' ').toStdString() << ": " << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(QStringLiteral("usage: lumeko-cli"))) << args.join(u' ').toStdString();
    }
    EXPECT_TRUE(urls.isEmpty());

    // An address that is no server address, with the program's own links.
    const Outcome o = run(words("--server ftp://school --user u --password p whoami"), cli::httpLinks());
    EXPECT_EQ(o.code, cli::UsageError);
    EXPECT_TRUE(o.err.contains(QStringLiteral("not a server address"))) << o.err.toStdString();

    const Outcome help = run(words("--help"));
    EXPECT_EQ(help.code, cli::Success);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: lumeko-cli"))) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty());

    // --name=value, and the password from the environment.
    qputenv("LUMEKO_PASSWORD", kPassword.toUtf8());
    const Outcome fromEnv = run({QStringLiteral("--server=http://school:8210"), QStringLiteral("--user=") + kLogin, QStringLiteral("whoami")});
    EXPECT_EQ(fromEnv.code, cli::Success) << fromEnv.err.toStdString();
    EXPECT_EQ(school.signIns(), 1);
    EXPECT_EQ(urls.value(0), QStringLiteral("http://school:8210"));
}

TEST_F(Cli, PacketsPrintAsTabSeparatedTextOrJson)
{
    Outcome o = signedIn(words("call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QString::fromUtf8(kClassListTsv) + QStringLiteral("#3\t2\n"));
    EXPECT_TRUE(o.err.isEmpty());

    o = signedIn(words("--json call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    const char *const json =
        "[\n"
        "  {\"sCode\": \"{A}\", \"sName\": \"王小明\", \"iClassNo\": 1, \"fScore\": 98.5, \"bSelected\": true, "
        "\"dBirthday\": \"2012-09-01\", \"tEntered\": \"2024-09-01T08:00:00+08:00\", \"imgPhoto\": \"<3 bytes>\"},\n"
        "  {\"sCode\": \"{B}\", \"sName\": \"李\\t\\\"四\\\"\", \"iClassNo\": null, \"fScore\": null, \"bSelected\": false, "
        "\"dBirthday\": null, \"tEntered\": null, \"imgPhoto\": null}\n"
        "]\n";
    EXPECT_EQ(o.out, QString::fromUtf8(json) + QStringLiteral("#3\t2\n"));
    // And it is JSON that a parser takes, with the texts as they were.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QString::fromUtf8(json).toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_EQ(doc.array().size(), 2);
    EXPECT_EQ(doc.array()[1].toObject()[QStringLiteral("sName")].toString(), QStringLiteral("李\t\"四\""));
    EXPECT_TRUE(doc.array()[1].toObject()[QStringLiteral("iClassNo")].isNull());
    // The output is the document that was checked.
    EXPECT_TRUE(o.out.startsWith(QString::fromUtf8(json)));

    // A packet written back by reference comes after its index, on a line of its own.
    o = signedIn(words("call StudentQry QStudByRef s:3301001 null&"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QStringLiteral("0\n#1\n") + QString::fromUtf8(kClassListTsv));
}

TEST_F(Cli, ScalarResultsPrintOnOneLine)
{
    const QList<std::pair<QString, QString>> cases = {
        {QStringLiteral("s:张老师"), QStringLiteral("张老师")},
        {QStringLiteral("s:一\t二\\三"), QStringLiteral("一\\t二\\\\三")},
        {QStringLiteral("s:"), QString()},
        {QStringLiteral("null"), QString()},
        {QStringLiteral("i:-9007199254740993"), QStringLiteral("-9007199254740993")},
        {QStringLiteral("f:0.1"), QStringLiteral("0.1")},
        {QStringLiteral("f:100"), QStringLiteral("100")},
        {QStringLiteral("b:false"), QStringLiteral("false")},
        {QStringLiteral("d:2024-02-29"), QStringLiteral("2024-02-29")},
        {QStringLiteral("t:2024-09-01T08:00:00.250"), QStringLiteral("2024-09-01T08:00:00.250+08:00")},
        {QStringLiteral("t:2024-09-01T00:00:00Z"), QStringLiteral("2024-09-01T08:00:00+08:00")},
    };
    for (const auto &[arg, printed] : cases) {
        const Outcome o = signedIn({QStringLiteral("call"), QStringLiteral("SysQry"), QStringLiteral("Back"), arg});
        ASSERT_EQ(o.code, cli::Success) << arg.toStdString() << ": " << o.err.toStdString();
        EXPECT_EQ(o.out, printed + u'\n') << arg.toStdString();
    }
}

TEST_F(Cli, WhoamiPrintsWhoAndWhereFirst)
{
    Outcome o = signedIn(words("whoami"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QStringLiteral("SchoolId\t3301001\n"
                                    "SchoolName\t杭州市第一中学\n"
                                    "UserCode\t0007\n"
                                    "UserName\t张老师\n"
                                    "UserType\t2\n"
                                    "Roles\t1,3\n"
                                    "SchoolType\t1\n"
                                    "UserID\t{U-7}\n"
                                    "ViewAllGrade\ttrue\n"
                                    "ViewAllClass\tfalse\n"));

    o = signedIn(words("--json whoami"));
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QStringLiteral("{\"SchoolId\": \"3301001\", \"SchoolName\": \"杭州市第一中学\", \"UserCode\": \"0007\", "
                                    "\"UserName\": \"张老师\", \"UserType\": 2, \"Roles\": \"1,3\", \"SchoolType\": \"1\", "
                                    "\"UserID\": \"{U-7}\", \"ViewAllGrade\": true, \"ViewAllClass\": false}\n"));
    EXPECT_EQ(school.openSessions(), 0);
}

TEST_F(Cli, ServerErrorsExitWithOne)
{
    Outcome o = run({QStringLiteral("--server"), QStringLiteral("http://school:8210"), QStringLiteral("--user"), kLogin,
                     QStringLiteral("--password"), QStringLiteral("123456"), QStringLiteral("whoami")});
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_EQ(o.err, QStringLiteral("Forbidden: 用户名或密码错误\n"));
    EXPECT_TRUE(o.out.isEmpty());

    o = signedIn(words("call SysQry Nope i:1"));
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_EQ(o.err, QStringLiteral("UnknownMethod: 没有方法 SysQry.Nope\n"));
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_EQ(school.openSessions(), 0); // signed out after the failure too

    // A server nobody answers for.
    FakeService nobody;
    HttpServer gone(nobody);
    ASSERT_TRUE(gone.listen());
    const QString url = gone.url();
    gone.stop();
    o = run({QStringLiteral("--server"), url, QStringLiteral("--user"), kLogin, QStringLiteral("--password"), kPassword,
             QStringLiteral("whoami")},
            cli::httpLinks());
    EXPECT_EQ(o.code, cli::ServerError);
    EXPECT_TRUE(o.err.startsWith(QStringLiteral("Internal: Session.SignIn: cannot connect"))) << o.err.toStdString();
}

TEST_F(Cli, WorksOverHttp)
{
    HttpServer server(school);
    QString why;
    ASSERT_TRUE(server.listen(&why)) << why.toStdString();
    const QStringList options = {QStringLiteral("--server"), server.url(), QStringLiteral("--user"), kLogin,
                                 QStringLiteral("--password"), kPassword};

    Outcome o = run(options + words("call StudentQry QStudByGrade s:3301001 i:2012 s:07 null&"), cli::httpLinks());
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_EQ(o.out, QString::fromUtf8(kClassListTsv) + QStringLiteral("#3\t2\n"));

    o = run(options + words("whoami"), cli::httpLinks());
    ASSERT_EQ(o.code, cli::Success) << o.err.toStdString();
    EXPECT_TRUE(o.out.startsWith(QStringLiteral("SchoolId\t3301001\nSchoolName\t杭州市第一中学\n"))) << o.out.toStdString();
    EXPECT_EQ(school.lastPeer(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(school.openSessions(), 0);
}

} // namespace
