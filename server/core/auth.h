#pragma once
// Passwords, session tokens and the brake on guessing: Argon2id hashes from libsodium, random
// tokens of which only a hash is stored, and failed sign-ins counted in the database so that every
// server process of a district sees the same count.

#include "server/core/server_export.h"
#include "server/storage/database.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace lumeko::server {

enum class PasswordCost {
    Interactive, // libsodium's interactive limits: the real setting
    Minimal,     // the smallest libsodium allows; for test fixtures that hash many passwords
};

LUMEKO_SERVER_EXPORT QString hashPassword(const QString &password, PasswordCost cost = PasswordCost::Interactive);
// False for a wrong password and for anything that is not a hash made by hashPassword.
LUMEKO_SERVER_EXPORT bool verifyPassword(const QString &hash, const QString &password);
LUMEKO_SERVER_EXPORT bool isPasswordHash(const QString &text);

// 32 random bytes as 64 hex digits, and the hash under which a session is stored.
LUMEKO_SERVER_EXPORT QString newSessionToken();
LUMEKO_SERVER_EXPORT QString sessionTokenHash(const QString &token);

// Failed sign-ins of one subject ("login:name" or "peer:address"). After `freeAttempts` failures
// within the window, the subject is blocked for a time that doubles with every further failure.
class LUMEKO_SERVER_EXPORT SignInThrottle {
public:
    static constexpr int freeAttempts = 5;
    static constexpr int windowSeconds = 15 * 60;
    static constexpr int firstBlockSeconds = 30;
    static constexpr int longestBlockSeconds = 15 * 60;

    explicit SignInThrottle(Database &db) : m_db(db) {}
    // Seconds the subject must still wait; 0 when it may try.
    int secondsBlocked(const QString &subject, const QDateTime &now);
    void recordFailure(const QString &subject, const QDateTime &now);
    void clear(const QString &subject);

private:
    Database &m_db;
};

} // namespace lumeko::server
