// Pictures of the analyses over the demo school, for people to look at as a grade leader
// preparing a meeting would: LUMEKO_SHOTS names the folder; without it the test is skipped.

#include "analysis/ufrmachievecompare.h"
#include "analysis/ufrmachievedist.h"
#include "analysis/ufrmachmuti.h"
#include "analysis/ufrmchart.h"
#include "analysis/ufrmreportpage.h"
#include "analysisschool.h"
#include "scores/ufrmachievepage.h"
#include "shots.h"
#include "toolkit/report/prepared.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::achieve::testing;

namespace {

class AnalysisPictures : public AnalysisTest {
protected:
    // The demo school's youngest junior grade and its exams with scores in every subject, the
    // earliest first.
    struct DemoExam {
        QString code, name;
    };
    QString inYear, gradeCode, subjects;
    QList<DemoExam> demoExams;

    bool seedDemo()
    {
        server::DemoOptions demo;
        demo.schoolId = "D1";
        demo.today = QDate(2026, 12, 6);
        demo.scale = 0.5;
        demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
        const QList<server::DemoAccount> accounts = server::seedDemoSchool(fx.db(), demo);
        if (accounts.isEmpty()) return false;
        pub::signOut();
        if (!pub::signIn(link, accounts.first().login, accounts.first().password)) return false;
        server::Database &db = fx.db();
        const wire::DataPacket grade =
            db.select("SELECT \"InYear\", \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'D1' AND \"bCurGrade\" = 'Y' AND \"GradeCode\" LIKE '17%'", {},
                      {{"InYear", wire::FieldType::Integer, 0, 0}, {"GradeCode", wire::FieldType::Text, 0, 0}});
        if (grade.rowCount() != 1) return false;
        inYear = grade.value(0, 0).toString();
        gradeCode = grade.value(0, 1).toString();
        const wire::DataPacket exams = db.select(
            "SELECT e.\"ExamCode\", e.\"ExamName\" FROM \"CJ_ExamTotal\" e WHERE e.\"SchoolCode\" = 'D1' AND e.\"GradeCode\" = ? AND e.\"InYear\" = ? "
            "AND e.\"PageName\" = ? AND NOT EXISTS (SELECT 1 FROM \"CJ_ExamSubject\" s WHERE s.\"SchoolCode\" = e.\"SchoolCode\" "
            "AND s.\"GradeCode\" = e.\"GradeCode\" AND s.\"InYear\" = e.\"InYear\" AND s.\"ExamCode\" = e.\"ExamCode\" AND s.\"PageName\" = e.\"PageName\" "
            "AND NOT EXISTS (SELECT 1 FROM \"CJ_Mark\" m WHERE m.\"examId\" = e.\"Id\" AND m.\"SubjectCode\" = s.\"SubjectCode\")) "
            "ORDER BY e.\"dDefDay\", e.\"Id\"",
            {gradeCode, inYear.toInt(), kNoPage}, {{"ExamCode", wire::FieldType::Text, 0, 0}, {"ExamName", wire::FieldType::Text, 0, 0}});
        for (qsizetype r = 0; r < exams.rowCount(); ++r)
            demoExams << DemoExam{exams.value(r, 0).toString(), exams.value(r, 1).toString()};
        if (demoExams.isEmpty()) return false;
        const wire::DataPacket codes = db.select(
            "SELECT \"SubjectCode\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = 'D1' AND \"GradeCode\" = ? AND \"InYear\" = ? AND \"ExamCode\" = ? "
            "AND \"PageName\" = ? ORDER BY \"SubjectCode\"",
            {gradeCode, inYear.toInt(), demoExams.last().code, kNoPage}, {{"SubjectCode", wire::FieldType::Text, 0, 0}});
        QStringList list;
        for (qsizetype r = 0; r < codes.rowCount(); ++r)
            list << codes.value(r, 0).toString();
        subjects = list.join(u';');
        return true;
    }
    // The latest exam's parameters as its score sheet hands them on.
    QByteArray latest() const
    {
        return QStringLiteral("%1,%2,七年级,Y,,%3,%4,⊥,%1级七年级.%5").arg(inYear, gradeCode, subjects, demoExams.last().code, demoExams.last().name).toUtf8();
    }
    void shotOfPage(qint32 handle, QWidget *window, const char *grid, const char *chart)
    {
        auto *p = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle));
        ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
        window->resize(1366, 720);
        pub::testing::saveShot(*window, grid);
        p->tabLevels->setCurrentWidget(p->ChartLevel);
        pub::testing::saveShot(*window, chart);
        p->tabLevels->setCurrentIndex(0);
    }
};

} // namespace

TEST_F(AnalysisPictures, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour
    ASSERT_TRUE(seedDemo());
    ASSERT_GE(demoExams.size(), 2) << "the demo grade has held two exams by December";
    const QByteArray params = latest();
    const QString templates = m_app.filePath(QStringLiteral("Reports/Analysis/成绩分布统计"));
    QDir().mkpath(templates);
    QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports/Analysis/成绩分布统计/成绩分布统计表.frf"), templates + QStringLiteral("/成绩分布统计表.frf"));

    // The distribution of 数学 with the grade's first and last 30, 60, 90.
    QWidget *distWindow = hostWindow();
    qint32 handle = through<TfrmAchieveDist>([&] { return ShowDistSumPage(distWindow, distWindow, params.constData(), ""); },
                                             [&](TfrmAchieveDist &d) {
                                                 d.cbSubject->setCurrentIndex(d.cbSubject->findText(QStringLiteral("数学")));
                                                 d.chkLayers->setChecked(true);
                                                 pub::testing::saveShot(d, "analysis-distribution-settings");
                                                 d.btnOK->click();
                                             });
    shotOfPage(handle, distWindow, "analysis-distribution", "analysis-distribution-chart");
    // Its shipped template, printed.
    if (auto *p = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle))) {
        p->showReport = [](const report::PreparedReport &r) {
            if (r.pageCount() > 0) r.pageImage(0, 3.0).save(pub::testing::shotsFolder() + QStringLiteral("/analysis-distribution-print.png"));
        };
        for (QAction *a : p->pmPrint->actions())
            if (a->text() == u"成绩分布统计表") a->trigger();
    }

    // The class comparison with the dialog's own items.
    QWidget *compareWindow = hostWindow();
    handle = through<TfrmAchieveCompare>([&] { return ShowClassSumPage(compareWindow, compareWindow, params.constData(), ""); },
                                         [&](TfrmAchieveCompare &d) {
                                             pub::testing::saveShot(d, "analysis-class-comparison-settings");
                                             d.btnOK->click();
                                         });
    shotOfPage(handle, compareWindow, "analysis-class-comparison", "analysis-class-comparison-chart");

    // The term's exams with scores side by side, in the order they were held.
    QWidget *multiWindow = hostWindow();
    handle = through<TfrmAchMuti>([&] { return ShowAchMutiPage(multiWindow, multiWindow, params.constData()); },
                                  [&](TfrmAchMuti &d) {
                                      for (int i = 0; i < d.lbExams->count(); ++i) {
                                          const QString name = d.lbExams->item(i)->text().section(u'.', -1);
                                          for (const DemoExam &e : demoExams)
                                              if (e.name == name && e.code != demoExams.last().code) d.Chooser->add(d.lbExams->item(i));
                                      }
                                      // The current exam, the latest, last.
                                      d.lbChosen->setCurrentRow(0);
                                      for (int i = 0; i + 1 < d.lbChosen->count(); ++i)
                                          d.Chooser->move(1);
                                      pub::testing::saveShot(d, "analysis-multi-exam-settings");
                                      d.btnOK->click();
                                  });
    shotOfPage(handle, multiWindow, "analysis-multi-exam", "analysis-multi-exam-chart");

    // The charts of the latest exam's sheet.
    QWidget *sheetWindow = hostWindow();
    const qint32 sheet = ShowAchievePage(sheetWindow, sheetWindow, params.constData());
    auto *page = qobject_cast<TfrmAchievePage *>(PageRegistry::instance().page(sheet));
    ASSERT_NE(page, nullptr);
    setModalRunner([&](QDialog &dialog) {
        auto &c = dynamic_cast<TfrmChart &>(dialog);
        c.resize(1100, 680);
        c.show();
        c.setChartType(TfrmChart::Radar);
        c.cbClass->setCurrentIndex(0);
        pub::testing::saveShot(c, "analysis-radar");
        c.setChartType(TfrmChart::Pie);
        c.cbSubject->setCurrentIndex(c.cbSubject->findText(QStringLiteral("数学")));
        c.chooseRange(rankRangeMenu().at(1));
        pub::testing::saveShot(c, "analysis-pie");
        c.setChartType(TfrmChart::Structure);
        c.acPercent->trigger();
        pub::testing::saveShot(c, "analysis-structure");
        c.setChartType(TfrmChart::Lines);
        c.acValues->trigger();
        pub::testing::saveShot(c, "analysis-lines");
        return int(QDialog::Rejected);
    });
    page->acChart->trigger();
    setModalRunner({});
}
