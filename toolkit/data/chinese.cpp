#include "toolkit/data/chinese.h"

#include <QFile>
#include <QStringDecoder>

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace lumeko {

namespace {

// iconv over a whole buffer; `substitute` replaces what cannot be converted instead of failing.
QByteArray convert(const char *to, const char *from, QByteArrayView in, bool substitute, const char *replacement)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) throw std::runtime_error(std::string("no converter from ") + from + " to " + to);
    std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
    QByteArray out(in.size() * 2 + 16, Qt::Uninitialized);
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1)) break;
        if (errno == E2BIG) {
            const qsizetype used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
        } else if (substitute && errno == EILSEQ) {
            // Skip one UTF-16 code unit (two for a surrogate pair) and write the replacement.
            const bool pair = srcLeft >= 4 && (uchar(src[1]) & 0xFC) == 0xD8;
            const size_t skip = pair ? 4 : 2;
            src += skip;
            srcLeft -= skip;
            const size_t r = strlen(replacement);
            if (dstLeft < r) { continue; }
            memcpy(dst, replacement, r);
            dst += r;
            dstLeft -= r;
        } else {
            throw std::runtime_error("the bytes are not valid in " + std::string(from));
        }
    }
    out.resize(dst - out.data());
    return out;
}

// GBK lead byte of every UTF-16 code unit, made once.
const std::array<quint8, 65536> &leadBytes()
{
    static std::array<quint8, 65536> table{};
    static std::once_flag once;
    std::call_once(once, [] {
        iconv_t cd = iconv_open("GBK", "UTF-16LE");
        if (cd == iconv_t(-1)) return;
        for (uint u = 1; u < 65536; ++u) {
            if (u >= 0xD800 && u < 0xE000) continue;
            char in[2] = {char(u & 0xFF), char(u >> 8)};
            char out[4];
            char *src = in, *dst = out;
            size_t srcLeft = 2, dstLeft = 4;
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != size_t(-1) && dst > out) table[u] = quint8(out[0]);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        iconv_close(cd);
    });
    return table;
}

} // namespace

QByteArray toGbk(QStringView text)
{
    const QByteArrayView utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return convert("GBK", "UTF-16LE", utf16, true, "?");
}

QString fromGbk(QByteArrayView bytes)
{
    const QByteArray utf16 = convert("UTF-16LE", "GBK", bytes, false, "");
    return QString(reinterpret_cast<const QChar *>(utf16.constData()), utf16.size() / 2);
}

int gbkLeadByte(QChar c) { return leadBytes()[c.unicode()]; }

PinyinTable PinyinTable::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        try {
            text = fromGbk(bytes);
        } catch (const std::runtime_error &) {
            return {};
        }
    }
    return fromText(text);
}

PinyinTable PinyinTable::fromText(QStringView text)
{
    PinyinTable table;
    const auto lines = text.split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2) {
        const QString syllable = lines[i].trimmed().toString().toLower();
        if (syllable.isEmpty()) continue;
        const int index = int(table.m_syllables.size());
        table.m_syllables << syllable;
        for (QChar c : lines[i + 1])
            if (c.unicode() > 32 && !table.m_reading.contains(c.unicode())) table.m_reading.insert(c.unicode(), index);
    }
    return table;
}

QString PinyinTable::pinyinOf(QChar c) const
{
    const auto it = m_reading.constFind(c.unicode());
    return it == m_reading.constEnd() ? QString() : m_syllables[*it];
}

QChar PinyinTable::initialOf(QChar c) const
{
    const auto it = m_reading.constFind(c.unicode());
    return it == m_reading.constEnd() ? QChar(u'?') : m_syllables[*it].front();
}

QString PinyinTable::initials(QStringView text) const
{
    QString out;
    for (QChar c : text)
        if (gbkLeadByte(c) >= 176) out += initialOf(c);
    return out;
}

} // namespace lumeko
