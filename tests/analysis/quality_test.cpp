// The teaching-quality report (质量分析总表) over the analysis school: the exams offered and the one
// ticked, the refusals of OK, what the dialog sends and logs, an answer without rows, a failing
// call, the picked students, and the printed report: the template of the application folder
// prepared with the server's answer, its figures worked out by hand below. With LUMEKO_SHOTS set,
// a picture of the demo school's report.

#include "analysis/analysiscall.h"
#include "analysis/ufrmachievequality.h"
#include "analysisschool.h"
#include "framework/pageregistry.h"
#include "scores/ufrmachievepage.h"
#include "shots.h"
#include "toolkit/report/prepared.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::achieve::testing;

namespace {

// 期末 (002) reported against 期中 (001), 数学 (analysisschool.h):
//
//         期末                                    期中               changes
//   一班  80 × 5: 80, 2nd, 超均率 1.05            66, 2nd, 0.25      名次 0, 超均率 +0.8
//   二班  70 × 4: 70, 3rd, −11.58                 66.25, 1st, 0.63   ↓2, −12.21
//   三班  90 × 3: 90, 1st, 13.68                  65, 3rd, −1.27     ↑2, +14.95
//   年级  950 ÷ 12 = 79.17                        65.83
//
// 超均率 (80 − 79.17) ÷ 79.17 × 100 = 1.05 from the unrounded 79.1667; the changes are of the
// figures printed: 1.05 − 0.25 = 0.8. Rates of 一班: nobody at 90 (优秀 0), all at 80 or above
// (良好 100, 及格 100), nobody below 30 (低分 0).
class QualityTest : public AnalysisTest {
protected:
    void SetUp() override
    {
        AnalysisTest::SetUp();
        if (IsSkipped()) return;
        installTemplate();
    }

    void installTemplate()
    {
        QDir(m_app.path()).mkpath(QStringLiteral("Reports"));
        QFile::remove(host.appPathValue + kQualityTemplate);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/") + kQualityTemplate, host.appPathValue + kQualityTemplate));
    }

    // Runs the report of `exam` with the score page's filter; `drive` operates the dialog like the
    // teacher, whose previews land in `previews`.
    void run(const QByteArray &params, const QString &filter, bool pickedAllowed, const std::function<void(TfrmAchieveQuality &)> &drive)
    {
        QWidget *window = hostWindow();
        const QStringList list = QString::fromUtf8(params).split(u',');
        through<TfrmAchieveQuality>(
            [&] {
                runQualityReport(window, list, filter, pickedAllowed);
                return 0;
            },
            [&](TfrmAchieveQuality &d) {
                d.showReport = [this](const report::PreparedReport &r) { previews.append(r); };
                drive(d);
            });
    }

    static QStringList captions(const QListWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    static void tickOnly(QListWidget *list, const QStringList &captions)
    {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(captions.contains(list->item(i)->text()) ? Qt::Checked : Qt::Unchecked);
    }

    // `count` texts printed one after the other on the page from the first text `first`: a row of
    // the report, or its first cells.
    static QStringList rowOf(const QStringList &texts, const QString &first, int count)
    {
        const qsizetype at = texts.indexOf(first);
        return at < 0 ? QStringList{QStringLiteral("no row ") + first} : texts.mid(at, count);
    }

    QList<report::PreparedReport> previews;
};

} // namespace

TEST_F(QualityTest, TheDialogOffersTheOtherExamsAndRefusesWhatCannotBeReported)
{
    signInAs("admin", "lumeko");
    run(examParams("002", "期末考试", "001;002"), QString(), false, [&](TfrmAchieveQuality &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("质量分析总表"));
        // This grade's exams but the one reported, the one held just before it ticked.
        EXPECT_EQ(captions(d.clbExams), QStringList({"七年级.期中考试", "七年级.三月月考"}));
        EXPECT_EQ(checkedCaptions(d.clbExams), QStringList({"七年级.期中考试"}));
        EXPECT_EQ(captions(d.clbSubjects), QStringList({"语文", "数学", "全总分", "主总分", "基总分"}));
        EXPECT_EQ(checkedKeys(d.clbSubjects), QStringList({"001", "002", "FUL", "MAI", "BAS"}));
        EXPECT_EQ(captions(d.clbRange).last(), QStringLiteral("已选名单"));
        EXPECT_FALSE(d.clbRange->item(d.clbRange->count() - 1)->flags() & Qt::ItemIsEnabled) << "the page picked nobody";

        // One earlier exam is compared: ticking another unticks the first.
        d.clbExams->item(1)->setCheckState(Qt::Checked);
        EXPECT_EQ(d.LastExamText(), QStringLiteral("1701;003;⊥"));
        EXPECT_EQ(checkedCaptions(d.clbExams), QStringList({"七年级.三月月考"}));

        d.clbExams->item(1)->setCheckState(Qt::Unchecked);
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("请选择上次考试！"));
        d.clbExams->item(0)->setCheckState(Qt::Checked);
        tickOnly(d.clbSubjects, {});
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().value(1), QStringLiteral("请至少选择一项统计科目！"));
        tickOnly(d.clbSubjects, {QStringLiteral("数学")});
        tickOnly(d.clbRange, {});
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().value(2), QStringLiteral("请选择要统计的范围！"));
        EXPECT_TRUE(previews.isEmpty());
        EXPECT_TRUE(operationLog().isEmpty()) << "nothing was asked";

        // A range nobody of the grade is in: the server answers no rows.
        tickOnly(d.clbRange, {QStringLiteral("特长生")});
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().value(3), QStringLiteral("统计结果没有数据！"));
        EXPECT_TRUE(previews.isEmpty());

        // The whole intake: 七年级's exams are the intake's only ones, so the list is the same.
        d.rbIntake->setChecked(true);
        EXPECT_EQ(captions(d.clbExams), QStringList({"七年级.期中考试", "七年级.三月月考"}));
        EXPECT_EQ(checkedCaptions(d.clbExams), QStringList({"七年级.期中考试"})) << "the tick stays with its exam";
        d.reject();
    });
    EXPECT_EQ(host.messageTexts().size(), 4);
}

TEST_F(QualityTest, TheReportPrintsEachClassBesideItselfInTheEarlierExam)
{
    signInAs("admin", "lumeko");
    run(examParams("002", "期末考试", "001;002"), QString(), false, [&](TfrmAchieveQuality &d) {
        tickOnly(d.clbSubjects, {QStringLiteral("数学")});
        d.btnOK->click();
        ASSERT_EQ(previews.size(), 1) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
        EXPECT_TRUE(d.isVisible()) << "the dialog stays for the next report";
        EXPECT_EQ(d.cdsData->recordCount(), 6) << "三 classes, two branches, the grade";
    });
    ASSERT_EQ(previews.size(), 1);
    const report::PreparedReport &r = previews.first();
    EXPECT_EQ(r.page.orientation, QPageLayout::Landscape);
    ASSERT_EQ(r.pageCount(), 1);
    const QStringList texts = r.texts(0);
    EXPECT_TRUE(texts.contains(pub::schoolName() + QStringLiteral("教学质量分析表"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("考试：2026级七年级.期末考试　　对比上次考试：七年级.期中考试　　统计范围：统招生、借读生、特长生、港澳台生")))
        << texts.join(u'|').toStdString();
    // Every row names its subject and full mark, so that a page that starts inside a subject reads alone.
    const qsizetype one = texts.indexOf(QStringLiteral("一班"));
    EXPECT_EQ(texts.mid(one - 2, 2), QStringList({"数学", "100"}));
    EXPECT_EQ(texts.mid(texts.indexOf(QStringLiteral("年级")) - 2, 2), QStringList({"数学", "100"}));
    // 班级 教师 人数 实考 平均分 名次 超均率 优秀率 良好率 及格率 低分率 最高分 | 上次: 平均分 名次 超均率 |
    // 进退: 名次 超均率. Averages, rates and 超均率 with two decimals, so that the columns line up.
    EXPECT_EQ(rowOf(texts, "一班", 17),
              QStringList({"一班", "张老师", "6", "5", "80.00", "2", "1.05", "0.00", "100.00", "100.00", "0.00", "80", "66.00", "2", "0.25", "0", "+0.80"}));
    EXPECT_EQ(rowOf(texts, "二班", 17),
              QStringList({"二班", "李老师", "4", "4", "70.00", "3", "-11.58", "0.00", "0.00", "100.00", "0.00", "70", "66.25", "1", "0.63", "↓2", "-12.21"}));
    EXPECT_EQ(rowOf(texts, "三班", 17), QStringList({"三班", "张老师", "4", "3", "90.00", "1", "13.68", "100.00", "100.00", "100.00", "0.00", "90", "65.00",
                                                     "3", "-1.27", "↑2", "+14.95"}));
    EXPECT_EQ(rowOf(texts, "年级", 17),
              QStringList({"年级", "", "14", "12", "79.17", "", "", "25.00", "66.67", "100.00", "0.00", "90", "65.83", "", "", "", ""}));
    EXPECT_TRUE(texts.contains(QStringLiteral("第 1 页 / 共 1 页")));
    EXPECT_EQ(operationLog(), QStringList({"执行  教学质量分析;1701;002;⊥"}));
}

TEST_F(QualityTest, ThePickedStudentsCountOnlyWhenTicked)
{
    // The score page shows 一班 without S01 and S02: with "已选名单" ticked the report counts
    // S03–S06 (80, 80, 80 and the absent S06); without it, the classes the page shows.
    signInAs("admin", "lumeko");
    run(examParams("002", "期末考试", "001;002"), QStringLiteral("001;{S01},{S02}"), true, [&](TfrmAchieveQuality &d) {
        tickOnly(d.clbSubjects, {QStringLiteral("数学")});
        d.btnOK->click();
        tickOnly(d.clbRange, {QStringLiteral("统招生"), QStringLiteral("借读生"), QStringLiteral("已选名单")});
        d.btnOK->click();
        d.reject();
    });
    ASSERT_EQ(previews.size(), 2) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(rowOf(previews[0].texts(0), "一班", 6), QStringList({"一班", "张老师", "6", "5", "80.00", "1"}));
    // Without S01 and S02 in 期中: 80, 60, 0 → 46.67.
    EXPECT_EQ(rowOf(previews[1].texts(0), "一班", 14),
              QStringList({"一班", "张老师", "4", "3", "80.00", "1", "0.00", "0.00", "100.00", "100.00", "0.00", "80", "46.67", "1"}));
    EXPECT_FALSE(previews[1].texts(0).contains(QStringLiteral("二班")));
}

TEST_F(QualityTest, AFailedCallIsLoggedAndAMissingTemplateIsNamed)
{
    signInAs("admin", "lumeko");
    run(examParams("002", "期末考试", "001;002"), QString(), false, [&](TfrmAchieveQuality &d) {
        // Another user removed the earlier exam after the list was read.
        fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"ExamCode\" = '009' WHERE \"Id\" = ?", {exams[0]});
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("统计结果没有数据！"));
        EXPECT_TRUE(host.logLines.join(u'|').contains(QStringLiteral("发生错误：AchieveQry.QExamQuality: there is no exam 001")))
            << host.logLines.join(u'|').toStdString();
        EXPECT_TRUE(operationLog().isEmpty());

        // The earlier exam back, the template gone: the teacher is told which file.
        fx.db().exec("UPDATE \"CJ_ExamTotal\" SET \"ExamCode\" = '001' WHERE \"Id\" = ?", {exams[0]});
        QFile::remove(host.appPathValue + kQualityTemplate);
        d.btnOK->click();
        EXPECT_TRUE(host.messageTexts().value(1).contains(QStringLiteral("jxzlfx.frf"))) << host.messageTexts().join(u'|').toStdString();
        EXPECT_TRUE(previews.isEmpty());
        d.reject();
    });
}

TEST_F(QualityTest, TheScorePageOpensItOverItsExamAndItsStudents)
{
    signInAs("admin", "lumeko");
    QWidget *window = hostWindow();
    const QByteArray params = examParams("002", "期末考试");
    auto *page = qobject_cast<TfrmAchievePage *>(PageRegistry::instance().page(ShowAchievePage(window, window, params.constData())));
    ASSERT_NE(page, nullptr) << host.messageTexts().join(u'|').toStdString();
    window->show();
    // A command of the page's 分析 menu.
    QMenu *analyses = nullptr;
    for (QAction *a : page->tlbTools->actions())
        if (a->text() == u"分析") analyses = a->menu<QMenu *>();
    ASSERT_NE(analyses, nullptr);
    EXPECT_TRUE(analyses->actions().contains(page->acQuality));
    EXPECT_EQ(page->acQuality->text(), QStringLiteral("质量分析总表"));
    bool shown = false;
    setModalRunner([&](QDialog &dialog) {
        auto &d = dynamic_cast<TfrmAchieveQuality &>(dialog);
        shown = true;
        d.showReport = [this](const report::PreparedReport &r) { previews.append(r); };
        EXPECT_EQ(d.ExamText(), QStringLiteral("1701;002;⊥"));
        EXPECT_EQ(d.FilterText, page->studentFilterText());
        EXPECT_TRUE(d.clbRange->item(d.clbRange->count() - 1)->flags() & Qt::ItemIsEnabled) << "the sheet's students may be the range";
        tickOnly(d.clbSubjects, {QStringLiteral("数学")});
        d.btnOK->click();
        return int(QDialog::Rejected);
    });
    page->acQuality->trigger();
    setModalRunner({});
    ASSERT_TRUE(shown);
    ASSERT_EQ(previews.size(), 1) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(rowOf(previews.first().texts(0), "三班", 7), QStringList({"三班", "张老师", "4", "3", "90.00", "1", "13.68"}));
}

TEST(QualityChanges, ADirectionIsPrintedWithItsChange)
{
    EXPECT_EQ(changeText(2, true), QStringLiteral("↑2"));
    EXPECT_EQ(changeText(-3, true), QStringLiteral("↓3"));
    EXPECT_EQ(changeText(0, true), QStringLiteral("0"));
    EXPECT_EQ(changeText(4.98, false), QStringLiteral("+4.98"));
    EXPECT_EQ(changeText(-0.8, false), QStringLiteral("-0.80"));
    EXPECT_EQ(changeText(0.0, false), QStringLiteral("0.00"));
    EXPECT_EQ(changeText(QVariant(), false), QString());
    EXPECT_EQ(changeText(QVariant(), true), QString());
    EXPECT_EQ(fixedText(65), QStringLiteral("65.00"));
    EXPECT_EQ(fixedText(66.666), QStringLiteral("66.67"));
    EXPECT_EQ(fixedText(QVariant()), QString());
}

// The report of the demo school's latest exam against the one before it, every subject and the
// totals, for a head teacher to look at as he would before the staff meeting.
TEST_F(QualityTest, Picture)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    server::DemoOptions demo;
    demo.schoolId = "D1";
    demo.today = QDate(2026, 12, 6);
    demo.scale = 0.5;
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
    const QList<server::DemoAccount> accounts = server::seedDemoSchool(fx.db(), demo);
    ASSERT_FALSE(accounts.isEmpty());
    pub::signOut();
    ASSERT_TRUE(pub::signIn(link, accounts.first().login, accounts.first().password));
    server::Database &db = fx.db();
    const wire::DataPacket grade =
        db.select("SELECT \"InYear\", \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'D1' AND \"bCurGrade\" = 'Y' AND \"GradeCode\" LIKE '17%'", {},
                  {{"InYear", wire::FieldType::Integer, 0, 0}, {"GradeCode", wire::FieldType::Text, 0, 0}});
    ASSERT_EQ(grade.rowCount(), 1);
    const QString inYear = grade.value(0, 0).toString(), gradeCode = grade.value(0, 1).toString();
    const wire::DataPacket exams =
        db.select("SELECT e.\"ExamCode\", e.\"ExamName\" FROM \"CJ_ExamTotal\" e WHERE e.\"SchoolCode\" = 'D1' AND e.\"GradeCode\" = ? AND e.\"InYear\" = ? "
                  "AND e.\"PageName\" = ? AND EXISTS (SELECT 1 FROM \"CJ_Mark\" m WHERE m.\"examId\" = e.\"Id\") ORDER BY e.\"dDefDay\" DESC, e.\"Id\" DESC",
                  {gradeCode, inYear.toInt(), kNoPage}, {{"ExamCode", wire::FieldType::Text, 0, 0}, {"ExamName", wire::FieldType::Text, 0, 0}});
    ASSERT_GE(exams.rowCount(), 2) << "the demo grade has held two exams by December";
    const wire::DataPacket codes =
        db.select("SELECT \"SubjectCode\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = 'D1' AND \"GradeCode\" = ? AND \"InYear\" = ? AND \"ExamCode\" = ? "
                  "AND \"PageName\" = ? ORDER BY \"SubjectCode\"",
                  {gradeCode, inYear.toInt(), exams.value(0, 0), kNoPage}, {{"SubjectCode", wire::FieldType::Text, 0, 0}});
    QStringList subjects;
    for (qsizetype r = 0; r < codes.rowCount(); ++r)
        subjects << codes.value(r, 0).toString();
    const QStringList params = {inYear,
                                gradeCode,
                                QStringLiteral("七年级"),
                                QStringLiteral("Y"),
                                QString(),
                                subjects.join(u';'),
                                exams.value(0, 0).toString(),
                                kNoPage,
                                QStringLiteral("%1级七年级.%2").arg(inYear, exams.value(0, 1).toString())};
    QWidget *window = hostWindow();
    through<TfrmAchieveQuality>(
        [&] {
            runQualityReport(window, params, QString(), false);
            return 0;
        },
        [&](TfrmAchieveQuality &d) {
            d.showReport = [this](const report::PreparedReport &r) { previews.append(r); };
            pub::testing::saveShot(d, "analysis-quality-settings");
            d.btnOK->click();
            d.reject();
        });
    ASSERT_EQ(previews.size(), 1) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
    for (int page = 0; page < previews.first().pageCount(); ++page)
        previews.first().pageImage(page, 4).save(pub::testing::shotsFolder() + QStringLiteral("/analysis-quality-report-%1.png").arg(page + 1));
}
