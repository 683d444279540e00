// The chart window and the teaching-class choice: what they count, worked out by hand, and how
// the score page opens them and its analyses.

#include "analysis/chartcounts.h"
#include "analysis/ufrmachievecompare.h"
#include "analysis/ufrmachievedist.h"
#include "analysis/ufrmachievedivclass.h"
#include "analysis/ufrmachieveupdown.h"
#include "analysis/ufrmachmuti.h"
#include "analysis/ufrmchart.h"
#include "analysis/ufrmexamquestions.h"
#include "analysis/ufrmreportpage.h"
#include "analysisschool.h"
#include "scores/ufrmachievepage.h"
#include "toolkit/chart/chartview.h"
#include "toolkit/report/prepared.h"

#include <QComboBox>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::achieve::testing;

namespace {

// One row per student: class code and name, a rank and a chart level.
void fill(DataSet &d, const QList<std::tuple<const char *, const char *, QVariant, QVariant, QVariant>> &rows)
{
    d.createTable({{"ClassCode", wire::FieldType::Text, 0, 0},
                   {"ClassName", wire::FieldType::Text, 0, 0},
                   {"R_002", wire::FieldType::Integer, 0, 0},
                   {"L_002", wire::FieldType::Integer, 0, 0},
                   {"S_002", wire::FieldType::Float, 0, 0}});
    for (const auto &[code, name, rank, level, score] : rows)
        d.appendRecord({code, QString::fromUtf8(name), rank, level, score});
}

QStringList classCounts(const QList<ClassCount> &counts)
{
    QStringList out;
    for (const ClassCount &c : counts)
        out << c.className + u' ' + QString::number(c.count);
    return out;
}

} // namespace

TEST(ChartCounts, RankRangesLevelsAndAverages)
{
    const QVariant none;
    // The mid-term's 数学 with its grade ranks and chart levels (3 优秀, 2 良好, 1 及格, 0 below),
    // the classes not in the order of their codes.
    DataSet d;
    fill(d, {{"003", "三班", 2, 3, 95},
             {"001", "一班", 1, 3, 100},
             {"001", "一班", 3, 3, 90},
             {"002", "二班", 4, 2, 85},
             {"001", "一班", 5, 2, 80},
             {"002", "二班", 6, 1, 75},
             {"003", "三班", 7, 1, 70},
             {"001", "一班", 8, 1, 60},
             {"002", "二班", 8, 1, 60},
             {"002", "二班", 10, 0, 45},
             {"003", "三班", 11, 0, 30},
             {"001", "一班", 12, 0, 0},
             {"001", "一班", none, none, none},
             {"003", "三班", none, none, none}});
    const QString klass = QStringLiteral("ClassName");
    // 前3名: 100, 95, 90; 1-8: nine students for the tie at 8.
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", *parseRankRange("1-3"))), (QStringList{"一班 2", "三班 1"}));
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", *parseRankRange("1-8"))), (QStringList{"一班 4", "二班 3", "三班 2"}));
    // The last 2 rank values of 12: 11 and 12, that is 30 and 0.
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", RankRange{1, 2, true, {}})), (QStringList{"一班 1", "三班 1"}));
    // 倒数20名 of 12 ranks: everybody ranked; 前20名 too.
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", rankRangeMenu().at(3))), (QStringList{"一班 5", "二班 4", "三班 3"}));
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", rankRangeMenu().at(0))), (QStringList{"一班 5", "二班 4", "三班 3"}));
    // A range the other way round is the same range; 9-9 holds nobody (the 60s are 8).
    EXPECT_EQ(classCounts(rankRangeCounts(d, klass, "R_002", *parseRankRange("8 - 6"))), (QStringList{"一班 1", "二班 2", "三班 1"}));
    EXPECT_TRUE(rankRangeCounts(d, klass, "R_002", *parseRankRange("9-9")).isEmpty());

    // Levels: 0 不及格, 1 and 2 及格优良, 3 优秀; no level, not counted.
    const StructureCounts s = structureCounts(d, klass, "L_002");
    EXPECT_EQ(s.classes, (QStringList{"一班", "二班", "三班"})) << "by class code";
    EXPECT_EQ(s.fail, (QList<double>{1, 1, 1}));
    EXPECT_EQ(s.pass, (QList<double>{2, 3, 1}));
    EXPECT_EQ(s.excel, (QList<double>{2, 0, 1}));

    // Averages over the scored: 330 / 5, 265 / 4, 195 / 3, and 790 / 12 for the grade.
    const ClassAverages a = classAverages(d, klass, "S_002", QStringLiteral("年级"));
    EXPECT_EQ(a.classes, (QStringList{"一班", "二班", "三班", "年级"}));
    EXPECT_EQ(a.averages.mid(0, 3), (QList<double>{66, 66.25, 65}));
    EXPECT_NEAR(a.averages.last(), 65.8333, 1e-4);
    DataSet empty;
    fill(empty, {{"001", "一班", none, none, none}});
    EXPECT_TRUE(std::isnan(classAverages(empty, klass, "S_002", "年级").averages.first()));

    for (const char *bad : {"1~30", "30", "-3", "a-3", "1-", "1-2-3", ""})
        EXPECT_FALSE(parseRankRange(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(parseRankRange("1-30")->caption, QStringLiteral("1-30名"));

    EXPECT_EQ(chartLevelOf(0), 3);
    EXPECT_EQ(chartLevelOf(1), 2);
    EXPECT_EQ(chartLevelOf(2), 1);
    EXPECT_EQ(chartLevelOf(3), 0) << "合格 is below 及格";
    EXPECT_EQ(chartLevelOf(4), 0);
    EXPECT_FALSE(chartLevelOf(std::nullopt));
    EXPECT_EQ(scoreLevelName(0), QStringLiteral("满分"));
    EXPECT_EQ(scoreLevelName(3), QStringLiteral("及格"));
    EXPECT_TRUE(scoreLevelName(4).isEmpty());
    EXPECT_TRUE(scoreLevelName(-1).isEmpty());
    EXPECT_EQ(chartTypeName(0), QStringLiteral("雷达图"));
    EXPECT_EQ(chartTypeName(4), QStringLiteral("结构图"));
    EXPECT_TRUE(chartTypeName(5).isEmpty());
}

class ScorePageAnalysisTest : public AnalysisTest {
protected:
    TfrmAchievePage *openSheet()
    {
        QWidget *window = hostWindow();
        const QByteArray params = examParams("001", "期中考试");
        const qint32 handle = ShowAchievePage(window, window, params.constData());
        auto *p = qobject_cast<TfrmAchievePage *>(PageRegistry::instance().page(handle));
        if (p) window->show();
        return p;
    }
    template <class Dialog> bool throughPage(QAction *command, const std::function<void(Dialog &)> &drive)
    {
        bool ran = false;
        setModalRunner([&](QDialog &d) {
            auto *dialog = dynamic_cast<Dialog *>(&d);
            EXPECT_NE(dialog, nullptr);
            if (!dialog) return 0;
            dialog->show();
            drive(*dialog);
            ran = true;
            const int result = dialog->result();
            dialog->hide();
            return result;
        });
        command->trigger();
        setModalRunner({});
        return ran;
    }
};

TEST_F(ScorePageAnalysisTest, ChartsOfTheSheet)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = openSheet();
    ASSERT_NE(p, nullptr) << host.messageTexts().join(u'|').toStdString();
    ASSERT_TRUE(throughPage<TfrmChart>(p->acChart, [&](TfrmChart &c) {
        QStringList subjects;
        for (int i = 0; i < c.cbSubject->count(); ++i)
            subjects << c.cbSubject->itemText(i);
        EXPECT_EQ(subjects, (QStringList{"语文", "数学", "全总分"}));
        c.cbSubject->setCurrentIndex(1);

        // The pie of 前20名 to start with: everybody ranked in 数学.
        c.setChartType(TfrmChart::Pie);
        chart::ChartData d = c.chartData();
        EXPECT_EQ(d.title, QStringLiteral("数学 前20名 各班占比"));
        EXPECT_EQ(d.categories, (QStringList{"一班", "二班", "三班"}));
        EXPECT_EQ(d.series.first().values, (QList<double>{5, 4, 3}));
        // A custom range: the first three are 100, 95 and 90.
        c.askText = [](const QString &title, const QString &, const QString &text, bool *ok) {
            EXPECT_EQ(title, QStringLiteral("自定义区间"));
            EXPECT_EQ(text, QStringLiteral("1-30"));
            *ok = true;
            return QStringLiteral("1-3");
        };
        c.customRange();
        d = c.chartData();
        EXPECT_EQ(d.categories, (QStringList{"一班", "三班"}));
        EXPECT_EQ(d.series.first().values, (QList<double>{2, 1}));
        c.askText = [](const QString &, const QString &, const QString &, bool *ok) {
            *ok = true;
            return QStringLiteral("1~30");
        };
        c.customRange();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("输入区间格式无效！"));
        EXPECT_EQ(c.Range.caption, QStringLiteral("1-3名")) << "the range stays";

        // The structure by the marks 90, 80, 60: 一班 100, 90 | 80, 60 | 0; 二班 85, 75, 60 | 45;
        // 三班 95 | 70 | 30.
        c.setChartType(TfrmChart::Structure);
        d = c.chartData();
        EXPECT_EQ(d.title, QStringLiteral("数学 成绩 各班结构图"));
        ASSERT_EQ(d.series.size(), 3);
        EXPECT_EQ(d.series[0].name, QStringLiteral("不及格"));
        EXPECT_EQ(d.series[0].values, (QList<double>{1, 1, 1}));
        EXPECT_EQ(d.series[1].values, (QList<double>{2, 3, 1}));
        EXPECT_EQ(d.series[2].values, (QList<double>{2, 0, 1}));

        c.setChartType(TfrmChart::Columns);
        d = c.chartData();
        EXPECT_EQ(d.categories, (QStringList{"一班", "二班", "三班", "年级"}));
        EXPECT_EQ(d.series.first().values, (QList<double>{66, 66.25, 65, 65.83}));

        // The radar: 一班's score rates against the grade's, rings at the marks' mean rates
        // (优秀 90 and 90, 优良 80 and 80, 及格 50 and 60).
        c.setChartType(TfrmChart::Radar);
        c.cbClass->setCurrentText(QStringLiteral("一班"));
        d = c.chartData();
        EXPECT_EQ(d.title, QStringLiteral("一班 各科得分率"));
        EXPECT_EQ(d.categories, (QStringList{"语文", "数学"})) << "rates of subjects, not of totals";
        ASSERT_EQ(d.series.size(), 2);
        EXPECT_EQ(d.series[0].values, (QList<double>{50, 66}));
        EXPECT_EQ(d.series[1].name, QStringLiteral("年级"));
        EXPECT_EQ(d.series[1].values, (QList<double>{50, 65.8}));
        const chart::ChartOptions o = c.chartOptions();
        ASSERT_EQ(o.radialLevels.size(), 4);
        EXPECT_EQ(o.radialLevels[1].label, QStringLiteral("优秀"));
        EXPECT_EQ(o.radialLevels[1].value, 90);
        EXPECT_EQ(o.radialLevels[3].value, 55);

        // Percentages of the pie; the picture and the printed page.
        c.setChartType(TfrmChart::Pie);
        c.acPercent->trigger();
        EXPECT_EQ(c.marks(), chart::Marks::Percent);
        const QString file = m_app.filePath(QStringLiteral("pie.jpg"));
        QString error;
        ASSERT_TRUE(c.chartView->saveImage(file, &error)) << error.toStdString();
        EXPECT_EQ(QImageReader(file).format(), QByteArray("jpeg"));
        int pages = 0;
        c.showReport = [&](const report::PreparedReport &r) {
            pages = r.pageCount();
            ASSERT_FALSE(r.pages.isEmpty());
            EXPECT_FALSE(r.pages.first().items.first().picture.isNull());
        };
        c.btnPrint->click();
        EXPECT_EQ(pages, 1);
    }));
}

TEST_F(ScorePageAnalysisTest, TeachingClassesOnePerSubject)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = openSheet();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->acDivClass->isVisible()) << "the grade has a course table and the user may";
    ASSERT_TRUE(throughPage<TfrmAchieveDivClass>(p->acDivClass, [&](TfrmAchieveDivClass &d) {
        // The course table's lines: 数学 in 一班, 二班 and 三班, 语文 in 三班.
        ASSERT_EQ(d.clbClasses->count(), 4);
        const auto item = [&](const char *klass, const char *subject) {
            for (int i = 0; i < d.clbClasses->count(); ++i)
                if (d.clbClasses->item(i)->data(Qt::UserRole).toString() == teachingClassCode(QString::fromLatin1(klass), QString::fromLatin1(subject)))
                    return d.clbClasses->item(i);
            ADD_FAILURE() << klass << subject;
            return d.clbClasses->item(0);
        };
        EXPECT_EQ(item("003", "001")->text(), QStringLiteral("语文  三班（王老师）"));
        d.btnOK->click();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请至少选一个教学班级！"));
        item("002", "002")->setCheckState(Qt::Checked);
        // A second 数学 class is unticked again.
        item("001", "002")->setCheckState(Qt::Checked);
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("同一科目只能选一个教学班级！"));
        EXPECT_EQ(item("001", "002")->checkState(), Qt::Unchecked);
        item("003", "001")->setCheckState(Qt::Checked);
        EXPECT_EQ(d.Chosen(), (QStringList{teachingClassCode("003", "001"), teachingClassCode("002", "002")})) << "in the list's order, 语文 first";
        d.btnOK->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }));
    // The sheet shows 二班 and 三班 and hands 数学 and 语文 to the analyses.
    EXPECT_EQ(p->cdsData->recordCount(), 8);
    EXPECT_EQ(p->analysisParameterText().section(u',', -1), QStringLiteral("001;002;"));
    EXPECT_EQ(p->studentFilterText().section(u';', 0, 0), QStringLiteral("002,003"));
    EXPECT_EQ(subjectOfTeachingClass(teachingClassCode("1", "0123")), QStringLiteral("0123")) << "characters 4 to 7 whatever the class code";
}

TEST_F(ScorePageAnalysisTest, TheSheetsAnalysisCommandsOpenTheAnalyses)
{
    signInAs("admin", "lumeko");
    TfrmAchievePage *p = openSheet();
    ASSERT_NE(p, nullptr);
    for (QAction *a : {p->acDistSum, p->acClassSum, p->acSubjectSum, p->acTeacherSum, p->acChart})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    // 数学 ticked for the analyses; 学生2 (S02) unticked on the sheet.
    for (int i = 0; i < p->lbSubjects->count(); ++i)
        p->lbSubjects->item(i)->setCheckState(p->lbSubjects->item(i)->data(Qt::UserRole).toString() == u"002" ? Qt::Checked : Qt::Unchecked);
    p->acSelectAll->trigger();
    for (p->cdsData->first(); !p->cdsData->eof(); p->cdsData->next())
        if (p->cdsData->value(u"sCode").toString() == u"{S02}") {
            p->cdsData->edit();
            p->cdsData->setValue(u"Selected", false);
            p->cdsData->post();
        }
    ASSERT_TRUE(throughPage<TfrmAchieveDist>(p->acDistSum, [&](TfrmAchieveDist &d) {
        EXPECT_EQ(d.Params, parameterList(p->analysisParameterText().toUtf8().constData()));
        EXPECT_EQ(d.Exam.subjectCodes, QStringList{"002"});
        EXPECT_EQ(d.FilterText, QStringLiteral("{S02}"));
        EXPECT_TRUE(d.PickedAllowed) << "the analyses stand alone";
        d.btnCancel->click();
    }));
    const QList<qint32> before = PageRegistry::instance().handles();
    ASSERT_TRUE(throughPage<TfrmAchieveCompare>(p->acClassSum, [&](TfrmAchieveCompare &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("班级对比分析"));
        d.btnOK->click();
    }));
    const QList<qint32> after = PageRegistry::instance().handles();
    ASSERT_EQ(after.size(), before.size() + 1) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
    auto *report = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(after.last()));
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->parentWidget(), nullptr);
    EXPECT_EQ(report->cdsData->value(u"sSubject").toString(), QStringLiteral("数学")) << "the ticked subject";
    EXPECT_TRUE(ClosePage(after.last()));

    // The progress tables and the questions open their dialogs over the sheet's exam.
    const QStringList params = parameterList(p->analysisParameterText().toUtf8().constData());
    for (QAction *a : {p->acUpDownSum, p->acUpDownTable})
        EXPECT_TRUE(throughPage<TfrmAchieveUpDown>(a, [&](TfrmAchieveUpDown &d) {
            EXPECT_EQ(d.Params, params);
            EXPECT_EQ(d.lbChosen->count(), 1) << "the sheet's exam";
            d.btnCancel->click();
        })) << a->text().toStdString();
    EXPECT_TRUE(throughPage<TfrmAchMuti>(p->acMutiSum, [&](TfrmAchMuti &d) {
        EXPECT_EQ(d.Exam.examCode, readAnalysisParams(params).examCode);
        d.btnCancel->click();
    }));
    EXPECT_TRUE(throughPage<TfrmExamQuestions>(p->acQuestions, [&](TfrmExamQuestions &d) {
        EXPECT_EQ(d.cbSubject->currentData().toString(), QStringLiteral("002")) << "the ticked subject";
        d.btnClose->click();
    }));
}
