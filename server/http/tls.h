#pragma once
// TLS over OpenSSL as the server and the link set it up; not installed, not part of the library's
// interface. Every failure is told in words that name the file or the host concerned.

#include <QString>

#include <openssl/ssl.h>

namespace lumeko::server::detail {

// What OpenSSL's error queue of the calling thread holds, oldest first and joined by "; ", and
// empties it. Empty when it holds nothing.
QString takeTlsErrors();

// Gives a server's context its certificate (the first one in certificateFile; the others there are
// sent along as its chain) and the certificate's private key, and limits it to TLS 1.2 and later.
// False, with the reason in *why, when a file cannot be read, holds no certificate or no key that
// can be read without a passphrase, the key is not the certificate's, or the certificate has
// expired (no client would accept it).
bool useServerCertificate(SSL_CTX &ctx, const QString &certificateFile, const QString &keyFile, QString *why);

// Empty when the file holds at least one PEM certificate, the certificate authorities a client is
// told to trust; otherwise why it cannot serve as such.
QString checkAuthorities(const QString &file);

// From then on the certificate check of connections made with the context includes the host:
// the server's certificate must be made out to it (an IP address to one of its IP entries, a name
// to one of its DNS names). False when OpenSSL refuses the host.
bool requireHost(SSL_CTX &ctx, const QString &host);

// A failed certificate check (SSL_get_verify_result) in words.
QString verifyError(long result);

} // namespace lumeko::server::detail
