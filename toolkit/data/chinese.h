#pragma once
// Chinese text helpers: the GBK code page the school's data were written in, and the table of
// pinyin initials that lets a teacher find 张三 by typing "zs".

#include "toolkit/data/data_export.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace lumeko {

// The text in GBK; characters GBK cannot hold become '?'.
LUMEKO_DATA_EXPORT QByteArray toGbk(QStringView text);
// GBK bytes back to text; throws std::runtime_error on bytes that are not GBK.
LUMEKO_DATA_EXPORT QString fromGbk(QByteArrayView bytes);
// The first byte of the character in GBK: below 128 for ASCII, 0 when GBK cannot hold it.
// Hanzi of GB2312 start at 176.
LUMEKO_DATA_EXPORT int gbkLeadByte(QChar c);

// The initials table "Chinese.dll": lines in pairs, an initial letter and then every character whose
// reading starts with it. The first pair that holds a character gives its initial.
class LUMEKO_DATA_EXPORT InitialsTable {
public:
    InitialsTable() = default;
    // Reads a UTF-8 or GBK file. A missing or unreadable file gives an empty table, in which every
    // character's initial is '?'.
    static InitialsTable load(const QString &path);
    static InitialsTable fromText(QStringView text);

    bool isEmpty() const { return m_initial.isEmpty(); }
    qsizetype size() const { return m_initial.size(); }
    QChar initialOf(QChar c) const { return m_initial.value(c.unicode(), u'?'); }
    // One initial for each character whose GBK lead byte is 176 or higher; other characters are
    // skipped, so Latin letters give nothing.
    QString initials(QStringView text) const;

private:
    QHash<char16_t, QChar> m_initial;
};

} // namespace lumeko
