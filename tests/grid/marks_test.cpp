#include "gridtesting.h"

#include <QAbstractSpinBox>
#include <QTest>
#include <QTreeView>
#include <QHeaderView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
QList<bool> marks(GridHarness &h)
{
    QList<bool> out;
    for (int r = 0; r < h.grid.dataRowCount(); ++r) out.append(h.tableValue(r, "Selected").toBool());
    return out;
}
} // namespace

TEST(SelectionMarks, MarkTheSelectedRowsOrTheFocusedOne)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.setReadOnly(true);
    ASSERT_TRUE(g.hasSelectionMarks());
    GridModel *m = g.gridModel();
    QItemSelectionModel *selection = g.bandView(1)->selectionModel();

    // Rows 2 to 4 selected (any of their cells): marked; the others are not.
    g.setCurrentCell(9, h.col("sName"));
    selection->select(QItemSelection(m->index(2, h.col("sName")), m->index(4, h.col("nScore"))), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(g.selectedRows(), (QList<int>{2, 3, 4}));
    EXPECT_EQ(g.markSelectedRows(true), 3);
    QList<bool> expected(30, false);
    expected[2] = expected[3] = expected[4] = true;
    EXPECT_EQ(marks(h), expected);
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    EXPECT_EQ(h.students.recNo(), m->sourceRowOfOrdinal(9)) << "the table's cursor comes back";
    EXPECT_EQ(g.currentRow(), 9);

    // Nothing selected: the focused row.
    selection->clearSelection();
    g.setCurrentCell(3, h.col("sName"));
    selection->clearSelection();
    EXPECT_EQ(g.markSelectedRows(false), 1);
    expected[3] = false;
    EXPECT_EQ(marks(h), expected);

    // A click on the check box ticks the row.
    QTreeView *fixed = g.bandView(0);
    const QRect box = fixed->visualRect(m->index(m->rowOfOrdinal(7), h.col("Selected")));
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    expected[7] = true;
    EXPECT_EQ(marks(h), expected);

    // All rows shown, not the ones the column filter hides.
    g.setColumnFilter(h.col("sSex"), {QStringLiteral("女")});
    EXPECT_EQ(g.markAllRows(), 14); // student 7 is a girl and marked already
    g.clearColumnFilters();
    for (int i = 0; i < 30; ++i) expected[i] = i % 2 == 1 || i == 2 || i == 4;
    EXPECT_EQ(marks(h), expected);
}

TEST(SelectionMarks, InvertNegatesEveryRowShown)
{
    GridHarness h(3);
    BandedGrid &g = h.grid;
    g.setCurrentCell(0, h.col("sName"));
    g.bandView(1)->selectionModel()->clearSelection();
    g.markSelectedRows(true);
    ASSERT_EQ(marks(h), (QList<bool>{true, false, false}));
    EXPECT_EQ(g.invertMarks(), 3);
    EXPECT_EQ(marks(h), (QList<bool>{false, true, true}));

    // Ordered by the mark itself, every row is still reached once.
    g.sortBy(h.col("Selected"), Qt::AscendingOrder);
    EXPECT_EQ(g.invertMarks(), 3);
    EXPECT_EQ(h.tableOrder(QStringLiteral("Selected")), (QVariantList{false, false, true}));

    // A table without the field has no marks to set.
    DataSet plain;
    plain.setData(wire::DataPacket({{QStringLiteral("sName"), FieldType::Text, 20, 0}}));
    BandedGrid other;
    other.setDataSet(&plain);
    EXPECT_FALSE(other.hasSelectionMarks());
    EXPECT_EQ(other.markAllRows(), 0);
}

TEST(SelectionMarks, ATickInAnotherRowPostsTheEditedRowFirst)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.sortBy(h.col("iClassNo"), Qt::AscendingOrder);
    const QString ticked = g.displayText(5, h.col("sName"));
    // The first row gets the largest seat but is not posted yet...
    ASSERT_TRUE(g.editCell(0, h.col("iClassNo")));
    auto *seat = qobject_cast<QAbstractSpinBox *>(g.activeEditor());
    ASSERT_NE(seat, nullptr);
    seat->selectAll();
    QTest::keyClicks(seat, "99");
    ASSERT_TRUE(g.gridModel()->setData(g.gridModel()->index(0, h.col("iClassNo")), 99));
    g.closeEditor();
    ASSERT_EQ(h.students.state(), DataSetState::Edit);
    // ...when a tick lands five rows down: the edited row moves to the end as it is posted,
    // and the tick still goes to the student it was meant for.
    QTreeView *fixed = g.bandView(0);
    GridModel *m = g.gridModel();
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, Qt::NoModifier, fixed->visualRect(m->index(5, h.col("Selected"))).center());
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    EXPECT_EQ(g.displayText(29, h.col("iClassNo")), QStringLiteral("99"));
    int marked = 0;
    for (int r = 0; r < 30; ++r)
        if (h.tableValue(r, "Selected").toBool()) {
            ++marked;
            EXPECT_EQ(g.displayText(r, h.col("sName")), ticked);
        }
    EXPECT_EQ(marked, 1);
}
