#pragma once
// The application server's HTTP front: it carries calls from clients on the network to one
// CallService, over plain HTTP or, given a certificate and its key, over HTTPS.
//
//   POST /call    body: an encoded wire::Call (Content-Type application/cbor)
//                 200   an encoded wire::Reply, whatever the service answered (errors included)
//                 400   an encoded Reply with ErrorCode::Malformed: the body is no call
//                 413   an encoded Reply with ErrorCode::TooLarge: the body exceeds maxBodyBytes
//                 500   an encoded Reply with ErrorCode::Internal: the reply could not be encoded
//   GET /health   200 "ok"
//   a web page's prefix, and paths under it: what its WebHandler answers (addWebHandler)
//   anything else 404
//
// Connections are driven by an event loop (libmicrohttpd over epoll) that reads requests and writes
// answers for every connection at once; a connection that is idle, slow or kept alive holds no
// thread. A request whose headers and body have all come is handed to a fixed pool of worker
// threads that live as long as the server listens; the service may keep per-thread state there
// (each worker its own database connection). The pool need only be as large as the number of
// calls that should run at once.
//
// What a client may hold of the server (see "The HTTP front under abuse" in server/README.md):
//   - a connection without a request in progress is closed after keepAliveTimeout, a fresh one
//     (its TLS handshake included) as well as one kept alive after an answer;
//   - a request's line and headers must all have come within headerTimeout of its first line,
//     and its body within bodyTimeout plus a second for every minBodyBytesPerSecond bytes that
//     have come; however the bytes trickle in, a request that misses its deadline is dropped;
//   - a pause longer than readTimeout while a request comes in, or writeTimeout while its answer
//     goes out, ends the connection (both rounded up to whole seconds);
//   - at most maxConnections connections at once: further ones wait in the listening socket's
//     queue until one ends; and maxConnectionsPerAddress of them from one client address: a
//     further one is closed as soon as it is accepted;
//   - a body announced larger than maxBodyBytes is refused (413) before any of it is read; a body
//     without an announced length (chunked) is kept only up to maxBodyBytes, the rest is dropped
//     as it comes and the refusal follows its end (or the connection is closed at its deadline,
//     which stops growing); after a refusal the connection is closed;
//   - the bodies of all requests held at once (from their first byte until their answers have
//     gone) take at most maxBufferedBytes: a request announced larger than what is left is
//     answered 503 at once, one without an announced length when it outgrows what is left; the
//     reply of /call then says the server is busy.
//
// Over HTTPS the server offers TLS 1.2 and later only and asks clients for no certificate: who
// calls is settled by signing in. The certificate and the key are read when listening starts, so a
// renewed certificate is taken up by stopping and listening again.
//
// Listening ignores SIGPIPE for the whole process (a client that gives up must not kill the server
// when its answer is written to the closed connection) and raises the process's soft limit of open
// files towards maxConnections.

#include "server/http/http_export.h"
#include "server/http/webhandler.h"
#include "wire/codec.h"
#include "wire/link.h"

#include <QString>

#include <chrono>
#include <memory>

namespace lumeko::server {

using wire::CallOrigin;
using wire::CallService;
using wire::LocalLink;
using wire::ServerLink;

struct LUMEKO_HTTP_EXPORT HttpServerOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 0;                                     // 0: any free port; HttpServer::port() tells which
    int workerThreads = 32;                           // calls and web pages answered at once
    qint64 maxBodyBytes = qint64(64) * 1024 * 1024;   // of one request, far above a page's largest call
    qint64 maxBufferedBytes = qint64(256) * 1024 * 1024; // of all requests' bodies held at once
    std::chrono::milliseconds headerTimeout{10'000};     // for a request's line and headers, all of them
    std::chrono::milliseconds bodyTimeout{30'000};       // for its body, plus a second for every ...
    qint64 minBodyBytesPerSecond = 64 * 1024;            // ... this many bytes that came
    std::chrono::milliseconds readTimeout{30'000};       // longest pause in the bytes of a request
    std::chrono::milliseconds writeTimeout{30'000};   // longest wait for a client to take the answer
    std::chrono::seconds keepAliveTimeout{5};         // a connection without a request is closed after this
    int keepAliveMaxCount = 1000;                     // calls on one connection before it is closed
    int maxConnections = 2048;                        // open at once
    int maxConnectionsPerAddress = 256;               // open at once from one client address
    wire::DecodeLimits limits;                        // what one call may make the decoder allocate

    // HTTPS: a PEM file with the server's certificate (then any intermediate certificates of its
    // chain) and a PEM file with its private key, not protected by a passphrase. Both or neither.
    QString tlsCertificate;
    QString tlsKey;
    bool tls() const { return !tlsCertificate.isEmpty() || !tlsKey.isEmpty(); }
};

class LUMEKO_HTTP_EXPORT HttpServer {
public:
    // The service must outlive the server. Options are checked by listen() and run().
    explicit HttpServer(CallService &service, HttpServerOptions options = {});
    ~HttpServer(); // stops the server

    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Serves GET, HEAD and POST requests for the path `prefix` ("/query") and every path under it
    // with the handler, which must outlive the server. Takes effect when listening starts.
    void addWebHandler(const QString &prefix, WebHandler &handler);

    // Binds the address and serves on a thread of its own; returns once connections are accepted.
    // False, with the reason in *error, when the options are wrong, the certificate or the key
    // cannot be read or do not belong together, the address cannot be bound (the port is taken)
    // or the server is already listening.
    bool listen(QString *error = nullptr);

    // Binds the address and serves on the calling thread until stop() is called from another one.
    // False, with the reason in *error, when it could not start.
    bool run(QString *error = nullptr);

    // Stops accepting, finishes the calls in progress, waits up to writeTimeout for their answers
    // to be taken, closes every connection and returns; callable from any thread, and more than
    // once. A server that was stopped can listen again.
    void stop();

    bool isRunning() const;
    // The bound port while running (the one chosen when the options said 0); 0 otherwise.
    int port() const;
    // "http://host:port", or "https://host:port" over TLS, while running.
    QString url() const;

    const HttpServerOptions &options() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lumeko::server
