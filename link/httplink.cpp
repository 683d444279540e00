#include "link/httplink.h"
#include "link/internal.h"
#include "link/tls.h"

#include <httplib.h>

#include <QFile>
#include <QLoggingCategory>
#include <QUrl>

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

namespace lumeko::link {

namespace {
Q_LOGGING_CATEGORY(lcHttp, "lumeko.http", QtInfoMsg)
} // namespace

namespace {

using Clock = std::chrono::steady_clock;

void setTimeout(httplib::ClientImpl &client, void (httplib::ClientImpl::*setter)(time_t, time_t), std::chrono::milliseconds d)
{
    (client.*setter)(time_t(d.count() / 1000), time_t((d.count() % 1000) * 1000));
}

QString seconds(std::chrono::milliseconds d)
{
    return d.count() % 1000 == 0 ? QStringLiteral("%1 s").arg(d.count() / 1000) : QStringLiteral("%1 ms").arg(d.count());
}

} // namespace

QString HttpLinkOptions::url() const
{
    return detail::httpUrl(host, port, tls);
}

std::optional<HttpLinkOptions> HttpLinkOptions::fromUrl(const QString &url, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error) *error = QStringLiteral("'%1' is not a server address: %2").arg(url, why);
        return std::optional<HttpLinkOptions>();
    };
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty()) return fail(QStringLiteral("write it as https://host:port or http://host:port"));
    const bool tls = u.scheme() == QLatin1String("https");
    if (!tls && u.scheme() != QLatin1String("http")) return fail(QStringLiteral("only https:// and http:// addresses are served"));
    if (u.host().isEmpty()) return fail(QStringLiteral("it names no host"));
    if (!u.userInfo().isEmpty() || u.hasQuery() || u.hasFragment() || (u.path() != QLatin1String("/") && !u.path().isEmpty()))
        return fail(QStringLiteral("give only the host and the port"));
    HttpLinkOptions o;
    o.host = u.host();
    o.tls = tls;
    o.port = u.port(tls ? 443 : 80);
    if (o.port < 1) return fail(QStringLiteral("port %1 is not a TCP port").arg(o.port));
    return o;
}

struct HttpLink::Impl {
    HttpLinkOptions options;
    QString url;
    std::unique_ptr<httplib::ClientImpl> client;
    httplib::SSLClient *secure = nullptr; // the client, over HTTPS
    QString unusable;                     // why no call can go out (an unusable authority file)

    explicit Impl(HttpLinkOptions o) : options(std::move(o)), url(options.url())
    {
        const std::string host = options.host.toStdString();
        if (options.tls) {
            auto ssl = std::make_unique<httplib::SSLClient>(host, options.port);
            secure = ssl.get();
            ssl->enable_server_certificate_verification(true);
            // With an authority file only its certificates are trusted; without one the library
            // loads the system's.
            if (!options.caFile.isEmpty()) {
                unusable = detail::checkAuthorities(options.caFile);
                ssl->set_ca_cert_path(QFile::encodeName(options.caFile).toStdString());
            }
            // OpenSSL checks the host name as part of the certificate, so that a failure says why.
            if (unusable.isEmpty() && (!ssl->is_valid() || !detail::requireHost(*ssl->ssl_context(), options.host)))
                unusable = QStringLiteral("no TLS connection can be prepared for %1: %2").arg(options.host, detail::takeTlsErrors());
            client = std::move(ssl);
        } else {
            client = std::make_unique<httplib::ClientImpl>(host, options.port);
        }
        client->set_keep_alive(true);
        client->set_tcp_nodelay(true);
        client->set_decompress(false); // CBOR answers are not compressed; ask for nothing else
        setTimeout(*client, &httplib::ClientImpl::set_connection_timeout, options.connectTimeout);
        setTimeout(*client, &httplib::ClientImpl::set_read_timeout, options.readTimeout);
        setTimeout(*client, &httplib::ClientImpl::set_write_timeout, options.writeTimeout);
    }

    wire::Reply transportFailure(httplib::Error error, std::chrono::milliseconds elapsed, const QString &name) const;
    wire::Reply answerFailure(const httplib::Response &res, const QString &name, const QString &why) const;
    QString unverified() const;
};

// Why the server's certificate did not pass, in words.
QString HttpLink::Impl::unverified() const
{
    const long result = secure->get_openssl_verify_result();
    if (result == X509_V_OK) return QStringLiteral("it is not made out to %1").arg(options.host);
    QString why = detail::verifyError(result);
    switch (result) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        why += options.caFile.isEmpty() ? QStringLiteral("; no certificate authority this computer trusts has signed it "
                                                         "(a school's own authority is given with --ca FILE)")
                                        : QStringLiteral("; the certificate authorities in %1 have not signed it").arg(options.caFile);
        break;
    default:
        break;
    }
    return why;
}

wire::Reply HttpLink::Impl::transportFailure(httplib::Error error, std::chrono::milliseconds elapsed, const QString &name) const
{
    using wire::ErrorCode;
    using wire::Reply;
    switch (error) {
    case httplib::Error::SSLServerVerification:
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the server's certificate could not be verified, so nothing was sent "
                                                                  "to the server at %2: %3")
                                                       .arg(name, url, unverified()));
    case httplib::Error::SSLConnection: {
        QString message = QStringLiteral("%1: no secure connection could be made to the server at %2; "
                                         "does it serve HTTPS on that port?")
                              .arg(name, url);
        if (const QString detail = detail::takeTlsErrors(); !detail.isEmpty()) message += QStringLiteral(" (%1)").arg(detail);
        return Reply::failure(ErrorCode::Internal, message);
    }
    case httplib::Error::SSLLoadingCerts:
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the certificate authorities to check the server at %2 against "
                                                                  "could not be loaded: %3")
                                                       .arg(name, url, options.caFile.isEmpty() ? QStringLiteral("the system's") : options.caFile));
    case httplib::Error::ConnectionTimeout:
        return Reply::failure(ErrorCode::Timeout,
                              QStringLiteral("%1: no connection to the server at %2 within %3").arg(name, url, seconds(options.connectTimeout)));
    case httplib::Error::Connection:
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: cannot connect to the server at %2 "
                                                                  "(the connection was refused or the host cannot be reached)")
                                                       .arg(name, url));
    case httplib::Error::Read:
        // The library tells a time-out from a broken connection only by how long it waited.
        if (elapsed >= options.readTimeout)
            return Reply::failure(ErrorCode::Timeout,
                                  QStringLiteral("%1: the server at %2 did not answer within %3").arg(name, url, seconds(options.readTimeout)));
        // A server that serves HTTPS drops a plain request at once, which looks just like this.
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the connection to the server at %2 broke before the answer came%3")
                                                       .arg(name, url,
                                                            options.tls ? QString()
                                                                        : QStringLiteral(" (if it serves HTTPS, "
                                                                                         "give its https:// address)")));
    case httplib::Error::Write:
        if (elapsed >= options.writeTimeout)
            return Reply::failure(ErrorCode::Timeout,
                                  QStringLiteral("%1: the server at %2 did not take the call within %3").arg(name, url, seconds(options.writeTimeout)));
        // A server that serves HTTPS may drop a plain request before all of it is written.
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the connection to the server at %2 broke while the call was sent%3")
                                                       .arg(name, url,
                                                            options.tls ? QString()
                                                                        : QStringLiteral(" (if it serves HTTPS, "
                                                                                         "give its https:// address)")));
    default:
        return Reply::failure(ErrorCode::Internal,
                              QStringLiteral("%1: the call to the server at %2 failed: %3").arg(name, url, QString::fromStdString(httplib::to_string(error))));
    }
}

wire::Reply HttpLink::Impl::answerFailure(const httplib::Response &res, const QString &name, const QString &why) const
{
    QString message = QStringLiteral("%1: the server at %2 answered HTTP %3").arg(name, url).arg(res.status);
    if (!res.reason.empty()) message += u' ' + QString::fromStdString(res.reason);
    const std::string type = res.get_header_value("Content-Type");
    if (type.rfind("text/plain", 0) == 0 && !res.body.empty() && res.body.size() <= 200)
        message += QStringLiteral(" (%1)").arg(QString::fromUtf8(res.body).trimmed());
    if (!why.isEmpty()) message += QStringLiteral(", which is no reply: ") + why;
    return wire::Reply::failure(wire::ErrorCode::Internal, message);
}

HttpLink::HttpLink(HttpLinkOptions options) : d(std::make_unique<Impl>(std::move(options)))
{
    detail::ignoreBrokenPipes();
}

HttpLink::~HttpLink() = default;

const HttpLinkOptions &HttpLink::options() const
{
    return d->options;
}

wire::Reply HttpLink::call(wire::Call &call)
{
    const QString name = call.object + u'.' + call.method;
    QByteArray body;
    try {
        body = wire::encodeCall(call);
    } catch (const std::exception &e) {
        return wire::Reply::failure(wire::ErrorCode::BadArguments,
                                    QStringLiteral("%1: the arguments cannot be sent: %2").arg(name, QString::fromUtf8(e.what())));
    }

    if (!d->unusable.isEmpty()) return wire::Reply::failure(wire::ErrorCode::Internal, QStringLiteral("%1: %2").arg(name, d->unusable));
    if (d->secure) ERR_clear_error(); // what OpenSSL says about this call, not an earlier one
    const auto started = Clock::now();
    httplib::Result result = d->client->Post("/call", body.constData(), size_t(body.size()), "application/cbor");
    if (!result) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        return d->transportFailure(result.error(), elapsed, name);
    }

    const httplib::Response &res = *result;
    qCDebug(lcHttp).noquote() << "POST" << d->url << name << body.size() << "bytes sent," << res.body.size() << "bytes back in"
                              << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count() << "ms";
    try {
        wire::Reply reply = wire::decodeReply(QByteArrayView(res.body.data(), qsizetype(res.body.size())), d->options.limits);
        // The server answers a refused request (400, 413, 500) with a reply that says why.
        if (res.status == 200 || !reply.ok()) return reply;
        return d->answerFailure(res, name, QString());
    } catch (const std::exception &e) {
        if (res.status != 200) return d->answerFailure(res, name, QString());
        return d->answerFailure(res, name, QString::fromUtf8(e.what()));
    }
}

} // namespace lumeko::link
