// The host application's main window over the real module, signed in to the fixture school: the
// module's menu from its exports, pages in tabs that close only with their consent, and the
// score-page message.

#include "host/app/mainwindow.h"

#include "fixtureschool.h"
#include "framework/pageregistry.h"
#include "framework/ubasepage.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"
#include "signedinhost.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QTabWidget>
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
        signInAs("admin", "lumeko");
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
};

TEST_F(HostAppTest, TheMenuComesFromTheModulesTitleAndTheUsersActions)
{
    host::MainWindow window(module);
    window.buildModuleMenu();
    ASSERT_FALSE(window.menuBar()->actions().isEmpty());
    EXPECT_EQ(window.menuBar()->actions().first()->text(), QStringLiteral("更多"));
    QStringList names;
    for (QAction *a : window.moduleActions()) names << a->text() + "=" + a->data().toString();
    EXPECT_EQ(names, (QStringList{QStringLiteral("学籍档案=4009"), QStringLiteral("教师档案=4010"), QStringLiteral("部门设置=4004")}));

    // A function whose page the module does not offer yet says so; no tab is opened.
    window.moduleActions()[1]->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("“教师档案”功能尚未提供。"));
    EXPECT_EQ(window.pages()->count(), 0);
    // The score-page message opens the score page the same way.
    QApplication::sendEvent(&window, new host::ScorePageEvent(QStringLiteral("2026,1701,,Y,,,001,⊥")));
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("“成绩录入”功能尚未提供。"));
}

TEST_F(HostAppTest, ATabClosesOnlyWhenItsPageAgrees)
{
    host::MainWindow window(module);
    window.buildModuleMenu();
    auto [container, page] = embeddedPage();
    const int tab = window.addPageTab(QStringLiteral("学籍档案"), container, achieve::PageRegistry::handleFromName(page->objectName()));
    window.show();
    pub::testing::saveShot(window, "host-with-page");

    page->acEdit->trigger();
    page->cdsData->first();
    page->cdsData->edit();
    page->cdsData->setValue(u"sName", QStringLiteral("改过的名字"));
    host.answer(pub::AnswerCancel, QStringLiteral("数据已被修改"));
    EXPECT_FALSE(window.closeTab(tab)) << "the page keeps its unsaved edits and its tab";
    EXPECT_EQ(window.pages()->count(), 1);
    host.answer(pub::AnswerNo);
    EXPECT_TRUE(window.closeTab(tab));
    EXPECT_EQ(window.pages()->count(), 0);
    EXPECT_TRUE(host.scriptDone());
}

} // namespace
