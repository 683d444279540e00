// 发送成绩短信 through the score page's 短信, on the fixture school's server: what a family's
// message says for each choice of the dialog, who gets one and on which numbers, what is counted,
// what the teacher is told, and the rows the school's gateway finds queued afterwards.

#include "achievefixture.h"
#include "framework/modalrun.h"
#include "scores/ufrmsmsachieve.h"
#include "shots.h"
#include "tests/students/registerfixtures.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

using namespace lumeko;
using namespace lumeko::achieve;
using lumeko::achieve::testing::AchievePageTest;
using lumeko::achieve::testing::kNoPage;

namespace {

class SmsAchieveTest : public AchievePageTest {
protected:
    void subscribe(int student, int state, const QVariant &mobile, const QVariant &mobile2 = {})
    {
        fx.db().exec("INSERT INTO \"XT_SMSOrder\" (\"SchoolCode\", \"code\", \"smsState\", \"mobile\", \"mobile2\") VALUES ('S1', ?, ?, ?, ?)",
                     {QStringLiteral("{S%1}").arg(student), state, mobile, mobile2});
    }
    void storeRanked(int student, const char *subject, double score, int rank)
    {
        storeScore(student, subject, score);
        fx.db().exec("UPDATE \"CJ_Mark\" SET \"gradeOrder\" = ? WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?",
                     {rank, exam, QStringLiteral("{S%1}").arg(student), subject});
    }
    void storeTotal(int student, double total, int rank)
    {
        fx.db().exec("UPDATE \"CJ_ExamStudent\" SET \"FullTotal\" = ?, \"FullOrder\" = ? WHERE \"examId\" = ? AND \"StudentCode\" = ?",
                     {total, rank, exam, QStringLiteral("{S%1}").arg(student)});
    }
    // Ticks students on the sheet, as the grid's 选择 does.
    static void tick(TfrmAchievePage &p, std::initializer_list<int> students)
    {
        DataSet &d = *p.cdsData;
        for (int s : students) {
            ASSERT_TRUE(d.locate(QStringLiteral("sCode"), {QStringLiteral("{S%1}").arg(s)}));
            d.edit();
            d.setValue(u"Selected", true);
            d.post();
        }
    }
    // Only these captions stay checked in 短信科目.
    static void keepSubjects(TfrmSMSAchieve &d, const QStringList &captions)
    {
        for (int i = 0; i < d.clbSubjects->count(); ++i)
            d.clbSubjects->item(i)->setCheckState(captions.contains(d.clbSubjects->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    }
    // Opens the dialog through the page's 短信, shown, and lets `drive` work it; false when it
    // did not open.
    bool throughPage(TfrmAchievePage &p, const std::function<void(TfrmSMSAchieve &)> &drive)
    {
        bool ran = false;
        setModalRunner([&](QDialog &d) {
            auto &dialog = dynamic_cast<TfrmSMSAchieve &>(d);
            dialog.show();
            drive(dialog);
            ran = true;
            const int result = dialog.result();
            dialog.hide();
            return result;
        });
        p.acSendMsg->trigger();
        setModalRunner({});
        return ran;
    }
    // The queued messages as "number|text", in the order they were stored.
    QStringList outbox()
    {
        const wire::DataPacket rows = fx.db().select("SELECT \"dest_mobile\", \"Msg\" FROM \"XT_SendMsg\" ORDER BY \"nId\"", {},
                                                     {{"dest_mobile", wire::FieldType::Text, 0, 0}, {"Msg", wire::FieldType::Text, 0, 0}});
        QStringList out;
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, 0).toString() + u'|' + rows.value(r, 1).toString();
        return out;
    }
};

TEST(SmsExamName, IsWhatFollowsTheLastDotUpToADash)
{
    EXPECT_EQ(smsExamName(QStringLiteral("初一.期中-成绩管理")), QStringLiteral("期中"));
    EXPECT_EQ(smsExamName(QStringLiteral("a.b.c-d")), QStringLiteral("c"));
    EXPECT_EQ(smsExamName(QStringLiteral("a.b-c-d")), QStringLiteral("b"));
    EXPECT_EQ(smsExamName(QStringLiteral("期末考试")), QStringLiteral("期末考试"));
    EXPECT_EQ(smsExamName(QStringLiteral("单元测验-成绩")), QStringLiteral("单元测验"));
    EXPECT_EQ(smsExamName(QStringLiteral("2026级七年级.")), QString());
}

TEST_F(SmsAchieveTest, ThePageHandsOverItsExamAndEverySubjectAndTheDialogShowsItsChoices)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(p->acSendMsg->text(), QStringLiteral("短信"));
    EXPECT_EQ(p->acSendMsg->statusTip(), QStringLiteral("发送成绩短信"));
    // A hidden column is offered too.
    p->GridData->setColumnVisible(p->GridData->columnOfField(QStringLiteral("C_002")), false);
    const bool ran = throughPage(*p, [&](TfrmSMSAchieve &d) {
        EXPECT_EQ(d.ExamName, QStringLiteral("期中考试"));
        EXPECT_EQ(d.windowTitle(), QStringLiteral("发送 期中考试 成绩短信"));
        EXPECT_EQ(d.GradeCode, QStringLiteral("1701"));
        EXPECT_EQ(d.InYear, 2026);
        EXPECT_TRUE(d.ClassList.isEmpty());
        EXPECT_EQ(d.cdsData, p->cdsData);
        EXPECT_EQ(d.cdsSubjectPt, p->cdsSubjectPt);
        EXPECT_EQ(d.SubjectFields, (QStringList{"C_001", "C_002", "C_003", "C_009", "FULLTOTAL", "BASETOTAL", "MAINTOTAL"}));
        QStringList captions;
        for (int i = 0; i < d.clbSubjects->count(); ++i) {
            captions << d.clbSubjects->item(i)->text();
            EXPECT_EQ(d.clbSubjects->item(i)->checkState(), Qt::Checked) << i;
        }
        EXPECT_EQ(captions, (QStringList{"语文", "数学", "英语", "音乐", "全总", "基总", "主总"}));

        EXPECT_TRUE(d.chkScore->isChecked());
        EXPECT_FALSE(d.chkOrder->isChecked());
        EXPECT_FALSE(d.chkNoEmpty->isChecked());
        EXPECT_FALSE(d.chkNoZero->isChecked());
        EXPECT_TRUE(d.edtPhrase->text().isEmpty());
        EXPECT_TRUE(d.memFormat->isReadOnly());
        const QString scores = QStringLiteral("张三考试1成绩 总分:300 语文:80  ....");
        const QString ranks = QStringLiteral("张三考试1成绩及年级(班级)排名 总分:300 名次:20 语文:80 名次：10 ....");
        EXPECT_EQ(d.memFormat->toPlainText(), scores);
        d.chkOrder->setChecked(true);
        EXPECT_EQ(d.memFormat->toPlainText(), ranks) << "the ranks' sample wins";
        d.chkScore->setChecked(false);
        EXPECT_EQ(d.memFormat->toPlainText(), ranks);
        d.chkOrder->setChecked(false);
        EXPECT_EQ(d.memFormat->toPlainText(), ranks) << "neither box: the sample stays";
        d.chkScore->setChecked(true);
        EXPECT_EQ(d.memFormat->toPlainText(), scores);

        // 定时发送: the editor follows the box; unticked again, the time follows the clock.
        EXPECT_FALSE(d.chkTimed->isChecked());
        EXPECT_FALSE(d.dtpSendTime->isEnabled());
        EXPECT_FALSE(d.tmrNow->isActive()) << "not before the box was clicked";
        d.chkTimed->click();
        EXPECT_TRUE(d.dtpSendTime->isEnabled());
        EXPECT_FALSE(d.tmrNow->isActive());
        d.dtpSendTime->setDateTime(QDateTime(QDate(2020, 1, 1), QTime(8, 0)));
        d.chkTimed->click();
        EXPECT_FALSE(d.dtpSendTime->isEnabled());
        ASSERT_TRUE(d.tmrNow->isActive());
        EXPECT_EQ(d.tmrNow->interval(), 1000);
        QTest::qWait(1300);
        EXPECT_LT(std::abs(d.dtpSendTime->dateTime().secsTo(QDateTime::currentDateTime())), 5) << "now again";
        d.chkTimed->click();
        EXPECT_FALSE(d.tmrNow->isActive());
        d.btnClose->click();
        EXPECT_EQ(d.result(), QDialog::Rejected);
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
}

TEST_F(SmsAchieveTest, ScoresAndRanksGoToEveryNumberOfAnActiveSubscriptionCountedOncePerStudent)
{
    storeRanked(0, "001", 80, 10);
    storeRanked(0, "009", 4.5, 2);
    storeTotal(0, 300, 20);
    storeRanked(1, "001", 0, 30);
    storeRanked(1, "009", 1, 5);
    subscribe(0, 1, "13800000001", "13900000001"); // two numbers: two messages
    subscribe(1, 2, "13800000002");
    subscribe(2, 1, QVariant());    // subscribed, no number: counted, nothing queued
    subscribe(3, 0, "13800000004"); // ended
    subscribe(5, 1, "13800000006"); // not ticked
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    tick(*p, {0, 1, 2, 3, 4});
    p->cdsData->moveTo(3);
    const QString current = p->cdsData->value(u"sCode").toString();
    host.waitEvents.clear();

    const bool ran = throughPage(*p, [&](TfrmSMSAchieve &d) {
        keepSubjects(d, {QStringLiteral("语文"), QStringLiteral("音乐"), QStringLiteral("全总")});
        d.chkOrder->setChecked(true);
        d.edtPhrase->setText(QStringLiteral("  请家长签字  "));
        d.btnSend->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_TRUE(ran);
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("成功发送短信到 3 个定制用户！")});
    const QString zhang = QStringLiteral("张三期中考试成绩及年级排名：语文:80 名次:10音乐:B+ 名次:2全总:300 名次:20请家长签字");
    // 1 is not a step: one blank in its place.
    const QString li = QStringLiteral("李四期中考试成绩及年级排名：语文:0 名次:30音乐:  名次:5全总: 名次:请家长签字");
    EXPECT_EQ(outbox(), (QStringList{QStringLiteral("13800000001|") + zhang, QStringLiteral("13900000001|") + zhang, QStringLiteral("13800000002|") + li}));
    // What the gateway reads.
    const wire::DataPacket rows =
        fx.db().select("SELECT \"SMSID\", \"SPID\", \"source_mobile\", \"smFlag\", \"sDate\", \"GDDBID\", \"Sectid\", \"Classid\", \"TeacherId\", \"FeeType\" "
                       "FROM \"XT_SendMsg\" ORDER BY \"nId\"",
                       {},
                       {{"SMSID", wire::FieldType::Text, 0, 0},
                        {"SPID", wire::FieldType::Text, 0, 0},
                        {"source_mobile", wire::FieldType::Text, 0, 0},
                        {"smFlag", wire::FieldType::Integer, 0, 0},
                        {"sDate", wire::FieldType::DateTime, 0, 0},
                        {"GDDBID", wire::FieldType::Text, 0, 0},
                        {"Sectid", wire::FieldType::Text, 0, 0},
                        {"Classid", wire::FieldType::Text, 0, 0},
                        {"TeacherId", wire::FieldType::Text, 0, 0},
                        {"FeeType", wire::FieldType::Integer, 0, 0}});
    ASSERT_EQ(rows.rowCount(), 3);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    for (qsizetype r = 0; r < 3; ++r) {
        EXPECT_TRUE(stamp.match(rows.value(r, 0).toString()).hasMatch()) << rows.value(r, 0).toString().toStdString();
        EXPECT_EQ(rows.value(r, 1).toString(), r < 2 ? QStringLiteral("张三") : QStringLiteral("李四"));
        EXPECT_EQ(rows.value(r, 3).toInt(), 0) << "at once";
        EXPECT_TRUE(rows.value(r, 4).isNull());
        EXPECT_EQ(rows.value(r, 5).toString(), QStringLiteral("S1"));
        EXPECT_EQ(rows.value(r, 6).toString(), QStringLiteral("1701"));
        EXPECT_TRUE(rows.value(r, 7).toString().isEmpty());
        EXPECT_EQ(rows.value(r, 8).toString(), QString::fromLatin1(server::testing::kAdminCode)) << "the signed-in teacher";
    }
    EXPECT_EQ(rows.value(1, 2).toString(), QStringLiteral("13900000001"));

    // Two notices, each hidden again; the sheet shows every row again, at the row it was on.
    ASSERT_EQ(host.waitEvents.size(), 4);
    EXPECT_EQ(host.waitEvents[0].text, QStringLiteral("正在准备发送数据......"));
    EXPECT_EQ(host.waitEvents[1].kind, pub::testing::WaitEvent::Hide);
    EXPECT_EQ(host.waitEvents[2].text, QStringLiteral("正在发送短信数据......"));
    EXPECT_EQ(host.waitEvents[3].kind, pub::testing::WaitEvent::Hide);
    EXPECT_FALSE(p->cdsData->filtered());
    EXPECT_TRUE(p->cdsData->filter().isEmpty());
    EXPECT_EQ(p->cdsData->recordCount(), 6);
    EXPECT_EQ(p->cdsData->value(u"sCode").toString(), current);
}

TEST_F(SmsAchieveTest, RanksAloneLeaveNothingOutAndATimedMessageWaitsForItsTime)
{
    storeRanked(0, "001", 80, 10);
    storeTotal(0, 300, 20);
    storeRanked(1, "001", 0, 30);
    subscribe(0, 1, "13800000001");
    subscribe(1, 1, "13800000002");
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    tick(*p, {0, 1});
    const QDateTime later(QDate(2026, 12, 7), QTime(7, 30));
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        keepSubjects(d, {QStringLiteral("语文"), QStringLiteral("全总")});
        d.chkScore->setChecked(false);
        d.chkOrder->setChecked(true);
        d.chkNoEmpty->setChecked(true);
        d.chkNoZero->setChecked(true);
        d.chkTimed->click();
        d.dtpSendTime->setDateTime(later);
        d.btnSend->click();
    }));
    EXPECT_EQ(outbox(), (QStringList{QStringLiteral("13800000001|张三期中考试年级排名：语文:10全总:20"),
                                     QStringLiteral("13800000002|李四期中考试年级排名：语文:30全总:")}))
        << "the leave-out boxes concern scores only";
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"XT_SendMsg\" WHERE \"smFlag\" = 7").toInt(), 2);
    EXPECT_EQ(fx.db().scalar("SELECT \"sDate\" FROM \"XT_SendMsg\" WHERE \"dest_mobile\" = '13800000001'").toDateTime(), later);
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("成功发送短信到 2 个定制用户！")});
}

TEST_F(SmsAchieveTest, TheLeaveOutBoxesDropEmptyAndZeroScoresButNeverTheMessage)
{
    storeRanked(1, "001", 0, 30);
    storeRanked(1, "002", 95, 1);
    subscribe(1, 1, "13800000002");
    subscribe(4, 1, "13800000005"); // 孙七 has no score at all
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    tick(*p, {1, 4});
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        keepSubjects(d, {QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("音乐")});
        d.chkNoEmpty->setChecked(true);
        d.edtPhrase->setText(QStringLiteral("家长会周五"));
        d.btnSend->click();
    }));
    EXPECT_EQ(outbox(),
              (QStringList{QStringLiteral("13800000002|李四期中考试成绩语文:0数学:95家长会周五"), QStringLiteral("13800000005|孙七期中考试成绩家长会周五")}));
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("成功发送短信到 2 个定制用户！")});

    // Again with 不发送0分学生 alone: the zero goes, the empty scores stay, a graded one as a blank.
    fx.db().exec("DELETE FROM \"XT_SendMsg\"");
    host.messages.clear();
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        keepSubjects(d, {QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("音乐")});
        d.chkNoZero->setChecked(true);
        d.btnSend->click();
    }));
    EXPECT_EQ(outbox(),
              (QStringList{QStringLiteral("13800000002|李四期中考试成绩数学:95音乐: "), QStringLiteral("13800000005|孙七期中考试成绩语文:数学:音乐: ")}))
        << "an empty graded score is not a step either";
}

TEST_F(SmsAchieveTest, NothingToSendSaysNothingAndTheChecksComeFirst)
{
    subscribe(0, 1, "13800000001");
    subscribe(3, 0, "13800000004");
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    // The checks, before anything is read: the dialog stays open.
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        host.waitEvents.clear();
        keepSubjects(d, {});
        d.btnSend->click();
        EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("必须至少选择一项短信科目！")});
        EXPECT_TRUE(d.isVisible());
        keepSubjects(d, {QStringLiteral("数学")});
        d.chkScore->setChecked(false);
        host.messages.clear();
        d.btnSend->click();
        EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("发送的内容不能为空！")});
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(host.waitEvents.isEmpty()) << "nothing was read";
        EXPECT_FALSE(d.cdsSMSOrder->isActive());
    }));

    // Nobody ticked, then only a student whose subscription ended: no message, nothing queued.
    for (bool ticked : {false, true}) {
        if (ticked) tick(*p, {3});
        host.messages.clear();
        host.waitEvents.clear();
        ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
            d.btnSend->click();
            EXPECT_EQ(d.result(), QDialog::Accepted);
            EXPECT_EQ(d.cdsSMSOrder->recordCount(), 2) << "the subscriptions were read";
        }));
        EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
        EXPECT_EQ(host.waitEvents.size(), 4);
        EXPECT_FALSE(host.waitShowing());
        EXPECT_TRUE(outbox().isEmpty());
        EXPECT_FALSE(p->cdsData->filtered());
    }
}

TEST_F(SmsAchieveTest, AFailedReadKeepsTheDialogOpenAndAnOverlongMessageGoesNowhere)
{
    subscribe(0, 1, "13800000001");
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr);
    tick(*p, {0});
    // Signed out meanwhile: nothing can be read.
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        pub::signOut();
        d.btnSend->click();
        EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("服务器连接失败，可能网络不稳定，请稍后再试！")});
        EXPECT_TRUE(d.isVisible()) << "the teacher may try again";
        EXPECT_FALSE(host.waitShowing());
    }));
    EXPECT_TRUE(outbox().isEmpty());

    // A phrase longer than a message holds: nothing of it is queued.
    signInAs("admin", "lumeko");
    subscribe(1, 1, "13800000002");
    tick(*p, {1});
    host.messages.clear();
    host.logLines.clear();
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        d.edtPhrase->setText(QString(1000, u'好'));
        d.btnSend->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.cdsSendMsg->changeCount(), 0) << "nothing is left pending";
    }));
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("生成短信数据异常，可能网络忙，请稍后再试！")});
    EXPECT_EQ(host.logLines.size(), 1) << "the reason, for the administrator";
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_FALSE(p->cdsData->filtered());
}

// The server refuses what the page put together (the right to enter scores was withdrawn while
// the sheet was open): the teacher is told, nothing is queued.
TEST_F(SmsAchieveTest, ARefusedQueueStoresNothingAndSaysSo)
{
    subscribe(3, 1, "13800000004");
    signInAs("wang", "pw6");
    TfrmAchievePage *p = open();
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    tick(*p, {3});
    fx.db().exec("DELETE FROM \"XT_RoleRight\" WHERE \"sFunId\" = '4011'");
    host.messages.clear();
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        d.btnSend->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(d.cdsSMSOrder->recordCount(), 1) << "the subscriptions of his class were read";
        EXPECT_EQ(d.cdsSendMsg->changeCount(), 1) << "the message stays pending";
    }));
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("生成短信数据异常，可能网络忙，请稍后再试！")});
    EXPECT_TRUE(outbox().isEmpty());
}

// The dialog over the demo school's latest exam, for people to look at.
TEST_F(SmsAchieveTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    server::Database &db = fx.db();
    students::testing::seedSmallDemoSchool(db);
    signInAs("admin2", "lumeko");
    const wire::DataPacket exam = db.select(
        "SELECT e.\"InYear\", e.\"GradeCode\", e.\"ExamCode\", e.\"ExamName\" FROM \"CJ_ExamTotal\" e WHERE e.\"SchoolCode\" = 'D1' AND e.\"PageName\" = ? "
        "AND e.\"Freeze\" = ? ORDER BY (SELECT COUNT(*) FROM \"CJ_Mark\" m WHERE m.\"examId\" = e.\"Id\") DESC, e.\"Id\" LIMIT 1",
        {kNoPage, db.toDb(false, wire::FieldType::Boolean)},
        {{"InYear", wire::FieldType::Integer, 0, 0},
         {"GradeCode", wire::FieldType::Text, 0, 0},
         {"ExamCode", wire::FieldType::Text, 0, 0},
         {"ExamName", wire::FieldType::Text, 0, 0}});
    ASSERT_EQ(exam.rowCount(), 1);
    const wire::DataPacket subjects =
        db.select("SELECT \"SubjectCode\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = 'D1' AND \"GradeCode\" = ? AND \"InYear\" = ? AND \"ExamCode\" = ? "
                  "AND \"PageName\" = ? ORDER BY \"SubjectCode\"",
                  {exam.value(0, 1), exam.value(0, 0), exam.value(0, 2), kNoPage}, {{"SubjectCode", wire::FieldType::Text, 0, 0}});
    QStringList codes;
    for (qsizetype r = 0; r < subjects.rowCount(); ++r)
        codes << subjects.value(r, 0).toString();
    auto *window = new QWidget;
    m_windows.emplace_back(window);
    new QVBoxLayout(window);
    const QString params =
        QStringLiteral("%1,%2,,Y,,%3,%4,⊥,%1级.%5")
            .arg(exam.value(0, 0).toString(), exam.value(0, 1).toString(), codes.join(u';'), exam.value(0, 2).toString(), exam.value(0, 3).toString());
    const qint32 handle = ShowAchievePage(window, window, params.toUtf8().constData());
    auto *p = qobject_cast<TfrmAchievePage *>(PageRegistry::instance().page(handle));
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    window->resize(1400, 700);
    window->show();
    ASSERT_TRUE(throughPage(*p, [&](TfrmSMSAchieve &d) {
        d.chkOrder->setChecked(true);
        d.edtPhrase->setText(QStringLiteral("请家长查阅并签字"));
        pub::testing::saveShot(d, "score-sms");
        d.btnClose->click();
    }));
}

} // namespace
