#pragma once
// A table pasted from a spreadsheet: the text a spreadsheet puts on the clipboard, cut into lines
// and cells the way the import wizard reads it.

#include "toolkit/sheet/sheet_export.h"

#include <QList>
#include <QStringList>

namespace lumeko {

// Lines end at a carriage return followed by a line feed; a lone carriage return or line feed is a
// line break inside a cell and is dropped, the cell going on; text after the last line end is not
// taken (a spreadsheet always ends its copy with one).
//
// Cells are split at the delimiter. Blanks and control characters before a cell are skipped, except
// a TAB when TAB is the delimiter (two TABs in a row are an empty cell). A cell that starts with a
// double quote runs to the closing quote, two quotes standing for one, and anything after the
// closing quote up to the delimiter is kept with it. Any other cell ends at the delimiter or at the
// first control character. A delimiter at the end of a line adds one empty cell.
LUMEKO_SHEET_EXPORT QList<QStringList> splitPastedTable(QStringView text, QChar delimiter);

// One line's cells, by the rules above.
LUMEKO_SHEET_EXPORT QStringList splitPastedLine(QStringView line, QChar delimiter);

} // namespace lumeko
