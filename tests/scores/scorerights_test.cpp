// The score page's three small dialogs: the edit role a teacher chooses, the letter shares, and
// seat-number entry, through the page on the fixture school's server.

#include "achievefixture.h"
#include "framework/modalrun.h"
#include "scores/ufrmachmodifyrightdlg.h"
#include "scores/ufrminputscore.h"
#include "scores/ufrmmodifygradeper.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

using namespace lumeko;
using namespace lumeko::achieve;
using lumeko::achieve::testing::AchievePageTest;

namespace {

TEST(EditRoles, OnlyRolesTheExamAllowsAndTheTeacherHoldsAreOfferedTheLastFirst)
{
    pub::testing::ScriptedProvider host;
    TfrmAchModifyRightDlg dialog;
    dialog.setRights(33, QStringLiteral("5,6"));
    EXPECT_EQ(dialog.offered(), QStringList{"6"}) << "33 lets the administrator and the subject teacher edit";
    EXPECT_TRUE(dialog.chkGranted[0]->isChecked());
    EXPECT_TRUE(dialog.chkGranted[5]->isChecked());
    EXPECT_FALSE(dialog.chkGranted[4]->isChecked());
    dialog.setRights(63, QStringLiteral("1,3,6"));
    EXPECT_EQ(dialog.offered(), (QStringList{"1", "3", "6"}));
    EXPECT_EQ(dialog.answer(), QStringLiteral("6")) << "the last role comes chosen";
    dialog.setRights(4, QStringLiteral("6"));
    EXPECT_TRUE(dialog.offered().isEmpty());
    EXPECT_EQ(dialog.answer(), QString());

    // One role: no dialog. Several: the dialog, and the chosen role; closed without 确定: none.
    int shown = 0;
    setModalRunner([&](QDialog &d) {
        ++shown;
        auto &chooser = dynamic_cast<TfrmAchModifyRightDlg &>(d);
        EXPECT_EQ(chooser.rbRoles.size(), 3);
        chooser.rbRoles[1]->setChecked(true); // 年级长
        return shown == 1 ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    EXPECT_EQ(TfrmAchModifyRightDlg::chooseRole(nullptr, 33, QStringLiteral("5,6")), QStringLiteral("6"));
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(TfrmAchModifyRightDlg::chooseRole(nullptr, 63, QStringLiteral("1,3,6")), QStringLiteral("3"));
    EXPECT_EQ(TfrmAchModifyRightDlg::chooseRole(nullptr, 63, QStringLiteral("1,3,6")), QString());
    EXPECT_EQ(shown, 2);
    setModalRunner({});
}

TEST_F(AchievePageTest, ATeacherOfTwoRolesEditsInTheOneTheExamAllowsWithoutBeingAsked)
{
    fx.db().exec("UPDATE \"JC_Teacher\" SET \"sRole\" = '5,6' WHERE \"sLoginName\" = 'wang'");
    fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"ModifyRight\" = 33");
    signInAs("wang", "pw6");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    bool asked = false;
    setModalRunner([&](QDialog &) {
        asked = true;
        return int(QDialog::Accepted);
    });
    p->acEdit->trigger();
    setModalRunner({});
    EXPECT_TRUE(p->isEditing()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_FALSE(asked);
    EXPECT_EQ(p->EditRole, QStringLiteral("6"));
}

TEST_F(AchievePageTest, LetterSharesAddUpTo100AndComputeTheLetters)
{
    storeScore(0, "001", 100);
    storeScore(1, "001", 90);
    storeScore(2, "001", 80);
    storeScore(3, "001", 70);
    storeScore(4, "001", 60);
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->cdsGradePer->recordCount(), 1) << "the school's default row";

    // 20 + 30 + 30 + 15 + 5 is accepted; 99.9 is not, and the dialog stays.
    setModalRunner([&](QDialog &d) {
        auto &shares = dynamic_cast<TfrmModifyGradePer &>(d);
        const double wrong[] = {20, 30, 30, 15, 4.9};
        for (int i = 0; i < 5; ++i) shares.seShare[i]->setValue(wrong[i]);
        EXPECT_EQ(shares.sumText(), QStringLiteral("99.9%"));
        shares.confirm();
        EXPECT_EQ(shares.result(), int(QDialog::Rejected)) << "not closed";
        shares.seShare[4]->setValue(5);
        EXPECT_EQ(shares.sumText(), QStringLiteral("100%"));
        shares.confirm();
        return shares.result();
    });
    p->acModifyGradePer->trigger();
    setModalRunner({});
    EXPECT_TRUE(host.messageTexts().contains(QStringLiteral("合计占比比例应该等于100%！")));
    // Five students, A 20%: one A; B 30%: two more (⌈2.5⌉ = 3 in all); C up to ⌈4⌉ = 4.
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_ExamGradePer\" WHERE \"APer\" = 20 AND \"EPer\" = 5"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_SubjectItem\" WHERE \"SubjectCode\" = '001' AND \"gradePercent\" = 5"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_SubjectItem\" WHERE \"SubjectCode\" = '001' AND \"gradePercent\" = 4"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_SubjectItem\" WHERE \"SubjectCode\" = '001' AND \"gradePercent\" = 3"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"XT_Log\" WHERE \"sText\" = '计算保存AE等级！'"), 1);

    // 区分校区: a second campus's row with the default shares, and gone again when unticked.
    p->chkBranches->setChecked(true);
    ASSERT_EQ(p->cdsGradePer->recordCount(), 2);
    p->cdsGradePer->last();
    EXPECT_EQ(p->cdsGradePer->value(u"sArea").toString(), QStringLiteral("分校"));
    EXPECT_EQ(p->cdsGradePer->value(u"APer").toDouble(), 15);
    p->chkBranches->setChecked(false);
    EXPECT_EQ(p->cdsGradePer->recordCount(), 1);

    // The server keeps the rule too: a row of 99.9 is refused whatever the client.
    p->cdsGradePer->first();
    p->cdsGradePer->edit();
    p->cdsGradePer->setValue(u"EPer", 4.9);
    p->cdsGradePer->post();
    host.messages.clear();
    EXPECT_FALSE(p->storeGradePer());
    EXPECT_EQ(count("SELECT COUNT(*) FROM \"CJ_ExamGradePer\" WHERE \"EPer\" = 4.9"), 0);
}

TEST_F(AchievePageTest, SeatAndScoreAsOneNumber)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->acInputScore->isEnabled()) << "only while editing";
    p->acEdit->trigger();
    ASSERT_TRUE(p->acInputScore->isEnabled());
    p->acInputScore->trigger();
    auto *box = p->findChild<TfrmInputScore *>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->cbClass->count(), 2);
    box->cbClass->setCurrentIndex(box->cbClass->findText(QStringLiteral("一班")));
    box->cbSubject->setCurrentIndex(box->cbSubject->findText(QStringLiteral("英语")));
    const auto enter = [&](const char *text) {
        host.messages.clear();
        box->edInput->setText(QString::fromLatin1(text));
        box->enterScore();
        return host.messageTexts();
    };
    EXPECT_TRUE(enter("0186").isEmpty());
    EXPECT_EQ(cell(*p, "{S0}", "C_003").toDouble(), 86) << "seat 1 of 一班";
    EXPECT_EQ(cell(*p, "{S0}", "FullTotal").toDouble(), 86) << "the totals follow";
    EXPECT_TRUE(box->edInput->text().isEmpty());
    EXPECT_TRUE(enter("0290.456").isEmpty());
    EXPECT_DOUBLE_EQ(cell(*p, "{S1}", "C_003").toDouble(), 90.46) << "two decimals";
    EXPECT_EQ(enter("186"), QStringList{QStringLiteral("没找到与座号 <18> 相匹配的学生！")}) << "seat 18, score 6";
    EXPECT_TRUE(box->edInput->text().isEmpty());
    EXPECT_EQ(enter("01"), QStringList{QStringLiteral("输入的成绩分数格式不正确！")});
    EXPECT_EQ(enter("a186"), QStringList{QStringLiteral("输入的前两位座号错误！")});
    EXPECT_EQ(enter("-186"), QStringList{QStringLiteral("输入的前两位座号错误！")}) << "no seat is negative";
    // Qt reads "nan" as a number, which no score comparison would have stopped.
    EXPECT_EQ(enter("02nan"), QStringList{QStringLiteral("输入的成绩分数格式不正确！")});
    EXPECT_EQ(enter("02inf"), QStringList{QStringLiteral("输入的成绩分数格式不正确！")});
    EXPECT_EQ(enter("03101"), QStringList{QStringLiteral("输入的成绩分数不是有效的数字！")}) << "英语's full mark is 100";
    EXPECT_EQ(box->edInput->selectedText(), QStringLiteral("101")) << "the score part is marked for correction";
    EXPECT_TRUE(cell(*p, "{S2}", "C_003").isNull()) << "nothing changed by the refused entries";
    p->acSave->trigger();
    EXPECT_EQ(stored(0, "003"), 86.0);
    EXPECT_FALSE(box->isVisible()) << "the box goes with the edit";
}

} // namespace
