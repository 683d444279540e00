// The P-value formulas between the dialog's Chinese names and the record's fields.

#include "pvalue/pvalueformula.h"

#include <gtest/gtest.h>

using namespace lumeko::achieve;

namespace {

TEST(PValueFormula, NamesBecomeFieldsAndTheCountANumber)
{
    EXPECT_EQ(storedFormula(QStringLiteral("[总分之和]/([应参加人数]+[辍学生数])"), 10), QStringLiteral("[nTotals]/([nMastNums]+[nLeaveNums])"));
    EXPECT_EQ(storedFormula(QStringLiteral("[十科每科及格人数之和]/([全科科目数]*[应参加人数])"), 9), QStringLiteral("[nPass10TotalNums]/(9*[nMastNums])"));
    EXPECT_EQ(storedFormula(QStringLiteral("([学业质量评估值]+[德育评估值]*0.1+[体卫艺术教育评估值]*0.1)*[三年巩固率]*100+[规模值]"), 3),
              QStringLiteral("([NP1]+[nDYValue]*0.1+[nTWYSJYValue]*0.1)*[nGGPre3]*100+[nRangeValue]"));
    EXPECT_EQ(storedFormula(QStringLiteral("[六科满分]+[六科达毕业分数线总人数]+[十科全及格总人数]+[六科总分优秀的总人数]"), 3),
              QStringLiteral("[nFullTotal6]+[nPass6Nums]+[nPass10Nums]+[nExcel6Nums]"));
    // What the dialog does not know stays for the server to refuse: an unknown name, an open bracket.
    EXPECT_EQ(storedFormula(QStringLiteral("[总分]*2+[nTotals]"), 3), QStringLiteral("[总分]*2+[nTotals]"));
    EXPECT_EQ(storedFormula(QStringLiteral("[总分之和]+[应参加人数"), 3), QStringLiteral("[nTotals]+[应参加人数"));
}

TEST(PValueFormula, FieldsBecomeNamesAndOnlyTheWholeCountBeforeAStarTheCountsName)
{
    EXPECT_EQ(shownFormula(QStringLiteral("[nPass10TotalNums]/(10*([nMastNums]+[nLeaveNums]))*0.2"), 10),
              QStringLiteral("[十科每科及格人数之和]/([全科科目数]*([应参加人数]+[辍学生数]))*0.2"));
    // "0.2*" and "12*" end in the count 2 but are not it; a 2 at the very start is.
    EXPECT_EQ(shownFormula(QStringLiteral("0.2*[nTotals]+12*[NP1]+2*[nGGPre3]"), 2),
              QStringLiteral("0.2*[总分之和]+12*[学业质量评估值]+[全科科目数]*[三年巩固率]"));
    EXPECT_EQ(shownFormula(QStringLiteral("2*2*2"), 2), QStringLiteral("[全科科目数]*[全科科目数]*2"));
    EXPECT_EQ(shownFormula(QStringLiteral("[nTotals]*2"), 2), QStringLiteral("[总分之和]*2")) << "not before a star";
    EXPECT_EQ(shownFormula(QStringLiteral("2.0*[nTotals]"), 2), QStringLiteral("2.0*[总分之和]"));
    // Field names are matched without regard to case, as the server reads them; a bracket holding
    // the count's digits is left alone.
    EXPECT_EQ(shownFormula(QStringLiteral("[NTOTALS]/[nmastnums]+[2*]"), 2), QStringLiteral("[总分之和]/[应参加人数]+[2*]"));
}

TEST(PValueFormula, TheDefaultsGoThereAndBackUnchanged)
{
    for (int entries : {1, 3, 9, 10}) {
        const QString p1 = storedFormula(defaultP1Formula(), entries);
        EXPECT_FALSE(p1.contains(u'[' + allSubjectCountCaption())) << entries;
        EXPECT_TRUE(p1.contains(QStringLiteral("/(%1*([nMastNums]").arg(entries))) << p1.toStdString();
        EXPECT_EQ(shownFormula(p1, entries), defaultP1Formula()) << entries;
        EXPECT_EQ(shownFormula(storedFormula(defaultPFormula(), entries), entries), defaultPFormula());
    }
    // Stored for 2 entries and read with 2: "0.2*" of the default stays "0.2*".
    EXPECT_EQ(shownFormula(storedFormula(defaultP1Formula(), 2), 2), defaultP1Formula());
}

} // namespace
