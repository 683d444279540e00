#include "toolkit/cipher/cipher.h"

#include <QByteArray>
#include <QStringDecoder>

#include <sodium.h>

#include <cstdlib>

namespace lumeko::cipher {

namespace {

constexpr qsizetype kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr qsizetype kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr qsizetype kKeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
static_assert(kKeyBytes == crypto_generichash_BYTES, "the key is one BLAKE2b-256 hash");

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) std::abort(); // no usable random source: nothing may be enciphered
}

// BLAKE2b-256 of the key text; the additional data binds the cipher text to its format version.
QByteArray keyBytes(const QString &key)
{
    const QByteArray utf8 = key.toUtf8();
    QByteArray k(kKeyBytes, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(k.data()), size_t(k.size()), reinterpret_cast<const unsigned char *>(utf8.constData()),
                       size_t(utf8.size()), nullptr, 0);
    return k;
}

const unsigned char *ad()
{
    return reinterpret_cast<const unsigned char *>(kCipherPrefix);
}
constexpr unsigned long long kAdBytes = sizeof(kCipherPrefix) - 1;

std::optional<QByteArray> payload(const QString &text)
{
    if (!text.startsWith(QLatin1StringView(kCipherPrefix))) return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(text.mid(qsizetype(kAdBytes)).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() < kNonceBytes + kTagBytes) return std::nullopt;
    // Base64 text with stray characters that do not belong to the alphabet is refused, not skipped.
    if (text.mid(qsizetype(kAdBytes)) != QString::fromLatin1(decoded.decoded.toBase64())) return std::nullopt;
    return decoded.decoded;
}

} // namespace

QString encStr(const QString &text, const QString &key)
{
    ensureSodium();
    const QByteArray plain = text.toUtf8();
    const QByteArray k = keyBytes(key);
    QByteArray out(kNonceBytes + plain.size() + kTagBytes, Qt::Uninitialized);
    auto *nonce = reinterpret_cast<unsigned char *>(out.data());
    randombytes_buf(nonce, size_t(kNonceBytes));
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + kNonceBytes, &written, reinterpret_cast<const unsigned char *>(plain.constData()), size_t(plain.size()),
                                               ad(), kAdBytes, nullptr, nonce, reinterpret_cast<const unsigned char *>(k.constData()));
    out.truncate(kNonceBytes + qsizetype(written));
    return QLatin1StringView(kCipherPrefix) + QString::fromLatin1(out.toBase64());
}

std::optional<QString> decStr(const QString &cipher, const QString &key)
{
    ensureSodium();
    const std::optional<QByteArray> bytes = payload(cipher);
    if (!bytes) return std::nullopt;
    const QByteArray k = keyBytes(key);
    const auto *nonce = reinterpret_cast<const unsigned char *>(bytes->constData());
    const qsizetype sealed = bytes->size() - kNonceBytes;
    QByteArray plain(sealed - kTagBytes, Qt::Uninitialized);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plain.data()), &written, nullptr, nonce + kNonceBytes, size_t(sealed),
                                                   ad(), kAdBytes, nonce, reinterpret_cast<const unsigned char *>(k.constData())) != 0)
        return std::nullopt;
    plain.truncate(qsizetype(written));
    // The plain text was made from a QString, so it is valid UTF-8; anything else was not made here.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = utf8.decode(plain);
    if (utf8.hasError()) return std::nullopt;
    return result;
}

bool isCipherText(const QString &text)
{
    return payload(text).has_value();
}

} // namespace lumeko::cipher
