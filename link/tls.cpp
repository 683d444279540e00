#include "link/tls.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace lumeko::link::detail {

namespace {

struct BioFree {
    void operator()(BIO *b) const { BIO_free(b); }
};
struct X509Free {
    void operator()(X509 *x) const { X509_free(x); }
};
struct KeyFree {
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Certificate = std::unique_ptr<X509, X509Free>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// Certificates and keys are a few kilobytes; a file far larger is something else.
constexpr qint64 kLargestPemFile = 1024 * 1024;

bool readPemFile(const QString &path, const QString &what, QByteArray *bytes, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read the %1 file %2: %3").arg(what, path, file.errorString());
        return false;
    }
    if (file.size() > kLargestPemFile) {
        *why = QStringLiteral("the %1 file %2 is larger than a PEM file of certificates and keys can be").arg(what, path);
        return false;
    }
    *bytes = file.readAll();
    return true;
}

Bio memoryBio(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

// A key file is read without asking anyone for a passphrase: a server starts unattended.
int noPassphrase(char *, int, int, void *)
{
    return 0;
}

QString withDetail(const QString &message)
{
    const QString detail = takeTlsErrors();
    return detail.isEmpty() ? message : message + QStringLiteral(" (") + detail + u')';
}

// An ASN.1 time as "2024-09-01 08:00 UTC".
QString utcText(const ASN1_TIME *t)
{
    struct tm parts {};
    if (!ASN1_TIME_to_tm(t, &parts)) return QStringLiteral("an unreadable date");
    const QDateTime at(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday), QTime(parts.tm_hour, parts.tm_min), Qt::UTC);
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

} // namespace

QString takeTlsErrors()
{
    QStringList parts;
    while (const unsigned long e = ERR_get_error()) {
        const char *reason = ERR_reason_error_string(e);
        const QString text = reason ? QString::fromUtf8(reason) : QStringLiteral("OpenSSL error %1").arg(e, 0, 16);
        if (!parts.contains(text)) parts.append(text);
    }
    return parts.join(QStringLiteral("; "));
}

bool useServerCertificate(SSL_CTX &ctx, const QString &certificateFile, const QString &keyFile, QString *why)
{
    ERR_clear_error();
    SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(&ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);

    QByteArray pem;
    if (!readPemFile(certificateFile, QStringLiteral("certificate"), &pem, why)) return false;
    Bio bio = memoryBio(pem);
    const Certificate leaf(PEM_read_bio_X509_AUX(bio.get(), nullptr, noPassphrase, nullptr));
    if (!leaf) {
        *why = withDetail(QStringLiteral("the certificate file %1 holds no PEM certificate").arg(certificateFile));
        return false;
    }
    if (X509_cmp_current_time(X509_get0_notAfter(leaf.get())) < 0) {
        *why = QStringLiteral("the certificate in %1 expired on %2; clients would refuse it").arg(certificateFile, utcText(X509_get0_notAfter(leaf.get())));
        return false;
    }
    if (SSL_CTX_use_certificate(&ctx, leaf.get()) != 1) {
        *why = withDetail(QStringLiteral("the certificate in %1 cannot be used").arg(certificateFile));
        return false;
    }
    // The certificates after the first are its chain, sent along for clients that know only the root.
    SSL_CTX_clear_chain_certs(&ctx);
    while (X509 *link = PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr)) {
        if (SSL_CTX_add0_chain_cert(&ctx, link) != 1) {
            X509_free(link);
            *why = withDetail(QStringLiteral("a chain certificate in %1 cannot be used").arg(certificateFile));
            return false;
        }
    }
    ERR_clear_error(); // the end of the file is reported as an error too

    if (!readPemFile(keyFile, QStringLiteral("key"), &pem, why)) return false;
    bio = memoryBio(pem);
    const Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
    if (!key) {
        if (pem.contains("ENCRYPTED")) {
            ERR_clear_error();
            *why = QStringLiteral("the key in %1 is protected by a passphrase; the server needs it without one "
                                  "(keep the file readable by the server's account only)")
                       .arg(keyFile);
        } else {
            *why = withDetail(QStringLiteral("the key file %1 holds no PEM private key").arg(keyFile));
        }
        return false;
    }
    if (SSL_CTX_use_PrivateKey(&ctx, key.get()) != 1 || SSL_CTX_check_private_key(&ctx) != 1) {
        ERR_clear_error();
        *why = QStringLiteral("the key in %1 does not belong to the certificate in %2").arg(keyFile, certificateFile);
        return false;
    }
    return true;
}

QString checkAuthorities(const QString &file)
{
    ERR_clear_error();
    QByteArray pem;
    QString why;
    if (!readPemFile(file, QStringLiteral("certificate authority"), &pem, &why)) return why;
    const Bio bio = memoryBio(pem);
    const Certificate first(PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr));
    if (!first) return withDetail(QStringLiteral("the certificate authority file %1 holds no PEM certificate").arg(file));
    ERR_clear_error();
    return {};
}

bool requireHost(SSL_CTX &ctx, const QString &host)
{
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(&ctx);
    const QByteArray name = host.toUtf8();
    if (X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) == 1) return true;
    ERR_clear_error();
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return X509_VERIFY_PARAM_set1_host(param, name.constData(), size_t(name.size())) == 1;
}

QString verifyError(long result)
{
    return QString::fromUtf8(X509_verify_cert_error_string(result));
}

} // namespace lumeko::link::detail
