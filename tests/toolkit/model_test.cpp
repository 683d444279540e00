#include "tables.h"
#include "toolkit/data/datasetmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumeko;
using lumeko::testing::studentPacket;

namespace {
// Qt's model tester checks every notification against the model's answers before and after; a
// notification out of step with the table fails the test.
struct Checked {
    DataSet table;
    DataSetModel model{&table};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

QStringList column(const DataSetModel &m, int c)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) out.append(m.data(m.index(r, c)).toString());
    return out;
}
} // namespace

TEST(DataSetModel, FollowsEveryKindOfChangeMadeThroughTheTable)
{
    Checked c;
    c.table.setData(studentPacket());
    EXPECT_EQ(c.model.rowCount(), 5);
    EXPECT_EQ(c.model.columnCount(), 7);
    c.table.fieldInfo(1).displayLabel = QStringLiteral("姓名");
    EXPECT_EQ(c.model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("姓名"));
    EXPECT_EQ(c.model.data(c.model.index(0, 6)).toString(), QStringLiteral("2000-05-01"));
    EXPECT_EQ(c.model.data(c.model.index(1, 5)).toString(), QStringLiteral("√"));

    c.table.moveTo(2);
    c.table.insert();
    c.table.setValue(u"sCode", "{40}");
    c.table.setValue(u"sName", QStringLiteral("新"));
    EXPECT_EQ(c.model.rowCount(), 6);
    EXPECT_EQ(c.model.data(c.model.index(2, 1)).toString(), QStringLiteral("新")); // the edit buffer shows
    c.table.post();
    c.table.setIndexFieldNames(QStringLiteral("iClassNo;sName"));
    c.table.first();
    c.table.edit();
    c.table.setValue(u"iClassNo", 99); // moves to the end on post
    c.table.post();
    EXPECT_EQ(column(c.model, 3).last(), QStringLiteral("99"));
    c.table.setFilter(QStringLiteral("ClassCode='0701'"));
    c.table.setFiltered(true);
    EXPECT_EQ(c.model.rowCount(), 3);
    c.table.first();
    c.table.deleteRecord();
    EXPECT_EQ(c.model.rowCount(), 2);
    c.table.disableControls();
    c.table.setFiltered(false);
    c.table.append();
    c.table.setValue(u"sCode", "{41}");
    c.table.setValue(u"sName", QStringLiteral("后"));
    c.table.post();
    c.table.enableControls();
    EXPECT_EQ(c.model.rowCount(), 6);
    c.table.cancelUpdates();
    EXPECT_EQ(c.model.rowCount(), 5);
    c.table.close();
    EXPECT_EQ(c.model.rowCount(), 0);
    EXPECT_EQ(c.model.columnCount(), 0);
}

TEST(DataSetModel, EditsThroughTheModelGoToTheTableAndBadValuesAreRefused)
{
    Checked c;
    c.table.setData(studentPacket());
    c.table.addField({QStringLiteral("Label"), FieldType::Text, 0, 0}, FieldKind::Calculated,
                     [](const DataSet &d, Bookmark s) { return d.slotValue(s, 1); });
    c.table.fieldInfo(0).visible = false;
    c.table.setData(studentPacket()); // the columns are mapped again on reset
    EXPECT_EQ(c.model.columnCount(), 7);
    EXPECT_EQ(c.model.fieldOfColumn(0), 1);
    EXPECT_FALSE(c.model.flags(c.model.index(0, 6)) & Qt::ItemIsEditable); // calculated
    EXPECT_TRUE(c.model.flags(c.model.index(0, 0)) & Qt::ItemIsEditable);

    QSignalSpy changed(&c.model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(c.model.setData(c.model.index(3, 2), 7));
    EXPECT_EQ(c.table.recNo(), 3);
    EXPECT_EQ(c.table.state(), DataSetState::Edit);
    EXPECT_GE(changed.count(), 1);
    EXPECT_FALSE(c.model.setData(c.model.index(3, 2), QStringLiteral("七")));
    EXPECT_FALSE(c.model.lastError().isEmpty());
    EXPECT_TRUE(c.model.setData(c.model.index(4, 0), QStringLiteral("改")));  // moving posts row 3
    EXPECT_EQ(c.table.valueAt(3, 3).toLongLong(), 7);
    c.table.post();
    EXPECT_EQ(c.table.changeCount(), 2);
}
