#pragma once
// What a grid column is: the field it shows, its caption, width, band, editor, summary and lookup
// list; how a page's column-definition row turns into one; and the look of the grid (GridStyle),
// which a page fills from the host's colours.

#include "toolkit/grid/grid_export.h"
#include "toolkit/data/dataset.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace lumeko {

// The editor a cell of the column gets when the grid is editable.
enum class EditorKind : quint8 {
    Text,    // a line edit
    Integer, // a spin box without decimals
    Float,   // a spin box with decimals
    Date,    // a date edit with a calendar
    Boolean, // a check box painted in the cell, toggled by click or space
    Lookup,  // a combo box of the lookup list: the cell holds the key and shows the text
};

// A summary of a column over the rows shown (footer) or over the rows of one group.
enum class SummaryKind : quint8 { None, Count, Sum, Average, Max, Min };

struct LookupItem {
    QVariant key;
    QString text;
};

struct LUMEKO_GRID_EXPORT GridColumn {
    QString field;   // the field of the table; a grid shows a field in one column at most
    QString caption; // empty: the field's label
    int width = 64;  // pixels
    bool visible = true;
    int band = 1;    // 0 the fixed band on the left, 1 the band that scrolls
    EditorKind editor = EditorKind::Text;
    bool readOnly = false;
    QList<LookupItem> lookup;
    QString displayFormat; // numbers in the cells, e.g. "0.0"; empty shows them as they are
    SummaryKind summary = SummaryKind::None; // shown in the footer
    QString summaryFormat;                   // e.g. "人数=,0", "平均=0.00"
    bool groupSummary = false;               // the summary also shows on every group row
    // Captions of the column groups the column belongs to, outermost first ({"收入", "一季度"}).
    // Neighbouring columns of a band that share a caption path share the caption cells above
    // their headers; a layout file never holds them.
    QStringList groups;
    // Arranged by the page alone: the user can neither filter, group, move nor hide the column
    // (no filter button, those header menu items disabled, its drags refused); the page's calls
    // still do all of that.
    bool locked = false;
    int tag = 0; // free for the page

    // The text the lookup list gives a key; the key as text when the list lacks it.
    QString lookupText(const QVariant &key) const;

    // A column of a field with its caption and width, the way pages list their columns.
    static GridColumn of(const char *field, const char *caption, int width, bool readOnly = false)
    {
        GridColumn c;
        c.field = QString::fromLatin1(field);
        c.caption = QString::fromUtf8(caption);
        c.width = width;
        c.readOnly = readOnly;
        return c;
    }
};

// The caption cell of one level of column groups, over the columns first to last (positions in
// the grid's column list; hidden columns between them are covered too).
struct GridColumnGroup {
    QString caption;
    int first = -1;
    int last = -1;
    bool operator==(const GridColumnGroup &) const = default;
};

// A page's colours for one data cell; an invalid colour leaves the grid's own.
struct CellColors {
    QColor background;
    QColor foreground;
};

struct GridSortColumn {
    QString field;
    Qt::SortOrder order = Qt::AscendingOrder;
    bool operator==(const GridSortColumn &) const = default;
};

// Colours of the grid. `sepRow` shades every second row, the footer and the group rows;
// `modify` marks editable and selected cells; headers are always bold.
struct GridStyle {
    QColor content{Qt::white};
    QColor sepRow{0xEE, 0xF3, 0xFA};
    QColor modify{0xFF, 0xF6, 0xD5};
    QColor header{0xE4, 0xE9, 0xF2};
    QColor focusedRow{0xCD, 0xE3, 0xFF};
    QColor gridLine{0xC8, 0xD0, 0xDC};
    QColor text{Qt::black};
    QColor groupBoxText{0x55, 0x5F, 0x6E};
    QColor groupBox{0xD5, 0xDD, 0xEA};
    // The line between the fixed band and the other; invalid: sepRow, darkened to show.
    QColor bandLine;
    QColor bandLineColor() const { return bandLine.isValid() ? bandLine : sepRow.darker(145); }
};

// Editor kind of a one-letter field type of a column definition: "N" and "I" integers, "F"
// numbers with decimals, "D" dates, "B" booleans, "R", "C" and "P" lists; anything else text.
LUMEKO_GRID_EXPORT EditorKind editorKindOfType(const QString &fieldType);
// Summary kind of a one-letter summary type: "C" count, "S" sum, "A" average, "M" maximum,
// "N" or "I" minimum; anything else none.
LUMEKO_GRID_EXPORT SummaryKind summaryKindOfType(const QString &sumType);
// A width given in characters as pixels: 9 pixels a character less 10 (10 characters: 80 pixels).
inline int widthOfCharacters(int characters) { return characters * 9 - 10; }

// The column described by the current row of a column-definition table (fields sFldName,
// sFldCaption, sFieldType, bShowed, nWidth, bSum, bGroup, sSumType, sFormat). An empty nWidth
// keeps the default width; a missing bShowed shows the column.
LUMEKO_GRID_EXPORT GridColumn columnFromDefinition(DataSet &definitions);

// A number laid out by a display format in the style the school's old reports use:
// "0" and "#" are digit places, "." the decimal point, a "," among the integer places asks for
// thousands separators; text around the places (or quoted in ' or ") is kept as it is.
// A format of several sections separated by ";" uses the second one for negative numbers and
// the third for zero; a section of text alone stands for the number ("0;-0;零").
// "人数=,0" gives 1234 as "人数=1,234"; "平均=0.00" gives 80.456 as "平均=80.46".
LUMEKO_GRID_EXPORT QString formatNumber(double value, const QString &format);
// A summary value (number, date or text) laid out by its format; an empty format shows numbers
// without trailing zeros, dates as yyyy-MM-dd. Null: empty text.
LUMEKO_GRID_EXPORT QString formatSummary(const QVariant &value, const QString &format);

} // namespace lumeko
