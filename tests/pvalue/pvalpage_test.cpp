// The P-value page through ShowPValPage: free-standing after the dialog or embedded in the host,
// the worked example's rates to two decimals, empty where there is nothing to divide by, the
// entries below, its commands and who may use them; and a picture over the demo school.

#include "framework/pageregistry.h"
#include "pvalue/ufrmpvalpage.h"
#include "pvaluehost.h"
#include "server/core/auth.h"
#include "shots.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using namespace lumeko::pvalue::testing;

namespace {

class PValPageTest : public PValueHostTest {
protected:
    void SetUp() override
    {
        PValueHostTest::SetUp();
        if (IsSkipped()) return;
        new QVBoxLayout(&tab);
    }
    void TearDown() override
    {
        for (const qint32 handle : opened)
            ClosePage(handle);
        PValueHostTest::TearDown();
    }

    TfrmPValPage *open(const char *params, QWidget *parent)
    {
        const qint32 handle = ShowPValPage(&app, parent, params);
        if (handle == 0) return nullptr;
        opened << handle;
        return qobject_cast<TfrmPValPage *>(PageRegistry::instance().page(handle));
    }
    // The text a cell shows, by field, in the page's row r.
    static QString cell(TfrmPValPage &page, int r, const char *field)
    {
        const int c = page.GridData->columnOfField(QString::fromLatin1(field));
        EXPECT_GE(c, 0) << field;
        return c < 0 ? QString() : page.GridData->displayText(r, c);
    }
    static bool shown(TfrmPValPage &page, const char *field)
    {
        const int c = page.GridData->columnOfField(QString::fromLatin1(field));
        return c >= 0 && page.GridData->column(c).visible;
    }
    void computeTheExample()
    {
        ASSERT_EQ(form("2024,1901,002", [](TfrmCalePVal &d) { return computeExample(d); }), 1) << host.messageTexts().join(u'|').toStdString();
    }

    QWidget tab;
    QList<qint32> opened;
};

TEST_F(PValPageTest, FreeStandingItOpensOnlyAfterTheDialogComputed)
{
    signInAs("admin", "lumeko");
    bool dialogs = false;
    setModalRunner([&](QDialog &) {
        dialogs = true;
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(ShowPValPage(&app, nullptr, ""), 0);
    EXPECT_FALSE(dialogs) << "no parameters: nothing is shown at all";
    EXPECT_EQ(ShowPValPage(&app, nullptr, "2024,1901,002"), 0) << "the dialog was cancelled";
    EXPECT_TRUE(dialogs);
    setModalRunner({});
    EXPECT_TRUE(host.messages.isEmpty());

    setModalRunner([](QDialog &d) { return computeExample(dynamic_cast<TfrmCalePVal &>(d)); });
    TfrmPValPage *page = open("2024,1901,002,N|", nullptr);
    setModalRunner({});
    ASSERT_TRUE(page) << host.messageTexts().join(u'|').toStdString();
    EXPECT_TRUE(page->isWindow());
    EXPECT_TRUE(page->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("P值"));
    EXPECT_EQ(page->objectName(), QStringLiteral("form_%1").arg(opened.last()));
    EXPECT_EQ(page->keyText(), "2024,1901,002");
    ASSERT_EQ(page->cdsData->recordCount(), 1) << "loaded after it was shown";
    // Closed by its own window, it is gone.
    const qint32 handle = opened.takeLast();
    page->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(PageRegistry::instance().page(handle), nullptr);
    EXPECT_FALSE(ClosePage(handle));
}

TEST_F(PValPageTest, TheWorkedExamplesRatesAndEntries)
{
    signInAs("admin", "lumeko");
    computeTheExample();
    TfrmPValPage *page = open("2024,1901,002", &tab);
    ASSERT_TRUE(page);
    EXPECT_FALSE(page->isWindow()) << "embedded in the host's tab";
    ASSERT_EQ(page->cdsData->recordCount(), 1);
    // Codes shown by their names; the counts; the rates of docs/statistics.md to two decimals.
    EXPECT_EQ(cell(*page, 0, "GradeCode"), QStringLiteral("九年级"));
    EXPECT_EQ(cell(*page, 0, "ExamName"), QStringLiteral("期末考试")) << "the exam's own name under 计算考试";
    // The exam and its P value stay in sight on the left, the rest scrolls.
    QStringList fixed;
    for (const GridColumn &c : page->GridData->columns())
        if (c.band == 0 && c.visible) fixed << c.caption;
    EXPECT_EQ(fixed, (QStringList{"计算年份", "考试年级", "计算考试", "P值"}));
    EXPECT_EQ(cell(*page, 0, "nMastNums"), "5");
    EXPECT_EQ(cell(*page, 0, "nLeaveNums"), "2");
    EXPECT_EQ(cell(*page, 0, "nTotals_Avg"), "86.43");
    EXPECT_EQ(cell(*page, 0, "nPass6Nums_Pre"), "42.86");
    EXPECT_EQ(cell(*page, 0, "nPass10Nums_Pre"), "28.57");
    EXPECT_EQ(cell(*page, 0, "nPass10TotalNums_Pas"), "33.33");
    EXPECT_EQ(cell(*page, 0, "nExcel6Nums_Pre"), "14.29");
    EXPECT_EQ(cell(*page, 0, "NP1"), "0.2644");
    EXPECT_EQ(cell(*page, 0, "NP"), "43.27");
    EXPECT_EQ(cell(*page, 0, "sTypes"), QStringLiteral("统招生"));
    EXPECT_FALSE(shown(*page, "NID"));
    EXPECT_FALSE(shown(*page, "sArea")) << "no record of one campus";
    // The first record's entries below.
    ASSERT_EQ(page->cdsDetail->recordCount(), 3);
    EXPECT_EQ(page->GridDetail->displayText(2, page->GridDetail->columnOfField(QStringLiteral("sItem"))), QStringLiteral("物理+化学"));
    EXPECT_EQ(page->GridDetail->displayText(0, page->GridDetail->columnOfField(QStringLiteral("nPercent"))), "42.86");
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();
}

TEST_F(PValPageTest, RatesAreEmptyWithNobodyToDivideByAndBeforeAnyCount)
{
    signInAs("admin", "lumeko");
    server::Database &db = fx.db();
    const QString record = "INSERT INTO \"CJ_ZLPG_P\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ExamCode\", \"nExamId\", \"sSubjects10\", "
                           "\"nMastNums\", \"nLeaveNums\", \"nTotals\", \"nPass6Nums\", \"nPass10Nums\", \"nPass10TotalNums\", \"nExcel6Nums\", \"sArea\") "
                           "VALUES ('S1', ?, '1901', '002', ?, '001,002', ?, ?, ?, ?, ?, ?, ?, ?)";
    db.exec(record, {2024, exam, 0, 0, 0, 0, 0, 0, 0, QVariant()});
    const QVariant none;
    db.exec(record, {2023, exam, none, none, none, none, none, none, none, QStringLiteral("分校")});
    db.exec(record, {2022, exam, 4, 0, 300, 4, 1, 5, 0, QVariant()});
    TfrmPValPage *page = open("", &tab);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->keyText(), QString());
    ASSERT_EQ(page->cdsData->recordCount(), 3) << "every record of the school, newest intake first";
    for (const char *rate : {"nTotals_Avg", "nPass6Nums_Pre", "nPass10Nums_Pre", "nPass10TotalNums_Pas", "nExcel6Nums_Pre"}) {
        EXPECT_EQ(cell(*page, 0, rate), QString()) << rate << ": 应参加人数 + 辍学生数 = 0";
        EXPECT_EQ(cell(*page, 1, rate), QString()) << rate << ": not counted yet";
        const int f = page->cdsData->fieldIndex(QString::fromLatin1(rate));
        EXPECT_TRUE(wire::isNull(page->cdsData->valueAt(0, f))) << rate << ": empty, not a NaN that shows as nothing";
        EXPECT_TRUE(wire::isNull(page->cdsData->valueAt(1, f))) << rate;
    }
    EXPECT_EQ(cell(*page, 0, "nMastNums"), "0");
    // 4 students, two entries: 75, 100, 25, 62.5 and 0.
    EXPECT_EQ(cell(*page, 2, "nTotals_Avg"), "75.00");
    EXPECT_EQ(cell(*page, 2, "nPass6Nums_Pre"), "100.00");
    EXPECT_EQ(cell(*page, 2, "nPass10Nums_Pre"), "25.00");
    EXPECT_EQ(cell(*page, 2, "nPass10TotalNums_Pas"), "62.50");
    EXPECT_EQ(cell(*page, 2, "nExcel6Nums_Pre"), "0.00");
    // A record of one campus: the fixture school has two, so the campus shows.
    EXPECT_TRUE(shown(*page, "sArea"));
    EXPECT_EQ(cell(*page, 1, "sArea"), QStringLiteral("分校"));
    EXPECT_EQ(page->detailRecord(), page->cdsData->valueAt(0, page->cdsData->fieldIndex(u"NID")).toLongLong());
    EXPECT_EQ(page->cdsDetail->recordCount(), 0);
}

TEST_F(PValPageTest, NewRecomputeAndDeleteGoThroughTheDialogAndTheServer)
{
    signInAs("admin", "lumeko");
    TfrmPValPage *page = open("2024,1901,002", &tab);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->cdsData->recordCount(), 0);
    EXPECT_TRUE(page->acInsert->isEnabled() && page->acDelete->isEnabled() && page->acReCal->isEnabled());
    EXPECT_FALSE(page->acEdit->isVisible() || page->acSave->isVisible());

    page->acReCal->trigger();
    page->acDelete->trigger();
    EXPECT_EQ(host.messageTexts(), (QStringList{"请选择重算P值配置行！", "请选择要删除的P值数据行！"}));

    // 新增: the host's grade chooser, then the grade's exams, then the dialog.
    host.chooserAnswer(QStringLiteral("CANCEL"));
    page->acInsert->trigger();
    host.chooserAnswer(QStringLiteral("2024,1901,九年级,Y,"));
    QStringList offered;
    setModalRunner([&](QDialog &d) {
        if (auto *p = dynamic_cast<TfrmCalePVal *>(&d)) return computeExample(*p);
        auto *list = d.findChild<QListWidget *>();
        for (int i = 0; list && i < list->count(); ++i)
            offered << list->item(i)->text();
        return int(QDialog::Accepted);
    });
    page->acInsert->trigger();
    setModalRunner({});
    EXPECT_EQ(host.chooserKinds, (QStringList{"0", "0"}));
    EXPECT_EQ(offered, QStringList{QStringLiteral("期末考试")});
    ASSERT_EQ(page->cdsData->recordCount(), 1) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(cell(*page, 0, "NP"), "43.27");

    // 重算 with the range widened to the 借读生: the row follows.
    setModalRunner([](QDialog &d) { return computeExample(dynamic_cast<TfrmCalePVal &>(d), {QStringLiteral("统招生"), QStringLiteral("借读生")}); });
    page->acReCal->trigger();
    setModalRunner({});
    EXPECT_EQ(cell(*page, 0, "nMastNums"), "6");
    EXPECT_EQ(cell(*page, 0, "nTotals_Avg"), "106.88") << "855 ÷ 8";

    // 删除: asked first; "no" keeps it.
    host.messages.clear();
    host.answer(pub::AnswerNo, QStringLiteral("您确定要删除此行P值数据吗？"));
    page->acDelete->trigger();
    EXPECT_EQ(page->cdsData->recordCount(), 1);
    host.answer(pub::AnswerYes, QStringLiteral("您确定要删除此行P值数据吗？"));
    page->acDelete->trigger();
    EXPECT_EQ(page->cdsData->recordCount(), 0);
    EXPECT_EQ(fx.db().scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_PDetail\"").toInt(), 0);
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(PValPageTest, OneWhoMayOnlyReadSeesTheValuesButNoCommand)
{
    signInAs("admin", "lumeko");
    computeTheExample();
    fx.db().exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4032')");
    signInAs("wang", "pw6");
    TfrmPValPage *page = open("2024,1901,002", &tab);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->cdsData->recordCount(), 1);
    EXPECT_EQ(cell(*page, 0, "NP"), "43.27");
    EXPECT_FALSE(page->acInsert->isEnabled());
    EXPECT_FALSE(page->acDelete->isEnabled());
    EXPECT_FALSE(page->acReCal->isEnabled());
    EXPECT_TRUE(page->acRequery->isEnabled());
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
}

// The academic office's view: a graduated 九年级 of the demo school, its 期末考试 computed with the
// defaults, the page beside the entries.
TEST_F(PValPageTest, PictureOverTheDemoSchool)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    server::Database &db = fx.db();
    server::DemoOptions demo;
    demo.scale = 0.1;
    demo.schoolId = "D1";
    demo.today = QDate(2026, 12, 6);
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
    // The reference data's own lists and columns in place of the fixture's short ones.
    db.exec("DELETE FROM \"XT_Fields\"");
    db.exec("DELETE FROM \"XT_RegList\" WHERE \"sListName\" = 'StudType'");
    server::seedDemoSchool(db, demo);
    signInAs("admin2", "lumeko");
    const wire::DataPacket exams = db.select("SELECT \"InYear\" FROM \"CJ_ExamTotal\" WHERE \"SchoolCode\" = 'D1' AND \"GradeCode\" = '1901' "
                                             "AND \"ExamCode\" = '002' ORDER BY \"InYear\"",
                                             {}, {{"InYear", wire::FieldType::Integer, 0, 0}});
    ASSERT_GT(exams.rowCount(), 0);
    const QByteArray params = QStringLiteral("%1,1901,002").arg(exams.value(0, 0).toInt()).toUtf8();
    setModalRunner([](QDialog &d) {
        auto &p = dynamic_cast<TfrmCalePVal &>(d);
        pub::testing::saveShot(p, "pvalue-demo-dialog-step1");
        for (QCheckBox *box : p.chkTypes)
            box->setChecked(box->text() != QStringLiteral("已选名单"));
        p.next();
        p.edDYValue->setValue(0.92);
        p.edTWYSJYValue->setValue(0.88);
        p.edGGPre3->setValue(0.97);
        p.edRangeValue->setValue(1.5);
        pub::testing::saveShot(p, "pvalue-demo-dialog-step2");
        p.calculate();
        return p.result();
    });
    TfrmPValPage *page = open(params.constData(), nullptr);
    setModalRunner({});
    ASSERT_TRUE(page) << host.messageTexts().join(u'|').toStdString();
    page->resize(1280, 560);
    pub::testing::saveShot(*page, "pvalue-demo-page");
}

} // namespace
