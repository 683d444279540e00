#include "server/query/studentaccess.h"

#include "server/core/auth.h"

#include <QCryptographicHash>

#include <algorithm>

namespace lumeko::server {

using wire::FieldType;

namespace {

// Verified against when no student has the number, so that an unknown number takes as long to
// refuse as a wrong password: hashed at the cost the students' passwords are.
const QString &dummyHash(PasswordCost cost)
{
    if (cost == PasswordCost::Minimal) {
        static const QString minimal = hashPassword(QStringLiteral("no such student"), PasswordCost::Minimal);
        return minimal;
    }
    static const QString interactive = hashPassword(QStringLiteral("no such student"), PasswordCost::Interactive);
    return interactive;
}

QString numberSubject(const QString &studentNumber, const QString &peer)
{
    return SignInThrottle::subject(QStringLiteral("student"), studentNumber.toLower(), peer);
}

QString addressSubject(const QString &peer)
{
    return QStringLiteral("query-peer:") + peer;
}

// A lock or a hold lasts its fixed time and, once run out, leaves nothing behind.
constexpr BrakeRule kNumberRule{StudentAccess::kAttempts, StudentAccess::kWindowSeconds, StudentAccess::kLockSeconds, StudentAccess::kLockSeconds, true};
constexpr BrakeRule kAddressRule{StudentAccess::kAddressAttempts, StudentAccess::kWindowSeconds, StudentAccess::kAddressHoldSeconds,
                                 StudentAccess::kAddressHoldSeconds, true};

bool isToken(const QString &token)
{
    return token.size() == 64 && std::all_of(token.cbegin(), token.cend(), [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); });
}

} // namespace

QString StudentAccess::passwordTag(const QString &hash)
{
    return QString::fromLatin1(QCryptographicHash::hash(hash.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

StudentSignIn StudentAccess::signIn(const QString &studentNumber, const QString &password, const QString &peer)
{
    StudentSignIn out;
    const QString number = studentNumber.trimmed();
    const QString numberKey = numberSubject(number, peer), addressKey = addressSubject(peer);
    SignInThrottle throttle(m_db, m_now);
    const auto heldOff = [&] {
        out.outcome = StudentSignIn::Outcome::AddressHeldOff;
        out.secondsLeft = throttle.secondsBlocked(addressKey);
        return out;
    };
    // A held-off address is refused before anything is counted. The address as a whole is counted
    // by its failures, after the check: a school's students behind one NAT address look up their
    // scores together the evening the exam is published, and their sign-ins in flight are no
    // guesses.
    if (throttle.secondsBlocked(addressKey) > 0) return heldOff();
    // A number is counted before its password is checked, so that guesses at it sent at once are
    // checked no more often than guesses sent one after the other. A locked number is refused
    // before its password is looked at: the right password does not open it early.
    const int attempt = throttle.admit(numberKey, kNumberRule);
    if (attempt == 0) {
        out.outcome = StudentSignIn::Outcome::Locked;
        out.secondsLeft = throttle.secondsBlocked(numberKey);
        return out;
    }

    // One number may be a student's in more than one school of the district; the password decides
    // whose. Students without a password cannot sign in.
    const wire::DataPacket found = m_db.select(
        QStringLiteral("SELECT \"sCode\", \"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sNO\", \"sName\", \"sPass\" FROM \"XJ_Student\" "
                       "WHERE \"sNO\" = ? AND \"sPass\" IS NOT NULL AND \"sPass\" <> '' ORDER BY \"SchoolCode\", \"sCode\""),
        {number},
        {{"sCode", FieldType::Text, 0, 0},
         {"SchoolCode", FieldType::Text, 0, 0},
         {"InYear", FieldType::Integer, 0, 0},
         {"GradeCode", FieldType::Text, 0, 0},
         {"ClassCode", FieldType::Text, 0, 0},
         {"sNO", FieldType::Text, 0, 0},
         {"sName", FieldType::Text, 0, 0},
         {"sPass", FieldType::Text, 0, 0}});
    qsizetype match = -1;
    bool busy = false;
    if (number.isEmpty() || found.rowCount() == 0) {
        busy = checkPassword(dummyHash(m_cost), password) == PasswordCheck::Busy;
    } else {
        for (qsizetype r = 0; r < std::min<qsizetype>(found.rowCount(), kCandidates) && !busy; ++r) {
            const PasswordCheck check = checkPassword(found.value(r, 7).toString(), password);
            busy = check == PasswordCheck::Busy;
            if (check != PasswordCheck::Right) continue;
            if (match >= 0) { // two students of the number with this password: nobody is signed in
                match = -1;
                break;
            }
            match = r;
        }
    }
    if (busy) {
        throttle.takeBack(numberKey);
        out.outcome = StudentSignIn::Outcome::Busy;
        return out;
    }
    if (match < 0) {
        // The number's attempt was counted before the check and stays counted; the address's
        // failure is counted now.
        throttle.admit(addressKey, kAddressRule);
        if (attempt >= kAttempts) {
            out.outcome = StudentSignIn::Outcome::Locked;
            out.secondsLeft = kLockSeconds;
        } else {
            out.outcome = StudentSignIn::Outcome::Wrong;
            out.attemptsLeft = kAttempts - attempt;
        }
        return out;
    }
    throttle.clear(numberKey);

    QueryStudent &s = out.student;
    s.code = found.value(match, 0).toString();
    s.school = found.value(match, 1).toString();
    s.inYear = int(found.value(match, 2).toLongLong());
    s.gradeCode = found.value(match, 3).toString();
    s.classCode = found.value(match, 4).toString();
    s.sno = found.value(match, 5).toString();
    s.name = found.value(match, 6).toString();
    out.token = newSessionToken();
    out.outcome = StudentSignIn::Outcome::SignedIn;
    const QVariant now = m_db.toDb(m_now, FieldType::DateTime);
    m_db.exec(QStringLiteral("INSERT INTO \"XT_StudentSession\" (\"sTokenHash\", \"StudentCode\", \"SchoolCode\", \"sPassTag\", \"sPeer\", "
                             "\"dCreated\", \"dSeen\", \"dExpires\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
              {sessionTokenHash(out.token), s.code, s.school, passwordTag(found.value(match, 7).toString()), peer.left(60), now, now,
               m_db.toDb(m_now.addSecs(kSessionMinutes * 60), FieldType::DateTime)});
    // Sessions that ended long ago, and attempts long forgotten, are swept by whoever signs in next.
    m_db.exec(QStringLiteral("DELETE FROM \"XT_StudentSession\" WHERE \"dExpires\" < ?"), {m_db.toDb(m_now.addDays(-1), FieldType::DateTime)});
    throttle.sweep();
    return out;
}

std::optional<QueryStudent> StudentAccess::resolve(const QString &token)
{
    if (!isToken(token)) return std::nullopt;
    const QString hash = sessionTokenHash(token);
    const wire::DataPacket row =
        m_db.select(QStringLiteral("SELECT s.\"sPassTag\", s.\"dSeen\", s.\"dExpires\", st.\"sPass\", st.\"sCode\", st.\"SchoolCode\", st.\"InYear\", "
                                   "st.\"GradeCode\", st.\"ClassCode\", st.\"sNO\", st.\"sName\" FROM \"XT_StudentSession\" s "
                                   "JOIN \"XJ_Student\" st ON st.\"sCode\" = s.\"StudentCode\" AND st.\"SchoolCode\" = s.\"SchoolCode\" "
                                   "WHERE s.\"sTokenHash\" = ?"),
                    {hash},
                    {{"sPassTag", FieldType::Text, 0, 0},
                     {"dSeen", FieldType::DateTime, 0, 0},
                     {"dExpires", FieldType::DateTime, 0, 0},
                     {"sPass", FieldType::Text, 0, 0},
                     {"sCode", FieldType::Text, 0, 0},
                     {"SchoolCode", FieldType::Text, 0, 0},
                     {"InYear", FieldType::Integer, 0, 0},
                     {"GradeCode", FieldType::Text, 0, 0},
                     {"ClassCode", FieldType::Text, 0, 0},
                     {"sNO", FieldType::Text, 0, 0},
                     {"sName", FieldType::Text, 0, 0}});
    if (row.rowCount() == 0) return std::nullopt;
    const QString storedHash = row.value(0, 3).toString();
    if (row.value(0, 2).toDateTime() <= m_now || storedHash.isEmpty() || passwordTag(storedHash) != row.value(0, 0).toString()) {
        signOut(token);
        return std::nullopt;
    }
    // Touched at most once a minute, so that a page of several requests writes once.
    if (row.value(0, 1).toDateTime().secsTo(m_now) >= 60)
        m_db.exec(QStringLiteral("UPDATE \"XT_StudentSession\" SET \"dSeen\" = ?, \"dExpires\" = ? WHERE \"sTokenHash\" = ?"),
                  {m_db.toDb(m_now, FieldType::DateTime), m_db.toDb(m_now.addSecs(kSessionMinutes * 60), FieldType::DateTime), hash});
    QueryStudent s;
    s.code = row.value(0, 4).toString();
    s.school = row.value(0, 5).toString();
    s.inYear = int(row.value(0, 6).toLongLong());
    s.gradeCode = row.value(0, 7).toString();
    s.classCode = row.value(0, 8).toString();
    s.sno = row.value(0, 9).toString();
    s.name = row.value(0, 10).toString();
    return s;
}

void StudentAccess::signOut(const QString &token)
{
    if (!isToken(token)) return;
    m_db.exec(QStringLiteral("DELETE FROM \"XT_StudentSession\" WHERE \"sTokenHash\" = ?"), {sessionTokenHash(token)});
}

} // namespace lumeko::server
