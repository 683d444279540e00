#include "scriptedprovider.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lumeko::pub::testing {

QString ScriptedProvider::scratchAppPath()
{
    static QTemporaryDir folder;
    return folder.path() + u'/';
}

ScriptedProvider::ScriptedProvider() : m_previous(&provider())
{
    installProvider(this);
}

ScriptedProvider::~ScriptedProvider()
{
    // Providers made in a test nest: the one made last goes first.
    if (&provider() == this) installProvider(m_previous);
}

void ScriptedProvider::answer(int answer, const QString &expected) { m_answers.enqueue({answer, expected}); }
void ScriptedProvider::chooserAnswer(const QString &answer) { m_chooser.enqueue(answer); }

QStringList ScriptedProvider::messageTexts() const
{
    QStringList texts;
    for (const ShownMessage &m : messages) texts << m.text;
    return texts;
}

int ScriptedProvider::messageBox(const Message &message)
{
    int answer = AnswerYes;
    if (message.buttons != MessageButtons::Ok) {
        if (m_answers.isEmpty()) {
            ADD_FAILURE() << "unscripted question: " << message.text.toStdString();
            answer = message.buttons == MessageButtons::YesNoCancel ? AnswerCancel : AnswerNo;
        } else {
            const Scripted s = m_answers.dequeue();
            if (!s.expected.isEmpty() && !message.text.contains(s.expected))
                ADD_FAILURE() << "the question \"" << message.text.toStdString() << "\" was scripted as \"" << s.expected.toStdString() << "\"";
            answer = s.answer;
        }
    }
    messages.append({message.kind, message.text, message.buttons, message.owner, answer});
    return answer;
}

void ScriptedProvider::showWait(QWidget *owner, const QString &text)
{
    waitEvents.append({WaitEvent::Show, text, owner});
    m_waitShowing = true;
}

void ScriptedProvider::hideWait()
{
    EXPECT_TRUE(m_waitShowing) << "the wait notice was hidden while none showed";
    waitEvents.append({WaitEvent::Hide, {}, nullptr});
    m_waitShowing = false;
}

void ScriptedProvider::showHelp(QWidget *, const QString &helpName) { helpNames << helpName; }
void ScriptedProvider::showDownGrade(QWidget *, const QString &text) { downGrades << text; }

QString ScriptedProvider::openChooser(QWidget *, const QString &kind)
{
    chooserKinds << kind;
    if (m_chooser.isEmpty()) {
        ADD_FAILURE() << "unscripted chooser of kind " << kind.toStdString();
        return QStringLiteral("CANCEL");
    }
    return m_chooser.dequeue();
}

void ScriptedProvider::writeLog(const QString &text) { logLines << text; }

} // namespace lumeko::pub::testing
