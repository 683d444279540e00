// The P-value dialog through ShowPValForm over the worked example's exam, as the academic office
// walks it: a new record's defaults, the merged subjects, the formulas kept as typed, every
// answer of the server, the picked students, and pictures of both steps.

#include "pvalue/pvalueformula.h"
#include "pvaluehost.h"
#include "shots.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::pvalue::testing;

namespace {

// The default formulas, word for word as the academic office knows them.
const QString kShownP1 = QStringLiteral(
    "(([总分之和]/([应参加人数]+[辍学生数]))/[六科满分]*0.2+[六科达毕业分数线总人数]/([应参加人数]+[辍学生数])*0.2+[十科全及格总人数]/([应参加人数]+[辍学生数])*0.1+"
    "[十科每科及格人数之和]/([全科科目数]*([应参加人数]+[辍学生数]))*0.2+[六科总分优秀的总人数]/([应参加人数]+[辍学生数])*0.1)");
const QString kShownP = QStringLiteral("([学业质量评估值]+[德育评估值]*0.1+[体卫艺术教育评估值]*0.1)*[三年巩固率]*100+[规模值]");
constexpr double kExampleP = (1388.0 / 5250.0 + 0.09 + 0.08) * 95 + 2;

class CalePValTest : public PValueHostTest {};

TEST_F(CalePValTest, ANewRecordShowsTheDefaultsWithChineseNamesAndTheExamsDefaultSubjects)
{
    signInAs("admin", "lumeko");
    bool driven = false;
    const int result = form(
        "2024,1901,002,N",
        [&](TfrmCalePVal &d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("P值计算"));
            EXPECT_EQ(d.lblTitle->text(), QStringLiteral("2024级九年级  期末考试"));
            EXPECT_EQ(d.lblStep->text(), QStringLiteral("第一步 考试科目设置"));
            // The exam's subjects (英语 is the grade's, not the exam's); the defaults it has are ticked.
            QStringList names;
            for (int i = 0; i < d.clbSubjects6->count(); ++i)
                names << d.clbSubjects6->item(i)->text();
            EXPECT_EQ(names, (QStringList{"语文", "数学", "物理", "化学", "音乐"}));
            EXPECT_EQ(ticked(d.clbSubjects6), (QStringList{"语文", "数学", "物理", "化学"}));
            EXPECT_EQ(tree(d), QStringLiteral("语文+ 数学+ 物理+ 化学+ 音乐-"));
            EXPECT_EQ(d.lblEntries->text(), QStringLiteral("全科科目数：4"));
            EXPECT_EQ(d.mmSumGS->toPlainText(), kShownP1);
            EXPECT_EQ(d.mmSumGSP->toPlainText(), kShownP);
            EXPECT_EQ(d.chkTypes.size(), 3);
            EXPECT_EQ(d.chkTypes.last()->text(), QStringLiteral("已选名单"));
            EXPECT_FALSE(d.chkTypes.last()->isEnabled()) << "no roster came";
            EXPECT_EQ(d.typesText(), QString()) << "the range is the office's own choice";

            // Leaving the first step needs each of the three choices, in this order.
            for (int i = 0; i < d.clbSubjects6->count(); ++i)
                d.clbSubjects6->item(i)->setCheckState(Qt::Unchecked);
            EXPECT_FALSE(d.next());
            tickSix(d, QStringLiteral("语文"), true);
            EXPECT_FALSE(d.next());
            d.chkTypes.first()->setChecked(true);
            for (int i = 0; i < d.tvSubjects10->topLevelItemCount(); ++i)
                d.tvSubjects10->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
            EXPECT_FALSE(d.next());
            EXPECT_EQ(d.step(), 0);
            node(d, QStringLiteral("音乐"))->setCheckState(0, Qt::Checked);
            EXPECT_TRUE(d.next());
            EXPECT_EQ(d.lblStep->text(), QStringLiteral("第二步 计算公式设置"));
            EXPECT_TRUE(d.btnCalc->isVisibleTo(&d));
            EXPECT_FALSE(d.btnNext->isVisibleTo(&d));
            return int(QDialog::Rejected);
        },
        &driven);
    EXPECT_TRUE(driven);
    EXPECT_EQ(result, 2) << "cancelled";
    EXPECT_EQ(host.messageTexts(), (QStringList{"请选择中考总分科目！", "请选择统计范围！", "请选择全科科目！"}));
    EXPECT_EQ(fx.db().scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_P\"").toInt(), 0) << "nothing is stored before 开始计算";
}

TEST_F(CalePValTest, TwoMergedSubjectsCountOnceAndTheResultIsTheWorkedExample)
{
    signInAs("admin", "lumeko");
    ASSERT_EQ(form("2024,1901,002,N",
                   [&](TfrmCalePVal &d) {
                       // Merging needs two subjects; one alone is a hint.
                       select(d, {QStringLiteral("物理")});
                       d.mergeSelected();
                       EXPECT_EQ(tree(d), QStringLiteral("语文+ 数学+ 物理+ 化学+ 音乐-"));
                       const int answer = computeExample(d);
                       EXPECT_EQ(tree(d), QStringLiteral("语文+ 数学+ 合并科目+(物理,化学) 音乐-"));
                       EXPECT_EQ(d.entryCount(), 3);
                       EXPECT_EQ(d.lblEntries->text(), QStringLiteral("全科科目数：3"));
                       return answer;
                   }),
              1)
        << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(host.messageTexts(), QStringList{"请按住CTRL键选择两个以上的科目再合并！"});
    EXPECT_EQ(stored("sSubjects6").toString(), "001,002,004");
    EXPECT_EQ(stored("sSubjects10").toString(), "001,002,004;005");
    EXPECT_EQ(stored("sTypes").toString(), QStringLiteral("统招生"));
    EXPECT_EQ(stored("sSumGS").toString(), kStoredP1) << "[全科科目数] stored as 3";
    EXPECT_EQ(stored("sSumGSP").toString(), kStoredP);
    EXPECT_EQ(stored("SCreater").toString(), QStringLiteral("管理员"));
    EXPECT_EQ(stored("nPass10TotalNums").toInt(), 7);
    EXPECT_NEAR(stored("NP").toDouble(), kExampleP, 1e-9);
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();

    // Opened again: the merged node, the formulas with their names, the results so far. Splitting
    // the node gives four entries, each ticked as the node was.
    host.messages.clear();
    form("2024,1901,002,N", [&](TfrmCalePVal &d) {
        EXPECT_EQ(tree(d), QStringLiteral("语文+ 数学+ 合并科目+(物理,化学) 音乐-"));
        EXPECT_EQ(ticked(d.clbSubjects6), (QStringList{"语文", "数学", "物理"}));
        EXPECT_TRUE(d.chkTypes.first()->isChecked());
        EXPECT_EQ(d.mmSumGS->toPlainText(), kShownP1);
        EXPECT_EQ(d.edGGPre3->value(), 0.95);
        EXPECT_EQ(d.edNP->text(), QStringLiteral("43.2662"));
        EXPECT_EQ(d.edNP1->text(), QStringLiteral("0.2644"));
        select(d, {QStringLiteral("化学")});
        d.splitSelected();
        EXPECT_EQ(tree(d), QStringLiteral("语文+ 数学+ 物理+ 化学+ 音乐-"));
        EXPECT_EQ(d.entryCount(), 4);
        EXPECT_EQ(d.lblEntries->text(), QStringLiteral("全科科目数：4"));
        EXPECT_EQ(d.subjects10Text(), "001,002,004,005");
        node(d, QStringLiteral("音乐"))->setCheckState(0, Qt::Checked);
        EXPECT_EQ(d.lblEntries->text(), QStringLiteral("全科科目数：5")) << "follows every tick";
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(stored("sSubjects10").toString(), "001,002,004;005") << "cancelled: nothing changed";
}

TEST_F(CalePValTest, AFormulaIsStoredWithFieldsAndShownAgainAsTyped)
{
    signInAs("admin", "lumeko");
    // "0.3*" ends in the count's digit and "13*" too, but neither is the count: only the whole "3*"
    // is [全科科目数]; a bracket the dialog does not know stays as typed.
    const QString typed = QStringLiteral("0.3*[总分之和]+[全科科目数]*13*2+13*0.3+[三年巩固率]");
    ASSERT_EQ(form("2024,1901,002,N", [&](TfrmCalePVal &d) { return computeExample(d); }), 1);
    ASSERT_EQ(form("2024,1901,002,N",
                   [&](TfrmCalePVal &d) {
                       d.next();
                       d.mmSumGS->setPlainText(typed + u'\n');
                       d.calculate();
                       return d.result();
                   }),
              1)
        << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(stored("sSumGS").toString(), QStringLiteral("0.3*[nTotals]+3*13*2+13*0.3+[nGGPre3]"));
    // 0.3 × 605 + 78 + 3.9 + 0.95
    EXPECT_NEAR(stored("NP1").toDouble(), 181.5 + 78 + 3.9 + 0.95, 1e-9);
    form("2024,1901,002,N", [&](TfrmCalePVal &d) {
        EXPECT_EQ(d.mmSumGS->toPlainText(), typed);
        return int(QDialog::Rejected);
    });
}

TEST_F(CalePValTest, EachAnswerOfTheServerIsItsMessageAndTheResultsStayAsTheyWere)
{
    signInAs("admin", "lumeko");
    ASSERT_EQ(form("2024,1901,002,N", [&](TfrmCalePVal &d) { return computeExample(d); }), 1);
    const double p = stored("NP").toDouble();
    const auto attempt = [&](const std::function<void(TfrmCalePVal &)> &before) {
        host.messages.clear();
        host.logLines.clear();
        return form("2024,1901,002,N", [&](TfrmCalePVal &d) {
            EXPECT_TRUE(d.next());
            before(d);
            EXPECT_FALSE(d.calculate());
            EXPECT_EQ(d.step(), 1) << "the dialog stays for another try";
            return d.result();
        });
    };

    // 3: dividing by the drop-outs of the 借读生, of whom there are none.
    EXPECT_EQ(attempt([](TfrmCalePVal &d) {
                  d.prior();
                  for (QCheckBox *box : d.chkTypes)
                      box->setChecked(box->text() == QStringLiteral("借读生"));
                  d.next();
                  d.mmSumGS->setPlainText(QStringLiteral("[总分之和]/[辍学生数]"));
              }),
              2);
    EXPECT_EQ(host.messageTexts(), QStringList{"P值计算错误，请确认P值计算公式是否有误！"});
    // The settings were the office's and are kept; the results are the last good ones.
    EXPECT_EQ(stored("sSumGS").toString(), "[nTotals]/[nLeaveNums]");
    EXPECT_EQ(stored("sTypes").toString(), QStringLiteral("借读生"));
    EXPECT_EQ(stored("NP").toDouble(), p);
    EXPECT_EQ(stored("nMastNums").toInt(), 5);
    ASSERT_EQ(host.logLines.size(), 1);
    EXPECT_TRUE(host.logLines.first().contains("division by zero")) << host.logLines.first().toStdString();
    fx.db().exec("UPDATE \"CJ_ZLPG_P\" SET \"sSumGS\" = ?, \"sTypes\" = ?", {kStoredP1, QStringLiteral("统招生")});

    // 2: a subject without its pass mark among the entries.
    fx.db().exec("UPDATE \"CJ_ExamSubject\" SET \"PassMark\" = NULL WHERE \"SubjectCode\" = '011'");
    EXPECT_EQ(attempt([](TfrmCalePVal &d) {
                  d.prior();
                  node(d, QStringLiteral("音乐"))->setCheckState(0, Qt::Checked);
                  d.next();
              }),
              2);
    EXPECT_EQ(host.messageTexts(), QStringList{"P值各元素计算发生错误！"});
    EXPECT_EQ(stored("NP").toDouble(), p);
    fx.db().exec("UPDATE \"CJ_ZLPG_P\" SET \"sSubjects10\" = '001,002,004;005'");

    // 1: the exam moved to another intake while the dialog was open.
    EXPECT_EQ(attempt([&](TfrmCalePVal &) { fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"InYear\" = 2023 WHERE \"Id\" = ?", {exam}); }), 2);
    EXPECT_EQ(host.messageTexts(), QStringList{"P值配置数据读取失败！"});
    fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"InYear\" = 2024 WHERE \"Id\" = ?", {exam});

    // The settings cannot be saved: another user changed the record since it was read.
    EXPECT_EQ(attempt([&](TfrmCalePVal &d) {
                  fx.db().exec("UPDATE \"CJ_ZLPG_P\" SET \"nDYValue\" = 0.7");
                  d.edDYValue->setValue(0.5);
              }),
              2);
    EXPECT_EQ(host.messageTexts(), QStringList{"配置保存失败，可能网络繁忙，请稍候重试！"});
    EXPECT_EQ(stored("nDYValue").toDouble(), 0.7) << "the other user's value stands";
    EXPECT_EQ(stored("NP").toDouble(), p);
    EXPECT_FALSE(host.waitShowing());
}

TEST_F(CalePValTest, ThePickedStudentsCountWhenTheRosterCameAndTheyAreTicked)
{
    signInAs("admin", "lumeko");
    // 一班 only: P01–P03 (P08 moved away).
    ASSERT_EQ(form("2024,1901,002,N|001;",
                   [&](TfrmCalePVal &d) {
                       EXPECT_TRUE(d.chkTypes.last()->isEnabled());
                       return computeExample(d, {QStringLiteral("统招生"), QStringLiteral("已选名单")});
                   }),
              1)
        << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(stored("sTypes").toString(), QStringLiteral("统招生,已选名单"));
    EXPECT_EQ(stored("nMastNums").toInt(), 3);
    EXPECT_EQ(stored("nLeaveNums").toInt(), 0);
    EXPECT_EQ(stored("nTotals").toDouble(), 545);
    // Without a roster the picked students cannot be ticked; the stored tick is not shown.
    form("2024,1901,002,N", [&](TfrmCalePVal &d) {
        EXPECT_FALSE(d.chkTypes.last()->isEnabled());
        EXPECT_FALSE(d.chkTypes.last()->isChecked());
        EXPECT_EQ(d.typesText(), QStringLiteral("统招生"));
        return int(QDialog::Rejected);
    });
}

TEST_F(CalePValTest, NoExamIsAHintAndAFailedStartKeepsTheDialogFromGoingOn)
{
    signInAs("admin", "lumeko");
    bool driven = true;
    EXPECT_EQ(form(
                  "2024,1901,009", [](TfrmCalePVal &) { return int(QDialog::Accepted); }, &driven),
              2);
    EXPECT_FALSE(driven);
    EXPECT_EQ(host.messageTexts(), QStringList{"未定义此次考试！"});

    // A teacher who may not read P values: the exam is there, the record cannot be read.
    host.messages.clear();
    signInAs("wang", "pw6");
    EXPECT_EQ(form("2024,1901,002",
                   [](TfrmCalePVal &d) {
                       EXPECT_FALSE(d.btnNext->isEnabled());
                       EXPECT_FALSE(d.next());
                       return int(QDialog::Rejected);
                   }),
              2);
    EXPECT_EQ(host.messageTexts(), QStringList{"初始化考试信息失败！"});
    EXPECT_FALSE(host.waitShowing());
}

TEST_F(CalePValTest, PicturesOfBothSteps)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    signInAs("admin", "lumeko");
    form("2024,1901,002,N|001;", [&](TfrmCalePVal &d) {
        d.chkTypes.first()->setChecked(true);
        select(d, {QStringLiteral("物理"), QStringLiteral("化学")});
        d.mergeSelected();
        pub::testing::saveShot(d, "pvalue-dialog-step1");
        d.next();
        d.edDYValue->setValue(0.9);
        d.edTWYSJYValue->setValue(0.8);
        d.edGGPre3->setValue(0.95);
        d.edRangeValue->setValue(2);
        pub::testing::saveShot(d, "pvalue-dialog-step2");
        return int(QDialog::Rejected);
    });
}

} // namespace
