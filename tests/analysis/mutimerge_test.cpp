// The multi-exam class progress: three exams' class comparisons merged into one table with the
// gap rows, worked out by hand below.

#include "analysis/mutimerge.h"

#include <gtest/gtest.h>

using namespace lumeko::achieve;
using lumeko::wire::DataPacket;
using lumeko::wire::FieldDef;
using lumeko::wire::FieldType;

namespace {

const QList<FieldDef> kDefinitionFields = {
    {"sFldName", FieldType::Text, 40, 0}, {"sTable", FieldType::Text, 40, 0}, {"sFldCaption", FieldType::Text, 40, 0}, {"bShowed", FieldType::Boolean, 0, 0},
    {"nWidth", FieldType::Integer, 0, 0}, {"bSum", FieldType::Boolean, 0, 0}, {"bGroup", FieldType::Boolean, 0, 0},    {"sFieldType", FieldType::Text, 1, 0},
    {"sSumType", FieldType::Text, 1, 0},  {"sFormat", FieldType::Text, 20, 0}};

// A class comparison's answer: its value columns as (field, caption), its rows as texts ("" null).
ExamSumAnswer answer(const QList<QPair<QString, QString>> &columns, const QList<QStringList> &rows)
{
    ExamSumAnswer a;
    a.fields = DataPacket(kDefinitionFields);
    QList<FieldDef> fields;
    const QList<QPair<QString, QString>> keys = {{"sSubject", "科目"}, {"sName", "项目"}, {"ExamName", "考试"}};
    for (const auto &[name, caption] : keys + columns) {
        fields.append({name, FieldType::Text, 0, 0});
        a.fields.appendRow({name, "QExamSum", caption, true, 8, false, false, "W", QVariant(), QVariant()});
    }
    a.rows = DataPacket(fields);
    for (const QStringList &r : rows) {
        QVariantList values;
        for (const QString &v : r)
            values << (v.isEmpty() ? QVariant() : QVariant(v));
        a.rows.appendRow(values);
    }
    return a;
}

QStringList rowTexts(const DataPacket &p)
{
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < p.fieldCount(); ++f)
            cells << (lumeko::wire::isNull(p.value(r, f)) ? QStringLiteral("-") : p.value(r, f).toString());
        out << cells.join(u' ');
    }
    return out;
}

} // namespace

TEST(MultiExamMerge, ThreeExamsGiveARowEachAndTwoGapRows)
{
    const QList<QPair<QString, QString>> two = {{"Class_701", "701班"}, {"Class_702", "702班"}, {"Grade", "年级"}};
    const ExamSumAnswer midterm = answer(two, {{"语文", "平均分", "期中", "80", "75.5", "77.75"},
                                               {"语文", "均分排名", "期中", "1", "2", ""},
                                               {"语文", "任课老师", "期中", "王老师", "李老师", ""},
                                               {"语文", "人数", "期中", "40", "42", "82"}});
    // 702 has no average in the final; the teacher and head count rows of later exams go.
    const ExamSumAnswer final_ = answer(two, {{"语文", "平均分", "期末", "82.25", "", "80"},
                                              {"语文", "均分排名", "期末", "2", "1", ""},
                                              {"语文", "任课老师", "期末", "赵老师", "李老师", ""},
                                              {"语文", "人数", "期末", "41", "42", "83"}});
    // A class 703 sits the third exam only.
    const ExamSumAnswer monthly = answer({{"Class_701", "701班"}, {"Class_702", "702班"}, {"Class_703", "703班"}, {"Grade", "年级"}},
                                         {{"语文", "平均分", "月考", "85", "70", "90", "81.67"}, {"语文", "均分排名", "月考", "1", "3", "2", ""}});
    const MergedAnswer m = mergeExamAnswers({midterm, final_, monthly});

    QStringList names;
    for (const FieldDef &f : m.rows.fields())
        names << f.name;
    EXPECT_EQ(names, (QStringList{"sSubject", "sName", "ExamName", "Class_701", "Class_702", "Class_703", "Grade"})) << "703 beside its neighbour";
    ASSERT_EQ(m.fields.rowCount(), 7);
    EXPECT_EQ(m.fields.value(5, m.fields.fieldIndex(u"sFldCaption")).toString(), QStringLiteral("703班"));
    EXPECT_EQ(m.fields.value(5, m.fields.fieldIndex(u"sFldName")).toString(), QStringLiteral("Class_703"));

    // Gaps: now − before, rounded to one decimal with halves away from zero; a missing value is 0,
    // two missing values no gap. Ranks the other way: a rank that fell from 2 to 1 is +1.
    //   平均分 期末−期中: 701 82.25−80 = 2.25 → 2.3; 702 0−75.5; 703 none; 年级 80−77.75 = 2.25 → 2.3
    //   平均分 月考−期末: 701 85−82.25 = 2.75 → 2.8; 702 70−0; 703 90−0; 年级 81.67−80 = 1.67 → 1.7
    //   均分排名 期中→期末: 701 1−2 = −1, 702 2−1 = 1; 期末→月考: 701 2−1 = 1, 702 1−3 = −2, 703 0−2 = −2
    EXPECT_EQ(rowTexts(m.rows), (QStringList{
                                    "语文 平均分 期中 80 75.5 - 77.75",
                                    "语文 平均分 期末 82.25 - - 80",
                                    "语文 平均分 差距 2.3 -75.5 - 2.3",
                                    "语文 平均分 月考 85 70 90 81.67",
                                    "语文 平均分 差距 2.8 70 90 1.7",
                                    "语文 均分排名 期中 1 2 - -",
                                    "语文 均分排名 期末 2 1 - -",
                                    "语文 均分排名 差距 -1 1 - -",
                                    "语文 均分排名 月考 1 3 2 -",
                                    "语文 均分排名 差距 1 -2 -2 -",
                                    "语文 任课老师 期中 王老师 李老师 - -",
                                    "语文 人数 期中 40 42 - 82",
                                }));
}

TEST(MultiExamMerge, GapsOfSingleCells)
{
    EXPECT_EQ(gapValue("80", "85.5", false), QVariant("5.5"));
    EXPECT_EQ(gapValue("80", QVariant(), false), QVariant("-80")) << "a missing value counts as 0";
    EXPECT_EQ(gapValue(QVariant(), "12.25", false), QVariant("12.3"));
    EXPECT_EQ(gapValue(QVariant(), "3", true), QVariant("-3")) << "a rank, the other way";
    EXPECT_EQ(gapValue("4", QVariant(), true), QVariant("4"));
    EXPECT_EQ(gapValue("12.34", "12.3", false), QVariant("0")) << "-0.04 rounds to 0, shown without a sign";
    EXPECT_EQ(gapValue("10", "9.95", false), QVariant("-0.1")) << "halves away from zero";
    EXPECT_FALSE(gapValue(QVariant(), QVariant(), false).isValid());
    EXPECT_FALSE(gapValue("王老师", "李老师", false).isValid()) << "names are no numbers";
    EXPECT_TRUE(isRankItem(QStringLiteral("均分排名")));
    EXPECT_FALSE(isRankItem(QStringLiteral("平均分")));
    EXPECT_TRUE(isUnmergedItem(QStringLiteral("班主任")));
    EXPECT_FALSE(isUnmergedItem(QStringLiteral("实考人数")));
}

TEST(MultiExamMerge, LabelsKeepExamsOfOneNameApart)
{
    const QList<QPair<QString, QString>> one = {{"Grade", "年级"}};
    const MergedAnswer m = mergeExamAnswers({answer(one, {{"数学", "优秀率", "期中考试", "20"}}), answer(one, {{"数学", "优秀率", "期中考试", "25"}})},
                                            {QStringLiteral("七年级.期中考试"), QStringLiteral("八年级.期中考试")});
    EXPECT_EQ(rowTexts(m.rows), (QStringList{"数学 优秀率 七年级.期中考试 20", "数学 优秀率 八年级.期中考试 25", "数学 优秀率 差距 5"}));
    // One exam alone is its own table.
    const MergedAnswer single = mergeExamAnswers({answer(one, {{"数学", "人数", "期中", "40"}})});
    EXPECT_EQ(rowTexts(single.rows), (QStringList{"数学 人数 期中 40"}));
    EXPECT_EQ(mergeExamAnswers({}).rows.rowCount(), 0);
}
