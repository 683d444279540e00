// TBasePage driven through its actions, as a user would: browsing and editing, the rights of the
// signed-in user, the save question when the page closes, closing all pages, the report menu,
// export and the find dialog, with the scripted host and the embedded fixture school.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "framework/pageregistry.h"
#include "framework/ubasepage.h"
#include "framework/ufrmpublocate.h"
#include "framework/ufrmpubrptset.h"

#include "fixtureschool.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace lumeko::achieve {

// A page of students with a column-definition table, as the register builds it.
class TTestPage : public TBasePage {
    Q_OBJECT
public:
    explicit TTestPage(QWidget *parent = nullptr) : TBasePage(parent)
    {
        Tag = 4009;
        setWindowTitle(QStringLiteral("学籍档案"));
        wire::DataPacket fields({{"sFldName", wire::FieldType::Text, 0, 0}, {"sFldCaption", wire::FieldType::Text, 0, 0},
                                 {"sFieldType", wire::FieldType::Text, 0, 0}, {"bShowed", wire::FieldType::Boolean, 0, 0},
                                 {"nWidth", wire::FieldType::Integer, 0, 0}, {"bSum", wire::FieldType::Boolean, 0, 0},
                                 {"bGroup", wire::FieldType::Boolean, 0, 0}, {"sSumType", wire::FieldType::Text, 0, 0},
                                 {"sFormat", wire::FieldType::Text, 0, 0}});
        fields.appendRow({"Selected", QStringLiteral("选择"), "B", true, 4, false, false, QVariant(), QVariant()});
        fields.appendRow({"sName", QStringLiteral("姓名"), "S", true, 8, true, false, "C", QStringLiteral("人数=,0")});
        fields.appendRow({"sNO", QStringLiteral("学号"), "S", true, 10, false, false, QVariant(), QVariant()});
        fields.appendRow({"iClassNo", QStringLiteral("座号"), "N", true, 4, false, false, QVariant(), QVariant()});
        cdsFields->setData(fields);
        wire::DataPacket rows({{"Selected", wire::FieldType::Boolean, 0, 0}, {"sName", wire::FieldType::Text, 0, 0},
                               {"sNO", wire::FieldType::Text, 0, 0}, {"iClassNo", wire::FieldType::Integer, 0, 0}});
        rows.appendRow({false, QStringLiteral("张三"), "S001", 1});
        rows.appendRow({false, QStringLiteral("李四"), "S002", 2});
        rows.appendRow({false, QStringLiteral("张四"), "S003", 3});
        cdsData->setData(rows);
    }
    bool SaveData() override
    {
        TBasePage::SaveData();
        ++saves;
        return saveResult;
    }
    int saves = 0;
    bool saveResult = true;
};

} // namespace lumeko::achieve

namespace {

class BasePageTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        host.appPathValue = appFolder.path() + u'/';
        QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Chinese.dll"), appFolder.filePath("Chinese.dll"));
    }
    TTestPage *openPage()
    {
        auto *page = new TTestPage;
        PageRegistry::instance().add(page);
        page->InitPage();
        page->resize(900, 500);
        return page;
    }
    QStringList enabled(TBasePage *p)
    {
        QStringList out;
        for (QAction *a : {p->acEdit, p->acInsert, p->acDelete, p->acSave, p->acCancel, p->acPrint, p->acRptSet, p->acExport})
            if (a->isEnabled()) out << a->text();
        return out;
    }

    QTemporaryDir appFolder;
};

TEST_F(BasePageTest, BrowsingAndEditingSwitchActionsAndEditableColumns)
{
    signInAs("admin", "lumeko");
    TTestPage *page = openPage();
    EXPECT_EQ(page->EditState, 0);
    EXPECT_EQ(enabled(page), (QStringList{"编辑", "打印", "报表设置", "导出"}));
    const int name = page->GridData->columnOfField("sName"), selected = page->GridData->columnOfField("Selected");
    EXPECT_TRUE(page->GridData->column(name).readOnly);
    EXPECT_FALSE(page->GridData->column(selected).readOnly) << "selection marks can always be ticked";
    EXPECT_EQ(page->GridData->fixedBandColumnCount(), 3);
    EXPECT_EQ(page->GridData->footerText(name), QStringLiteral("人数=3"));
    EXPECT_EQ(page->acSave->toolTip(), QStringLiteral("快捷键 (Ctrl+S)"));

    page->acEdit->trigger();
    EXPECT_EQ(page->EditState, 2);
    EXPECT_EQ(enabled(page), (QStringList{"增行", "删行", "保存", "取消"}));
    EXPECT_FALSE(page->GridData->column(name).readOnly);

    // Insert, type, save: the change is accepted locally and the page browses again.
    page->acInsert->trigger();
    page->cdsData->setValue(u"sName", QStringLiteral("王五"));
    page->acSave->trigger();
    EXPECT_EQ(page->saves, 1);
    EXPECT_EQ(page->cdsData->recordCount(), 4);
    EXPECT_EQ(page->cdsData->changeCount(), 0);
    EXPECT_EQ(page->EditState, 0);

    // Cancel reverts every unsaved change.
    page->acEdit->trigger();
    page->cdsData->first();
    page->acDelete->trigger();
    EXPECT_EQ(page->cdsData->recordCount(), 3);
    page->acCancel->trigger();
    EXPECT_EQ(page->cdsData->recordCount(), 4);
    EXPECT_EQ(page->EditState, 0);
    EXPECT_TRUE(ClosePage(PageRegistry::handleFromName(page->objectName())));
}

TEST_F(BasePageTest, RightsFollowTheUserTypeAndTheKeysOfThePage)
{
    // wang is a subject teacher: no "Manager" for the register, the common "Print", and "Import"
    // granted to him personally; no "PrintSet".
    signInAs("wang", "pw6");
    TTestPage *page = openPage();
    EXPECT_EQ(page->Rights, (QStringList{"Import", "Print"}));
    EXPECT_EQ(enabled(page), (QStringList{"打印", "导出"})) << "no editing without Manager";
    page->setEditState(2);
    EXPECT_EQ(enabled(page), (QStringList{"删行", "保存", "取消"})) << "inserting needs Manager too";
    ClosePage(PageRegistry::handleFromName(page->objectName()));

    // Keys are matched whole, as the server matches them: a key that merely contains "Manager"
    // grants nothing.
    fx.db().exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") "
                 "VALUES ('400909', '4009', 'ManagerView', ?, 20)",
                 {QStringLiteral("查看管理")});
    fx.db().exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '400909')", {server::testing::kTeacherCode});
    pub::signOut();
    signInAs("wang", "pw6");
    page = openPage();
    EXPECT_TRUE(page->Rights.contains(QStringLiteral("ManagerView")));
    EXPECT_FALSE(page->acEdit->isEnabled());
    ClosePage(PageRegistry::handleFromName(page->objectName()));

    pub::signOut();
    signInAs("admin", "lumeko"); // user type 1: not restricted, whatever the keys
    page = openPage();
    EXPECT_TRUE(page->acEdit->isEnabled());
    EXPECT_TRUE(page->acRptSet->isEnabled());
    ClosePage(PageRegistry::handleFromName(page->objectName()));
}

TEST_F(BasePageTest, ClosingWithUnsavedEditsAsksWhetherToSave)
{
    signInAs("admin", "lumeko");
    TTestPage *page = openPage();
    const qint32 handle = PageRegistry::handleFromName(page->objectName());
    page->acEdit->trigger();
    page->cdsData->first();
    page->cdsData->edit();
    page->cdsData->setValue(u"sName", QStringLiteral("张三丰"));

    host.answer(pub::AnswerCancel, QStringLiteral("数据已被修改，您要保存修改的数据吗？"));
    EXPECT_EQ(ClosePage(handle), 0) << "cancel keeps the page open";
    EXPECT_EQ(PageRegistry::instance().page(handle), page);
    EXPECT_EQ(page->saves, 0);

    host.answer(pub::AnswerYes);
    page->saveResult = false;
    EXPECT_EQ(ClosePage(handle), 0) << "a save that fails keeps the page";
    EXPECT_EQ(page->saves, 1);

    host.answer(pub::AnswerNo);
    EXPECT_EQ(ClosePage(handle), 1) << "no drops the edits with the page";
    EXPECT_EQ(PageRegistry::instance().page(handle), nullptr);
    EXPECT_TRUE(host.scriptDone());

    // Without changes, no question at all.
    TTestPage *quiet = openPage();
    quiet->acEdit->trigger();
    EXPECT_EQ(ClosePage(PageRegistry::handleFromName(quiet->objectName())), 1);
    EXPECT_EQ(host.messages.size(), 3);
}

TEST_F(BasePageTest, ClearAllResClosesBasePagesNewestFirstAndLeavesOtherPages)
{
    signInAs("admin", "lumeko");
    QStringList order;
    QList<TTestPage *> pages;
    for (int i = 0; i < 3; ++i) {
        pages << openPage();
        QObject::connect(pages.last(), &QObject::destroyed, [&order, name = pages.last()->objectName()] { order << name; });
    }
    auto *courseTable = new QWidget; // a page of its own kind, not a base page
    const qint32 other = PageRegistry::instance().add(courseTable);
    const QStringList names = {pages[0]->objectName(), pages[1]->objectName(), pages[2]->objectName()};
    ClearAllRes();
    EXPECT_EQ(order, (QStringList{names[2], names[1], names[0]}));
    EXPECT_EQ(PageRegistry::instance().page(other), courseTable);
    ClosePage(other);
}

TEST_F(BasePageTest, TheReportMenuListsTemplatesAndPrintsOnlyMarkedRows)
{
    signInAs("admin", "lumeko");
    QDir(appFolder.path()).mkpath("Reports/Junior/Student");
    const QString folder = appFolder.filePath("Reports/Junior/Student/");
    for (const char *f : {"学生名单.frf", "花名册.FRF", "说明.txt"}) QFile(folder + QString::fromUtf8(f)).open(QIODevice::WriteOnly);
    TTestPage *page = new TTestPage;
    page->ReportFolder = QStringLiteral("Junior/Student");
    PageRegistry::instance().add(page);
    page->InitPage();
    QStringList entries;
    for (QAction *a : page->pmPrint->actions())
        if (!a->isSeparator()) entries << a->text();
    entries.sort();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("学生名单"), QStringLiteral("报表设置"), QStringLiteral("花名册")}));

    // Nothing marked: the hint, and the table as it was.
    for (QAction *a : page->pmPrint->actions())
        if (a->text() == QStringLiteral("学生名单")) a->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("请选择要打印的学生名单!")});
    EXPECT_EQ(page->cdsData->recordCount(), 3);
    EXPECT_FALSE(page->Printing);

    // The template dialog lists the two templates and asks for a choice before modifying.
    TfrmPubRptSet dialog(folder);
    EXPECT_EQ(dialog.lstReports->count(), 2);
    EXPECT_TRUE(dialog.lstReports->item(0)->text().startsWith(QStringLiteral("1. ")));
    QString opened = QStringLiteral("none");
    dialog.openDesigner = [&](const QString &path, const QString &, QWidget *) { opened = path; };
    dialog.btnModify->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择要修改的报表！"));
    EXPECT_EQ(opened, QStringLiteral("none"));
    dialog.lstReports->setCurrentRow(0);
    dialog.btnModify->click();
    EXPECT_TRUE(opened.startsWith(folder) && opened.endsWith(".frf")) << opened.toStdString();
    dialog.btnNew->click();
    EXPECT_EQ(opened, QString()) << "a new template: the designer with nothing loaded";
    ClosePage(PageRegistry::handleFromName(page->objectName()));
}

TEST_F(BasePageTest, TheFindDialogSearchesByInitialsAndSaysWhenThereIsNoMore)
{
    signInAs("admin", "lumeko");
    TTestPage *page = openPage();
    page->acFind->trigger();
    auto *find = page->findChild<TfrmPubLocate *>();
    ASSERT_TRUE(find);
    EXPECT_TRUE(find->isVisible());
    find->btnFind->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请输入查找内容！"));
    find->edText->setText("zs");
    find->btnFind->click();
    EXPECT_EQ(page->cdsData->value(u"sName").toString(), QStringLiteral("张三"));
    find->btnFind->click();
    EXPECT_EQ(page->cdsData->value(u"sName").toString(), QStringLiteral("张四"));
    find->btnFind->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("已没有更多匹配数据了！"));
    find->btnClose->click();
    EXPECT_FALSE(find->isVisible());
    page->acFind->trigger();
    EXPECT_EQ(page->findChildren<TfrmPubLocate *>().size(), 1) << "the dialog is made once and shown again";
    ClosePage(PageRegistry::handleFromName(page->objectName()));
}

TEST_F(BasePageTest, ExportWritesEveryRowToASpreadsheetAndLayoutsAreKeptPerUser)
{
    signInAs("admin", "lumeko");
    TTestPage *page = openPage();
    const QString file = appFolder.filePath("学籍档案.xlsx");
    QString error;
    ASSERT_TRUE(page->GridData->exportToXlsx(file, &error, page->windowTitle())) << error.toStdString();
    QProcess unzip;
    unzip.start("unzip", {"-p", file, "xl/sharedStrings.xml"});
    ASSERT_TRUE(unzip.waitForFinished());
    const QString strings = QString::fromUtf8(unzip.readAllStandardOutput());
    for (const char *t : {"姓名", "张三", "李四", "张四"}) EXPECT_TRUE(strings.contains(QString::fromUtf8(t))) << t;

    // The grid's layout goes to UserData/<user>/TTestPage.ini when the page closes.
    page->GridData->setColumnWidth(page->GridData->columnOfField("sNO"), 222);
    const QString layout = page->layoutFile();
    EXPECT_TRUE(layout.startsWith(appFolder.path() + "/UserData/")) << layout.toStdString();
    EXPECT_TRUE(layout.endsWith("/TTestPage.ini"));
    ClosePage(PageRegistry::handleFromName(page->objectName()));
    EXPECT_TRUE(QFile::exists(layout));
    page = openPage();
    EXPECT_EQ(page->GridData->column(page->GridData->columnOfField("sNO")).width, 222) << "restored when the page opens again";
    ClosePage(PageRegistry::handleFromName(page->objectName()));
}

TEST_F(BasePageTest, EnterWhileEditingGoesDownAndFromTheLastRowToTheNextColumn)
{
    signInAs("admin", "lumeko");
    TTestPage *page = openPage();
    page->show();
    page->acEdit->trigger();
    BandedGrid *g = page->GridData;
    const int name = g->columnOfField("sName");
    ASSERT_TRUE(g->editCell(1, name));
    QTest::keyClick(g->activeEditor(), Qt::Key_Return);
    EXPECT_EQ(g->currentRow(), 2);
    EXPECT_EQ(g->currentColumn(), name);
    ASSERT_TRUE(g->editCell(2, name));
    QTest::keyClick(g->activeEditor(), Qt::Key_Return);
    EXPECT_EQ(g->currentRow(), 2) << "the last row goes on to the next column";
    EXPECT_EQ(g->currentColumn(), g->columnOfField("sNO"));
    ClosePage(PageRegistry::handleFromName(page->objectName()));
}

TEST_F(BasePageTest, APageExportEmbedsThePageWithItsParametersAndName)
{
    signInAs("admin", "lumeko");
    QWidget app;
    QWidget tab;
    auto *layout = new QVBoxLayout(&tab);
    Q_UNUSED(layout);
    const qint32 handle = createPage<TTestPage>(&app, &tab, "  2012, \"0701\" ,\"a, b\",x y,", PageOptions{QStringLiteral("学籍档案"), true});
    auto *page = qobject_cast<TTestPage *>(PageRegistry::instance().page(handle));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->parentWidget(), &tab);
    EXPECT_EQ(page->objectName(), QStringLiteral("form_%1").arg(handle));
    EXPECT_EQ(page->windowTitle(), QStringLiteral("学籍档案"));
    EXPECT_EQ(page->Params, (QStringList{"2012", "0701", "a, b", "x", "y", ""}));
    EXPECT_EQ(moduleApp(), &app);
    ASSERT_GE(host.waitEvents.size(), 2);
    EXPECT_EQ(host.waitEvents.last().kind, pub::testing::WaitEvent::Hide) << "the wait indicator is paired";
    EXPECT_EQ(ClosePage(handle), 1);
}

} // namespace

#include "basepage_test.moc"
