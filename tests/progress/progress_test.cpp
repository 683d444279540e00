// Progress between exams on the client: the columns the dialog asks for by the ticked items (the
// order C_001, C_001_1, C_001_Fs), the refusals of OK, the exam list text, where an added exam
// goes, one student's line with a missed exam as a gap; then the dialog and both pages over the
// demo school with the server's real answer.

#include "analysis/examchooser.h"
#include "analysis/progresssettings.h"
#include "analysis/ufrmachieveupdown.h"
#include "analysis/ufrmrepchartpage.h"
#include "analysis/ufrmreportpage.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "framework/pageregistry.h"
#include "qstringprint.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/chart/chartview.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

QString fieldsOf(const wire::DataPacket &defs, qsizetype from = 0)
{
    QStringList out;
    for (qsizetype r = from; r < defs.rowCount(); ++r)
        out << defs.value(r, defs.fieldIndex(QStringLiteral("sFldName"))).toString();
    return out.join(u' ');
}
QString captionsOf(const wire::DataPacket &defs)
{
    QStringList out;
    for (qsizetype r = 0; r < defs.rowCount(); ++r)
        out << defs.value(r, defs.fieldIndex(QStringLiteral("sFldCaption"))).toString();
    return out.join(u' ');
}

TEST(ProgressSettings, TheTickedItemsDecideTheColumnsInTheDialogsOrder)
{
    const QList<ProgressSubject> chinese{{QStringLiteral("001"), QStringLiteral("语文")}};
    const wire::DataPacket scores = progressColumns({}, chinese, {true, false, true}, 2);
    EXPECT_EQ(fieldsOf(scores), QStringLiteral("C_001 C_001_1 C_001_Fs"));
    EXPECT_EQ(captionsOf(scores), QStringLiteral("语文成绩 语文新成绩 语文进退"));
    EXPECT_EQ(scores.value(0, scores.fieldIndex(QStringLiteral("sTable"))).toString(), QStringLiteral("XT_Temp"));

    EXPECT_EQ(fieldsOf(progressColumns({}, chinese, {true, false, false}, 2)), QStringLiteral("C_001 C_001_1")) << "no 进退, no differences";
    const QList<ProgressSubject> two{{QStringLiteral("FUL"), QStringLiteral("全总")}, {QStringLiteral("002"), QStringLiteral("数学")}};
    const wire::DataPacket both = progressColumns({}, two, {true, true, true}, 3);
    EXPECT_EQ(fieldsOf(both), QStringLiteral("FullTotal FullTotal_1 FullTotal_2 FullTotal_Fs FullTotal_2_Fs FullOrder FullOrder_1 FullOrder_2 FullOrder_Up "
                                             "FullOrder_2_Up C_002 C_002_1 C_002_2 C_002_Fs C_002_2_Fs O_002 O_002_1 O_002_2 O_002_Up O_002_2_Up"));
    EXPECT_TRUE(captionsOf(both).startsWith(QStringLiteral("全总成绩 全总新成绩 全总第3次成绩 全总进退 全总第3次进退 全总名次 全总新名次")));

    // After the fixed columns the server's definitions give.
    wire::DataPacket fixed({{"sFldName", wire::FieldType::Text, 60, 0}, {"sFldCaption", wire::FieldType::Text, 60, 0}});
    fixed.appendRow({QStringLiteral("sName"), QStringLiteral("姓名")});
    const wire::DataPacket withFixed = progressColumns(fixed, chinese, {false, true, true}, 2);
    EXPECT_EQ(fieldsOf(withFixed), QStringLiteral("sName O_001 O_001_1 O_001_Up"));
}

TEST(ProgressSettings, OkNeedsScoresOrRanksTwoExamsAndASubject)
{
    EXPECT_EQ(progressProblem({false, false, true}, 2, 1), QStringLiteral("请选择对比项目成绩或排名！")) << "进退 alone";
    EXPECT_EQ(progressProblem({true, false, true}, 1, 1), QStringLiteral("请至少选择两次以上对比分析的考试！"));
    EXPECT_EQ(progressProblem({false, true, false}, 2, 0), QStringLiteral("请至少选择一项对比科目！"));
    EXPECT_EQ(progressProblem({false, true, false}, 2, 1), QString());
}

TEST(ProgressSettings, ExamsAreListedAsCommaTextAndAddedInTheOrderTheyWereHeld)
{
    const ProgressExam a{QStringLiteral("1801"), QStringLiteral("001"), QStringLiteral("⊥"), QStringLiteral("期中"), 1};
    const ProgressExam b{QStringLiteral("1801"), QStringLiteral("002"), QStringLiteral("⊥"), QStringLiteral("期末"), 2};
    const ProgressExam c{QStringLiteral("1901"), QStringLiteral("001"), QStringLiteral("⊥"), QStringLiteral("期中"), 3};
    const ProgressExam unit{QStringLiteral("1901"), QStringLiteral("U01"), QStringLiteral("张 老师"), QStringLiteral("单元"), 4};
    EXPECT_EQ(progressExamList({a, c}), QStringLiteral("1801;001;⊥,1901;001;⊥"));
    EXPECT_EQ(progressExamList({a, unit}), QStringLiteral("1801;001;⊥,\"1901;U01;张 老师\"")) << "an item with a blank is quoted";

    // Places in the offered list a, b, c, unit: 0, 1, 2, 3.
    EXPECT_EQ(chosenInsertPosition({2}, 0), 0) << "an earlier exam goes before the current one";
    EXPECT_EQ(chosenInsertPosition({0, 2}, 1), 1);
    EXPECT_EQ(chosenInsertPosition({2, 0}, 1), 2) << "after the last chosen exam held before it, as the user ordered them";
    EXPECT_EQ(chosenInsertPosition({0, 2}, 3), 2);
    EXPECT_EQ(chosenInsertPosition({0, 2}, -1), 2) << "an exam not offered goes last";

    // One exam per grade, code and page, however many rows the answer has of it.
    wire::DataPacket list({{"Id", wire::FieldType::Integer, 0, 0},
                           {"GradeCode", wire::FieldType::Text, 4, 0},
                           {"ExamCode", wire::FieldType::Text, 3, 0},
                           {"PageName", wire::FieldType::Text, 64, 0},
                           {"ExamName", wire::FieldType::Text, 40, 0}});
    list.appendRow({qint64(1), QStringLiteral("1801"), QStringLiteral("001"), QStringLiteral("⊥"), QStringLiteral("期中")});
    list.appendRow({qint64(1), QStringLiteral("1801"), QStringLiteral("001"), QStringLiteral("⊥"), QStringLiteral("期中")});
    list.appendRow({qint64(2), QStringLiteral("1801"), QStringLiteral("002"), QStringLiteral("⊥"), QStringLiteral("期末")});
    EXPECT_EQ(progressExams(list).size(), 2);
    EXPECT_EQ(progressExamCaption(progressExams(list).value(1), QStringLiteral("八年级")), QStringLiteral("八年级.期末"));
    EXPECT_EQ(progressExamCaption(progressExams(list).value(1), QString()), QStringLiteral("期末"));
}

TEST(ProgressSettings, AStudentsLineHasEveryExamAndAGapWhereHeMissedOne)
{
    wire::DataPacket detail({{"StudentCode", wire::FieldType::Text, 0, 0},
                             {"iOrder", wire::FieldType::Integer, 0, 0},
                             {"ExamName", wire::FieldType::Text, 0, 0},
                             {"SubjectName", wire::FieldType::Text, 0, 0},
                             {"Score", wire::FieldType::Float, 0, 0},
                             {"Rank", wire::FieldType::Integer, 0, 0}});
    for (const auto &[student, order, exam, subject, score, rank] :
         std::initializer_list<std::tuple<const char *, int, const char *, const char *, double, int>>{{"{A}", 1, "期中", "语文", 80, 2},
                                                                                                       {"{A}", 1, "期中", "全总", 150, 2},
                                                                                                       {"{B}", 2, "期末", "语文", 70, 3},
                                                                                                       {"{A}", 3, "月考", "语文", 85.5, 2},
                                                                                                       {"{A}", 3, "月考", "全总", 160.5, 1}})
        detail.appendRow({QString::fromLatin1(student), qint64(order), QString::fromUtf8(exam), QString::fromUtf8(subject), score, qint64(rank)});
    const chart::ChartData a = studentProgressChart(detail, QStringLiteral("{A}"), false);
    EXPECT_EQ(a.categories.join(u' '), QStringLiteral("期中 期末 月考"));
    ASSERT_EQ(a.series.size(), 2);
    EXPECT_EQ(a.series[0].name, QStringLiteral("语文"));
    EXPECT_EQ(a.series[0].values[0], 80);
    EXPECT_TRUE(std::isnan(a.series[0].values[1])) << "A missed 期末";
    EXPECT_EQ(a.series[0].values[2], 85.5);
    const chart::ChartData ranks = studentProgressChart(detail, QStringLiteral("{A}"), true);
    EXPECT_EQ(ranks.series[1].values[2], 1);
    EXPECT_TRUE(studentProgressChart(detail, QStringLiteral("{Z}"), false).series.isEmpty());
}

// The demo school of December 2026: the intake 2024 held four exams in 八年级 and three in 九年级.
class ProgressPages : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour
        server::DemoOptions demo;
        demo.schoolId = QStringLiteral("D1");
        demo.today = QDate(2026, 12, 20);
        demo.scale = 0.1;
        demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
        const QList<server::DemoAccount> accounts = server::seedDemoSchool(fx.db(), demo);
        ASSERT_FALSE(accounts.isEmpty());
        QString error;
        ASSERT_TRUE(pub::signIn(link, accounts.first().login, accounts.first().password, &error)) << error.toStdString();
        previous = setModalRunner([this](QDialog &d) { return drive ? drive(d) : int(QDialog::Rejected); });
    }
    void TearDown() override
    {
        setModalRunner(previous);
        SignedInHost::TearDown();
    }
    // The score page's parameters of 九年级's 第一学期期中考试 with 语文 and 数学 offered.
    static QByteArray params() { return QStringLiteral("2024,1901,九年级,Y,,001;002,001,⊥,2024级九年级.第一学期期中考试").toUtf8(); }
    static QStringList texts(const QListWidget *list, bool hiddenToo = false)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            if (hiddenToo || !list->item(i)->isHidden()) out << list->item(i)->text();
        return out;
    }
    static void choose(TfrmAchieveUpDown &d, const QString &caption)
    {
        for (int i = 0; i < d.lbExams->count(); ++i)
            if (d.lbExams->item(i)->text() == caption) d.Chooser->add(d.lbExams->item(i));
    }

    std::function<int(QDialog &)> drive;
    ModalRunner previous;
};

TEST_F(ProgressPages, TheDialogOffersTheIntakesExamsKeepsTheCurrentOneAndBuildsTheRequest)
{
    TfrmAchieveUpDown d;
    d.Params = parameterList(params().constData());
    ASSERT_TRUE(d.InitForm());
    EXPECT_EQ(texts(d.lbChosen).join(u'|'), QStringLiteral("九年级.第一学期期中考试"));
    EXPECT_EQ(texts(d.lbExams, true).size(), 3) << texts(d.lbExams, true).join(u'|').toStdString();
    d.rbIntake->setChecked(true);
    EXPECT_EQ(texts(d.lbExams, true).size(), 7) << "八年级's four and 九年级's three";
    EXPECT_EQ(texts(d.lbExams, true).first(), QStringLiteral("八年级.第一学期期中考试"));

    choose(d, QStringLiteral("八年级.第二学期期末考试"));
    EXPECT_EQ(texts(d.lbChosen).join(u'|'), QStringLiteral("八年级.第二学期期末考试|九年级.第一学期期中考试")) << "in the order they were held";
    d.Chooser->remove(d.lbChosen->item(1));
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("对不起，此次对比考试不能取消！"));
    EXPECT_EQ(d.lbChosen->count(), 2);

    d.chkScore->setChecked(false);
    d.btnOKClick();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择对比项目成绩或排名！"));
    EXPECT_EQ(d.result(), 0);
    d.chkScore->setChecked(true);
    for (int i = 1; i < d.clbSubjects->count(); ++i)
        d.clbSubjects->item(i)->setCheckState(Qt::Unchecked);
    d.btnOKClick();
    EXPECT_EQ(d.result(), int(QDialog::Accepted));
    EXPECT_EQ(d.ExamListText, QStringLiteral("1801;004;⊥,1901;001;⊥"));
    EXPECT_EQ(d.SubjectListText, QStringLiteral("001"));
    EXPECT_EQ(fieldsOf(d.Columns, d.Columns.rowCount() - 3), QStringLiteral("C_001 C_001_1 C_001_Fs"));
    EXPECT_EQ(d.Columns.value(0, d.Columns.fieldIndex(QStringLiteral("sFldName"))).toString(), QStringLiteral("sCode")) << "the fixed columns first";
}

// Both exports over the server: the report page's rows carry the server's differences, the chart
// page draws the focused student's line.
TEST_F(ProgressPages, BothPagesShowTheServersComparison)
{
    // The host's window, whose icon the selection dialog wears.
    QWidget app;
    QPixmap mark(16, 16);
    mark.fill(Qt::red);
    app.setWindowIcon(QIcon(mark));
    bool hostIcon = false;
    drive = [&](QDialog &dialog) {
        hostIcon = dialog.windowIcon().cacheKey() == app.windowIcon().cacheKey();
        auto &d = static_cast<TfrmAchieveUpDown &>(dialog);
        for (int i = 0; i < d.lbExams->count(); ++i)
            if (d.lbExams->item(i)->text() == QStringLiteral("九年级.第一次月考")) d.Chooser->add(d.lbExams->item(i));
        for (int i = 2; i < d.clbSubjects->count(); ++i) // 语文 and 数学, not the totals
            d.clbSubjects->item(i)->setCheckState(Qt::Unchecked);
        d.btnOKClick();
        return d.result();
    };
    const int32_t handle = ShowUpDownSumPage(&app, nullptr, params().constData());
    ASSERT_GT(handle, 0) << host.messageTexts().join(u'|').toStdString();
    EXPECT_TRUE(hostIcon);
    auto *page = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle));
    ASSERT_TRUE(page);
    DataSet &rows = *page->cdsData;
    ASSERT_GT(rows.recordCount(), 10);
    // Every row's rise is the later score minus the earlier, empty when one is missing.
    int checked = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
        const QVariant before = rows.value(u"C_001"), after = rows.value(u"C_001_1"), rise = rows.value(u"C_001_Fs");
        if (wire::isNull(before) || wire::isNull(after)) {
            EXPECT_TRUE(wire::isNull(rise));
            continue;
        }
        EXPECT_NEAR(rise.toDouble(), after.toDouble() - before.toDouble(), 0.005);
        ++checked;
    }
    EXPECT_GT(checked, 10);
    EXPECT_EQ(rows.value(u"InYear").toInt(), 2024);
    page->close();

    const int32_t line = ShowUpDLinePage(nullptr, nullptr, params().constData());
    ASSERT_GT(line, 0) << host.messageTexts().join(u'|').toStdString();
    auto *chartPage = qobject_cast<TfrmRepChartPage *>(PageRegistry::instance().page(line));
    ASSERT_TRUE(chartPage);
    EXPECT_TRUE(chartPage->windowTitle().startsWith(QStringLiteral("成绩进退分析;1901;005;⊥,1901;001;⊥")));
    const chart::ChartData shown =
        studentProgressChart(chartPage->Detail, chartPage->cdsData->value(u"sCode").toString(), chartPage->cbValue->currentIndex() == 1);
    EXPECT_EQ(shown.categories.size(), 2);
    EXPECT_EQ(shown.series.size(), 2) << "语文 and 数学";
    EXPECT_EQ(shown.series[0].values[0], chartPage->cdsData->value(u"C_001").toDouble());
    if (!pub::testing::shotsFolder().isEmpty()) {
        chartPage->resize(1200, 760);
        pub::testing::saveShot(*chartPage, "progress-chart-page");
    }
    chartPage->close();

    drive = [](QDialog &) { return int(QDialog::Rejected); };
    EXPECT_EQ(ShowUpDownSumPage(nullptr, nullptr, params().constData()), 0) << "a cancelled dialog opens nothing";
}

} // namespace
