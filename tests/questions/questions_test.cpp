// Questions of an exam's subject in the module: what the dialog refuses before anything is sent
// (numbers, full marks, scores out of range, question scores that do not add up), the rows it
// sends, and the dialog over a small exam: questions defined, scores pasted from a marking
// system's sheet, a mismatch listed, the analysis opened on a report page.

#include "analysis/questionsheet.h"
#include "analysis/ufrmexamquestions.h"
#include "analysis/ufrmreportpage.h"
#include "framework/import/upubimportset.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "framework/pageregistry.h"
#include "qstringprint.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

void fillSheet(DataSet &d, std::initializer_list<QVariantList> rows)
{
    d.createTable({{"StudentCode", wire::FieldType::Text, 0, 0},
                   {"sNO", wire::FieldType::Text, 0, 0},
                   {"sName", wire::FieldType::Text, 0, 0},
                   {"Score", wire::FieldType::Float, 0, 0},
                   {"Q_1", wire::FieldType::Float, 0, 0},
                   {"Q_2", wire::FieldType::Float, 0, 0}});
    for (const QVariantList &r : rows)
        d.appendRecord(r);
    d.mergeChangeLog();
}

TEST(QuestionSheet, TheListAndTheScoresAreCheckedInTheTeachersWords)
{
    DataSet questions;
    questions.createTable({{"QuestionNo", wire::FieldType::Text, 10, 0}, {"FullMark", wire::FieldType::Float, 0, 0}});
    for (const auto &[n, full] : std::initializer_list<std::pair<const char *, double>>{{"1", 4}, {"1", 3}, {"2,3", 2}, {"4", 11}, {"5", 0}})
        questions.appendRecord({QString::fromUtf8(n), full});
    const QStringList listProblems = questionListProblems(questions, 10);
    EXPECT_EQ(listProblems.join(u'|'), QStringLiteral("第2行：题号“1”重复！|第3行：题号“2,3”无效（1至10个字符，不含逗号、分号和引号）！|"
                                                      "第4行：题目满分须大于0且不超过科目满分10！|第5行：题目满分须大于0且不超过科目满分10！"));

    const QList<QuestionDef> defs{{QStringLiteral("1"), 4}, {QStringLiteral("2"), 6}};
    DataSet sheet;
    fillSheet(sheet, {{"{A}", "2026001", QStringLiteral("张三"), 9.0, 4.0, 5.0},
                      {"{B}", "2026002", QStringLiteral("李四"), 6.0, 2.0, 3.0},
                      {"{C}", "2026003", QStringLiteral("王五"), 3.0, 4.5, QVariant()},
                      {"{D}", "2026004", QStringLiteral("赵六"), QVariant(), 1.0, QVariant()},
                      {"{E}", "2026005", QStringLiteral("钱七"), 8.0, QVariant(), QVariant()}});
    EXPECT_EQ(questionSheetProblems(sheet, defs).join(u'|'),
              QStringLiteral("第2行 李四(2026002)：小题分之和 5，科目成绩 6|第3行 王五(2026003)：第1题得分“4.5”不在0至4之间|"
                             "第4行 赵六(2026004)：没有科目成绩，小题分无从核对"))
        << "钱七 without question scores is fine";

    // Only the rows changed since loading are sent, with every question column.
    ASSERT_TRUE(sheet.locate(QStringLiteral("StudentCode"), {QStringLiteral("{B}")}));
    sheet.edit();
    sheet.setValue(u"Q_2", 4.0);
    sheet.post();
    const wire::DataPacket sent = changedQuestionRows(sheet, defs);
    ASSERT_EQ(sent.rowCount(), 1);
    EXPECT_EQ(sent.value(0, 0).toString(), QStringLiteral("{B}"));
    EXPECT_EQ(sent.value(0, sent.fieldIndex(QStringLiteral("Q_1"))).toString(), QStringLiteral("2"));
    EXPECT_EQ(sent.value(0, sent.fieldIndex(QStringLiteral("Q_2"))).toString(), QStringLiteral("4"));
}

// What the dialog lets through must be what UpExamQuestions and UpQuestionMarks take, or the teacher
// only hears "更新失败！" after he has pasted a whole sheet.
TEST(QuestionSheet, TheChecksRefuseWhatTheServerRefusesAndNoMore)
{
    // Subject full mark 10. 13a and 13A would be one column of the sheet (Q_13A, by a table's
    // rules on field names); a tab inside a number and a full mark a hair above the subject's are
    // refused by the server; the subject's full mark itself is not.
    DataSet questions;
    questions.createTable({{"QuestionNo", wire::FieldType::Text, 10, 0}, {"FullMark", wire::FieldType::Float, 0, 0}});
    for (const auto &[n, full] :
         std::initializer_list<std::pair<const char *, double>>{{"13a", 4}, {"13A", 3}, {"1\t2", 2}, {"5", 10.004}, {"6", 10}, {"二.1", 2}})
        questions.appendRecord({QString::fromUtf8(n), full});
    EXPECT_EQ(questionListProblems(questions, 10).join(u'|'),
              QStringLiteral("第2行：题号“13A”重复！|第3行：题号“1\t2”无效（1至10个字符，不含逗号、分号和引号）！|第4行：题目满分须大于0且不超过科目满分10！"));

    // Questions 1 and 2 of 6 marks each. The server keeps scores to the hundredth and adds up what
    // it keeps: 张三's 5.333 + 2.333 are 5.33 + 2.33 = 7.66, not his 7.67, though the thirds add
    // up to 7.666; 李四's are 7.66 exactly. 王五's 2.5 + 3.25 = 5.75. 赵六's 2.496 + 2.496 are
    // kept as 2.5 + 2.5 = 5, not his 4.99, though they add up to 4.992.
    const QList<QuestionDef> defs{{QStringLiteral("1"), 6}, {QStringLiteral("2"), 6}};
    DataSet sheet;
    fillSheet(sheet, {{"{A}", "2026001", QStringLiteral("张三"), 7.67, 5.333, 2.333},
                      {"{B}", "2026002", QStringLiteral("李四"), 7.66, 5.333, 2.333},
                      {"{C}", "2026003", QStringLiteral("王五"), 5.75, 2.5, 3.25},
                      {"{D}", "2026004", QStringLiteral("赵六"), 4.99, 2.496, 2.496}});
    EXPECT_EQ(questionSheetProblems(sheet, defs).join(u'|'),
              QStringLiteral("第1行 张三(2026001)：小题分之和 7.66，科目成绩 7.67|第4行 赵六(2026004)：小题分之和 5，科目成绩 4.99"));
}

// 语文 of the mid-term, full mark 10: 张三 9 and 李四 6 in class 001, 王五 3 in class 002.
class QuestionDialog : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour
        server::Database &db = fx.db();
        db.exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', '001', ?)", {QStringLiteral("语文")});
        db.exec("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") VALUES "
                "('S1', 2026, '1701', '001', 0, 10)");
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"sNO\", \"iState\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, ?, '00')";
        const qint64 exam = db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
                                                 "\"ExamName\", \"ModifyRight\") VALUES ('S1', '1701', 2026, '001', ?, ?, 63)",
                                                 {QStringLiteral("⊥"), QStringLiteral("期中考试")}, "Id");
        db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                "\"FullMark\") VALUES ('S1', '1701', 2026, '001', ?, '001', 1, 10)",
                {QStringLiteral("⊥")});
        for (const auto &[code, klass, no, name, sNo, score] :
             std::initializer_list<std::tuple<const char *, const char *, int, const char *, const char *, double>>{
                 {"{A}", "001", 1, "张三", "2026001", 9}, {"{B}", "001", 2, "李四", "2026002", 6}, {"{C}", "002", 1, "王五", "2026003", 3}}) {
            db.exec(student, {code, klass, no, QString::fromUtf8(name), sNo});
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, code, klass});
            db.exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, '001', ?)", {exam, code, score});
        }
        signInAs("admin", "lumeko");
    }
    void TearDown() override
    {
        setModalRunner({});
        SignedInHost::TearDown();
    }
    static QStringList params() { return parameterList("2026,1701,七年级,Y,,001,001,⊥,2026级七年级.期中考试"); }
    qint64 stored() { return fx.db().scalar("SELECT COUNT(*) FROM \"CJ_QuestionMark\"").toLongLong(); }
    static void setCell(DataSet &d, const char *key, const char *keyValue, const char *field, const QVariant &v)
    {
        ASSERT_TRUE(d.locate(QString::fromLatin1(key), {QString::fromUtf8(keyValue)}));
        d.edit();
        d.setValue(QString::fromLatin1(field), v);
        d.post();
    }
};

TEST_F(QuestionDialog, QuestionsAreDefinedScoresPastedCheckedAndSavedThenAnalysed)
{
    TfrmExamQuestions d;
    d.Params = params();
    ASSERT_TRUE(d.InitForm()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(d.cbSubject->currentText(), QStringLiteral("语文"));
    EXPECT_EQ(d.subjectFullMark(), 10);

    // Two questions: 4 and 6 marks.
    d.importScores();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请先设置并保存本科目的题目！"));
    d.addQuestion();
    setCell(*d.cdsQuestions, "QuestionNo", "1", "FullMark", 4.0);
    d.addQuestion();
    EXPECT_EQ(d.cdsQuestions->value(u"QuestionNo").toString(), QStringLiteral("2")) << "numbered after the last";
    setCell(*d.cdsQuestions, "QuestionNo", "2", "FullMark", 12.0);
    EXPECT_FALSE(d.saveQuestions());
    EXPECT_TRUE(host.messageTexts().last().contains(QStringLiteral("不超过科目满分10"))) << host.messageTexts().last().toStdString();
    setCell(*d.cdsQuestions, "QuestionNo", "2", "FullMark", 6.0);
    ASSERT_TRUE(d.saveQuestions()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(fx.db().scalar("SELECT COUNT(*) FROM \"CJ_ExamQuestion\"").toLongLong(), 2);
    EXPECT_GE(d.cdsSheet->fieldIndex(u"Q_2"), 0) << "the sheet has a column per question now";

    // A marking system's sheet: 李四's scores add up to 5, not his 6.
    QApplication::clipboard()->setText(QStringLiteral("学号\t第1题\t第2题\r\n2026001\t4\t5\r\n2026002\t2\t3\r\n2026003\t1\t2\r\n9999999\t1\t1\r\n"));
    setModalRunner([](QDialog &dialog) {
        auto &w = dynamic_cast<TPubImportSet &>(dialog);
        for (int i = 0; i < w.clbKeys->count(); ++i)
            w.clbKeys->item(i)->setCheckState(w.clbKeys->item(i)->text() == QStringLiteral("学号") ? Qt::Checked : Qt::Unchecked);
        w.nextStep();
        w.nextStep();
        w.importData();
        return int(QDialog::Accepted);
    });
    d.importScores();
    setModalRunner({});
    EXPECT_EQ(d.cdsSheet->recordCount(), 3) << "nobody appended";
    EXPECT_FALSE(d.saveScores());
    EXPECT_TRUE(host.messageTexts().last().contains(QStringLiteral("李四(2026002)：小题分之和 5，科目成绩 6"))) << host.messageTexts().last().toStdString();
    EXPECT_EQ(stored(), 0) << "nothing sent";
    setCell(*d.cdsSheet, "sNO", "2026002", "Q_2", 4.0);
    ASSERT_TRUE(d.saveScores()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(stored(), 6);
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("小题得分已保存！"));
    if (!pub::testing::shotsFolder().isEmpty()) pub::testing::saveShot(d, "question-scores");

    // Question 1 has scores now: it can no longer be deleted.
    ASSERT_TRUE(d.cdsQuestions->locate(QStringLiteral("QuestionNo"), {QStringLiteral("1")}));
    d.deleteQuestion();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("第1题已有小题得分，不能删除！"));
    EXPECT_EQ(d.cdsQuestions->recordCount(), 2);
}

TEST_F(QuestionDialog, TheAnalysisOpensOnAReportPage)
{
    // Questions and scores as a teacher left them.
    server::Database &db = fx.db();
    const qint64 exam = db.scalar("SELECT \"Id\" FROM \"CJ_ExamTotal\"").toLongLong();
    for (const auto &[n, full, order] : std::initializer_list<std::tuple<const char *, double, int>>{{"1", 4, 1}, {"2", 6, 2}})
        db.exec("INSERT INTO \"CJ_ExamQuestion\" (\"examId\", \"SubjectCode\", \"QuestionNo\", \"iOrder\", \"FullMark\") VALUES (?, '001', ?, ?, ?)",
                {exam, n, order, full});
    for (const auto &[s, q, v] : std::initializer_list<std::tuple<const char *, const char *, double>>{
             {"{A}", "1", 4}, {"{A}", "2", 5}, {"{B}", "1", 2}, {"{B}", "2", 4}, {"{C}", "1", 1}, {"{C}", "2", 2}})
        db.exec("INSERT INTO \"CJ_QuestionMark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"QuestionNo\", \"score\") VALUES (?, ?, '001', ?, ?)",
                {exam, s, q, v});
    setModalRunner([](QDialog &dialog) {
        auto &d = dynamic_cast<TfrmExamQuestions &>(dialog);
        d.btnItems->click();
        return d.result();
    });
    const qint32 handle = runQuestionAnalysis(nullptr, nullptr, params());
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString();
    auto *page = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("小题分析 2026级七年级.期中考试 语文"));
    DataSet &rows = *page->cdsData;
    ASSERT_EQ(rows.recordCount(), 2);
    rows.first();
    EXPECT_DOUBLE_EQ(rows.value(u"nP").toDouble(), 0.58) << "7/3 ÷ 4";
    EXPECT_DOUBLE_EQ(rows.value(u"nD").toDouble(), 0.75);
    if (!pub::testing::shotsFolder().isEmpty()) {
        page->resize(1200, 600);
        pub::testing::saveShot(*page, "question-analysis");
        page->tabLevels->setCurrentIndex(1);
        pub::testing::saveShot(*page, "question-analysis-chart");
    }
    page->close();

    setModalRunner([](QDialog &dialog) {
        dynamic_cast<TfrmExamQuestions &>(dialog).btnSegments->click();
        return dialog.result();
    });
    const qint32 segments = runQuestionAnalysis(nullptr, nullptr, params());
    ASSERT_GT(segments, 0);
    auto *table = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(segments));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->cdsData->recordCount(), 7) << "9 down to 3";
    table->close();

    setModalRunner([](QDialog &dialog) {
        dynamic_cast<TfrmExamQuestions &>(dialog).btnClose->click();
        return dialog.result();
    });
    EXPECT_EQ(runQuestionAnalysis(nullptr, nullptr, params()), 0) << "closed without an analysis";
}

} // namespace
