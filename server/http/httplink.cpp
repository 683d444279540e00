#include "server/http/httplink.h"
#include "server/http/internal.h"

#include <httplib.h>

#include <QUrl>

namespace lumeko::server {

namespace {

using Clock = std::chrono::steady_clock;

void setTimeout(httplib::Client &client, void (httplib::Client::*setter)(time_t, time_t), std::chrono::milliseconds d)
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
    return detail::httpUrl(host, port);
}

std::optional<HttpLinkOptions> HttpLinkOptions::fromUrl(const QString &url, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error) *error = QStringLiteral("'%1' is not a server address: %2").arg(url, why);
        return std::optional<HttpLinkOptions>();
    };
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty()) return fail(QStringLiteral("write it as http://host:port"));
    if (u.scheme() != QLatin1String("http")) return fail(QStringLiteral("only http:// addresses are served"));
    if (u.host().isEmpty()) return fail(QStringLiteral("it names no host"));
    if (!u.userInfo().isEmpty() || u.hasQuery() || u.hasFragment() || (u.path() != QLatin1String("/") && !u.path().isEmpty()))
        return fail(QStringLiteral("give only the host and the port"));
    HttpLinkOptions o;
    o.host = u.host();
    o.port = u.port(80);
    if (o.port < 1) return fail(QStringLiteral("port %1 is not a TCP port").arg(o.port));
    return o;
}

struct HttpLink::Impl {
    HttpLinkOptions options;
    QString url;
    httplib::Client client;

    explicit Impl(HttpLinkOptions o)
        : options(std::move(o)), url(options.url()), client(options.host.toStdString(), options.port)
    {
        client.set_keep_alive(true);
        client.set_tcp_nodelay(true);
        client.set_decompress(false); // CBOR answers are not compressed; ask for nothing else
        setTimeout(client, &httplib::Client::set_connection_timeout, options.connectTimeout);
        setTimeout(client, &httplib::Client::set_read_timeout, options.readTimeout);
        setTimeout(client, &httplib::Client::set_write_timeout, options.writeTimeout);
    }

    wire::Reply transportFailure(httplib::Error error, std::chrono::milliseconds elapsed, const QString &name) const;
    wire::Reply answerFailure(const httplib::Response &res, const QString &name, const QString &why) const;
};

wire::Reply HttpLink::Impl::transportFailure(httplib::Error error, std::chrono::milliseconds elapsed, const QString &name) const
{
    using wire::ErrorCode;
    using wire::Reply;
    switch (error) {
    case httplib::Error::ConnectionTimeout:
        return Reply::failure(ErrorCode::Timeout, QStringLiteral("%1: no connection to the server at %2 within %3")
                                                      .arg(name, url, seconds(options.connectTimeout)));
    case httplib::Error::Connection:
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: cannot connect to the server at %2 "
                                                                  "(the connection was refused or the host cannot be reached)")
                                                       .arg(name, url));
    case httplib::Error::Read:
        // The library tells a time-out from a broken connection only by how long it waited.
        if (elapsed >= options.readTimeout)
            return Reply::failure(ErrorCode::Timeout, QStringLiteral("%1: the server at %2 did not answer within %3")
                                                          .arg(name, url, seconds(options.readTimeout)));
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the connection to the server at %2 broke before the answer came")
                                                       .arg(name, url));
    case httplib::Error::Write:
        if (elapsed >= options.writeTimeout)
            return Reply::failure(ErrorCode::Timeout, QStringLiteral("%1: the server at %2 did not take the call within %3")
                                                          .arg(name, url, seconds(options.writeTimeout)));
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the connection to the server at %2 broke while the call was sent")
                                                       .arg(name, url));
    default:
        return Reply::failure(ErrorCode::Internal, QStringLiteral("%1: the call to the server at %2 failed: %3")
                                                       .arg(name, url, QString::fromStdString(httplib::to_string(error))));
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

    const auto started = Clock::now();
    httplib::Result result = d->client.Post("/call", body.constData(), size_t(body.size()), "application/cbor");
    if (!result) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        return d->transportFailure(result.error(), elapsed, name);
    }

    const httplib::Response &res = *result;
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

} // namespace lumeko::server
