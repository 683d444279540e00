#include "server/grammar/compositekeys.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

namespace {
const QString Student = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
}

TEST(CompositeKeys, SchoolAndGrade)
{
    EXPECT_EQ(parseSchoolGrade(u"s1,0701"), (SchoolGrade{"s1", "0701"}));
    EXPECT_EQ(parseSchoolGrade(u"{A0B1C2D3-0000-1111-2222-333344445555},2201").schoolId,
              "{A0B1C2D3-0000-1111-2222-333344445555}");
    EXPECT_TRUE(refused([] { parseSchoolGrade(u"s1"); }, 2, "school,grade"));
    EXPECT_TRUE(refused([] { parseSchoolGrade(u"s1,0701,x"); }, 7, "unexpected \",\""));
    EXPECT_TRUE(refused([] { parseSchoolGrade(u",0701"); }, 0, "school id"));
    EXPECT_TRUE(refused([] { parseSchoolGrade(u"..,0701"); }, 0, "school id"));
    EXPECT_TRUE(refused([] { parseSchoolGrade(u"学校,0701"); }, 0, "school id"));
    EXPECT_TRUE(refused([] { parseSchoolGrade(u"s1,07011"); }, 3, "grade code"));
    expectInjectionsRefused("s1,0701", [](const QString &t) { parseSchoolGrade(t); });
}

TEST(CompositeKeys, UserAndRole)
{
    EXPECT_EQ(parseUserRole(u"teacher01,2"), (UserRole{"teacher01", 2}));
    EXPECT_EQ(parseUserRole(u"张老师,6"), (UserRole{QStringLiteral("张老师"), 6}));
    EXPECT_EQ(parseUserRole(u"li.ming@school-1,1").role, 1);
    for (const char *role : {"0", "7", "12", "", " 2", "２"})
        EXPECT_TRUE(
            refused([&] { parseUserRole(QStringLiteral("t,") + QString::fromUtf8(role)); }, 2, "role from 1 to 6"))
            << role;
    EXPECT_TRUE(refused([] { parseUserRole(u",2"); }, 0, "user code"));
    EXPECT_TRUE(refused([] { parseUserRole(u"t 1,2"); }, 0, "user code"));
    EXPECT_TRUE(refused([] { parseUserRole(u"t\u200B1,2"); }, 0, "user code"));
    expectInjectionsRefused("teacher01,2", [](const QString &t) { parseUserRole(t); });
}

TEST(CompositeKeys, ExamKeyOfThePValuePage)
{
    EXPECT_EQ(parseExamKeyText(u""), std::nullopt);
    EXPECT_EQ(parseExamKeyText(u"2012,0701,001"), (ExamKey{2012, "0701", "001"}));
    EXPECT_TRUE(refused([] { parseExamKeyText(u"2012,0701"); }, 9, "InYear,GradeCode,ExamCode"));
    EXPECT_TRUE(refused([] { parseExamKeyText(u"12,0701,001"); }, 0, "four digits"));
    EXPECT_TRUE(refused([] { parseExamKeyText(u"２０１２,0701,001"); }, 0, "only digits"));
    EXPECT_TRUE(refused([] { parseExamKeyText(u"2012,0701,0001"); }, 10, "exam code"));
    EXPECT_TRUE(refused([] { parseExamKeyText(u"2012,0701,001,x"); }, 13));
    expectInjectionsRefused("2012,0701,001", [](const QString &t) { parseExamKeyText(t); });
}

TEST(CompositeKeys, ExamIdWithOptionalRoster)
{
    EXPECT_EQ(parsePValExamKey(u"15"), (PValExamKey{15, std::nullopt}));
    EXPECT_EQ(parsePValExamKey(QStringLiteral("15;001,002;") + Student),
              (PValExamKey{15, StudentFilter{{"001", "002"}, {Student}}}));
    EXPECT_EQ(parsePValExamKey(QStringLiteral("15;") + Student), (PValExamKey{15, StudentFilter{{}, {Student}}}));
    EXPECT_TRUE(refused([] { parsePValExamKey(u""); }, 0, "exam id"));
    EXPECT_TRUE(refused([] { parsePValExamKey(u"0"); }, 0, "above 0"));
    EXPECT_TRUE(refused([] { parsePValExamKey(u"15;"); }, 3, "roster"));
    EXPECT_TRUE(refused([] { parsePValExamKey(u"15a"); }, 2, "only digits"));
    EXPECT_TRUE(refused([] { parsePValExamKey(u"-15"); }, 0));
    EXPECT_TRUE(refused([] { parsePValExamKey(u"1234567890123456789"); }, 0, "at most 18 digits"));
    EXPECT_TRUE(refused([] { parsePValExamKey(QStringLiteral("15;001;") + Student + QStringLiteral(";x")); }, 45,
                        "student code"));
    expectInjectionsRefused(QStringLiteral("15;001;") + Student, [](const QString &t) { parsePValExamKey(t); });

    EXPECT_EQ(parseIdText("header id", u"42"), 42);
    EXPECT_EQ(parseIdText("header id", u"123456789012345678"), 123456789012345678);
    for (const char *id : {"0", "", "4 2", "42 ", "+42", "1e3", "0x2a"})
        EXPECT_TRUE(refused([&] { parseIdText("header id", QString(id)); }, -1, "header id: expected")) << id;
    expectInjectionsRefused("42", [](const QString &t) { parseIdText("header id", t); });
}
