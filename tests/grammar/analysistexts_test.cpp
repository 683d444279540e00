#include "server/grammar/analysistexts.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

namespace {
using K = SubjectRef::Kind;
const QString StudentA = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString StudentB = QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
} // namespace

TEST(ExamList, ReadsTheComparedExamsInTheirOrder)
{
    EXPECT_EQ(parseExamList(u"0702;003;⊥,0701;001;⊥"),
              (QList<ExamRef>{{"0702", "003", NoPageMarker}, {"0701", "001", NoPageMarker}}));
    // Items with a blank, a quote or a comma come quoted, inner quotes doubled; quoting an item
    // that needs none is harmless.
    EXPECT_EQ(parseExamList(u"\"0701;001;⊥\",\"0701;002;张 老师\",\"0701;003;a\"\"b,c\""),
              (QList<ExamRef>{{"0701", "001", NoPageMarker},
                              {"0701", "002", QStringLiteral("张 老师")},
                              {"0701", "003", "a\"b,c"}}));
    // A page name is a value the server binds: SQL-like text in it only names no exam.
    EXPECT_EQ(parseExamList(u"0701;001;⊥,\"0702;003;x' or 1=1 --\"").last().pageName, "x' or 1=1 --");
}

TEST(ExamList, RefusesMalformedItems)
{
    EXPECT_TRUE(refused([] { parseExamList(u""); }, 0, "exam list: expected GradeCode;ExamCode;PageName"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥"); }, 10, "at least two exams"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,0701;001;⊥"); }, 11, "listed twice"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥ ,0702;003;⊥"); }, 10, "unquoted"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,0702;003"); }, 19, "GradeCode;ExamCode;PageName"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥;x,0702;003;⊥"); }, 10));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,0702;003;⊥,"); }, 22));
    EXPECT_TRUE(refused([] { parseExamList(u"\"0701;001;⊥,0702;003;⊥"); }, 0, "no closing quote"));
    EXPECT_TRUE(refused([] { parseExamList(u"\"0701;001;⊥\"x,0702;003;⊥"); }, 12, "\",\""));
    EXPECT_TRUE(refused([] { parseExamList(u"07011;001;⊥,0702;003;⊥"); }, 0, "grade code"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;0001;⊥,0702;003;⊥"); }, 5, "exam code"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;,0702;003;⊥"); }, 9, "page name"));
    // Positions inside a quoted item count the doubled quotes of the text.
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,\"0702;\"\"3;⊥\""); }, 17, "exam code"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,\"0702;003;a\u200Bb\""); }, 22, "invisible"));
    EXPECT_TRUE(
        refused([&] { parseExamList(QStringLiteral("0701;001;⊥,0702;003;") + QString(65, u'x')); }, 20, "1 to 64"));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,0702;003;⊥; drop table XJ_Student"); }, 22));
    EXPECT_TRUE(refused([] { parseExamList(u"0701;001;⊥,0702' or '1'='1;003;⊥"); }, 16));
}

TEST(ExamList, OneExamIsOneItemOfTheList)
{
    EXPECT_EQ(parseExamRef("LastExam", u"0701;001;⊥"), (ExamRef{"0701", "001", NoPageMarker}));
    EXPECT_EQ(parseExamRef("LastExam", u"\"0701;002;张 老师\""), (ExamRef{"0701", "002", QStringLiteral("张 老师")}));
    // The errors name the argument and point into it.
    EXPECT_TRUE(refused([] { parseExamRef("LastExam", u""); }, 0, "LastExam: expected GradeCode;ExamCode;PageName"));
    EXPECT_TRUE(refused([] { parseExamRef("LastExam", u"0701;001;⊥,0701;002;⊥"); }, 10, "the end after the exam"));
    EXPECT_TRUE(refused([] { parseExamRef("LastExam", u"0701;001;⊥,"); }, 10, "the end after the exam"));
    EXPECT_TRUE(refused([] { parseExamRef("LastExam", u"0701;001"); }, 8, "GradeCode;ExamCode;PageName"));
    EXPECT_TRUE(refused([] { parseExamRef("LastExam", u"\"0701;001;⊥\"x"); }, 12, "the end after the exam"));
}

TEST(ExamSumSettings, DistributionSettings)
{
    ExamSumSettings s = parseExamSumSettings(0, u"11111111110;001;统招生,借读生");
    EXPECT_EQ(s.items, (QList<bool>{true, true, true, true, true, true, true, true, true, true, false}));
    EXPECT_FALSE(s.rankLayers);
    EXPECT_EQ(s.subject, (SubjectRef{K::Subject, "001"}));
    EXPECT_FALSE(s.allStudentTypes);
    EXPECT_EQ(s.studentTypes, QStringList({QStringLiteral("统招生"), QStringLiteral("借读生")}));

    s = parseExamSumSettings(0, u"00000000001,30-60-90,30-90;FUL;ALL");
    EXPECT_EQ(s.items.count(true), 1);
    EXPECT_TRUE(s.items.last());
    EXPECT_TRUE(s.rankLayers);
    EXPECT_EQ(s.topCuts, (QList<int>{30, 60, 90}));
    EXPECT_EQ(s.bottomCuts, (QList<int>{30, 90}));
    EXPECT_EQ(s.subject.kind, K::FullTotal);
    EXPECT_TRUE(s.allStudentTypes);
    EXPECT_TRUE(s.studentTypes.isEmpty());

    s = parseExamSumSettings(0, u"11111111110,,;BAS;ALL"); // layers ticked, every cell 0
    EXPECT_TRUE(s.rankLayers);
    EXPECT_TRUE(s.topCuts.isEmpty() && s.bottomCuts.isEmpty());

    const auto kind0 = [](const char16_t *text) { return [text] { parseExamSumSettings(0, text); }; };
    EXPECT_TRUE(refused(kind0(u"1111111111;001;ALL"), 0, "analysis settings: expected 11 item states"));
    EXPECT_TRUE(refused(kind0(u"111111111101;001;ALL"), 0, "11 item states"));
    EXPECT_TRUE(refused(kind0(u"11111111110,30-0,30;001;ALL"), 15, "1 to 500"));
    EXPECT_TRUE(refused(kind0(u"11111111110,501,30;001;ALL"), 12, "1 to 500"));
    EXPECT_TRUE(refused(kind0(u"11111111110,30-60-90-120-150-180,30;001;ALL"), 29, "at most 5"));
    EXPECT_TRUE(refused(kind0(u"11111111110,30;001;ALL"), 14, "from the bottom"));
    EXPECT_TRUE(refused(kind0(u"11111111110;01;ALL"), 12, "subject code"));
    EXPECT_TRUE(refused(kind0(u"11111111110;001"), 15, "expected \";\""));
    EXPECT_TRUE(refused(kind0(u"11111111110;001;"), 16, "student type"));
    EXPECT_TRUE(refused(kind0(u"11111111110;001;已选名单"), 16, "filter"));
    EXPECT_TRUE(refused(kind0(u"11111111110;001;ALL; drop table XJ_Student"), 19, "unexpected \";\""));
    EXPECT_TRUE(refused(kind0(u"11111111110' or 1=1 --;001;ALL"), 11));
    EXPECT_TRUE(refused(kind0(u"11111111110;001' or '1'='1;ALL"), 12));
    EXPECT_TRUE(refused([] { parseExamSumSettings(4, u"11111111110;001;ALL"); }, 0, "report kind"));
}

TEST(ExamSumSettings, ComparisonSettings)
{
    const QString items = QStringLiteral("111111001111100000000");
    ExamSumSettings s = parseExamSumSettings(1, items + QStringLiteral(";统招生,已选名单;001,002,FUL,MAI,BAS"));
    EXPECT_EQ(s.items.size(), 21);
    EXPECT_EQ(s.items.count(true), 11);
    EXPECT_EQ(s.range, (StudentRange{{QStringLiteral("统招生")}, true}));
    EXPECT_EQ(
        s.subjects,
        (QList<SubjectRef>{
            {K::Subject, "001"}, {K::Subject, "002"}, {K::FullTotal, {}}, {K::MainTotal, {}}, {K::BaseTotal, {}}}));
    EXPECT_EQ(parseExamSumSettings(3, items + QStringLiteral(";借读生;005")).subjects,
              (QList<SubjectRef>{{K::Subject, "005"}}));

    const auto compare = [&](int kind, const QString &rest) {
        return [=] { parseExamSumSettings(kind, items + rest); };
    };
    EXPECT_TRUE(refused(compare(2, ";统招生;001,FUL,MAI,BAS"), 30, "class comparison only"));
    EXPECT_TRUE(refused(compare(1, ";统招生;FUL,MAI,BAS"), 26, "after the subject codes"));
    EXPECT_TRUE(refused(compare(1, ";统招生;001,MAI,FUL,BAS"), 30, "FUL,MAI,BAS"));
    EXPECT_TRUE(refused(compare(1, ";统招生;001,FUL,MAI"), 30, "FUL,MAI,BAS"));
    EXPECT_TRUE(refused(compare(1, ";统招生;001,001"), 30, "given twice"));
    EXPECT_TRUE(refused(compare(1, ";;001"), 22, "student type"));
    EXPECT_TRUE(refused(compare(1, ";统招生"), 25, "expected \";\""));
    EXPECT_TRUE(refused(compare(1, ";统招生;001;002"), 29, "unexpected \";\""));
    EXPECT_TRUE(refused(compare(1, ";统招生;001' or 1=1 --"), 26));
    EXPECT_TRUE(refused([] { parseExamSumSettings(1, u"11111111110;统招生;001"); }, 0, "21 item states"));
}

TEST(StudentExclusion, ClassesAndTheStudentsNotTicked)
{
    EXPECT_EQ(parseStudentExclusion(u""), StudentFilter{});
    EXPECT_EQ(parseStudentExclusion(QStringLiteral("001,002;") + StudentA + u',' + StudentB),
              (StudentFilter{{"001", "002"}, {StudentA, StudentB}}));
    EXPECT_EQ(parseStudentExclusion(u"001,002;"), (StudentFilter{{"001", "002"}, {}}));
    EXPECT_EQ(parseStudentExclusion(StudentA), (StudentFilter{{}, {StudentA}}));
    EXPECT_EQ(parseStudentExclusion(QStringLiteral(";") + StudentA), (StudentFilter{{}, {StudentA}}));

    EXPECT_TRUE(refused([] { parseStudentExclusion(QStringLiteral("001;") + StudentA + QStringLiteral(";x")); }, 42,
                        "student code"));
    EXPECT_TRUE(refused([] { parseStudentExclusion(StudentA + u',' + StudentA); }, 39, "given twice"));
    EXPECT_TRUE(refused([] { parseStudentExclusion(StudentA + QStringLiteral(", ") + StudentB); }, 39));
    EXPECT_TRUE(refused([] { parseStudentExclusion(QStringLiteral("001,0001;") + StudentA); }, 4, "class code"));
    EXPECT_TRUE(refused([] { parseStudentExclusion(QString(65, u'a')); }, 0, "1 to 64"));
    EXPECT_TRUE(refused([] { parseStudentExclusion(StudentA + QStringLiteral(",,")); }, 39));
    expectInjectionsRefused(QStringLiteral("001,002;") + StudentA, [](const QString &t) { parseStudentExclusion(t); });
}
