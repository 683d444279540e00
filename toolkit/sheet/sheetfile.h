#pragma once
// Reading a worksheet of a spreadsheet file into rows of cell texts: Excel 2007 and later
// (.xlsx, an Office Open XML zip) and Excel 97-2003 (.xls, read with FreeXL).

#include "toolkit/sheet/sheet_export.h"

#include <QList>
#include <QStringList>

#include <stdexcept>

namespace lumeko {

class LUMEKO_SHEET_EXPORT SheetError : public std::runtime_error {
public:
    explicit SheetError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

struct SheetTable {
    QString sheetName;
    QList<QStringList> rows; // rows of the sheet from the first, cells from column A; gaps are empty
};

// Cells come as the user sees them: texts as written, whole numbers without a decimal point, other
// numbers with up to 15 significant digits, dates as "yyyy-MM-dd" (with " HH:mm:ss" when the cell
// holds a time of day), booleans as "TRUE"/"FALSE". `sheet` counts the worksheets in the workbook's
// order from 0. Throws SheetError on a file that cannot be read, is no spreadsheet of the kind its
// extension says or has no such sheet; the message says which and why.
LUMEKO_SHEET_EXPORT SheetTable readSheetFile(const QString &path, int sheet = 0);

// The names of the file's worksheets, in the workbook's order.
LUMEKO_SHEET_EXPORT QStringList sheetNames(const QString &path);

// A worksheet of an .xlsx file held in memory.
LUMEKO_SHEET_EXPORT SheetTable readXlsx(const QByteArray &zipBytes, int sheet = 0);

} // namespace lumeko
