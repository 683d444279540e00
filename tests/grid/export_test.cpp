#include "gridtesting.h"

#include <QApplication>
#include <QClipboard>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
QByteArray unzipped(const QString &file, const QString &member)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, member});
    unzip.waitForFinished(30000);
    return unzip.readAllStandardOutput();
}

struct Cell {
    QString type;  // "s" shared string, "" number, "str" inline
    QString value; // the shared string's text for "s"
    int style = 0;
};

// The first sheet of a workbook read back: cell reference ("B2") -> cell.
struct Workbook {
    QMap<QString, Cell> cells;
    QList<bool> boldStyles; // per cell style (cellXfs), whether its font is bold
    int lastRow = 0;

    explicit Workbook(const QString &file)
    {
        QStringList strings;
        QXmlStreamReader sst(unzipped(file, QStringLiteral("xl/sharedStrings.xml")));
        while (!sst.atEnd())
            if (sst.readNext() == QXmlStreamReader::StartElement && sst.name() == u"si") {
                QString text;
                while (!(sst.readNext() == QXmlStreamReader::EndElement && sst.name() == u"si") && !sst.atEnd())
                    if (sst.isStartElement() && sst.name() == u"t") text += sst.readElementText();
                strings.append(text);
            }
        QList<bool> fontBold;
        QXmlStreamReader styles(unzipped(file, QStringLiteral("xl/styles.xml")));
        bool inFonts = false, inXfs = false;
        while (!styles.atEnd()) {
            styles.readNext();
            if (styles.isStartElement()) {
                if (styles.name() == u"fonts") inFonts = true;
                else if (styles.name() == u"cellXfs") inXfs = true;
                else if (inFonts && styles.name() == u"font") fontBold.append(false);
                else if (inFonts && styles.name() == u"b") fontBold.last() = true;
                else if (inXfs && styles.name() == u"xf") boldStyles.append(fontBold.value(styles.attributes().value(QLatin1String("fontId")).toInt()));
            } else if (styles.isEndElement()) {
                if (styles.name() == u"fonts") inFonts = false;
                if (styles.name() == u"cellXfs") inXfs = false;
            }
        }
        QXmlStreamReader sheet(unzipped(file, QStringLiteral("xl/worksheets/sheet1.xml")));
        while (!sheet.atEnd()) {
            if (sheet.readNext() != QXmlStreamReader::StartElement || sheet.name() != u"c") continue;
            const QString ref = sheet.attributes().value(QLatin1String("r")).toString();
            Cell cell;
            cell.type = sheet.attributes().value(QLatin1String("t")).toString();
            cell.style = sheet.attributes().value(QLatin1String("s")).toInt();
            while (!(sheet.readNext() == QXmlStreamReader::EndElement && sheet.name() == u"c") && !sheet.atEnd())
                if (sheet.isStartElement() && sheet.name() == u"v") cell.value = sheet.readElementText();
            if (cell.type == u"s") cell.value = strings.value(cell.value.toInt());
            cells.insert(ref, cell);
            QString digits = ref;
            digits.remove(QRegularExpression(QStringLiteral("[A-Z]")));
            lastRow = std::max(lastRow, digits.toInt());
        }
    }
    bool has(const QString &ref) const { return cells.contains(ref); }
    Cell at(const QString &ref) const { return cells.value(ref); }
    bool bold(const QString &ref) const { return boldStyles.value(at(ref).style); }
};

// A column letter of the sheet for a grid column: the visible columns in order.
QString letter(const BandedGrid &g, int column)
{
    return QString(QChar(char16_t(u'A' + g.visibleColumns().indexOf(column))));
}
} // namespace

TEST(GridCopy, CopiesSelectedCellsOrTheFocusedRowAsTabSeparatedText)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.setReadOnly(true);
    GridModel *m = g.gridModel();
    QItemSelectionModel *selection = g.bandView(1)->selectionModel();

    // A block of cells across both bands: a header line, then one line per row.
    g.setCurrentCell(1, h.col("sName"));
    selection->select(QItemSelection(m->index(1, h.col("sName")), m->index(2, h.col("iClassNo"))), QItemSelectionModel::ClearAndSelect);
    const QString expected = QStringLiteral("姓名\t班级\t学号\n") + studentName(1) + QStringLiteral("\t初一(2)班\t1\n")
        + studentName(2) + QStringLiteral("\t初一(3)班\t1\n");
    EXPECT_EQ(g.selectionText(), expected);
    g.copySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), expected);

    // Ctrl+C in the grid does the same; hidden columns are never copied.
    selection->select(QItemSelection(m->index(5, h.col("nScore")), m->index(5, h.col("sMemo"))), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(g.bandView(1), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("成绩\t出生日期\t备注\n95\t2010-02-25\t住校\n"));

    // Nothing selected: the focused row, every visible column.
    g.setCurrentCell(3, h.col("sSex"));
    selection->clearSelection();
    const QStringList lines = g.selectionText().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("选择\t姓名\t班级\t学号\t性别\t成绩\t出生日期\t备注"));
    EXPECT_EQ(lines[1], QStringLiteral("\t%1\t初一(1)班\t2\t女\t81\t2010-02-03\t").arg(studentName(3)));
}

TEST(GridExport, WritesNumbersDatesAndChineseTextToXlsx)
{
    QTemporaryDir dir;
    GridHarness h;
    BandedGrid &g = h.grid;
    const QString file = dir.filePath(QStringLiteral("学生名单.xlsx"));
    QString error;
    ASSERT_TRUE(g.exportToXlsx(file, &error, QStringLiteral("学生名单"))) << error.toStdString();
    const Workbook book(file);

    // The header row, bold, in the grid's column order without hidden columns.
    EXPECT_EQ(book.at("A1").value, QStringLiteral("选择"));
    EXPECT_EQ(book.at("B1").value, QStringLiteral("姓名"));
    EXPECT_EQ(book.at("H1").value, QStringLiteral("备注"));
    EXPECT_FALSE(book.has("I1"));
    EXPECT_TRUE(book.bold("B1"));
    EXPECT_FALSE(book.bold("B2"));

    // Row 2 is student 0: text as shared strings, numbers as numbers, the date as a date serial.
    EXPECT_EQ(book.at("B2").type, QStringLiteral("s"));
    EXPECT_EQ(book.at("B2").value, studentName(0));
    EXPECT_EQ(book.at(letter(g, h.col("ClassCode")) + "2").value, QStringLiteral("初一(1)班"));
    const Cell seat = book.at(letter(g, h.col("iClassNo")) + "2");
    EXPECT_EQ(seat.type, QString());
    EXPECT_EQ(seat.value, QStringLiteral("1"));
    const Cell score = book.at(letter(g, h.col("nScore")) + "3");
    EXPECT_EQ(score.type, QString());
    EXPECT_DOUBLE_EQ(score.value.toDouble(), studentScore(1).toDouble());
    const Cell born = book.at(letter(g, h.col("dBirthday")) + "2");
    EXPECT_EQ(born.type, QString());
    EXPECT_EQ(born.value.toInt(), QDate(1899, 12, 30).daysTo(QDate(2010, 1, 1)));
    EXPECT_EQ(book.at("A2").value, QStringLiteral("否"));
    EXPECT_EQ(book.at(letter(g, h.col("sMemo")) + "2").value, QStringLiteral("住校"));
    EXPECT_FALSE(book.has(letter(g, h.col("nScore")) + "6")) << "student 4 has no score";
    // Every row, then the footer.
    EXPECT_EQ(book.lastRow, 32);
    EXPECT_EQ(book.at("B32").value, QStringLiteral("人数=30"));
    EXPECT_TRUE(book.bold("B32"));

    // A file that cannot be written: false and a message naming it.
    const QString nowhere = dir.filePath(QStringLiteral("没有这个目录/名单.xlsx"));
    EXPECT_FALSE(g.exportToXlsx(nowhere, &error));
    EXPECT_TRUE(error.contains(nowhere)) << error.toStdString();
}

TEST(GridExport, WritesGroupsExpandedWithTheirSummaries)
{
    QTemporaryDir dir;
    GridHarness h;
    BandedGrid &g = h.grid;
    g.groupBy(h.col("ClassCode"));
    g.collapseAll(); // exported expanded all the same
    g.setColumnFilter(h.col("sSex"), {QStringLiteral("男")});
    const QString file = dir.filePath(QStringLiteral("grouped.xlsx"));
    QString error;
    ASSERT_TRUE(g.exportToXlsx(file, &error)) << error.toStdString();
    const Workbook book(file);

    // Header, three classes of five boys each under their label rows, the footer.
    EXPECT_EQ(book.lastRow, 1 + 3 * 6 + 1);
    EXPECT_EQ(book.at("A2").value, QStringLiteral("班级: 初一(1)班 (5)"));
    EXPECT_TRUE(book.bold("A2"));
    EXPECT_EQ(book.at("B2").value, QStringLiteral("人数=5"));
    EXPECT_EQ(book.at(letter(g, h.col("nScore")) + "2").value, g.gridModel()->groupSummaryText(0, h.col("nScore")));
    EXPECT_EQ(book.at("B3").value, studentName(0));
    EXPECT_EQ(book.at("B4").value, studentName(6));
    EXPECT_EQ(book.at("A8").value, QStringLiteral("班级: 初一(2)班 (5)"));
    EXPECT_EQ(book.at("B9").value, studentName(4)); // the first boy of class 2
    EXPECT_EQ(book.at("A14").value, QStringLiteral("班级: 初一(3)班 (5)"));
    EXPECT_EQ(book.at("B20").value, QStringLiteral("人数=15"));
}
