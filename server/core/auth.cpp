#include "server/core/auth.h"

#include <sodium.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace lumeko::server {

namespace {

void initSodium()
{
    static const bool ok = sodium_init() >= 0;
    if (!ok) throw std::runtime_error("libsodium could not be initialised");
}

// The turns of PasswordChecks.
struct Turns {
    std::mutex mutex;
    std::condition_variable freed;
    int limit = std::clamp(int(std::thread::hardware_concurrency()), 2, 4);
    std::chrono::milliseconds longestWait{5000};
    int running = 0;
    int most = 0;
    std::atomic<quint64> begun{0};
};

Turns &turns()
{
    static Turns t;
    return t;
}

} // namespace

void PasswordChecks::configure(int atOnce, std::chrono::milliseconds longestWait)
{
    Turns &t = turns();
    std::lock_guard lock(t.mutex);
    t.limit = std::max(1, atOnce);
    t.longestWait = longestWait;
    t.most = t.running;
    t.freed.notify_all();
}

int PasswordChecks::atOnce()
{
    std::lock_guard lock(turns().mutex);
    return turns().limit;
}

std::chrono::milliseconds PasswordChecks::longestWait()
{
    std::lock_guard lock(turns().mutex);
    return turns().longestWait;
}

quint64 PasswordChecks::begun()
{
    return turns().begun.load();
}

int PasswordChecks::mostAtOnce()
{
    std::lock_guard lock(turns().mutex);
    return turns().most;
}

PasswordChecks::Turn::Turn(std::chrono::milliseconds wait)
{
    Turns &t = turns();
    std::unique_lock lock(t.mutex);
    const auto free = [&t] { return t.running < t.limit; };
    if (wait.count() < 0)
        t.freed.wait(lock, free);
    else if (!t.freed.wait_for(lock, wait, free))
        return;
    ++t.running;
    t.most = std::max(t.most, t.running);
    m_taken = true;
}

PasswordChecks::Turn::~Turn()
{
    if (!m_taken) return;
    Turns &t = turns();
    std::lock_guard lock(t.mutex);
    --t.running;
    t.freed.notify_one();
}

QString hashPassword(const QString &password, PasswordCost cost)
{
    initSodium();
    const PasswordChecks::Turn turn(std::chrono::milliseconds(-1));
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

PasswordCheck checkPassword(const QString &hash, const QString &password)
{
    const PasswordChecks::Turn turn(PasswordChecks::longestWait());
    if (!turn.taken()) return PasswordCheck::Busy;
    ++turns().begun;
    return verifyPassword(hash, password) ? PasswordCheck::Right : PasswordCheck::Wrong;
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

namespace {

struct Attempts {
    int count = 0;
    QDateTime first, blockedUntil; // blockedUntil invalid: not blocked
};

// The subject's row, held until the transaction ends (a SQLite writer holds the whole file).
Attempts lockAttempts(Database &db, const QString &subject)
{
    using wire::FieldType;
    const QString lock = db.backend() == Backend::Postgres ? QStringLiteral(" FOR UPDATE") : QString();
    const auto row =
        db.select(QStringLiteral("SELECT \"nCount\", \"dFirst\", \"dBlockedUntil\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?") + lock, {subject},
                  {{QStringLiteral("nCount"), FieldType::Integer, 0, 0},
                   {QStringLiteral("dFirst"), FieldType::DateTime, 0, 0},
                   {QStringLiteral("dBlockedUntil"), FieldType::DateTime, 0, 0}});
    Attempts a;
    if (row.rowCount() == 0) return a;
    a.count = int(row.value(0, 0).toLongLong());
    a.first = row.value(0, 1).toDateTime();
    if (!wire::isNull(row.value(0, 2))) a.blockedUntil = row.value(0, 2).toDateTime();
    return a;
}

void storeAttempts(Database &db, const QString &subject, const Attempts &a)
{
    using wire::FieldType;
    db.exec(QStringLiteral("UPDATE \"XT_SignInFailure\" SET \"nCount\" = ?, \"dFirst\" = ?, \"dBlockedUntil\" = ? WHERE \"sSubject\" = ?"),
            {a.count, db.toDb(a.first, FieldType::DateTime), a.blockedUntil.isValid() ? db.toDb(a.blockedUntil, FieldType::DateTime) : QVariant(), subject});
}

} // namespace

int SignInThrottle::admit(const QString &subject, const BrakeRule &rule)
{
    Transaction t(m_db);
    // The row exists before it is locked, so that two first attempts cannot both miss it.
    m_db.exec(QStringLiteral("INSERT INTO \"XT_SignInFailure\" (\"sSubject\", \"nCount\", \"dFirst\") VALUES (?, 0, ?) "
                             "ON CONFLICT (\"sSubject\") DO NOTHING"),
              {subject, m_db.toDb(m_now, wire::FieldType::DateTime)});
    Attempts a = lockAttempts(m_db, subject);
    if (a.blockedUntil.isValid() && m_now < a.blockedUntil) {
        t.commit();
        return 0;
    }
    const bool blockRanOut = a.blockedUntil.isValid();
    if (a.count <= 0 || !a.first.isValid() || a.first.secsTo(m_now) >= rule.windowSeconds || (blockRanOut && rule.forgetAfterBlock)) {
        a.count = 0;
        a.first = m_now;
    }
    ++a.count;
    a.blockedUntil = QDateTime();
    if (a.count >= rule.freeAttempts) {
        const int doublings = std::min(a.count - rule.freeAttempts, 10);
        a.blockedUntil = m_now.addSecs(std::min(rule.firstBlockSeconds << doublings, rule.longestBlockSeconds));
    }
    storeAttempts(m_db, subject, a);
    t.commit();
    return a.count;
}

void SignInThrottle::takeBack(const QString &subject)
{
    Transaction t(m_db);
    Attempts a = lockAttempts(m_db, subject);
    if (!a.first.isValid()) return;
    // Nothing of the subject was let through after this attempt blocked it, and a block set by
    // an attempt after this one counted this one among the failures: either way it goes.
    a.count = std::max(0, a.count - 1);
    a.blockedUntil = QDateTime();
    storeAttempts(m_db, subject, a);
    t.commit();
}

int SignInThrottle::secondsBlocked(const QString &subject)
{
    const auto row = m_db.select(QStringLiteral("SELECT \"dBlockedUntil\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject},
                                 {{QStringLiteral("dBlockedUntil"), wire::FieldType::DateTime, 0, 0}});
    if (row.rowCount() == 0 || wire::isNull(row.value(0, 0))) return 0;
    const qint64 left = m_now.secsTo(row.value(0, 0).toDateTime());
    return left > 0 ? int(left) : 0;
}

void SignInThrottle::clear(const QString &subject)
{
    m_db.exec(QStringLiteral("DELETE FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject});
}

void SignInThrottle::sweep()
{
    const QVariant now = m_db.toDb(m_now, wire::FieldType::DateTime);
    m_db.exec(QStringLiteral("DELETE FROM \"XT_SignInFailure\" WHERE \"dFirst\" < ? AND (\"dBlockedUntil\" IS NULL OR \"dBlockedUntil\" < ?)"),
              {m_db.toDb(m_now.addDays(-1), wire::FieldType::DateTime), now});
}

QString SignInThrottle::subject(const QString &kind, const QString &name, const QString &address)
{
    constexpr qsizetype kLongest = 120; // XT_SignInFailure.sSubject
    const QString whole = kind + u':' + name + u'@' + address;
    if (whole.size() <= kLongest) return whole;
    return kind + QStringLiteral(":#") + QString::fromLatin1(QCryptographicHash::hash(whole.toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace lumeko::server
