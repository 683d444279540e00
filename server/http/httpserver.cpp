#include "server/http/httpserver.h"
#include "link/internal.h"
#include "link/tls.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace lumeko::server {

namespace {
Q_LOGGING_CATEGORY(lcAccess, "lumeko.http.access", QtInfoMsg)

QElapsedTimer startedTimer()
{
    QElapsedTimer t;
    t.start();
    return t;
}
} // namespace

namespace {

constexpr char kCbor[] = "application/cbor";

// The library's server, plain or over TLS, as the transport drives it.
class Listener {
public:
    virtual ~Listener() = default;
    virtual httplib::Server &http() = 0;
    // The library listens with a backlog of 5 connections; when more clients than that connect at
    // once (a school's teachers signing in at the start of a lesson) the kernel drops connections,
    // which some clients see as reset. The backlog is widened once the socket is bound.
    virtual void widenBacklog() = 0;
};

template <class Base> class Wide final : public Listener, public Base {
public:
    template <class... Args> explicit Wide(Args &&...args) : Base(std::forward<Args>(args)...) {}

    httplib::Server &http() override { return *this; }
    void widenBacklog() override { ::listen(this->svr_sock_.load(), SOMAXCONN); }

    // A socket bound but never served (listen() gave up) would stay open otherwise.
    ~Wide() override
    {
        const socket_t sock = this->svr_sock_.exchange(INVALID_SOCKET);
        if (sock != INVALID_SOCKET) ::close(sock);
    }
};

// An encoded reply as the whole body of an answer.
void answer(httplib::Response &res, int status, const wire::Reply &reply)
{
    const QByteArray bytes = wire::encodeReply(reply);
    res.status = status;
    res.set_content(bytes.constData(), size_t(bytes.size()), kCbor);
}

QString checkOptions(const HttpServerOptions &o)
{
    if (o.host.trimmed().isEmpty()) return QStringLiteral("no host address to listen on");
    if (o.port < 0 || o.port > 65535) return QStringLiteral("port %1 is not a TCP port").arg(o.port);
    if (o.workerThreads < 1) return QStringLiteral("at least one worker thread is needed, not %1").arg(o.workerThreads);
    if (o.maxBodyBytes < 1) return QStringLiteral("the largest request must be at least one byte");
    if (o.readTimeout.count() < 1 || o.writeTimeout.count() < 1)
        return QStringLiteral("read and write time-outs must be at least a millisecond");
    if (o.keepAliveTimeout.count() < 1) return QStringLiteral("the keep-alive time-out must be at least a second");
    if (o.keepAliveMaxCount < 1) return QStringLiteral("a connection must carry at least one call");
    if (o.tlsCertificate.isEmpty() != o.tlsKey.isEmpty())
        return o.tlsKey.isEmpty() ? QStringLiteral("HTTPS needs the certificate's private key as well as the certificate")
                                  : QStringLiteral("HTTPS needs the server's certificate as well as its private key");
    return {};
}

template <class Duration>
void splitMs(Duration d, time_t *sec, time_t *usec)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    *sec = time_t(ms / 1000);
    *usec = time_t((ms % 1000) * 1000);
}

} // namespace

struct HttpServer::Impl {
    CallService &service;
    HttpServerOptions options;

    std::mutex stateMutex;
    std::condition_variable stateChanged;
    std::shared_ptr<Listener> server;   // from binding until its accept loop has ended
    std::thread thread;                 // the one listen() starts
    int port = 0;
    std::mutex stopMutex;               // one stop() at a time
    std::vector<std::pair<QString, WebHandler *>> webHandlers;

    Impl(CallService &s, HttpServerOptions o) : service(s), options(std::move(o)) {}

    void handleCall(const httplib::Request &req, httplib::Response &res);
    void handleWeb(WebHandler &handler, const httplib::Request &req, httplib::Response &res);
    std::shared_ptr<Listener> makeServer(QString *error);
    std::shared_ptr<Listener> bind(QString *error);
    void serve(const std::shared_ptr<Listener> &s);
    QString url(int p) const { return link::detail::httpUrl(options.host, p, options.tls()); }
};

void HttpServer::Impl::handleCall(const httplib::Request &req, httplib::Response &res)
{
    wire::Call call;
    try {
        call = wire::decodeCall(QByteArrayView(req.body.data(), qsizetype(req.body.size())), options.limits);
    } catch (const wire::WireError &e) {
        answer(res, 400, wire::Reply::failure(wire::ErrorCode::Malformed, e.message()));
        return;
    }
    const QString name = call.object + u'.' + call.method;

    wire::Reply reply;
    const CallOrigin origin{QString::fromStdString(req.remote_addr), {}};
    const QElapsedTimer took = startedTimer();
    try {
        reply = service.handle(call, origin);
    } catch (const std::exception &e) {
        // The service promises not to throw; should it anyway, the client still gets an answer.
        answer(res, 500, wire::Reply::failure(wire::ErrorCode::Internal,
                                              QStringLiteral("%1 failed on the server: %2").arg(name, QString::fromUtf8(e.what()))));
        return;
    } catch (...) {
        answer(res, 500, wire::Reply::failure(wire::ErrorCode::Internal, QStringLiteral("%1 failed on the server").arg(name)));
        return;
    }

    QByteArray bytes;
    try {
        bytes = wire::encodeReply(reply);
    } catch (const std::exception &e) {
        answer(res, 500, wire::Reply::failure(wire::ErrorCode::Internal,
                                              QStringLiteral("the answer of %1 could not be encoded: %2").arg(name, QString::fromUtf8(e.what()))));
        return;
    }
    // One line per call: who, what, how it ended, how long it took.
    qCInfo(lcAccess).noquote() << origin.peer << (origin.user.isEmpty() ? QStringLiteral("-") : origin.user) << name
                               << (reply.ok() ? QStringLiteral("ok") : QStringLiteral("error %1").arg(int(reply.error))) << took.elapsed() << "ms"
                               << bytes.size() << "bytes";
    // The library writes straight from the encoded bytes: a large packet is not copied once more.
    res.status = 200;
    const size_t size = size_t(bytes.size());
    res.set_content_provider(size, kCbor, [bytes](size_t offset, size_t length, httplib::DataSink &sink) {
        return sink.write(bytes.constData() + offset, length);
    });
}

WebHandler::~WebHandler() = default;

void HttpServer::Impl::handleWeb(WebHandler &handler, const httplib::Request &req, httplib::Response &res)
{
    WebRequest request;
    request.method = QByteArray::fromStdString(req.method);
    request.path = QByteArray::fromStdString(req.path);
    for (const auto &[name, value] : req.headers)
        request.headers.insert(QByteArray::fromStdString(name).toLower(), QByteArray::fromStdString(value));
    request.body = QByteArray::fromStdString(req.body);
    request.peer = QString::fromStdString(req.remote_addr);
    request.tls = options.tls();
    WebResponse response;
    const QElapsedTimer took = startedTimer();
    try {
        handler.serve(request, response);
    } catch (...) {
        // Handlers promise not to throw; should one anyway, the client still gets an answer.
        response = WebResponse();
        response.status = 500;
        response.body = "HTTP 500\n";
    }
    qCInfo(lcAccess).noquote() << request.peer << (response.user.isEmpty() ? QStringLiteral("-") : response.user)
                               << QString::fromLatin1(request.method + ' ' + request.path) << response.status << took.elapsed() << "ms" << response.body.size()
                               << "bytes";
    res.status = response.status;
    for (const auto &[name, value] : response.headers)
        res.set_header(name.toStdString(), value.toStdString());
    // An empty body still carries its type, so that the error handler leaves the answer alone.
    res.set_content(response.body.toStdString(), response.contentType.isEmpty() ? "text/plain; charset=utf-8" : response.contentType.toStdString());
    if (response.body.isEmpty() && response.status >= 400) res.body = "\n";
}

std::shared_ptr<Listener> HttpServer::Impl::makeServer(QString *error)
{
    std::shared_ptr<Listener> listener;
    if (options.tls()) {
        // The certificate and the key are read now, on every start: a renewed certificate needs
        // no more than a restart.
        QString why;
        const std::function<bool(SSL_CTX &)> setUp = [&](SSL_CTX &ctx) {
            return link::detail::useServerCertificate(ctx, options.tlsCertificate, options.tlsKey, &why);
        };
        listener = std::make_shared<Wide<httplib::SSLServer>>(setUp);
        if (!listener->http().is_valid()) {
            *error = why.isEmpty() ? QStringLiteral("no TLS context could be made: ") + link::detail::takeTlsErrors() : why;
            return nullptr;
        }
    } else {
        listener = std::make_shared<Wide<httplib::Server>>();
    }
    httplib::Server *s = &listener->http();
    const size_t workers = size_t(options.workerThreads);
    s->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    s->set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which would let a second server bind a port in
    // use and quietly share its connections. Only SO_REUSEADDR: a restarted server gets its port
    // back at once, a second one is refused.
    s->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    s->set_payload_max_length(size_t(options.maxBodyBytes));
    time_t sec = 0, usec = 0;
    splitMs(options.readTimeout, &sec, &usec);
    s->set_read_timeout(sec, usec);
    splitMs(options.writeTimeout, &sec, &usec);
    s->set_write_timeout(sec, usec);
    s->set_keep_alive_timeout(time_t(options.keepAliveTimeout.count()));
    s->set_keep_alive_max_count(size_t(options.keepAliveMaxCount));

    s->Post("/call", [this](const httplib::Request &req, httplib::Response &res) { handleCall(req, res); });
    s->Get("/health", [](const httplib::Request &, httplib::Response &res) { res.set_content("ok", "text/plain"); });
    for (const auto &[prefix, handler] : webHandlers) {
        // The prefix itself and every path under it, the prefix taken literally.
        const std::string pattern = std::regex_replace(prefix.toStdString(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + "(/.*)?";
        WebHandler *h = handler;
        const auto serve = [this, h](const httplib::Request &req, httplib::Response &res) { handleWeb(*h, req, res); };
        s->Get(pattern, serve);
        s->Post(pattern, serve);
    }

    // Answers the library gives on its own (an oversize or unreadable body, an unknown path) get a
    // body too: on /call an encoded reply the client link can show, elsewhere a line of text.
    const qint64 maxBody = options.maxBodyBytes;
    s->set_error_handler(httplib::Server::HandlerWithResponse([maxBody](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty() || res.content_provider_) return httplib::Server::HandlerResponse::Unhandled;
        const bool call = req.path == "/call";
        if (call && res.status == 413) {
            answer(res, 413, wire::Reply::failure(wire::ErrorCode::TooLarge,
                                                  QStringLiteral("the call is larger than the server accepts (%1 bytes at most)").arg(maxBody)));
        } else if (call && res.status == 400) {
            answer(res, 400, wire::Reply::failure(wire::ErrorCode::Malformed, QStringLiteral("the request body could not be read")));
        } else if (res.status == 404) {
            res.set_content("no such path: " + req.path + "\n", "text/plain; charset=utf-8");
        } else {
            res.set_content("HTTP " + std::to_string(res.status) + "\n", "text/plain; charset=utf-8");
        }
        return httplib::Server::HandlerResponse::Handled;
    }));
    return listener;
}

std::shared_ptr<Listener> HttpServer::Impl::bind(QString *error)
{
    auto fail = [error](const QString &why) {
        if (error) *error = why;
        return std::shared_ptr<Listener>();
    };
    if (const QString why = checkOptions(options); !why.isEmpty()) return fail(why);
    {
        std::lock_guard lock(stateMutex);
        if (server) return fail(QStringLiteral("the server is already listening on %1").arg(url(port)));
    }
    link::detail::ignoreBrokenPipes();
    QString unusable;
    auto s = makeServer(&unusable);
    if (!s) return fail(unusable);
    const std::string host = options.host.toStdString();
    errno = 0;
    int bound = 0;
    if (options.port == 0) {
        bound = s->http().bind_to_any_port(host);
    } else if (s->http().bind_to_port(host, options.port)) {
        bound = options.port;
    }
    if (bound <= 0) {
        const int err = errno;
        QString why = QStringLiteral("cannot listen on %1").arg(url(options.port));
        if (err == EADDRINUSE) why += QStringLiteral(": the port is already in use");
        else if (err != 0) why += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
        else why += QStringLiteral(": the address is not one of this computer's");
        return fail(why);
    }
    s->widenBacklog();
    std::lock_guard lock(stateMutex);
    if (server) return fail(QStringLiteral("the server is already listening on %1").arg(url(port)));
    server = s;
    port = bound;
    return s;
}

void HttpServer::Impl::serve(const std::shared_ptr<Listener> &s)
{
    s->http().listen_after_bind();
    std::lock_guard lock(stateMutex);
    if (server == s) {
        server.reset();
        port = 0;
    }
    stateChanged.notify_all();
}

HttpServer::HttpServer(CallService &service, HttpServerOptions options)
    : d(std::make_unique<Impl>(service, std::move(options)))
{
}

HttpServer::~HttpServer()
{
    stop();
}

void HttpServer::addWebHandler(const QString &prefix, WebHandler &handler)
{
    d->webHandlers.emplace_back(prefix, &handler);
}

bool HttpServer::listen(QString *error)
{
    auto s = d->bind(error);
    if (!s) return false;
    std::thread previous; // of an earlier listen(), whose accept loop has ended
    {
        std::lock_guard lock(d->stateMutex);
        previous = std::move(d->thread);
        d->thread = std::thread([this, s] { d->serve(s); });
    }
    if (previous.joinable()) previous.join();
    // Connections are queued from the moment of binding; wait for the accept loop all the same,
    // so that a stop() right after this returns finds a server to stop.
    while (!s->http().is_running()) {
        {
            std::lock_guard lock(d->stateMutex);
            if (d->server != s) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool HttpServer::run(QString *error)
{
    auto s = d->bind(error);
    if (!s) return false;
    d->serve(s);
    return true;
}

void HttpServer::stop()
{
    std::lock_guard stopLock(d->stopMutex);
    std::shared_ptr<Listener> s;
    {
        std::lock_guard lock(d->stateMutex);
        s = d->server;
    }
    if (s) {
        // The library ignores a stop that comes before its accept loop has started.
        for (;;) {
            if (s->http().is_running()) {
                s->http().stop();
                break;
            }
            {
                std::lock_guard lock(d->stateMutex);
                if (d->server != s) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::unique_lock lock(d->stateMutex);
        d->stateChanged.wait(lock, [&] { return d->server != s; });
    }
    std::thread t;
    {
        std::lock_guard lock(d->stateMutex);
        t = std::move(d->thread);
    }
    if (t.joinable()) t.join();
}

bool HttpServer::isRunning() const
{
    std::lock_guard lock(d->stateMutex);
    return d->server != nullptr;
}

int HttpServer::port() const
{
    std::lock_guard lock(d->stateMutex);
    return d->port;
}

QString HttpServer::url() const
{
    const int p = port();
    return p ? d->url(p) : QString();
}

const HttpServerOptions &HttpServer::options() const
{
    return d->options;
}

} // namespace lumeko::server
