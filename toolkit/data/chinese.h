#pragma once
// Chinese text helpers: the GBK code page the school's data were written in, and the table of
// pinyin initials that lets a teacher find 张三 by typing "zs".

#include "toolkit/data/data_export.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace lumeko {

// The text in GBK; characters GBK cannot hold become '?'.
LUMEKO_DATA_EXPORT QByteArray toGbk(QStringView text);
// GBK bytes back to text; throws std::runtime_error on bytes that are not GBK.
LUMEKO_DATA_EXPORT QString fromGbk(QByteArrayView bytes);
// The first byte of the character in GBK: below 128 for ASCII, 0 when GBK cannot hold it.
// Hanzi of GB2312 start at 176.
LUMEKO_DATA_EXPORT int gbkLeadByte(QChar c);

// The pinyin table "Chinese.dll": lines in pairs, a syllable without tone marks ("zhang", "lv" for
// lü) and then every character whose main reading it is. The first pair that holds a character gives
// its reading. The find dialog matches names by their initials (张三 → "zs"); the import wizard
// makes login names from the full readings (张三 → "zhangsan").
class LUMEKO_DATA_EXPORT PinyinTable {
public:
    PinyinTable() = default;
    // Reads a UTF-8 or GBK file. A missing or unreadable file gives an empty table, in which every
    // character's initial is '?'.
    static PinyinTable load(const QString &path);
    static PinyinTable fromText(QStringView text);

    bool isEmpty() const { return m_reading.isEmpty(); }
    qsizetype size() const { return m_reading.size(); }
    // The character's syllable; empty when the table does not hold it.
    QString pinyinOf(QChar c) const;
    QChar initialOf(QChar c) const;
    // One initial for each character whose GBK lead byte is 176 or higher; other characters are
    // skipped, so Latin letters give nothing.
    QString initials(QStringView text) const;

private:
    QStringList m_syllables;
    QHash<char16_t, int> m_reading; // character → index in m_syllables
};

} // namespace lumeko
