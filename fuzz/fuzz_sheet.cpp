// Tables from spreadsheets: clipboard text and .xlsx files, both outside input.
//
// Pasted text: there is exactly one row for every CR LF pair (a line end), and splitting a row again
// from its own line gives the same cells. An .xlsx reader given any bytes either returns a table or
// refuses with SheetError; it never crashes or throws anything else, and a table it returns stays
// within Excel's limits.

#include "check.h"

#include "toolkit/sheet/pastedtable.h"
#include "toolkit/sheet/sheetfile.h"

#include <cstddef>
#include <cstdint>

using namespace lumeko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    for (QChar delimiter : {QChar(u'\t'), QChar(u',')}) {
        const QList<QStringList> rows = splitPastedTable(text, delimiter);
        fuzz::require(rows.size() == text.count(QStringLiteral("\r\n")), "the rows are not one per line end", text.left(200));
        qsizetype from = 0;
        for (const QStringList &row : rows) {
            const qsizetype end = text.indexOf(QStringLiteral("\r\n"), from);
            QString line = text.mid(from, end - from);
            line.remove(u'\r').remove(u'\n');
            fuzz::require(splitPastedLine(line, delimiter) == row, "a row differs from its line split alone", line.left(200));
            for (const QString &cell : row)
                fuzz::require(!cell.contains(u'\r') && !cell.contains(u'\n'), "a cell kept a line break", cell.left(200));
            from = end + 2;
        }
    }
    try {
        const SheetTable table = readXlsx(bytes);
        fuzz::require(table.rows.size() <= 1048576, "more rows than a sheet can have");
        for (const QStringList &row : table.rows) fuzz::require(row.size() <= 16384, "more columns than a sheet can have");
    } catch (const SheetError &) {
    }
    return 0;
}
