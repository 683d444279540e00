// The lumeko-server program: killed outright while teachers are saving, every save it had
// acknowledged is there after a restart and the file is intact; init, backup and their refusals;
// serving HTTPS with a school's own certificates, and the refusal of files that are none; serving
// teachers while other clients trickle, idle, send oversized bodies and guess passwords at once.

#include "fixtureschool.h"
#include "tests/http/rawclient.h"

#include "link/clientsession.h"
#include "link/httplink.h"
#include "server/storage/migrations.h"

#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::server::testing;

namespace {

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Starts lumeko-server on the database and waits until it answers a sign-in.
class ServerProcess {
public:
    ServerProcess(const DatabaseUrl &db, const QString &files) : m_port(freePort())
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(LUMEKO_SERVER_BIN),
                        {"serve", "--db", db.toString(), "--listen", QStringLiteral("127.0.0.1:%1").arg(m_port), "--files", files, "--threads", "16"});
    }
    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    int port() const { return m_port; }
    HttpLinkOptions link() const
    {
        HttpLinkOptions o;
        o.port = m_port;
        o.readTimeout = std::chrono::seconds(10);
        return o;
    }
    bool waitUntilServing()
    {
        HttpLink link(this->link());
        ClientSession s(link);
        for (int i = 0; i < 100; ++i) {
            if (s.signIn("admin", "lumeko", "probe").ok()) return true;
            QThread::msleep(100);
        }
        return false;
    }
    void killHard()
    {
        m_process.kill(); // SIGKILL: no chance to flush or close anything
        m_process.waitForFinished();
    }

private:
    int m_port;
    QProcess m_process;
};

// A school's server open to the district's network: the faults found when it was tried from
// outside, each while a teacher works.
TEST(ServerUnderAbuse, TricklingIdleOversizedAndGuessingClientsLeaveTheSchoolServed)
{
    using lumeko::testing::RawClient;
    using namespace std::chrono_literals;
    QTemporaryDir dir;
    DatabaseUrl url;
    url.backend = Backend::Sqlite;
    url.path = dir.filePath("school.db");
    {
        Database db(url);
        migrate(db);
        seedFixtureSchool(db);
    }
    ServerProcess server(url, dir.filePath("files"));
    ASSERT_TRUE(server.waitUntilServing()) << "lumeko-server did not start";

    // 64 clients on eight addresses send their headers a byte every 200 ms (a request takes them
    // two minutes), and 300 on another ten connect and send nothing.
    const std::string header = "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + std::string(600, 'p') + "\r\nContent-Length: 10\r\n\r\n";
    std::vector<std::unique_ptr<RawClient>> slow, idle;
    for (int i = 0; i < 64; ++i)
        slow.push_back(std::make_unique<RawClient>(server.port(), QStringLiteral("127.0.1.%1").arg(i % 8 + 1).toLatin1().constData()));
    for (int i = 0; i < 300; ++i)
        idle.push_back(std::make_unique<RawClient>(server.port(), QStringLiteral("127.0.2.%1").arg(i % 10 + 1).toLatin1().constData()));
    std::vector<size_t> sent(slow.size(), 0);
    std::vector<bool> cutOff(slow.size(), false);
    struct Trickle {
        std::atomic<bool> stop{false};
        std::thread thread;
        ~Trickle()
        {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    } trickle;
    trickle.thread = std::thread([&] {
        while (!trickle.stop) {
            for (size_t i = 0; i < slow.size(); ++i) {
                if (cutOff[i]) continue;
                if (!slow[i]->send(header.substr(sent[i], 1)) || slow[i]->closedByServer())
                    cutOff[i] = true;
                else
                    ++sent[i];
            }
            std::this_thread::sleep_for(200ms);
        }
    });

    // A teacher signs in and works meanwhile.
    {
        HttpLink link(server.link());
        ClientSession session(link);
        const wire::Reply in = session.signIn("wang", "pw6", "PC-1");
        ASSERT_TRUE(in.ok()) << in.message.toStdString();
        const wire::Reply date = session.call("SysQry", "DBDate", {});
        EXPECT_TRUE(date.ok()) << date.message.toStdString();
    }

    // A body announced at 200 MB (the server takes 64 MB at most) is refused before a byte of it
    // is sent.
    {
        RawClient big(server.port());
        ASSERT_TRUE(big.send("POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nContent-Length: 209715200\r\n\r\n"));
        const std::string got = big.readUntilClosed(30s);
        EXPECT_EQ(lumeko::testing::statusLine(got).substr(0, 12), "HTTP/1.1 413") << got.substr(0, 100);
        EXPECT_EQ(lumeko::testing::replyIn(got).error, wire::ErrorCode::TooLarge);
    }

    // 48 wrong passwords for the administrator from this address at once: five are checked, the
    // rest refused unchecked.
    std::mutex mutex;
    QStringList answers;
    std::vector<std::thread> guessers;
    for (int i = 0; i < 48; ++i) {
        guessers.emplace_back([&, i] {
            HttpLink link(server.link());
            wire::Call signIn{"Session", "SignIn", {}, {val(QStringLiteral("admin")), val(QStringLiteral("guess-%1").arg(i)), txt("PC")}};
            const wire::Reply r = link.call(signIn);
            std::lock_guard lock(mutex);
            answers << r.message;
        });
    }
    for (std::thread &t : guessers)
        t.join();
    EXPECT_EQ(answers.count("the login or the password is wrong"), 5) << answers.join(u'\n').toStdString();
    EXPECT_EQ(answers.filter("too many failed sign-ins; try again in").size(), 43);
    // The administrator at another computer signs in; from the guessing address he waits.
    {
        RawClient elsewhere(server.port(), "127.0.0.2");
        wire::Call signIn{"Session", "SignIn", {}, {txt("admin"), txt("lumeko"), txt("PC-2")}};
        ASSERT_TRUE(elsewhere.send(lumeko::testing::callRequest(wire::encodeCall(signIn).toStdString())));
        const wire::Reply r = lumeko::testing::replyIn(elsewhere.readAnswer(30s));
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(std::get<QString>(r.result).size(), 64) << "a session token";
        HttpLink link(server.link());
        EXPECT_TRUE(ClientSession(link).signIn("admin", "lumeko", "PC-1").message.contains("too many failed sign-ins"));
    }

    // Every trickling client is cut off long before its request could be whole, and every idle
    // connection is closed.
    for (auto &c : slow) {
        bool closed = false;
        c->readUntilClosed(60s, &closed);
        EXPECT_TRUE(closed);
    }
    for (auto &c : idle) {
        bool closed = false;
        c->readUntilClosed(60s, &closed);
        EXPECT_TRUE(closed);
    }
    trickle.stop = true;
    trickle.thread.join();
    for (size_t n : sent)
        EXPECT_LT(n, header.size());
}

TEST(Durability, EveryAcknowledgedSaveSurvivesAServerKilledMidSave)
{
    QTemporaryDir dir;
    DatabaseUrl url;
    url.backend = Backend::Sqlite;
    url.path = dir.filePath("school.db");
    {
        Database db(url);
        migrate(db);
        seedFixtureSchool(db);
    }
    const QString files = dir.filePath("files");

    ServerProcess server(url, files);
    ASSERT_TRUE(server.waitUntilServing()) << "lumeko-server did not start";

    std::mutex mutex;
    QStringList acknowledged;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&, t] {
            HttpLink link(server.link());
            ClientSession s(link);
            if (!s.signIn("admin", "lumeko", QStringLiteral("PC-%1").arg(t)).ok()) return;
            for (int n = 0; !stop; ++n) {
                const QString text = QStringLiteral("保存 c%1-%2").arg(t).arg(n);
                const wire::Reply r = s.call("SysUp", "AddLogs", {txt("S1"), txt("admin"), txt("管理员"), val(QStringLiteral("PC-%1").arg(t)), val(text)});
                if (!r.ok()) break; // the server is gone; this save was not acknowledged
                std::lock_guard lock(mutex);
                acknowledged << text;
            }
        });
    }
    // Let the clients save for a while, then kill the server in the middle of their saves.
    for (int i = 0; i < 100; ++i) {
        QThread::msleep(20);
        std::lock_guard lock(mutex);
        if (acknowledged.size() >= 300) break;
    }
    server.killHard();
    stop = true;
    for (std::thread &c : clients) c.join();
    ASSERT_GE(acknowledged.size(), 50) << "the clients must have saved before the kill";

    // A new server process recovers the database and serves again.
    ServerProcess again(url, files);
    ASSERT_TRUE(again.waitUntilServing());
    Database db(url);
    EXPECT_EQ(db.scalar("PRAGMA integrity_check").toString(), "ok");
    const auto stored = db.select("SELECT \"sText\" FROM \"XT_Log\"", {}, {{"sText", wire::FieldType::Text, 0, 0}});
    QSet<QString> present;
    for (qsizetype r = 0; r < stored.rowCount(); ++r) present.insert(stored.value(r, 0).toString());
    int missing = 0;
    for (const QString &text : acknowledged) missing += present.contains(text) ? 0 : 1;
    EXPECT_EQ(missing, 0) << "of " << acknowledged.size() << " acknowledged saves";
    EXPECT_GE(present.size(), acknowledged.size());
}

} // namespace

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

ToolRun runServerTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(LUMEKO_SERVER_BIN), args);
    p.waitForFinished(120'000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

TEST(ServerTool, InitMakesTheDemoSchoolOnceAndBackupCopiesTheDatabase)
{
    QTemporaryDir dir;
    const QString db = QStringLiteral("sqlite:") + dir.filePath("school.db");
    ToolRun r = runServerTool({"init", "--db", db, "--demo"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("admin\tlumeko")) << "the sign-ins made are printed";
    const QString students = r.out.section(QStringLiteral("score query page (/query/) with:\n"), 1);
    EXPECT_EQ(students.count(QStringLiteral("\tchaxun123\t")), 3) << "and the students' of the score query page after them: " << r.out.toStdString();
    r = runServerTool({"init", "--db", db, "--demo"});
    EXPECT_EQ(r.exitCode, 1) << "a second demo school is not poured into a database that holds one";
    EXPECT_TRUE(r.err.contains("already holds a school"));

    const QString copy = dir.filePath("copy.db");
    r = runServerTool({"backup", "--db", db, "--to", copy});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(runServerTool({"backup", "--db", db, "--to", copy}).exitCode, 1) << "an existing backup is never overwritten";
    Database original(DatabaseUrl::parse(db));
    Database backup(DatabaseUrl::parse(QStringLiteral("sqlite:") + copy));
    EXPECT_EQ(backup.scalar("PRAGMA integrity_check").toString(), "ok");
    for (const char *table : {"XJ_Student", "XJ_Family", "CJ_Mark", "JC_Teacher"}) {
        const QString sql = QStringLiteral("SELECT count(*) FROM ") + Database::quoted(QString::fromLatin1(table));
        EXPECT_GT(original.scalar(sql).toLongLong(), 0) << table;
        EXPECT_EQ(backup.scalar(sql).toLongLong(), original.scalar(sql).toLongLong()) << table;
    }

    // Usage errors say what is wrong and change nothing.
    EXPECT_EQ(runServerTool({"init"}).exitCode, 2);
    EXPECT_EQ(runServerTool({"serve", "--db", db, "--listen", "nowhere"}).exitCode, 2);
    r = runServerTool({"init", "--db", "mysql://x/y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("unknown database URL"));
}

// Runs the openssl tool in dir, as an administrator would; what it said when it failed.
QString openssl(const QTemporaryDir &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("openssl %1 failed (scripts/install-deps.sh installs the tool): %2 %3")
            .arg(args.join(u' '), p.errorString(), QString::fromLocal8Bit(p.readAll()));
    return {};
}

TEST(ServerTool, ServesHttpsWithTheSchoolsOwnCertificatesAndRefusesFilesThatAreNone)
{
    // A school's certificate authority and a server certificate it signs, made the way
    // docs/district.md makes them.
    QTemporaryDir dir;
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QString failed = openssl(dir, QStringList{"req", "-x509", "-new"} + ec +
                                      QStringList{"-days", "3650", "-subj", "/CN=Test School CA", "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-keyout",
                                                  "ca.key", "-out", "ca.crt"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    failed = openssl(dir, QStringList{"req", "-new"} + ec + QStringList{"-subj", "/CN=localhost", "-keyout", "server.key", "-out", "server.csr"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    QFile ext(dir.filePath("server.ext"));
    ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=critical,CA:FALSE\n"
              "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n");
    ext.close();
    failed = openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "825", "-extfile",
                           "server.ext", "-out", "server.crt"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();

    DatabaseUrl url;
    url.backend = Backend::Sqlite;
    url.path = dir.filePath("school.db");
    {
        Database db(url);
        migrate(db);
        seedFixtureSchool(db);
    }
    const int port = freePort();
    const QStringList serve = {"serve", "--db", url.toString(), "--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--files", dir.filePath("files")};

    // Files that cannot serve: the reason names the file, and the program stops with 1.
    struct Bad {
        QString certificate, key, why, named;
    };
    const QList<Bad> bad = {
        {dir.filePath("server.csr"), dir.filePath("server.key"), "holds no PEM certificate", dir.filePath("server.csr")},
        {dir.filePath("server.crt"), dir.filePath("ca.key"), "does not belong to the certificate", dir.filePath("ca.key")},
        {dir.filePath("server.crt"), dir.filePath("gone.key"), "cannot read the key file", dir.filePath("gone.key")},
    };
    for (const Bad &b : bad) {
        const ToolRun r = runServerTool(serve + QStringList{"--tls-cert", b.certificate, "--tls-key", b.key});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("cannot serve: ") && r.err.contains(b.why) && r.err.contains(b.named)) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("serving")) << r.out.toStdString();
    }
    ToolRun r = runServerTool(serve + QStringList{"--tls-cert", dir.filePath("server.crt")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--tls-key")) << r.err.toStdString();

    // The right files: the start-up line gives the https:// address, with no warning, and a
    // client that trusts the school's authority signs in.
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(QStringLiteral(LUMEKO_SERVER_BIN), serve + QStringList{"--tls-cert", dir.filePath("server.crt"), "--tls-key", dir.filePath("server.key")});
    QString out;
    while (!out.contains(u'\n') && server.waitForReadyRead(30'000))
        out += QString::fromUtf8(server.readAllStandardOutput());
    ASSERT_TRUE(out.startsWith("serving ")) << out.toStdString() << server.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" at https://127.0.0.1:%1 ").arg(port))) << out.toStdString();
    QThread::msleep(200);
    out += QString::fromUtf8(server.readAllStandardOutput());
    EXPECT_FALSE(out.contains("WARNING")) << out.toStdString();

    HttpLinkOptions o = *HttpLinkOptions::fromUrl(QStringLiteral("https://localhost:%1").arg(port));
    o.caFile = dir.filePath("ca.crt");
    {
        HttpLink link(o);
        ClientSession s(link);
        const wire::Reply signedIn = s.signIn("admin", "lumeko", "PC-1");
        EXPECT_TRUE(signedIn.ok()) << signedIn.message.toStdString();
        s.signOut();
    }
    // Without the school's authority the same server is refused.
    o.caFile.clear();
    HttpLink untrusting(o);
    const wire::Reply refused = ClientSession(untrusting).signIn("admin", "lumeko", "PC-1");
    EXPECT_EQ(refused.error, wire::ErrorCode::Internal);
    EXPECT_TRUE(refused.message.contains("certificate could not be verified")) << refused.message.toStdString();

    server.terminate(); // SIGTERM: an orderly stop
    ASSERT_TRUE(server.waitForFinished(30'000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(server.readAllStandardOutput()).contains("stopped"));
}

} // namespace
