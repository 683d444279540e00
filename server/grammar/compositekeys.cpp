#include "server/grammar/compositekeys.h"

#include "server/grammar/listparts.h"

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

bool isKeyPunctuation(QChar c)
{
    return c == u'_' || c == u'-' || c == u'.' || c == u'{' || c == u'}' || c == u'@';
}

// Exactly `count` pieces separated by `separator`.
QList<Piece> exactParts(const Scanner &s, QChar separator, qsizetype count, const QString &expected)
{
    const QList<Piece> parts = splitPieces(s.text(), separator.unicode());
    if (parts.size() < count) s.failAt(s.text().size(), u"expected "_s + expected);
    if (parts.size() > count)
        s.failAt(parts[count].pos - 1, u"unexpected \"%1\"; expected "_s.arg(separator) + expected);
    return parts;
}

QString schoolAt(const Scanner &s, Piece piece)
{
    if (!isSchoolId(piece.text)) s.failAt(piece.pos, u"expected a school id"_s);
    return piece.text.toString();
}

QString codeAt(const Scanner &s, Piece piece, const QString &what, qsizetype maxLength)
{
    if (!isAsciiCode(piece.text, 1, maxLength))
        s.failAt(piece.pos, u"expected %1 of 1 to %2 letters or digits"_s.arg(what).arg(maxLength));
    return piece.text.toString();
}

qint64 numberAt(const Scanner &s, Piece piece, const QString &what, int maxDigits)
{
    if (piece.text.isEmpty()) s.failAt(piece.pos, u"expected %1 as digits"_s.arg(what));
    if (piece.text.size() > maxDigits)
        s.failAt(piece.pos, u"expected %1 of at most %2 digits"_s.arg(what).arg(maxDigits));
    qint64 value = 0;
    for (qsizetype i = 0; i < piece.text.size(); ++i) {
        if (!isAsciiDigit(piece.text[i])) s.failAt(piece.pos + i, u"expected only digits in %1"_s.arg(what));
        value = value * 10 + (piece.text[i].unicode() - u'0');
    }
    return value;
}

} // namespace

bool isSchoolId(QStringView text)
{
    if (text.isEmpty() || text.size() > 64 || text == u"." || text == u"..") return false;
    for (QChar c : text)
        if (!isAsciiLetterOrDigit(c) && !isKeyPunctuation(c)) return false;
    return true;
}

bool isUserCode(QStringView text)
{
    if (text.isEmpty() || characterCount(text) > 64) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isAsciiLetterOrDigit(c) || isKeyPunctuation(c)) continue;
        if (c.unicode() < 128) return false;
        // A letter or digit of another script, possibly outside the basic plane.
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text[++i]);
        if (!QChar::isLetterOrNumber(code)) return false;
    }
    return true;
}

SchoolGrade parseSchoolGrade(QStringView text)
{
    const Scanner s(text, u"school and grade"_s);
    const QList<Piece> parts = exactParts(s, u',', 2, u"school,grade"_s);
    return {schoolAt(s, parts[0]), codeAt(s, parts[1], u"a grade code"_s, 4)};
}

UserRole parseUserRole(QStringView text)
{
    const Scanner s(text, u"user and role"_s);
    const QList<Piece> parts = exactParts(s, u',', 2, u"usercode,role"_s);
    if (!isUserCode(parts[0].text)) s.failAt(parts[0].pos, u"expected a user code"_s);
    if (parts[1].text.size() != 1 || parts[1].text[0] < u'1' || parts[1].text[0] > u'6')
        s.failAt(parts[1].pos, u"expected a role from 1 to 6"_s);
    return {parts[0].text.toString(), parts[1].text[0].unicode() - u'0'};
}

std::optional<ExamKey> parseExamKeyText(QStringView text)
{
    if (text.isEmpty()) return std::nullopt;
    const Scanner s(text, u"exam key"_s);
    const QList<Piece> parts = exactParts(s, u',', 3, u"InYear,GradeCode,ExamCode"_s);
    ExamKey key;
    const qint64 year = numberAt(s, parts[0], u"an intake year"_s, 4);
    if (year < 1000) s.failAt(parts[0].pos, u"expected an intake year of four digits"_s);
    key.inYear = int(year);
    key.gradeCode = codeAt(s, parts[1], u"a grade code"_s, 4);
    key.examCode = codeAt(s, parts[2], u"an exam code"_s, 3);
    return key;
}

PValExamKey parsePValExamKey(QStringView text)
{
    const Scanner s(text, u"P-value exam key"_s);
    PValExamKey key;
    const qsizetype semicolon = text.indexOf(u';');
    key.examId = numberAt(s, {text.left(semicolon < 0 ? text.size() : semicolon), 0}, u"an exam id"_s, 18);
    if (key.examId == 0) s.failAt(0, u"expected an exam id above 0"_s);
    if (semicolon >= 0) {
        if (semicolon + 1 == text.size()) s.failAt(text.size(), u"expected the roster after \";\""_s);
        key.roster = studentFilterAt(s, {text.mid(semicolon + 1), semicolon + 1});
    }
    return key;
}

qint64 parseIdText(const QString &argument, QStringView text)
{
    const Scanner s(text, argument);
    const qint64 id = numberAt(s, {text, 0}, u"an id"_s, 18);
    if (id == 0) s.failAt(0, u"expected an id above 0"_s);
    return id;
}

} // namespace lumeko::server::grammar
