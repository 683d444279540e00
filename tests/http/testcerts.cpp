#include "testcerts.h"

#include <QFile>

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <stdexcept>

namespace lumeko::testing {

namespace {

[[noreturn]] void fail(const char *what)
{
    throw std::runtime_error(std::string("making a test certificate failed: ") + what);
}

void addExtension(X509 *cert, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) fail(value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

QByteArray drain(BIO *bio)
{
    BUF_MEM *mem = nullptr;
    BIO_get_mem_ptr(bio, &mem);
    QByteArray bytes(mem->data, qsizetype(mem->length));
    BIO_free(bio);
    return bytes;
}

std::atomic<long> nextSerial{1000};

} // namespace

TestCertificate TestCertificate::authority(const QString &commonName)
{
    return server(nullptr, commonName, QString(), -1, 3650, true);
}

TestCertificate TestCertificate::server(const TestCertificate *issuer, const QString &commonName, const QString &altNames, int validFromDays, int validToDays,
                                        bool intermediate)
{
    TestCertificate made;
    EVP_PKEY *key = EVP_EC_gen("P-256");
    if (!key) fail("EC key");
    made.m_key.reset(key, EVP_PKEY_free);
    X509 *cert = X509_new();
    made.m_certificate.reset(cert, X509_free);

    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), nextSerial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), long(validFromDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), long(validToDays) * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME *name = X509_get_subject_name(cert);
    const QByteArray cn = commonName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("杭州市第一中学"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1, 0);

    X509 *signer = issuer ? issuer->m_certificate.get() : cert;
    EVP_PKEY *signingKey = issuer ? issuer->m_key.get() : key;
    X509_set_issuer_name(cert, X509_get_subject_name(signer));

    addExtension(cert, signer, NID_subject_key_identifier, "hash");
    addExtension(cert, signer, NID_authority_key_identifier, "keyid:always");
    if (intermediate) {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert, signer, NID_ext_key_usage, "serverAuth");
    }
    if (!altNames.isEmpty()) addExtension(cert, signer, NID_subject_alt_name, altNames.toUtf8().constData());
    if (X509_sign(cert, signingKey, EVP_sha256()) == 0) fail("signature");
    return made;
}

QByteArray TestCertificate::certificatePem() const
{
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, m_certificate.get());
    return drain(bio);
}

QByteArray TestCertificate::keyPem(const QByteArray &passphrase) const
{
    BIO *bio = BIO_new(BIO_s_mem());
    if (passphrase.isEmpty()) {
        PEM_write_bio_PrivateKey(bio, m_key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    } else {
        PEM_write_bio_PKCS8PrivateKey(bio, m_key.get(), EVP_aes_256_cbc(), passphrase.constData(), int(passphrase.size()), nullptr, nullptr);
    }
    return drain(bio);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace lumeko::testing
