#include "server/grammar/gradefilter.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

namespace {
using Match = GradeTerm::Match;
GradeTerm term(GradeField field, Match match, const QVariant &value)
{
    return GradeTerm{field, match, value};
}
} // namespace

TEST(GradeFilter, ReadsTheThreeShapesOfTheCourseTablePage)
{
    EXPECT_EQ(parseGradeFilter(u"GradeCode='0701' and InYear=2012"),
              (QList<GradeTerm>{term(GradeField::GradeCode, Match::Equals, "0701"),
                                term(GradeField::InYear, Match::Equals, 2012)}));
    EXPECT_EQ(parseGradeFilter(u"GradeCode like '07%' and bCurGrade='Y'"),
              (QList<GradeTerm>{term(GradeField::GradeCode, Match::StartsWith, "07"),
                                term(GradeField::CurGrade, Match::Equals, "Y")}));
    EXPECT_EQ(parseGradeFilter(u" and sYear='2012-2013'"),
              (QList<GradeTerm>{term(GradeField::SchoolYear, Match::Equals, "2012-2013")}));
    // Bare digits keep their leading zero as text; a quoted year is still a year; an unquoted
    // prefix; any case and runs of blanks.
    EXPECT_EQ(parseGradeFilter(u"gradecode = 0701  AND inyear='2012'"),
              (QList<GradeTerm>{term(GradeField::GradeCode, Match::Equals, "0701"),
                                term(GradeField::InYear, Match::Equals, 2012)}));
    EXPECT_EQ(parseGradeFilter(u"GRADECODE  LIKE  0%  and  BCURGRADE = 'N' "),
              (QList<GradeTerm>{term(GradeField::GradeCode, Match::StartsWith, "0"),
                                term(GradeField::CurGrade, Match::Equals, "N")}));
    EXPECT_EQ(parseGradeFilter(u"sYear like '2012%'").first(), term(GradeField::SchoolYear, Match::StartsWith, "2012"));
}

TEST(GradeFilter, RefusesOtherFieldsWildcardsAndTrailingClauses)
{
    EXPECT_TRUE(refused([] { parseGradeFilter(u""); }, 0, "expected a grade field"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"sName='x'"); }, 0, "GradeCode, InYear, bCurGrade or sYear"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode='0701' and SchoolCode='s1'"); }, 21));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"InYear like '20%'"); }, 7, "expected = after InYear"));
    // The prefix is letters and digits only, ended by one '%': no wildcard reaches the server.
    for (const char *prefix : {"'0_%'", "'%'", "'07%%'", "'07'", "'%07'", "07", "'07%"})
        EXPECT_TRUE(
            refused([&] { parseGradeFilter(QStringLiteral("GradeCode like ") + QString(prefix)); }, 15, "prefix"))
            << prefix;
    EXPECT_TRUE(refused([] { parseGradeFilter(u"bCurGrade='X'"); }, 10, "'Y' or 'N'"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode=abc"); }, 10, "single quotes"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode='07011'"); }, 10, "1 to 4"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"InYear=12"); }, 7, "four digits"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode=0701 or 1=1"); }, 15, "or the end"));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode=0701 and"); }, 15));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode=0701 and and InYear=2012"); }, 19));
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode li\u212Ae '07%'"); }, 10, "= or like")); // Kelvin sign
    EXPECT_TRUE(refused([] { parseGradeFilter(u"GradeCode like＇07%＇"); }));
    QString many = QStringLiteral("InYear=2012");
    for (int i = 0; i < 8; ++i)
        many += QStringLiteral(" and InYear=2012");
    EXPECT_TRUE(refused([&] { parseGradeFilter(many); }, 11 + 7 * 16 + 5, "at most 8"));
    expectInjectionsRefused("GradeCode like '07%' and bCurGrade='Y' and InYear=2012",
                            [](const QString &t) { parseGradeFilter(t); });
}

TEST(GradeFilter, TellsAPlainArgumentFromAFilter)
{
    EXPECT_EQ(plainIntakeYear(u"2012"), 2012);
    for (const char *text : {"0701", "20121", " 2012", "2012 ", "", "InYear=2012"})
        EXPECT_EQ(plainIntakeYear(QString(text)), std::nullopt) << text;
    EXPECT_EQ(plainIntakeYear(u"２０１２"), std::nullopt);

    EXPECT_EQ(gradeTermsFromArgument(GradeField::InYear, u"2012"),
              (QList<GradeTerm>{term(GradeField::InYear, Match::Equals, 2012)}));
    EXPECT_EQ(gradeTermsFromArgument(GradeField::GradeCode, u"0701"),
              (QList<GradeTerm>{term(GradeField::GradeCode, Match::Equals, "0701")}));
    EXPECT_TRUE(gradeTermsFromArgument(GradeField::InYear, u"").isEmpty());
    EXPECT_EQ(gradeTermsFromArgument(GradeField::GradeCode, u"GradeCode like '07%' and bCurGrade='Y'").size(), 2);
    EXPECT_EQ(gradeTermsFromArgument(GradeField::InYear, u" and sYear='2012'").first().field, GradeField::SchoolYear);
    EXPECT_TRUE(refused([] { gradeTermsFromArgument(GradeField::GradeCode, u"07' or '1'='1"); }, 0, "grade filter"));
    EXPECT_TRUE(refused([] { gradeTermsFromArgument(GradeField::InYear, u"2012; drop table XJ_Grade"); }, 0));
}
