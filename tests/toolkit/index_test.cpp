#include "tables.h"

#include <gtest/gtest.h>

using namespace lumeko;
using lumeko::testing::codes;
using lumeko::testing::studentPacket;

TEST(Index, SortingIsStableAndHonoursDescendingFields)
{
    DataSet t;
    t.setData(studentPacket());
    t.setIndexFieldNames(QStringLiteral("sName"));
    // The two 张三 keep their loaded order; names compare by character code.
    const QStringList byName = codes(t);
    EXPECT_LT(byName.indexOf("{01}"), byName.indexOf("{05}"));
    t.setIndexFieldNames(QStringLiteral("ClassCode;iClassNo"));
    EXPECT_EQ(codes(t), QStringList({"{05}", "{03}", "{01}", "{02}", "{04}"}));
    t.addIndex({QStringLiteral("printidx"), {"ClassCode", "iClassNo"}, {"iClassNo"}});
    t.setIndexName(QStringLiteral("printidx"));
    EXPECT_EQ(codes(t), QStringList({"{01}", "{03}", "{05}", "{04}", "{02}"}));
    EXPECT_TRUE(t.indexFieldNames().isEmpty());
    t.addIndex({QStringLiteral("byScore"), {"Score"}, {"Score"}});
    t.setIndexName(QStringLiteral("BYSCORE"));
    EXPECT_EQ(codes(t), QStringList({"{02}", "{01}", "{05}", "{04}", "{03}"})); // null last when descending
    t.addIndex({QStringLiteral("byScore"), {"Score"}, {}}); // replaced in place
    EXPECT_EQ(codes(t), QStringList({"{03}", "{04}", "{05}", "{01}", "{02}"})); // null first ascending
    t.deleteIndex(QStringLiteral("byScore"));
    EXPECT_EQ(codes(t), QStringList({"{01}", "{02}", "{03}", "{04}", "{05}"})); // back to natural order
    EXPECT_THROW(t.deleteIndex(QStringLiteral("byScore")), DataError);
    EXPECT_THROW(t.setIndexName(QStringLiteral("nosuch")), DataError);
    EXPECT_THROW(t.setIndexFieldNames(QStringLiteral("sName;nosuch")), DataError);
    EXPECT_THROW(t.addIndex({QStringLiteral("bad"), {"sName"}, {"Score"}}), DataError);
}

TEST(Index, TiesKeepNaturalOrderAmongManyRows)
{
    wire::DataPacket p({{QStringLiteral("n"), FieldType::Integer, 0, 0}, {QStringLiteral("k"), FieldType::Integer, 0, 0}});
    for (int i = 0; i < 2000; ++i) p.appendRow({i, (i * 7919) % 5});
    DataSet t;
    t.setData(p);
    t.setIndexFieldNames(QStringLiteral("k"));
    qint64 lastK = -1, lastN = -1;
    for (qsizetype r = 0; r < t.recordCount(); ++r) {
        const qint64 k = t.valueAt(r, 1).toLongLong(), n = t.valueAt(r, 0).toLongLong();
        ASSERT_GE(k, lastK);
        if (k == lastK) {
            ASSERT_GT(n, lastN) << "ties out of loaded order at row " << r;
        }
        lastK = k;
        lastN = n;
    }
}

TEST(Index, PostedRowsMoveToTheirPlaceAndTheCursorFollows)
{
    DataSet t;
    t.setData(studentPacket());
    t.setIndexFieldNames(QStringLiteral("iClassNo"));
    t.first(); // {02} or {05}, seat 1
    EXPECT_EQ(t.value(u"iClassNo").toInt(), 1);
    t.edit();
    t.setValue(u"iClassNo", 9);
    t.post();
    EXPECT_EQ(t.recNo(), 4);
    EXPECT_EQ(t.value(u"iClassNo").toInt(), 9);
    t.insert();
    t.setValue(u"sCode", "{30}");
    t.setValue(u"sName", QStringLiteral("插班"));
    t.setValue(u"iClassNo", 0);
    t.post();
    EXPECT_EQ(t.recNo(), 0);
    EXPECT_EQ(codes(t).first(), QStringLiteral("{30}"));
    // Inserted under an index, the row's natural place is the end of the table.
    t.setIndexFieldNames(QString());
    EXPECT_EQ(codes(t).last(), QStringLiteral("{30}"));
}

TEST(Index, LocateAndFindKeyOnSeveralFields)
{
    DataSet t;
    t.setData(studentPacket());
    EXPECT_TRUE(t.locate(QStringLiteral("sName;ClassCode"), {QStringLiteral("张三"), "0701"}));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{01}"));
    EXPECT_TRUE(t.locate(QStringLiteral("sName;iClassNo"), {QStringLiteral("张三"), "1"}));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{05}"));
    EXPECT_FALSE(t.locate(QStringLiteral("sName;iClassNo"), {QStringLiteral("张三"), 2}));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{05}")); // a failed search does not move
    EXPECT_FALSE(t.locate(QStringLiteral("iClassNo"), {QStringLiteral("abc")}));
    EXPECT_TRUE(t.locate(QStringLiteral("Score"), {QVariant()}));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{03}"));
    EXPECT_TRUE(t.locate(QStringLiteral("sName"), {QStringLiteral("赵")}, LocatePartialKey));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{04}"));
    EXPECT_THROW(t.locate(QStringLiteral("sName;iClassNo"), {QStringLiteral("张三")}), DataError);

    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 0, 0}, {QStringLiteral("imgtype"), FieldType::Text, 0, 0}});
    p.appendRow({"{B}", "1"});
    p.appendRow({"{A}", "1"});
    p.appendRow({"{B}", "0"});
    p.appendRow({"{A}", "0"});
    DataSet photos;
    photos.setData(p);
    EXPECT_THROW(photos.findKey({"{A}"}), DataError); // no active index
    photos.setIndexFieldNames(QStringLiteral("sCode;imgtype"));
    EXPECT_TRUE(photos.findKey({"{B}", "0"}));
    EXPECT_EQ(photos.recNo(), 2);
    EXPECT_TRUE(photos.findKey({"{B}"})); // the first row of that key
    EXPECT_EQ(photos.recNo(), 2);
    EXPECT_FALSE(photos.findKey({"{A}", "2"}));
    EXPECT_FALSE(photos.findKey({"{C}"}));
    EXPECT_THROW(photos.findKey({"{A}", "0", "x"}), DataError);
    photos.addIndex({QStringLiteral("desc"), {"sCode", "imgtype"}, {"sCode"}});
    photos.setIndexName(QStringLiteral("desc"));
    EXPECT_TRUE(photos.findKey({"{A}", "1"}));
    EXPECT_EQ(photos.recNo(), 3);
}
