#include "tables.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lumeko;
using lumeko::testing::codes;
using lumeko::testing::names;
using lumeko::testing::studentPacket;

TEST(DataSet, FieldsAreFoundWithoutRegardToCaseAndReadTheCurrentRow)
{
    DataSet t;
    EXPECT_THROW(t.value(u"sName"), DataError); // not open
    t.setData(studentPacket());
    EXPECT_EQ(t.fieldCount(), 7);
    EXPECT_EQ(t.fieldIndex(u"SNAME"), 1);
    EXPECT_EQ(t.fieldIndex(u"nosuch"), -1);
    EXPECT_THROW(t.fieldByName(u"nosuch"), DataError);
    EXPECT_FALSE(t.findField(u"nosuch").has_value());
    t.first();
    EXPECT_EQ(t.fieldByName(u"sname").asString(), QStringLiteral("张三"));
    EXPECT_EQ(t.fieldByName(u"iClassNo").asInteger(), 3);
    EXPECT_DOUBLE_EQ(t.fieldByName(u"Score").asFloat(), 88.5);
    EXPECT_EQ(t.fieldByName(u"dBirthday").asDate(), QDate(2000, 5, 1));
    EXPECT_EQ(t.fieldByName(u"Selected").asString(), QStringLiteral("False"));
    t.next();
    t.next();
    EXPECT_TRUE(t.fieldByName(u"Score").isNull());
    EXPECT_EQ(t.fieldByName(u"Score").asString(), QString());
    EXPECT_THROW(t.fieldByName(u"sName").asInteger(), DataError);
}

TEST(DataSet, CursorWalksTheRowsWithBofAndEof)
{
    DataSet t;
    t.setData(studentPacket());
    QStringList walked;
    for (t.first(); !t.eof(); t.next()) walked.append(t.value(u"sCode").toString());
    EXPECT_EQ(walked, QStringList({"{01}", "{02}", "{03}", "{04}", "{05}"}));
    EXPECT_EQ(t.recNo(), 4); // eof leaves the cursor on the last row
    QStringList back;
    for (t.last(); !t.bof(); t.prior()) back.append(t.value(u"sCode").toString());
    EXPECT_EQ(back, QStringList({"{05}", "{04}", "{03}", "{02}", "{01}"}));
    EXPECT_TRUE(t.moveTo(2));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{03}"));
    EXPECT_FALSE(t.moveTo(5));
    EXPECT_FALSE(t.moveTo(-1));
    EXPECT_EQ(t.recNo(), 2);

    const Bookmark b = t.bookmark();
    t.first();
    EXPECT_TRUE(t.gotoBookmark(b));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{03}"));
    t.deleteRecord();
    EXPECT_FALSE(t.bookmarkValid(b));
    EXPECT_FALSE(t.gotoBookmark(b));

    DataSet empty;
    empty.createTable(studentPacket().fields());
    empty.first();
    EXPECT_TRUE(empty.bof());
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(empty.recNo(), -1);
    EXPECT_FALSE(empty.value(u"sName").isValid());
}

TEST(DataSet, EditingNeedsEditModeAndPostOrCancelEndsIt)
{
    DataSet t;
    t.setData(studentPacket());
    t.first();
    EXPECT_THROW(t.setValue(u"sName", QStringLiteral("甲")), DataError); // browse state
    t.edit();
    EXPECT_EQ(t.state(), DataSetState::Edit);
    t.setValue(u"sName", QStringLiteral("张叁"));
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("张叁"));       // the edit buffer
    EXPECT_EQ(t.valueAt(0, 1).toString(), QStringLiteral("张叁"));         // what a grid shows
    t.cancel();
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("张三"));
    EXPECT_EQ(t.changeCount(), 0);

    t.edit();
    EXPECT_THROW(t.setValue(u"iClassNo", QStringLiteral("三")), DataError);  // not an integer
    EXPECT_THROW(t.setValue(u"ClassCode", QStringLiteral("07011")), DataError); // longer than 4
    t.setValue(u"iClassNo", QStringLiteral("9"));
    t.next(); // moving the cursor posts
    EXPECT_EQ(t.state(), DataSetState::Browse);
    t.first();
    EXPECT_EQ(t.value(u"iClassNo").toLongLong(), 9);

    // A required field that is empty keeps the row in edit mode.
    t.edit();
    t.setValue(u"sName", QVariant());
    EXPECT_THROW(t.post(), DataError);
    EXPECT_EQ(t.state(), DataSetState::Edit);
    t.cancel();
    EXPECT_EQ(t.value(u"sName").toString(), QStringLiteral("张三"));
}

TEST(DataSet, InsertPutsTheRowBeforeTheCursorAndAppendAtTheEnd)
{
    DataSet t;
    t.setData(studentPacket());
    t.moveTo(1);
    t.insert();
    EXPECT_EQ(t.state(), DataSetState::Insert);
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.recordCount(), 6);
    t.setValue(u"sCode", "{06}");
    t.setValue(u"sName", QStringLiteral("钱七"));
    t.post();
    EXPECT_EQ(codes(t), QStringList({"{01}", "{06}", "{02}", "{03}", "{04}", "{05}"}));
    t.first();
    t.insert(); // before the first row
    t.setValue(u"sCode", "{07}");
    t.setValue(u"sName", QStringLiteral("孙八"));
    t.post();
    t.append();
    t.setValue(u"sCode", "{08}");
    t.setValue(u"sName", QStringLiteral("周九"));
    t.post();
    EXPECT_EQ(codes(t), QStringList({"{07}", "{01}", "{06}", "{02}", "{03}", "{04}", "{05}", "{08}"}));
    EXPECT_EQ(t.data().rowCount(), 8);
    EXPECT_EQ(t.data().value(1, 0).toString(), QStringLiteral("{01}")); // natural order in the image

    t.moveTo(3);
    t.insert();
    t.cancel(); // a cancelled insert leaves nothing behind
    EXPECT_EQ(t.recordCount(), 8);
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{02}"));

    // Many inserts at the same place keep their order (natural ranks are split, then renumbered).
    DataSet many;
    many.setData(studentPacket());
    for (int i = 0; i < 70; ++i) {
        many.moveTo(1);
        many.insert();
        many.setValue(u"sCode", QString::number(i));
        many.setValue(u"sName", QStringLiteral("新生"));
        many.post();
    }
    const QStringList order = codes(many);
    EXPECT_EQ(order.first(), QStringLiteral("{01}"));
    EXPECT_EQ(order[1], QStringLiteral("69"));
    EXPECT_EQ(order[70], QStringLiteral("0"));
    EXPECT_EQ(order[71], QStringLiteral("{02}"));
}

TEST(DataSet, DeleteMovesToTheNextRowAndAtTheEndSetsEof)
{
    DataSet t;
    t.setData(studentPacket());
    // The usual loop: delete the rows of class 0702, step over the others.
    t.first();
    while (!t.eof()) {
        if (t.value(u"ClassCode").toString() == u"0702") t.deleteRecord();
        else t.next();
    }
    EXPECT_EQ(codes(t), QStringList({"{01}", "{03}", "{05}"}));
    t.last();
    t.deleteRecord();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{03}"));
    t.deleteRecord();
    t.deleteRecord();
    EXPECT_TRUE(t.isEmpty());
    EXPECT_THROW(t.deleteRecord(), DataError);
    EXPECT_EQ(t.changeCount(), 5);
}

TEST(DataSet, InternalAndCalculatedFieldsStayWithThePageButNeverTravel)
{
    DataSet t;
    t.addField({QStringLiteral("Mark"), FieldType::Boolean, 0, 0}, FieldKind::Internal);
    EXPECT_THROW(t.addField({QStringLiteral("mark"), FieldType::Boolean, 0, 0}), DataError);
    EXPECT_THROW(t.addField({QStringLiteral("Bad"), FieldType::Text, 0, 0}, FieldKind::Calculated), DataError);
    t.setData(studentPacket());
    t.addField({QStringLiteral("Label"), FieldType::Text, 0, 0}, FieldKind::Calculated, [](const DataSet &d, Bookmark s) {
        return d.slotValue(s, d.fieldIndex(u"ClassCode")).toString() + u'-' + d.slotValue(s, d.fieldIndex(u"iClassNo")).toString();
    });
    EXPECT_EQ(t.fieldCount(), 9);
    EXPECT_EQ(t.fieldIndex(u"Mark"), 7); // after the loaded fields
    t.first();
    EXPECT_EQ(t.value(u"Label").toString(), QStringLiteral("0701-3"));
    t.edit();
    t.setValue(u"Mark", true);
    EXPECT_THROW(t.setValue(u"Label", QStringLiteral("x")), DataError);
    t.post();
    EXPECT_EQ(t.changeCount(), 0); // an internal mark is no change
    t.edit();
    t.setValue(u"iClassNo", 12);
    t.post();
    EXPECT_EQ(t.value(u"Label").toString(), QStringLiteral("0701-12")); // recomputed on post
    EXPECT_TRUE(t.value(u"Mark").toBool());
    const wire::ChangePacket delta = t.delta();
    EXPECT_EQ(delta.fields.size(), 7);
    EXPECT_EQ(delta.fieldIndex(u"Mark"), -1);
    EXPECT_EQ(t.data().fieldCount(), 7);

    // Reloading keeps the page's own fields, empty again.
    t.setData(studentPacket());
    EXPECT_EQ(t.fieldCount(), 9);
    t.first();
    EXPECT_FALSE(t.value(u"Mark").isValid());
    EXPECT_EQ(t.value(u"Label").toString(), QStringLiteral("0701-3"));
}

TEST(DataSet, ViewsAreToldWhatChangedAndDisabledViewsOnceAtTheEnd)
{
    DataSet t;
    t.setData(studentPacket());
    QSignalSpy inserted(&t, &DataSet::rowsInserted);
    QSignalSpy removed(&t, &DataSet::rowRemoved);
    QSignalSpy changed(&t, &DataSet::rowChanged);
    QSignalSpy reset(&t, &DataSet::reset);
    t.moveTo(2);
    t.edit();
    t.setValue(u"Score", 70);
    t.post();
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toLongLong(), 2);
    t.append();
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.last().at(0).toLongLong(), 5);
    t.cancel();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.last().at(0).toLongLong(), 5);

    const int resetsBefore = reset.count();
    const int changesBefore = changed.count();
    t.disableControls();
    t.disableControls(); // nested
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.setValue(u"Selected", true);
        t.post();
    }
    t.enableControls();
    EXPECT_EQ(reset.count(), resetsBefore);
    EXPECT_EQ(changed.count(), changesBefore);
    t.enableControls();
    EXPECT_EQ(reset.count(), resetsBefore + 1);
    EXPECT_EQ(changed.count(), changesBefore);
    EXPECT_FALSE(t.controlsDisabled());
}

TEST(DataSet, ACloneIsASnapshotThatDoesNotTouchTheSource)
{
    DataSet t;
    t.setData(studentPacket());
    t.setIndexFieldNames(QStringLiteral("iClassNo"));
    t.first();
    t.edit();
    t.setValue(u"sName", QStringLiteral("改名"));
    t.post();
    const QStringList before = names(t);
    t.append();
    t.setValue(u"sCode", "{09}");
    t.setValue(u"sName", QStringLiteral("未保存"));

    DataSet copy;
    copy.cloneFrom(t);
    EXPECT_EQ(copy.recordCount(), 5); // the row still being inserted is not part of it
    EXPECT_EQ(copy.changeCount(), 1);
    EXPECT_EQ(copy.indexFieldNames(), QStringLiteral("iClassNo"));
    EXPECT_EQ(names(copy), before);
    copy.first();
    copy.deleteRecord();
    copy.first();
    copy.edit();
    copy.setValue(u"sName", QStringLiteral("副本"));
    copy.post();
    EXPECT_EQ(t.state(), DataSetState::Insert);
    t.post();
    EXPECT_EQ(t.recordCount(), 6);
    EXPECT_EQ(t.changeCount(), 2);
    EXPECT_FALSE(names(t).contains(QStringLiteral("副本")));
    EXPECT_TRUE(names(t).contains(QStringLiteral("改名")));
}
