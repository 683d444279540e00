#pragma once
// The client's link to an application server over HTTP or HTTPS: each call is one POST /call with
// the encoded call as its body, on a connection kept alive between calls.
//
// Over HTTPS the server's certificate is always checked, host name included, against the
// certificate authorities of caFile or, without one, against the system's. A certificate that does
// not pass gives ErrorCode::Internal with a message that says so and names the server; the call is
// not sent, and never over plain HTTP instead.
//
// One HttpLink is used by one thread at a time: it owns one connection and is not locked. A
// program that calls from several threads gives each thread a link of its own.
//
// Every failure comes back as a reply, never as an exception: a refused or broken connection or an
// answer that is no reply gives ErrorCode::Internal, a connection or an answer that does not come
// in time gives ErrorCode::Timeout, both with a message that names the server. A failed call is
// not sent again: the server may have carried it out (an update must not be stored twice).

#include "link/link_export.h"
#include "wire/codec.h"
#include "wire/link.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace lumeko::link {

using wire::CallOrigin;
using wire::CallService;
using wire::LocalLink;
using wire::ServerLink;

struct LUMEKO_LINK_EXPORT HttpLinkOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 80;
    bool tls = false; // HTTPS
    QString caFile;   // HTTPS: a PEM file of the certificate authorities to
                      // trust instead of the system's (a school's own)
    std::chrono::milliseconds connectTimeout{5'000};
    std::chrono::milliseconds readTimeout{300'000}; // a school-wide analysis can take minutes
    std::chrono::milliseconds writeTimeout{60'000};
    wire::DecodeLimits limits; // what one reply may make the decoder allocate

    // "http://host:port" or "https://host:port"
    QString url() const;

    // Options for a server address "http://host[:port][/]" or "https://host[:port][/]" (port 80 or
    // 443 when left out), with the default time-outs and the system's certificate authorities.
    // Nothing, with the reason in *error, for any other text.
    static std::optional<HttpLinkOptions> fromUrl(const QString &url, QString *error = nullptr);
};

class LUMEKO_LINK_EXPORT HttpLink final : public ServerLink {
public:
    explicit HttpLink(HttpLinkOptions options);
    ~HttpLink() override;

    HttpLink(const HttpLink &) = delete;
    HttpLink &operator=(const HttpLink &) = delete;

    wire::Reply call(wire::Call &call) override;

    const HttpLinkOptions &options() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lumeko::link
