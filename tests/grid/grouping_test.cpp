#include "gridtesting.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
const QStringList kClasses = {QStringLiteral("0701"), QStringLiteral("0702"), QStringLiteral("0703")};

QString averageOfClass(int k)
{
    double sum = 0;
    int n = 0;
    for (int i = k; i < 30; i += 3)
        if (!wire::isNull(studentScore(i))) {
            sum += studentScore(i).toDouble();
            ++n;
        }
    return QStringLiteral("平均=") + QString::number(sum / n, 'f', 2);
}

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

// The names the grid shows under a group, in its order.
QStringList namesOfGroup(const BandedGrid &g, int group)
{
    const GridModel::GroupInfo info = g.gridModel()->groupInfo(group);
    QStringList names;
    for (int r = info.firstOrdinal; r < info.firstOrdinal + info.rowCount; ++r)
        names.append(g.displayText(r, g.columnOfField(QStringLiteral("sName"))));
    return names;
}
} // namespace

TEST(GridGrouping, GroupsRowsByClassWithCountsAndSummaries)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    GridModel *m = g.gridModel();
    QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::Fatal);

    // "按此列分组" from the header menu of the class column.
    QAction *groupAction = menuAction(g.headerMenu(h.col("ClassCode")), QStringLiteral("按此列分组"));
    ASSERT_NE(groupAction, nullptr);
    groupAction->trigger();
    EXPECT_EQ(g.groupColumns(), QList<int>{h.col("ClassCode")});
    ASSERT_EQ(m->groupCount(), 3);
    EXPECT_EQ(m->rowCount(), 33);
    EXPECT_EQ(g.dataRowCount(), 30);
    for (int k = 0; k < 3; ++k) {
        const GridModel::GroupInfo info = m->groupInfo(k);
        EXPECT_EQ(info.label(), QStringLiteral("班级: 初一(%1)班 (10)").arg(k + 1));
        EXPECT_EQ(m->groupSummaryText(k, h.col("sName")), QStringLiteral("人数=10"));
        EXPECT_EQ(m->groupSummaryText(k, h.col("nScore")), averageOfClass(k));
        EXPECT_EQ(m->groupSummaryText(k, h.col("iClassNo")), QString()) << "a footer summary only";
        QStringList expected;
        for (int i = k; i < 30; i += 3) expected.append(studentName(i));
        EXPECT_EQ(namesOfGroup(g, k), expected);
    }
    // Group rows come before their members; row numbers count data rows only.
    EXPECT_TRUE(m->isGroupRow(0));
    EXPECT_TRUE(m->isGroupRow(11));
    EXPECT_EQ(m->ordinalOfRow(12), 10);
    EXPECT_EQ(m->headerData(12, Qt::Vertical).toInt(), 11);
    EXPECT_EQ(m->data(m->index(0, 0)).toString(), QStringLiteral("班级: 初一(1)班 (10)"));
    EXPECT_FALSE(m->flags(m->index(0, h.col("sName"))) & Qt::ItemIsEditable);
    EXPECT_EQ(g.footerText(h.col("sName")), QStringLiteral("人数=30"));

    // A second level: each class by sex, girls ("女") before boys ("男") in code order.
    g.groupBy(h.col("sSex"));
    ASSERT_EQ(m->groupLevelCount(), 2);
    const QList<int> sexes = m->childGroups(0);
    ASSERT_EQ(sexes.size(), 2);
    EXPECT_EQ(m->groupInfo(sexes[0]).label(), QStringLiteral("性别: 女 (5)"));
    EXPECT_EQ(m->groupInfo(sexes[1]).label(), QStringLiteral("性别: 男 (5)"));
    EXPECT_EQ(m->groupInfo(sexes[0]).level, 1);
    EXPECT_EQ(m->groupInfo(sexes[0]).parent, 0);
    EXPECT_EQ(namesOfGroup(g, sexes[0]), (QStringList{studentName(3), studentName(9), studentName(15), studentName(21), studentName(27)}));
    EXPECT_EQ(m->rowCount(), 30 + 3 + 6);

    // Collapsing hides the members, expanding shows them again; all at once too.
    m->setGroupExpanded(0, false);
    EXPECT_EQ(m->rowCount(), 39 - 12);
    EXPECT_FALSE(m->groupInfo(0).expanded);
    EXPECT_EQ(m->rowOfOrdinal(0), -1);
    g.setCurrentCell(0, h.col("sName")); // focusing a hidden row shows it
    EXPECT_TRUE(m->groupInfo(0).expanded);
    EXPECT_EQ(m->rowCount(), 39);
    g.collapseAll();
    EXPECT_EQ(m->rowCount(), 3);
    g.expandAll();
    EXPECT_EQ(m->rowCount(), 39);

    // Largest class first when the class column sorts descending.
    g.ungroup(h.col("sSex"));
    g.sortBy(h.col("ClassCode"), Qt::DescendingOrder);
    EXPECT_EQ(m->groupInfo(0).valueText, QStringLiteral("初一(3)班"));

    // Ungrouped from the header menu: the plain list again.
    QAction *ungroupAction = menuAction(g.headerMenu(h.col("ClassCode")), QStringLiteral("取消按此列分组"));
    ASSERT_NE(ungroupAction, nullptr);
    ungroupAction->trigger();
    EXPECT_TRUE(g.groupColumns().isEmpty());
    EXPECT_EQ(m->rowCount(), 30);
    EXPECT_EQ(m->groupCount(), 0);
}

TEST(GridGrouping, FollowsTheTableWhileGrouped)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    GridModel *m = g.gridModel();
    QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    g.setReadOnly(true);
    g.groupBy(h.col("ClassCode"));
    m->setGroupExpanded(1, false);

    // A student moved to another class moves to its group once posted; the focus goes with her.
    const int classColumn = h.col("ClassCode");
    g.setCurrentCell(3, h.col("sName"));
    const QString moved = g.displayText(3, h.col("sName"));
    ASSERT_EQ(h.students.value(u"sName").toString(), moved);
    h.students.edit();
    h.students.setValue(u"ClassCode", QStringLiteral("0703"));
    EXPECT_EQ(m->groupInfo(0).rowCount, 10) << "not regrouped while the row is being edited";
    h.students.post();
    QApplication::processEvents();
    EXPECT_EQ(m->groupInfo(0).rowCount, 9);
    EXPECT_EQ(m->groupInfo(2).rowCount, 11);
    EXPECT_FALSE(m->groupInfo(1).expanded) << "a collapsed group stays collapsed";
    EXPECT_TRUE(namesOfGroup(g, 2).contains(moved));
    EXPECT_EQ(g.displayText(g.currentRow(), h.col("sName")), moved);
    EXPECT_EQ(g.displayText(g.currentRow(), classColumn), QStringLiteral("初一(3)班"));

    // Rows the page appends and deletes.
    h.students.append();
    h.students.setValue(u"sCode", QStringLiteral("{new}"));
    h.students.setValue(u"sName", QStringLiteral("插班生"));
    EXPECT_EQ(m->groupInfo(0).valueText, QStringLiteral("(空)")) << "a new row waits in the empty group";
    h.students.setValue(u"ClassCode", QStringLiteral("0701"));
    h.students.post();
    QApplication::processEvents();
    ASSERT_EQ(m->groupCount(), 3);
    EXPECT_EQ(m->groupInfo(0).rowCount, 10);
    EXPECT_TRUE(namesOfGroup(g, 0).contains(QStringLiteral("插班生")));
    ASSERT_TRUE(h.students.locate(QStringLiteral("sName"), {QStringLiteral("插班生")}));
    h.students.deleteRecord();
    EXPECT_EQ(m->groupInfo(0).rowCount, 9);
    EXPECT_EQ(g.dataRowCount(), 30);

    // The table's own filter still applies under the groups.
    h.students.setFilter(QStringLiteral("sSex='女'"));
    h.students.setFiltered(true);
    int shown = 0;
    for (int k = 0; k < m->groupCount(); ++k) shown += m->groupInfo(k).rowCount;
    EXPECT_EQ(shown, 15);
    h.students.setFiltered(false);

    // Reloading keeps the grouping and what was collapsed.
    h.students.setData(studentPacket(30));
    ASSERT_EQ(m->groupCount(), 3);
    EXPECT_EQ(m->groupInfo(0).rowCount, 10);
    EXPECT_FALSE(m->groupInfo(1).expanded);
}

TEST(GridGrouping, TenThousandRowsOfThirtyColumns)
{
    QList<wire::FieldDef> fields;
    for (int f = 0; f < 30; ++f)
        fields.append({QStringLiteral("f%1").arg(f), f % 3 == 0 ? FieldType::Integer : f % 3 == 1 ? FieldType::Float : FieldType::Text, 0, 0});
    wire::DataPacket packet(fields);
    qint64 sumOfFirst = 0;
    for (int r = 0; r < 10000; ++r) {
        QVariantList row;
        for (int f = 0; f < 30; ++f)
            row.append(f % 3 == 0 ? QVariant(qint64((r * (f + 1)) % 97)) : f % 3 == 1 ? QVariant(r * 0.5) : QVariant(QStringLiteral("第%1行").arg(r % 100)));
        sumOfFirst += (r * 1) % 97;
        packet.appendRow(row);
    }
    DataSet table;
    table.setData(packet);
    BandedGrid g;
    g.resize(1000, 700);
    g.setDataSet(&table);
    QList<GridColumn> columns;
    for (int f = 0; f < 30; ++f) {
        GridColumn c;
        c.field = fields[f].name;
        c.caption = QStringLiteral("第%1列").arg(f + 1);
        c.band = f < 3 ? 0 : 1;
        columns.append(c);
    }
    columns[0].summary = SummaryKind::Sum;
    columns[2].groupSummary = true;
    columns[2].summary = SummaryKind::Count;
    g.setColumns(columns);
    g.show();
    QApplication::processEvents();
    EXPECT_EQ(g.dataRowCount(), 10000);
    EXPECT_EQ(g.footerText(0), QString::number(sumOfFirst));

    g.groupBy(2); // 100 distinct texts
    GridModel *m = g.gridModel();
    ASSERT_EQ(m->groupCount(), 100);
    EXPECT_EQ(m->rowCount(), 10100);
    EXPECT_EQ(m->groupSummaryText(0, 2), QStringLiteral("100"));
    QScrollBar *bar = g.bandView(1)->verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    EXPECT_EQ(g.bandView(0)->verticalScrollBar()->value(), bar->value()) << "both bands scroll together";
    g.setCurrentCell(9999, 29);
    EXPECT_EQ(g.currentRow(), 9999);
    EXPECT_EQ(table.recNo(), m->sourceRowOfOrdinal(9999));
}

TEST(GridGrouping, ColumnsDroppedOnTheGroupBoxAndOnHeaders)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.setReadOnly(true);
    QWidget *box = g.findChild<QWidget *>(QStringLiteral("groupByBox"));
    ASSERT_NE(box, nullptr);
    auto drop = [](QWidget *target, QMimeData *data, QPoint at) {
        // As a drag does: entering makes the widget the drop's target.
        std::unique_ptr<QMimeData> owned(data);
        QDragEnterEvent enter(at, Qt::MoveAction, owned.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent event(at, Qt::MoveAction, owned.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        QApplication::processEvents();
    };
    const int classes = h.col("ClassCode"), sex = h.col("sSex");

    // Onto the group-by box: a first level, a second after it, then moved to the front.
    drop(box, g.columnMimeData(classes), QPoint(20, 10));
    EXPECT_EQ(g.groupColumns(), QList<int>{classes});
    drop(box, g.columnMimeData(sex), QPoint(box->width() - 10, 10));
    EXPECT_EQ(g.groupColumns(), (QList<int>{classes, sex}));
    drop(box, g.columnMimeData(sex, true), QPoint(2, 10));
    EXPECT_EQ(g.groupColumns(), (QList<int>{sex, classes}));
    EXPECT_EQ(g.gridModel()->groupInfo(0).caption, QStringLiteral("性别"));

    // Another grid's column is refused.
    BandedGrid other;
    drop(box, other.columnMimeData(classes), QPoint(20, 10));
    EXPECT_EQ(g.groupColumns(), (QList<int>{sex, classes}));

    // A chip dropped on a header ungroups its column.
    QHeaderView *scrolling = g.bandView(1)->header();
    drop(scrolling->viewport(), g.columnMimeData(sex, true), QPoint(10, 5));
    EXPECT_EQ(g.groupColumns(), QList<int>{classes});

    // A header dropped on another header moves the column there, into that band.
    drop(scrolling->viewport(), g.columnMimeData(h.col("sMemo")), QPoint(scrolling->sectionViewportPosition(h.col("iClassNo")) + 2, 5));
    EXPECT_EQ(g.column(g.fixedBandColumnCount()).field, QStringLiteral("sMemo"));
    QHeaderView *fixed = g.bandView(0)->header();
    drop(fixed->viewport(), g.columnMimeData(h.col("nScore")), QPoint(2, 5));
    EXPECT_EQ(g.column(0).field, QStringLiteral("nScore"));
    EXPECT_EQ(g.fixedBandColumnCount(), 4);
    EXPECT_EQ(g.groupColumns(), QList<int>{h.col("ClassCode")}) << "grouping goes by field, not by position";
}
