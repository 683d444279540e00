#include "host/app/mainwindow.h"

#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace lumeko::host {

namespace {

using PageExport = int32_t (*)(void *, void *, const char *);
using PageExport4 = int32_t (*)(void *, void *, const char *, const char *);
using DialogExport = void (*)(void *);
using DialogExportParams = void (*)(void *, const char *);

// Which export opens a function of the rights tree.
struct FunctionExport {
    const char *functionId;
    const char *exportName;
    enum Kind { Page, Dialog, DialogWithParams } kind;
};
const FunctionExport kExports[] = {
    {"4001", "ShowGradeForm", FunctionExport::Dialog},          {"4002", "ShowClassForm", FunctionExport::Dialog},
    {"4003", "ShowSubjectForm", FunctionExport::Dialog},        {"4004", "ShowDeptForm", FunctionExport::Dialog},
    {"4005", "ShowExamInfoForm", FunctionExport::Dialog},       {"4006", "ShowGradeClassFDlg", FunctionExport::DialogWithParams},
    {"4007", "ShowGradeSubjectFDlg", FunctionExport::DialogWithParams}, {"4008", "ShowCourseTablePage", FunctionExport::Page},
    {"4009", "ShowStudentPage", FunctionExport::Page},          {"4010", "ShowTeacherPage", FunctionExport::Page},
    {"4011", "ShowAchievePage", FunctionExport::Page},          {"4029", "ShowExamDefFDlg", FunctionExport::DialogWithParams},
    {"4030", "ShowExamDefFDlg", FunctionExport::DialogWithParams}, {"4031", "ShowExamMrgPage", FunctionExport::Page},
};

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

bool Module::open(const QString &functionId, QWidget *app, QWidget *parent, const QString &params, qint32 *handle) const
{
    *handle = 0;
    const QByteArray text = params.toUtf8();
    for (const FunctionExport &e : kExports) {
        if (functionId != QLatin1StringView(e.functionId)) continue;
        void *fn = reinterpret_cast<void *>(m_lib.resolve(e.exportName));
        if (!fn) return false;
        switch (e.kind) {
        case FunctionExport::Page: *handle = reinterpret_cast<PageExport>(fn)(app, parent, text.constData()); break;
        case FunctionExport::Dialog: reinterpret_cast<DialogExport>(fn)(app); break;
        case FunctionExport::DialogWithParams: reinterpret_cast<DialogExportParams>(fn)(app, text.constData()); break;
        }
        return true;
    }
    return false;
}

MainWindow::MainWindow(Module &module, QWidget *parent) : QMainWindow(parent), m_module(module)
{
    setWindowTitle(pub::appName());
    setWindowIcon(pub::styleIcon(QStringLiteral("AppIcon")));
    m_tabs = new QTabWidget(this);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int i) { closeTab(i); });
    m_user = new QLabel(this);
    statusBar()->addPermanentWidget(m_user);
    resize(1200, 760);
}

void MainWindow::buildModuleMenu()
{
    menuBar()->clear();
    for (QToolBar *t : findChildren<QToolBar *>()) delete t;
    m_moduleActions.clear();
    QMenu *menu = menuBar()->addMenu(m_module.title());
    QToolBar *bar = addToolBar(m_module.title());
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const QString &item : m_module.actions()) {
        const QStringList f = item.split(u';');
        const QString name = f.value(1), id = f.value(2);
        auto *a = new QAction(name, this);
        a->setData(id);
        a->setIcon(pub::styleIcon(f.value(3).isEmpty() ? QStringLiteral("View") : f.value(3)));
        connect(a, &QAction::triggered, this, [this, id, name] { openFunction(id, name); });
        menu->addAction(a);
        bar->addAction(a);
        m_moduleActions << a;
    }
    QMenu *file = menuBar()->addMenu(QStringLiteral("系统"));
    file->addAction(QStringLiteral("退出"), this, &QWidget::close);
    m_user->setText(QStringLiteral("%1  %2").arg(pub::schoolName(), pub::userName()));
    setWindowTitle(QStringLiteral("%1 - %2").arg(pub::appName(), pub::schoolName()));
}

int MainWindow::addPageTab(const QString &caption, QWidget *container, qint32 handle)
{
    m_handles.insert(container, handle);
    const int index = m_tabs->addTab(container, caption);
    m_tabs->setCurrentIndex(index);
    return index;
}

void MainWindow::openFunction(const QString &functionId, const QString &caption, const QString &params)
{
    auto *container = new QWidget;
    auto *layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    qint32 handle = 0;
    if (!m_module.open(functionId, this, container, params, &handle)) {
        delete container;
        pub::msgHint(QStringLiteral("“%1”功能尚未提供。").arg(caption), this);
        return;
    }
    if (handle == 0) {
        delete container; // a dialog, or a page that was not made
        return;
    }
    // The page made itself a child of the container; it fills it.
    for (QWidget *page : container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) layout->addWidget(page);
    addPageTab(caption, container, handle);
}

bool MainWindow::closeTab(int index)
{
    QWidget *container = m_tabs->widget(index);
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
        openFunction(QStringLiteral("4011"), QStringLiteral("成绩录入"), static_cast<ScorePageEvent *>(e)->params);
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
        if (container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).isEmpty()) {
            m_handles.remove(container);
            m_tabs->removeTab(i);
            container->deleteLater();
        }
    }
    for (int i = m_tabs->count() - 1; i >= 0; --i)
        if (!closeTab(i)) {
            if (pub::msgConfirm(QStringLiteral("“%1”有未保存的数据，仍要退出吗？").arg(m_tabs->tabText(i)), this) != 1) {
                e->ignore();
                return;
            }
        }
    e->accept();
}

} // namespace lumeko::host
