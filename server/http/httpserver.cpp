#include "server/http/httpserver.h"
#include "link/internal.h"
#include "link/tls.h"

#include <microhttpd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumeko::server {

namespace {
Q_LOGGING_CATEGORY(lcAccess, "lumeko.http.access", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHttp, "lumeko.http", QtWarningMsg)

constexpr char kCbor[] = "application/cbor";
constexpr char kText[] = "text/plain; charset=utf-8";
// TLS 1.2 and 1.3 only, with GnuTLS's default choice of ciphers among them.
constexpr char kTlsPriorities[] = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";
// What the event loop may hold of one connection: its request's line and headers and the part of a
// body not yet taken up (bodies are gathered in a buffer of their own).
constexpr size_t kConnectionMemory = 64 * 1024;

using Clock = std::chrono::steady_clock;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

QElapsedTimer startedTimer()
{
    QElapsedTimer t;
    t.start();
    return t;
}

QString checkOptions(const HttpServerOptions &o)
{
    if (o.host.trimmed().isEmpty()) return QStringLiteral("no host address to listen on");
    if (o.port < 0 || o.port > 65535) return QStringLiteral("port %1 is not a TCP port").arg(o.port);
    if (o.workerThreads < 1) return QStringLiteral("at least one worker thread is needed, not %1").arg(o.workerThreads);
    if (o.maxBodyBytes < 1) return QStringLiteral("the largest request must be at least one byte");
    if (o.maxBufferedBytes < o.maxBodyBytes) return QStringLiteral("the bytes of requests held at once must allow at least the largest request");
    if (o.readTimeout.count() < 1 || o.writeTimeout.count() < 1)
        return QStringLiteral("read and write time-outs must be at least a millisecond");
    if (o.headerTimeout.count() < 1 || o.bodyTimeout.count() < 1)
        return QStringLiteral("the time-outs for a request's headers and body must be at least a millisecond");
    if (o.minBodyBytesPerSecond < 1) return QStringLiteral("the slowest body allowed must bring at least a byte a second");
    if (o.keepAliveTimeout.count() < 1) return QStringLiteral("the keep-alive time-out must be at least a second");
    if (o.keepAliveMaxCount < 1) return QStringLiteral("a connection must carry at least one call");
    if (o.maxConnections < 1 || o.maxConnectionsPerAddress < 1) return QStringLiteral("at least one connection, and one per client address, must be allowed");
    if (o.tlsCertificate.isEmpty() != o.tlsKey.isEmpty())
        return o.tlsKey.isEmpty() ? QStringLiteral("HTTPS needs the certificate's private key as well as the certificate")
                                  : QStringLiteral("HTTPS needs the server's certificate as well as its private key");
    return {};
}

// The numeric text of a client's address ("10.1.2.3", "::1").
QString addressText(const sockaddr *address)
{
    if (!address) return {};
    char host[NI_MAXHOST] = {};
    const socklen_t length = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return {};
    return QString::fromLatin1(host);
}

// The server's certificate and key as the TLS library takes them: the files' bytes, after the
// checks that name what is wrong with them.
bool readTlsFiles(const HttpServerOptions &o, QByteArray *certificate, QByteArray *key, QString *why)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) {
        *why = QStringLiteral("no TLS context could be made: ") + link::detail::takeTlsErrors();
        return false;
    }
    const bool usable = link::detail::useServerCertificate(*ctx, o.tlsCertificate, o.tlsKey, why);
    SSL_CTX_free(ctx);
    if (!usable) return false;
    for (auto [file, bytes, what] : {std::tuple{o.tlsCertificate, certificate, "certificate"}, std::tuple{o.tlsKey, key, "key"}}) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("cannot read the %1 file %2: %3").arg(QLatin1StringView(what), file, f.errorString());
            return false;
        }
        *bytes = f.readAll();
    }
    return true;
}

// Open files are what a connection costs the process first; Debian's default soft limit of 1024
// would refuse connections long before maxConnections. Raised towards the hard limit, never lowered.
void allowOpenFiles(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
}

// One client connection as the deadlines see it. Made and dropped on the event loop; the sweeper
// reads the deadline and may shut the socket down.
struct Client {
    int fd = -1;
    sockaddr_storage address{};
    QString peer;
    std::atomic<qint64> deadline{0}; // on the steady clock in ms; 0 while an answer is being made
    std::atomic<int> stage{0};       // what it was doing when the deadline passed, for the log
    int requests = 0;                // begun on this connection (event loop only)
    bool dropped = false;            // shut down by the sweeper (under the registry's mutex)
};

enum Stage { Waiting, Headers, Body };

// One request from its headers to its completion.
struct Request {
    enum class Route { Call, Web };
    MHD_Connection *connection = nullptr;
    Client *client = nullptr;
    Route route = Route::Call;
    WebHandler *handler = nullptr;
    QByteArray method, path;
    QHash<QByteArray, QByteArray> requestHeaders; // web pages only
    QString peer;
    QByteArray body;
    qint64 received = 0; // bytes of the body, kept or not
    qint64 bodyStarted = 0;
    int plain = 0;           // answered on the event loop once the body is in: 200 (/health) or 404
    bool overLimit = false;  // the body grew beyond maxBodyBytes; the rest is dropped
    bool overBudget = false; // the bodies held at once would grow beyond maxBufferedBytes
    qint64 held = 0;         // of maxBufferedBytes, until the request is completed
    bool closeAfter = false; // the connection has carried as many calls as it may
    bool answered = false;   // a response is queued
    bool handedOver = false; // to a worker, with the connection suspended
    bool seenAgain = false;  // the event loop took the connection back after the worker
    // The answer, made by a worker before it resumes the connection.
    int status = 200;
    QByteArray contentType, answer;
    QList<QPair<QByteArray, QByteArray>> answerHeaders;
};

void releaseBytes(void *bytes)
{
    delete static_cast<QByteArray *>(bytes);
}

// Queues an answer; the body's bytes are handed over, not copied.
MHD_Result respond(MHD_Connection *connection, int status, const QByteArray &type, QByteArray body, const QList<QPair<QByteArray, QByteArray>> &headers = {},
                   bool close = false)
{
    auto *owned = new QByteArray(std::move(body));
    MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(size_t(owned->size()), owned->data(), releaseBytes, owned);
    if (!response) {
        delete owned;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.constData());
    for (const auto &[name, value] : headers)
        MHD_add_response_header(response, name.constData(), value.constData());
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result collectHeader(void *cls, MHD_ValueKind, const char *key, const char *value)
{
    static_cast<QHash<QByteArray, QByteArray> *>(cls)->insert(QByteArray(key).toLower(), QByteArray(value ? value : ""));
    return MHD_YES;
}

} // namespace

struct HttpServer::Impl {
    CallService &service;
    HttpServerOptions options;
    std::vector<std::pair<QString, WebHandler *>> webHandlers;

    std::mutex lifeMutex; // one start or stop at a time
    mutable std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool running = false;
    int port = 0;
    MHD_Daemon *daemon = nullptr;
    int listenFd = -1;
    QByteArray certificatePem, keyPem; // the TLS library reads them when the daemon starts
    QString startLog;                  // what the library said while starting

    // The worker pool and the requests handed to it.
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<Request *> queue;
    bool workersStopping = false;
    std::vector<std::thread> workers;

    // Requests handed over and not yet taken back, and requests handed over and not yet completed.
    std::mutex drainMutex;
    std::condition_variable drained;
    int suspended = 0;
    int answering = 0;

    // Bytes of request bodies held at once, against maxBufferedBytes.
    std::atomic<qint64> buffered{0};
    bool hold(Request &r, qint64 bytes)
    {
        if (buffered.fetch_add(bytes) + bytes > options.maxBufferedBytes) {
            buffered.fetch_sub(bytes);
            return false;
        }
        r.held += bytes;
        return true;
    }
    void release(Request &r)
    {
        r.body = QByteArray();
        buffered.fetch_sub(r.held);
        r.held = 0;
    }

    // Every open connection, for the sweeper that enforces the deadlines.
    std::mutex clientsMutex;
    std::unordered_set<Client *> clients;
    std::condition_variable sweepWake;
    bool sweepStopping = false;
    std::thread sweeper;
    int droppedSinceNote = 0;
    QString lastDroppedPeer;
    qint64 lastNote = 0;

    Impl(CallService &s, HttpServerOptions o) : service(s), options(std::move(o)) {}

    QString url(int p) const { return link::detail::httpUrl(options.host, p, options.tls()); }
    bool start(QString *error);
    int bindSocket(QString *error);
    void shutDown();

    // The event loop's callbacks.
    static MHD_Result access(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *version, const char *uploadData,
                             size_t *uploadSize, void **requestContext);
    static void completed(void *cls, MHD_Connection *connection, void **requestContext, MHD_RequestTerminationCode why);
    static void notifyConnection(void *cls, MHD_Connection *connection, void **socketContext, MHD_ConnectionNotificationCode what);
    static void *requestLine(void *cls, const char *uri, MHD_Connection *connection);
    static void logLibrary(void *cls, const char *format, va_list args);

    MHD_Result begin(MHD_Connection *connection, const char *url, const char *method, void **requestContext);
    MHD_Result refuseTooLarge(Request &r);
    MHD_Result refuseBusy(Request &r);
    MHD_Result handOver(Request &r);
    MHD_Result answer(Request &r);

    // On the workers.
    void work();
    void answerCall(Request &r);
    void answerWeb(Request &r);

    void sweep();
    qint64 waitingDeadline(qint64 from) const { return from + std::chrono::milliseconds(options.keepAliveTimeout).count(); }
};

WebHandler::~WebHandler() = default;

// --- the event loop ---------------------------------------------------------------------------------

void HttpServer::Impl::logLibrary(void *cls, const char *format, va_list args)
{
    auto *d = static_cast<Impl *>(cls);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const QString line = QString::fromLocal8Bit(text).trimmed();
    {
        std::lock_guard lock(d->stateMutex);
        if (!d->running) d->startLog = d->startLog.isEmpty() ? line : d->startLog + QStringLiteral("; ") + line;
    }
    qCDebug(lcHttp).noquote() << "libmicrohttpd:" << line;
}

void HttpServer::Impl::notifyConnection(void *cls, MHD_Connection *connection, void **socketContext, MHD_ConnectionNotificationCode what)
{
    auto *d = static_cast<Impl *>(cls);
    if (what == MHD_CONNECTION_NOTIFY_STARTED) {
        auto *c = new Client;
        if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) c->fd = info->connect_fd;
        if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS); info && info->client_addr) {
            const sockaddr *a = info->client_addr;
            std::memcpy(&c->address, a, a->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
            c->peer = addressText(a);
        }
        // A fresh connection, its TLS handshake included, has as long as a kept-alive one to begin.
        c->deadline = d->waitingDeadline(nowMs());
        *socketContext = c;
        std::lock_guard lock(d->clientsMutex);
        d->clients.insert(c);
        return;
    }
    auto *c = static_cast<Client *>(*socketContext);
    if (!c) return;
    {
        // The library closes the socket after this returns: once the connection is out of the
        // registry, the sweeper cannot shut down a descriptor that may be reused.
        std::lock_guard lock(d->clientsMutex);
        d->clients.erase(c);
    }
    delete c;
    *socketContext = nullptr;
}

void *HttpServer::Impl::requestLine(void *cls, const char *, MHD_Connection *connection)
{
    auto *d = static_cast<Impl *>(cls);
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (info && info->socket_context) {
        auto *c = static_cast<Client *>(info->socket_context);
        c->stage = Headers;
        c->deadline = nowMs() + d->options.headerTimeout.count();
    }
    return nullptr; // the request itself is made once its headers are in
}

MHD_Result HttpServer::Impl::access(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *, const char *uploadData,
                                    size_t *uploadSize, void **requestContext)
{
    auto *d = static_cast<Impl *>(cls);
    if (!*requestContext) return d->begin(connection, url, method, requestContext);
    Request &r = *static_cast<Request *>(*requestContext);
    if (*uploadSize > 0) {
        const size_t size = *uploadSize;
        *uploadSize = 0;
        if (r.answered) return MHD_YES;                                     // refused already: the rest is not kept
        if (r.client && nowMs() > r.client->deadline.load()) return MHD_NO; // too slow: the sweeper would close it anyway
        r.received += qint64(size);
        if (r.received > d->options.maxBodyBytes) {
            // A body without an announced length has grown too large. The library takes an answer
            // only once the body has ended: until then the rest is dropped as it comes, and the
            // deadline no longer grows with it.
            r.overLimit = true;
            d->release(r);
            return MHD_YES;
        }
        if (r.overBudget) return MHD_YES;
        if (!r.plain) {
            // Bytes announced were held when the request began; others are held as they come.
            if (r.received > r.held && !d->hold(r, r.received - r.held)) {
                r.overBudget = true;
                d->release(r);
                return MHD_YES;
            }
            r.body.append(uploadData, qsizetype(size));
        }
        if (r.client) {
            // However slowly a body comes, it has its time-out plus a second for every
            // minBodyBytesPerSecond bytes that came.
            r.client->deadline = r.bodyStarted + d->options.bodyTimeout.count() + r.received * 1000 / d->options.minBodyBytesPerSecond;
        }
        return MHD_YES;
    }
    if (r.answered) return MHD_YES;
    if (r.overLimit) return d->refuseTooLarge(r);
    if (r.overBudget) return d->refuseBusy(r);
    if (r.plain) {
        // A body sent along was read and dropped, so that the connection can carry the next request.
        r.answered = true;
        if (r.plain == 200) return respond(connection, 200, "text/plain", "ok", {}, r.closeAfter);
        return respond(connection, 404, kText, "no such path: " + r.path + '\n', {}, r.closeAfter);
    }
    if (!r.handedOver) return d->handOver(r);
    return d->answer(r);
}

MHD_Result HttpServer::Impl::begin(MHD_Connection *connection, const char *url, const char *method, void **requestContext)
{
    auto *r = new Request;
    *requestContext = r;
    r->connection = connection;
    r->method = method;
    r->path = url;
    if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT); info && info->socket_context) {
        r->client = static_cast<Client *>(info->socket_context);
        r->peer = r->client->peer;
        r->closeAfter = ++r->client->requests >= options.keepAliveMaxCount;
    }
    const qint64 now = nowMs();
    r->bodyStarted = now;
    if (r->client) {
        r->client->stage = Body;
        r->client->deadline = now + options.bodyTimeout.count();
    }

    const bool post = r->method == MHD_HTTP_METHOD_POST;
    const bool get = r->method == MHD_HTTP_METHOD_GET || r->method == MHD_HTTP_METHOD_HEAD;
    bool routed = false;
    if (r->path == "/health" && get) {
        r->plain = 200;
        routed = true;
    } else if (r->path == "/call" && post) {
        r->route = Request::Route::Call;
        routed = true;
    } else if (get || post) {
        for (const auto &[prefix, handler] : webHandlers) {
            const QByteArray p = prefix.toUtf8();
            if (r->path == p || (r->path.startsWith(p) && r->path.at(p.size()) == '/')) {
                r->route = Request::Route::Web;
                r->handler = handler;
                MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &r->requestHeaders);
                routed = true;
                break;
            }
        }
    }
    if (!routed) r->plain = 404;
    // A body announced larger than the server takes is refused before a byte of it is read.
    if (const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
        bool ok = false;
        const qint64 announced = QByteArray(length).trimmed().toLongLong(&ok);
        if (!ok || announced > options.maxBodyBytes) return refuseTooLarge(*r);
        if (!r->plain) {
            if (!hold(*r, announced)) return refuseBusy(*r);
            // Grown as the bytes come, not allocated on a client's word.
            r->body.reserve(qsizetype(std::min<qint64>(announced, 1024 * 1024)));
        }
    }
    return MHD_YES;
}

MHD_Result HttpServer::Impl::refuseTooLarge(Request &r)
{
    r.answered = true;
    if (r.route == Request::Route::Call && !r.plain) {
        const QByteArray reply = wire::encodeReply(wire::Reply::failure(
            wire::ErrorCode::TooLarge, QStringLiteral("the call is larger than the server accepts (%1 bytes at most)").arg(options.maxBodyBytes)));
        qCInfo(lcAccess).noquote() << r.peer << "-"
                                   << "POST /call" << 413 << "refused a body over" << options.maxBodyBytes << "bytes";
        return respond(r.connection, 413, kCbor, reply, {}, true);
    }
    return respond(r.connection, 413, kText, "HTTP 413\n", {}, true);
}

MHD_Result HttpServer::Impl::refuseBusy(Request &r)
{
    r.answered = true;
    qCWarning(lcHttp).noquote() << "refused a request from" << r.peer << "while request bodies of" << buffered.load() << "bytes are held";
    const QList<QPair<QByteArray, QByteArray>> retry = {{"Retry-After", "5"}};
    if (r.route == Request::Route::Call && !r.plain)
        return respond(r.connection, 503, kCbor,
                       wire::encodeReply(wire::Reply::failure(wire::ErrorCode::Internal,
                                                              QStringLiteral("the server is receiving too many large calls at once; try again in a moment"))),
                       retry, true);
    return respond(r.connection, 503, kText, "HTTP 503\n", retry, true);
}

MHD_Result HttpServer::Impl::handOver(Request &r)
{
    std::unique_lock lock(queueMutex);
    if (workersStopping) {
        // The server is stopping: a request that came in after the last worker left is not taken.
        lock.unlock();
        r.answered = true;
        if (r.route == Request::Route::Call)
            return respond(r.connection, 503, kCbor,
                           wire::encodeReply(wire::Reply::failure(wire::ErrorCode::Internal, QStringLiteral("the server is stopping"))), {}, true);
        return respond(r.connection, 503, kText, "HTTP 503\n", {}, true);
    }
    if (r.client) r.client->deadline = 0; // making the answer is the server's time, not the client's
    {
        std::lock_guard drain(drainMutex);
        ++suspended;
        ++answering;
    }
    r.handedOver = true;
    MHD_suspend_connection(r.connection);
    queue.push_back(&r);
    queueChanged.notify_one();
    return MHD_YES;
}

MHD_Result HttpServer::Impl::answer(Request &r)
{
    if (!r.seenAgain) {
        r.seenAgain = true;
        std::lock_guard lock(drainMutex);
        --suspended;
        drained.notify_all();
    }
    r.answered = true;
    return respond(r.connection, r.status, r.contentType, std::move(r.answer), r.answerHeaders, r.closeAfter);
}

void HttpServer::Impl::completed(void *cls, MHD_Connection *, void **requestContext, MHD_RequestTerminationCode)
{
    auto *d = static_cast<Impl *>(cls);
    auto *r = static_cast<Request *>(*requestContext);
    if (!r) return;
    *requestContext = nullptr;
    d->release(*r);
    if (r->client) {
        r->client->stage = Waiting;
        r->client->deadline = d->waitingDeadline(nowMs());
    }
    if (r->handedOver) {
        std::lock_guard lock(d->drainMutex);
        if (!r->seenAgain) --d->suspended; // the connection broke before the answer could be queued
        --d->answering;
        d->drained.notify_all();
    }
    delete r;
}

// --- the workers ------------------------------------------------------------------------------------

void HttpServer::Impl::work()
{
    for (;;) {
        Request *r = nullptr;
        {
            std::unique_lock lock(queueMutex);
            queueChanged.wait(lock, [&] { return workersStopping || !queue.empty(); });
            if (queue.empty()) return; // stopping, and nothing left to answer
            r = queue.front();
            queue.pop_front();
        }
        if (r->route == Request::Route::Call)
            answerCall(*r);
        else
            answerWeb(*r);
        MHD_resume_connection(r->connection);
    }
}

void HttpServer::Impl::answerCall(Request &r)
{
    r.contentType = kCbor;
    const auto fail = [&r](int status, wire::ErrorCode code, const QString &message) {
        r.status = status;
        r.answer = wire::encodeReply(wire::Reply::failure(code, message));
    };
    wire::Call call;
    try {
        call = wire::decodeCall(QByteArrayView(r.body), options.limits);
    } catch (const wire::WireError &e) {
        return fail(400, wire::ErrorCode::Malformed, e.message());
    }
    r.body = QByteArray(); // the call holds what it needs
    const QString name = call.object + u'.' + call.method;

    wire::Reply reply;
    const CallOrigin origin{r.peer, {}};
    const QElapsedTimer took = startedTimer();
    try {
        reply = service.handle(call, origin);
    } catch (const std::exception &e) {
        // The service promises not to throw; should it anyway, the client still gets an answer.
        return fail(500, wire::ErrorCode::Internal, QStringLiteral("%1 failed on the server: %2").arg(name, QString::fromUtf8(e.what())));
    } catch (...) {
        return fail(500, wire::ErrorCode::Internal, QStringLiteral("%1 failed on the server").arg(name));
    }
    try {
        r.answer = wire::encodeReply(reply);
    } catch (const std::exception &e) {
        return fail(500, wire::ErrorCode::Internal, QStringLiteral("the answer of %1 could not be encoded: %2").arg(name, QString::fromUtf8(e.what())));
    }
    r.status = 200;
    // One line per call: who, what, how it ended, how long it took.
    qCInfo(lcAccess).noquote() << origin.peer << (origin.user.isEmpty() ? QStringLiteral("-") : origin.user) << name
                               << (reply.ok() ? QStringLiteral("ok") : QStringLiteral("error %1").arg(int(reply.error))) << took.elapsed() << "ms"
                               << r.answer.size() << "bytes";
}

void HttpServer::Impl::answerWeb(Request &r)
{
    WebRequest request;
    request.method = r.method;
    request.path = r.path;
    request.headers = std::move(r.requestHeaders);
    request.body = std::move(r.body);
    request.peer = r.peer;
    request.tls = options.tls();
    WebResponse response;
    const QElapsedTimer took = startedTimer();
    try {
        r.handler->serve(request, response);
    } catch (...) {
        // Handlers promise not to throw; should one anyway, the client still gets an answer.
        response = WebResponse();
        response.status = 500;
        response.body = "HTTP 500\n";
    }
    qCInfo(lcAccess).noquote() << request.peer << (response.user.isEmpty() ? QStringLiteral("-") : response.user)
                               << QString::fromLatin1(request.method + ' ' + request.path) << response.status << took.elapsed() << "ms" << response.body.size()
                               << "bytes";
    r.status = response.status;
    r.contentType = response.contentType.isEmpty() ? QByteArray(kText) : response.contentType;
    r.answer = std::move(response.body);
    if (r.answer.isEmpty() && response.status >= 400) r.answer = "\n";
    r.answerHeaders = std::move(response.headers);
}

// --- deadlines --------------------------------------------------------------------------------------

void HttpServer::Impl::sweep()
{
    // Often enough that no deadline is overshot by more than a tenth of the shortest time-out.
    const qint64 shortest = std::min(
        {qint64(options.headerTimeout.count()), qint64(options.bodyTimeout.count()), qint64(std::chrono::milliseconds(options.keepAliveTimeout).count())});
    const auto period = std::chrono::milliseconds(std::clamp<qint64>(shortest / 10, 5, 250));
    std::unique_lock lock(clientsMutex);
    while (!sweepStopping) {
        sweepWake.wait_for(lock, period, [&] { return sweepStopping; });
        const qint64 now = nowMs();
        for (Client *c : clients) {
            const qint64 deadline = c->deadline.load();
            if (c->dropped || deadline == 0 || now <= deadline) continue;
            // The socket is the client's, still open: it leaves the registry before it is closed.
            // Shutting it down makes the event loop see the connection end and close it.
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            if (getpeername(c->fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 &&
                std::memcmp(&peer, &c->address, std::min<size_t>(length, sizeof peer)) == 0)
                ::shutdown(c->fd, SHUT_RDWR);
            c->dropped = true;
            ++droppedSinceNote;
            lastDroppedPeer = c->peer;
            qCDebug(lcHttp).noquote() << "closed the connection from" << c->peer
                                      << (c->stage == Waiting   ? "that sent no request"
                                          : c->stage == Headers ? "that sent its headers too slowly"
                                                                : "that sent its body too slowly");
        }
        // One line now and then, not one per connection: slow clients in their hundreds must not
        // flood the log.
        if (droppedSinceNote > 0 && now - lastNote >= 10'000) {
            qCWarning(lcHttp).noquote() << "closed" << droppedSinceNote << "connections that were idle or sent their requests too slowly (the last from"
                                        << lastDroppedPeer + u')';
            droppedSinceNote = 0;
            lastNote = now;
        }
    }
}

// --- starting and stopping --------------------------------------------------------------------------

int HttpServer::Impl::bindSocket(QString *error)
{
    const std::string host = options.host.toStdString();
    const std::string service = std::to_string(options.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QString where = QStringLiteral("cannot listen on %1").arg(url(options.port));
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        *error = where + QStringLiteral(": the address is not one of this computer's");
        return -1;
    }
    int err = 0;
    int fd = -1;
    for (addrinfo *a = found; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            err = errno;
            continue;
        }
        // SO_REUSEADDR only: a restarted server gets its port back at once, while a second server
        // on a port in use is refused (SO_REUSEPORT would let it share the first one's connections).
        int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (a->ai_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) break;
        err = errno;
        ::close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    if (fd < 0) {
        if (err == EADDRINUSE)
            *error = where + QStringLiteral(": the port is already in use");
        else if (err == EADDRNOTAVAIL)
            *error = where + QStringLiteral(": the address is not one of this computer's");
        else
            *error = where + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
    }
    return fd;
}

bool HttpServer::Impl::start(QString *error)
{
    auto fail = [error](const QString &why) {
        if (error) *error = why;
        return false;
    };
    if (const QString why = checkOptions(options); !why.isEmpty()) return fail(why);
    {
        std::lock_guard lock(stateMutex);
        if (running) return fail(QStringLiteral("the server is already listening on %1").arg(url(port)));
        startLog.clear();
    }
    link::detail::ignoreBrokenPipes();
    certificatePem.clear();
    keyPem.clear();
    if (options.tls()) {
        // The certificate and the key are read now, on every start: a renewed certificate needs
        // no more than a restart.
        QString why;
        if (!readTlsFiles(options, &certificatePem, &keyPem, &why)) return fail(why);
    }
    // Every connection a descriptor, and some to spare for the database, files and the workers.
    allowOpenFiles(rlim_t(options.maxConnections) + rlim_t(options.workerThreads) * 4 + 256);
    QString why;
    const int fd = bindSocket(&why);
    if (fd < 0) return fail(why);
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &boundLength);
    const bool v6 = bound.ss_family == AF_INET6;
    const int boundPort = ntohs(v6 ? reinterpret_cast<sockaddr_in6 &>(bound).sin6_port : reinterpret_cast<sockaddr_in &>(bound).sin_port);

    {
        std::lock_guard lock(queueMutex);
        workersStopping = false;
        queue.clear();
    }
    {
        std::lock_guard lock(drainMutex);
        suspended = answering = 0;
    }
    {
        std::lock_guard lock(clientsMutex);
        sweepStopping = false;
        droppedSinceNote = 0;
    }

    const auto seconds = [](std::chrono::milliseconds ms) { return unsigned((ms.count() + 999) / 1000); };
    std::vector<MHD_OptionItem> items = {
        {MHD_OPTION_EXTERNAL_LOGGER, intptr_t(&Impl::logLibrary), this},
        {MHD_OPTION_LISTEN_SOCKET, intptr_t(fd), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, intptr_t(options.maxConnections), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, intptr_t(options.maxConnectionsPerAddress), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, intptr_t(std::max(seconds(options.readTimeout), seconds(options.writeTimeout))), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(kConnectionMemory), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, intptr_t(&Impl::notifyConnection), this},
        {MHD_OPTION_NOTIFY_COMPLETED, intptr_t(&Impl::completed), this},
        {MHD_OPTION_URI_LOG_CALLBACK, intptr_t(&Impl::requestLine), this},
    };
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (v6) flags |= MHD_USE_IPv6;
    if (options.tls()) {
        flags |= MHD_USE_TLS;
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(certificatePem.constData())});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(keyPem.constData())});
        items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(kTlsPriorities)});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});

    for (int i = 0; i < options.workerThreads; ++i)
        workers.emplace_back([this] { work(); });
    sweeper = std::thread([this] { sweep(); });
    MHD_Daemon *started = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::access, this, MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (!started) {
        ::close(fd);
        shutDown();
        std::lock_guard lock(stateMutex);
        QString reason =
            options.tls() ? QStringLiteral("the TLS library refused the certificate or its key") : QStringLiteral("the HTTP server could not start");
        if (!startLog.isEmpty()) reason += QStringLiteral(" (%1)").arg(startLog);
        return fail(QStringLiteral("cannot listen on %1: %2").arg(url(boundPort), reason));
    }
    std::lock_guard lock(stateMutex);
    daemon = started;
    listenFd = fd;
    port = boundPort;
    running = true;
    return true;
}

// Stops the workers and the sweeper (and the library's daemon, when one runs), in the order that
// lets every call in progress finish and its answer go out.
void HttpServer::Impl::shutDown()
{
    MHD_Daemon *d = nullptr;
    int fd = -1;
    {
        std::lock_guard lock(stateMutex);
        d = daemon;
        fd = listenFd;
    }
    if (d) {
        // No new connections; those open keep being served.
        const MHD_socket quiet = MHD_quiesce_daemon(d);
        if (quiet != MHD_INVALID_SOCKET)
            ::close(quiet);
        else if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
    }
    // The workers answer what was handed to them and leave; what comes in later is refused.
    {
        std::lock_guard lock(queueMutex);
        workersStopping = true;
    }
    queueChanged.notify_all();
    for (std::thread &t : workers)
        t.join();
    workers.clear();
    if (d) {
        // The library must have taken back every suspended connection before it stops; then the
        // answers get up to writeTimeout to go out.
        std::unique_lock lock(drainMutex);
        drained.wait(lock, [&] { return suspended == 0; });
        drained.wait_for(lock, options.writeTimeout, [&] { return answering == 0; });
        lock.unlock();
        MHD_stop_daemon(d);
    }
    {
        std::lock_guard lock(clientsMutex);
        sweepStopping = true;
    }
    sweepWake.notify_all();
    if (sweeper.joinable()) sweeper.join();
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
    std::lock_guard life(d->lifeMutex);
    return d->start(error);
}

bool HttpServer::run(QString *error)
{
    {
        std::lock_guard life(d->lifeMutex);
        if (!d->start(error)) return false;
    }
    std::unique_lock lock(d->stateMutex);
    d->stateChanged.wait(lock, [&] { return !d->running; });
    return true;
}

void HttpServer::stop()
{
    std::lock_guard life(d->lifeMutex);
    {
        std::lock_guard lock(d->stateMutex);
        if (!d->running) return;
    }
    d->shutDown();
    std::lock_guard lock(d->stateMutex);
    d->daemon = nullptr;
    d->listenFd = -1;
    d->running = false;
    d->port = 0;
    d->stateChanged.notify_all();
}

bool HttpServer::isRunning() const
{
    std::lock_guard lock(d->stateMutex);
    return d->running;
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
