#pragma once
// The host services for the module's C++ code: the functions of lumekopub.h with Qt types, and
// server objects as values that release themselves.
//
//     ServerObject sys = ServerObject::sysQry();
//     QList<wire::Argument> args{{pub::schoolId(), false}, {wire::Null{}, true}};
//     const wire::Reply r = sys.call(wire::protocol::QSchoolInfo, args);
//     if (r.ok()) table.setData(std::get<wire::DataPacket>(args[1].value));
//
// Texts returned here are copies; the lifetime rules of the C functions do not apply.

#include "host/pub/lumekopub.h"
#include "host/pub/pub_export.h"
#include "toolkit/cipher/cipher.h"
#include "wire/envelope.h"
#include "wire/protocol/methods.h"

#include <QColor>
#include <QEvent>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <stdexcept>

class QWidget;

namespace lumeko::pub {

// ---- Server objects ------------------------------------------------------------------------------

enum class ServerKind { StudentQry, StudentUp, AchieveQry, AchieveUp, SysQry, SysUp };

// The server's object name of a kind ("StudentQry", ...).
LUMEKO_PUB_EXPORT QString serverObjectName(ServerKind kind);

// A failed call, for callers that let server errors pass up (see ServerObject::invoke).
class LUMEKO_PUB_EXPORT ServerError : public std::runtime_error {
public:
    ServerError(wire::ErrorCode code, const QString &message);
    wire::ErrorCode code() const { return m_code; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    wire::ErrorCode m_code;
};

// One server object, released with its ...Close function when the value goes. Calls go over the
// host's link to the server: in-process without encoding when the server is embedded, as HTTP
// requests otherwise.
class LUMEKO_PUB_EXPORT ServerObject {
public:
    static ServerObject studentQry();
    static ServerObject studentUp();
    static ServerObject achieveQry();
    static ServerObject achieveUp();
    static ServerObject sysQry();
    static ServerObject sysUp();
    static ServerObject open(ServerKind kind);

    ServerObject(ServerObject &&other) noexcept;
    ServerObject &operator=(ServerObject &&other) noexcept;
    ServerObject(const ServerObject &) = delete;
    ServerObject &operator=(const ServerObject &) = delete;
    ~ServerObject();

    ServerKind kind() const { return m_kind; }
    // The object of the C functions; it stays owned by this value.
    LumekoServer *handle() const { return m_handle; }

    // method(args). The values that the server writes back into by-reference arguments replace the
    // arguments' values in `args`; a failed call leaves `args` as they were.
    wire::Reply call(const QString &method, QList<wire::Argument> &args);
    // The same for arguments the caller does not keep; the written-back values stay in reply.refs.
    wire::Reply call(const QString &method, QList<wire::Argument> &&args = {});

    // method(args) through its declaration: the by-reference slots are set as it says, and a call
    // whose arguments do not fit it is answered BadArguments without being sent.
    wire::Reply call(const wire::protocol::Method &method, QList<wire::Argument> &args);
    wire::Reply call(const wire::protocol::Method &method, QList<wire::Argument> &&args = {});

    // call(), throwing ServerError for a failed call; returns the result.
    wire::Value invoke(const QString &method, QList<wire::Argument> &args);
    wire::Value invoke(const QString &method, QList<wire::Argument> &&args = {});

    // Releases the object now (the value is empty afterwards; calls fail as "not signed in").
    void close();

private:
    ServerObject(ServerKind kind, LumekoServer *handle) : m_kind(kind), m_handle(handle) {}
    ServerKind m_kind;
    LumekoServer *m_handle;
};

// ---- Context -------------------------------------------------------------------------------------

LUMEKO_PUB_EXPORT QString schoolId();
LUMEKO_PUB_EXPORT QString schoolName();
LUMEKO_PUB_EXPORT QString schoolType();
LUMEKO_PUB_EXPORT QString userCode();
LUMEKO_PUB_EXPORT QString userName();
LUMEKO_PUB_EXPORT QString userId();
LUMEKO_PUB_EXPORT QString userRole();
LUMEKO_PUB_EXPORT int userType();
LUMEKO_PUB_EXPORT bool viewAllGrade();
LUMEKO_PUB_EXPORT bool viewAllClass();

LUMEKO_PUB_EXPORT wire::DataPacket userRight();
LUMEKO_PUB_EXPORT wire::DataPacket gradeList();
LUMEKO_PUB_EXPORT wire::DataPacket gradeNames();
LUMEKO_PUB_EXPORT wire::DataPacket classNames();
// The school's classes by grade with their student counts, for the host's navigation (fields:
// InYear, GradeCode, ClassCode, ClassName, sArea, TeacherCode, bMine, nStudents); cached with the
// grade data.
LUMEKO_PUB_EXPORT wire::DataPacket schoolOutline();
// The latest school-wide exams of the grades the user may see, newest first (not cached).
LUMEKO_PUB_EXPORT wire::DataPacket recentExams(int limit);
// Drops the cached grade data (RemoteCloseGradeData) and tells the notifier's listeners.
LUMEKO_PUB_EXPORT void closeGradeData();

// Tells the host when the module dropped the cached grade data: grades, classes or the course
// table changed, and what the host shows of them is to be read again.
class LUMEKO_PUB_EXPORT GradeDataNotifier : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void gradeDataClosed();
};
LUMEKO_PUB_EXPORT GradeDataNotifier *gradeDataNotifier();

LUMEKO_PUB_EXPORT QString typeList(const QString &listName);
LUMEKO_PUB_EXPORT QString gradeType(const QString &gradeCode);

// ---- The host and its appearance -------------------------------------------------------------

LUMEKO_PUB_EXPORT QString appPath();
LUMEKO_PUB_EXPORT QString appName();
LUMEKO_PUB_EXPORT QString localComputer();
LUMEKO_PUB_EXPORT int appFontSize();

LUMEKO_PUB_EXPORT QColor contentColor();
LUMEKO_PUB_EXPORT QColor frameColor();
LUMEKO_PUB_EXPORT QColor hotTrackColor();
LUMEKO_PUB_EXPORT QColor titleBackColor();
LUMEKO_PUB_EXPORT QColor titleFontColor();

LUMEKO_PUB_EXPORT QString lumekoStyle();
// As LoadIconList; returns the number of names found.
LUMEKO_PUB_EXPORT int loadIconList(const QString &style, const QString &names, QList<QIcon> *imageList);
// One icon or bitmap ("ClnBG", "ToolBG") of a style (empty: lumekoStyle()); null when missing.
LUMEKO_PUB_EXPORT QIcon styleIcon(const QString &name, const QString &style = {});
LUMEKO_PUB_EXPORT QPixmap styleBitmap(const QString &name, const QString &style = {});

// The message a page sends the host's main window (message 5152) to open the score sheet of an
// exam with the parameter text of the score page.
class ScorePageEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 5152);
    explicit ScorePageEvent(QString params) : QEvent(kType), params(std::move(params)) {}
    QString params;
};

// ---- Dialogs, wait indicator, log ------------------------------------------------------------

LUMEKO_PUB_EXPORT void msgHint(const QString &text, QWidget *owner = nullptr);
LUMEKO_PUB_EXPORT void msgWarn(const QString &text, QWidget *owner = nullptr);
LUMEKO_PUB_EXPORT void msgError(const QString &text, QWidget *owner = nullptr);
// 1 yes, 2 no.
LUMEKO_PUB_EXPORT int msgConfirm(const QString &text, QWidget *owner = nullptr);
// As LumekoMsgBox: 1 yes, 2 no, 3 cancel.
LUMEKO_PUB_EXPORT int msgBox(const QString &text, int kind, int buttons, QWidget *owner = nullptr);

LUMEKO_PUB_EXPORT void showWaiting(QWidget *owner, const QString &text = {});
LUMEKO_PUB_EXPORT void hideWait();

// Shows the wait indicator for its lifetime, so that every path out of a block hides it.
class LUMEKO_PUB_EXPORT WaitIndicator {
public:
    explicit WaitIndicator(QWidget *owner, const QString &text = {});
    ~WaitIndicator();
    WaitIndicator(const WaitIndicator &) = delete;
    WaitIndicator &operator=(const WaitIndicator &) = delete;
};

LUMEKO_PUB_EXPORT void showHelp(QWidget *owner, const QString &helpName);
LUMEKO_PUB_EXPORT void showDownGrade(QWidget *owner, const QString &text);
LUMEKO_PUB_EXPORT void showOpenDialog(QWidget *owner, const QString &kind);
LUMEKO_PUB_EXPORT QString params();

LUMEKO_PUB_EXPORT void writeLog(const QString &text);

// encStr and decStr: toolkit/cipher/cipher.h.

} // namespace lumeko::pub
