// The score page over the fixture school's server, driven through its commands and its grid as a
// teacher uses them: opening an exam, typing scores, saving, reading back the server's totals and
// ranks; refused scores, weights, graded subjects, who edits what, the roster and the settings.

#include "achievefixture.h"
#include "fixtureschool.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "scores/ufrmachievepage.h"
#include "scores/ufrmmarkhistory.h"
#include "server/seed/seed.h"
#include "shots.h"
#include "signedinhost.h"
#include "framework/import/upubimportset.h"
#include "students/upubdefinestudent.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QItemSelectionModel>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

using lumeko::achieve::testing::AchievePageTest;
using lumeko::achieve::testing::kNoPage;

TEST_F(AchievePageTest, ATeacherTypesScoresSavesThemAndReadsBackTheServersTotalsAndRanks)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(p->cdsData->recordCount(), 6);
    // The bands: each subject with its six columns, then the totals.
    const BandedGrid &g = *p->GridData;
    EXPECT_EQ(g.column(g.columnOfField(QStringLiteral("C_001"))).groups, (QStringList{QStringLiteral("考试科目"), QStringLiteral("语文")}));
    EXPECT_EQ(g.column(g.columnOfField(QStringLiteral("FullTotal"))).groups, (QStringList{QStringLiteral("考试总分"), QStringLiteral("全总")}));
    EXPECT_GE(g.columnOfField(QStringLiteral("BaseTotal")), 0);
    EXPECT_EQ(g.column(g.columnOfField(QStringLiteral("O_001"))).tag, 1) << "ranks are never typed into";

    p->acEdit->trigger();
    ASSERT_TRUE(p->isEditing()) << host.messageTexts().join(u'|').toStdString();
    type(*p, "{S0}", "C_001", QStringLiteral("110"));
    type(*p, "{S0}", "C_002", QStringLiteral("90"));
    type(*p, "{S1}", "C_001", QStringLiteral("110"));
    type(*p, "{S2}", "C_001", QStringLiteral("95.5"));
    EXPECT_EQ(cell(*p, "{S0}", "FullTotal").toDouble(), 200) << "the row's total follows the typing";
    EXPECT_EQ(cell(*p, "{S0}", "BaseTotal").toDouble(), 200);
    EXPECT_TRUE(cell(*p, "{S3}", "FullTotal").isNull());

    // A score above the full mark: the error, and the cell is empty again.
    host.messages.clear();
    type(*p, "{S3}", "C_003", QStringLiteral("101"));
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("值<101>无效，有效值为零到科目满分之间！")});
    EXPECT_TRUE(cell(*p, "{S3}", "C_003").isNull());

    host.messages.clear();
    p->acSave->trigger();
    EXPECT_FALSE(p->isEditing());
    EXPECT_TRUE(host.messageTexts().contains(QStringLiteral("成功提交已修改的成绩数据！"))) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(stored(0, "001"), 110.0);
    EXPECT_EQ(stored(2, "001"), 95.5);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_MarkLog\""), 4) << "one history line per stored score";
    // What the page shows now comes from the server: totals, ranks 1, 1, 3, letters.
    EXPECT_EQ(cell(*p, "{S0}", "FullTotal").toDouble(), 200);
    EXPECT_EQ(cell(*p, "{S0}", "O_001").toInt(), 1);
    EXPECT_EQ(cell(*p, "{S1}", "O_001").toInt(), 1);
    EXPECT_EQ(cell(*p, "{S2}", "O_001").toInt(), 3);
    EXPECT_EQ(cell(*p, "{S0}", "FullOrder").toInt(), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_SubjectItem\" WHERE \"SubjectCode\" = '001'"), 3) << "the page's ranking was stored";
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"XT_Log\" WHERE \"sText\" LIKE '编辑2026级七年级.期中考试:修改<%'"), 1);

    // Saving again without a change sends nothing and still reports success.
    const qint64 logs = count("SELECT COUNT(*) FROM \"XT_Log\"");
    p->acEdit->trigger();
    host.messages.clear();
    p->acSave->trigger();
    EXPECT_FALSE(p->isEditing());
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"XT_Log\""), logs);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_MarkLog\""), 4);
}

TEST_F(AchievePageTest, GradedSubjectsTakeShortKeysAndWeightsShowNeverTwice)
{
    storeScore(0, "003", 87);
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    // 音乐 has a full mark of 8: "7" stands for 3.5 (C+), typed without an editor.
    p->acEdit->trigger();
    BandedGrid &g = *p->GridData;
    g.setCurrentCell(0, g.columnOfField(QStringLiteral("C_009")));
    QTest::keyClick(g.bandView(1), Qt::Key_7);
    EXPECT_EQ(p->cdsData->valueAt(0, p->cdsData->fieldIndex(u"C_009")).toDouble(), 3.5);
    EXPECT_EQ(g.displayText(0, g.columnOfField(QStringLiteral("C_009"))), QStringLiteral("C+"));
    EXPECT_EQ(p->gradedKeyValue(QStringLiteral("C_003"), Qt::Key_7), std::nullopt) << "other subjects type normally";
    p->acCancel->trigger();

    // A weight of 0.5 on 英语: 87 shows as 43.5, after a reload too, never 21.8; editing shows 87.
    p->cdsSubjectPt->locate(QStringLiteral("SubjectCode"), {QStringLiteral("003")});
    p->cdsSubjectPt->edit();
    p->cdsSubjectPt->setValue(u"Per", 0.5);
    p->cdsSubjectPt->post();
    p->storeProperties();
    EXPECT_EQ(cell(*p, "{S0}", "C_003").toDouble(), 43.5);
    p->acRequery->trigger();
    EXPECT_EQ(cell(*p, "{S0}", "C_003").toDouble(), 43.5);
    p->acEdit->trigger();
    EXPECT_EQ(cell(*p, "{S0}", "C_003").toDouble(), 87) << "a teacher edits the stored score";
    p->acSave->trigger();
    EXPECT_EQ(stored(0, "003"), 87.0) << "the weighted value never reaches the server";
    QSettings ini(p->Settings.path(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("2026_1701_001/SubjectsPer")).toString(), QStringLiteral("003;0.5"));
}

TEST_F(AchievePageTest, ASubjectTeacherSeesAndEditsOnlyHisClassAndSubject)
{
    signInAs("wang", "pw6");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(p->cdsData->recordCount(), 3) << "class 002 only";
    EXPECT_TRUE(p->mayEdit()) << pub::userRole().toStdString();
    p->acEdit->trigger();
    ASSERT_TRUE(p->isEditing()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(p->EditRole, QStringLiteral("6"));
    const BandedGrid &g = *p->GridData;
    EXPECT_FALSE(g.column(g.columnOfField(QStringLiteral("C_003"))).readOnly);
    EXPECT_TRUE(g.column(g.columnOfField(QStringLiteral("C_002"))).readOnly) << "maths is zhao's";
    type(*p, "{S3}", "C_003", QStringLiteral("77"));
    p->acSave->trigger();
    EXPECT_EQ(stored(3, "003"), 77.0);

    // The edit checks: a frozen exam, and an exam whose edit rights leave out the subject teacher.
    fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"ModifyRight\" = 1");
    TfrmAchievePage *again = open();
    host.messages.clear();
    again->acEdit->trigger();
    EXPECT_FALSE(again->isEditing());
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("对不起，您不能编辑，您没有编辑权限！")});
    fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"ModifyRight\" = 63, \"Freeze\" = ?", {fx.db().toDb(true, wire::FieldType::Boolean)});
    TfrmAchievePage *frozen = open();
    host.messages.clear();
    frozen->acEdit->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("对不起，您不能编辑，此次考试已被冻结！")});
}

TEST_F(AchievePageTest, AUnitExamSheetHasNoTotalsAndAnUnknownSubjectStillGetsItsBand)
{
    exam = defineExam("002", QString::fromLatin1(server::testing::kTeacherCode), {"003"}, 32);
    signInAs("wang", "pw6");
    TfrmAchievePage *p = open(QString::fromLatin1(server::testing::kTeacherCode), "003;077", "Y", "002");
    ASSERT_NE(p, nullptr);
    EXPECT_LT(p->GridData->columnOfField(QStringLiteral("FullTotal")), 0);
    EXPECT_FALSE(p->acCaleTotal->isVisible());
    EXPECT_GE(p->GridData->columnOfField(QStringLiteral("C_077")), 0);
    p->acEdit->trigger();
    ASSERT_TRUE(p->isEditing()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(p->rankFieldList(), QStringLiteral("C_003,O_003")) << "no totals for a teacher's own sheet";
}

TEST_F(AchievePageTest, TheRosterAsksBeforeTakingOffAStudentWithScores)
{
    storeScore(0, "001", 88);
    storeScore(1, "001", 0);
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    // The dialog: 张三 (88) and 李四 (a score of 0) unticked; only 张三 is asked about, and kept.
    setModalRunner([](QDialog &d) {
        auto &dialog = dynamic_cast<TPubDefineStudent &>(d);
        dialog.tickListedStudents(); // what showing it does
        EXPECT_EQ(dialog.cdsStudent->recordCount(), 6) << "\"ALL\": the whole grade is offered";
        for (const char *code : {"{S0}", "{S1}"}) {
            dialog.cdsStudent->locate(QStringLiteral("sCode"), {QString::fromLatin1(code)});
            dialog.cdsStudent->edit();
            dialog.cdsStudent->setValue(u"Selected", false);
            dialog.cdsStudent->post();
        }
        dialog.confirm();
        return int(dialog.result());
    });
    host.answer(pub::AnswerNo, QStringLiteral("学生[张三]已有成绩数据，确定要删除吗？"));
    p->acDefineStudent->trigger();
    setModalRunner({});
    EXPECT_TRUE(host.scriptDone()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_ExamStudent\""), 5) << "李四 went, 张三 stayed";
    EXPECT_EQ(p->cdsData->recordCount(), 5);
    EXPECT_FALSE(p->isEditing());
}

} // namespace

namespace {

// A teacher at the keyboard: the digits and Enter for a score, and the cursor goes down the
// column to the next student; a graded subject takes one key per student.
TEST_F(AchievePageTest, AScoreIsItsDigitsAndEnterAndAGradedScoreOneKey)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    p->window()->activateWindow();
    p->acEdit->trigger();
    ASSERT_TRUE(p->isEditing());
    BandedGrid &g = *p->GridData;
    g.setCurrentCell(0, g.columnOfField(QStringLiteral("C_001")));
    // The keys go where a teacher's would: the open editor, else the grid.
    const auto target = [&g]() -> QWidget * { return g.activeEditor() ? g.activeEditor() : g.bandView(1); };
    const auto keys = [&](const QString &text) {
        QTest::keyClicks(target(), text);
        QTest::keyClick(target(), Qt::Key_Return);
    };
    keys(QStringLiteral("87"));
    keys(QStringLiteral("90.5"));
    EXPECT_EQ(p->cdsData->valueAt(0, p->cdsData->fieldIndex(u"C_001")).toDouble(), 87);
    EXPECT_EQ(p->cdsData->valueAt(1, p->cdsData->fieldIndex(u"C_001")).toDouble(), 90.5);
    EXPECT_EQ(g.currentRow(), 2);
    EXPECT_EQ(g.currentColumn(), g.columnOfField(QStringLiteral("C_001"))) << "down the column, not along the row";

    g.setCurrentCell(0, g.columnOfField(QStringLiteral("C_009")));
    QTest::keyClick(target(), Qt::Key_7);
    QTest::keyClick(target(), Qt::Key_5);
    EXPECT_EQ(p->cdsData->valueAt(0, p->cdsData->fieldIndex(u"C_009")).toDouble(), 3.5);
    EXPECT_EQ(p->cdsData->valueAt(1, p->cdsData->fieldIndex(u"C_009")).toDouble(), 5);
    EXPECT_EQ(g.currentRow(), 2);
}

// Two sheets open on the same exam: the second one's save of a score the first changed meanwhile
// is refused with the stored value named, and the history shows who changed what.
TEST_F(AchievePageTest, AScoreChangedMeanwhileIsNamedAndTheHistoryShowsIt)
{
    storeScore(3, "003", 70);
    signInAs("admin", "lumeko");
    TfrmAchievePage *first = open(), *second = open();
    ASSERT_TRUE(first && second);
    second->acEdit->trigger();
    first->acEdit->trigger();
    type(*first, "{S3}", "C_003", QStringLiteral("80"));
    first->acSave->trigger();
    ASSERT_EQ(stored(3, "003"), 80.0);

    type(*second, "{S3}", "C_003", QStringLiteral("85"));
    host.messages.clear();
    second->acSave->trigger();
    EXPECT_TRUE(second->isEditing()) << "the teacher keeps what he typed";
    ASSERT_FALSE(host.messages.isEmpty());
    const QString told = host.messages.last().text;
    EXPECT_TRUE(told.startsWith(QStringLiteral("保存成绩数据失败！")) && told.contains(QStringLiteral("赵六")) && told.contains(QStringLiteral("改为80")))
        << told.toStdString();
    EXPECT_EQ(stored(3, "003"), 80.0);
    EXPECT_EQ(second->cdsDataUp->changeCount(), 0) << "the upload image went back to what was loaded";

    // 成绩修改记录: the change of first's save, by the administrator.
    setModalRunner([](QDialog &d) {
        auto &history = dynamic_cast<TfrmMarkHistory &>(d);
        EXPECT_EQ(history.cdsHistory->recordCount(), 1);
        history.cdsHistory->first();
        EXPECT_EQ(history.cdsHistory->value(u"OldScore").toDouble(), 70);
        EXPECT_EQ(history.cdsHistory->value(u"NewScore").toDouble(), 80);
        EXPECT_EQ(history.cdsHistory->value(u"UserName").toString(), QStringLiteral("管理员"));
        return int(QDialog::Accepted);
    });
    first->acHistory->trigger();
    setModalRunner({});
}

TEST_F(AchievePageTest, StandardScoresToggleAndClearingEmptiesTheSelectedScores)
{
    storeScore(0, "001", 80);
    storeScore(1, "001", 60);
    storeScore(2, "001", 100);
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    // Six rows, three scores: the mean counts the three without a score as 0.
    p->acStandard->trigger();
    EXPECT_EQ(p->acStandard->text(), QStringLiteral("原分"));
    const double mean = 240.0 / 6, deviation = std::sqrt(((80 - mean) * (80 - mean) + (60 - mean) * (60 - mean) + (100 - mean) * (100 - mean)) / 6);
    EXPECT_NEAR(cell(*p, "{S0}", "C_001").toDouble(), (80 - mean) / deviation * 100 + 500, 1e-9);
    EXPECT_TRUE(cell(*p, "{S3}", "C_001").isNull());
    p->acStandard->trigger();
    EXPECT_EQ(p->acStandard->text(), QStringLiteral("标分"));
    EXPECT_EQ(cell(*p, "{S0}", "C_001").toDouble(), 80) << "the stored scores again";

    p->acEdit->trigger();
    BandedGrid &g = *p->GridData;
    const int c = g.columnOfField(QStringLiteral("C_001"));
    g.setCurrentCell(0, c);
    QItemSelectionModel *selection = g.bandView(1)->selectionModel();
    selection->select(QItemSelection(g.gridModel()->index(0, c), g.gridModel()->index(1, c)), QItemSelectionModel::ClearAndSelect);
    p->acClearData->trigger();
    EXPECT_TRUE(cell(*p, "{S0}", "C_001").isNull());
    EXPECT_TRUE(cell(*p, "{S1}", "C_001").isNull());
    EXPECT_EQ(cell(*p, "{S2}", "C_001").toDouble(), 100) << "an unselected cell keeps its score";
    EXPECT_TRUE(cell(*p, "{S0}", "FullTotal").isNull()) << "the totals follow";
    p->acSave->trigger();
    EXPECT_TRUE(stored(0, "001").isNull());
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_MarkLog\" WHERE \"NewScore\" IS NULL"), 2);
}

} // namespace

namespace {

// Scores pasted from a spreadsheet: matched by name, letters and words turned into steps, nobody
// appended, the totals following.
TEST_F(AchievePageTest, ImportedScoresAreMatchedByNameAndTranslated)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    QApplication::clipboard()->setText(QStringLiteral("姓名\t语文\t音乐\r\n张三\t99\t优\r\n李四\t88.5\tB+\r\n查无此人\t70\tA\r\n"));
    bool ran = false;
    setModalRunner([&](QDialog &d) {
        auto &w = dynamic_cast<TPubImportSet &>(d);
        EXPECT_EQ(w.Caption, QStringLiteral("2026级七年级.期中考试 成绩数据导入向导"));
        EXPECT_FALSE(w.cbAddData->isChecked()) << "a score import appends no student";
        for (int i = 0; i < w.clbKeys->count(); ++i)
            w.clbKeys->item(i)->setCheckState(w.clbKeys->item(i)->text() == QStringLiteral("姓名") ? Qt::Checked : Qt::Unchecked);
        w.nextStep();
        w.nextStep();
        w.importData();
        ran = true;
        return int(QDialog::Accepted);
    });
    p->acImport->trigger();
    setModalRunner({});
    ASSERT_TRUE(ran);
    ASSERT_TRUE(p->isEditing()) << "the import enters edit state through the edit checks";
    EXPECT_EQ(cell(*p, "{S0}", "C_001").toDouble(), 99);
    EXPECT_EQ(cell(*p, "{S0}", "C_009").toDouble(), 5) << "优 is the top step";
    EXPECT_EQ(cell(*p, "{S1}", "C_009").toDouble(), 4.5) << "B+";
    EXPECT_EQ(cell(*p, "{S0}", "FullTotal").toDouble(), 104);
    EXPECT_EQ(p->cdsData->recordCount(), 6) << "查无此人 was not appended";
    p->acSave->trigger();
    EXPECT_EQ(stored(1, "001"), 88.5);
}

} // namespace
