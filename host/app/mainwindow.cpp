#include "host/app/mainwindow.h"

#include "host/app/desktab.h"
#include "host/app/functions.h"
#include "host/app/schooltree.h"
#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace lumeko::host {

namespace {

using PageExport = int32_t (*)(void *, void *, const char *);
using DialogExport = void (*)(void *);
using DialogExportParams = void (*)(void *, const char *);

} // namespace

bool Module::load(const QString &path, QString *error)
{
    m_lib.setFileName(path);
    if (!m_lib.load()) {
        if (error) *error = m_lib.errorString();
        return false;
    }
    return true;
}

QString Module::wideSlot(const char *exportName) const
{
    auto fn = reinterpret_cast<void (*)(uint16_t **)>(m_lib.resolve(exportName));
    if (!fn) return {};
    uint16_t *slot = nullptr;
    fn(&slot);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(slot), LumekoWideStringLength(slot));
    LumekoFreeWideString(slot);
    return text;
}

QString Module::title() const { return wideSlot("GetDLLTitle"); }

QStringList Module::actions() const
{
    const QString list = wideSlot("GetDLLActions");
    return list.isEmpty() ? QStringList() : list.split(u',');
}

bool Module::closePage(qint32 handle) const
{
    auto fn = reinterpret_cast<uint8_t (*)(int32_t)>(m_lib.resolve("ClosePage"));
    return fn && fn(handle) != 0;
}

void Module::clearAllRes() const
{
    if (auto fn = reinterpret_cast<void (*)()>(m_lib.resolve("ClearAllRes"))) fn();
}

bool Module::has(const char *exportName) const
{
    return m_lib.resolve(exportName) != nullptr;
}

bool Module::open(const char *exportName, ExportKind kind, QWidget *app, QWidget *parent, const QString &params, qint32 *handle) const
{
    *handle = 0;
    void *fn = reinterpret_cast<void *>(m_lib.resolve(exportName));
    if (!fn) return false;
    const QByteArray text = params.toUtf8();
    switch (kind) {
    case ExportKind::Page:
        *handle = reinterpret_cast<PageExport>(fn)(app, parent, text.constData());
        break;
    case ExportKind::Dialog:
        reinterpret_cast<DialogExport>(fn)(app);
        break;
    case ExportKind::DialogWithParams:
        reinterpret_cast<DialogExportParams>(fn)(app, text.constData());
        break;
    }
    return true;
}

MainWindow::MainWindow(Module &module, QWidget *parent, const QString &settingsFile) : QMainWindow(parent), m_module(module), m_settingsFile(settingsFile)
{
    setWindowTitle(pub::appName());
    setWindowIcon(pub::styleIcon(QStringLiteral("AppIcon")));
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_tree = new SchoolTree(m_splitter);
    m_tabs = new QTabWidget(m_splitter);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({230, 970});
    setCentralWidget(m_splitter);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int i) { closeTab(i); });

    m_desk = new DeskTab(m_tabs);
    m_tabs->addTab(m_desk, pub::styleIcon(QStringLiteral("Home")), QStringLiteral("我的桌面"));
    m_tabs->tabBar()->setTabButton(0, QTabBar::RightSide, nullptr); // the desk stays
    m_tabs->tabBar()->setTabButton(0, QTabBar::LeftSide, nullptr);

    const auto openRegister = [this](const Place &p) { openFunctionOn(QStringLiteral("4009"), QStringLiteral("学籍档案"), p); };
    connect(m_tree, &SchoolTree::openRequested, this, openRegister);
    connect(m_desk, &DeskTab::openRequested, this, openRegister);
    connect(m_desk, &DeskTab::scoreSheetRequested, this, &MainWindow::openScoreSheet);
    // Grades, classes or the course table changed in the module: show them anew once its dialog
    // has returned.
    connect(pub::gradeDataNotifier(), &pub::GradeDataNotifier::gradeDataClosed, this, &MainWindow::reloadSchool, Qt::QueuedConnection);

    m_user = new QLabel(this);
    statusBar()->addPermanentWidget(m_user);
    resize(1200, 760);
}

std::unique_ptr<QSettings> MainWindow::settings() const
{
    if (m_settingsFile.isEmpty()) return std::make_unique<QSettings>(QStringLiteral("Lumeko"), QStringLiteral("lumeko"));
    return std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
}

void MainWindow::showAsLastTime()
{
    const auto s = settings();
    m_splitter->restoreState(s->value(QStringLiteral("MainWindow/splitter")).toByteArray());
    if (restoreGeometry(s->value(QStringLiteral("MainWindow/geometry")).toByteArray()))
        show();
    else
        showMaximized();
}

void MainWindow::buildModuleMenu()
{
    menuBar()->clear();
    for (QToolBar *t : findChildren<QToolBar *>()) delete t;
    m_moduleActions.clear();
    QMenu *system = menuBar()->addMenu(QStringLiteral("系统"));
    QMenu *menu = menuBar()->addMenu(m_module.title());
    QToolBar *bar = addToolBar(m_module.title());
    bar->setObjectName(QStringLiteral("ModuleBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(32, 32));

    // The user's functions in the order the module lists them, gathered into the host's groups.
    QHash<QString, QList<QAction *>> byGroup;
    for (const QString &item : m_module.actions()) {
        const QStringList f = item.split(u';');
        const QString name = f.value(1), id = f.value(2);
        const HostFunction *fn = hostFunction(id);
        auto *a = new QAction(pub::styleIcon(f.value(3).isEmpty() ? QStringLiteral("View") : f.value(3)), name, this);
        a->setData(id);
        if (fn && m_module.has(fn->exportName)) {
            const bool onPlace = fn->needs != Needs::Nothing && fn->needs != Needs::AllDepartments;
            a->setToolTip(onPlace ? QStringLiteral("%1：打开在左侧选中的年级或班级上").arg(name) : name);
            connect(a, &QAction::triggered, this, [this, id, name] { openFunction(id, name); });
        } else {
            a->setEnabled(false);
            a->setToolTip(QStringLiteral("“%1”尚未提供").arg(name));
        }
        byGroup[fn ? QString::fromUtf8(fn->group) : QStringLiteral("其他")] << a;
        m_moduleActions << a;
    }
    QStringList groups = functionGroups();
    groups << QStringLiteral("其他");
    for (const QString &group : groups) {
        const QList<QAction *> actions = byGroup.value(group);
        if (actions.isEmpty()) continue;
        if (!bar->actions().isEmpty()) bar->addSeparator();
        QMenu *sub = menu->addMenu(group);
        for (QAction *a : actions) {
            sub->addAction(a);
            bar->addAction(a);
        }
    }
    system->addAction(pub::styleIcon(QStringLiteral("Fresh")), QStringLiteral("刷新学校结构"), this, &MainWindow::reloadSchool);
    system->addSeparator();
    system->addAction(pub::styleIcon(QStringLiteral("Quit")), QStringLiteral("退出"), this, &QWidget::close);
    m_user->setText(QStringLiteral("%1  %2").arg(pub::schoolName(), pub::userName()));
    setWindowTitle(QStringLiteral("%1 - %2").arg(pub::appName(), pub::schoolName()));
    reloadSchool();
}

void MainWindow::reloadSchool()
{
    m_tree->reload();
    m_desk->reload(m_tree->sections(), m_module.has(kScoreSheetExport));
}

int MainWindow::addPageTab(const QString &caption, QWidget *container, qint32 handle)
{
    m_handles.insert(container, handle);
    const int index = m_tabs->addTab(container, caption);
    m_tabs->setCurrentIndex(index);
    return index;
}

Place MainWindow::chooseGrade()
{
    pub::showOpenDialog(this, QStringLiteral("0"));
    const Place chosen = placeOfChoice(pub::params(), m_tree->sections());
    if (chosen.kind != Place::Nothing) m_tree->select(chosen);
    return chosen;
}

void MainWindow::openFunction(const QString &functionId, const QString &caption)
{
    openFunctionOn(functionId, caption, m_tree->currentPlace());
}

void MainWindow::openFunctionOn(const QString &functionId, const QString &caption, const Place &place)
{
    const HostFunction *f = hostFunction(functionId);
    if (!f || !m_module.has(f->exportName)) {
        pub::msgHint(QStringLiteral("“%1”功能尚未提供。").arg(caption), this);
        return;
    }
    Place on = place;
    std::optional<QString> params = parametersFor(*f, on);
    if (!params) {
        on = chooseGrade();
        params = parametersFor(*f, on);
        if (!params) return; // cancelled
    }
    const bool named = f->needs != Needs::Nothing && f->needs != Needs::AllDepartments;
    const Place shown = f->needs == Needs::Place ? on : on.gradeOnly();
    openExport(f->exportName, f->kind, named ? caption + QStringLiteral(" - ") + shown.text() : caption, *params);
}

void MainWindow::openScoreSheet(const QString &params, const QString &caption)
{
    if (!m_module.has(kScoreSheetExport)) {
        pub::msgHint(QStringLiteral("“成绩录入”功能尚未提供。"), this);
        return;
    }
    openExport(kScoreSheetExport, ExportKind::Page, caption, params);
}

void MainWindow::openExport(const char *exportName, ExportKind kind, const QString &caption, const QString &params)
{
    auto *container = new QWidget;
    auto *layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    qint32 handle = 0;
    m_module.open(exportName, kind, this, container, params, &handle);
    if (handle == 0) {
        delete container; // a dialog, or a page that refused to open (it said why)
        return;
    }
    // The page made itself a child of the container; it fills it.
    for (QWidget *page : container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) layout->addWidget(page);
    addPageTab(caption, container, handle);
}

bool MainWindow::closeTab(int index)
{
    QWidget *container = m_tabs->widget(index);
    if (container == m_desk) return false;
    const qint32 handle = m_handles.value(container);
    if (handle > 0 && !m_module.closePage(handle)) return false; // the page keeps unsaved edits
    m_handles.remove(container);
    m_tabs->removeTab(index);
    container->deleteLater();
    return true;
}

bool MainWindow::event(QEvent *e)
{
    if (e->type() == ScorePageEvent::kType) {
        const QString params = static_cast<ScorePageEvent *>(e)->params;
        // The sheet's title is the last item of the page's parameters.
        const QString title = params.section(u',', -1);
        openScoreSheet(params, title.isEmpty() ? QStringLiteral("成绩录入") : QStringLiteral("成绩录入 - ") + title);
        return true;
    }
    return QMainWindow::event(e);
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    m_module.clearAllRes();
    // Tabs whose pages are gone close now; a page that refused keeps its tab.
    for (int i = m_tabs->count() - 1; i >= 0; --i) {
        QWidget *container = m_tabs->widget(i);
        if (container != m_desk && container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).isEmpty()) {
            m_handles.remove(container);
            m_tabs->removeTab(i);
            container->deleteLater();
        }
    }
    for (int i = m_tabs->count() - 1; i >= 0; --i)
        if (m_tabs->widget(i) != m_desk && !closeTab(i)) {
            if (pub::msgConfirm(QStringLiteral("“%1”有未保存的数据，仍要退出吗？").arg(m_tabs->tabText(i)), this) != 1) {
                e->ignore();
                return;
            }
        }
    const auto s = settings();
    s->setValue(QStringLiteral("MainWindow/geometry"), saveGeometry());
    s->setValue(QStringLiteral("MainWindow/splitter"), m_splitter->saveState());
    e->accept();
}

} // namespace lumeko::host
