#pragma once
// The host's main window: the school tree on the left (sections, grades, classes), the module's
// functions as a grouped menu and tool bar, and a tabbed page area that starts with "我的桌面".
// A function opens on what the tree has selected, or on the grade the host's chooser asks for.

#include "host/app/navigation.h"

#include "host/pub/pub.h"

#include <QEvent>
#include <QHash>
#include <QLibrary>
#include <QMainWindow>
#include <QSettings>

#include <memory>

class QTabWidget;
class QLabel;
class QSplitter;

namespace lumeko::host {

class DeskTab;
class SchoolTree;
enum class ExportKind;

using pub::ScorePageEvent;

// The module, loaded at run time and used only through its exports.
class Module {
public:
    bool load(const QString &path, QString *error);
    QString title() const;
    // "key;name;id;image;desk image" items.
    QStringList actions() const;
    bool closePage(qint32 handle) const;
    void clearAllRes() const;
    bool has(const char *exportName) const;
    // Calls a page or dialog export; returns the page handle (0 for a dialog, or a page that was
    // not made). False when the module lacks the export.
    bool open(const char *exportName, ExportKind kind, QWidget *app, QWidget *parent, const QString &params, qint32 *handle) const;
    bool isLoaded() const { return m_lib.isLoaded(); }

private:
    QString wideSlot(const char *exportName) const;
    mutable QLibrary m_lib;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `settingsFile`: where the window keeps its size and layout (empty: the user's settings).
    explicit MainWindow(Module &module, QWidget *parent = nullptr, const QString &settingsFile = {});

    // Builds the menu and tool bar from the module's title and actions, and fills the tree and the
    // desk (after sign-in).
    void buildModuleMenu();
    // Shows the window as it was last closed, or maximized the first time.
    void showAsLastTime();
    // Embeds a page the module made (or any widget, for tests) in a new tab.
    int addPageTab(const QString &caption, QWidget *container, qint32 handle);
    bool closeTab(int index);
    QTabWidget *pages() const { return m_tabs; }
    SchoolTree *tree() const { return m_tree; }
    DeskTab *desk() const { return m_desk; }
    QList<QAction *> moduleActions() const { return m_moduleActions; }
    // Opens a function of the rights tree on the tree's selection (or on a chosen grade).
    void openFunction(const QString &functionId, const QString &caption);
    // Opens a function on a given place.
    void openFunctionOn(const QString &functionId, const QString &caption, const Place &place);
    void openScoreSheet(const QString &params, const QString &caption);

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void openExport(const char *exportName, ExportKind kind, const QString &caption, const QString &params);
    Place chooseGrade();
    void reloadSchool();
    std::unique_ptr<QSettings> settings() const;

    Module &m_module;
    QString m_settingsFile;
    QSplitter *m_splitter;
    SchoolTree *m_tree;
    QTabWidget *m_tabs;
    DeskTab *m_desk;
    QLabel *m_user;
    QList<QAction *> m_moduleActions;
    QHash<QWidget *, qint32> m_handles; // tab container → page handle
};

} // namespace lumeko::host
