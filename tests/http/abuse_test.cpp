// The HTTP front under abuse, over raw sockets: clients that trickle their headers or bodies, that
// open connections and send nothing, that announce or stream bodies larger than allowed, and that
// open more connections than an address or the server may hold. Calls of well-behaved clients are
// answered meanwhile; nothing is timed, deadlines are generous and every check is of behaviour.

#include "fakes.h"
#include "rawclient.h"

#include "link/httplink.h"
#include "server/http/httpserver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::testing;
using namespace std::chrono_literals;

namespace {

std::string encodedCall(const Call &call)
{
    return wire::encodeCall(call).toStdString();
}

Call echo(QList<wire::Argument> args, const QString &method = QStringLiteral("Back"))
{
    return Call{QStringLiteral("Echo"), method, QStringLiteral("tok-1"), std::move(args)};
}

class HttpAbuse : public ::testing::Test {
protected:
    void SetUp() override
    {
        service.on(QStringLiteral("Echo.Back"), echoBack);
        service.on(QStringLiteral("Echo.Peer"), [](Call &, const CallOrigin &origin) { return answer(origin.peer); });
    }

    void start(HttpServerOptions options)
    {
        server = std::make_unique<HttpServer>(service, options);
        QString why;
        ASSERT_TRUE(server->listen(&why)) << why.toStdString();
    }

    Reply call(const QString &text)
    {
        HttpLinkOptions o;
        o.port = server->port();
        o.readTimeout = 20s;
        HttpLink link(o);
        Call c = echo({{text, false}});
        return link.call(c);
    }

    FakeService service;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpAbuse, ClientsThatTrickleTheirRequestsHoldNoWorkerAndAreCutOffAtTheirDeadline)
{
    // Two workers only: were a trickling client to hold one, the calls below could not be answered.
    HttpServerOptions o;
    o.workerThreads = 2;
    o.headerTimeout = 1500ms;
    o.bodyTimeout = 1500ms;
    o.keepAliveTimeout = 1s;
    o.readTimeout = o.writeTimeout = 60s; // a pause this long never comes: no per-read time-out helps
    start(o);

    // 40 clients that send their headers a byte at a time, 20 that send whole headers and then
    // their bodies a byte at a time, and 5 that connect and send nothing. Each byte comes long
    // before the per-read time-out (30 s): only a deadline for the whole request stops them.
    // A trickler needs a minute for its request; the server must cut it off long before.
    const std::string header =
        "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nX-Padding: " + std::string(600, 'p') + "\r\nContent-Length: 64\r\n\r\n";
    struct Trickler {
        std::unique_ptr<RawClient> socket;
        std::string bytes;
        size_t sent = 0;
        bool cutOff = false;
    };
    std::vector<Trickler> tricklers;
    const std::string requestLine = "POST /call HTTP/1.1\r\n";
    for (int i = 0; i < 40; ++i) {
        tricklers.push_back({std::make_unique<RawClient>(server->port()), header.substr(requestLine.size())});
        ASSERT_TRUE(tricklers.back().socket->send(requestLine));
    }
    for (int i = 0; i < 20; ++i)
        tricklers.push_back({std::make_unique<RawClient>(server->port()), std::string(600, 'b'), 0});
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 5; ++i)
        silent.push_back(std::make_unique<RawClient>(server->port()));
    for (size_t i = 40; i < tricklers.size(); ++i) {
        ASSERT_TRUE(tricklers[i].socket->connected());
        // Whole headers announcing 600 bytes; the body then comes a byte at a time.
        const std::string headers = header.substr(0, header.size() - std::string("Content-Length: 64\r\n\r\n").size()) + "Content-Length: 600\r\n\r\n";
        ASSERT_TRUE(tricklers[i].socket->send(headers));
    }

    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        while (!stop) {
            for (Trickler &t : tricklers) {
                if (t.cutOff || t.sent >= t.bytes.size()) continue;
                if (!t.socket->send(t.bytes.substr(t.sent, 1)) || t.socket->closedByServer())
                    t.cutOff = true;
                else
                    ++t.sent;
            }
            std::this_thread::sleep_for(100ms);
        }
    });

    // Well-behaved callers are answered while every trickler is still connected and sending.
    for (int i = 0; i < 3; ++i) {
        const Reply r = call(QStringLiteral("第%1次").arg(i));
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(r.result, Value(QStringLiteral("第%1次").arg(i)));
    }

    // Every trickler is cut off by the server long before its request could be whole (a minute),
    // and so is every connection that never sent a byte.
    for (Trickler &t : tricklers) {
        bool closed = false;
        const std::string got = t.socket->readUntilClosed(30s, &closed);
        EXPECT_TRUE(closed) << "a client that trickled " << t.sent << " bytes";
        EXPECT_EQ(got.find("HTTP/1.1 200"), std::string::npos) << got;
    }
    for (auto &s : silent) {
        bool closed = false;
        s->readUntilClosed(30s, &closed);
        EXPECT_TRUE(closed) << "a connection that sent nothing is closed after the keep-alive time";
    }
    stop = true;
    trickle.join();
    for (const Trickler &t : tricklers)
        EXPECT_LT(t.sent, t.bytes.size()) << "cut off before the request was whole";
    EXPECT_EQ(service.callCount(), 3) << "no trickled request reached the service";

    // The server serves on as before.
    EXPECT_TRUE(call(QStringLiteral("之后")).ok());
}

TEST_F(HttpAbuse, ManyIdleConnectionsDoNotDelayANewCall)
{
    // Two workers for 400 idle connections: 380 that connected and sent nothing, 20 kept alive
    // after a call of their own.
    HttpServerOptions o;
    o.workerThreads = 2;
    o.keepAliveTimeout = 120s; // the idle connections stay for the whole test
    o.readTimeout = o.writeTimeout = 120s;
    o.maxConnectionsPerAddress = 1000;
    start(o);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 380; ++i) {
        idle.push_back(std::make_unique<RawClient>(server->port()));
        ASSERT_TRUE(idle.back()->connected()) << i;
    }
    for (int i = 0; i < 20; ++i) {
        auto c = std::make_unique<RawClient>(server->port());
        ASSERT_TRUE(c->send(callRequest(encodedCall(echo({{qint64(i), false}})))));
        const std::string got = c->readAnswer(20s);
        ASSERT_EQ(statusLine(got), "HTTP/1.1 200 OK") << got;
        EXPECT_EQ(replyIn(got).result, Value(qint64(i)));
        idle.push_back(std::move(c));
    }

    // A new client is answered, and a kept-alive one can call again, while all the others stay.
    const Reply r = call(QStringLiteral("新的调用"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, Value(QStringLiteral("新的调用")));
    RawClient &kept = *idle.back();
    ASSERT_TRUE(kept.send(callRequest(encodedCall(echo({{QStringLiteral("再来"), false}})))));
    EXPECT_EQ(replyIn(kept.readAnswer(20s)).result, Value(QStringLiteral("再来")));
    int open = 0;
    for (auto &c : idle)
        open += c->closedByServer() ? 0 : 1;
    EXPECT_EQ(open, 400) << "no idle connection was closed to make room";
}

TEST_F(HttpAbuse, BodiesLargerThanAllowedAreRefusedBeforeTheyAreRead)
{
    HttpServerOptions o;
    o.maxBodyBytes = 64 * 1024;
    start(o);

    // 200 MB announced, by six clients at once, some asking whether to go on: each is answered
    // 413 with the reply the link shows, having sent nothing but its headers, and the connection
    // is closed.
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<RawClient>(server->port()));
        const std::string expect = i % 2 ? "Expect: 100-continue\r\n" : "";
        ASSERT_TRUE(clients.back()->send("POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\n" + expect +
                                         "Content-Length: 209715200\r\n\r\n"));
    }
    for (auto &c : clients) {
        bool closed = false;
        const std::string got = c->readUntilClosed(20s, &closed);
        EXPECT_EQ(statusLine(got).substr(0, 12), "HTTP/1.1 413") << got.substr(0, 200);
        EXPECT_EQ(got.find("100 Continue"), std::string::npos) << "no invitation to send the body";
        const Reply r = replyIn(got);
        EXPECT_EQ(r.error, ErrorCode::TooLarge);
        EXPECT_TRUE(r.message.contains(QStringLiteral("65536"))) << r.message.toStdString();
        EXPECT_TRUE(closed);
    }

    // A body sent in chunks, with no length announced, is refused when it has grown too large:
    // answered at its end, or cut off while it keeps coming.
    const std::string chunkedHeaders = "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string piece = "4000\r\n" + std::string(16 * 1024, 'x') + "\r\n";
    RawClient chunked(server->port());
    ASSERT_TRUE(chunked.send(chunkedHeaders));
    for (int i = 0; i < 5; ++i) // 80 KB
        ASSERT_TRUE(chunked.send(piece));
    ASSERT_TRUE(chunked.send("0\r\n\r\n"));
    bool closed = false;
    std::string got = chunked.readUntilClosed(20s, &closed);
    EXPECT_EQ(statusLine(got).substr(0, 12), "HTTP/1.1 413") << got.substr(0, 200);
    EXPECT_EQ(replyIn(got).error, ErrorCode::TooLarge);
    EXPECT_TRUE(closed);
    {
        HttpServerOptions quick = o;
        quick.bodyTimeout = 1s;
        HttpServer strict(service, quick);
        ASSERT_TRUE(strict.listen());
        RawClient endless(strict.port());
        ASSERT_TRUE(endless.send(chunkedHeaders));
        bool cutOff = false;
        // 16 KB a millisecond for up to half a minute; the server must end it long before.
        const auto giveUp = std::chrono::steady_clock::now() + 30s;
        while (!cutOff && std::chrono::steady_clock::now() < giveUp) {
            cutOff = !endless.send(piece) || endless.closedByServer();
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_TRUE(cutOff) << "a body that never ends is cut off";
    }

    // A chunked call within the limit is answered, and so is a web path's body within it.
    RawClient small(server->port());
    const std::string body = encodedCall(echo({{QStringLiteral("分块"), false}}));
    std::string request = "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (size_t at = 0; at < body.size(); at += 7) {
        const std::string part = body.substr(at, 7);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        request += size + part + "\r\n";
    }
    ASSERT_TRUE(small.send(request + "0\r\n\r\n"));
    got = small.readUntilClosed(20s);
    EXPECT_EQ(statusLine(got), "HTTP/1.1 200 OK") << got.substr(0, 200);
    EXPECT_EQ(replyIn(got).result, Value(QStringLiteral("分块")));
    EXPECT_EQ(service.callCount(), 1) << "only the call within the limit reached the service";

    // Elsewhere the refusal is a line of text, and a path that does not exist says so even with a
    // body, which is read and dropped so that the connection carries on.
    RawClient other(server->port());
    ASSERT_TRUE(other.send("POST /nowhere HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello"));
    got = other.readAnswer(20s);
    EXPECT_EQ(statusLine(got), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(bodyOf(got), "no such path: /nowhere\n");
    ASSERT_TRUE(other.send("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_EQ(bodyOf(other.readAnswer(20s)), "ok");
    ASSERT_TRUE(other.send("POST /nowhere HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 70000\r\n\r\n"));
    got = other.readUntilClosed(20s);
    EXPECT_EQ(statusLine(got).substr(0, 12), "HTTP/1.1 413");
    EXPECT_EQ(bodyOf(got), "HTTP 413\n");
}

TEST_F(HttpAbuse, TheBodiesHeldAtOnceHaveABudget)
{
    HttpServerOptions o;
    o.maxBodyBytes = 64 * 1024;
    o.maxBufferedBytes = 100 * 1024;
    start(o);
    // Two calls of 40 KB each whose bodies come slowly: both are held, and a third that would
    // pass the budget is answered at once that the server is busy.
    const std::string large = encodedCall(echo({{QString(40 * 1024, u'x'), false}}));
    const std::string request = callRequest(large);
    const size_t headers = request.find("\r\n\r\n") + 4;
    RawClient first(server->port()), second(server->port());
    ASSERT_TRUE(first.send(request.substr(0, headers + 10)));
    ASSERT_TRUE(second.send(request.substr(0, headers + 10)));
    std::string got;
    for (int attempt = 0; attempt < 200; ++attempt) { // until the server has read both headers
        RawClient third(server->port());
        ASSERT_TRUE(third.send(request));
        got = third.readUntilClosed(20s);
        if (statusLine(got) != "HTTP/1.1 200 OK") break;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(statusLine(got), "HTTP/1.1 503 Service Unavailable") << got.substr(0, 200);
    EXPECT_NE(got.find("Retry-After: 5"), std::string::npos);
    const Reply busy = replyIn(got);
    EXPECT_EQ(busy.error, ErrorCode::Internal);
    EXPECT_EQ(busy.message, "the server is receiving too many large calls at once; try again in a moment");
    // A small call still fits; and once the two are whole and answered, a large one fits again.
    EXPECT_TRUE(call(QStringLiteral("小")).ok());
    ASSERT_TRUE(first.send(request.substr(headers + 10)));
    ASSERT_TRUE(second.send(request.substr(headers + 10)));
    EXPECT_EQ(statusLine(first.readAnswer(20s)), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine(second.readAnswer(20s)), "HTTP/1.1 200 OK");
    RawClient again(server->port());
    ASSERT_TRUE(again.send(callRequest(large, "close")));
    got = again.readUntilClosed(20s);
    EXPECT_EQ(statusLine(got), "HTTP/1.1 200 OK");
    EXPECT_EQ(replyIn(got).result, Value(QString(40 * 1024, u'x')));
}

TEST_F(HttpAbuse, ConnectionsAreCappedPerAddressAndInAll)
{
    HttpServerOptions o;
    o.maxConnectionsPerAddress = 4;
    o.maxConnections = 6;
    o.keepAliveTimeout = 120s;
    o.readTimeout = o.writeTimeout = 120s;
    start(o);

    // Each connection proves it is served with a call that tells the server's view of its address.
    const auto served = [&](RawClient &c) {
        if (!c.send(callRequest(encodedCall(echo({}, QStringLiteral("Peer")))))) return QString();
        const std::string got = c.readAnswer(20s);
        if (statusLine(got) != "HTTP/1.1 200 OK") return QString();
        return std::get<QString>(replyIn(got).result);
    };

    std::vector<std::unique_ptr<RawClient>> first;
    for (int i = 0; i < 4; ++i) {
        first.push_back(std::make_unique<RawClient>(server->port(), "127.0.0.1"));
        EXPECT_EQ(served(*first.back()), QStringLiteral("127.0.0.1")) << i;
    }
    // A fifth from the same address is closed without an answer.
    {
        RawClient fifth(server->port(), "127.0.0.1");
        fifth.send(callRequest(encodedCall(echo({}, QStringLiteral("Peer")))));
        bool closed = false;
        EXPECT_EQ(fifth.readUntilClosed(20s, &closed), "");
        EXPECT_TRUE(closed);
    }
    // Another address is still served, up to the cap of all connections.
    auto second = std::make_unique<RawClient>(server->port(), "127.0.0.2");
    RawClient third(server->port(), "127.0.0.2");
    EXPECT_EQ(served(*second), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(served(third), QStringLiteral("127.0.0.2"));
    // Six connections are all the server holds: a seventh waits, unanswered, until one ends.
    RawClient seventh(server->port(), "127.0.0.3");
    ASSERT_TRUE(seventh.send(callRequest(encodedCall(echo({}, QStringLiteral("Peer"))))));
    EXPECT_EQ(seventh.readAnswer(1500ms), "");
    EXPECT_EQ(service.callCount(), 6);
    second.reset();
    const std::string late = seventh.readAnswer(20s);
    ASSERT_EQ(statusLine(late), "HTTP/1.1 200 OK") << late;
    EXPECT_EQ(replyIn(late).result, Value(QStringLiteral("127.0.0.3")));

    // A connection that ends makes room for its address again.
    first.pop_back();
    QString again;
    for (int attempt = 0; attempt < 100 && again.isEmpty(); ++attempt) {
        RawClient next(server->port(), "127.0.0.1");
        again = served(next); // the server may not yet have seen the closed one go
        if (again.isEmpty()) std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(again, QStringLiteral("127.0.0.1"));
}

} // namespace
