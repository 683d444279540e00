#include "tables.h"

#include <gtest/gtest.h>

using namespace lumeko;
using lumeko::testing::codes;
using lumeko::testing::studentPacket;

namespace {
void rename(DataSet &t, const QString &code, const QString &name)
{
    ASSERT_TRUE(t.locate(QStringLiteral("sCode"), {code}));
    t.edit();
    t.setValue(u"sName", name);
    t.post();
}
} // namespace

TEST(ChangeLog, EachRowHasItsStatusAndItsOldValues)
{
    DataSet t;
    t.setData(studentPacket());
    EXPECT_EQ(t.changeCount(), 0);
    rename(t, "{02}", QStringLiteral("李思"));
    EXPECT_EQ(t.updateStatus(), RowStatus::Modified);
    EXPECT_EQ(t.fieldByName(u"sName").oldValue().toString(), QStringLiteral("李四"));
    EXPECT_EQ(t.fieldByName(u"sName").value().toString(), QStringLiteral("李思"));
    rename(t, "{02}", QStringLiteral("李斯")); // a second edit keeps the loaded value as old
    EXPECT_EQ(t.fieldByName(u"sName").oldValue().toString(), QStringLiteral("李四"));
    EXPECT_EQ(t.changeCount(), 1);

    t.append();
    EXPECT_EQ(t.changeCount(), 1); // not a change until posted
    t.setValue(u"sCode", "{10}");
    t.setValue(u"sName", QStringLiteral("新生"));
    t.post();
    EXPECT_EQ(t.updateStatus(), RowStatus::Inserted);
    EXPECT_FALSE(t.fieldByName(u"sName").oldValue().isValid());
    ASSERT_TRUE(t.locate(QStringLiteral("sCode"), {"{04}"}));
    t.deleteRecord();
    EXPECT_EQ(t.changeCount(), 3);

    const wire::ChangePacket delta = t.delta();
    ASSERT_EQ(delta.rows.size(), 3);
    EXPECT_EQ(delta.rows[0].status, RowStatus::Modified);
    EXPECT_EQ(delta.rows[0].oldValues[1].toString(), QStringLiteral("李四"));
    EXPECT_EQ(delta.rows[0].newValues[1].toString(), QStringLiteral("李斯"));
    EXPECT_EQ(delta.rows[0].oldValues[0].toString(), QStringLiteral("{02}"));
    EXPECT_EQ(delta.rows[1].status, RowStatus::Deleted);
    EXPECT_EQ(delta.rows[1].oldValues[1].toString(), QStringLiteral("赵六"));
    EXPECT_TRUE(delta.rows[1].newValues.isEmpty());
    EXPECT_EQ(delta.rows[2].status, RowStatus::Inserted);
    EXPECT_TRUE(delta.rows[2].oldValues.isEmpty());
    EXPECT_FALSE(delta.rows[2].newValues[3].isValid()); // iClassNo never set: null
    EXPECT_NO_THROW(delta.validate());
}

TEST(ChangeLog, SequencesThatUndoThemselvesLeaveNoChange)
{
    DataSet t;
    t.setData(studentPacket());
    // inserted, then deleted
    t.append();
    t.setValue(u"sCode", "{11}");
    t.setValue(u"sName", QStringLiteral("过客"));
    t.post();
    t.deleteRecord();
    EXPECT_EQ(t.changeCount(), 0);
    // modified, then edited back to the loaded value
    rename(t, "{01}", QStringLiteral("张叁"));
    EXPECT_EQ(t.changeCount(), 1);
    rename(t, "{01}", QStringLiteral("张三"));
    EXPECT_EQ(t.changeCount(), 0);
    EXPECT_EQ(t.updateStatus(), RowStatus::Unmodified);
    // an edit that posts the same value
    t.edit();
    t.setValue(u"Score", 88.5);
    t.post();
    EXPECT_EQ(t.changeCount(), 0);
    EXPECT_TRUE(t.delta().rows.isEmpty());
}

TEST(ChangeLog, AModifiedRowThatIsDeletedIsSentWithItsLoadedValues)
{
    DataSet t;
    t.setData(studentPacket());
    rename(t, "{03}", QStringLiteral("王伍"));
    t.deleteRecord();
    const wire::ChangePacket delta = t.delta();
    ASSERT_EQ(delta.rows.size(), 1);
    EXPECT_EQ(delta.rows[0].status, RowStatus::Deleted);
    EXPECT_EQ(delta.rows[0].oldValues[1].toString(), QStringLiteral("王五"));
}

TEST(ChangeLog, RevertAllRestoresLoadedRowsInTheirPlaces)
{
    DataSet t;
    t.setData(studentPacket());
    rename(t, "{01}", QStringLiteral("甲"));
    ASSERT_TRUE(t.locate(QStringLiteral("sCode"), {"{03}"}));
    t.deleteRecord();
    t.first();
    t.deleteRecord(); // the modified {01}
    t.insert();
    t.setValue(u"sCode", "{12}");
    t.setValue(u"sName", QStringLiteral("乙"));
    t.post();
    EXPECT_EQ(t.changeCount(), 3);
    t.cancelUpdates();
    EXPECT_EQ(t.changeCount(), 0);
    EXPECT_EQ(codes(t), QStringList({"{01}", "{02}", "{03}", "{04}", "{05}"}));
    t.first();
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("张三"));
    EXPECT_EQ(t.data(), studentPacket());
}

TEST(ChangeLog, RevertOneRowLeavesTheOthers)
{
    DataSet t;
    t.setData(studentPacket());
    rename(t, "{01}", QStringLiteral("甲"));
    rename(t, "{02}", QStringLiteral("乙"));
    t.revertRecord();
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("李四"));
    EXPECT_EQ(t.changeCount(), 1);
    t.append();
    t.setValue(u"sCode", "{13}");
    t.setValue(u"sName", QStringLiteral("丙"));
    t.post();
    t.revertRecord(); // an inserted row disappears
    EXPECT_EQ(t.recordCount(), 5);
    EXPECT_EQ(t.changeCount(), 1);
    EXPECT_EQ(t.delta().rows.first().newValues[1].toString(), QStringLiteral("甲"));
}

TEST(ChangeLog, AcceptingMakesTheCurrentStateTheLoadedOne)
{
    DataSet t;
    t.setData(studentPacket());
    rename(t, "{01}", QStringLiteral("甲"));
    t.last();
    t.deleteRecord();
    t.append();
    t.setValue(u"sCode", "{14}");
    t.setValue(u"sName", QStringLiteral("丁"));
    t.mergeChangeLog(); // posts the pending insert first
    EXPECT_EQ(t.changeCount(), 0);
    EXPECT_EQ(t.recordCount(), 5);
    ASSERT_TRUE(t.locate(QStringLiteral("sCode"), {"{01}"}));
    EXPECT_EQ(t.updateStatus(), RowStatus::Unmodified);
    EXPECT_EQ(t.fieldByName(u"sName").oldValue().toString(), QStringLiteral("甲"));
    // A later revert goes back to the accepted state, not to the first load.
    rename(t, "{01}", QStringLiteral("戊"));
    t.cancelUpdates();
    ASSERT_TRUE(t.locate(QStringLiteral("sCode"), {"{01}"}));
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("甲"));
    EXPECT_EQ(t.recordCount(), 5);
}

TEST(ChangeLog, ClearedSelectionMarksAreChanges)
{
    DataSet t;
    t.setData(studentPacket());
    // Clearing the marks before a save sends those rows as modified.
    for (t.first(); !t.eof(); t.next()) {
        if (!t.fieldByName(u"Selected").asBoolean()) continue;
        t.edit();
        t.setValue(u"Selected", false);
        t.post();
    }
    EXPECT_EQ(t.changeCount(), 2);
    const wire::ChangePacket delta = t.delta();
    EXPECT_EQ(delta.count(RowStatus::Modified), 2);
    EXPECT_EQ(delta.rows[0].oldValues[0].toString(), QStringLiteral("{02}"));
    EXPECT_EQ(delta.rows[1].oldValues[0].toString(), QStringLiteral("{04}"));
    EXPECT_TRUE(delta.rows[1].oldValues[5].toBool());
    EXPECT_FALSE(delta.rows[1].newValues[5].toBool());
}
