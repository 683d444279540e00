// The host services as the module calls them: the C functions, and their C++ forms for dialogs,
// the wait indicator, the log and the appearance.

#include "host/pub/state.h"

#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace lumeko::pub {

// ---- Message boxes -------------------------------------------------------------------------------

namespace {

int ask(MessageKind kind, const QString &text, MessageButtons buttons, QWidget *owner)
{
    const int answer = provider().messageBox(Message{kind, text, buttons, owner});
    switch (buttons) {
    case MessageButtons::Ok: return AnswerYes;
    case MessageButtons::YesNo: return answer == AnswerYes ? AnswerYes : AnswerNo;
    case MessageButtons::YesNoCancel: return answer == AnswerYes || answer == AnswerNo ? answer : AnswerCancel;
    }
    return AnswerCancel;
}

MessageKind kindOf(int kind)
{
    switch (kind) {
    case LUMEKO_MSG_HINT: return MessageKind::Hint;
    case LUMEKO_MSG_WARN: return MessageKind::Warn;
    case LUMEKO_MSG_ERROR: return MessageKind::Error;
    case LUMEKO_MSG_CONFIRM: return MessageKind::Confirm;
    default: return MessageKind::Question;
    }
}

} // namespace

void msgHint(const QString &text, QWidget *owner) { ask(MessageKind::Hint, text, MessageButtons::Ok, owner); }
void msgWarn(const QString &text, QWidget *owner) { ask(MessageKind::Warn, text, MessageButtons::Ok, owner); }
void msgError(const QString &text, QWidget *owner) { ask(MessageKind::Error, text, MessageButtons::Ok, owner); }
int msgConfirm(const QString &text, QWidget *owner) { return ask(MessageKind::Confirm, text, MessageButtons::YesNo, owner); }

int msgBox(const QString &text, int kind, int buttons, QWidget *owner)
{
    return ask(kindOf(kind), text, buttons == LUMEKO_BUTTONS_YES_NO_CANCEL ? MessageButtons::YesNoCancel : MessageButtons::YesNo, owner);
}

// ---- Wait indicator ------------------------------------------------------------------------------

namespace {
std::mutex g_waitMutex;
int g_waitDepth = 0;
} // namespace

namespace detail {
void resetWait()
{
    std::lock_guard lock(g_waitMutex);
    g_waitDepth = 0;
}
} // namespace detail

void showWaiting(QWidget *owner, const QString &text)
{
    {
        std::lock_guard lock(g_waitMutex);
        ++g_waitDepth;
    }
    provider().showWait(owner, text.trimmed().isEmpty() ? defaultWaitText() : text);
}

void hideWait()
{
    {
        std::lock_guard lock(g_waitMutex);
        if (g_waitDepth == 0) return;
        if (--g_waitDepth > 0) return;
    }
    provider().hideWait();
}

WaitIndicator::WaitIndicator(QWidget *owner, const QString &text) { showWaiting(owner, text); }
WaitIndicator::~WaitIndicator() { hideWait(); }

// ---- Host dialogs and log ------------------------------------------------------------------------

namespace {
std::mutex g_paramsMutex;
QString g_params;
} // namespace

namespace detail {
void clearParams()
{
    std::lock_guard lock(g_paramsMutex);
    g_params.clear();
}
} // namespace detail

void showHelp(QWidget *owner, const QString &helpName) { provider().showHelp(owner, helpName); }
void showDownGrade(QWidget *owner, const QString &text) { provider().showDownGrade(owner, text); }

void showOpenDialog(QWidget *owner, const QString &kind)
{
    QString answer = provider().openChooser(owner, kind);
    if (answer.isEmpty()) answer = QStringLiteral("CANCEL");
    std::lock_guard lock(g_paramsMutex);
    g_params = answer;
}

QString params()
{
    std::lock_guard lock(g_paramsMutex);
    return g_params;
}

void writeLog(const QString &text) { provider().writeLog(text); }

// ---- Host and appearance -------------------------------------------------------------------------

QString appPath() { return provider().appPath(); }
QString appName() { return provider().appName(); }
QString localComputer() { return provider().localComputer(); }
int appFontSize() { return provider().appFontSize(); }
QColor contentColor() { return QColor(provider().contentColor()); }
QColor frameColor() { return QColor(provider().frameColor()); }
QColor hotTrackColor() { return QColor(provider().hotTrackColor()); }
QColor titleBackColor() { return QColor(provider().titleBackColor()); }
QColor titleFontColor() { return QColor(provider().titleFontColor()); }
QString lumekoStyle() { return provider().style(); }

} // namespace lumeko::pub

// ---- The C functions -----------------------------------------------------------------------------

namespace {

using namespace lumeko::pub;

// Each text function has its own slot per thread: its result stays valid until the same function
// is called again on the same thread.
enum TextSlot {
    TSchoolId, TSchoolName, TSchoolType, TUserCode, TUserName, TUserId, TUserRole, TTypeList, TGradeType,
    TAppPath, TAppName, TLocalComputer, TStyle, TParams, TEncStr, TextSlotCount
};
enum PacketSlot { PUserRight, PGradeList, PGradeNames, PClassNames, PacketSlotCount };

thread_local QByteArray t_texts[TextSlotCount];
thread_local QByteArray t_packets[PacketSlotCount];

const char *keep(TextSlot slot, const QString &text)
{
    t_texts[slot] = text.toUtf8();
    return t_texts[slot].constData(); // never null, also for an empty text
}

LumekoBytes keep(PacketSlot slot, const lumeko::wire::DataPacket &packet)
{
    t_packets[slot] = lumeko::wire::encodeDataPacket(packet);
    return LumekoBytes{reinterpret_cast<const unsigned char *>(t_packets[slot].constData()), size_t(t_packets[slot].size())};
}

QString in(const char *text) { return text ? QString::fromUtf8(text) : QString(); }
QWidget *owner(void *w) { return static_cast<QWidget *>(w); }
uint32_t rgb(QRgb c) { return uint32_t(c) & 0x00FFFFFFu; }

// What precedes the first code unit: the 32-bit length right before it, padded so that the text
// starts 8-byte aligned.
struct WideHeader {
    int32_t reserved;
    int32_t length;
};
static_assert(sizeof(WideHeader) == 8);

} // namespace

extern "C" {

const char *GetSchoolId(void) { return keep(TSchoolId, schoolId()); }
const char *GetSchoolName(void) { return keep(TSchoolName, schoolName()); }
const char *GetSchoolType(void) { return keep(TSchoolType, schoolType()); }
const char *GetUserCode(void) { return keep(TUserCode, userCode()); }
const char *GetUserName(void) { return keep(TUserName, userName()); }
const char *GetUserID(void) { return keep(TUserId, userId()); }
const char *GetUserRole(void) { return keep(TUserRole, userRole()); }
int GetUserType(void) { return userType(); }
int IsViewAllGrade(void) { return viewAllGrade() ? 1 : 0; }
int IsViewAllClass(void) { return viewAllClass() ? 1 : 0; }

LumekoBytes GetUserRight(void) { return keep(PUserRight, userRight()); }
LumekoBytes GetGradeList(void) { return keep(PGradeList, gradeList()); }
LumekoBytes GetGradeNames(void) { return keep(PGradeNames, gradeNames()); }
LumekoBytes GetClassNames(void) { return keep(PClassNames, classNames()); }

const char *GetTypeList(const char *listName) { return keep(TTypeList, typeList(in(listName))); }
const char *GetGradeType(const char *gradeCode) { return keep(TGradeType, gradeType(in(gradeCode))); }

const char *GetAppPath(void) { return keep(TAppPath, appPath()); }
const char *GetAppName(void) { return keep(TAppName, appName()); }
const char *GetLocalComputer(void) { return keep(TLocalComputer, localComputer()); }
int GetAppFontSize(void) { return appFontSize(); }

uint32_t GetContentColor(void) { return rgb(provider().contentColor()); }
uint32_t GetFrameColor(void) { return rgb(provider().frameColor()); }
uint32_t GetHotTrackColor(void) { return rgb(provider().hotTrackColor()); }
uint32_t GetTitleBackColor(void) { return rgb(provider().titleBackColor()); }
uint32_t GetTitleFontColor(void) { return rgb(provider().titleFontColor()); }
const char *GetLumekoStyle(void) { return keep(TStyle, lumekoStyle()); }

int LoadIconList(const char *style, const char *names, void *imageList)
{
    if (!imageList) return -1;
    return loadIconList(in(style), in(names), static_cast<QList<QIcon> *>(imageList));
}

void LumekoMsgBoxHint(const char *text, void *w) { msgHint(in(text), owner(w)); }
void LumekoMsgBoxWarn(const char *text, void *w) { msgWarn(in(text), owner(w)); }
void LumekoMsgBoxError(const char *text, void *w) { msgError(in(text), owner(w)); }
int LumekoMsgBoxConfirm(const char *text, void *w) { return msgConfirm(in(text), owner(w)); }
int LumekoMsgBox(const char *text, int kind, int buttons, void *w) { return msgBox(in(text), kind, buttons, owner(w)); }

void ShowWaiting(void *w, const char *text) { showWaiting(owner(w), in(text)); }
void HideWait(void) { hideWait(); }
void ShowHelpDlgForm(void *w, const char *helpName) { showHelp(owner(w), in(helpName)); }
void ShowDownGradeDlgForm(void *w, const char *text) { showDownGrade(owner(w), in(text)); }
void ShowOpenDlgForm(void *w, const char *kind) { showOpenDialog(owner(w), in(kind)); }
const char *GetParams(void) { return keep(TParams, params()); }

void WriteLogs(const char *text) { writeLog(in(text)); }
const char *EncStr(const char *text, const char *key)
{
    return keep(TEncStr, lumeko::cipher::encStr(in(text), in(key)));
}

uint16_t *LumekoAllocWideString(const uint16_t *text, int32_t length)
{
    if (length < 0 || length >= (1 << 30) || (!text && length > 0)) return nullptr;
    auto *block = static_cast<unsigned char *>(std::malloc(sizeof(WideHeader) + (size_t(length) + 1) * sizeof(uint16_t)));
    if (!block) return nullptr;
    const WideHeader header{0, length};
    std::memcpy(block, &header, sizeof header);
    auto *units = reinterpret_cast<uint16_t *>(block + sizeof(WideHeader));
    if (length > 0) std::memcpy(units, text, size_t(length) * sizeof(uint16_t));
    units[length] = 0;
    return units;
}

uint16_t *LumekoAllocWideStringUtf8(const char *text)
{
    const QString s = in(text);
    return LumekoAllocWideString(reinterpret_cast<const uint16_t *>(s.utf16()), int32_t(s.size()));
}

int32_t LumekoWideStringLength(const uint16_t *text)
{
    if (!text) return 0;
    WideHeader header;
    std::memcpy(&header, reinterpret_cast<const unsigned char *>(text) - sizeof(WideHeader), sizeof header);
    return header.length;
}

void LumekoFreeWideString(uint16_t *text)
{
    if (text) std::free(reinterpret_cast<unsigned char *>(text) - sizeof(WideHeader));
}

} // extern "C"
