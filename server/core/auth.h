#pragma once
// Passwords, session tokens and the brake on guessing: Argon2id hashes from libsodium with a bound
// on how many run at once, random tokens of which only a hash is stored, and sign-in attempts
// counted in the database, before their passwords are checked, so that every server process of a
// district sees the same count.

#include "server/core/server_export.h"
#include "server/storage/database.h"

#include <QDateTime>
#include <QString>

#include <chrono>
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

// At most a few password checks run at once in this process. One Argon2id check at the interactive
// cost takes 64 MB and a core for a tenth of a second: a burst of sign-ins, or of guesses from many
// addresses, must not take the server's memory. A check waits for its turn up to a short time; a
// sign-in that gets none is refused as busy, not as wrong. Hashing a new password takes a turn too,
// waiting as long as it must.
class LUMEKO_SERVER_EXPORT PasswordChecks {
public:
    // How many at once (by default the computer's cores, 2 to 4) and the longest wait of a sign-in
    // for its turn (by default 5 s). Also resets mostAtOnce().
    static void configure(int atOnce, std::chrono::milliseconds longestWait);
    static int atOnce();
    static std::chrono::milliseconds longestWait();
    // Password checks begun since the process started, and the most that ever ran at once.
    static quint64 begun();
    static int mostAtOnce();

    // A turn, held for as long as the object lives.
    class LUMEKO_SERVER_EXPORT Turn {
    public:
        explicit Turn(std::chrono::milliseconds wait); // wait < 0: as long as it takes
        ~Turn();
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        bool taken() const { return m_taken; }

    private:
        bool m_taken = false;
    };
};

enum class PasswordCheck { Right, Wrong, Busy };
// verifyPassword within a turn of PasswordChecks; Busy when no turn came within the longest wait.
LUMEKO_SERVER_EXPORT PasswordCheck checkPassword(const QString &hash, const QString &password);

// How sign-in attempts of one kind of subject are braked.
struct BrakeRule {
    int freeAttempts;        // failed attempts within the window before the subject is blocked
    int windowSeconds;       // attempts are counted from the first within this time
    int firstBlockSeconds;   // the block after the last free attempt; each further attempt after
    int longestBlockSeconds; // a block doubles it, up to this
    bool forgetAfterBlock;   // a block that ran out starts the count afresh
};

// Sign-in attempts of a subject ("login:wang@10.0.0.7" for a login from one address,
// "peer:10.0.0.7" for an address), counted in the database so that every server process of a
// district sees the same count. An attempt is counted before its password is checked, in a
// transaction that holds the subject's row, so that attempts at the same moment (other threads,
// other processes) each see those before them: of 48 guesses at once, as many are checked as the
// rule lets through, and the rest are refused without hashing anything. The attempt that uses up
// the free ones blocks the subject at once; should its password be right, takeBack() or clear()
// lifts the block again.
class LUMEKO_SERVER_EXPORT SignInThrottle {
public:
    // The teachers' sign-in: five wrong passwords for a login from one address block that login
    // from that address (30 s, doubling with every further wrong one up to 15 minutes); the same
    // login from another address is not braked by them. An address that guesses over many logins
    // is braked after twenty, however few each login got.
    static constexpr BrakeRule kLoginFromAddress{5, 15 * 60, 30, 15 * 60, false};
    static constexpr BrakeRule kAddress{20, 15 * 60, 30, 15 * 60, false};

    SignInThrottle(Database &db, QDateTime now) : m_db(db), m_now(std::move(now)) {}

    // Counts an attempt of the subject and answers its number within the window (1 for the
    // first), or 0 when the subject is blocked: then nothing is counted and secondsBlocked() tells
    // how long it must wait.
    int admit(const QString &subject, const BrakeRule &rule);
    // Seconds the subject must still wait; 0 when it may try.
    int secondsBlocked(const QString &subject);
    // An admitted attempt whose password was right, or that was not checked after all, no longer
    // counts; a block it set is lifted.
    void takeBack(const QString &subject);
    void clear(const QString &subject);
    // Forgets the subjects whose last window began more than a day ago and that are not blocked:
    // guesses at logins that do not exist would otherwise leave their rows for ever.
    void sweep();

    // The subject of a name (a login, a student number) tried from an address; names too long for
    // the table are kept by a hash of theirs.
    static QString subject(const QString &kind, const QString &name, const QString &address);

private:
    Database &m_db;
    QDateTime m_now;
};

} // namespace lumeko::server
