// HTTPS between the transport's server and link, with certificates made for each run: a school's
// own authority, server certificates it signs, and certificates nobody vouches for.

#include "fakes.h"
#include "rawclient.h"
#include "testcerts.h"

#include "link/clientsession.h"
#include "link/httplink.h"
#include "server/cli/cli.h"
#include "server/http/httpserver.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::testing;

namespace {

const QString kAltNames = QStringLiteral("DNS:localhost,IP:127.0.0.1,IP:::1");

class Tls : public ::testing::Test {
protected:
    // One set of certificates for the whole suite, in a folder that lives as long as it.
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        ASSERT_TRUE(dir->isValid());
        const TestCertificate ca = TestCertificate::authority(QStringLiteral("杭州市教育局 根证书"));
        const TestCertificate server = TestCertificate::server(&ca, QStringLiteral("localhost"), kAltNames);
        const TestCertificate otherHost = TestCertificate::server(&ca, QStringLiteral("成绩服务器"), QStringLiteral("DNS:gradebook.example.cn"));
        const TestCertificate expired = TestCertificate::server(&ca, QStringLiteral("localhost"), kAltNames, -60, -1);
        const TestCertificate stranger = TestCertificate::server(nullptr, QStringLiteral("localhost"), kAltNames);
        const TestCertificate intermediate = TestCertificate::server(&ca, QStringLiteral("西湖区分局"), QString(), -1, 365, true);
        const TestCertificate chained = TestCertificate::server(&intermediate, QStringLiteral("localhost"), kAltNames);

        const QList<std::pair<const char *, QByteArray>> files = {
            {"ca.crt", ca.certificatePem()},
            {"server.crt", server.certificatePem()},
            {"server.key", server.keyPem()},
            {"server-locked.key", server.keyPem("school-secret")},
            {"other-host.crt", otherHost.certificatePem()},
            {"other-host.key", otherHost.keyPem()},
            {"expired.crt", expired.certificatePem()},
            {"expired.key", expired.keyPem()},
            {"stranger.crt", stranger.certificatePem()},
            {"stranger.key", stranger.keyPem()},
            {"chained.crt", chained.certificatePem() + intermediate.certificatePem()},
            {"chained-alone.crt", chained.certificatePem()},
            {"chained.key", chained.keyPem()},
            {"garbage.pem", "-----BEGIN CERTIFICATE-----\nbm8gY2VydGlmaWNhdGUgYXQgYWxs\n-----END CERTIFICATE-----\n"},
            {"notes.txt", "school timetable, not a certificate\n"},
        };
        for (const auto &[name, bytes] : files)
            ASSERT_TRUE(writeFile(path(name), bytes)) << name;
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    static QString path(const char *name) { return dir->filePath(QString::fromLatin1(name)); }

    static HttpServerOptions tlsOptions(const char *certificate, const char *key)
    {
        HttpServerOptions o;
        o.tlsCertificate = path(certificate);
        o.tlsKey = path(key);
        return o;
    }

    void start(HttpServerOptions options = tlsOptions("server.crt", "server.key"))
    {
        server = std::make_unique<HttpServer>(school, options);
        QString why;
        ASSERT_TRUE(server->listen(&why)) << why.toStdString();
    }

    // A link to the running server under the given address, trusting the authorities in caFile
    // (none: the system's).
    HttpLinkOptions linkTo(const QString &url, const char *caFile = "ca.crt") const
    {
        QString why;
        std::optional<HttpLinkOptions> o = HttpLinkOptions::fromUrl(url, &why);
        EXPECT_TRUE(o) << why.toStdString();
        if (!o) return {};
        if (caFile) o->caFile = path(caFile);
        o->connectTimeout = std::chrono::seconds(5);
        o->readTimeout = std::chrono::seconds(20);
        return *o;
    }
    HttpLinkOptions link(const char *caFile = "ca.crt") const { return linkTo(server->url(), caFile); }

    Reply signIn(const HttpLinkOptions &options)
    {
        HttpLink l(options);
        return ClientSession(l).signIn(kLogin, kPassword, QStringLiteral("教务处-01"));
    }

    static inline QTemporaryDir *dir = nullptr;
    FakeSchool school;
    std::unique_ptr<HttpServer> server;
};

TEST_F(Tls, SignsInAndCallsOverHttpsTrustingTheSchoolsOwnAuthority)
{
    start();
    ASSERT_EQ(server->url(), QStringLiteral("https://127.0.0.1:%1").arg(server->port()));

    Reply r;
    {
        HttpLink secure(link());
        EXPECT_EQ(secure.options().url(), server->url());
        ClientSession session(secure);
        r = session.signIn(kLogin, kPassword, QStringLiteral("教务处-01"));
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        r = session.call(QStringLiteral("StudentQry"), QStringLiteral("QStudByGrade"),
                         {{QStringLiteral("3301001"), false}, {qint64(2012), false}, {QStringLiteral("07"), false}, {wire::Null{}, true}});
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(r.result, Value(classList()));
        EXPECT_EQ(r.refs.value(3), Value(qint64(2)));
        EXPECT_EQ(school.last(QStringLiteral("StudentQry.QStudByGrade")).token, session.token());
        EXPECT_EQ(school.lastPeer(), QStringLiteral("127.0.0.1"));
        // A large packet crosses in many TLS records and comes back whole.
        r = session.call(QStringLiteral("SysQry"), QStringLiteral("Back"), {{students(5'000), true}});
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(r.refs.value(0), Value(students(5'000)));
        EXPECT_TRUE(session.signOut().ok());
        EXPECT_EQ(school.openSessions(), 0);
    } // closes the kept-alive connection, which would hold the server's stop() until it is idle

    // By name: the certificate's DNS entry for localhost matches as well as its address.
    r = signIn(linkTo(QStringLiteral("https://localhost:%1/").arg(server->port())));
    EXPECT_TRUE(r.ok()) << r.message.toStdString();

    // lumeko-cli with --ca.
    QString out, err;
    {
        QTextStream o(&out), e(&err);
        const int code = cli::run({QStringLiteral("--server"), server->url(), QStringLiteral("--ca"), path("ca.crt"), QStringLiteral("--user"), kLogin,
                                   QStringLiteral("--password"), kPassword, QStringLiteral("whoami")},
                                  o, e, cli::httpLinks());
        EXPECT_EQ(code, cli::Success) << err.toStdString();
    }
    EXPECT_TRUE(out.contains(QStringLiteral("SchoolName\t杭州市第一中学\n"))) << out.toStdString();

    // Connections the server closes (here after every second call) are opened and verified again.
    HttpServerOptions closing = tlsOptions("server.crt", "server.key");
    closing.keepAliveMaxCount = 2;
    start(closing);
    {
        HttpLink again(link());
        ClientSession session(again);
        ASSERT_TRUE(session.signIn(kLogin, kPassword, QStringLiteral("教务处-01")).ok());
        for (qint64 i = 0; i < 5; ++i) {
            r = session.call(QStringLiteral("SysQry"), QStringLiteral("Back"), {{i, false}});
            ASSERT_TRUE(r.ok()) << i << ": " << r.message.toStdString();
            EXPECT_EQ(r.result, Value(i));
        }
    }

    // A server whose file holds its certificate and then the intermediate authority that signed
    // it: clients that trust only the root still verify it. Without the intermediate they cannot.
    start(tlsOptions("chained.crt", "chained.key"));
    r = signIn(link());
    EXPECT_TRUE(r.ok()) << r.message.toStdString();
    start(tlsOptions("chained-alone.crt", "chained.key"));
    r = signIn(link());
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("certificate could not be verified"))) << r.message.toStdString();
}

TEST_F(Tls, CertificatesThatDoNotVerifyAreRefusedBeforeAnythingIsSent)
{
    start();
    const QString url = server->url();
    auto expectRefused = [&](const Reply &r, const QString &why) {
        EXPECT_EQ(r.error, ErrorCode::Internal);
        EXPECT_TRUE(r.message.startsWith(QStringLiteral("Session.SignIn: the server's certificate could not be verified"))) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(url)) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(why)) << r.message.toStdString();
    };

    // Trusting only an unrelated certificate, however much it looks like the server's.
    expectRefused(signIn(link("stranger.crt")), QStringLiteral("stranger.crt have not signed it"));
    // Trusting only the system's authorities, which have never heard of the school's.
    expectRefused(signIn(link(nullptr)), QStringLiteral("--ca FILE"));

    // A certificate the school's authority did sign, but for another host.
    start(tlsOptions("other-host.crt", "other-host.key"));
    const QString otherUrl = server->url();
    Reply r = signIn(link());
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("certificate could not be verified")) && r.message.contains(otherUrl) &&
                r.message.contains(QStringLiteral("mismatch")))
        << r.message.toStdString();
    r = signIn(linkTo(QStringLiteral("https://localhost:%1").arg(server->port())));
    EXPECT_TRUE(r.message.contains(QStringLiteral("certificate could not be verified")) && r.message.contains(QStringLiteral("mismatch")))
        << r.message.toStdString();

    // A self-signed server certificate, to a client that trusts the system's authorities.
    start(tlsOptions("stranger.crt", "stranger.key"));
    r = signIn(link(nullptr));
    EXPECT_TRUE(r.message.contains(QStringLiteral("certificate could not be verified")) && r.message.contains(QStringLiteral("self-signed")))
        << r.message.toStdString();

    // An authority file that is none: said before any connection is made.
    for (const auto &[file, why] :
         {std::pair("notes.txt", "holds no PEM certificate"), std::pair("garbage.pem", "holds no PEM certificate"), std::pair("missing.crt", "cannot read")}) {
        r = signIn(link(file));
        EXPECT_EQ(r.error, ErrorCode::Internal) << file;
        EXPECT_TRUE(r.message.contains(QString::fromLatin1(why)) && r.message.contains(path(file))) << r.message.toStdString();
    }

    // lumeko-cli says the same and exits with 1.
    QString out, err;
    {
        QTextStream o(&out), e(&err);
        const int code = cli::run({QStringLiteral("--server"), server->url(), QStringLiteral("--ca"), path("ca.crt"), QStringLiteral("--user"), kLogin,
                                   QStringLiteral("--password"), kPassword, QStringLiteral("whoami")},
                                  o, e, cli::httpLinks());
        EXPECT_EQ(code, cli::ServerError);
    }
    EXPECT_TRUE(err.startsWith(QStringLiteral("Internal: Session.SignIn: the server's certificate could not be verified"))) << err.toStdString();
    EXPECT_TRUE(out.isEmpty());

    // No password ever reached a service.
    EXPECT_EQ(school.callCount(), 0);
}

TEST_F(Tls, PlainHttpAndHttpsDoNotMix)
{
    // An http:// client at the HTTPS port gets no answer it could mistake for one, and its call
    // goes nowhere.
    start();
    HttpLinkOptions plain = linkTo(QStringLiteral("http://127.0.0.1:%1").arg(server->port()), nullptr);
    Reply r = signIn(plain);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(plain.url()) && r.message.contains(QStringLiteral("give its https:// address"))) << r.message.toStdString();
    EXPECT_EQ(school.callCount(), 0);

    // An https:// client at a plain HTTP port: no secure connection, and no falling back to plain.
    FakeSchool other;
    HttpServer plainServer(other);
    ASSERT_TRUE(plainServer.listen());
    const HttpLinkOptions secure = linkTo(QStringLiteral("https://127.0.0.1:%1").arg(plainServer.port()));
    r = signIn(secure);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("no secure connection")) && r.message.contains(secure.url())) << r.message.toStdString();
    EXPECT_EQ(other.callCount(), 0);

    // Both servers still serve the clients that speak their language.
    EXPECT_TRUE(signIn(link()).ok());
    EXPECT_TRUE(signIn(linkTo(plainServer.url(), nullptr)).ok());
}

TEST_F(Tls, HandshakesThatNeverComeOrTrickleAreCutOff)
{
    // A connection's time to begin its request includes its TLS handshake: one client sends
    // nothing, another the start of a 512-byte handshake record and then a byte every 100 ms,
    // long within the per-read time-out. Both are cut off, and a teacher signs in meanwhile.
    using namespace std::chrono_literals;
    HttpServerOptions o = tlsOptions("server.crt", "server.key");
    o.keepAliveTimeout = 1s;
    o.readTimeout = o.writeTimeout = 60s;
    start(o);
    lumeko::testing::RawClient silent(server->port()), trickling(server->port());
    ASSERT_TRUE(trickling.send(std::string("\x16\x03\x01\x02\x00", 5)));
    EXPECT_TRUE(signIn(link()).ok());
    bool cutOff = false;
    for (int i = 0; i < 300 && !cutOff; ++i) { // 30 s at most; the whole record would take 51 s
        cutOff = !trickling.send(std::string(1, '\0')) || trickling.closedByServer();
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(cutOff);
    bool closed = false;
    silent.readUntilClosed(30s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(signIn(link()).ok());
}

TEST_F(Tls, ServerSaysWhyItsCertificateOrKeyCannotBeUsed)
{
    struct Case {
        const char *certificate, *key, *why, *named; // named: the file the reason must name
    };
    const Case cases[] = {
        {"missing.crt", "server.key", "cannot read the certificate file", "missing.crt"},
        {"notes.txt", "server.key", "holds no PEM certificate", "notes.txt"},
        {"garbage.pem", "server.key", "holds no PEM certificate", "garbage.pem"},
        {"server.crt", "missing.key", "cannot read the key file", "missing.key"},
        {"server.crt", "notes.txt", "holds no PEM private key", "notes.txt"},
        {"server.crt", "stranger.key", "does not belong to the certificate", "stranger.key"},
        {"server.crt", "server-locked.key", "protected by a passphrase", "server-locked.key"},
        {"expired.crt", "expired.key", "expired on", "expired.crt"},
        {"server.crt", nullptr, "private key as well", nullptr},
        {nullptr, "server.key", "certificate as well", nullptr},
    };
    for (const Case &c : cases) {
        HttpServerOptions o;
        if (c.certificate) o.tlsCertificate = path(c.certificate);
        if (c.key) o.tlsKey = path(c.key);
        HttpServer bad(school, o);
        QString why;
        EXPECT_FALSE(bad.listen(&why)) << c.why;
        EXPECT_FALSE(bad.isRunning());
        EXPECT_EQ(bad.port(), 0);
        EXPECT_TRUE(why.contains(QString::fromLatin1(c.why))) << c.why << ": " << why.toStdString();
        if (c.named) {
            EXPECT_TRUE(why.contains(path(c.named))) << why.toStdString();
        }
    }

    // run() says the same, and a server that cannot start can start once its files are right.
    HttpServer server(school, tlsOptions("server.crt", "stranger.key"));
    QString why;
    EXPECT_FALSE(server.run(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("does not belong"))) << why.toStdString();
    HttpServer fixed(school, tlsOptions("server.crt", "server.key"));
    std::atomic<bool> ran{false};
    std::thread runner([&] { ran = fixed.run(&why); });
    while (!fixed.isRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(fixed.url().startsWith(QStringLiteral("https://")));
    HttpLinkOptions o = linkTo(fixed.url());
    EXPECT_TRUE(signIn(o).ok());
    fixed.stop();
    runner.join();
    EXPECT_TRUE(ran);
}

} // namespace
