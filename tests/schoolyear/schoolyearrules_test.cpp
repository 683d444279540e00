// The school-year rules without a window: intake year and school years by the date, a grade's year
// in its stage, the school year a promotion moves into, which grades the guide lists for promotion
// and for undoing, and the reminders in Lumeko.ini.

#include "host/pub/pub.h"
#include "schoolyear/schoolyearrules.h"
#include "scriptedprovider.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

wire::DataPacket gradeNames()
{
    wire::DataPacket p({{"sKeyId", wire::FieldType::Text, 4, 0}, {"sValue", wire::FieldType::Text, 40, 0}});
    for (const auto &[code, name] : std::initializer_list<std::pair<const char *, const char *>>{{"1701", "七年级"},
                                                                                                 {"1801", "八年级"},
                                                                                                 {"1901", "九年级"},
                                                                                                 {"2101", "高一"},
                                                                                                 {"2201", "高二（理科）"},
                                                                                                 {"2202", "高二（文科）"},
                                                                                                 {"2301", "高三（理科）"}})
        p.appendRow({QString::fromLatin1(code), QString::fromUtf8(name)});
    return p;
}

// Grade records in the order the host lists them: (intake, code, school year, current flag).
wire::DataPacket grades(std::initializer_list<std::tuple<int, const char *, const char *, const char *>> rows)
{
    wire::DataPacket p({{"GradeCode", wire::FieldType::Text, 4, 0},
                        {"InYear", wire::FieldType::Integer, 0, 0},
                        {"sYear", wire::FieldType::Text, 20, 0},
                        {"bCurGrade", wire::FieldType::Text, 1, 0}});
    for (const auto &[inYear, code, year, current] : rows)
        p.appendRow({QString::fromLatin1(code), inYear, QString::fromUtf8(year), QString::fromLatin1(current)});
    return p;
}

QStringList codes(const QList<GradeRow> &rows)
{
    QStringList out;
    for (const GradeRow &g : rows)
        out << QStringLiteral("%1/%2").arg(g.inYear).arg(g.gradeCode);
    return out;
}

TEST(SchoolYearRules, TheIntakeYearAndTheSchoolYearsFollowTheSeptemberRule)
{
    EXPECT_EQ(proposedIntakeYear(QDate(2026, 8, 31)), 2025) << "August still belongs to last year's intake";
    EXPECT_EQ(proposedIntakeYear(QDate(2026, 9, 1)), 2026);
    EXPECT_EQ(proposedIntakeYear(QDate(2027, 1, 15)), 2026);
    const QList<int> years = offeredSchoolYears(2026);
    ASSERT_EQ(years.size(), 18);
    EXPECT_EQ(years.first(), 2011);
    EXPECT_EQ(years.last(), 2028);
    EXPECT_TRUE(std::is_sorted(years.begin(), years.end()));
}

TEST(SchoolYearRules, AGradesYearInItsStageCountsFromTheStagesFirstGrade)
{
    const wire::DataPacket names = gradeNames();
    EXPECT_EQ(yearInStage(QStringLiteral("1701"), names), 1) << "七年级 is the junior stage's first year, whatever its digit";
    EXPECT_EQ(yearInStage(QStringLiteral("1901"), names), 3);
    EXPECT_EQ(yearInStage(QStringLiteral("2101"), names), 1);
    EXPECT_EQ(yearInStage(QStringLiteral("2202"), names), 2) << "both streams of 高二";
    EXPECT_EQ(yearInStage(QStringLiteral("0401"), names), 4) << "a stage the names lack counts from its own digit";
    EXPECT_EQ(yearInStage(QStringLiteral("1"), names), 0);
}

TEST(SchoolYearRules, APromotedGradeMovesIntoTheSchoolYearAfterItsOwn)
{
    EXPECT_EQ(nextSchoolYearText(QStringLiteral("2012~2013学年"), 2026), QStringLiteral("2013~2014学年"));
    EXPECT_EQ(nextSchoolYearText(QStringLiteral("2012~"), 2026), QStringLiteral("2013~2014学年")) << "the number before ~ is enough";
    EXPECT_EQ(nextSchoolYearText(QStringLiteral("2012学年"), 2026), QStringLiteral("2026~2027学年")) << "no ~: the current year's";
    EXPECT_EQ(nextSchoolYearText(QStringLiteral("第一学年~"), 2026), QStringLiteral("2026~2027学年")) << "no number before ~";
    EXPECT_EQ(nextSchoolYearText(QString(), 2030), QStringLiteral("2030~2031学年"));
}

TEST(SchoolYearRules, ThePromotionListHoldsTheCurrentGradesNotYetInThisSchoolYear)
{
    const wire::DataPacket g =
        grades({{2025, "1701", "2025~2026学年", "Y"}, {2024, "1801", "2024~2025学年", "Y"}, {2024, "1701", "2024~2025学年", "N"}, {2023, "1901", "", "Y"}});
    EXPECT_EQ(codes(promotionRows(g, 2025)), (QStringList{"2024/1801", "2023/1901"})) << "2025/1701 is in 2025~2026 already";
    EXPECT_EQ(codes(promotionRows(g, 2026)), (QStringList{"2025/1701", "2024/1801", "2023/1901"}));
}

TEST(SchoolYearRules, TheUndoListTakesOneRowPerIntakeAndStageTheHigherGradeWinning)
{
    // 2024's junior intake left two history records of last year: 1801 wins whichever comes first.
    EXPECT_EQ(codes(undoRows(grades({{2024, "1801", "2025~2026学年", "N"}, {2024, "1701", "2025~2026学年", "N"}}), 2026)), QStringList{"2024/1801"});
    EXPECT_EQ(codes(undoRows(grades({{2024, "1701", "2025~2026学年", "N"}, {2024, "1801", "2025~2026学年", "N"}}), 2026)), QStringList{"2024/1801"});
    // Two streams of one year compare alike: the first listed stays.
    EXPECT_EQ(codes(undoRows(grades({{2023, "2201", "2025~2026学年", "N"}, {2023, "2202", "2025~2026学年", "N"}}), 2026)), QStringList{"2023/2201"});
    EXPECT_EQ(codes(undoRows(grades({{2023, "2202", "2025~2026学年", "N"}, {2023, "2201", "2025~2026学年", "N"}}), 2026)), QStringList{"2023/2202"});
    // The junior and senior intakes of one year are two rows, in the place each first appeared.
    const wire::DataPacket mixed = grades({{2024, "2101", "2025~2026学年", "N"},
                                           {2024, "1701", "2025~2026学年", "N"},
                                           {2024, "2201", "2026~2027学年", "N"},
                                           {2023, "1901", "2026~2027学年", "N"},
                                           {2022, "1901", "2024~2025学年", "N"},
                                           {2021, "1901", "2025~2026学年", "Y"}});
    EXPECT_EQ(codes(undoRows(mixed, 2026)), (QStringList{"2024/2201", "2024/1701", "2023/1901"}))
        << "older school years and current grades are not offered; the later 2201 takes 2101's place";
}

class SchoolYearReminder : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(pub::appPath() + QStringLiteral("Lumeko.ini")); }
    int stored(const char *key)
    {
        return QSettings(pub::appPath() + QStringLiteral("Lumeko.ini"), QSettings::IniFormat)
            .value(QStringLiteral("ExeConfig/") + QLatin1String(key), -1)
            .toInt();
    }
    pub::testing::ScriptedProvider host;
};

TEST_F(SchoolYearReminder, IsTickedFromSeptemberWhileTheIniHoldsThisYear)
{
    const QDate august(2026, 8, 20), september(2026, 9, 2);
    EXPECT_FALSE(reminderTicked(QStringLiteral("IsRunUpGrade"), august)) << "before September never";
    EXPECT_TRUE(reminderTicked(QStringLiteral("IsRunUpGrade"), september)) << "without a value the key reads as this year";
    setReminder(QStringLiteral("IsRunUpGrade"), false, september);
    EXPECT_EQ(stored("IsRunUpGrade"), 2027) << "unticking puts it off to next year";
    EXPECT_FALSE(reminderTicked(QStringLiteral("IsRunUpGrade"), september));
    EXPECT_TRUE(reminderTicked(QStringLiteral("IsRunUpGrade"), QDate(2027, 9, 1))) << "and next September it is back";
    EXPECT_TRUE(reminderTicked(QStringLiteral("IsRunNewGrade"), september)) << "each dialog keeps its own key";
    setReminder(QStringLiteral("IsRunUpGrade"), true, september);
    EXPECT_EQ(stored("IsRunUpGrade"), 2026);
    EXPECT_TRUE(reminderTicked(QStringLiteral("IsRunUpGrade"), september));
}

} // namespace
