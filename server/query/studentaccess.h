#pragma once
// Who may read the score query page: a student (or his parents) signs in with the student number
// and the password the register set (XJ_Student.sPass, an Argon2id hash). Five wrong passwords
// for one student number from one client address lock that number from that address for fifteen
// minutes by the server's clock (the student signs in from home while a classmate guesses at
// school); a client address that keeps guessing over many numbers is held off as well. Attempts
// are counted before their passwords are checked (SignInThrottle), so that guesses sent at once
// are checked no more often than guesses sent one after the other. A session is a random token kept by the
// browser in a cookie; the server stores only its hash (XT_StudentSession) and ends it after half
// an hour without a request, on sign-out, or when the student's password is set anew.

#include "server/core/auth.h"
#include "server/query/query_export.h"
#include "server/storage/database.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace lumeko::server {

// The student a session belongs to, as the register holds him.
struct LUMEKO_QUERY_EXPORT QueryStudent {
    QString code;   // XJ_Student.sCode
    QString school; // SchoolCode
    int inYear = 0;
    QString gradeCode, classCode, sno, name;
};

struct LUMEKO_QUERY_EXPORT StudentSignIn {
    enum class Outcome {
        SignedIn,
        Wrong,          // no such student number, no password set, or the wrong password
        Locked,         // the student number is locked from this address after too many wrong passwords
        AddressHeldOff, // this client address has given too many wrong passwords of any number
        Busy            // the server is checking too many passwords at once; nothing was counted
    };
    Outcome outcome = Outcome::Wrong;
    QString token;        // SignedIn: the session's token, for the cookie
    QueryStudent student; // SignedIn
    int attemptsLeft = 0; // Wrong: wrong passwords still allowed before the number locks
    int secondsLeft = 0;  // Locked, AddressHeldOff: until the next try is taken
};

class LUMEKO_QUERY_EXPORT StudentAccess {
public:
    static constexpr int kAttempts = 5;          // wrong passwords of one student number from one address ...
    static constexpr int kLockSeconds = 15 * 60; // ... lock it from there this long
    static constexpr int kAddressAttempts = 50;  // wrong passwords from one address ...
    static constexpr int kAddressHoldSeconds = 15 * 60;
    static constexpr int kWindowSeconds = 15 * 60; // ... counted from the first within this time
    static constexpr int kSessionMinutes = 30;     // a session ends this long after its last request
    static constexpr int kCandidates = 5;          // students of one number (across schools) tried at most

    // `now` is the server's clock (ServerEnvironment::now()); `cost` the one the server hashes the
    // students' passwords at (ServerOptions::passwordCost), which an unknown number is refused at.
    StudentAccess(Database &db, QDateTime now, PasswordCost cost = PasswordCost::Interactive) : m_db(db), m_now(std::move(now)), m_cost(cost) {}

    StudentSignIn signIn(const QString &studentNumber, const QString &password, const QString &peer);
    // The student of a live session; empty for an unknown, ended or malformed token. Keeps the
    // session alive.
    std::optional<QueryStudent> resolve(const QString &token);
    void signOut(const QString &token);

    // The tag of a password hash a session remembers (sPassTag).
    static QString passwordTag(const QString &hash);

private:
    Database &m_db;
    QDateTime m_now;
    PasswordCost m_cost;
};

} // namespace lumeko::server
