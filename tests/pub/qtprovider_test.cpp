// The host's Qt provider: real message boxes answered by clicking their buttons, the wait notice
// over a window, the help window, the grade chooser and the log file.

#include "fixtureschool.h"

#include "host/pub/lumekopub.h"
#include "host/pub/qtprovider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace lumeko::pub {
namespace {

// What a modal dialog showed before the test clicked one of its buttons.
struct Seen {
    QString title;
    QString text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Waits for the next modal dialog, keeps what it shows, lets `prepare` act on it, then clicks the
// button with the text `button` (or, with an empty text, presses Escape).
void whenModal(const QString &button, Seen *seen, std::function<void(QWidget *)> prepare = {})
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w) return;
        timer->stop();
        timer->deleteLater();
        seen->title = w->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            seen->text = box->text();
            seen->icon = box->icon();
        }
        QAbstractButton *target = nullptr;
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
            if (b->isHidden()) continue;
            seen->buttons << b->text();
            if (b->text() == button) target = b;
        }
        seen->buttons.sort();
        if (prepare) prepare(w);
        if (button.isEmpty()) {
            QTest::keyClick(w, Qt::Key_Escape);
        } else if (target) {
            target->click();
        } else {
            ADD_FAILURE() << "no button " << button.toStdString();
            w->close();
        }
    });
    timer->start();
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

class QtHost : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<QtProvider> host;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QtProviderOptions o;
        o.appPath = dir.path();
        o.logFile = dir.filePath(QStringLiteral("logs/lumeko.log"));
        host = std::make_unique<QtProvider>(o);
        installProvider(host.get());
    }
    void TearDown() override { installProvider(nullptr); }
};

TEST_F(QtHost, MessageBoxesShowChineseButtonsAndAnswerWithTheClickedOne)
{
    Seen seen;
    whenModal(QStringLiteral("否"), &seen);
    EXPECT_EQ(LumekoMsgBoxConfirm("确定要删除此次考试数据吗？", nullptr), 2);
    EXPECT_EQ(seen.title, u"确认");
    EXPECT_EQ(seen.text, u"确定要删除此次考试数据吗？");
    EXPECT_EQ(seen.buttons, sorted({"是", "否"}));
    EXPECT_EQ(seen.icon, QMessageBox::Question);

    Seen yes;
    whenModal(QStringLiteral("是"), &yes);
    EXPECT_EQ(LumekoMsgBoxConfirm("继续吗？", nullptr), 1);

    Seen cancel;
    whenModal(QStringLiteral("取消"), &cancel);
    EXPECT_EQ(LumekoMsgBox("数据已修改，是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, nullptr), 3);
    EXPECT_EQ(cancel.buttons, sorted({"是", "否", "取消"}));
    EXPECT_EQ(cancel.title, u"询问");

    // Escape is cancel where cancel is offered, and no where it is not.
    Seen escaped;
    whenModal(QString(), &escaped);
    EXPECT_EQ(LumekoMsgBox("是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, nullptr), 3);
    whenModal(QString(), &escaped);
    EXPECT_EQ(LumekoMsgBox("是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO, nullptr), 2);

    Seen hint, error;
    whenModal(QStringLiteral("确定"), &hint);
    LumekoMsgBoxHint("保存成功！", nullptr);
    EXPECT_EQ(hint.buttons, QStringList{"确定"});
    EXPECT_EQ(hint.title, u"提示");
    EXPECT_EQ(hint.icon, QMessageBox::Information);
    whenModal(QStringLiteral("确定"), &error);
    LumekoMsgBoxError("数据保存失败！", nullptr);
    EXPECT_EQ(error.title, u"错误");
    EXPECT_EQ(error.icon, QMessageBox::Critical);
}

TEST_F(QtHost, TheWaitNoticeCoversItsOwnerUntilTheOutermostHideAndStopsClicks)
{
    QWidget window;
    window.resize(480, 320);
    auto *button = new QPushButton(QStringLiteral("保存"), &window);
    button->setGeometry(0, 0, 480, 320);
    window.show();
    QSignalSpy clicked(button, &QPushButton::clicked);

    ShowWaiting(&window, "");
    WaitOverlay *overlay = host->waitOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->parentWidget(), &window);
    EXPECT_EQ(overlay->geometry(), window.rect());
    EXPECT_EQ(overlay->text(), u"正在处理数据，请稍候......");

    QTest::mouseClick(overlay, Qt::LeftButton, {}, overlay->rect().center());
    EXPECT_EQ(clicked.count(), 0) << "the notice lets no click through to the window under it";

    ShowWaiting(&window, "正在保存数据......");
    EXPECT_EQ(host->waitOverlay(), overlay);
    EXPECT_EQ(overlay->text(), u"正在保存数据......");
    window.resize(640, 400);
    QApplication::processEvents();
    EXPECT_EQ(overlay->geometry(), window.rect()) << "the notice follows its owner's size";
    HideWait();
    EXPECT_TRUE(overlay->isVisible());
    HideWait();
    EXPECT_EQ(host->waitOverlay(), nullptr);
    QApplication::processEvents();

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);

    // Without an owner the notice is a small window of its own.
    ShowWaiting(nullptr, "正在删除考试......");
    ASSERT_NE(host->waitOverlay(), nullptr);
    EXPECT_TRUE(host->waitOverlay()->isWindow());
    EXPECT_TRUE(host->waitOverlay()->isVisible());
    HideWait();
    EXPECT_EQ(host->waitOverlay(), nullptr);
}

TEST_F(QtHost, HelpShowsThePageOfTheHelpNameOrSaysThereIsNone)
{
    QDir(dir.path()).mkpath(QStringLiteral("data/help"));
    QFile page(dir.filePath(QStringLiteral("data/help/TfrmStudent.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(QStringLiteral("<h1>学生档案</h1><p>录入和维护学生的基本信息。</p>").toUtf8());
    page.close();
    QFile outside(dir.filePath(QStringLiteral("data/secret.html")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("not help");
    outside.close();

    QWidget owner;
    ShowHelpDlgForm(&owner, "TfrmStudent");
    ASSERT_NE(host->helpWindow(), nullptr);
    EXPECT_TRUE(host->helpWindow()->isVisible());
    EXPECT_EQ(host->helpWindow()->windowTitle(), u"帮助 - TfrmStudent");
    EXPECT_TRUE(host->helpBrowser()->toPlainText().contains(u"录入和维护学生的基本信息。"));

    QDialog *first = host->helpWindow();
    ShowHelpDlgForm(&owner, "TfrmNoHelp");
    EXPECT_EQ(host->helpWindow(), first) << "one help window, reused";
    EXPECT_EQ(host->helpBrowser()->toPlainText(), u"暂无帮助");
    EXPECT_EQ(host->helpText(QStringLiteral("../secret")), u"暂无帮助");
    EXPECT_EQ(host->helpText(QString()), u"暂无帮助");
}

TEST_F(QtHost, TheLogFileGetsOneTimestampedLinePerCall)
{
    WriteLogs("更新日志失败，错误:连接中断\n第二部分");
    WriteLogs("读取列表失败");
    QFile log(dir.filePath(QStringLiteral("logs/lumeko.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    EXPECT_TRUE(stamp.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(lines[0].mid(20), u"更新日志失败，错误:连接中断 第二部分");
    EXPECT_EQ(lines[1].mid(20), u"读取列表失败");

    // By default the log lives in the user's data folder.
    QStandardPaths::setTestModeEnabled(true);
    QtProvider defaults;
    EXPECT_EQ(defaults.options().logFile, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/lumeko.log"));
    EXPECT_EQ(defaults.options().helpFolder, QCoreApplication::applicationDirPath() + QStringLiteral("/data/help/"));
    EXPECT_EQ(defaults.appPath(), QCoreApplication::applicationDirPath() + u'/');
    QStandardPaths::setTestModeEnabled(false);
}

TEST_F(QtHost, TheGradeChooserAnswersTheChosenGradeOrCancel)
{
    server::testing::ServiceFixture fx(server::Backend::Sqlite);
    wire::LocalLink link(fx.service());
    QString error;
    ASSERT_TRUE(signIn(link, QStringLiteral("admin"), QStringLiteral("lumeko"), &error)) << error.toStdString();

    Seen seen;
    QStringList offered;
    whenModal(QStringLiteral("确定"), &seen, [&offered](QWidget *w) {
        auto *list = w->findChild<QListWidget *>();
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->count(); ++i) offered << list->item(i)->text();
        list->setCurrentRow(1);
    });
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_EQ(seen.title, u"选择年级");
    EXPECT_EQ(offered, QStringList({"2026级七年级", "2025级八年级"}));
    EXPECT_STREQ(GetParams(), "2025,1801,八年级,Y");

    whenModal(QStringLiteral("取消"), &seen);
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_STREQ(GetParams(), "CANCEL");

    // A chooser this host does not have: cancelled, and said so in the log.
    ShowOpenDlgForm(nullptr, "7");
    EXPECT_STREQ(GetParams(), "CANCEL");
    signOut();
    QFile log(dir.filePath(QStringLiteral("logs/lumeko.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(u"未知的选择窗口类型：7"));
}

TEST_F(QtHost, TheRegistryDownloadSaysItIsNotSetUp)
{
    Seen seen;
    whenModal(QStringLiteral("确定"), &seen);
    ShowDownGradeDlgForm(nullptr, "2026|1701");
    EXPECT_EQ(seen.title, u"提示");
    EXPECT_TRUE(seen.text.contains(u"入学年份：2026")) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.contains(u"年级代码：1701")) << seen.text.toStdString();
}

} // namespace
} // namespace lumeko::pub
