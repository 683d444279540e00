#pragma once
// A host provider for tests: it answers questions as the test scripted them and records every
// message box, wait notice, help request, chooser and log line. Constructing it installs it;
// destroying it puts back whatever was installed before.
//
//     ScriptedProvider host;
//     host.answer(pub::AnswerCancel, "是否保存");   // the next question must contain "是否保存"
//     page.close();
//     EXPECT_EQ(host.messageTexts(), QStringList{"数据已修改，是否保存？"});
//
// A question (a box with Yes/No buttons) for which nothing was scripted fails the test and is
// answered with its most cautious button.

#include "host/pub/provider.h"

#include <QList>
#include <QQueue>
#include <QStringList>

namespace lumeko::pub::testing {

struct ShownMessage {
    MessageKind kind;
    QString text;
    MessageButtons buttons;
    QWidget *owner;
    int answer;
};

struct WaitEvent {
    enum Kind { Show, Hide } kind;
    QString text;     // Show: the text shown
    QWidget *owner;
};

class ScriptedProvider : public HostProvider {
public:
    ScriptedProvider();
    ~ScriptedProvider() override;
    ScriptedProvider(const ScriptedProvider &) = delete;
    ScriptedProvider &operator=(const ScriptedProvider &) = delete;

    // The answer to the next unanswered question; with `expected`, that question's text must
    // contain it.
    void answer(int answer, const QString &expected = {});
    // The answer of the next host chooser (ShowOpenDlgForm).
    void chooserAnswer(const QString &answer);
    // Whether every scripted answer was used.
    bool scriptDone() const { return m_answers.isEmpty() && m_chooser.isEmpty(); }

    QList<ShownMessage> messages;
    QList<WaitEvent> waitEvents;
    QStringList logLines;
    QStringList helpNames;
    QStringList downGrades;
    QStringList chooserKinds;

    QStringList messageTexts() const;
    bool waitShowing() const { return m_waitShowing; }

    // What the host answers about itself.
    // A folder of this test run, so that the settings and layouts pages write go nowhere else.
    QString appPathValue = scratchAppPath();
    static QString scratchAppPath();
    QString appNameValue = QStringLiteral("Lumeko 测试");
    QString computerValue = QStringLiteral("TEST-PC");
    int fontSizeValue = 11;
    QRgb contentValue = qRgb(0x12, 0x34, 0x56);

    int messageBox(const Message &message) override;
    void showWait(QWidget *owner, const QString &text) override;
    void hideWait() override;
    void showHelp(QWidget *owner, const QString &helpName) override;
    void showDownGrade(QWidget *owner, const QString &text) override;
    QString openChooser(QWidget *owner, const QString &kind) override;
    void writeLog(const QString &text) override;
    QString appPath() const override { return appPathValue; }
    QString appName() const override { return appNameValue; }
    QString localComputer() const override { return computerValue; }
    int appFontSize() const override { return fontSizeValue; }
    QRgb contentColor() const override { return contentValue; }

private:
    struct Scripted {
        int answer;
        QString expected;
    };
    QQueue<Scripted> m_answers;
    QQueue<QString> m_chooser;
    bool m_waitShowing = false;
    HostProvider *m_previous;
};

} // namespace lumeko::pub::testing
