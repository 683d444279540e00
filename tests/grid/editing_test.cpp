#include "gridtesting.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
template <class Editor>
Editor *editorOf(BandedGrid &g)
{
    return qobject_cast<Editor *>(g.activeEditor());
}

// Replaces the editor's text by typing: one key event carrying the text, as an input method
// delivers Chinese.
void typeInto(QWidget *editor, const QString &text)
{
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(editor)) spin->selectAll();
    if (auto *line = qobject_cast<QLineEdit *>(editor)) line->selectAll();
    if (text.isEmpty()) return;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(editor, &press);
}
} // namespace

TEST(GridEditing, EditorsByTypeWriteThroughTheTableAndEnterWalksTheRow)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    QSignalSpy edited(&g, &BandedGrid::cellEdited);

    // Text: typed into a line edit; Enter writes and moves right to the next editable cell.
    ASSERT_TRUE(g.editCell(0, h.col("sName")));
    auto *line = editorOf<QLineEdit>(g);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), studentName(0));
    typeInto(line, QStringLiteral("张小明"));
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(h.tableValue(0, "sName").toString(), QStringLiteral("张小明"));
    ASSERT_EQ(edited.size(), 1) << "the page hears of the value the table took";
    EXPECT_EQ(edited.first(), (QVariantList{0, h.col("sName")}));
    EXPECT_EQ(h.students.state(), DataSetState::Edit); // posted when the grid leaves the row
    EXPECT_EQ(g.currentRow(), 0);
    EXPECT_EQ(g.currentColumn(), h.col("ClassCode"));

    // Lookup list: the combo shows class names; the table gets the key.
    auto *combo = editorOf<QComboBox>(g);
    ASSERT_NE(combo, nullptr) << "moving in an editable grid opens the next cell's editor";
    EXPECT_EQ(combo->currentText(), QStringLiteral("初一(1)班"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("初一(3)班")));
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_EQ(h.tableValue(0, "ClassCode").toString(), QStringLiteral("0703"));
    EXPECT_EQ(g.displayText(0, h.col("ClassCode")), QStringLiteral("初一(3)班"));

    // Integer spin box, in the band that scrolls: the move crossed from the fixed band.
    auto *seat = editorOf<QDoubleSpinBox>(g);
    ASSERT_NE(seat, nullptr);
    EXPECT_EQ(g.currentColumn(), h.col("iClassNo"));
    EXPECT_TRUE(g.bandView(1)->isAncestorOf(seat));
    EXPECT_EQ(seat->decimals(), 0);
    typeInto(seat, QStringLiteral("42"));
    QTest::keyClick(seat, Qt::Key_Return);
    EXPECT_EQ(h.tableValue(0, "iClassNo").typeId(), QMetaType::LongLong);
    EXPECT_EQ(h.tableValue(0, "iClassNo").toLongLong(), 42);

    ASSERT_NE(editorOf<QLineEdit>(g), nullptr); // 性别
    QTest::keyClick(g.activeEditor(), Qt::Key_Tab);

    // Number with decimals, then emptied: an empty spin box leaves no score, not 0.
    auto *score = editorOf<QDoubleSpinBox>(g);
    ASSERT_NE(score, nullptr);
    EXPECT_EQ(g.currentColumn(), h.col("nScore"));
    EXPECT_EQ(score->decimals(), 2);
    typeInto(score, QStringLiteral("95.5"));
    QTest::keyClick(score, Qt::Key_Left); // inside the text: stays in the cell
    EXPECT_EQ(g.currentColumn(), h.col("nScore"));
    QTest::keyClick(score, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(h.tableValue(0, "nScore").toDouble(), 95.5);

    auto *born = editorOf<QDateEdit>(g);
    ASSERT_NE(born, nullptr);
    EXPECT_EQ(born->date(), QDate(2010, 1, 1));
    born->setDate(QDate(2011, 2, 3));
    QTest::keyClick(born, Qt::Key_Return);
    EXPECT_EQ(h.tableValue(0, "dBirthday").toDate(), QDate(2011, 2, 3));

    // The last editable cell: Enter goes on to the next row's first editable cell, the
    // selection mark, which takes no editor; leaving the row posts it.
    ASSERT_EQ(g.currentColumn(), h.col("sMemo"));
    QTest::keyClick(g.activeEditor(), Qt::Key_Return);
    EXPECT_EQ(g.currentRow(), 1);
    EXPECT_EQ(g.currentColumn(), h.col("Selected"));
    EXPECT_EQ(g.activeEditor(), nullptr);
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    EXPECT_EQ(h.students.changeCount(), 1);
    const wire::ChangePacket delta = h.students.delta();
    ASSERT_EQ(delta.rows.size(), 1);
    EXPECT_EQ(delta.rows[0].oldValues[delta.fieldIndex(u"sName")].toString(), studentName(0));
    EXPECT_EQ(delta.rows[0].newValues[delta.fieldIndex(u"sName")].toString(), QStringLiteral("张小明"));

    // Emptying the score of the next row.
    ASSERT_TRUE(g.editCell(1, h.col("nScore")));
    auto *second = editorOf<QDoubleSpinBox>(g);
    ASSERT_NE(second, nullptr);
    typeInto(second, QString());
    QTest::keyClick(second, Qt::Key_Backspace);
    ASSERT_TRUE(g.postEdit());
    EXPECT_TRUE(wire::isNull(h.tableValue(1, "nScore")));
    EXPECT_EQ(h.students.state(), DataSetState::Browse);

    // Leaving a cell as it was changes nothing.
    const qsizetype changes = h.students.changeCount();
    ASSERT_TRUE(g.editCell(2, h.col("sMemo")));
    QTest::keyClick(g.activeEditor(), Qt::Key_Return);
    ASSERT_TRUE(g.editCell(2, h.col("dBirthday")));
    QTest::keyClick(g.activeEditor(), Qt::Key_Return);
    ASSERT_TRUE(g.postEdit());
    EXPECT_EQ(h.students.changeCount(), changes);
}

TEST(GridEditing, RefusesWhatTheTableOrTheColumnsRefuse)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    QSignalSpy errors(&g, &BandedGrid::editError);

    // Text that is no integer, typed into a text column of an integer field: refused, the
    // editor stays open in the same cell; a number is taken as an integer.
    const int seat = h.col("iClassNo");
    GridColumn asText = g.column(seat);
    asText.editor = EditorKind::Text;
    g.updateColumn(seat, asText);
    ASSERT_TRUE(g.editCell(3, seat));
    typeInto(g.activeEditor(), QStringLiteral("12a"));
    QTest::keyClick(g.activeEditor(), Qt::Key_Return);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(h.tableValue(3, "iClassNo").toLongLong(), 2);
    EXPECT_NE(g.activeEditor(), nullptr);
    EXPECT_EQ(g.currentColumn(), seat);
    typeInto(g.activeEditor(), QStringLiteral("12"));
    QTest::keyClick(g.activeEditor(), Qt::Key_Return);
    EXPECT_EQ(h.tableValue(3, "iClassNo").typeId(), QMetaType::LongLong);
    EXPECT_EQ(h.tableValue(3, "iClassNo").toLongLong(), 12);
    EXPECT_EQ(g.currentColumn(), h.col("sSex"));

    // A read-only column opens no editor and takes no value.
    const int sex = h.col("sSex");
    GridColumn fixedSex = g.column(sex);
    fixedSex.readOnly = true;
    g.updateColumn(sex, fixedSex);
    EXPECT_FALSE(g.editCell(5, sex));
    GridModel *m = g.gridModel();
    const QModelIndex cell = m->index(m->rowOfOrdinal(5), sex);
    EXPECT_FALSE(m->flags(cell) & Qt::ItemIsEditable);
    EXPECT_FALSE(m->setData(cell, QStringLiteral("女")));
    EXPECT_EQ(h.tableValue(5, "sSex").toString(), QStringLiteral("女")) << "student 5 is a girl already";
    EXPECT_FALSE(m->setData(m->index(m->rowOfOrdinal(4), sex), QStringLiteral("女")));
    EXPECT_EQ(h.tableValue(4, "sSex").toString(), QStringLiteral("男"));

    // A calculated field cannot be edited either.
    h.students.addField({QStringLiteral("sLabel"), FieldType::Text, 40, 0}, FieldKind::Calculated,
                        [](const DataSet &t, Bookmark b) { return t.slotValue(b, t.fieldIndex(u"sName")).toString() + QStringLiteral("同学"); });
    GridColumn label;
    label.field = QStringLiteral("sLabel");
    const int labelColumn = g.addColumn(label);
    EXPECT_EQ(g.displayText(0, labelColumn), studentName(0) + QStringLiteral("同学"));
    EXPECT_FALSE(g.editCell(0, labelColumn));

    // A read-only grid edits nothing but the selection marks, which a space ticks and posts.
    ASSERT_TRUE(g.postEdit());
    g.setReadOnly(true);
    EXPECT_FALSE(g.editCell(6, h.col("sName")));
    g.setCurrentCell(6, h.col("Selected"));
    g.bandView(0)->setFocus();
    QTest::keyClick(g.bandView(0), Qt::Key_Space);
    EXPECT_TRUE(h.tableValue(6, "Selected").toBool());
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    QTest::keyClick(g.bandView(0), Qt::Key_Space);
    EXPECT_FALSE(h.tableValue(6, "Selected").toBool());

    // A row that cannot be posted (a name is required) keeps the focus and says why.
    g.setReadOnly(false);
    ASSERT_TRUE(g.editCell(7, h.col("sName")));
    typeInto(g.activeEditor(), QString());
    QTest::keyClick(g.activeEditor(), Qt::Key_Backspace);
    const int before = int(errors.count());
    EXPECT_FALSE(g.postEdit());
    EXPECT_EQ(errors.count(), before + 1);
    g.setCurrentCell(9, h.col("sName"));
    EXPECT_EQ(errors.count(), before + 2);
    EXPECT_EQ(g.currentRow(), 7);
    EXPECT_EQ(h.students.state(), DataSetState::Edit);
    h.students.cancel();
}

TEST(GridEditing, ArrowKeysMoveLikeASpreadsheetAndInsertDeleteAreThePages)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    const int name = h.col("sName"), score = h.col("nScore"), born = h.col("dBirthday");

    // Down: next row, same column, posting the row left behind.
    ASSERT_TRUE(g.editCell(0, score));
    typeInto(g.activeEditor(), QStringLiteral("70"));
    QTest::keyClick(g.activeEditor(), Qt::Key_Down);
    EXPECT_EQ(g.currentRow(), 1);
    EXPECT_EQ(g.currentColumn(), score);
    EXPECT_DOUBLE_EQ(h.tableValue(0, "nScore").toDouble(), 70);
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    QTest::keyClick(g.activeEditor(), Qt::Key_Up);
    EXPECT_EQ(g.currentRow(), 0);

    // On the last row Down goes to the next column; on the first row Up does.
    ASSERT_TRUE(g.editCell(29, score));
    QTest::keyClick(g.activeEditor(), Qt::Key_Down);
    EXPECT_EQ(g.currentRow(), 29);
    EXPECT_EQ(g.currentColumn(), born);
    ASSERT_TRUE(g.editCell(0, score));
    QTest::keyClick(g.activeEditor(), Qt::Key_Up);
    EXPECT_EQ(g.currentRow(), 0);
    EXPECT_EQ(g.currentColumn(), born);

    // Right at the end of the text and Left at its start leave the cell; inside they do not.
    ASSERT_TRUE(g.editCell(3, name));
    auto *line = editorOf<QLineEdit>(g);
    ASSERT_NE(line, nullptr);
    line->setCursorPosition(1);
    QTest::keyClick(line, Qt::Key_Right);
    EXPECT_EQ(g.currentColumn(), name);
    line->setCursorPosition(line->text().size());
    QTest::keyClick(line, Qt::Key_Right);
    EXPECT_EQ(g.currentColumn(), h.col("ClassCode"));
    ASSERT_TRUE(g.editCell(3, name));
    editorOf<QLineEdit>(g)->setCursorPosition(0);
    QTest::keyClick(g.activeEditor(), Qt::Key_Left);
    EXPECT_EQ(g.currentColumn(), h.col("Selected"));
    // Shift+Tab from a row's first editable cell goes to the last one of the row before.
    GridColumn marks = g.column(h.col("Selected"));
    marks.readOnly = true;
    g.updateColumn(h.col("Selected"), marks);
    ASSERT_TRUE(g.editCell(3, name));
    QTest::keyClick(g.activeEditor(), Qt::Key_Backtab);
    EXPECT_EQ(g.currentRow(), 2);
    EXPECT_EQ(g.currentColumn(), h.col("sMemo"));
    g.closeEditor();

    // Browsing, the arrow keys cross from the fixed band into the other and stop at the ends.
    ASSERT_TRUE(g.postEdit());
    g.setReadOnly(true);
    g.setCurrentCell(3, h.col("ClassCode"));
    QTest::keyClick(g.bandView(0), Qt::Key_Right);
    EXPECT_EQ(g.currentColumn(), h.col("iClassNo"));
    QTest::keyClick(g.bandView(1), Qt::Key_Left);
    EXPECT_EQ(g.currentColumn(), h.col("ClassCode"));
    g.setCurrentCell(3, h.col("Selected"));
    QTest::keyClick(g.bandView(0), Qt::Key_Left);
    EXPECT_EQ(g.currentColumn(), h.col("Selected"));
    EXPECT_EQ(g.currentRow(), 3);
    g.setReadOnly(false);

    // Grouped, Down passes over the group rows.
    ASSERT_TRUE(g.postEdit());
    g.groupBy(h.col("ClassCode"));
    const int lastOfFirstGroup = g.gridModel()->groupInfo(0).rowCount - 1;
    ASSERT_TRUE(g.editCell(lastOfFirstGroup, score));
    QTest::keyClick(g.activeEditor(), Qt::Key_Down);
    EXPECT_EQ(g.currentRow(), lastOfFirstGroup + 1);
    EXPECT_FALSE(g.gridModel()->isGroupRow(g.bandView(1)->currentIndex().row()));
    g.closeEditor();
    ASSERT_TRUE(g.postEdit());

    // Insert and Delete are the page's: the grid signals and changes nothing.
    QSignalSpy inserts(&g, &BandedGrid::insertRequested), deletes(&g, &BandedGrid::deleteRequested);
    g.setReadOnly(true);
    g.setCurrentCell(5, score);
    const qsizetype rows = h.students.recordCount();
    QTest::keyClick(g.bandView(1), Qt::Key_Insert);
    QTest::keyClick(g.bandView(1), Qt::Key_Delete);
    EXPECT_EQ(inserts.count(), 1);
    EXPECT_EQ(deletes.count(), 1);
    EXPECT_EQ(h.students.recordCount(), rows);
    EXPECT_EQ(h.students.changeCount(), 1);
}

TEST(GridEditing, EditingTheOrderOrGroupMovesTheRowAndTheFocusGoesOn)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    const int seat = h.col("iClassNo"), name = h.col("sName");

    // Sorted by seat: a seat changed to the largest moves its row to the end once posted by
    // Down, and the focus lands on the student who was below it.
    g.sortBy(seat, Qt::AscendingOrder);
    const QString first = g.displayText(0, name), second = g.displayText(1, name);
    ASSERT_TRUE(g.editCell(0, seat));
    typeInto(g.activeEditor(), QStringLiteral("99"));
    QTest::keyClick(g.activeEditor(), Qt::Key_Down);
    EXPECT_EQ(h.students.state(), DataSetState::Browse);
    EXPECT_EQ(g.displayText(29, name), first);
    EXPECT_EQ(g.displayText(29, seat), QStringLiteral("99"));
    EXPECT_EQ(g.currentRow(), 0);
    EXPECT_EQ(g.displayText(g.currentRow(), name), second);
    EXPECT_EQ(h.students.value(u"sName").toString(), second) << "the table's cursor is on the focused row";
    g.closeEditor();

    // Grouped by class: a student moved to another class by the combo leaves the group;
    // Down goes to the next student of the old group.
    g.clearSort();
    g.groupBy(h.col("ClassCode"));
    GridModel *m = g.gridModel();
    const QString moving = g.displayText(2, name), next = g.displayText(3, name);
    ASSERT_TRUE(g.editCell(2, h.col("ClassCode")));
    auto *combo = editorOf<QComboBox>(g);
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(combo->findText(QStringLiteral("初一(2)班")));
    QTest::keyClick(combo, Qt::Key_Down); // the list is closed: Down leaves the cell
    QApplication::processEvents();
    EXPECT_EQ(g.displayText(g.currentRow(), name), next);
    EXPECT_EQ(m->groupInfo(0).rowCount, 9);
    EXPECT_EQ(m->groupInfo(1).rowCount, 11);
    QStringList secondGroup;
    for (int r = m->groupInfo(1).firstOrdinal; r < m->groupInfo(1).firstOrdinal + 11; ++r) secondGroup.append(g.displayText(r, name));
    EXPECT_TRUE(secondGroup.contains(moving));
}
