// The provider the host services ask, and the answers given while none is installed.

#include "host/pub/provider.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <atomic>
#include <cstdio>

namespace lumeko::pub {

namespace {

std::atomic<HostProvider *> g_installed{nullptr};

HostProvider &fallback()
{
    static HostProvider p;
    return p;
}

void toStderr(const QString &line)
{
    const QByteArray bytes = (QStringLiteral("lumeko: ") + line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

QString defaultWaitText() { return QStringLiteral("正在处理数据，请稍候......"); }

QString messageTitle(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Hint: return QStringLiteral("提示");
    case MessageKind::Warn: return QStringLiteral("警告");
    case MessageKind::Error: return QStringLiteral("错误");
    case MessageKind::Confirm: return QStringLiteral("确认");
    case MessageKind::Question: return QStringLiteral("询问");
    }
    return {};
}

QString builtinStyle() { return QStringLiteral(":/lumeko/style/"); }

HostProvider::~HostProvider() = default;

int HostProvider::messageBox(const Message &message)
{
    toStderr(QStringLiteral("[%1] %2").arg(messageTitle(message.kind), message.text));
    switch (message.buttons) {
    case MessageButtons::Ok: return AnswerYes;
    case MessageButtons::YesNo: return AnswerNo;
    case MessageButtons::YesNoCancel: return AnswerCancel;
    }
    return AnswerCancel;
}

void HostProvider::showWait(QWidget *, const QString &) {}
void HostProvider::hideWait() {}
void HostProvider::showHelp(QWidget *, const QString &) {}
void HostProvider::showDownGrade(QWidget *, const QString &) {}
QString HostProvider::openChooser(QWidget *, const QString &) { return QStringLiteral("CANCEL"); }
void HostProvider::writeLog(const QString &text) { toStderr(text); }

QString HostProvider::appPath() const
{
    // Without an application object Qt cannot tell the program's folder.
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() + u'/' : QString();
}

QString HostProvider::appName() const
{
    return QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
}

QString HostProvider::localComputer() const { return QSysInfo::machineHostName(); }
int HostProvider::appFontSize() const { return 10; }

// A calm blue-grey scheme: pale page, grey-blue lines, a warm mark for changed cells, a dark blue
// title band with white text.
QRgb HostProvider::contentColor() const { return qRgb(0xEE, 0xF3, 0xF8); }
QRgb HostProvider::frameColor() const { return qRgb(0xD3, 0xDF, 0xEC); } // light enough to shade every second row
QRgb HostProvider::hotTrackColor() const { return qRgb(0xFF, 0xE8, 0xA6); }
QRgb HostProvider::titleBackColor() const { return qRgb(0x2F, 0x5D, 0x8A); }
QRgb HostProvider::titleFontColor() const { return qRgb(0xFF, 0xFF, 0xFF); }
QString HostProvider::style() const { return builtinStyle(); }

namespace detail {
void resetWait();
}

void installProvider(HostProvider *p)
{
    g_installed.store(p);
    detail::resetWait();
}

HostProvider &provider()
{
    HostProvider *p = g_installed.load();
    return p ? *p : fallback();
}

} // namespace lumeko::pub
