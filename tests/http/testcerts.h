#pragma once
// Certificates made at run time for the HTTPS tests, with OpenSSL: a school's certificate
// authority, the certificates it signs for servers, and certificates nobody vouches for.

#include <QByteArray>
#include <QString>

#include <memory>

struct evp_pkey_st;
struct x509_st;

namespace lumeko::testing {

// A key pair (EC P-256) and its certificate.
class TestCertificate {
public:
    // A certificate authority: self-signed, CA:TRUE, allowed to sign certificates.
    static TestCertificate authority(const QString &commonName);

    // A server's certificate for the subjectAltName entries in altNames ("DNS:localhost,IP:127.0.0.1"),
    // valid from validFromDays to validToDays from now (negative: in the past). Signed by issuer, or
    // by itself when issuer is null. With intermediate true it is an authority itself (CA:TRUE), to
    // stand between the root and a server.
    static TestCertificate server(const TestCertificate *issuer, const QString &commonName, const QString &altNames, int validFromDays = -1,
                                  int validToDays = 30, bool intermediate = false);

    QByteArray certificatePem() const;
    // The private key; with a passphrase it is written encrypted.
    QByteArray keyPem(const QByteArray &passphrase = {}) const;

private:
    std::shared_ptr<evp_pkey_st> m_key;
    std::shared_ptr<x509_st> m_certificate;
};

// Writes bytes to path; false when it cannot.
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace lumeko::testing
