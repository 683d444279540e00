#include "uitesting.h"

#include "toolkit/data/dataset.h"
#include "toolkit/report/ui/sampledata.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::report;

namespace {

QStringList fieldNames(DataSet *t)
{
    QStringList out;
    for (int i = 0; i < t->fieldCount(); ++i) out << t->fieldInfo(i).def.name;
    return out;
}

ReportObject memo(const QString &text, double x = 0)
{
    ReportObject o;
    o.rect = QRectF(x, 0, 200, 20);
    o.text = text;
    return o;
}

Band band(BandKind kind, const QString &table, QList<ReportObject> objects)
{
    Band b;
    b.kind = kind;
    b.table = table;
    b.objects = std::move(objects);
    return b;
}

} // namespace

TEST(SampleData, MakesATableOfEveryNamedTableWithTheFieldsTheExpressionsUse)
{
    ReportTemplate t;
    Band group = band(BandKind::GroupHeader, {}, {memo(QStringLiteral("班级 [ClassCode] [ClassTitle]"))});
    group.groupField = QStringLiteral("ClassCode");
    t.bands = {band(BandKind::PageHeader, {}, {memo(QStringLiteral("[SchoolName] [cdsData.\"sNO\"] [cdsSchool.\"sFullName\"] 第[PAGE#]页 共[TOTALPAGES]页 [DATE]"))}),
               group,
               band(BandKind::MasterData, QStringLiteral("cdsData"), {memo(QStringLiteral("[sName]")), memo(QStringLiteral("[ iClassNo ][LINE#]"), 200)}),
               band(BandKind::DetailData, QStringLiteral("cdsFamily"), {memo(QStringLiteral("[sRelation]：[CDSFAMILY.\"sParentName\"]"))}),
               band(BandKind::ReportSummary, {}, {memo(QStringLiteral("合计 [SUM(cdsData.\"fAvg\")] [SUM(iClassNo)] [COUNT()] [AppTitle] [12]"))})};

    SampleData data(t);
    EXPECT_EQ(data.tableNames(), (QStringList{QStringLiteral("cdsData"), QStringLiteral("cdsFamily"), QStringLiteral("cdsSchool")}));
    // Plain names are fields in data and group bands and variables elsewhere; built-ins, numbers
    // and the table spelled in other letters add nothing.
    EXPECT_EQ(fieldNames(data.table(QStringLiteral("cdsData"))),
              (QStringList{QStringLiteral("ClassCode"), QStringLiteral("sNO"), QStringLiteral("ClassTitle"), QStringLiteral("sName"),
                           QStringLiteral("iClassNo"), QStringLiteral("fAvg")}));
    EXPECT_EQ(fieldNames(data.table(QStringLiteral("CDSFAMILY"))), (QStringList{QStringLiteral("sRelation"), QStringLiteral("sParentName")}));
    EXPECT_EQ(fieldNames(data.table(QStringLiteral("cdsSchool"))), QStringList{QStringLiteral("sFullName")});
    EXPECT_EQ(data.table(QStringLiteral("cdsTeachers")), nullptr);

    DataSet *master = data.table(QStringLiteral("cdsData"));
    ASSERT_EQ(master->recordCount(), SampleData::kMasterRows);
    EXPECT_EQ(data.table(QStringLiteral("cdsFamily"))->recordCount(), SampleData::kDetailRows);
    EXPECT_EQ(data.table(QStringLiteral("cdsSchool"))->recordCount(), 1);
    // Values by the field's name: numbers where the name says so, groups two rows long.
    EXPECT_EQ(master->fieldByName(u"iClassNo").type(), FieldType::Integer);
    EXPECT_EQ(master->valueAt(2, master->fieldIndex(u"iClassNo")).toLongLong(), 3);
    EXPECT_EQ(master->valueAt(2, master->fieldIndex(u"sName")).toString(), QStringLiteral("sName3"));
    EXPECT_EQ(master->valueAt(1, master->fieldIndex(u"ClassCode")).toString(), QStringLiteral("ClassCode1"));
    EXPECT_EQ(master->valueAt(2, master->fieldIndex(u"ClassCode")).toString(), QStringLiteral("ClassCode2"));

    PreparedReport prepared;
    QString error;
    ASSERT_TRUE(prepareWithSampleData(t, &prepared, &error)) << error.toStdString();
    const QString all = prepared.texts(0).join(u'|');
    EXPECT_TRUE(all.contains(QStringLiteral("SchoolName sNO1 sFullName1 第1页 共1页"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("班级 ClassCode3 ClassTitle5"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("sRelation2：sParentName2"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("合计 422.5 15 5 AppTitle 12"))) << all.toStdString();
    EXPECT_EQ(prepared.texts(0).count(QStringLiteral("sName5")), 1);
}

TEST(SampleData, ACardPerRowGivesAFewPagesAndABandWithoutTableIsRefused)
{
    ReportTemplate t;
    Band card = band(BandKind::MasterData, QStringLiteral("cdsData"), {memo(QStringLiteral("姓名：[sName]"))});
    card.newPageAfter = true;
    t.bands = {card};
    PreparedReport prepared;
    ASSERT_TRUE(prepareWithSampleData(t, &prepared));
    ASSERT_EQ(prepared.pageCount(), SampleData::kCardRows);
    EXPECT_EQ(prepared.texts(2), QStringList{QStringLiteral("姓名：sName3")});

    // A master band with fields of no expression still prints its rows.
    t.bands[0].objects = {memo(QStringLiteral("固定文字"))};
    t.bands[0].newPageAfter = false;
    ASSERT_TRUE(prepareWithSampleData(t, &prepared));
    EXPECT_EQ(prepared.texts(0).size(), SampleData::kMasterRows);

    t.page.marginsMm = QMarginsF(10, 200, 10, 200);
    QString error;
    EXPECT_FALSE(prepareWithSampleData(t, &prepared, &error));
    EXPECT_EQ(error, QStringLiteral("页边距设置错误！"));
}
