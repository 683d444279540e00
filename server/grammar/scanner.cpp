#include "server/grammar/scanner.h"

#include <QChar>

namespace lumeko::server::grammar {

namespace {

char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiLetterOrDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

bool isAsciiCode(QStringView text, qsizetype minLength, qsizetype maxLength)
{
    if (text.size() < minLength || text.size() > maxLength) return false;
    for (QChar c : text)
        if (!isAsciiLetterOrDigit(c)) return false;
    return true;
}

bool equalsAsciiNoCase(QStringView text, QLatin1StringView word)
{
    if (text.size() != word.size()) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 128 || asciiLower(c) != asciiLower(char16_t(uchar(word[i].toLatin1())))) return false;
    }
    return true;
}

qsizetype characterPosition(QStringView text, qsizetype index)
{
    index = qBound(qsizetype(0), index, text.size());
    qsizetype count = index;
    for (qsizetype i = 1; i < index; ++i)
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate()) --count;
    return count;
}

qsizetype characterCount(QStringView text)
{
    return characterPosition(text, text.size());
}

int valueCharLength(QStringView text, qsizetype index)
{
    const QChar c = text[index];
    char32_t code = c.unicode();
    int length = 1;
    if (c.isHighSurrogate()) {
        if (index + 1 >= text.size() || !text[index + 1].isLowSurrogate()) return 0;
        code = QChar::surrogateToUcs4(c, text[index + 1]);
        length = 2;
    } else if (c.isLowSurrogate()) {
        return 0;
    }
    if (QChar::isNonCharacter(code)) return 0;
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return 0;
    default:
        return length;
    }
}

qsizetype firstBadValueChar(QStringView text)
{
    for (qsizetype i = 0; i < text.size();) {
        const int n = valueCharLength(text, i);
        if (n == 0) return i;
        i += n;
    }
    return -1;
}

QList<Piece> splitPieces(QStringView text, char16_t separator, qsizetype offset)
{
    QList<Piece> pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == QChar(separator)) {
            pieces.append({text.mid(start, i - start), offset + start});
            start = i + 1;
        }
    }
    return pieces;
}

Scanner::Scanner(QStringView text, QString argument, qsizetype maxLength)
    : m_text(text), m_argument(std::move(argument))
{
    if (text.size() > maxLength)
        throw ClientTextError(m_argument, QStringLiteral("text longer than %1 characters").arg(maxLength),
                              characterPosition(text, maxLength));
}

void Scanner::failAt(qsizetype pos, const QString &problem) const
{
    throw ClientTextError(m_argument, problem, characterPosition(m_text, pos));
}

qsizetype Scanner::skipBlanks()
{
    const qsizetype start = m_pos;
    while (!atEnd() && isBlank(m_text[m_pos]))
        ++m_pos;
    return m_pos - start;
}

bool Scanner::acceptChar(char16_t c)
{
    if (atEnd() || m_text[m_pos] != QChar(c)) return false;
    ++m_pos;
    return true;
}

void Scanner::expectChar(char16_t c, const QString &expected)
{
    if (!acceptChar(c)) fail(QStringLiteral("expected ") + expected);
}

bool Scanner::acceptWord(QLatin1StringView word)
{
    if (m_text.size() - m_pos < word.size()) return false;
    if (!equalsAsciiNoCase(m_text.mid(m_pos, word.size()), word)) return false;
    m_pos += word.size();
    return true;
}

bool Scanner::acceptAndClause(QLatin1StringView field)
{
    const qsizetype start = m_pos;
    const bool blank = skipBlanks() > 0;
    if ((blank || start == 0) && acceptWord(QLatin1StringView("and")) && skipBlanks() > 0 && acceptWord(field)) {
        skipBlanks();
        if (acceptChar(u'=')) {
            skipBlanks();
            return true;
        }
    }
    m_pos = start;
    return false;
}

QString Scanner::quoted(const QString &what)
{
    const qsizetype open = m_pos;
    if (!acceptChar(u'\'')) fail(QStringLiteral("expected %1 in single quotes").arg(what));
    QString value;
    for (;;) {
        if (atEnd()) failAt(open, QStringLiteral("%1 has no closing quote").arg(what));
        if (m_text[m_pos] == u'\'') {
            if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\'') {
                value += u'\'';
                m_pos += 2;
                continue;
            }
            ++m_pos;
            return value;
        }
        const int n = valueCharLength(m_text, m_pos);
        if (n == 0) fail(QStringLiteral("control or invisible character in %1").arg(what));
        value += m_text.mid(m_pos, n);
        m_pos += n;
    }
}

QString Scanner::quotedValue(const QString &what, qsizetype minLength, qsizetype maxLength)
{
    const qsizetype start = m_pos;
    QString value = quoted(what);
    const qsizetype length = characterCount(value);
    if (length < minLength || length > maxLength)
        failAt(start, QStringLiteral("expected %1 of %2 to %3 characters").arg(what).arg(minLength).arg(maxLength));
    return value;
}

qint64 Scanner::integer(const QString &what, int maxDigits)
{
    const qsizetype start = m_pos;
    qint64 value = 0;
    while (!atEnd() && isAsciiDigit(m_text[m_pos])) {
        if (m_pos - start == maxDigits)
            failAt(start, QStringLiteral("expected %1 of at most %2 digits").arg(what).arg(maxDigits));
        value = value * 10 + (m_text[m_pos].unicode() - u'0');
        ++m_pos;
    }
    if (m_pos == start) fail(QStringLiteral("expected %1 as digits").arg(what));
    return value;
}

int Scanner::year(const QString &what)
{
    const qsizetype start = m_pos;
    const qint64 value = integer(what, 4);
    if (value < 1000) failAt(start, QStringLiteral("expected %1 of four digits").arg(what));
    return int(value);
}

void Scanner::expectEnd(const QString &expected)
{
    skipBlanks();
    if (!atEnd()) fail(QStringLiteral("expected ") + expected);
}

} // namespace lumeko::server::grammar
