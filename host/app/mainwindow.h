#pragma once
// The host's main window: the module's menu and tool bar built from its exports, and a tabbed
// page area in which each page is embedded through its export.

#include <QEvent>
#include <QHash>
#include <QLibrary>
#include <QMainWindow>

class QTabWidget;
class QLabel;

namespace lumeko::host {

// The message a page sends to open the score-entry page with a parameter text.
class ScorePageEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 5152);
    explicit ScorePageEvent(QString params) : QEvent(kType), params(std::move(params)) {}
    QString params;
};

// The module, loaded at run time and used only through its exports.
class Module {
public:
    bool load(const QString &path, QString *error);
    QString title() const;
    // "key;name;id;image;desk image" items.
    QStringList actions() const;
    bool closePage(qint32 handle) const;
    void clearAllRes() const;
    // Opens the page or dialog of a function id; returns the page handle (0 for a dialog or none).
    // False when the module has no export for it.
    bool open(const QString &functionId, QWidget *app, QWidget *parent, const QString &params, qint32 *handle) const;
    bool isLoaded() const { return m_lib.isLoaded(); }

private:
    QString wideSlot(const char *exportName) const;
    mutable QLibrary m_lib;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Module &module, QWidget *parent = nullptr);

    // Builds the menu and tool bar from the module's title and actions (after sign-in).
    void buildModuleMenu();
    // Embeds a page the module made (or any widget, for tests) in a new tab.
    int addPageTab(const QString &caption, QWidget *container, qint32 handle);
    bool closeTab(int index);
    QTabWidget *pages() const { return m_tabs; }
    QList<QAction *> moduleActions() const { return m_moduleActions; }
    void openFunction(const QString &functionId, const QString &caption, const QString &params = {});

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    Module &m_module;
    QTabWidget *m_tabs;
    QLabel *m_user;
    QList<QAction *> m_moduleActions;
    QHash<QWidget *, qint32> m_handles; // tab container → page handle
};

} // namespace lumeko::host
