#include "gridtesting.h"

#include <QHeaderView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
bool shownIn(const BandedGrid &grid, int band, int column)
{
    return !grid.bandView(band)->header()->isSectionHidden(column);
}
} // namespace

TEST(GridColumns, AreBuiltFromTheDefinitionRows)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    ASSERT_EQ(g.columnCount(), 9);
    EXPECT_EQ(g.column(h.col("sName")).caption, QStringLiteral("姓名"));
    EXPECT_EQ(g.column(h.col("Selected")).editor, EditorKind::Boolean);
    EXPECT_EQ(g.column(h.col("ClassCode")).editor, EditorKind::Lookup);
    EXPECT_EQ(g.column(h.col("iClassNo")).editor, EditorKind::Integer);
    EXPECT_EQ(g.column(h.col("nScore")).editor, EditorKind::Float);
    EXPECT_EQ(g.column(h.col("dBirthday")).editor, EditorKind::Date);
    EXPECT_EQ(g.column(h.col("sSex")).editor, EditorKind::Text);

    // Widths in characters (9 pixels less 10); an empty width keeps the default.
    EXPECT_EQ(g.column(h.col("ClassCode")).width, 80);
    EXPECT_EQ(g.column(h.col("sName")).width, 62);
    EXPECT_EQ(g.column(h.col("sMemo")).width, GridColumn().width);
    EXPECT_EQ(g.bandView(1)->header()->sectionSize(h.col("nScore")), 62);
    EXPECT_EQ(g.bandView(0)->header()->sectionSize(h.col("ClassCode")), 80);

    // Hidden by definition: in neither band, and not among the visible columns.
    const int code = h.col("sCode");
    EXPECT_FALSE(g.column(code).visible);
    EXPECT_FALSE(shownIn(g, 0, code));
    EXPECT_FALSE(shownIn(g, 1, code));
    EXPECT_FALSE(g.visibleColumns().contains(code));
    EXPECT_EQ(g.visibleColumns().size(), 8);

    // Summaries: kind and format; group summaries only where the definition asks for them.
    const GridColumn &name = g.column(h.col("sName"));
    EXPECT_EQ(name.summary, SummaryKind::Count);
    EXPECT_EQ(name.summaryFormat, QStringLiteral("人数=,0"));
    EXPECT_TRUE(name.groupSummary);
    EXPECT_EQ(g.column(h.col("nScore")).summary, SummaryKind::Average);
    EXPECT_TRUE(g.column(h.col("nScore")).groupSummary);
    EXPECT_EQ(g.column(h.col("iClassNo")).summary, SummaryKind::Max);
    EXPECT_FALSE(g.column(h.col("iClassNo")).groupSummary);
    EXPECT_EQ(g.column(h.col("dBirthday")).summary, SummaryKind::Min);
    EXPECT_EQ(g.column(h.col("ClassCode")).summary, SummaryKind::None);
    EXPECT_EQ(g.column(h.col("sSex")).summaryFormat, QString());

    // The first three columns make the fixed band; each band's view shows only its columns.
    EXPECT_EQ(g.fixedColumnCount(), 3);
    EXPECT_EQ(g.fixedBandColumnCount(), 3);
    for (const char *field : {"Selected", "sName", "ClassCode"}) {
        EXPECT_EQ(g.column(h.col(field)).band, 0) << field;
        EXPECT_TRUE(shownIn(g, 0, h.col(field))) << field;
        EXPECT_FALSE(shownIn(g, 1, h.col(field))) << field;
    }
    for (const char *field : {"iClassNo", "sSex", "nScore", "dBirthday", "sMemo"}) {
        EXPECT_EQ(g.column(h.col(field)).band, 1) << field;
        EXPECT_FALSE(shownIn(g, 0, h.col(field))) << field;
        EXPECT_TRUE(shownIn(g, 1, h.col(field))) << field;
    }
    EXPECT_EQ(g.bandView(0)->width(), 4 * 9 - 10 + 62 + 80 + 2) << "its columns and the line between the bands";
    EXPECT_EQ(g.bandCaption(0), QStringLiteral("固定列"));
    EXPECT_EQ(g.bandCaption(1), QStringLiteral("活动列"));
    EXPECT_EQ(g.gridModel()->headerData(h.col("nScore"), Qt::Horizontal).toString(), QStringLiteral("成绩"));
}

TEST(GridColumns, FixedBandNeedsEnoughColumnsAndFollowsThePage)
{
    DataSet students;
    students.setData(studentPacket(5));
    DataSet two;
    wire::DataPacket defs = fieldDefinitions();
    wire::DataPacket firstTwo(defs.fields());
    firstTwo.appendRow(defs.row(1));
    firstTwo.appendRow(defs.row(5));
    two.setData(firstTwo);
    BandedGrid grid;
    grid.setDataSet(&students);
    grid.buildColumns(two);
    ASSERT_EQ(grid.columnCount(), 2);
    EXPECT_EQ(grid.fixedBandColumnCount(), 0);
    EXPECT_TRUE(grid.bandView(0)->isHidden());

    DataSet all;
    all.setData(defs);
    grid.setFixedColumnCount(1);
    grid.buildColumns(all);
    EXPECT_EQ(grid.fixedBandColumnCount(), 1);
    EXPECT_EQ(grid.column(0).field, QStringLiteral("Selected"));

    // Moving a column into the other band, and adding one to the fixed band.
    const int score = grid.columnOfField(QStringLiteral("nScore"));
    grid.moveColumn(score, 1, 0);
    EXPECT_EQ(grid.fixedBandColumnCount(), 2);
    EXPECT_EQ(grid.column(1).field, QStringLiteral("nScore"));
    EXPECT_FALSE(grid.bandView(0)->header()->isSectionHidden(1));
    EXPECT_TRUE(grid.bandView(1)->header()->isSectionHidden(1));
    GridColumn sex;
    sex.field = QStringLiteral("sSex");
    sex.band = 0;
    const int added = grid.addColumn(sex);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(grid.fixedBandColumnCount(), 3);
    EXPECT_EQ(grid.columnCaption(added), QStringLiteral("sSex")); // no caption: the field's label

    // Columns whose field the table lacks go when the page asks.
    GridColumn ghost;
    ghost.field = QStringLiteral("sNoSuchField");
    grid.addColumn(ghost);
    const int before = grid.columnCount();
    grid.removeUnboundColumns();
    EXPECT_EQ(grid.columnCount(), before - 1);
    EXPECT_EQ(grid.columnOfField(QStringLiteral("sNoSuchField")), -1);

    // The header menu moves a column back into the band that scrolls.
    QMenu *menu = grid.headerMenu(grid.columnOfField(QStringLiteral("nScore")));
    QAction *toScrolling = nullptr;
    for (QAction *a : menu->actions())
        if (a->text() == QStringLiteral("移到活动列")) toScrolling = a;
    ASSERT_NE(toScrolling, nullptr);
    toScrolling->trigger();
    EXPECT_EQ(grid.column(grid.columnOfField(QStringLiteral("nScore"))).band, 1);
    EXPECT_EQ(grid.fixedBandColumnCount(), 2);
}

TEST(GridColumns, BestFitMakesRoomForHeadersCellsAndFooters)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    const QString longMemo = QStringLiteral("住校，每周五下午由家长接回");
    h.students.moveTo(0);
    h.students.edit();
    h.students.setValue(u"sMemo", longMemo);
    h.students.post();
    const int hiddenWidth = g.column(h.col("sCode")).width;
    g.bestFit();

    const QFontMetrics cells(g.font());
    QFont bold = g.font();
    bold.setBold(true);
    const QFontMetrics headers(bold);
    EXPECT_GE(g.column(h.col("sMemo")).width, cells.horizontalAdvance(longMemo));
    EXPECT_GE(g.column(h.col("dBirthday")).width, cells.horizontalAdvance(QStringLiteral("最早=2010-01-01"))) << "the footer";
    EXPECT_GE(g.column(h.col("sSex")).width, headers.horizontalAdvance(QStringLiteral("性别")));
    EXPECT_LT(g.column(h.col("sSex")).width, g.column(h.col("sMemo")).width);
    EXPECT_LE(g.column(h.col("Selected")).width, headers.horizontalAdvance(QStringLiteral("选择")) + 30);
    EXPECT_EQ(g.column(h.col("sCode")).width, hiddenWidth) << "hidden columns keep their width";
    EXPECT_EQ(g.bandView(1)->header()->sectionSize(h.col("sMemo")), g.column(h.col("sMemo")).width);

    // A double click on a header's edge fits that column alone.
    const int name = h.col("sName");
    g.setColumnWidth(name, 20);
    QHeaderView *header = g.bandView(0)->header();
    const int edge = header->sectionViewportPosition(name) + header->sectionSize(name) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(edge, header->height() / 2));
    EXPECT_GE(g.column(name).width, cells.horizontalAdvance(studentName(10)));
}

TEST(GridColumns, AGridOutlivesItsTableOpeningClosingAndGoing)
{
    auto table = std::make_unique<DataSet>();
    DataSet fields;
    fields.setData(fieldDefinitions());
    BandedGrid g;
    g.resize(800, 400);
    g.setDataSet(table.get()); // not open yet
    g.buildColumns(fields);
    g.groupBy(g.columnOfField(QStringLiteral("ClassCode")));
    g.show();
    EXPECT_EQ(g.dataRowCount(), 0);
    EXPECT_EQ(g.footerText(g.columnOfField(QStringLiteral("sName"))), QString()) << "no field to count yet";
    EXPECT_EQ(g.selectionText(), QString());
    table->createTable(studentPacket(0).fields());
    EXPECT_EQ(g.footerText(g.columnOfField(QStringLiteral("sName"))), QStringLiteral("人数=0"));
    table->close();

    // Opened, the rows come with the grouping asked for before.
    table->setData(studentPacket(9));
    EXPECT_EQ(g.dataRowCount(), 9);
    EXPECT_EQ(g.gridModel()->groupCount(), 3);
    EXPECT_EQ(g.sortColumns().first().field, QStringLiteral("ClassCode"));
    for (qsizetype r = 1; r < table->recordCount(); ++r)
        EXPECT_LE(table->valueAt(r - 1, table->fieldIndex(u"ClassCode")).toString(), table->valueAt(r, table->fieldIndex(u"ClassCode")).toString())
            << "the table opened in the grid's order";
    g.setCurrentCell(4, g.columnOfField(QStringLiteral("sName")));
    EXPECT_EQ(table->value(u"sName").toString(), g.displayText(4, g.columnOfField(QStringLiteral("sName"))));

    table->close();
    EXPECT_EQ(g.dataRowCount(), 0);
    EXPECT_EQ(g.gridModel()->rowCount(), 0);
    table->setData(studentPacket(3));
    EXPECT_EQ(g.dataRowCount(), 3);

    // The table goes first: the grid is empty and still answers.
    table.reset();
    EXPECT_EQ(g.dataRowCount(), 0);
    EXPECT_EQ(g.dataSet(), nullptr);
    EXPECT_EQ(g.displayText(0, 0), QString());
    QTemporaryDir dir;
    QString error;
    EXPECT_TRUE(g.exportToXlsx(dir.filePath(QStringLiteral("empty.xlsx")), &error)) << error.toStdString();
    g.bestFit();
    g.markAllRows();
}
