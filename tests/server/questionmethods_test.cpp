// Questions of an exam's subject on both back ends: the question list and its checks, question
// scores that must add up to the subject score (every mismatch listed, nothing stored), a
// question with scores kept, the item analysis and the 一分一段 table worked by hand, and who may
// write them.
//
// 语文 (001) of the mid-term, full mark 10, two questions: 1 (4 marks, objective, 字词) and 2 (6).
//   student  class  语文  question 1  question 2
//   {A}      001    9     4           5
//   {B}      001    6     2           4
//   {C}      002    3     1           2
//   {D}      002    —     —           —
// Groups: 27 % of the three with question scores is 0.81, one student: A above, C below.
//   question 1: mean 7/3 = 2.33, P = 2.33 ÷ 4 = 0.58, D = (4 − 1) ÷ 4 = 0.75;
//               score rate 001: (4 + 2) ÷ 2 ÷ 4 = 75 %, 002: 1 ÷ 4 = 25 %, grade 58.3 %
//   question 2: mean 11/3 = 3.67, P = 0.61, D = (5 − 2) ÷ 6 = 0.5

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "wire/codec.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::FieldType;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class QuestionMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('4011', '40', NULL, ?, 20)",
                {QStringLiteral("成绩录入")});
        db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4011')");
        db.exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', '001', ?)", {QStringLiteral("语文")});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"sNO\", \"iState\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, ?, '00')";
        db.exec(student, {"{A}", "001", 1, QStringLiteral("张三"), "2026001"});
        db.exec(student, {"{B}", "001", 2, QStringLiteral("李四"), "2026002"});
        db.exec(student, {"{C}", "002", 1, QStringLiteral("王五"), "2026003"});
        db.exec(student, {"{D}", "002", 2, QStringLiteral("赵六"), "2026004"});
        // Wang teaches 语文 in class 002 only.
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") VALUES "
                "('S1', 2026, '1701', '002', '001', ?)",
                {kTeacherCode});
        exam = db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                                    "\"ModifyRight\", \"Freeze\") VALUES ('S1', '1701', 2026, '001', ?, ?, 63, ?)",
                                    {kNoPage, QStringLiteral("期中考试"), db.toDb(false, FieldType::Boolean)}, "Id");
        db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                "\"FullMark\") VALUES ('S1', '1701', 2026, '001', ?, '001', 1, 10)",
                {kNoPage});
        for (const auto &[s, klass, score] : std::initializer_list<std::tuple<const char *, const char *, double>>{
                 {"{A}", "001", 9}, {"{B}", "001", 6}, {"{C}", "002", 3}, {"{D}", "002", -1}}) {
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\", \"FullTotal\") VALUES (?, ?, ?, ?)",
                    {exam, s, klass, score < 0 ? QVariant() : QVariant(score)});
            if (score >= 0)
                db.exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, '001', ?)", {exam, s, score});
        }
        admin = fx->signIn("admin", "lumeko");
        wang = fx->signIn("wang", "pw6");
    }

    QList<wire::Argument> examArgs(const char *subject) const { return {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(qint64(2026)), txt(subject)}; }
    wire::Reply defineQuestions(const QString &token, QList<std::tuple<QString, QVariant, bool, QString>> rows)
    {
        wire::DataPacket p({{"QuestionNo", FieldType::Text, 10, 0},
                            {"FullMark", FieldType::Float, 0, 0},
                            {"bObjective", FieldType::Boolean, 0, 0},
                            {"sKnowledge", FieldType::Text, 100, 0}});
        for (const auto &[n, full, objective, knowledge] : rows)
            p.appendRow({n, full, objective, knowledge});
        QList<wire::Argument> args = examArgs("001");
        args << val(p);
        return fx->call("AchieveUp", "UpExamQuestions", args, token);
    }
    wire::Reply importScores(const QString &token, const QStringList &columns, QList<QVariantList> rows)
    {
        QList<wire::FieldDef> fields{{"StudentCode", FieldType::Text, 0, 0}};
        for (const QString &c : columns)
            fields.append({c, FieldType::Text, 0, 0});
        wire::DataPacket p(fields);
        for (const QVariantList &r : rows)
            p.appendRow(r);
        QList<wire::Argument> args = examArgs("001");
        args << val(p);
        return fx->call("AchieveUp", "UpQuestionMarks", args, token);
    }
    qint64 storedScores() { return fx->db().scalar("SELECT COUNT(*) FROM \"CJ_QuestionMark\"").toLongLong(); }
    std::pair<wire::DataPacket, wire::DataPacket> analysis(const char *subject, qint64 kind, const QString &token)
    {
        QList<wire::Argument> args = examArgs(subject);
        args << val(kind) << ref() << ref();
        const wire::Reply r = fx->call("AchieveQry", "QItemAnalysis", args, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        if (!r.ok()) return {};
        return {std::get<wire::DataPacket>(r.refs[7]), std::get<wire::DataPacket>(r.refs[8])};
    }
    static QString cells(const wire::DataPacket &p, qsizetype row, const QStringList &fields)
    {
        QStringList out;
        for (const QString &f : fields) {
            const QVariant v = p.value(row, p.fieldIndex(f));
            out << (wire::isNull(v) ? QStringLiteral("-") : v.toString());
        }
        return out.join(u' ');
    }
    void defineAndImport()
    {
        ASSERT_TRUE(defineQuestions(admin, {{"1", 4.0, true, QStringLiteral("字词")}, {"2", 6.0, false, QString()}}).ok());
        const wire::Reply r = importScores(admin, {"Q_1", "Q_2"}, {{"{A}", "4", "5"}, {"{B}", "2", "4"}, {"{C}", "1", "2"}, {"{D}", QVariant(), QVariant()}});
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(std::get<qint64>(r.result), 4);
    }

    std::unique_ptr<ServiceFixture> fx;
    qint64 exam = 0;
    QString admin, wang;
};

TEST_P(QuestionMethodsTest, TheQuestionListIsCheckedAsAWholeAndKeepsQuestionsThatHaveScores)
{
    const wire::Reply bad =
        defineQuestions(admin, {{"1", 4.0, true, {}}, {"1", 3.0, false, {}}, {"2,3", 2.0, false, {}}, {"4", 11.0, false, {}}, {"5", 0.0, false, {}}});
    EXPECT_EQ(bad.error, ErrorCode::Refused);
    for (const char *part : {"question 1 comes twice", "\"2,3\" is no question number", "row 4: the full mark", "row 5: the full mark"})
        EXPECT_TRUE(bad.message.contains(QString::fromUtf8(part))) << part << " in " << bad.message.toStdString();
    EXPECT_EQ(fx->db().scalar("SELECT COUNT(*) FROM \"CJ_ExamQuestion\"").toLongLong(), 0);

    defineAndImport();
    QList<wire::Argument> args = examArgs("001");
    args << ref();
    const wire::Reply listed = fx->call("AchieveQry", "QExamQuestions", args, admin);
    ASSERT_TRUE(listed.ok()) << listed.message.toStdString();
    const auto &list = std::get<wire::DataPacket>(listed.refs[6]);
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(cells(list, 0, {"QuestionNo", "iOrder", "FullMark", "sKnowledge", "nScored"}), QStringLiteral("1 1 4 字词 3"));

    const wire::Reply removing = defineQuestions(admin, {{"1", 4.0, true, {}}});
    EXPECT_TRUE(removing.message.contains(u"the question 2 has scores")) << removing.message.toStdString();
    const wire::Reply lowering = defineQuestions(admin, {{"1", 3.0, true, {}}, {"2", 6.0, false, {}}});
    EXPECT_TRUE(lowering.message.contains(u"score of 4, above the full mark 3")) << lowering.message.toStdString();
    // The knowledge point and the order may change; a new question may come.
    ASSERT_TRUE(defineQuestions(admin, {{"2", 6.0, false, QStringLiteral("阅读")}, {"1", 4.0, true, QStringLiteral("字词")}, {"3", 2.0, false, {}}}).ok());
    EXPECT_EQ(fx->db().scalar("SELECT \"QuestionNo\" FROM \"CJ_ExamQuestion\" WHERE \"iOrder\" = 1").toString(), QStringLiteral("2"));
    EXPECT_EQ(storedScores(), 6) << "the scores stay with their questions";
}

TEST_P(QuestionMethodsTest, ScoresThatDoNotAddUpAreAllListedAndNothingIsStored)
{
    ASSERT_TRUE(defineQuestions(admin, {{"1", 4.0, true, {}}, {"2", 6.0, false, {}}}).ok());
    const wire::Reply r = importScores(
        admin, {"Q_1", "Q_2"}, {{"{A}", "4", "5"}, {"{B}", "2", "3"}, {"{C}", "7", "x"}, {"{D}", "1", QVariant()}, {"{Z}", "1", "1"}, {"{A}", "4", "5"}});
    EXPECT_EQ(r.error, ErrorCode::Refused);
    for (const char *part : {"李四(2026002)'s question scores add up to 5, the subject score is 6", "score 7 on question 1 is not between 0 and 4",
                             "score x on question 2", "赵六(2026004) has no 001 score", "{Z} is no candidate", "row 6: 张三(2026001) comes twice"})
        EXPECT_TRUE(r.message.contains(QString::fromUtf8(part))) << part << " in " << r.message.toStdString();
    EXPECT_EQ(storedScores(), 0);
    const wire::Reply column = importScores(admin, {"Q_1", "Q_9"}, {{"{A}", "4", "5"}});
    EXPECT_TRUE(column.message.contains(u"the column Q_9 is no question")) << column.message.toStdString();

    defineAndImport();
    EXPECT_EQ(storedScores(), 6);
    // A row without question scores clears the student's; the others stay.
    ASSERT_TRUE(importScores(admin, {"Q_1", "Q_2"}, {{"{C}", QVariant(), ""}}).ok());
    EXPECT_EQ(storedScores(), 4);

    // The sheet a page edits: the candidates the user sees with the subject and question scores.
    QList<wire::Argument> args = examArgs("001");
    args << ref();
    const wire::Reply sheet = fx->call("AchieveQry", "QQuestionSheet", args, admin);
    ASSERT_TRUE(sheet.ok()) << sheet.message.toStdString();
    const auto &p = std::get<wire::DataPacket>(sheet.refs[6]);
    ASSERT_EQ(p.rowCount(), 4);
    EXPECT_EQ(cells(p, 0, {"StudentCode", "sNO", "sName", "ClassCode", "Score", "Q_1", "Q_2"}), QStringLiteral("{A} 2026001 张三 001 9 4 5"));
    EXPECT_EQ(cells(p, 2, {"StudentCode", "Score", "Q_1", "Q_2"}), QStringLiteral("{C} 3 - -"));
    const wire::Reply his = fx->call("AchieveQry", "QQuestionSheet", args, wang);
    ASSERT_TRUE(his.ok());
    EXPECT_EQ(std::get<wire::DataPacket>(his.refs[6]).rowCount(), 2) << "class 002 only";
}

// A table's field names are told apart without regard to letter case, so 13a and 13A would give
// the sheet the column Q_13A twice, which no client reads: they are one number.
TEST_P(QuestionMethodsTest, NumbersInAnotherLetterCaseAreOneQuestionAndTheSheetReadsBack)
{
    const wire::Reply twice = defineQuestions(admin, {{"13a", 4.0, false, {}}, {"13A", 3.0, false, {}}, {"13B", 3.0, false, {}}});
    EXPECT_EQ(twice.error, ErrorCode::Refused);
    EXPECT_TRUE(twice.message.contains(u"row 2: the question 13A comes twice")) << twice.message.toStdString();
    EXPECT_FALSE(twice.message.contains(u"row 3")) << twice.message.toStdString();
    EXPECT_EQ(fx->db().scalar("SELECT COUNT(*) FROM \"CJ_ExamQuestion\"").toLongLong(), 0);

    ASSERT_TRUE(defineQuestions(admin, {{"13a", 4.0, false, {}}, {"13B", 6.0, false, {}}}).ok());
    QList<wire::Argument> args = examArgs("001");
    args << ref();
    const wire::Reply sheet = fx->call("AchieveQry", "QQuestionSheet", args, admin);
    ASSERT_TRUE(sheet.ok()) << sheet.message.toStdString();
    const wire::DataPacket back = wire::decodeDataPacket(wire::encodeDataPacket(std::get<wire::DataPacket>(sheet.refs[6])));
    EXPECT_EQ(back.fieldIndex(QStringLiteral("Q_13a")), 6);
    EXPECT_EQ(back.fieldIndex(QStringLiteral("Q_13B")), 7);
}

TEST_P(QuestionMethodsTest, TheItemAnalysisAndTheScoreSegmentsAsWorkedByHand)
{
    defineAndImport();
    const auto [fields, rows] = analysis("001", 0, admin);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(cells(rows, 0, {"QuestionNo", "sKind", "nAnswered", "nAvg", "nP", "nD", "nFull", "nRate", "R_001", "R_002"}),
              QStringLiteral("1 客观题 3 2.33 0.58 0.75 1 58.3 75 25"));
    EXPECT_EQ(cells(rows, 1, {"QuestionNo", "sKind", "nAvg", "nP", "nD", "nUpperAvg", "nLowerAvg"}), QStringLiteral("2 主观题 3.67 0.61 0.5 5 2"));
    QStringList captions;
    for (qsizetype r = 0; r < fields.rowCount(); ++r)
        captions << fields.value(r, fields.fieldIndex(QStringLiteral("sFldCaption"))).toString();
    EXPECT_TRUE(captions.contains(QStringLiteral("难度")));
    EXPECT_TRUE(captions.contains(QStringLiteral("区分度")));

    const auto [segFields, segments] = analysis("001", 1, admin);
    ASSERT_EQ(segments.rowCount(), 7) << "9 down to 3";
    EXPECT_EQ(cells(segments, 0, {"nScore", "nCount", "nCumulative", "nCumulativePct", "nRank"}), QStringLiteral("9 1 1 33.33 1"));
    EXPECT_EQ(cells(segments, 3, {"nScore", "nCount", "nCumulative", "nRank"}), QStringLiteral("6 1 2 2"));
    EXPECT_EQ(cells(segments, 6, {"nScore", "nCount", "nCumulative", "nRank"}), QStringLiteral("3 1 3 3"));
    const auto [totalFields, totals] = analysis("FUL", 1, admin);
    EXPECT_EQ(totals.rowCount(), 7) << "the totals 9, 6 and 3";

    // Wang sees class 002 only: C's scores alone.
    const auto [wangFields, wangRows] = analysis("001", 0, wang);
    ASSERT_EQ(wangRows.rowCount(), 2);
    EXPECT_EQ(cells(wangRows, 0, {"nAnswered", "nAvg", "nP"}), QStringLiteral("1 1 0.25"));
    EXPECT_LT(wangFields.rowCount(), fields.rowCount()) << "no column of class 001";
}

TEST_P(QuestionMethodsTest, OnlyThoseWhoMayWriteTheSubjectStoreQuestionsOrTheirScores)
{
    ASSERT_TRUE(defineQuestions(admin, {{"1", 4.0, true, {}}, {"2", 6.0, false, {}}}).ok());
    const wire::Reply list = defineQuestions(wang, {{"1", 4.0, true, {}}});
    EXPECT_EQ(list.error, ErrorCode::Forbidden) << "the list is every class's";
    const wire::Reply other = importScores(wang, {"Q_1", "Q_2"}, {{"{A}", "4", "5"}});
    EXPECT_TRUE(other.message.contains(u"you may not change 001 of 张三")) << other.message.toStdString();
    const wire::Reply his = importScores(wang, {"Q_1", "Q_2"}, {{"{C}", "1", "2"}});
    EXPECT_TRUE(his.ok()) << his.message.toStdString();
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {fx->db().toDb(true, FieldType::Boolean)});
    EXPECT_EQ(importScores(admin, {"Q_1", "Q_2"}, {{"{A}", "4", "5"}}).error, ErrorCode::Forbidden) << "a frozen exam";
    EXPECT_EQ(storedScores(), 2);

    // Wrong arguments never reach the tables.
    QList<wire::Argument> args = examArgs("1' OR '1'='1");
    args << ref();
    EXPECT_EQ(fx->call("AchieveQry", "QExamQuestions", args, admin).error, ErrorCode::BadArguments);
    QList<wire::Argument> kind = examArgs("001");
    kind << val(qint64(2)) << ref() << ref();
    EXPECT_EQ(fx->call("AchieveQry", "QItemAnalysis", kind, admin).error, ErrorCode::BadArguments);
}

INSTANTIATE_TEST_SUITE_P(Backends, QuestionMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
