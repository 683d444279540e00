#include "toolkit/sheet/pastedtable.h"

namespace lumeko {

namespace {

bool skippable(QChar c, QChar delimiter)
{
    const char16_t u = c.unicode();
    // NUL too: it never belongs to a cell, and skipping it keeps the walk moving.
    return u <= 32 && c != delimiter;
}

} // namespace

QStringList splitPastedLine(QStringView line, QChar delimiter)
{
    QStringList cells;
    const qsizetype n = line.size();
    qsizetype p = 0;
    while (p < n && skippable(line[p], delimiter)) ++p;
    if (p == n) return cells;
    for (;;) {
        while (p < n && skippable(line[p], delimiter)) ++p;
        QString cell;
        if (p < n && line[p] == u'"') {
            ++p;
            while (p < n) {
                if (line[p] == u'"') {
                    if (p + 1 < n && line[p + 1] == u'"') {
                        cell += u'"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                cell += line[p++];
            }
            // Text after the closing quote belongs to the same cell: nothing the user pasted is lost.
            while (p < n && line[p] != delimiter && line[p].unicode() >= 32) cell += line[p++];
        } else {
            const qsizetype start = p;
            while (p < n && line[p] != delimiter && line[p].unicode() >= 32) ++p;
            cell = line.mid(start, p - start).toString();
        }
        cells << cell;
        while (p < n && skippable(line[p], delimiter)) ++p;
        if (p >= n) break;
        if (line[p] == delimiter) ++p; // the next cell starts after it, at the end an empty one
    }
    return cells;
}

QList<QStringList> splitPastedTable(QStringView text, QChar delimiter)
{
    QList<QStringList> rows;
    QString line;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            rows << splitPastedLine(line, delimiter);
            line.clear();
            ++i;
        } else if (c != u'\r' && c != u'\n') {
            line += c;
        }
    }
    return rows;
}

} // namespace lumeko
