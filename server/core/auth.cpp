#include "server/core/auth.h"

#include <sodium.h>

#include <QByteArray>

#include <algorithm>
#include <stdexcept>

namespace lumeko::server {

namespace {

void initSodium()
{
    static const bool ok = sodium_init() >= 0;
    if (!ok) throw std::runtime_error("libsodium could not be initialised");
}

} // namespace

QString hashPassword(const QString &password, PasswordCost cost)
{
    initSodium();
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const bool minimal = cost == PasswordCost::Minimal;
    if (crypto_pwhash_str_alg(out, pw.constData(), pw.size(),
                              minimal ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              minimal ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return QString::fromLatin1(out);
}

bool isPasswordHash(const QString &text)
{
    return text.startsWith(QLatin1StringView(crypto_pwhash_argon2id_STRPREFIX)) && text.size() < crypto_pwhash_STRBYTES;
}

bool verifyPassword(const QString &hash, const QString &password)
{
    initSodium();
    if (!isPasswordHash(hash)) return false;
    const QByteArray h = hash.toLatin1();
    const QByteArray pw = password.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), pw.constData(), pw.size()) == 0;
}

QString newSessionToken()
{
    initSodium();
    QByteArray bytes(32, Qt::Uninitialized);
    randombytes_buf(bytes.data(), bytes.size());
    return QString::fromLatin1(bytes.toHex());
}

QString sessionTokenHash(const QString &token)
{
    initSodium();
    const QByteArray t = token.toLatin1();
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char *>(t.constData()), t.size(), nullptr, 0);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(out), sizeof out).toHex());
}

// --- SignInThrottle -------------------------------------------------------------------------------------

int SignInThrottle::secondsBlocked(const QString &subject, const QDateTime &now)
{
    const auto row = m_db.select(QStringLiteral("SELECT \"dBlockedUntil\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"),
                                 {subject}, {{QStringLiteral("dBlockedUntil"), wire::FieldType::DateTime, 0, 0}});
    if (row.rowCount() == 0 || wire::isNull(row.value(0, 0))) return 0;
    const qint64 left = now.secsTo(row.value(0, 0).toDateTime());
    return left > 0 ? int(left) : 0;
}

void SignInThrottle::recordFailure(const QString &subject, const QDateTime &now)
{
    using wire::FieldType;
    const auto row = m_db.select(QStringLiteral("SELECT \"nCount\", \"dFirst\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"),
                                 {subject}, {{QStringLiteral("nCount"), FieldType::Integer, 0, 0}, {QStringLiteral("dFirst"), FieldType::DateTime, 0, 0}});
    int count = 1;
    QDateTime first = now;
    if (row.rowCount() > 0 && row.value(0, 1).toDateTime().secsTo(now) < windowSeconds) {
        count = int(row.value(0, 0).toLongLong()) + 1;
        first = row.value(0, 1).toDateTime();
    }
    QVariant blockedUntil;
    if (count >= freeAttempts) {
        const int doublings = std::min(count - freeAttempts, 10);
        blockedUntil = m_db.toDb(now.addSecs(std::min(firstBlockSeconds << doublings, longestBlockSeconds)), FieldType::DateTime);
    }
    const QVariant firstDb = m_db.toDb(first, FieldType::DateTime);
    // Two processes may record a failure of the same subject at once: the later one wins.
    m_db.exec(QStringLiteral("INSERT INTO \"XT_SignInFailure\" (\"sSubject\", \"nCount\", \"dFirst\", \"dBlockedUntil\") VALUES (?, ?, ?, ?) "
                             "ON CONFLICT (\"sSubject\") DO UPDATE SET \"nCount\" = excluded.\"nCount\", "
                             "\"dFirst\" = excluded.\"dFirst\", \"dBlockedUntil\" = excluded.\"dBlockedUntil\""),
              {subject, count, firstDb, blockedUntil});
}

void SignInThrottle::clear(const QString &subject)
{
    m_db.exec(QStringLiteral("DELETE FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject});
}

} // namespace lumeko::server
