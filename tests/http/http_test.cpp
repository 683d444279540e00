#include "fakes.h"

#include "server/http/httplink.h"
#include "server/http/httpserver.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <QCborStreamWriter>

#include <limits>
#include <memory>
#include <thread>
#include <vector>

using namespace lumeko;
using namespace lumeko::server;
using lumeko::testing::FakeService;
using lumeko::testing::students;
using wire::Argument;
using wire::Call;
using wire::ErrorCode;
using wire::Reply;
using wire::Value;

namespace {

// Echo.Back answers its first argument and writes every by-reference argument back as it came;
// Echo.Sleep waits the given milliseconds; Echo.Peer answers where the call came from.
void installEcho(FakeService &service)
{
    service.on(QStringLiteral("Echo.Back"), [](Call &call, const CallOrigin &) {
        Reply r;
        if (!call.args.isEmpty()) r.result = call.args[0].value;
        for (int i = 0; i < call.args.size(); ++i)
            if (call.args[i].byRef) r.refs.insert(i, call.args[i].value);
        return r;
    });
    service.on(QStringLiteral("Echo.Sleep"), [](Call &call, const CallOrigin &) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::get<qint64>(call.args[0].value)));
        return Reply{call.args[0].value, {}, ErrorCode::None, {}};
    });
    service.on(QStringLiteral("Echo.Peer"), [](Call &, const CallOrigin &origin) { return Reply{origin.peer, {}, ErrorCode::None, {}}; });
    service.on(QStringLiteral("Echo.Throw"), [](Call &, const CallOrigin &) -> Reply { throw std::runtime_error("磁盘已满"); });
}

Call echo(QList<Argument> args, const QString &method = QStringLiteral("Back"))
{
    return Call{QStringLiteral("Echo"), method, QStringLiteral("tok-1"), std::move(args)};
}

wire::ChangePacket changes()
{
    wire::ChangePacket delta;
    delta.fields = students(0).fields();
    const wire::DataPacket two = students(2);
    delta.rows.append({wire::RowStatus::Inserted, {}, two.row(0)});
    QVariantList edited = two.row(1);
    edited[1] = QStringLiteral("李思思");
    delta.rows.append({wire::RowStatus::Modified, two.row(1), edited});
    delta.rows.append({wire::RowStatus::Deleted, two.row(0), {}});
    return delta;
}

std::string bytesOf(const QByteArray &b)
{
    return std::string(b.constData(), size_t(b.size()));
}

Reply replyOf(const httplib::Result &res)
{
    return wire::decodeReply(QByteArrayView(res->body.data(), qsizetype(res->body.size())));
}

class HttpTransport : public ::testing::Test {
protected:
    void SetUp() override { installEcho(service); }

    void start(HttpServerOptions options = {})
    {
        server = std::make_unique<HttpServer>(service, options);
        QString why;
        ASSERT_TRUE(server->listen(&why)) << why.toStdString();
        ASSERT_GT(server->port(), 0);
    }

    HttpLinkOptions linkOptions() const
    {
        HttpLinkOptions o;
        o.port = server->port();
        o.connectTimeout = std::chrono::seconds(5);
        o.readTimeout = std::chrono::seconds(20);
        return o;
    }

    FakeService service;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpTransport, EveryKindOfValueTravelsBothWays)
{
    start();
    HttpLink link(linkOptions());
    const QList<Value> values = {
        wire::Null{}, QStringLiteral("王小明"), QString(), std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
        98.5, -1e300, true, false, QDate(2012, 9, 1), QDateTime(QDate(2024, 9, 1), QTime(7, 30, 15, 123)),
        QByteArray("\x00\xff\x01", 3), students(9), changes(),
    };
    for (const Value &v : values) {
        Call call = echo({{v, false}});
        const Reply r = link.call(call);
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(r.result.index(), v.index()) << wire::valueKindName(v).toStdString();
        EXPECT_EQ(r.result, v) << wire::valueKindName(v).toStdString();
        EXPECT_TRUE(r.refs.isEmpty());
    }
    EXPECT_EQ(service.lastCall().token, QStringLiteral("tok-1"));

    // By-reference arguments come back under their own indexes, the others do not come back.
    Call call = echo({{qint64(2012), false}, {QStringLiteral("0701"), true}, {wire::Null{}, false}, {students(3), true}});
    const Reply r = link.call(call);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, Value(qint64(2012)));
    EXPECT_EQ(r.refs.keys(), (QList<int>{1, 3}));
    EXPECT_EQ(r.refs.value(1), Value(QStringLiteral("0701")));
    EXPECT_EQ(r.refs.value(3), Value(students(3)));
    EXPECT_TRUE(service.lastCall().args[1].byRef);
    EXPECT_FALSE(service.lastCall().args[2].byRef);

    // The service's own refusal reaches the client as it was given, with a 200 answer.
    Call missing = echo({}, QStringLiteral("Missing"));
    const Reply refused = link.call(missing);
    EXPECT_EQ(refused.error, ErrorCode::UnknownMethod);
    EXPECT_EQ(refused.message, QStringLiteral("没有方法 Echo.Missing"));
}

TEST_F(HttpTransport, LargePacketsTravelWhole)
{
    start();
    HttpLink link(linkOptions());
    const wire::DataPacket up = students(20'000);
    Call call = echo({{up, true}});
    const Reply r = link.call(call);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    ASSERT_TRUE(std::holds_alternative<wire::DataPacket>(r.result));
    EXPECT_EQ(std::get<wire::DataPacket>(r.result).rowCount(), 20'000);
    EXPECT_EQ(r.result, Value(up));
    EXPECT_EQ(r.refs.value(0), Value(up));

    // A result far larger than the call: 60,000 rows (about 4 MB) built on the server.
    const wire::DataPacket down = students(60'000);
    service.on(QStringLiteral("Echo.Rows"), [&down](Call &, const CallOrigin &) { return Reply{down, {}, ErrorCode::None, {}}; });
    Call rows = echo({}, QStringLiteral("Rows"));
    const Reply big = link.call(rows);
    ASSERT_TRUE(big.ok()) << big.message.toStdString();
    EXPECT_EQ(big.result, Value(down));
}

TEST_F(HttpTransport, RequestsThatAreNoCallGetAMalformedReply)
{
    HttpServerOptions options;
    options.limits.maxArguments = 4;
    start(options);
    httplib::Client raw("127.0.0.1", server->port());

    const QByteArray garbage("\x85\x01\x62hi", 5);
    QString decoderSays;
    try {
        wire::decodeCall(garbage);
    } catch (const wire::WireError &e) {
        decoderSays = e.message();
    }
    ASSERT_FALSE(decoderSays.isEmpty());
    auto res = raw.Post("/call", bytesOf(garbage), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/cbor");
    Reply r = replyOf(res);
    EXPECT_EQ(r.error, ErrorCode::Malformed);
    EXPECT_EQ(r.message, decoderSays);

    // A call cut short, and an empty body.
    const QByteArray whole = wire::encodeCall(echo({{QStringLiteral("0701"), false}}));
    res = raw.Post("/call", bytesOf(whole.left(whole.size() - 2)), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_EQ(replyOf(res).error, ErrorCode::Malformed);
    res = raw.Post("/call", std::string(), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);

    // A well-formed call beyond the server's decode limits is refused the same way, and the link
    // hands the refusal over as the reply.
    HttpLink link(linkOptions());
    Call tooMany = echo({{qint64(1), false}, {qint64(2), false}, {qint64(3), false}, {qint64(4), false}, {qint64(5), false}});
    r = link.call(tooMany);
    EXPECT_EQ(r.error, ErrorCode::Malformed);
    EXPECT_FALSE(r.message.isEmpty());

    // Other paths.
    res = raw.Get("/health");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "ok");
    res = raw.Post("/calls", bytesOf(whole), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    res = raw.Get("/call");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);

    EXPECT_EQ(service.callCount(), 0);
}

TEST_F(HttpTransport, OversizeCallsAreTooLargeAndTheLinkGoesOn)
{
    HttpServerOptions options;
    options.maxBodyBytes = 64 * 1024;
    start(options);
    HttpLink link(linkOptions());

    Call big = echo({{QString(40'000, QChar(u'学')), false}}); // 120,000 bytes of UTF-8
    Reply r = link.call(big);
    EXPECT_EQ(r.error, ErrorCode::TooLarge);
    EXPECT_TRUE(r.message.contains(QStringLiteral("65536"))) << r.message.toStdString();

    Call small = echo({{QStringLiteral("0701"), false}});
    r = link.call(small);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, Value(QStringLiteral("0701")));

    httplib::Client raw("127.0.0.1", server->port());
    auto res = raw.Post("/call", std::string(70'000, 'x'), "application/cbor");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    EXPECT_EQ(replyOf(res).error, ErrorCode::TooLarge);
    EXPECT_EQ(service.callCount(), 1);
}

TEST_F(HttpTransport, ASlowCallTimesOutOnTheClient)
{
    start();
    HttpLinkOptions o = linkOptions();
    o.readTimeout = std::chrono::milliseconds(300);
    HttpLink link(o);
    Call slow = echo({{qint64(1500), false}}, QStringLiteral("Sleep"));
    Reply r = link.call(slow);
    EXPECT_EQ(r.error, ErrorCode::Timeout);
    EXPECT_TRUE(r.message.contains(server->url())) << r.message.toStdString();
    EXPECT_TRUE(r.message.contains(QStringLiteral("Echo.Sleep"))) << r.message.toStdString();

    // The link opens a new connection for the next call.
    Call quick = echo({{qint64(5), false}}, QStringLiteral("Sleep"));
    r = link.call(quick);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, Value(qint64(5)));
}

TEST_F(HttpTransport, BrokenConnectionsAndStrangeAnswersAreClearFailures)
{
    // Nobody listens any more on a port that a stopped server had.
    start();
    HttpLinkOptions o = linkOptions();
    const QString url = server->url();
    server->stop();
    {
        HttpLink link(o);
        Call call = echo({});
        const Reply r = link.call(call);
        EXPECT_EQ(r.error, ErrorCode::Internal);
        EXPECT_TRUE(r.message.contains(QStringLiteral("cannot connect"))) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(url)) << r.message.toStdString();
    }

    // Something that answers HTTP but is no application server.
    httplib::Server other;
    other.Post("/call", [](const httplib::Request &req, httplib::Response &res) {
        if (req.body.size() % 2) {
            res.set_content("hello", "application/cbor");
        } else {
            res.status = 502;
            res.set_content("upstream gone", "text/plain");
        }
    });
    const int port = other.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { other.listen_after_bind(); });
    o.port = port;
    auto link = std::make_unique<HttpLink>(o);
    Call call = echo({});
    Call call2 = echo({{qint64(1), false}});
    Call even = wire::encodeCall(call).size() % 2 ? call2 : call;
    Call odd = wire::encodeCall(call).size() % 2 ? call : call2;
    ASSERT_NE(wire::encodeCall(even).size() % 2, wire::encodeCall(odd).size() % 2);

    Reply r = link->call(odd);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("no reply"))) << r.message.toStdString();
    r = link->call(even);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("HTTP 502"))) << r.message.toStdString();
    EXPECT_TRUE(r.message.contains(QStringLiteral("upstream gone"))) << r.message.toStdString();
    link.reset(); // its kept-alive connection would hold the other server's worker until it times out
    other.stop();
    serving.join();

    // A service that breaks its promise and throws still leaves the client with an answer.
    start();
    HttpLink again(linkOptions());
    Call throwing = echo({}, QStringLiteral("Throw"));
    r = again.call(throwing);
    EXPECT_EQ(r.error, ErrorCode::Internal);
    EXPECT_TRUE(r.message.contains(QStringLiteral("磁盘已满"))) << r.message.toStdString();
}

TEST_F(HttpTransport, ManyThreadsCallAtOnce)
{
    start();
    constexpr int kThreads = 16;
    constexpr int kCalls = 150;
    std::atomic<int> wrong{0};
    std::atomic<int> fromLoopback{0};
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
    EXPECT_EQ(service.lastPeer(), QStringLiteral("127.0.0.1"));
}

TEST_F(HttpTransport, ConnectionsTheServerClosedAreOpenedAgain)
{
    HttpServerOptions options;
    options.keepAliveTimeout = std::chrono::seconds(1);
    options.keepAliveMaxCount = 2;
    start(options);
    HttpLink link(linkOptions());
    // Every second call the server closes the connection after answering.
    for (qint64 i = 0; i < 5; ++i) {
        Call call = echo({{i, false}});
        const Reply r = link.call(call);
        ASSERT_TRUE(r.ok()) << i << ": " << r.message.toStdString();
        EXPECT_EQ(r.result, Value(i));
    }
    // And after a pause longer than it keeps an idle connection.
    Call first = echo({{qint64(1), false}});
    ASSERT_TRUE(link.call(first).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    Call later = echo({{qint64(2), false}});
    const Reply r = link.call(later);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, Value(qint64(2)));
}

TEST_F(HttpTransport, ServerStartsStopsAndSaysWhyItCannot)
{
    start();
    const int port = server->port();
    EXPECT_TRUE(server->isRunning());
    EXPECT_EQ(server->url(), QStringLiteral("http://127.0.0.1:%1").arg(port));
    QString why;
    EXPECT_FALSE(server->listen(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("already listening"))) << why.toStdString();

    HttpServerOptions same;
    same.port = port;
    HttpServer second(service, same);
    why.clear();
    EXPECT_FALSE(second.listen(&why));
    EXPECT_TRUE(why.contains(QStringLiteral("in use"))) << why.toStdString();
    EXPECT_FALSE(second.isRunning());

    for (auto wrong : {std::function<void(HttpServerOptions &)>([](HttpServerOptions &o) { o.workerThreads = 0; }),
                       std::function<void(HttpServerOptions &)>([](HttpServerOptions &o) { o.port = 70'000; }),
                       std::function<void(HttpServerOptions &)>([](HttpServerOptions &o) { o.maxBodyBytes = 0; }),
                       std::function<void(HttpServerOptions &)>([](HttpServerOptions &o) { o.host.clear(); })}) {
        HttpServerOptions o;
        wrong(o);
        HttpServer bad(service, o);
        why.clear();
        EXPECT_FALSE(bad.listen(&why));
        EXPECT_FALSE(why.isEmpty());
    }

    // Stopped, it listens again (on a new port) and answers.
    server->stop();
    server->stop();
    EXPECT_FALSE(server->isRunning());
    EXPECT_EQ(server->port(), 0);
    ASSERT_TRUE(server->listen(&why)) << why.toStdString();
    HttpLink link(linkOptions());
    Call call = echo({{QStringLiteral("again"), false}});
    EXPECT_EQ(link.call(call).result, Value(QStringLiteral("again")));

    // run() serves on the calling thread until another thread stops it.
    HttpServer blocking(service);
    std::atomic<bool> ran{false};
    std::thread runner([&] { ran = blocking.run(); });
    while (!blocking.isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    HttpLinkOptions o = linkOptions();
    o.port = blocking.port();
    {
        HttpLink toBlocking(o);
        Call ping = echo({{qint64(7), false}});
        EXPECT_EQ(toBlocking.call(ping).result, Value(qint64(7)));
    } // closes its connection: the server would wait for it to time out
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
    EXPECT_EQ(o->url(), QStringLiteral("http://127.0.0.1:8210"));

    o = HttpLinkOptions::fromUrl(QStringLiteral("http://school.example.cn/"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, QStringLiteral("school.example.cn"));
    EXPECT_EQ(o->port, 80);

    o = HttpLinkOptions::fromUrl(QStringLiteral("http://[::1]:9000"));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, QStringLiteral("::1"));
    EXPECT_EQ(o->url(), QStringLiteral("http://[::1]:9000"));

    for (const char *bad : {"127.0.0.1:8210", "https://school.example.cn:443", "http://school.example.cn:8210/call",
                            "http://", "", "http://a:b", "http://teacher@school:8210", "http://school:8210?x=1"}) {
        why.clear();
        EXPECT_FALSE(HttpLinkOptions::fromUrl(QString::fromLatin1(bad), &why)) << bad;
        EXPECT_TRUE(why.contains(QStringLiteral("not a server address"))) << bad << ": " << why.toStdString();
    }
}

} // namespace
