#pragma once
// The host's side of the host services: the provider of the interactive parts (message boxes,
// wait indicator, help, the host's dialogs, the log) and of the host's settings, and the session
// with the application server that the context, rights and grade data come from.
//
// The host application installs its provider and signs in; tests install a scripted provider and
// sign in to an embedded server. Until a provider is installed the base class below answers: it
// asks nobody and writes what it would have shown to the standard error stream.

#include "host/pub/pub_export.h"
#include "wire/link.h"

#include <QRgb>
#include <QString>

#include <memory>

class QWidget;

namespace lumeko::pub {

enum class MessageKind { Hint, Warn, Error, Confirm, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel };

// Answers of a message box; Yes also acknowledges a box that only has an OK button.
enum MessageAnswer : int { AnswerYes = 1, AnswerNo = 2, AnswerCancel = 3 };

struct Message {
    MessageKind kind = MessageKind::Hint;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    QWidget *owner = nullptr;
};

// Default text of the wait indicator.
LUMEKO_PUB_EXPORT QString defaultWaitText();
// The title of a message box of this kind: "提示", "警告", "错误", "确认", "询问".
LUMEKO_PUB_EXPORT QString messageTitle(MessageKind kind);

class LUMEKO_PUB_EXPORT HostProvider {
public:
    virtual ~HostProvider();

    // Shows the message and returns the answer (AnswerYes for an OK button). An answer the buttons
    // do not offer is taken as the most cautious one they do (cancel, else no).
    virtual int messageBox(const Message &message);

    // The wait indicator. showWait is called for every ShowWaiting, the outermost and the nested
    // ones (an inner call changes the text); hideWait once, when the outermost pair ends. The text
    // is never empty.
    virtual void showWait(QWidget *owner, const QString &text);
    virtual void hideWait();

    virtual void showHelp(QWidget *owner, const QString &helpName);
    virtual void showDownGrade(QWidget *owner, const QString &text);
    // A chooser of the host by kind ("0": a grade, see gradeChoices()); returns its answer or
    // "CANCEL".
    virtual QString openChooser(QWidget *owner, const QString &kind);

    // One line of the host's log, as the module wrote it.
    virtual void writeLog(const QString &text);

    // The host's folder, ending in "/".
    virtual QString appPath() const;
    virtual QString appName() const;
    virtual QString localComputer() const;
    virtual int appFontSize() const;

    virtual QRgb contentColor() const;
    virtual QRgb frameColor() const;
    virtual QRgb hotTrackColor() const;
    virtual QRgb titleBackColor() const;
    virtual QRgb titleFontColor() const;
    // The style's images: a resource prefix or folder ending in "/" (see GetLumekoStyle).
    virtual QString style() const;
};

// The provider behind the host services; null puts the answering base class back. The provider
// is not owned and must stay alive while it is installed. Installing ends a wait indicator that
// is showing, without telling either provider.
LUMEKO_PUB_EXPORT void installProvider(HostProvider *provider);
// The installed provider, or the base class; never null.
LUMEKO_PUB_EXPORT HostProvider &provider();

// The resource prefix of the icons and bitmaps this library ships.
LUMEKO_PUB_EXPORT QString builtinStyle();

// ---- The session -----------------------------------------------------------------------------

// Signs in to the server behind `link` (Session.SignIn with the provider's computer name) and
// reads the user's context. The link must outlive the session: until signOut(), or the next
// signIn(), which first signs the old session out over its own link. On
// failure the host services are signed out and *error holds a Chinese text for the user (the
// server's own message in brackets). A previous session is signed out first.
LUMEKO_PUB_EXPORT bool signIn(wire::ServerLink &link, const QString &login, const QString &password, QString *error = nullptr);

// Ends the session on the server and forgets it, everything cached from it and the last chooser
// answer (GetParams). Server objects
// still open stay valid, but their calls fail as "not signed in".
LUMEKO_PUB_EXPORT void signOut();
LUMEKO_PUB_EXPORT bool isSignedIn();

// The grades a grade chooser offers: the current grades from the lowest up, then the intakes that
// have left the school (newest first, under the last grade each reached), with the names from the
// grade names. The records an intake leaves behind each year as it moves up are not offered.
struct GradeChoice {
    QString text;   // intake year + "级" + grade name, e.g. "2026级七年级"
    QString params; // "InYear,GradeCode,grade name,current flag", e.g. "2026,1701,七年级,Y"
};
LUMEKO_PUB_EXPORT QList<GradeChoice> gradeChoices();

} // namespace lumeko::pub
