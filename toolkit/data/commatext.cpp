#include "toolkit/data/commatext.h"

namespace lumeko {

namespace {
bool isBlank(QChar c) { return c.unicode() >= 1 && c.unicode() <= 32; }
} // namespace

QString trimControl(QStringView text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() < 33) ++b;
    while (e > b && text[e - 1].unicode() < 33) --e;
    return text.mid(b, e - b).toString();
}

QStringList splitCommaText(QStringView input)
{
    const QString trimmed = trimControl(input);
    // A NUL ends the text, as it ends the host's zero-terminated string.
    const QStringView text = QStringView(trimmed).left(trimmed.indexOf(QChar(0)) < 0 ? trimmed.size() : trimmed.indexOf(QChar(0)));
    const qsizetype n = text.size();
    QStringList items;
    qsizetype p = 0;
    while (p < n && isBlank(text[p])) ++p;
    while (p < n) {
        QString item;
        if (text[p] == u'"') {
            ++p;
            while (p < n) {
                if (text[p] == u'"') {
                    if (p + 1 < n && text[p + 1] == u'"') { item += u'"'; p += 2; continue; }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const qsizetype start = p;
            while (p < n && text[p].unicode() > 32 && text[p] != u',') ++p;
            item = text.mid(start, p - start).toString();
        }
        items.append(item);
        while (p < n && isBlank(text[p])) ++p;
        if (p < n && text[p] == u',') {
            if (p + 1 == n) items.append(QString());
            do ++p; while (p < n && isBlank(text[p]));
        }
    }
    return items;
}

QString joinCommaText(const QStringList &items)
{
    QStringList parts;
    for (const QString &item : items) {
        // An empty item needs quotes unless a following comma already shows it; the last one
        // after a comma is shown by the trailing comma.
        bool quote = item.isEmpty() && (items.size() == 1 || &item != &items.last());
        for (QChar c : item) quote = quote || c.unicode() <= 32 || c == u',' || c == u'"';
        if (quote) parts.append(u'"' + QString(item).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"');
        else parts.append(item);
    }
    return parts.join(u',');
}

} // namespace lumeko
