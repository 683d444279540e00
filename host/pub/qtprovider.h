#pragma once
// The host's provider with real Qt dialogs: message boxes with Chinese buttons, a wait notice laid
// over the owner window that does not block, a help window, the grade chooser, and a log file in
// the user's data folder.

#include "host/pub/provider.h"
#include "host/pub/pub_export.h"
#include "host/pub/waitoverlay.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTextBrowser>

namespace lumeko::pub {

struct QtProviderOptions {
    QString appPath;    // the host's folder; empty: the program's folder
    QString appName;    // the main window's title; empty: the application's name
    QString helpFolder; // the help pages "<name>.html"; empty: appPath + "data/help/"
    QString logFile;    // empty: the application data folder + "/lumeko.log"
    int fontSize = 10;
};

class LUMEKO_PUB_EXPORT QtProvider : public QObject, public HostProvider {
    Q_OBJECT
public:
    // Needs a QApplication.
    explicit QtProvider(QtProviderOptions options = {});
    ~QtProvider() override;

    int messageBox(const Message &message) override;
    void showWait(QWidget *owner, const QString &text) override;
    void hideWait() override;
    void showHelp(QWidget *owner, const QString &helpName) override;
    void showDownGrade(QWidget *owner, const QString &text) override;
    QString openChooser(QWidget *owner, const QString &kind) override;
    void writeLog(const QString &text) override;

    QString appPath() const override { return m_options.appPath; }
    QString appName() const override { return m_options.appName; }
    int appFontSize() const override { return m_options.fontSize; }

    const QtProviderOptions &options() const { return m_options; }
    // The wait notice while it shows; null otherwise.
    WaitOverlay *waitOverlay() const { return m_wait; }
    // The help window once opened (it is kept and reused); null before.
    QDialog *helpWindow() const { return m_help; }
    QTextBrowser *helpBrowser() const { return m_helpBrowser; }

    // The text of a help page, or "暂无帮助" when there is none.
    QString helpText(const QString &helpName) const;

private:
    QtProviderOptions m_options;
    QPointer<WaitOverlay> m_wait;
    QPointer<QDialog> m_help;
    QPointer<QTextBrowser> m_helpBrowser;
};

} // namespace lumeko::pub
