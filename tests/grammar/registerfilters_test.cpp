#include "server/grammar/registerfilters.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

namespace {
const QString FamilyBase = QStringLiteral(" and b.gradecode='0701' and b.inyear=2012");
const QString ConditionBase = QStringLiteral(" and GradeCode='0701' and InYear=2012 and ClassCode='003'");
} // namespace

TEST(FamilyFilter, ReadsGradeYearAndOptionalClass)
{
    EXPECT_EQ(parseFamilyFilter(FamilyBase), (FamilyFilter{"0701", 2012, std::nullopt}));
    EXPECT_EQ(parseFamilyFilter(FamilyBase + " and b.classcode='003'"), (FamilyFilter{"0701", 2012, "003"}));
    // Keywords in any case, runs of blanks and tabs, blanks around "=", trailing blanks, no
    // leading blank at the very start.
    EXPECT_EQ(parseFamilyFilter(u"AND  B.GRADECODE = '0701'   and\tb.InYear=2012  and b.ClassCode=  '003'  "),
              (FamilyFilter{"0701", 2012, "003"}));
    EXPECT_EQ(parseFamilyFilter(u"and b.gradecode='0701' and b.inyear=2012").gradeCode, "0701");
    // Two quotes stand for one; Chinese text and characters outside the basic plane count as one
    // character each.
    EXPECT_EQ(parseFamilyFilter(u" and b.gradecode='07''1' and b.inyear=2012 and b.classcode='三班'"),
              (FamilyFilter{"07'1", 2012, QStringLiteral("三班")}));
    EXPECT_EQ(parseFamilyFilter(u" and b.gradecode='初一年级' and b.inyear=2012 and b.classcode='𠀀𠀀𠀀'").classCode,
              QStringLiteral("𠀀𠀀𠀀"));
    // A whole stage's page names no intake year: 0 reads its current grades.
    EXPECT_EQ(parseFamilyFilter(u" and b.gradecode='1' and b.inyear=0"), (FamilyFilter{"1", 0, std::nullopt}));
    EXPECT_EQ(parseFamilyFilter(u" and b.gradecode='1' and b.inyear=2012"), (FamilyFilter{"1", 2012, std::nullopt}));
}

TEST(FamilyFilter, RefusesWhatIsNotTheFilterSayingWhereAndWhat)
{
    // The family table is only read for a grade.
    EXPECT_TRUE(refused([] { parseFamilyFilter(u""); }, 0, "family filter: expected \" and b.gradecode=\" at 0"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='0701'"); }, 23, "expected \" and b.inyear=\""));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='0701' and b.intake=2012"); }, 23, "b.inyear"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and s.gradecode='0701' and b.inyear=2012"); }, 0));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='0701'and b.inyear=2012"); }, 23));
    EXPECT_TRUE(
        refused([] { parseFamilyFilter(u" and b.gradecode='0701 and b.inyear=2012"); }, 17, "no closing quote"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='07011' and b.inyear=2012"); }, 17, "1 to 4"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='' and b.inyear=2012"); }, 17));
    EXPECT_TRUE(refused([] { parseFamilyFilter(FamilyBase + " and b.classcode='0031'"); }, 58, "class code"));
    // Years: four ASCII digits, nothing more.
    for (const char *year : {"20120", "012", "-2012", "2012.0", "2012e0", "'2012'", "0x7dc"})
        EXPECT_TRUE(refused([&] {
            parseFamilyFilter(QStringLiteral(" and b.gradecode='0701' and b.inyear=") + QString(year));
        })) << year;
    // Only a stage may go without its intake year, and only as a lone 0.
    EXPECT_TRUE(refused([] { parseFamilyFilter(u" and b.gradecode='0701' and b.inyear=0"); }, 37, "four digits"));
    for (const char *year : {"00", "02012", "0 or 1=1"})
        EXPECT_TRUE(refused([&] { parseFamilyFilter(QStringLiteral(" and b.gradecode='1' and b.inyear=") + QString(year)); })) << year;
    // Control and invisible characters never stand in a value.
    EXPECT_TRUE(
        refused([] { parseFamilyFilter(u" and b.gradecode='07\u200B01' and b.inyear=2012"); }, 20, "invisible"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(QStringLiteral(" and b.gradecode='07\n' and b.inyear=2012")); }, 20));
    // A clause after the last one, repeated or not.
    EXPECT_TRUE(refused([] { parseFamilyFilter(FamilyBase + " or 1=1"); }, FamilyBase.size() + 1,
                        "\" and b.classcode=\" or the end"));
    EXPECT_TRUE(refused([] { parseFamilyFilter(FamilyBase + " and b.classcode='003' and b.classcode='004'"); }));
    EXPECT_TRUE(refused([] { parseFamilyFilter(FamilyBase + "; drop table XJ_Student"); }, FamilyBase.size()));
    EXPECT_TRUE(refused([] { parseFamilyFilter(FamilyBase + " -- comment"); }));
    EXPECT_TRUE(refused([] { parseFamilyFilter(QString(70000, u' ')); }, 65536, "longer than"));
}

TEST(FamilyFilter, RefusesLookAlikesOfQuotesBlanksAndLetters)
{
    const QStringList lookAlikes{
        QStringLiteral(" and b.gradecode=＇0701＇ and b.inyear=2012"),     // full-width apostrophes
        QStringLiteral(" and b.gradecode=’0701’ and b.inyear=2012"),       // typographic quotes
        QStringLiteral(" аnd b.gradecode='0701' and b.inyear=2012"),       // Cyrillic а
        QStringLiteral(" ａｎｄ b.gradecode='0701' and b.inyear=2012"),    // full-width letters
        QStringLiteral(" and\u3000b.gradecode='0701' and b.inyear=2012"),  // ideographic space
        QStringLiteral(" and\u00A0b.gradecode='0701' and b.inyear=2012"),  // no-break space
        QStringLiteral(" and b.gradecode＝'0701' and b.inyear=2012"),      // full-width equals
        QStringLiteral(" and b.gradecode='0701' and b.inyear=２０１２"),   // full-width digits
        QStringLiteral(" and b.grade\u200Bcode='0701' and b.inyear=2012"), // zero-width space
        QStringLiteral(" and b.gradecode='0701' and b.inyear=2012 and b.cla\u017F\u017Fcode='003'"), // long s
    };
    for (const QString &text : lookAlikes)
        EXPECT_TRUE(refused([&] { parseFamilyFilter(text); })) << text.toStdString();
}

TEST(FamilyFilter, RefusesInjectionsAnywhere)
{
    expectInjectionsRefused(FamilyBase + " and b.classcode='003'", [](const QString &t) { parseFamilyFilter(t); });
}

TEST(StudentCondition, ReadsTheGradeClass)
{
    EXPECT_EQ(parseStudentCondition(ConditionBase), (GradeClassCondition{"0701", 2012, "003"}));
    EXPECT_EQ(parseStudentCondition(u"and gradecode = '0''1'  and INYEAR=1999 and classcode='实验'"),
              (GradeClassCondition{"0'1", 1999, QStringLiteral("实验")}));

    EXPECT_TRUE(refused([] { parseStudentCondition(u" and GradeCode='0701' and InYear=2012"); }, 37, "ClassCode"));
    EXPECT_TRUE(
        refused([] { parseStudentCondition(u" and ClassCode='003' and GradeCode='0701' and InYear=2012"); }, 0));
    EXPECT_TRUE(refused([] { parseStudentCondition(u" and GradeCode='0701' and InYear=2012 and sName='x'"); }, 37));
    EXPECT_TRUE(refused([] { parseStudentCondition(ConditionBase + " or 1=1"); }, ConditionBase.size() + 1, "the end"));
    expectInjectionsRefused(ConditionBase, [](const QString &t) { parseStudentCondition(t); });
}

TEST(CheckData, OnlyTheTwoWhitelistedColumnsAndAQuotedCode)
{
    EXPECT_EQ(parseCheckData(u"XJ_GradeClass", u"ClassCode", u"'007'"),
              (CheckData{CheckDataTarget::GradeClassClassCode, "007"}));
    EXPECT_EQ(parseCheckData(u"xj_gradesubject", u"SUBJECTCODE", u"'0''3'"),
              (CheckData{CheckDataTarget::GradeSubjectSubjectCode, "0'3"}));

    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_Student", u"ClassCode", u"'007'"); }, 0, "checked table"));
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeClass", u"SubjectCode", u"'007'"); }, 0, "ClassCode"));
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeSubject", u"sPass", u"'007'"); }, 0, "SubjectCode"));
    for (const char *table : {" XJ_GradeClass", "XJ_GradeClass;", "XJ_GradeClass b", "dbo.XJ_GradeClass", ""})
        EXPECT_TRUE(refused([&] { parseCheckData(QString(table), u"ClassCode", u"'007'"); })) << table;
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeClass", u"ClassCode or 1=1", u"'007'"); }, 0, "checked field"));
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeClass", u"ClassCode", u"007"); }, 0, "single quotes"));
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeClass", u"ClassCode", u"'0071'"); }, 0, "1 to 3"));
    EXPECT_TRUE(refused([] { parseCheckData(u"XJ_GradeClass", u"ClassCode", u"''"); }, 0));
    expectInjectionsRefused("'007'", [](const QString &t) { parseCheckData(u"XJ_GradeClass", u"ClassCode", t); });

    EXPECT_EQ(parseTeacherLookupField(u"schoolcode"), TeacherLookupField::SchoolCode);
    for (const char *field : {"sPass", "SchoolCode=1", "SchoolCode ", "1", ""})
        EXPECT_TRUE(refused([&] { parseTeacherLookupField(QString(field)); }, 0, "SchoolCode")) << field;
}
