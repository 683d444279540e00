// The host application's main window over the real module, signed in to the fixture school: the
// module's functions grouped in the menu, the school tree that functions open on, the desk, pages
// in tabs that close only with their consent, the score-page message and the window's size.

#include "host/app/mainwindow.h"

#include "fixtureschool.h"
#include "framework/pageregistry.h"
#include "framework/ubasepage.h"
#include "host/app/desktab.h"
#include "host/app/schooltree.h"
#include "host/pub/lumekopub.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"
#include "signedinhost.h"
#include "students/ufrmstudentpage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "shots.h"

#include <gtest/gtest.h>

using namespace lumeko;

namespace {

class HostAppTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour, for the picture
        QString error;
        ASSERT_TRUE(module.load(QStringLiteral(LUMEKO_MODULE_PATH), &error)) << error.toStdString();
        server::Database &db = fx.db();
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sArea\") VALUES ('S1', ?, ?, ?, ?)";
        db.exec(gc, {2026, "1701", "001", QStringLiteral("本部")});
        db.exec(gc, {2026, "1701", "002", QStringLiteral("分校")});
        db.exec(gc, {2025, "1801", "001", QStringLiteral("本部")});
        const QString student =
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
            "VALUES (?, 'S1', ?, ?, ?, ?, ?, '00')";
        db.exec(student, {"{A}", "1701", 2026, "001", 1, QStringLiteral("张三")});
        db.exec(student, {"{B}", "1701", 2026, "001", 2, QStringLiteral("李四")});
        db.exec(student, {"{C}", "1701", 2026, "002", 1, QStringLiteral("王五")});
        db.exec(student, {"{E}", "1801", 2025, "001", 1, QStringLiteral("八年级生")});
        db.exec("INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES ('Roles', '1', ?, 1)", {QStringLiteral("教务管理员")});
        signInAs("admin", "lumeko");
    }

    QString settingsFile() const { return settingsDir.filePath(QStringLiteral("LumekoUser.ini")); }

    // The register shown in a tab.
    static achieve::TfrmStudentPage *registerOf(host::MainWindow &window, int tab)
    {
        const auto pages = window.pages()->widget(tab)->findChildren<achieve::TfrmStudentPage *>();
        return pages.isEmpty() ? nullptr : pages.first();
    }

    // A register-like page, embedded the way a page export embeds it.
    std::pair<QWidget *, achieve::TBasePage *> embeddedPage()
    {
        auto *container = new QWidget;
        auto *page = new achieve::TBasePage(container);
        page->setWindowTitle(QStringLiteral("学籍档案"));
        wire::DataPacket rows({{"sName", wire::FieldType::Text, 0, 0}, {"sNO", wire::FieldType::Text, 0, 0}, {"sSex", wire::FieldType::Text, 0, 0},
                               {"dbirthday", wire::FieldType::Date, 0, 0}, {"sType", wire::FieldType::Text, 0, 0}, {"sAddress", wire::FieldType::Text, 0, 0}});
        const char *surnames[] = {"张", "王", "李", "赵", "陈", "刘", "杨", "黄"};
        const char *given[] = {"子涵", "浩然", "欣怡", "宇轩", "梓萱", "俊杰", "雨桐", "一鸣", "思远"};
        for (int i = 1; i <= 25; ++i)
            rows.appendRow({QString::fromUtf8(surnames[i % 8]) + QString::fromUtf8(given[i % 9]), QStringLiteral("2026%1").arg(i, 3, 10, QChar(u'0')),
                            i % 2 ? QStringLiteral("男") : QStringLiteral("女"), QDate(2013, 1 + i % 12, 1 + i), i % 5 ? QStringLiteral("统招生") : QStringLiteral("借读生"),
                            QStringLiteral("深圳市南山区桃源街道%1号").arg(100 + i)});
        page->cdsData->setData(rows);
        wire::DataPacket fields({{"sFldName", wire::FieldType::Text, 0, 0}, {"sFldCaption", wire::FieldType::Text, 0, 0}, {"bShowed", wire::FieldType::Boolean, 0, 0}});
        fields.appendRow({"sName", QStringLiteral("姓名"), true});
        fields.appendRow({"sNO", QStringLiteral("学号"), true});
        fields.appendRow({"sSex", QStringLiteral("性别"), true});
        fields.appendRow({"dbirthday", QStringLiteral("出生日期"), true});
        fields.appendRow({"sType", QStringLiteral("学生类别"), true});
        fields.appendRow({"sAddress", QStringLiteral("家庭住址"), true});
        page->cdsFields->setData(fields);
        achieve::PageRegistry::instance().add(page);
        page->InitPage();
        auto *layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page);
        return {container, page};
    }

    host::Module module;
    QTemporaryDir settingsDir;
};

TEST_F(HostAppTest, TheMenuGroupsTheUsersFunctionsAndOffersOnlyThoseTheModuleHas)
{
    host::MainWindow window(module, nullptr, settingsFile());
    window.buildModuleMenu();
    QStringList menus;
    for (QAction *a : window.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("系统"), QStringLiteral("更多")}));
    QStringList groups;
    for (QAction *a : window.menuBar()->actions()[1]->menu()->actions())
        groups << a->text();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("学校组织"), QStringLiteral("学籍")})) << "教师档案 and 部门设置 are organisation";

    QStringList names;
    for (QAction *a : window.moduleActions())
        names << a->text() + "=" + a->data().toString() + (a->isEnabled() ? "" : "(" + a->toolTip() + ")");
    EXPECT_EQ(names.join(u' ').toStdString(), "学籍档案=4009 教师档案=4010 部门设置=4004") << "the module has all three now";
    for (QAction *a : window.moduleActions())
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();

    // The score-page message of a page opens the exam's score sheet in a tab of its own.
    host::ScorePageEvent open(QStringLiteral("2026,1701,,Y,,001,001,⊥,2026级七年级.期中考试"));
    QApplication::sendEvent(&window, &open);
    ASSERT_EQ(window.pages()->count(), 2) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(window.pages()->tabText(1), QStringLiteral("成绩录入 - 2026级七年级.期中考试"));
}

TEST_F(HostAppTest, FunctionsOpenOnTheSectionGradeOrClassTheTreeHasSelected)
{
    host::MainWindow window(module, nullptr, settingsFile());
    window.buildModuleMenu();
    QStringList items;
    for (QTreeWidgetItemIterator it(window.tree()); *it; ++it)
        items << (*it)->text(0) + u'=' + (*it)->text(1);
    EXPECT_EQ(items, (QStringList{QStringLiteral("初中=4"), QStringLiteral("2026级七年级=3"), QStringLiteral("一班（本部）=2"),
                                  QStringLiteral("二班（分校）=1"), QStringLiteral("2025级八年级=1"), QStringLiteral("一班（本部）=1")}));
    EXPECT_EQ(window.pages()->tabText(0), QStringLiteral("我的桌面"));
    EXPECT_EQ(window.desk()->grades()->topLevelItemCount(), 2);
    EXPECT_EQ(window.desk()->grades()->topLevelItem(0)->text(3), QStringLiteral("3"));
    EXPECT_TRUE(window.desk()->who()->text().contains(QStringLiteral("教务管理员"))) << window.desk()->who()->text().toStdString();
    EXPECT_FALSE(window.closeTab(0)) << "the desk stays";

    QAction *registerAction = window.moduleActions()[0];
    // Nothing selected: the host's grade chooser; cancelled, nothing opens.
    host.chooserAnswer(QStringLiteral("CANCEL"));
    registerAction->trigger();
    EXPECT_EQ(window.pages()->count(), 1);
    host.chooserAnswer(QStringLiteral("2025,1801,八年级,Y"));
    registerAction->trigger();
    ASSERT_EQ(window.pages()->count(), 2);
    EXPECT_EQ(window.pages()->tabText(1), QStringLiteral("学籍档案 - 2025级八年级"));
    EXPECT_EQ(registerOf(window, 1)->cdsData->recordCount(), 1);
    EXPECT_EQ(window.tree()->currentPlace().text(), QStringLiteral("2025级八年级")) << "the tree shows what was chosen";

    // A class, then a section, from the tree.
    QTreeWidgetItem *firstClass = nullptr;
    for (QTreeWidgetItemIterator it(window.tree()); *it; ++it)
        if ((*it)->text(0) == QStringLiteral("二班（分校）")) firstClass = *it;
    ASSERT_TRUE(firstClass);
    window.tree()->setCurrentItem(firstClass);
    registerAction->trigger();
    EXPECT_EQ(window.pages()->tabText(2), QStringLiteral("学籍档案 - 2026级七年级 二班"));
    EXPECT_EQ(registerOf(window, 2)->cdsData->recordCount(), 1);
    window.tree()->setCurrentItem(window.tree()->topLevelItem(0));
    registerAction->trigger();
    EXPECT_EQ(window.pages()->tabText(3), QStringLiteral("学籍档案 - 初中"));
    EXPECT_EQ(registerOf(window, 3)->cdsData->recordCount(), 4);
    // A double click on a grade opens its register.
    Q_EMIT window.tree()->itemDoubleClicked(window.tree()->topLevelItem(0)->child(0), 0);
    EXPECT_EQ(window.pages()->tabText(4), QStringLiteral("学籍档案 - 2026级七年级"));
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();
    for (const pub::testing::ShownMessage &m : host.messages)
        EXPECT_NE(m.kind, pub::MessageKind::Error) << m.text.toStdString();
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(HostAppTest, TheTreeFollowsTheModuleWhenItDropsTheGradeData)
{
    host::MainWindow window(module, nullptr, settingsFile());
    window.buildModuleMenu();
    window.tree()->setCurrentItem(window.tree()->topLevelItem(0)->child(0));
    fx.db().exec("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\") VALUES ('S1', '003', ?)", {QStringLiteral("三班")});
    fx.db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2026, '1701', '003')");
    EXPECT_EQ(window.tree()->topLevelItem(0)->child(0)->childCount(), 2) << "cached until the module says otherwise";
    RemoteCloseGradeData();
    QApplication::processEvents();
    ASSERT_EQ(window.tree()->topLevelItem(0)->child(0)->childCount(), 3);
    EXPECT_EQ(window.tree()->topLevelItem(0)->child(0)->child(2)->text(0), QStringLiteral("三班"));
    EXPECT_EQ(window.tree()->currentPlace().text(), QStringLiteral("2026级七年级")) << "the selection stays";
}

TEST_F(HostAppTest, TheWindowOpensMaximizedFirstAndAsLastClosedAfterwards)
{
    {
        host::MainWindow window(module, nullptr, settingsFile());
        window.buildModuleMenu();
        window.showAsLastTime();
        EXPECT_TRUE(window.isMaximized());
        window.showNormal();
        window.setGeometry(40, 50, 900, 600);
        QApplication::processEvents();
        EXPECT_TRUE(window.close());
    }
    host::MainWindow again(module, nullptr, settingsFile());
    again.buildModuleMenu();
    again.showAsLastTime();
    EXPECT_FALSE(again.isMaximized());
    EXPECT_EQ(again.size(), QSize(900, 600));
}

TEST_F(HostAppTest, ATabClosesOnlyWhenItsPageAgrees)
{
    host::MainWindow window(module, nullptr, settingsFile());
    window.buildModuleMenu();
    auto [container, page] = embeddedPage();
    const int tab = window.addPageTab(QStringLiteral("学籍档案"), container, achieve::PageRegistry::handleFromName(page->objectName()));
    ASSERT_EQ(tab, 1) << "after the desk";
    window.show();
    pub::testing::saveShot(window, "host-with-page");

    page->acEdit->trigger();
    page->cdsData->first();
    page->cdsData->edit();
    page->cdsData->setValue(u"sName", QStringLiteral("改过的名字"));
    host.answer(pub::AnswerCancel, QStringLiteral("数据已被修改"));
    EXPECT_FALSE(window.closeTab(tab)) << "the page keeps its unsaved edits and its tab";
    EXPECT_EQ(window.pages()->count(), 2);
    host.answer(pub::AnswerNo);
    EXPECT_TRUE(window.closeTab(tab));
    EXPECT_EQ(window.pages()->count(), 1);
    EXPECT_TRUE(host.scriptDone());
}

} // namespace
