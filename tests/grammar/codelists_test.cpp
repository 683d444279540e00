#include "server/grammar/codelists.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

TEST(CodeLists, QuotedClassListOfAnExam)
{
    EXPECT_EQ(parseQuotedCodeList(u""), QStringList()); // the whole grade
    EXPECT_EQ(parseQuotedCodeList(u"'001','002'"), QStringList({"001", "002"}));
    EXPECT_EQ(parseQuotedCodeList(u"'001' , 'A2','3'"), QStringList({"001", "A2", "3"}));

    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'001','001'"); }, 6, "given twice"));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'001',"); }, 6, "single quotes"));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"001,002"); }, 0));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'001' '002'"); }, 6, "\",\" or the end"));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'0''1'"); }, 0, "letters or digits"));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'0001'"); }, 0));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"'三班'"); }, 0));
    EXPECT_TRUE(refused([] { parseQuotedCodeList(u"  "); }, 2));
    expectInjectionsRefused("'001','002'", [](const QString &t) { parseQuotedCodeList(t); });

    EXPECT_EQ(parseClassCodeList("class codes", u"001,002"), QStringList({"001", "002"}));
    EXPECT_EQ(parseClassCodeList("class codes", u""), QStringList());
    EXPECT_TRUE(
        refused([] { parseClassCodeList("class codes", u"001,,002"); }, 4, "class codes: expected a class code"));
    EXPECT_TRUE(refused([] { parseClassCodeList("class codes", u"001, 002"); }, 4));
    EXPECT_TRUE(refused([] { parseClassCodeList("class codes", u"001,001"); }, 4, "given twice"));
    expectInjectionsRefused("001,002", [](const QString &t) { parseClassCodeList("class codes", t); });
}

TEST(CodeLists, SubjectsOfAnAnalysis)
{
    using K = SubjectRef::Kind;
    EXPECT_EQ(
        parseSubjectList(u"001,FUL,MAI,BAS,012"),
        (QList<SubjectRef>{
            {K::Subject, "001"}, {K::FullTotal, {}}, {K::MainTotal, {}}, {K::BaseTotal, {}}, {K::Subject, "012"}}));
    EXPECT_TRUE(refused([] { parseSubjectList(u""); }, 0, "subject list: expected a subject code"));
    EXPECT_TRUE(refused([] { parseSubjectList(u"001,01"); }, 4));
    EXPECT_TRUE(refused([] { parseSubjectList(u"ful"); }, 0));
    EXPECT_TRUE(refused([] { parseSubjectList(u"A02"); }, 0, "three digits"));
    EXPECT_TRUE(refused([] { parseSubjectList(u"001,FUL,001"); }, 8, "given twice"));
    expectInjectionsRefused("001,FUL,002", [](const QString &t) { parseSubjectList(t); });
}

TEST(CodeLists, RankColumnsAreWhitelisted)
{
    const QStringList exam{"001", "002", "003"};
    EXPECT_EQ(parseOrderFieldList(
                  u"FULLTOTAL,FULLORDER,BASETOTAL,BASEORDER,MAINTOTAL,MAINORDER,C_001,O_001,C_003,O_003", exam, true),
              (RankColumns{true, true, true, {"001", "003"}}));
    EXPECT_EQ(parseOrderFieldList(u",FULLTOTAL,FULLORDER,MAINTOTAL,MAINORDER", exam, true),
              (RankColumns{true, false, true, {}}));
    EXPECT_EQ(parseOrderFieldList(u"c_002,o_002", exam, false), (RankColumns{false, false, false, {"002"}}));
    EXPECT_EQ(parseOrderFieldList(u"", exam, true), RankColumns{});
    EXPECT_EQ(parseOrderFieldList(u",", exam, true), RankColumns{});

    // Totals belong to the school-wide exam, in their fixed order, each with its rank.
    EXPECT_TRUE(
        refused([&] { parseOrderFieldList(u"FULLTOTAL,FULLORDER,C_001,O_001", exam, false); }, 0, "school-wide"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"FULLTOTAL,C_001,O_001", exam, true); }, 10, "expected FULLORDER"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"BASETOTAL,BASEORDER", exam, true); }, 0, "expected FULLTOTAL"));
    EXPECT_TRUE(refused(
        [&] { parseOrderFieldList(u"FULLTOTAL,FULLORDER,MAINTOTAL,MAINORDER,BASETOTAL,BASEORDER", exam, true); }, 40,
        "C_<subject code>"));
    // Subjects: only the exam's, each once, each score column with its own rank column.
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_009,O_009", exam, true); }, 2, "subject of this exam"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_001,O_002", exam, true); }, 6, "expected O_001"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_001", exam, true); }, 5, "expected O_001"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_001,O_001,C_001,O_001", exam, true); }, 12, "given twice"));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_001,O_001,", exam, true); }, 12));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"sPass", exam, true); }, 0));
    EXPECT_TRUE(refused([&] { parseOrderFieldList(u"C_001 ,O_001", exam, true); }, 2));
    expectInjectionsRefused("FULLTOTAL,FULLORDER,C_001,O_001",
                            [&](const QString &t) { parseOrderFieldList(t, exam, true); });
}

TEST(CodeLists, SubjectSetsAndStudentRangeOfAPValueRecord)
{
    EXPECT_EQ(parseSubjectSet(u"001,002,005"), QStringList({"001", "002", "005"}));
    EXPECT_TRUE(refused([] { parseSubjectSet(u""); }, 0, "three digits"));
    EXPECT_TRUE(refused([] { parseSubjectSet(u"001,2"); }, 4));
    EXPECT_TRUE(refused([] { parseSubjectSet(u"001;002"); }, 0));
    EXPECT_TRUE(refused([] { parseSubjectSet(u"001,001"); }, 4, "given twice"));
    expectInjectionsRefused("001,002,005", [](const QString &t) { parseSubjectSet(t); });

    EXPECT_EQ(parseMergedSubjectSet(u"001;002,003"), (QList<QStringList>{{"001", "002"}, {"003"}}));
    EXPECT_EQ(parseMergedSubjectSet(u"001,002,003,004,005,006,007,008,009,010").size(), 10);
    EXPECT_TRUE(refused([] { parseMergedSubjectSet(u"001,;002"); }, 4));
    EXPECT_TRUE(refused([] { parseMergedSubjectSet(u"001,002;001"); }, 8, "given twice"));
    expectInjectionsRefused("001;002,003", [](const QString &t) { parseMergedSubjectSet(t); });

    EXPECT_EQ(parseStudentRange("sTypes", u"统招生,借读生,已选名单"),
              (StudentRange{{QStringLiteral("统招生"), QStringLiteral("借读生")}, true}));
    EXPECT_EQ(parseStudentRange("sTypes", u"已选名单"), (StudentRange{{}, true}));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", u""); }, 0, "sTypes: expected a student type"));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", u"统招生,,借读生"); }, 4));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", u"统招生;借读生"); }, 3, "unexpected \";\""));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", u"统招生,统招生"); }, 4, "given twice"));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", u"统招\u202E生"); }, 2, "invisible"));
    EXPECT_TRUE(refused([] { parseStudentRange("sTypes", QString(33, u'生')); }, 0, "1 to 32"));
    // A caption is a value the server compares with the registry's captions, bound as a
    // parameter: SQL-like text inside one is only an unknown caption.
    EXPECT_EQ(parseStudentRange("sTypes", u"统招生' or '1'='1").studentTypes, QStringList({"统招生' or '1'='1"}));
}

TEST(CodeLists, SubjectsOfAScoreSheetWithTheClassTreeSelection)
{
    EXPECT_EQ(parseSheetSubjectFilter(u"001;002;003"), (SheetSubjectFilter{false, {}, {"001", "002", "003"}}));
    EXPECT_EQ(parseSheetSubjectFilter(u"001,002"), (SheetSubjectFilter{false, {}, {"001", "002"}}));
    EXPECT_EQ(parseSheetSubjectFilter(u"@001,003;001;002"), (SheetSubjectFilter{true, {"001", "003"}, {"001", "002"}}));
    EXPECT_EQ(parseSheetSubjectFilter(u"@;001"), (SheetSubjectFilter{true, {}, {"001"}})) << "a selection of no class";
    EXPECT_EQ(parseSheetSubjectFilter(u""), SheetSubjectFilter{});

    EXPECT_TRUE(refused([] { parseSheetSubjectFilter(u"001;002;"); }, 8, "three digits"));
    EXPECT_TRUE(refused([] { parseSheetSubjectFilter(u"001;001"); }, 4, "given twice"));
    EXPECT_TRUE(refused([] { parseSheetSubjectFilter(u"@001"); }, 4, "after the selected classes"));
    EXPECT_TRUE(refused([] { parseSheetSubjectFilter(u"@001,三班;001"); }, 5, "class code"));
    EXPECT_TRUE(refused([] { parseSheetSubjectFilter(u"FUL;001"); }, 0));
    expectInjectionsRefused("@001,002;001;002", [](const QString &t) { parseSheetSubjectFilter(t); });
}
