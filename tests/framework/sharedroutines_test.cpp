// The shared routines: log pieces, the description of pending changes, school years, sort
// indexes and the digit filter.

#include "framework/sharedroutines.h"

#include "toolkit/data/dataset.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

TEST(LogPieces, LongTextsGoInNumberedPiecesThatNeverEndBeforeAWideCharacter)
{
    EXPECT_EQ(logPieces(QString(98, u'a')), QStringList{QString(98, u'a')});
    EXPECT_EQ(logPieces(QString(99, u'a')), (QStringList{"(1)" + QString(94, u'a'), "(2)" + QString(5, u'a')}));
    const QString chinese(200, QChar(0x6539));
    EXPECT_EQ(logPieces(chinese), (QStringList{"(1)" + QString(93, QChar(0x6539)), "(2)" + QString(93, QChar(0x6539)),
                                               "(3)" + QString(14, QChar(0x6539))}));
    // Between 95 and 98 characters left after a piece: the rest goes unnumbered.
    const QStringList p = logPieces(QString(94 + 96, u'b'));
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(p[1], QString(96, u'b'));
    // The 94th character decides: here it is Chinese, so the first piece holds 93.
    const QString mixed = QString(93, u'x') + QChar(0x4E2D) + QString(10, u'y');
    EXPECT_EQ(logPieces(mixed).first(), "(1)" + QString(93, u'x'));
    EXPECT_TRUE(logPieces(QString()).isEmpty());
}

class DescribeChangesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wire::DataPacket p({{"sCode", wire::FieldType::Text, 0, 0}, {"sName", wire::FieldType::Text, 0, 0},
                            {"iClassNo", wire::FieldType::Integer, 0, 0}, {"sMemo", wire::FieldType::Text, 0, 0}});
        p.appendRow({"A", QStringLiteral("张三"), 1, QVariant()});
        p.appendRow({"B", QStringLiteral("李四"), 2, QStringLiteral("班长")});
        p.appendRow({"C", QStringLiteral("王五"), 3, QVariant()});
        t.setData(p);
        // The dialogs mark the fields that have a grid column, with its caption.
        for (const char *f : {"sName", "iClassNo"}) {
            FieldInfo &info = t.fieldInfo(t.fieldIndex(QString::fromLatin1(f)));
            info.tag = 2;
            info.displayLabel = f[0] == 's' ? QStringLiteral("姓名") : QStringLiteral("座号");
        }
    }
    DataSet t;
};

TEST_F(DescribeChangesTest, EachChangedRowIsNamedWithItsLoggedFields)
{
    EXPECT_EQ(DescribeChanges(t), QStringLiteral("编辑 3 条数据"));

    t.first();
    t.edit();
    t.setValue(u"iClassNo", 7);
    t.setValue(u"sMemo", QStringLiteral("不记录"));
    t.post();
    t.last();
    t.deleteRecord();
    t.appendRecord({"D", QStringLiteral("赵六"), QVariant(), QVariant()});
    EXPECT_EQ(DescribeChanges(t), QStringLiteral("编辑行:姓名=张三;座号(1->7);删除行:姓名=王五;座号=3;增加行:姓名=赵六;"));
}

TEST(SchoolYear, RunsFromItsStartYearToTheNext)
{
    EXPECT_EQ(SchoolYearText(2009), QStringLiteral("2009~2010学年"));
    EXPECT_EQ(SchoolYearText(2026), QStringLiteral("2026~2027学年"));
}

TEST(SortIndex, AnIndexOnTheSameFieldsIsReusedWhateverItsDirection)
{
    DataSet t;
    wire::DataPacket p({{"sName", wire::FieldType::Text, 0, 0}, {"iClassNo", wire::FieldType::Integer, 0, 0}});
    for (int i : {2, 3, 1}) p.appendRow({QStringLiteral("学生%1").arg(i), i});
    t.setData(p);
    SetSortIndex(t, "iClassNo", true);
    EXPECT_EQ(t.indexName(), "desc0");
    t.first();
    EXPECT_EQ(t.value(u"iClassNo").toInt(), 3);
    SetSortIndex(t, "sName", false);
    EXPECT_EQ(t.indexName(), "asc1");
    SetSortIndex(t, "iClassNo", false);
    EXPECT_EQ(t.indexName(), "desc0") << "the descending index on the same field is reused";
    EXPECT_EQ(t.indexDefs().size(), 2);
}

TEST(DigitsOnly, KeepsDigitsAndPointsInOrder)
{
    EXPECT_EQ(DigitsOnly("a1.5b2"), "1.52");
    EXPECT_EQ(DigitsOnly(QStringLiteral("１２abc")), "") << "full-width digits are not digits here";
    EXPECT_EQ(DigitsOnly(QString()), "");
}

} // namespace
