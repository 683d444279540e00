#include "fakes.h"

#include "link/httplink.h"
#include "server/http/httpserver.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::testing;

namespace {

Call echo(QList<wire::Argument> args, const QString &method = QStringLiteral("Back"))
{
    return Call{QStringLiteral("Echo"), method, QStringLiteral("tok-1"), std::move(args)};
}

Reply bodyReply(const httplib::Result &res)
{
    return wire::decodeReply(QByteArrayView(res->body.data(), qsizetype(res->body.size())));
}

class HttpTransport : public ::testing::Test {
protected:
    void SetUp() override
    {
        service.on(QStringLiteral("Echo.Back"), echoBack);
        service.on(QStringLiteral("Echo.Sleep"), [](Call &c, const CallOrigin &) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::get<qint64>(c.args[0].value)));
            return answer(c.args[0].value);
        });
        service.on(QStringLiteral("Echo.Peer"), [](Call &, const CallOrigin &origin) { return answer(origin.peer); });
        service.on(QStringLiteral("Echo.Throw"), [](Call &, const CallOrigin &) -> Reply { throw std::runtime_error("磁盘已满"); });
    }

    void start(HttpServerOptions options = {})
    {
        server = std::make_unique<HttpServer>(service, options);
        QString why;
        ASSERT_TRUE(server->listen(&why)) << why.toStdString();
    }

    HttpLinkOptions linkOptions() const
    {
        HttpLinkOptions o;
        o.port = server->port();
        o.readTimeout = std::chrono::seconds(20);
        return o;
    }

    Reply callOnce(Call call) { return HttpLink(linkOptions()).call(call); }

    FakeService service;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpTransport, EveryKindOfValueTravelsBothWays)
{
    start();
    HttpLink link(linkOptions());
    wire::ChangePacket delta;
    delta.fields = students(0).fields();
    delta.rows.append({wire::RowStatus::Modified, students(1).row(0), students(2).row(1)});
    const QList<Value> values = {wire::Null{}, QStringLiteral("王小明"), QString(), std::numeric_limits<qint64>::min(),
                                 std::numeric_limits<qint64>::max(), -1e300, true, QDate(2012, 9, 1),
                                 QDateTime(QDate(2024, 9, 1), QTime(7, 30, 15, 123)), QByteArray("\x00\xff", 2), students(9), delta};
    for (const Value &v : values) {
        Call call = echo({{v, false}});
        const Reply r = link.call(call);
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(r.result.index(), v.index()) << wire::valueKindName(v).toStdString();
        EXPECT_EQ(r.result, v) << wire::valueKindName(v).toStdString();
        EXPECT_TRUE(r.refs.isEmpty());
    }

    // By-reference arguments come back under their own indexes; the token reaches the service.
    Call call = echo({{qint64(2012), false}, {QStringLiteral("0701"), true}, {wire::Null{}, false}, {students(3), true}});
    const Reply r = link.call(call);
    EXPECT_EQ(r.refs.keys(), (QList<int>{1, 3}));
    EXPECT_EQ(r.refs.value(1), Value(QStringLiteral("0701")));
    EXPECT_EQ(r.refs.value(3), Value(students(3)));
    EXPECT_EQ(service.last(QStringLiteral("Echo.Back")).token, QStringLiteral("tok-1"));
    EXPECT_FALSE(service.last(QStringLiteral("Echo.Back")).args[2].byRef);

    // The service's own refusal arrives as it was given.
    const Reply refused = callOnce(echo({}, QStringLiteral("Missing")));
    EXPECT_EQ(refused.error, ErrorCode::UnknownMethod);
    EXPECT_EQ(refused.message, QStringLiteral("没有方法 Echo.Missing"));

    // Large packets: 20,000 rows up and back, written back by reference as well.
    const wire::DataPacket big = students(20'000);
    const Reply large = callOnce(echo({{big, true}}));
    ASSERT_TRUE(large.ok()) << large.message.toStdString();
    EXPECT_EQ(large.result, Value(big));
    EXPECT_EQ(large.refs.value(0), Value(big));
}

TEST_F(HttpTransport, RequestsTheServerRefusesGetAReplyThatSaysWhy)
{
    HttpServerOptions options;
    options.maxBodyBytes = 64 * 1024;
    options.limits.maxArguments = 4;
    start(options);
    httplib::Client raw("127.0.0.1", server->port());

    // Bytes that are no call: 400, with the decoder's own message.
    const QByteArray garbage("\x85\x01\x62hi", 5);
    QString decoderSays;
    try {
        wire::decodeCall(garbage);
    } catch (const wire::WireError &e) {
        decoderSays = e.message();
    }
    auto res = raw.Post("/call", garbage.toStdString(), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/cbor");
    EXPECT_EQ(bodyReply(res).error, ErrorCode::Malformed);
    EXPECT_EQ(bodyReply(res).message, decoderSays);
    const QByteArray whole = wire::encodeCall(echo({{QStringLiteral("0701"), false}}));
    for (const std::string &body : {whole.left(whole.size() - 2).toStdString(), std::string()}) {
        res = raw.Post("/call", body, "application/cbor");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400);
        EXPECT_EQ(bodyReply(res).error, ErrorCode::Malformed);
    }
    // A call beyond the decode limits, through the link: the refusal is the reply.
    EXPECT_EQ(callOnce(echo({{qint64(1), false}, {qint64(2), false}, {qint64(3), false}, {qint64(4), false}, {qint64(5), false}})).error,
              ErrorCode::Malformed);

    // Too large: 413, and the same link goes on with the next call.
    HttpLink link(linkOptions());
    Call tooLarge = echo({{QString(40'000, QChar(u'学')), false}}); // 120,000 bytes of UTF-8
    Reply r = link.call(tooLarge);
    EXPECT_EQ(r.error, ErrorCode::TooLarge);
    EXPECT_TRUE(r.message.contains(QStringLiteral("65536"))) << r.message.toStdString();
    Call small = echo({{QStringLiteral("0701"), false}});
    EXPECT_EQ(link.call(small).result, Value(QStringLiteral("0701")));
    res = raw.Post("/call", std::string(70'000, 'x'), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    EXPECT_EQ(bodyReply(res).error, ErrorCode::TooLarge);

    // Other paths.
    res = raw.Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "ok");
    EXPECT_EQ(raw.Post("/calls", whole.toStdString(), "application/cbor")->status, 404);
    EXPECT_EQ(raw.Get("/call")->status, 404);

    EXPECT_EQ(service.callCount(), 1); // only the small call reached the service
}

TEST_F(HttpTransport, TransportFailuresComeBackAsReplies)
{
    // A slow call times out on the client; the link opens a new connection for the next call.
    start();
    HttpLinkOptions impatient = linkOptions();
    impatient.readTimeout = std::chrono::milliseconds(300);
    Call slow = echo({{qint64(1500), false}}, QStringLiteral("Sleep"));
    Reply r;
    {
        HttpLink link(impatient);
        r = link.call(slow);
        EXPECT_EQ(r.error, ErrorCode::Timeout);
        EXPECT_TRUE(r.message.contains(QStringLiteral("Echo.Sleep")) && r.message.contains(server->url())) << r.message.toStdString();
        Call quick = echo({{qint64(5), false}}, QStringLiteral("Sleep"));
        EXPECT_EQ(link.call(quick).result, Value(qint64(5)));
    }

    // A service that breaks its promise and throws still leaves the client with an answer.
    r = callOnce(echo({}, QStringLiteral("Throw")));
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("磁盘已满"))) << r.message.toStdString();

    // Nobody listens any more on the port of a stopped server.
    const QString url = server->url();
    server->stop();
    r = HttpLink(impatient).call(slow);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("cannot connect")) && r.message.contains(url)) << r.message.toStdString();

    // Something that speaks HTTP but is no application server.
    httplib::Server other;
    other.Post("/call", [](const httplib::Request &req, httplib::Response &res) {
        if (req.body.size() % 2) {
            res.set_content("hello", "application/cbor");
        } else {
            res.status = 502;
            res.set_content("upstream gone", "text/plain");
        }
    });
    impatient.port = other.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { other.listen_after_bind(); });
    {
        HttpLink strange(impatient);
        Call odd = echo({}), even = echo({{qint64(1), false}});
        if (wire::encodeCall(odd).size() % 2 == 0) std::swap(odd, even);
        ASSERT_EQ(wire::encodeCall(even).size() % 2, 0);
        r = strange.call(odd);
        EXPECT_EQ(r.error, ErrorCode::Internal);
        EXPECT_TRUE(r.message.contains(QStringLiteral("no reply"))) << r.message.toStdString();
        r = strange.call(even);
        EXPECT_EQ(r.error, ErrorCode::Internal);
        EXPECT_TRUE(r.message.contains(QStringLiteral("HTTP 502")) && r.message.contains(QStringLiteral("upstream gone")))
            << r.message.toStdString();
    } // closes the kept-alive connection, which would hold the other server's worker
    other.stop();
    serving.join();
}

TEST_F(HttpTransport, ManyThreadsCallAtOnce)
{
    start();
    constexpr int kThreads = 16, kCalls = 150;
    std::atomic<int> wrong{0}, fromLoopback{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HttpLink link(linkOptions()); // one link per thread
            for (int n = 0; n < kCalls; ++n) {
                const qint64 id = qint64(t) * 1'000'000 + n;
                const QString text = QStringLiteral("第%1线程第%2次").arg(t).arg(n);
                Call call = echo({{id, false}, {text, true}});
                const Reply r = link.call(call);
                if (!r.ok() || r.result != Value(id) || r.refs.value(1) != Value(text)) {
                    ADD_FAILURE() << "thread " << t << " call " << n << ": " << r.message.toStdString();
                    ++wrong;
                }
            }
            Call peer = echo({}, QStringLiteral("Peer"));
            if (link.call(peer).result == Value(QStringLiteral("127.0.0.1"))) ++fromLoopback;
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(fromLoopback.load(), kThreads);
    EXPECT_EQ(service.callCount(), kThreads * (kCalls + 1));
    EXPECT_GT(service.threadCount(), 1u);
}

TEST_F(HttpTransport, ConnectionsTheServerClosedAreOpenedAgain)
{
    HttpServerOptions options;
    options.keepAliveTimeout = std::chrono::seconds(1);
    options.keepAliveMaxCount = 2; // the server closes the connection after every second call
    start(options);
    HttpLink link(linkOptions());
    for (qint64 i = 0; i < 6; ++i) {
        if (i == 5) std::this_thread::sleep_for(std::chrono::milliseconds(1600)); // longer than an idle connection is kept
        Call call = echo({{i, false}});
        const Reply r = link.call(call);
        ASSERT_TRUE(r.ok()) << i << ": " << r.message.toStdString();
        EXPECT_EQ(r.result, Value(i));
    }
}

TEST_F(HttpTransport, ServerStartsStopsAndSaysWhyItCannot)
{
    start();
    EXPECT_EQ(server->url(), QStringLiteral("http://127.0.0.1:%1").arg(server->port()));
    QString why;
    EXPECT_FALSE(server->listen(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("already listening"))) << why.toStdString();

    QList<std::pair<HttpServerOptions, QString>> wrong(5);
    wrong[0] = {{}, QStringLiteral("in use")};
    wrong[0].first.port = server->port();
    wrong[1] = {{}, QStringLiteral("worker thread")};
    wrong[1].first.workerThreads = 0;
    wrong[2] = {{}, QStringLiteral("not a TCP port")};
    wrong[2].first.port = 70'000;
    wrong[3] = {{}, QStringLiteral("largest request")};
    wrong[3].first.maxBodyBytes = 0;
    wrong[4] = {{}, QStringLiteral("no host")};
    wrong[4].first.host.clear();
    for (const auto &[options, reason] : wrong) {
        HttpServer bad(service, options);
        why.clear();
        EXPECT_FALSE(bad.listen(&why));
        EXPECT_FALSE(bad.isRunning());
        EXPECT_TRUE(why.contains(reason)) << why.toStdString();
    }

    // Stopped (twice), it listens again and answers.
    server->stop();
    server->stop();
    EXPECT_FALSE(server->isRunning());
    EXPECT_EQ(server->port(), 0);
    ASSERT_TRUE(server->listen(&why)) << why.toStdString();
    EXPECT_EQ(callOnce(echo({{QStringLiteral("again"), false}})).result, Value(QStringLiteral("again")));

    // run() serves on the calling thread until another thread stops it.
    HttpServer blocking(service);
    std::atomic<bool> ran{false};
    std::thread runner([&] { ran = blocking.run(); });
    while (!blocking.isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpLinkOptions o = linkOptions();
    o.port = blocking.port();
    Call ping = echo({{qint64(7), false}});
    EXPECT_EQ(HttpLink(o).call(ping).result, Value(qint64(7)));
    blocking.stop();
    runner.join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(blocking.isRunning());
}

TEST(HttpLinkOptions, ServerAddresses)
{
    QString why;
    auto o = HttpLinkOptions::fromUrl(QStringLiteral("http://127.0.0.1:8210"), &why);
    ASSERT_TRUE(o) << why.toStdString();
    EXPECT_EQ(o->host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(o->port, 8210);
    EXPECT_FALSE(o->tls);
    o = HttpLinkOptions::fromUrl(QStringLiteral("http://school.example.cn/"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->port, 80);
    o = HttpLinkOptions::fromUrl(QStringLiteral("http://[::1]:9000"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, QStringLiteral("::1"));
    EXPECT_EQ(o->url(), QStringLiteral("http://[::1]:9000"));

    // https: port 443 unless given, the system's authorities unless told otherwise.
    o = HttpLinkOptions::fromUrl(QStringLiteral("https://school.example.cn"), &why);
    ASSERT_TRUE(o) << why.toStdString();
    EXPECT_TRUE(o->tls);
    EXPECT_EQ(o->host, QStringLiteral("school.example.cn"));
    EXPECT_EQ(o->port, 443);
    EXPECT_TRUE(o->caFile.isEmpty());
    EXPECT_EQ(o->url(), QStringLiteral("https://school.example.cn:443"));
    o = HttpLinkOptions::fromUrl(QStringLiteral("  HTTPS://edu.hz.example.cn:8470/ "));
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->tls);
    EXPECT_EQ(o->port, 8470);
    EXPECT_EQ(o->url(), QStringLiteral("https://edu.hz.example.cn:8470"));
    o = HttpLinkOptions::fromUrl(QStringLiteral("https://[::1]:8471"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, QStringLiteral("::1"));
    EXPECT_EQ(o->url(), QStringLiteral("https://[::1]:8471"));
    o = HttpLinkOptions::fromUrl(QStringLiteral("https://127.0.0.1:80"));
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->tls) << "the scheme decides, not the port";

    for (const char *bad :
         {"127.0.0.1:8210", "ftp://school:21", "httpss://school", "http://school:8210/call", "https://school/call", "http://", "https://", "http://a:b",
          "https://school:0", "http://teacher@school:8210", "https://teacher:pw@school", "http://school:8210?x=1", "https://school#top"}) {
        why.clear();
        EXPECT_FALSE(HttpLinkOptions::fromUrl(QString::fromLatin1(bad), &why)) << bad;
        EXPECT_TRUE(why.contains(QStringLiteral("not a server address"))) << bad << ": " << why.toStdString();
    }
}

} // namespace
