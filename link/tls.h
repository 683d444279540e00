#pragma once
// TLS over OpenSSL as the HTTP server and the link set it up; internal to the two transports. Every failure is told in words that name the file or the host
// concerned.

#include "link/link_export.h"

#include <QString>

#include <openssl/ssl.h>

namespace lumeko::link::detail {

// What OpenSSL's error queue of the calling thread holds, oldest first and joined by "; ", and
// empties it. Empty when it holds nothing.
LUMEKO_LINK_EXPORT QString takeTlsErrors();

// Gives a server's context its certificate (the first one in certificateFile; the others there are
// sent along as its chain) and the certificate's private key, and limits it to TLS 1.2 and later.
// False, with the reason in *why, when a file cannot be read, holds no certificate or no key that
// can be read without a passphrase, the key is not the certificate's, or the certificate has
// expired (no client would accept it).
LUMEKO_LINK_EXPORT bool useServerCertificate(SSL_CTX &ctx, const QString &certificateFile, const QString &keyFile, QString *why);

// Empty when the file holds at least one PEM certificate, the certificate authorities a client is
// told to trust; otherwise why it cannot serve as such.
LUMEKO_LINK_EXPORT QString checkAuthorities(const QString &file);

// From then on the certificate check of connections made with the context includes the host:
// the server's certificate must be made out to it (an IP address to one of its IP entries, a name
// to one of its DNS names). False when OpenSSL refuses the host.
LUMEKO_LINK_EXPORT bool requireHost(SSL_CTX &ctx, const QString &host);

// A failed certificate check (SSL_get_verify_result) in words.
LUMEKO_LINK_EXPORT QString verifyError(long result);

} // namespace lumeko::link::detail
