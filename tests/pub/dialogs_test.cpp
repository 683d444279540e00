// Message boxes, the wait indicator, help, the host's dialogs, the log and the host's settings,
// through the C functions, with a scripted provider and with none.

#include "scriptedprovider.h"

#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace lumeko::pub {
namespace {

using testing::ScriptedProvider;
using testing::WaitEvent;

TEST(HostDialogs, MessageBoxesAreAnsweredAsScriptedAndRecorded)
{
    ScriptedProvider host;
    QWidget owner;
    LumekoMsgBoxHint("保存成功！", &owner);
    LumekoMsgBoxWarn("请先选择班级！", nullptr);
    LumekoMsgBoxError("数据保存失败！", &owner);
    host.answer(AnswerYes, QStringLiteral("删除"));
    EXPECT_EQ(LumekoMsgBoxConfirm("确定要删除此次考试数据吗？", &owner), 1);
    host.answer(AnswerNo);
    EXPECT_EQ(LumekoMsgBoxConfirm("是否继续？", nullptr), 2);
    host.answer(AnswerCancel, QStringLiteral("保存"));
    EXPECT_EQ(LumekoMsgBox("数据已修改，是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, &owner), 3);
    host.answer(AnswerNo);
    EXPECT_EQ(LumekoMsgBox("是否覆盖？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO, nullptr), 2);
    EXPECT_TRUE(host.scriptDone());

    ASSERT_EQ(host.messages.size(), 7);
    EXPECT_EQ(host.messageTexts(), QStringList({"保存成功！", "请先选择班级！", "数据保存失败！", "确定要删除此次考试数据吗？", "是否继续？",
                                                "数据已修改，是否保存？", "是否覆盖？"}));
    const MessageKind kinds[] = {MessageKind::Hint, MessageKind::Warn, MessageKind::Error, MessageKind::Confirm,
                                 MessageKind::Confirm, MessageKind::Question, MessageKind::Question};
    const MessageButtons buttons[] = {MessageButtons::Ok, MessageButtons::Ok, MessageButtons::Ok, MessageButtons::YesNo,
                                      MessageButtons::YesNo, MessageButtons::YesNoCancel, MessageButtons::YesNo};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(host.messages[i].kind, kinds[i]) << i;
        EXPECT_EQ(host.messages[i].buttons, buttons[i]) << i;
    }
    EXPECT_EQ(host.messages[0].owner, &owner);
    EXPECT_EQ(host.messages[1].owner, nullptr);
}

TEST(HostDialogs, AnswersTheButtonsDoNotOfferBecomeTheMostCautiousOne)
{
    ScriptedProvider host;
    // Cancel on a Yes/No box, or nonsense, is no.
    host.answer(AnswerCancel);
    EXPECT_EQ(LumekoMsgBoxConfirm("a", nullptr), 2);
    host.answer(42);
    EXPECT_EQ(LumekoMsgBox("b", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO, nullptr), 2);
    // Nonsense on a Yes/No/Cancel box is cancel; a button count the module does not know offers Yes/No.
    host.answer(0);
    EXPECT_EQ(LumekoMsgBox("c", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, nullptr), 3);
    host.answer(AnswerYes);
    EXPECT_EQ(LumekoMsgBox("d", 99, 7, nullptr), 1);
    ASSERT_EQ(host.messages.size(), 4);
    EXPECT_EQ(host.messages[3].buttons, MessageButtons::YesNo);
    EXPECT_EQ(host.messages[3].kind, MessageKind::Question);
    // The kinds of LumekoMsgBox.
    for (int kind : {LUMEKO_MSG_HINT, LUMEKO_MSG_WARN, LUMEKO_MSG_ERROR, LUMEKO_MSG_CONFIRM}) {
        host.answer(AnswerYes);
        LumekoMsgBox("e", kind, LUMEKO_BUTTONS_YES_NO, nullptr);
    }
    EXPECT_EQ(host.messages[4].kind, MessageKind::Hint);
    EXPECT_EQ(host.messages[5].kind, MessageKind::Warn);
    EXPECT_EQ(host.messages[6].kind, MessageKind::Error);
    EXPECT_EQ(host.messages[7].kind, MessageKind::Confirm);
    // Hints take no scripted answer: the script is still waiting for a question.
    host.answer(AnswerYes);
    msgHint(QStringLiteral("提示"));
    EXPECT_FALSE(host.scriptDone());
    EXPECT_EQ(msgConfirm(QStringLiteral("f")), 1);
    EXPECT_TRUE(host.scriptDone());
}

TEST(HostDialogs, NestedWaitPairsHideWithTheOutermost)
{
    ScriptedProvider host;
    QWidget page;
    ShowWaiting(&page, "");
    EXPECT_TRUE(host.waitShowing());
    ShowWaiting(&page, "正在保存数据......");
    HideWait();
    EXPECT_TRUE(host.waitShowing()) << "the inner pair must not hide the outer one's notice";
    {
        WaitIndicator wait(&page, QStringLiteral("删除验证......"));
        EXPECT_TRUE(host.waitShowing());
    }
    EXPECT_TRUE(host.waitShowing());
    HideWait();
    EXPECT_FALSE(host.waitShowing());
    HideWait(); // one too many: nothing to hide

    ASSERT_EQ(host.waitEvents.size(), 4);
    EXPECT_EQ(host.waitEvents[0].kind, WaitEvent::Show);
    EXPECT_EQ(host.waitEvents[0].text, u"正在处理数据，请稍候......");
    EXPECT_EQ(host.waitEvents[0].owner, &page);
    EXPECT_EQ(host.waitEvents[1].text, u"正在保存数据......");
    EXPECT_EQ(host.waitEvents[2].text, u"删除验证......");
    EXPECT_EQ(host.waitEvents[3].kind, WaitEvent::Hide);

    // A stray HideWait before a pair does not eat the pair's own.
    HideWait();
    ShowWaiting(nullptr, "   ");
    EXPECT_EQ(host.waitEvents.last().text, defaultWaitText());
    ShowWaiting(nullptr, "x");
    HideWait();
    EXPECT_TRUE(host.waitShowing());
    HideWait();
    EXPECT_FALSE(host.waitShowing());
}

TEST(HostDialogs, HelpDialogsLogAndSettingsReachTheProvider)
{
    ScriptedProvider host;
    QWidget owner;
    ShowHelpDlgForm(&owner, "TfrmStudent");
    ShowDownGradeDlgForm(&owner, "2026|1701");
    WriteLogs("更新日志失败，错误:网络中断");
    WriteLogs(nullptr);
    writeLog(QStringLiteral("第二行"));
    EXPECT_EQ(host.helpNames, QStringList{"TfrmStudent"});
    EXPECT_EQ(host.downGrades, QStringList{"2026|1701"});
    EXPECT_EQ(host.logLines, QStringList({"更新日志失败，错误:网络中断", "", "第二行"}));

    EXPECT_EQ(QString::fromUtf8(GetAppPath()), host.appPathValue);
    EXPECT_EQ(QString::fromUtf8(GetAppName()), u"Lumeko 测试");
    EXPECT_STREQ(GetLocalComputer(), "TEST-PC");
    EXPECT_EQ(GetAppFontSize(), 11);
    EXPECT_EQ(GetContentColor(), 0x123456u);
    EXPECT_EQ(contentColor(), QColor(0x12, 0x34, 0x56));
    // Colours the provider leaves alone come from the base scheme, as 0x00RRGGBB.
    EXPECT_EQ(GetTitleFontColor(), 0xFFFFFFu);
    EXPECT_EQ(GetTitleBackColor(), 0x2F5D8Au);
    EXPECT_EQ(GetFrameColor() & 0xFF000000u, 0u);
    EXPECT_STREQ(GetLumekoStyle(), ":/lumeko/style/");
}

TEST(HostDialogs, ReturnedTextsStayUntilTheSameFunctionIsCalledAgain)
{
    ScriptedProvider host;
    const char *path = GetAppPath();
    const char *computer = GetLocalComputer();
    host.appPathValue = QStringLiteral("/srv/other/");
    EXPECT_EQ(QString::fromUtf8(path), ScriptedProvider::scratchAppPath()) << "another function's call must not overwrite it";
    EXPECT_STREQ(computer, "TEST-PC");
    const char *none = GetGradeType("9");
    EXPECT_NE(none, nullptr);
    EXPECT_STREQ(none, "");
    EXPECT_STREQ(GetAppPath(), "/srv/other/");
}

// Redirects the standard error stream into a file for the life of the value.
class CapturedStderr {
public:
    CapturedStderr() : m_file(std::tmpfile()), m_saved(dup(fileno(stderr)))
    {
        std::fflush(stderr);
        dup2(fileno(m_file), fileno(stderr));
    }
    ~CapturedStderr() { restore(); }
    QString text()
    {
        restore();
        std::rewind(m_file);
        QByteArray bytes;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0) bytes.append(buffer, qsizetype(n));
        return QString::fromUtf8(bytes);
    }

private:
    void restore()
    {
        if (m_saved < 0) return;
        std::fflush(stderr);
        dup2(m_saved, fileno(stderr));
        close(m_saved);
        m_saved = -1;
    }
    FILE *m_file;
    int m_saved;
};

TEST(HostDialogs, WithoutAProviderNobodyIsAskedAndTextsGoToStandardError)
{
    installProvider(nullptr);
    CapturedStderr err;
    EXPECT_EQ(LumekoMsgBoxConfirm("确定要删除吗？", nullptr), 2);
    EXPECT_EQ(LumekoMsgBox("数据已修改，是否保存？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO_CANCEL, nullptr), 3);
    EXPECT_EQ(LumekoMsgBox("是否覆盖？", LUMEKO_MSG_QUESTION, LUMEKO_BUTTONS_YES_NO, nullptr), 2);
    LumekoMsgBoxError("连接失败", nullptr);
    WriteLogs("本机日志");
    ShowWaiting(nullptr, "");
    HideWait();
    ShowHelpDlgForm(nullptr, "x");
    ShowOpenDlgForm(nullptr, "0");
    EXPECT_STREQ(GetParams(), "CANCEL");
    const QString text = err.text();
    EXPECT_TRUE(text.contains(u"lumeko: [确认] 确定要删除吗？\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(u"lumeko: [询问] 数据已修改，是否保存？\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(u"lumeko: [错误] 连接失败\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(u"lumeko: 本机日志\n")) << text.toStdString();
    EXPECT_EQ(GetAppFontSize(), 10);
    EXPECT_EQ(QString::fromUtf8(GetLocalComputer()), QSysInfo::machineHostName());
    EXPECT_EQ(QString::fromUtf8(GetAppPath()), QCoreApplication::applicationDirPath() + u'/');
}

TEST(HostDialogs, ScriptedProvidersNestAndPutBackWhatWasInstalled)
{
    ScriptedProvider outer;
    {
        ScriptedProvider inner;
        WriteLogs("inner");
        EXPECT_EQ(&provider(), &inner);
    }
    EXPECT_EQ(&provider(), &outer);
    WriteLogs("outer");
    EXPECT_EQ(outer.logLines, QStringList{"outer"});
}

TEST(HostDialogs, InstallingAProviderEndsAShowingWaitNotice)
{
    ScriptedProvider first;
    ShowWaiting(nullptr, "a");
    ShowWaiting(nullptr, "b");
    ScriptedProvider second;
    // The depth started again: one pair on the new provider shows and hides.
    ShowWaiting(nullptr, "c");
    HideWait();
    EXPECT_FALSE(second.waitShowing());
    EXPECT_EQ(second.waitEvents.size(), 2);
}

} // namespace
} // namespace lumeko::pub
