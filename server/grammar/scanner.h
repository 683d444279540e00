#pragma once
// The reading position shared by the parsers of client texts (internal to this library).
//
// Rules every grammar here follows:
//  - blanks are the space and the tab only; a no-break or ideographic space is not a blank;
//  - keywords and field names match without regard to case for ASCII letters only, so that
//    look-alikes (the Kelvin sign for "k", the long s for "s", full-width letters) never match;
//  - a value in single quotes stands for itself, two quotes inside it for one quote;
//  - integers are ASCII digits without sign, exponent or separators;
//  - values never hold control, format or separator characters (zero-width spaces, direction
//    marks, line separators), lone surrogates or non-characters.

#include "server/grammar/clienttexterror.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringView>

namespace lumeko::server::grammar {

class Scanner {
public:
    // Refuses a text longer than `maxLength` at once.
    Scanner(QStringView text, QString argument, qsizetype maxLength = MaxClientTextLength);

    QStringView text() const { return m_text; }
    const QString &argument() const { return m_argument; }
    qsizetype pos() const { return m_pos; }
    void setPos(qsizetype pos) { m_pos = pos; }
    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek() const { return atEnd() ? char16_t(0) : m_text[m_pos].unicode(); }
    QStringView rest() const { return m_text.mid(m_pos); }

    // Skips spaces and tabs; answers how many.
    qsizetype skipBlanks();
    bool acceptChar(char16_t c);
    void expectChar(char16_t c, const QString &expected);
    // The word at the reading position, ASCII letters compared without case; no boundary check.
    bool acceptWord(QLatin1StringView word);
    // " and <field> = ": at least one blank before "and" (none needed at the very start), at
    // least one after it, blanks allowed around "=". Leaves the position alone when it fails.
    bool acceptAndClause(QLatin1StringView field);

    // A single-quoted value; `what` names it in errors ("grade code").
    QString quoted(const QString &what);
    // A quoted value of `minLength`..`maxLength` characters.
    QString quotedValue(const QString &what, qsizetype minLength, qsizetype maxLength);
    // At most `maxDigits` ASCII digits.
    qint64 integer(const QString &what, int maxDigits = 9);
    // An intake year: four digits, 1000 to 9999.
    int year(const QString &what = QStringLiteral("intake year"));

    // Only blanks may follow.
    void expectEnd(const QString &expected);

    [[noreturn]] void fail(const QString &problem) const { failAt(m_pos, problem); }
    [[noreturn]] void failAt(qsizetype pos, const QString &problem) const;

private:
    QStringView m_text;
    QString m_argument;
    qsizetype m_pos = 0;
};

// One piece of a text split at a separator, with its offset in the whole text.
struct Piece {
    QStringView text;
    qsizetype pos = 0;
};
// Splits `text` at every `separator`; an empty text gives one empty piece. `offset` is added to
// every position.
QList<Piece> splitPieces(QStringView text, char16_t separator, qsizetype offset = 0);

// The number of characters (code points) before a UTF-16 index.
qsizetype characterPosition(QStringView text, qsizetype index);
// The number of characters of a text, counting a surrogate pair as one.
qsizetype characterCount(QStringView text);
// How many UTF-16 units the character at `index` takes when it may stand in a value (1 or 2);
// 0 for control, format and separator characters, lone surrogates and non-characters.
int valueCharLength(QStringView text, qsizetype index);
// Index of the first character that may not stand in a value; -1 when there is none.
qsizetype firstBadValueChar(QStringView text);

bool isAsciiLetterOrDigit(QChar c);
bool isAsciiDigit(QChar c);
// `minLength`..`maxLength` ASCII letters and digits.
bool isAsciiCode(QStringView text, qsizetype minLength, qsizetype maxLength);
// Equality for ASCII letters without regard to case; any other character must be identical.
bool equalsAsciiNoCase(QStringView text, QLatin1StringView word);

} // namespace lumeko::server::grammar
