// The analyses through their exports over the worked example: what each dialog sends and keeps,
// what the report page shows of the server's answer, its chart and its spreadsheet export.

#include "analysis/analysiscall.h"
#include "analysis/analysissettings.h"
#include "analysis/ufrmachievecompare.h"
#include "analysis/ufrmachievedist.h"
#include "analysis/ufrmachmuti.h"
#include "analysis/ufrmreportpage.h"
#include "analysisschool.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/report/prepared.h"
#include "toolkit/sheet/sheetfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::achieve::testing;

namespace {

TfrmReportPage *reportPage(qint32 handle)
{
    return qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle));
}

// The grid's row whose first cells read `keys`; -1 when none does.
int gridRow(const BandedGrid &g, const QStringList &keys)
{
    for (int r = 0; r < g.dataRowCount(); ++r) {
        bool all = true;
        for (int k = 0; k < keys.size() && all; ++k)
            all = g.displayText(r, g.visibleColumns().value(k)) == keys[k];
        if (all) return r;
    }
    return -1;
}

QString cell(const BandedGrid &g, const QStringList &keys, const char *field)
{
    const int r = gridRow(g, keys), c = g.columnOfField(QString::fromLatin1(field));
    if (r < 0 || c < 0) return QStringLiteral("<no %1 / %2>").arg(keys.join(u'/'), QString::fromLatin1(field));
    return g.displayText(r, c);
}

QStringList captions(const BandedGrid &g)
{
    QStringList out;
    for (int c : g.visibleColumns())
        out << g.columnCaption(c);
    return out;
}

QStringList firstColumn(const BandedGrid &g)
{
    QStringList out;
    for (int r = 0; r < g.dataRowCount(); ++r)
        out << g.displayText(r, g.visibleColumns().first());
    return out;
}

void tick(QListWidget *list, const QString &caption, bool on)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == caption) {
            list->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            return;
        }
    ADD_FAILURE() << "no item " << caption.toStdString();
}

// Ticks or unticks every student type of a range list (not the picked students).
QStringList tickTypes(QListWidget *range, bool on)
{
    QStringList types;
    for (int i = 0; i < range->count(); ++i) {
        if (range->item(i)->text() == u"已选名单") continue;
        range->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        types << range->item(i)->text();
    }
    return types;
}

QSpinBox *layerCell(TfrmAchieveDist &d, int row, int column)
{
    return qobject_cast<QSpinBox *>(d.tblLayers->cellWidget(row, column));
}

} // namespace

// ---- the distribution -------------------------------------------------------------------------

// On both back ends: a changed mark is stored by UpExamTotal before the count.
class DistributionOnBothBackends : public pub::testing::OnBackend<AnalysisTest> {};

TEST_P(DistributionOnBothBackends, SendsItsSettingsStoresMarksAndLayersAndShowsTheAnswer)
{
    if (IsSkipped()) return;
    signInAs("admin", "lumeko");
    // The distribution's template as it ships, in the host's folder.
    const QString templates = m_app.filePath(QStringLiteral("Reports/Analysis/成绩分布统计"));
    QDir().mkpath(templates);
    ASSERT_TRUE(QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports/Analysis/成绩分布统计/成绩分布统计表.frf"),
                            templates + QStringLiteral("/成绩分布统计表.frf")));
    QWidget *window = hostWindow();
    const QByteArray params = examParams("001", "期中考试");
    QString sent;
    const qint32 handle = through<TfrmAchieveDist>([&] { return ShowDistSumPage(window, window, params.constData(), "001,002,003;{S02}"); },
                                                   [&](TfrmAchieveDist &d) {
                                                       // Opened inside a host window: the picked students cannot be chosen.
                                                       QListWidgetItem *picked = d.clbRange->item(d.clbRange->count() - 1);
                                                       EXPECT_EQ(picked->text(), QStringLiteral("已选名单"));
                                                       EXPECT_FALSE(picked->flags() & Qt::ItemIsEnabled);
                                                       QStringList offered;
                                                       for (int i = 0; i < d.cbSubject->count(); ++i)
                                                           offered << d.cbSubject->itemText(i);
                                                       EXPECT_EQ(offered, (QStringList{"语文", "数学", "全总分"})) << "the exam keeps no main or base total";
                                                       EXPECT_EQ(stateText(checkStates(d.clbItems)), QStringLiteral("11111111110"));

                                                       // Neither a subject nor a range: the dialog stays.
                                                       d.btnOK->click();
                                                       EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("请选择要统计的科目！"));
                                                       d.cbSubject->setCurrentIndex(d.cbSubject->findData(QStringLiteral("002")));
                                                       EXPECT_EQ(d.edExcel->value(), 90);
                                                       EXPECT_EQ(d.edHigh->value(), 90);
                                                       tickTypes(d.clbRange, false);
                                                       d.btnOK->click();
                                                       EXPECT_EQ(host.messageTexts().value(1), QStringLiteral("请选择要统计的范围！"));
                                                       EXPECT_EQ(d.result(), QDialog::Rejected);
                                                       tickTypes(d.clbRange, true);

                                                       // 优秀 from 85 on; layers 3, 0, 8 from the top and 2, 4 from the bottom.
                                                       d.edExcel->setValue(85);
                                                       d.chkLayers->setChecked(true);
                                                       ASSERT_EQ(d.tblLayers->columnCount(), 3);
                                                       layerCell(d, 0, 0)->setValue(3);
                                                       layerCell(d, 0, 1)->setValue(0);
                                                       layerCell(d, 0, 2)->setValue(8);
                                                       layerCell(d, 1, 0)->setValue(2);
                                                       layerCell(d, 1, 1)->setValue(4);
                                                       layerCell(d, 1, 2)->setValue(0);
                                                       sent = d.SettingsText();
                                                       EXPECT_EQ(d.FilterArgument(), QStringLiteral("001,002,003;")) << "the classes, not the unticked student";
                                                       d.btnOK->click();
                                                   });
    EXPECT_EQ(sent, QStringLiteral("11111111110,3-8,2-4;002;ALL"));
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();

    // The new mark is the exam's before the server counts with it, and the layers are remembered.
    EXPECT_EQ(fx.db().scalar("SELECT \"ExcelMark\" FROM \"CJ_ExamSubject\" WHERE \"ExamCode\" = '001' AND \"SubjectCode\" = '002'").toDouble(), 85);
    QSettings layers(m_app.filePath(QStringLiteral("UserData/OrderDistConfig.ini")), QSettings::IniFormat);
    EXPECT_EQ(layers.value("OrderConfig/Num").toInt(), 3);
    EXPECT_EQ(layers.value("OrderFirst/Col3").toInt(), 8);
    EXPECT_EQ(layers.value("OrderLast/Col2").toInt(), 4);
    EXPECT_TRUE(operationLog().contains(QStringLiteral("执行 成绩分布统计")));
    EXPECT_TRUE(operationLog().filter(QStringLiteral("修改成绩分布分数设置")).size() == 1) << operationLog().join(u'|').toStdString();

    TfrmReportPage *p = reportPage(handle);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("成绩分布统计"));
    EXPECT_EQ(p->parentWidget(), window);
    const BandedGrid &g = *p->GridData;
    EXPECT_EQ(g.fixedBandColumnCount(), 1);
    EXPECT_EQ(firstColumn(g), (QStringList{"一班", "二班", "三班", "分校", "本部", "年级"}));
    const QStringList heads = captions(g);
    for (const char *c : {"班级", "总人数", "100~90", "30~0", "平均分", "优秀率", "前3名", "前8名", "后2名", "后4名"})
        EXPECT_TRUE(heads.contains(QString::fromUtf8(c))) << c;
    EXPECT_FALSE(heads.contains(QStringLiteral("A等"))) << "AE等级 was not ticked";
    EXPECT_FALSE(heads.contains(QStringLiteral("班级代码"))) << "hidden";
    // The worked example: 一班's bands 2, 1, 0, 1, 0, 0, 0, 1 and average 66; with 优秀 from 85
    // 二班 has one excellent student (85); the top 3 are 100, 95, 90.
    QStringList bands;
    for (int b = 1; b <= 8; ++b)
        bands << cell(g, {"一班"}, QStringLiteral("Band%1").arg(b).toLatin1().constData());
    EXPECT_EQ(bands, (QStringList{"2", "1", "0", "1", "0", "0", "0", "1"}));
    EXPECT_EQ(cell(g, {"一班"}, "nAverage"), QStringLiteral("66"));
    EXPECT_EQ(cell(g, {"二班"}, "nExcel"), QStringLiteral("1"));
    EXPECT_EQ(cell(g, {"一班"}, "Top1"), QStringLiteral("2"));
    EXPECT_EQ(cell(g, {"三班"}, "Top1"), QStringLiteral("1"));

    // Nothing to edit; print and export for everyone.
    for (QAction *a : {p->acEdit, p->acInsert, p->acDelete, p->acSave})
        EXPECT_FALSE(a->isVisible()) << a->text().toStdString();
    EXPECT_TRUE(p->acPrint->isEnabled());
    EXPECT_TRUE(p->acExport->isEnabled());
    // A click on a header leaves the rows where the analysis put them.
    p->GridData->toggleSort(p->GridData->columnOfField(QStringLiteral("nAverage")), false);
    EXPECT_EQ(firstColumn(g), (QStringList{"一班", "二班", "三班", "分校", "本部", "年级"}));

    // The chart starts with the grade's score bands: 100, 90 and 95; 80 and 85; 75 and 70; the two
    // 60s; none; 45; 30; 0.
    const chart::ChartData d = p->ChartLevel->chartData();
    EXPECT_EQ(d.categories, (QStringList{"100~90", "90~80", "80~70", "70~60", "60~50", "50~40", "40~30", "30~0"}));
    ASSERT_EQ(d.series.size(), 1);
    EXPECT_EQ(d.series.first().name, QStringLiteral("年级"));
    EXPECT_EQ(d.series.first().values, (QList<double>{3, 2, 2, 2, 0, 1, 1, 1}));
    EXPECT_EQ(d.title, QStringLiteral("期中考试 数学 成绩分布 年级"));

    // The shipped template prints every class with the exam's and the subject's names.
    QAction *entry = nullptr;
    for (QAction *a : p->pmPrint->actions())
        if (a->text() == u"成绩分布统计表") entry = a;
    ASSERT_NE(entry, nullptr) << "the template is offered";
    QStringList printed;
    p->showReport = [&](const report::PreparedReport &r) {
        for (int i = 0; i < r.pageCount(); ++i)
            printed << r.texts(i);
    };
    entry->trigger();
    EXPECT_TRUE(printed.contains(QStringLiteral("示范市第一中学  成绩分布统计")) || printed.contains(QStringLiteral("一中  成绩分布统计")))
        << printed.join(u'|').toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("2026级七年级.期中考试  数学")));
    EXPECT_EQ(printed.count(QStringLiteral("一班")), 1);
    EXPECT_TRUE(printed.contains(QStringLiteral("年级")));
    EXPECT_TRUE(printed.contains(QStringLiteral("65.83"))) << "the grade's average";
    EXPECT_FALSE(printed.join(u'|').contains(u'[')) << "every field of the template is there";

    // The export holds what the page shows.
    const QString file = m_app.filePath(QStringLiteral("分布.xlsx"));
    QString error;
    ASSERT_TRUE(p->GridData->exportToXlsx(file, &error, p->windowTitle())) << error.toStdString();
    const SheetTable sheet = readSheetFile(file);
    ASSERT_GE(sheet.rows.size(), 7);
    EXPECT_EQ(sheet.rows[0].mid(0, 3), (QStringList{"班级", "总人数", "实考人数"}));
    EXPECT_EQ(sheet.rows[1].mid(0, 3), (QStringList{"一班", "6", "5"}));
    EXPECT_EQ(sheet.rows[6].mid(0, 3), (QStringList{"年级", "14", "12"}));
    EXPECT_TRUE(ClosePage(handle));
}

TEST_F(AnalysisTest, DistributionCancelledSendsNothing)
{
    signInAs("admin", "lumeko");
    const QByteArray params = examParams("001", "期中考试");
    const qint32 handle = through<TfrmAchieveDist>([&] { return ShowDistSumPage(hostWindow(), nullptr, params.constData(), ""); },
                                                   [&](TfrmAchieveDist &d) {
                                                       EXPECT_TRUE(d.clbRange->item(d.clbRange->count() - 1)->flags() & Qt::ItemIsEnabled)
                                                           << "a free-standing analysis may count the picked students";
                                                       d.cbSubject->setCurrentIndex(0);
                                                       d.edExcel->setValue(99);
                                                       d.btnCancel->click();
                                                   });
    EXPECT_EQ(handle, 0);
    EXPECT_TRUE(operationLog().isEmpty()) << operationLog().join(u'|').toStdString();
    EXPECT_EQ(fx.db().scalar("SELECT \"ExcelMark\" FROM \"CJ_ExamSubject\" WHERE \"ExamCode\" = '001' AND \"SubjectCode\" = '001'").toDouble(), 90)
        << "a cancelled dialog stores no mark";
    EXPECT_FALSE(QFile::exists(m_app.filePath(QStringLiteral("UserData/OrderDistConfig.ini"))));
    // Parameters that name no exam open nothing, with a hint.
    EXPECT_EQ(ShowDistSumPage(hostWindow(), nullptr, "2026,1701", ""), 0);
    EXPECT_TRUE(host.messageTexts().last().contains(QStringLiteral("哪次考试")));
}

// ---- the comparisons --------------------------------------------------------------------------

TEST_F(AnalysisTest, ClassComparisonCountsThePickedStudentsAndRemembersTheChoice)
{
    signInAs("admin", "lumeko");
    const QByteArray params = examParams("001", "期中考试");
    QStringList types;
    const qint32 handle = through<TfrmAchieveCompare>([&] { return ShowClassSumPage(hostWindow(), nullptr, params.constData(), "001,002,003;{S02}"); },
                                                      [&](TfrmAchieveCompare &d) {
                                                          EXPECT_EQ(d.windowTitle(), QStringLiteral("班级对比分析"));
                                                          EXPECT_EQ(d.ItemsText(), QStringLiteral("111111001111100000000"))
                                                              << "the defaults without a settings file";
                                                          EXPECT_EQ(d.ItemOption(), -1);
                                                          types = tickTypes(d.clbRange, true);
                                                          EXPECT_EQ(d.RangeCaptions(), types) << "every type, not the picked students";
                                                          EXPECT_TRUE(types.contains(QStringLiteral("统招生")) && types.contains(QStringLiteral("借读生")));
                                                          // 人数项目: the head counts, not the averages.
                                                          d.rbCount->click();
                                                          EXPECT_EQ(d.ItemsText(), QStringLiteral("000000011111011110000"));
                                                          tick(d.clbRange, QStringLiteral("已选名单"), true);
                                                          d.btnOK->click();
                                                      });
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
    QSettings choice(m_app.filePath(QStringLiteral("UserData/%1/AchAnalysis.ini").arg(pub::userCode())), QSettings::IniFormat);
    EXPECT_EQ(choice.value("Compare/ItemOption").toInt(), 1);
    EXPECT_EQ(choice.value("Compare/Items").toString(), QStringLiteral("000000011111011110000"));
    EXPECT_EQ(choice.value("Compare/Range").toString(), (types + QStringList{"已选名单"}).join(u','));
    EXPECT_TRUE(operationLog().contains(QStringLiteral("执行 班级对比分析")));

    TfrmReportPage *p = reportPage(handle);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->parentWidget(), nullptr) << "a window of its own";
    const BandedGrid &g = *p->GridData;
    EXPECT_EQ(g.fixedBandColumnCount(), 3);
    EXPECT_EQ(captions(g).mid(0, 6), (QStringList{"科目", "项目", "考试", "一班", "二班", "三班"}));
    // The picked students only: 一班 without S02 (90) has 4 scored of 5, one excellent (100).
    EXPECT_EQ(cell(g, {"数学", "人数", "期中考试"}, "Class_001"), QStringLiteral("5"));
    EXPECT_EQ(cell(g, {"数学", "实考人数", "期中考试"}, "Class_001"), QStringLiteral("4"));
    EXPECT_EQ(cell(g, {"数学", "优秀人数", "期中考试"}, "Class_001"), QStringLiteral("1"));
    EXPECT_EQ(cell(g, {"数学", "分数极差", "期中考试"}, "Class_001"), QStringLiteral("100"));
    EXPECT_EQ(cell(g, {"数学", "任课老师", "期中考试"}, "Class_003"), QStringLiteral("张老师"));
    EXPECT_LT(gridRow(g, {"数学", "平均分", "期中考试"}), 0) << "人数项目 has no averages";
    EXPECT_GE(gridRow(g, {"全总分", "人数", "期中考试"}), 0) << "the administrator sees the totals";

    // The chart starts with the first row across the classes, branches and grade.
    const chart::ChartData d = p->ChartLevel->chartData();
    EXPECT_EQ(d.categories.mid(0, 3), (QStringList{"一班", "二班", "三班"}));
    ASSERT_EQ(d.series.size(), 1);
    EXPECT_EQ(d.series.first().name, firstColumn(g).first() + u' ' + g.displayText(0, 1) + u' ' + g.displayText(0, 2));
    // Choosing another row in the list charts that one.
    p->tabLevels->setCurrentWidget(p->ChartLevel);
    p->ChartLevel->setSeriesRows({gridRow(g, {"数学", "实考人数", "期中考试"})});
    EXPECT_EQ(p->ChartLevel->chartData().series.first().values.mid(0, 3), (QList<double>{4, 4, 3}));
    EXPECT_TRUE(ClosePage(handle));

    // The next time the choice comes back; inside a host window the picked students cannot be.
    const qint32 again = through<TfrmAchieveCompare>([&] { return ShowClassSumPage(hostWindow(), hostWindow(), params.constData(), ""); },
                                                     [&](TfrmAchieveCompare &d) {
                                                         EXPECT_TRUE(d.rbCount->isChecked());
                                                         EXPECT_EQ(d.ItemsText(), QStringLiteral("000000011111011110000"));
                                                         EXPECT_EQ(d.RangeCaptions(), types);
                                                         // No range: refused by the dialog.
                                                         tickTypes(d.clbRange, false);
                                                         d.btnOK->click();
                                                         EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择要统计的范围！"));
                                                         d.btnCancel->click();
                                                     });
    EXPECT_EQ(again, 0);
}

TEST_F(AnalysisTest, SubjectAndTeacherComparisons)
{
    signInAs("admin", "lumeko");
    // The score page ticked 数学 and 全总分: subjects are compared without totals.
    const QByteArray params = examParams("001", "期中考试", "002;FUL;");
    qint32 handle = through<TfrmAchieveCompare>([&] { return ShowSubjectSumPage(hostWindow(), nullptr, params.constData(), ""); },
                                                [&](TfrmAchieveCompare &d) {
                                                    EXPECT_EQ(d.windowTitle(), QStringLiteral("科目对比分析"));
                                                    d.btnOK->click();
                                                });
    ASSERT_GT(handle, 0) << host.logLines.join(u'|').toStdString();
    TfrmReportPage *p = reportPage(handle);
    EXPECT_EQ(captions(*p->GridData).mid(0, 4), (QStringList{"班级", "项目", "考试", "数学"}));
    EXPECT_EQ(p->GridData->columnOfField(QStringLiteral("Subj_FUL")), -1);
    EXPECT_EQ(cell(*p->GridData, {"一班", "平均分", "期中考试"}, "Subj_002"), QStringLiteral("66"));
    EXPECT_EQ(cell(*p->GridData, {"年级", "平均分", "期中考试"}, "Subj_002"), QStringLiteral("65.83"));
    EXPECT_TRUE(ClosePage(handle));

    handle = through<TfrmAchieveCompare>([&] { return ShowTeacherSumPage(hostWindow(), nullptr, params.constData(), ""); },
                                         [&](TfrmAchieveCompare &d) { d.btnOK->click(); });
    ASSERT_GT(handle, 0);
    p = reportPage(handle);
    const BandedGrid &g = *p->GridData;
    // 张老师 teaches 一班 and 三班: 525 over 8 scored students.
    EXPECT_EQ(cell(g, {"数学", "张老师"}, "nAverage"), QStringLiteral("65.63"));
    EXPECT_EQ(cell(g, {"数学", "李老师"}, "nAverage"), QStringLiteral("66.25"));
    // Teachers side by side with their averages.
    const chart::ChartData d = p->ChartLevel->chartData();
    EXPECT_EQ(p->ChartLevel->across(), ChartPreset::Rows);
    ASSERT_EQ(d.series.size(), 1);
    EXPECT_EQ(d.series.first().name, QStringLiteral("平均分"));
    EXPECT_EQ(d.categories.size(), g.dataRowCount());
    EXPECT_EQ(d.series.first().values.at(gridRow(g, {"数学", "张老师"})), 65.63);
    EXPECT_TRUE(ClosePage(handle));
}

TEST_F(AnalysisTest, AnAnalysisThatCountsNobodyIsReported)
{
    signInAs("admin", "lumeko");
    const QByteArray params = examParams("001", "期中考试");
    // Only the 借读生 (S06), and the page's filter leaves him out.
    const qint32 handle = through<TfrmAchieveCompare>([&] { return ShowClassSumPage(hostWindow(), nullptr, params.constData(), "{S06}"); },
                                                      [&](TfrmAchieveCompare &d) {
                                                          tickTypes(d.clbRange, false);
                                                          tick(d.clbRange, QStringLiteral("借读生"), true);
                                                          tick(d.clbRange, QStringLiteral("已选名单"), true);
                                                          d.btnOK->click();
                                                      });
    EXPECT_EQ(handle, -1) << host.logLines.join(u'|').toStdString();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("统计范围内没有考生，请重新选择统计范围或学生名单！")) << host.logLines.join(u'|').toStdString();
    ASSERT_FALSE(host.logLines.isEmpty());
    EXPECT_TRUE(host.logLines.last().startsWith(QStringLiteral("成绩分析 班级对比分析 发生错误："))) << host.logLines.last().toStdString();
    EXPECT_FALSE(operationLog().contains(QStringLiteral("执行 班级对比分析")));
    EXPECT_FALSE(host.waitShowing());
}

// ---- the multi-exam progress ------------------------------------------------------------------

// On both back ends: the three exams' comparisons come from the server's SQL on each.
class MultiExamOnBothBackends : public pub::testing::OnBackend<AnalysisTest> {};

TEST_P(MultiExamOnBothBackends, ThreeExamsMergeWithTheirGaps)
{
    if (IsSkipped()) return;
    signInAs("admin", "lumeko");
    QWidget *window = hostWindow();
    const QByteArray params = examParams("001", "期中考试");
    const qint32 handle = through<TfrmAchMuti>([&] { return ShowAchMutiPage(window, window, params.constData()); },
                                               [&](TfrmAchMuti &d) {
                                                   EXPECT_EQ(d.windowTitle(), QStringLiteral("班级进退分析"));
                                                   EXPECT_EQ(d.ItemsText(), QStringLiteral("111111001111000001000"));
                                                   ASSERT_EQ(d.ChosenExams().size(), 1);
                                                   EXPECT_EQ(d.ChosenExams().first().label, QStringLiteral("七年级.期中考试"));
                                                   // The current exam stays.
                                                   d.lbChosen->setCurrentRow(0);
                                                   d.btnRemove->click();
                                                   EXPECT_EQ(host.messageTexts().last(), QStringLiteral("对不起，此次对比考试不能取消！"));
                                                   EXPECT_EQ(d.ChosenExams().size(), 1);
                                                   for (const char *name : {"七年级.期末考试", "七年级.三月月考"}) {
                                                       const QList<QListWidgetItem *> found = d.lbExams->findItems(QString::fromUtf8(name), Qt::MatchExactly);
                                                       ASSERT_EQ(found.size(), 1) << name;
                                                       d.lbExams->setCurrentItem(found.first());
                                                       d.btnAdd->click();
                                                   }
                                                   QStringList chosen;
                                                   for (const ChosenExam &e : d.ChosenExams())
                                                       chosen << e.examCode;
                                                   EXPECT_EQ(chosen, (QStringList{"001", "002", "003"}));
                                                   // 数学 alone, with the ranks of the averages.
                                                   tick(d.clbSubjects, QStringLiteral("语文"), false);
                                                   tick(d.clbSubjects, QStringLiteral("全总分"), false);
                                                   tick(d.clbItems, QStringLiteral("均分排名"), true);
                                                   d.btnOK->click();
                                               });
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
    QSettings choice(m_app.filePath(QStringLiteral("UserData/%1/AchMutiAnalysis.ini").arg(pub::userCode())), QSettings::IniFormat);
    EXPECT_EQ(choice.value("Compare/Subjects").toString(), QStringLiteral("002"));
    EXPECT_EQ(choice.value("Compare/Items").toString(), QStringLiteral("111111001111100001000"));
    EXPECT_TRUE(operationLog().contains(QStringLiteral("执行 班级进退分析")));

    TfrmReportPage *p = reportPage(handle);
    ASSERT_NE(p, nullptr);
    const BandedGrid &g = *p->GridData;
    EXPECT_EQ(p->windowTitle(), QStringLiteral("班级进退分析"));
    EXPECT_EQ(g.fixedBandColumnCount(), 3);
    // One row per exam and a gap after each later one, in the order chosen.
    QStringList averages;
    for (int r = 0; r < g.dataRowCount(); ++r)
        if (g.displayText(r, 1) == u"平均分") averages << g.displayText(r, 2);
    EXPECT_EQ(averages, (QStringList{"期中考试", "期末考试", "差距", "三月月考", "差距"}));
    const auto column = [&](const char *item, const char *field) {
        QStringList out;
        for (int r = 0; r < g.dataRowCount(); ++r)
            if (g.displayText(r, 1) == QString::fromUtf8(item)) out << g.displayText(r, g.columnOfField(QString::fromLatin1(field)));
        return out;
    };
    // 一班 66 → 80 → 85; 二班 66.25 → 70 → 60; 三班 65 → 90 → none (a missing value counts as 0);
    // the grade 65.83 → 79.17 → 73.89.
    EXPECT_EQ(column("平均分", "Class_001"), (QStringList{"66", "80", "14", "85", "5"}));
    EXPECT_EQ(column("平均分", "Class_002"), (QStringList{"66.25", "70", "3.8", "60", "-10"}));
    EXPECT_EQ(column("平均分", "Class_003"), (QStringList{"65", "90", "25", "", "-90"}));
    EXPECT_EQ(column("平均分", "Grade"), (QStringList{"65.83", "79.17", "13.3", "73.89", "-5.3"}));
    // Ranks of the averages: 2, 1, 3, then 2, 3, 1, then 1, 2 and none; a rise is positive.
    EXPECT_EQ(column("均分排名", "Class_001"), (QStringList{"2", "2", "0", "1", "1"}));
    EXPECT_EQ(column("均分排名", "Class_002"), (QStringList{"1", "3", "-2", "2", "1"}));
    EXPECT_EQ(column("均分排名", "Class_003"), (QStringList{"3", "1", "2", "", "1"}));
    // Names and head counts come from the first exam only; 实考人数 has its gaps.
    EXPECT_EQ(column("任课老师", "Class_001"), (QStringList{"张老师"}));
    EXPECT_EQ(column("人数", "Class_003"), (QStringList{"4"}));
    EXPECT_EQ(column("实考人数", "Class_003"), (QStringList{"3", "3", "0", "0", "-3"}));
    // Gap rows stand out: a fall in red, a rise in green, no change as it is.
    const int gap = gridRow(g, {"数学", "平均分", "差距"});
    ASSERT_GE(gap, 0);
    const BandedGrid &grid = *p->GridData;
    EXPECT_EQ(grid.displayText(gap + 2, grid.columnOfField("Class_002")), QStringLiteral("-10"));
    EXPECT_TRUE(p->GapColors(gap, grid.columnOfField("Class_001")).background.isValid());
    EXPECT_EQ(p->GapColors(gap + 2, grid.columnOfField("Class_002")).foreground, QColor(0xC0, 0x39, 0x2B));
    EXPECT_EQ(p->GapColors(gap, grid.columnOfField("Class_001")).foreground, QColor(0x2E, 0x7D, 0x32));
    EXPECT_FALSE(p->GapColors(gap - 1, grid.columnOfField("Class_001")).background.isValid()) << "an exam's own row";

    // The chart starts with every exam's first item across the classes, no gap among them.
    const chart::ChartData d = p->ChartLevel->chartData();
    QStringList series;
    for (const chart::Series &s : d.series)
        series << s.name;
    EXPECT_EQ(series, (QStringList{"期中考试", "期末考试", "三月月考"}));
    EXPECT_EQ(d.title, QStringLiteral("班级进退分析 数学 平均分")) << "what the rows share goes to the title";
    EXPECT_EQ(d.series.at(1).values.mid(0, 3), (QList<double>{80, 70, 90}));
    EXPECT_TRUE(ClosePage(handle));

    // The next time: subjects and items as they were left.
    through<TfrmAchMuti>([&] { return ShowAchMutiPage(window, window, params.constData()); },
                         [&](TfrmAchMuti &d) {
                             EXPECT_EQ(d.SubjectCodes(), QStringList{"002"});
                             EXPECT_EQ(d.ItemsText(), QStringLiteral("111111001111100001000"));
                             d.btnCancel->click();
                         });
}

INSTANTIATE_TEST_SUITE_P(Backends, MultiExamOnBothBackends, pub::testing::bothBackends(), server::testing::backendParamName);
INSTANTIATE_TEST_SUITE_P(Backends, DistributionOnBothBackends, pub::testing::bothBackends(), server::testing::backendParamName);

// A subject teacher: his classes only; printing and export are his too, designing templates not.
TEST_F(AnalysisTest, ATeacherPrintsAndExportsHisClassesButDesignsNoTemplates)
{
    signInAs("wang", "pw6");
    const QByteArray params = examParams("001", "期中考试");
    const qint32 handle = through<TfrmAchieveDist>([&] { return ShowDistSumPage(hostWindow(), nullptr, params.constData(), ""); },
                                                   [&](TfrmAchieveDist &d) {
                                                       QStringList offered;
                                                       for (int i = 0; i < d.cbSubject->count(); ++i)
                                                           offered << d.cbSubject->itemText(i);
                                                       EXPECT_EQ(offered, (QStringList{"语文", "数学"})) << "no totals without 查看总分";
                                                       d.cbSubject->setCurrentIndex(0);
                                                       d.btnOK->click();
                                                   });
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString() << host.logLines.join(u'|').toStdString();
    TfrmReportPage *p = reportPage(handle);
    // 王老师 teaches 语文 in 三班: its three scored students (50 each) and the grade over them.
    EXPECT_EQ(firstColumn(*p->GridData), (QStringList{"三班", "年级"}));
    EXPECT_EQ(cell(*p->GridData, {"三班"}, "nAverage"), QStringLiteral("50"));
    EXPECT_TRUE(p->acPrint->isEnabled());
    EXPECT_TRUE(p->acExport->isEnabled());
    EXPECT_FALSE(p->acRptSet->isVisible());
    EXPECT_TRUE(ClosePage(handle));
}
