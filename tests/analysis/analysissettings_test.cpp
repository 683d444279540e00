// What the analysis dialogs send and keep, from their settings: the texts QExamSum reads, the
// filter they pass on, the item groups, the parameters they are opened with and their files.

#include "analysis/analysissettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumeko::achieve;

namespace {
QList<bool> ticks(std::initializer_list<int> items, int count)
{
    QList<bool> s(count, false);
    for (int i : items)
        s[i] = true;
    return s;
}
} // namespace

TEST(AnalysisTexts, DistributionSettingsText)
{
    // A layer whose cut-off is 0 does not count: 30, 0, 90 sends 30-90.
    EXPECT_EQ(cutOffText({30, 0, 90}), QStringLiteral("30-90"));
    EXPECT_EQ(cutOffText({0, 0}), QString());
    EXPECT_EQ(cutOffText({}), QString());

    DistSettings s;
    s.items = statesOf(QString::fromLatin1(kDistItemsDefault), 11);
    s.subject = QStringLiteral("001");
    s.ticked = {QStringLiteral("统招生"), QStringLiteral("借读生")};
    // Every item but AE等级, subject 001, two of three types, no layers.
    EXPECT_EQ(distSettingsText(s), QStringLiteral("11111111110;001;统招生,借读生"));
    // Every type ticked: ALL, whatever the types are.
    s.everyType = true;
    EXPECT_EQ(distSettingsText(s), QStringLiteral("11111111110;001;ALL"));
    s.rankLayers = true;
    s.topCuts = {30, 0, 90};
    s.bottomCuts = {30, 60, 0};
    s.subject = QStringLiteral("FUL");
    EXPECT_EQ(distSettingsText(s), QStringLiteral("11111111110,30-90,30-60;FUL;ALL"));
    // Layers ticked with every cell 0 still send their two (empty) lists.
    s.topCuts = {0, 0, 0};
    s.bottomCuts = {0, 0, 0};
    s.items = ticks({10}, 11);
    EXPECT_EQ(distSettingsText(s), QStringLiteral("00000000001,,;FUL;ALL"));
}

TEST(AnalysisTexts, ComparisonSettingsTextAndFilter)
{
    EXPECT_EQ(compareSettingsText(statesOf(QString::fromLatin1(kCompareItemsDefault), 21), {QStringLiteral("统招生"), QStringLiteral("已选名单")},
                                  withTotals({QStringLiteral("001"), QStringLiteral("002")})),
              QStringLiteral("111111001111100000000;统招生,已选名单;001,002,FUL,MAI,BAS"));
    EXPECT_EQ(withTotals({QStringLiteral("FUL"), QStringLiteral("001")}), (QStringList{"FUL", "001", "MAI", "BAS"})) << "each total once";

    // The filter argument: the class part with its ";", the whole text for the picked students.
    const QString both = QStringLiteral("001,002;{S1},{S4}");
    EXPECT_EQ(filterArgument(both, false), QStringLiteral("001,002;"));
    EXPECT_EQ(filterArgument(both, true), both);
    EXPECT_EQ(filterArgument(QStringLiteral("{S1},{S4}"), false), QString()) << "students alone, not picked: nothing";
    EXPECT_EQ(filterArgument(QStringLiteral("{S1},{S4}"), true), QStringLiteral("{S1},{S4}"));
    EXPECT_EQ(filterArgument(QStringLiteral("001;"), false), QStringLiteral("001;"));
    EXPECT_EQ(filterArgument(QString(), true), QString());
}

TEST(AnalysisTexts, ItemGroupsTickTheirItems)
{
    const QList<bool> every(21, true);
    QList<bool> s = applyItemGroup(CountItems, statesOf(QString::fromLatin1(kCompareItemsDefault), 21), every);
    EXPECT_FALSE(s[0]) << "人数项目 leaves 平均分 unticked";
    EXPECT_TRUE(s[7]) << "分数极差";
    EXPECT_TRUE(s[16]) << "合格人数";
    EXPECT_EQ(stateText(s), QStringLiteral("000000011111011110000"));
    s = applyItemGroup(PercentItems, s, every);
    EXPECT_EQ(stateText(s), QStringLiteral("111111101000100000111"));
    s = applyItemGroup(AllItems, s, every);
    EXPECT_EQ(stateText(s), QString(21, u'1'));
    // A disabled item keeps its tick whatever the group: 分校超均率 (18) off, 平均分 (0) on.
    QList<bool> enabled = every;
    enabled[18] = false;
    enabled[0] = false;
    s = applyItemGroup(CountItems, ticks({0}, 21), enabled);
    EXPECT_TRUE(s[0]);
    EXPECT_FALSE(s[18]);
    s = applyItemGroup(PercentItems, s, enabled);
    EXPECT_FALSE(s[18]) << "a disabled item is not ticked by its group either";
    EXPECT_TRUE(s[19]);

    EXPECT_EQ(compareItemCaptions().size(), 21);
    EXPECT_EQ(compareItemCaptions().at(16), QStringLiteral("合格人数"));
    EXPECT_EQ(distItemCaptions().size(), 11);
    EXPECT_EQ(distItemCaptions().last(), QStringLiteral("AE等级"));
    // A short or broken state text: what is missing is unticked.
    EXPECT_EQ(stateText(statesOf(QStringLiteral("1111100001001"), 21)), QStringLiteral("111110000100100000000"));
    EXPECT_EQ(stateText(statesOf(QStringLiteral("1x1"), 4)), QStringLiteral("1010"));
}

TEST(AnalysisTexts, ParametersOfTheScorePage)
{
    // The score page's nine items: the exam's subjects are item 5.
    QStringList p = {"2026", "1701", "七年级", "Y", "", "001;002;003", "001", "⊥", "2026级七年级.期中考试"};
    AnalysisParams a = readAnalysisParams(p);
    EXPECT_EQ(a.inYear, 2026);
    EXPECT_EQ(a.gradeCode, QStringLiteral("1701"));
    EXPECT_EQ(a.entryFlag, QStringLiteral("Y"));
    EXPECT_EQ(a.examCode, QStringLiteral("001"));
    EXPECT_EQ(a.pageName, QStringLiteral("⊥"));
    EXPECT_EQ(a.subjectCodes, (QStringList{"001", "002", "003"}));
    EXPECT_EQ(a.caption, QStringLiteral("2026级七年级.期中考试"));
    EXPECT_TRUE(analysisParamsProblem(p).isEmpty());
    // With the ticked subjects appended (ten items), those are offered.
    p << QStringLiteral("002;FUL;");
    a = readAnalysisParams(p);
    EXPECT_EQ(a.subjectCodes, (QStringList{"002", "FUL"}));
    EXPECT_FALSE(analysisParamsProblem({"x", "1701", "", "", "", "", "001", "⊥"}).isEmpty());
    EXPECT_FALSE(analysisParamsProblem({"2026", "1701", "", "", "", "", "", "⊥"}).isEmpty());
    EXPECT_FALSE(analysisParamsProblem({"2026", "1701", "", "", "", "", "001"}).isEmpty()) << "no page name";
}

TEST(AnalysisFiles, RankLayers)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("UserData/OrderDistConfig.ini"));
    // No file: three layers of 30, 60, 90 from both ends.
    RankLayers l = readRankLayers(file);
    EXPECT_EQ(l.count, 3);
    EXPECT_EQ(l.top, (QList<int>{30, 60, 90}));
    EXPECT_EQ(l.bottom, (QList<int>{30, 60, 90}));
    // More layers get the same defaults; fewer drop the last cells.
    l = resizedLayers(l, 5);
    EXPECT_EQ(l.top, (QList<int>{30, 60, 90, 120, 150}));
    l.top[1] = 0;
    l.bottom[4] = 200;
    EXPECT_EQ(resizedLayers(l, 2).bottom, (QList<int>{30, 60}));
    EXPECT_EQ(resizedLayers(l, 9).count, 5);

    ASSERT_TRUE(writeRankLayers(file, resizedLayers(l, 4))) << "the folder is made";
    {
        QSettings ini(file, QSettings::IniFormat);
        EXPECT_EQ(ini.value("OrderConfig/Num").toInt(), 4);
        EXPECT_EQ(ini.value("OrderFirst/Col2").toInt(), 0);
        EXPECT_EQ(ini.value("OrderLast/Col4").toInt(), 120);
        EXPECT_FALSE(ini.contains("OrderLast/Col5"));
    }
    l = readRankLayers(file);
    EXPECT_EQ(l.count, 4);
    EXPECT_EQ(l.top, (QList<int>{30, 0, 90, 120}));

    // A file with more layers than keys: the missing ones are layer × 30.
    QFile::remove(file);
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("OrderConfig/Num", 4);
        ini.setValue("OrderFirst/Col1", 10);
        ini.setValue("OrderLast/Col3", 45);
    }
    l = readRankLayers(file);
    EXPECT_EQ(l.top, (QList<int>{10, 60, 90, 120}));
    EXPECT_EQ(l.bottom, (QList<int>{30, 60, 45, 120}));
}

TEST(AnalysisFiles, ComparisonChoices)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("UserData/T01/AchMutiAnalysis.ini"));
    CompareChoice c;
    EXPECT_FALSE(readCompareChoice(file, &c)) << "no file, nothing read";
    c.itemOption = 1;
    c.items = QString::fromLatin1(kMutiItemsDefault);
    c.range = {QStringLiteral("统招生"), QStringLiteral("借读生")};
    c.subjects = {QStringLiteral("001"), QStringLiteral("FUL")};
    c.hasSubjects = true;
    ASSERT_TRUE(writeCompareChoice(file, c));
    {
        QSettings ini(file, QSettings::IniFormat);
        EXPECT_EQ(ini.value("Compare/Subjects").toString(), QStringLiteral("001,FUL")) << "no trailing comma";
        EXPECT_EQ(ini.value("Compare/ItemOption").toInt(), 1);
    }
    CompareChoice back;
    ASSERT_TRUE(readCompareChoice(file, &back));
    EXPECT_EQ(back.itemOption, 1);
    EXPECT_EQ(back.items, c.items);
    EXPECT_EQ(back.range, c.range);
    EXPECT_EQ(back.subjects, c.subjects);
    EXPECT_TRUE(back.hasSubjects);

    // The comparisons' file has no subjects, and an empty range stays empty.
    const QString compare = dir.filePath(QStringLiteral("UserData/T01/AchAnalysis.ini"));
    CompareChoice k;
    k.itemOption = 2;
    k.items = QStringLiteral("1");
    ASSERT_TRUE(writeCompareChoice(compare, k));
    ASSERT_TRUE(readCompareChoice(compare, &back));
    EXPECT_FALSE(back.hasSubjects);
    EXPECT_TRUE(back.range.isEmpty());
    EXPECT_EQ(back.itemOption, 2);
}
