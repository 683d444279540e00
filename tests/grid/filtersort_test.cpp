#include "gridtesting.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QStringList distinct(const QStringList &list)
{
    QStringList out;
    for (const QString &s : list)
        if (!out.contains(s)) out.append(s);
    return out;
}

void clickHeader(BandedGrid &g, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QHeaderView *header = g.bandView(column < g.fixedBandColumnCount() ? 0 : 1)->header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 3, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers, centre);
}
} // namespace

TEST(GridColumnFilter, ListsAColumnsValuesAndLetsTheChosenOnesThrough)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    QAbstractItemModelTester tester(g.gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const int classes = h.col("ClassCode"), sex = h.col("sSex"), seat = h.col("iClassNo"), memo = h.col("sMemo");

    // Values by value: seats as numbers, empty cells first, lookup columns by their texts.
    EXPECT_EQ(g.filterValues(seat), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(g.filterValues(memo), (QStringList{QString(), QStringLiteral("住校")}));
    EXPECT_EQ(g.filterValues(classes), (QStringList{QStringLiteral("初一(1)班"), QStringLiteral("初一(2)班"), QStringLiteral("初一(3)班")}));

    g.setFilteringEnabled(true);
    g.setColumnFilter(classes, {QStringLiteral("初一(2)班")});
    EXPECT_TRUE(g.isColumnFiltered(classes));
    EXPECT_EQ(g.dataRowCount(), 10);
    EXPECT_EQ(distinct(h.gridColumn("ClassCode")), QStringList{QStringLiteral("初一(2)班")});

    // Filters add up; each column lists the values the other filters leave.
    g.setColumnFilter(sex, {QStringLiteral("女")});
    QStringList girlsOfClass2;
    QStringList seatsOfThem;
    for (int i = 1; i < 30; i += 3)
        if (i % 2 == 1) {
            girlsOfClass2.append(studentName(i));
            seatsOfThem.append(QString::number(i / 3 + 1));
        }
    EXPECT_EQ(h.gridColumn("sName"), girlsOfClass2);
    EXPECT_EQ(g.filterValues(seat), seatsOfThem);
    EXPECT_EQ(g.filterValues(sex), (QStringList{QStringLiteral("女"), QStringLiteral("男")}));

    // The table's own filter still applies underneath.
    h.students.setFilter(QStringLiteral("iClassNo<=5"));
    h.students.setFiltered(true);
    EXPECT_EQ(g.dataRowCount(), int(std::count_if(seatsOfThem.begin(), seatsOfThem.end(), [](const QString &s) { return s.toInt() <= 5; })));
    h.students.setFiltered(false);
    EXPECT_EQ(h.gridColumn("sName"), girlsOfClass2);

    // Letting every value through is no filter; clearing one filter leaves the other.
    g.setColumnFilter(sex, {QStringLiteral("男"), QStringLiteral("女")});
    EXPECT_FALSE(g.isColumnFiltered(sex));
    EXPECT_EQ(g.dataRowCount(), 10);
    g.clearColumnFilter(classes);
    EXPECT_EQ(g.dataRowCount(), 30);

    // Empty cells are a value of their own.
    g.setColumnFilter(memo, {QString()});
    EXPECT_EQ(g.dataRowCount(), 24);
    EXPECT_EQ(distinct(h.gridColumn("sMemo")), QStringList{QString()});

    // The header's list: untick "(全部)", tick one value, confirm.
    g.showFilterPopup(classes);
    auto *list = g.findChild<QListWidget *>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("(全部)"));
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    list->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    list->item(3)->setCheckState(Qt::Checked);
    QPushButton *ok = nullptr;
    for (QPushButton *b : list->parentWidget()->findChildren<QPushButton *>())
        if (b->text() == QStringLiteral("确定")) ok = b;
    ASSERT_NE(ok, nullptr);
    ok->click();
    QApplication::processEvents();
    EXPECT_EQ(distinct(h.gridColumn("ClassCode")), QStringList{QStringLiteral("初一(3)班")});
    EXPECT_EQ(g.dataRowCount(), 8); // class 3 without a memo

    // Switching filtering off drops every column filter.
    g.setFilteringEnabled(false);
    EXPECT_EQ(g.dataRowCount(), 30);
    EXPECT_FALSE(g.isColumnFiltered(classes));
}

TEST(GridSorting, TheTablesOrderFollowsTheHeaders)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.setReadOnly(true);
    h.students.setIndexFieldNames(QStringLiteral("sCode")); // the page's own order
    const int score = h.col("nScore"), seat = h.col("iClassNo");

    // A click sorts ascending (empty first), the next click descending.
    clickHeader(g, score);
    ASSERT_EQ(g.sortColumns(), (QList<GridSortColumn>{{QStringLiteral("nScore"), Qt::AscendingOrder}}));
    QVariantList scores = h.tableOrder(QStringLiteral("nScore"));
    EXPECT_TRUE(wire::isNull(scores[0]) && wire::isNull(scores[1]));
    for (int i = 3; i < scores.size(); ++i) EXPECT_LE(scores[i - 1].toDouble(), scores[i].toDouble());
    QStringList tableNames;
    for (const QVariant &v : h.tableOrder(QStringLiteral("sName"))) tableNames.append(v.toString());
    EXPECT_EQ(h.gridColumn("sName"), tableNames) << "the grid shows the table's order";
    clickHeader(g, score);
    EXPECT_EQ(g.sortColumns().first().order, Qt::DescendingOrder);
    scores = h.tableOrder(QStringLiteral("nScore"));
    double best = 0;
    for (int i = 0; i < 30; ++i) best = std::max(best, studentScore(i).toDouble());
    EXPECT_DOUBLE_EQ(scores.first().toDouble(), best);
    EXPECT_TRUE(wire::isNull(scores.last()));

    // Shift-click adds a column: seats ascending within equal scores.
    clickHeader(g, seat, Qt::ShiftModifier);
    EXPECT_EQ(g.sortColumns(), (QList<GridSortColumn>{{QStringLiteral("nScore"), Qt::DescendingOrder}, {QStringLiteral("iClassNo"), Qt::AscendingOrder}}));
    g.removeSort(score);
    EXPECT_EQ(g.sortColumns(), (QList<GridSortColumn>{{QStringLiteral("iClassNo"), Qt::AscendingOrder}}));
    QVariantList seats = h.tableOrder(QStringLiteral("iClassNo"));
    for (int i = 1; i < seats.size(); ++i) EXPECT_LE(seats[i - 1].toInt(), seats[i].toInt());

    // Grouping columns lead the order, and the table follows them too.
    g.groupBy(h.col("ClassCode"));
    EXPECT_EQ(g.sortColumns(), (QList<GridSortColumn>{{QStringLiteral("ClassCode"), Qt::AscendingOrder}, {QStringLiteral("iClassNo"), Qt::AscendingOrder}}));
    const QVariantList classOrder = h.tableOrder(QStringLiteral("ClassCode"));
    seats = h.tableOrder(QStringLiteral("iClassNo"));
    for (int i = 1; i < 30; ++i) {
        EXPECT_LE(classOrder[i - 1].toString(), classOrder[i].toString());
        if (classOrder[i - 1] == classOrder[i]) {
            EXPECT_LE(seats[i - 1].toInt(), seats[i].toInt());
        }
    }
    tableNames.clear();
    for (const QVariant &v : h.tableOrder(QStringLiteral("sName"))) tableNames.append(v.toString());
    EXPECT_EQ(h.gridColumn("sName"), tableNames);
    EXPECT_EQ(sorted(tableNames), sorted(h.gridColumn("sName")));

    // Without sorting or grouping the table goes back to the page's order.
    g.clearGrouping();
    g.clearSort();
    EXPECT_TRUE(g.sortColumns().isEmpty());
    EXPECT_EQ(h.students.indexFieldNames(), QStringLiteral("sCode"));
    QStringList codes;
    for (const QVariant &v : h.tableOrder(QStringLiteral("sCode"))) codes.append(v.toString());
    EXPECT_EQ(codes, sorted(codes));
}
