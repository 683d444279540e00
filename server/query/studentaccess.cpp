#include "server/query/studentaccess.h"

#include "server/core/auth.h"

#include <QCryptographicHash>

#include <algorithm>

namespace lumeko::server {

using wire::FieldType;

namespace {

// Verified against when no student has the number, so that an unknown number takes as long to
// refuse as a wrong password.
const QString &dummyHash()
{
    static const QString h = hashPassword(QStringLiteral("no such student"));
    return h;
}

QString numberSubject(const QString &studentNumber)
{
    return QStringLiteral("student:") + studentNumber.toLower();
}

QString addressSubject(const QString &peer)
{
    return QStringLiteral("query-peer:") + peer;
}

bool isToken(const QString &token)
{
    return token.size() == 64 && std::all_of(token.cbegin(), token.cend(), [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); });
}

} // namespace

QString StudentAccess::passwordTag(const QString &hash)
{
    return QString::fromLatin1(QCryptographicHash::hash(hash.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

int StudentAccess::secondsBlocked(const QString &subject)
{
    // A lock that has run out leaves nothing behind: recordFailure starts the count afresh.
    const auto row = m_db.select(QStringLiteral("SELECT \"dBlockedUntil\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject},
                                 {{"dBlockedUntil", FieldType::DateTime, 0, 0}});
    if (row.rowCount() == 0 || wire::isNull(row.value(0, 0))) return 0;
    const QDateTime when = row.value(0, 0).toDateTime();
    const qint64 left = m_now.secsTo(when);
    return left > 0 ? int(left) : 0;
}

int StudentAccess::recordFailure(const QString &subject, int allowed, int blockSeconds)
{
    const auto row = m_db.select(QStringLiteral("SELECT \"nCount\", \"dFirst\", \"dBlockedUntil\" FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject},
                                 {{"nCount", FieldType::Integer, 0, 0}, {"dFirst", FieldType::DateTime, 0, 0}, {"dBlockedUntil", FieldType::DateTime, 0, 0}});
    int count = 1;
    QDateTime first = m_now;
    if (row.rowCount() > 0 && wire::isNull(row.value(0, 2)) && row.value(0, 1).toDateTime().secsTo(m_now) < kWindowSeconds) {
        count = int(row.value(0, 0).toLongLong()) + 1;
        first = row.value(0, 1).toDateTime();
    }
    const QVariant blockedUntil = count >= allowed ? m_db.toDb(m_now.addSecs(blockSeconds), FieldType::DateTime) : QVariant();
    // Two processes may record a failure of the same subject at once: the later one wins.
    m_db.exec(QStringLiteral("INSERT INTO \"XT_SignInFailure\" (\"sSubject\", \"nCount\", \"dFirst\", \"dBlockedUntil\") VALUES (?, ?, ?, ?) "
                             "ON CONFLICT (\"sSubject\") DO UPDATE SET \"nCount\" = excluded.\"nCount\", "
                             "\"dFirst\" = excluded.\"dFirst\", \"dBlockedUntil\" = excluded.\"dBlockedUntil\""),
              {subject, count, m_db.toDb(first, FieldType::DateTime), blockedUntil});
    return count;
}

void StudentAccess::clear(const QString &subject)
{
    m_db.exec(QStringLiteral("DELETE FROM \"XT_SignInFailure\" WHERE \"sSubject\" = ?"), {subject});
}

StudentSignIn StudentAccess::signIn(const QString &studentNumber, const QString &password, const QString &peer)
{
    StudentSignIn out;
    const QString number = studentNumber.trimmed();
    const QString numberKey = numberSubject(number), addressKey = addressSubject(peer);
    if (const int wait = secondsBlocked(addressKey); wait > 0) {
        out.outcome = StudentSignIn::Outcome::AddressHeldOff;
        out.secondsLeft = wait;
        return out;
    }
    // A locked number is refused before its password is looked at: the right password does not
    // open it early.
    if (const int wait = secondsBlocked(numberKey); wait > 0) {
        out.outcome = StudentSignIn::Outcome::Locked;
        out.secondsLeft = wait;
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
    if (number.isEmpty() || found.rowCount() == 0) {
        verifyPassword(dummyHash(), password);
    } else {
        for (qsizetype r = 0; r < std::min<qsizetype>(found.rowCount(), kCandidates); ++r) {
            if (!verifyPassword(found.value(r, 7).toString(), password)) continue;
            if (match >= 0) { // two students of the number with this password: nobody is signed in
                match = -1;
                break;
            }
            match = r;
        }
    }
    if (match < 0) {
        recordFailure(addressKey, kAddressAttempts, kAddressHoldSeconds);
        const int failures = recordFailure(numberKey, kAttempts, kLockSeconds);
        if (failures >= kAttempts) {
            out.outcome = StudentSignIn::Outcome::Locked;
            out.secondsLeft = kLockSeconds;
        } else {
            out.outcome = StudentSignIn::Outcome::Wrong;
            out.attemptsLeft = kAttempts - failures;
        }
        return out;
    }
    clear(numberKey);

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
    // Sessions that ended long ago are swept by whoever signs in next.
    m_db.exec(QStringLiteral("DELETE FROM \"XT_StudentSession\" WHERE \"dExpires\" < ?"), {m_db.toDb(m_now.addDays(-1), FieldType::DateTime)});
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
