#include "toolkit/report/ui/reportdesigner.h"

#include "toolkit/report/painting.h"
#include "toolkit/report/templatexml.h"
#include "toolkit/report/ui/designscene.h"
#include "toolkit/report/ui/icons.h"
#include "toolkit/report/ui/propertypanel.h"
#include "toolkit/report/ui/reportdialogs.h"
#include "toolkit/report/ui/reportpreview.h"
#include "toolkit/report/ui/sampledata.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace lumeko::report {

namespace {

constexpr int kUndoDepth = 100;
constexpr double kMinObjectSize = 2;

// Bands stand in the designer in the order they print: a new band goes after the last one of the
// same or an earlier rank.
int bandRank(BandKind kind)
{
    switch (kind) {
    case BandKind::ReportTitle: return 0;
    case BandKind::PageHeader: return 1;
    case BandKind::GroupHeader: return 2;
    case BandKind::MasterData: return 3;
    case BandKind::DetailData: return 4;
    case BandKind::GroupFooter: return 5;
    case BandKind::ReportSummary: return 6;
    case BandKind::PageFooter: return 7;
    }
    return 3;
}

double defaultBandHeight(BandKind kind)
{
    switch (kind) {
    case BandKind::ReportTitle: return 40;
    case BandKind::MasterData:
    case BandKind::DetailData:
    case BandKind::GroupHeader:
    case BandKind::GroupFooter: return 26;
    default: return 30;
    }
}

// What keeps a template from being saved and read back, or printed.
QString templateProblem(const ReportTemplate &t)
{
    for (const Band &b : t.bands) {
        if ((b.kind == BandKind::MasterData || b.kind == BandKind::DetailData) && b.table.trimmed().isEmpty())
            return QStringLiteral("“%1”栏目没有数据表名称，请在属性中填写。").arg(bandKindText(b.kind));
        if (b.kind == BandKind::GroupHeader && b.groupField.trimmed().isEmpty())
            return QStringLiteral("“分组头”栏目没有分组字段，请在属性中填写。");
    }
    if (t.page.printableUnits().width() <= 0 || t.page.printableUnits().height() <= 0) return QStringLiteral("页边距设置错误！");
    return {};
}

const char *kindStem(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Memo: return "Memo";
    case ObjectKind::Picture: return "Picture";
    case ObjectKind::Line: return "Line";
    case ObjectKind::Rectangle: return "Rect";
    }
    return "Object";
}

} // namespace

ReportDesigner::ReportDesigner(QWidget *parent) : QMainWindow(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ReportDesigner"));
    installFontSubstitutions();

    m_scene = new DesignScene(this);
    m_scene->setModel(&m_template);
    m_view = new DesignView(m_scene, this);
    m_view->setObjectName(QStringLiteral("designView"));
    setCentralWidget(m_view);

    m_panel = new PropertyPanel(this);
    auto *dock = new QDockWidget(QStringLiteral("属性"), this);
    dock->setObjectName(QStringLiteral("propertyDock"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(m_panel);
    addDockWidget(Qt::RightDockWidgetArea, dock);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("designStatus"));
    statusBar()->addWidget(m_status, 1);

    buildActions();

    // The scene reports drags from within its items' mouse handlers; the template and with it the
    // items change only once those handlers have returned.
    connect(m_scene, &DesignScene::objectsMoved, this, [this] { QTimer::singleShot(0, this, &ReportDesigner::commitMoves); });
    connect(m_scene, &DesignScene::objectResized, this, [this](ObjectRef ref, const QRectF &rect) {
        QTimer::singleShot(0, this, [this, ref, rect] { commitResize(ref, rect); });
    });
    connect(m_scene, &DesignScene::bandResized, this, [this](int band, double height) {
        QTimer::singleShot(0, this, [this, band, height] { setBandHeight(band, height); });
    });
    connect(m_scene, &QGraphicsScene::selectionChanged, this, &ReportDesigner::onSelectionChanged);
    connect(m_scene, &DesignScene::objectDoubleClicked, this, [this] { m_panel->focusText(); });
    connect(m_view, &DesignView::moveRequested, this, &ReportDesigner::moveSelection);
    connect(m_view, &DesignView::resizeRequested, this, &ReportDesigner::resizeSelection);
    connect(m_view, &DesignView::deleteRequested, this, &ReportDesigner::deleteSelection);
    connect(m_view, &DesignView::zoomRequested, this, &ReportDesigner::setZoom);

    QSize size(1180, 860);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.92);
    resize(size);
    newTemplate();
}

ReportDesigner::~ReportDesigner()
{
    // The scene shows the template this window holds: it goes first, quietly.
    disconnect(m_scene, nullptr, this, nullptr);
    delete m_view;
    delete m_scene;
}

int ReportDesigner::exec(const QString &path, QWidget *parent, const QString &folder)
{
    QPointer<ReportDesigner> designer = new ReportDesigner(parent);
    designer->setAttribute(Qt::WA_DeleteOnClose, false);
    designer->setDefaultFolder(!folder.isEmpty() || path.isEmpty() ? folder : QFileInfo(path).absolutePath());
    if (!path.isEmpty()) {
        QString error;
        if (!designer->openFile(path, &error)) {
            dialogs::error(parent, QStringLiteral("打开报表失败：%1").arg(error));
            delete designer;
            return 0;
        }
    }
    designer->setWindowModality(Qt::ApplicationModal);
    designer->show();
    QEventLoop loop;
    connect(designer, &ReportDesigner::closed, &loop, &QEventLoop::quit);
    connect(designer, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
    if (!designer) return 0;
    const int result = designer->m_savedOnce ? 1 : 0;
    delete designer;
    return result;
}

void ReportDesigner::buildActions()
{
    auto make = [this](const char *name, const QString &text, const QKeySequence &key = {}) {
        auto *a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };
    QAction *acNew = make("acNew", QStringLiteral("新建"), QKeySequence::New);
    acNew->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    connect(acNew, &QAction::triggered, this, [this] {
        if (maybeSave()) newTemplate();
    });
    QAction *acOpen = make("acOpen", QStringLiteral("打开…"), QKeySequence::Open);
    acOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    connect(acOpen, &QAction::triggered, this, [this] {
        if (!maybeSave()) return;
        const QString start = m_path.isEmpty() ? m_folder : QFileInfo(m_path).absolutePath();
        const QString file = dialogs::openFileName(this, QStringLiteral("打开报表"), start, QStringLiteral("报表文件 (*.frf)"));
        QString error;
        if (!file.isEmpty() && !openFile(file, &error)) dialogs::error(this, QStringLiteral("打开报表失败：%1").arg(error));
    });
    QAction *acSave = make("acSave", QStringLiteral("保存"), QKeySequence::Save);
    acSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(acSave, &QAction::triggered, this, &ReportDesigner::save);
    QAction *acSaveAs = make("acSaveAs", QStringLiteral("另存为…"));
    connect(acSaveAs, &QAction::triggered, this, &ReportDesigner::saveAs);
    QAction *acPageSetup = make("acPageSetup", QStringLiteral("页面设置…"));
    acPageSetup->setIcon(glyphIcon(Glyph::PageSetup));
    connect(acPageSetup, &QAction::triggered, this, &ReportDesigner::pageSetup);
    QAction *acPreview = make("acPreview", QStringLiteral("预览"), QKeySequence(Qt::CTRL | Qt::Key_P));
    acPreview->setIcon(glyphIcon(Glyph::Preview));
    acPreview->setToolTip(QStringLiteral("用示例数据预览 (Ctrl+P)"));
    connect(acPreview, &QAction::triggered, this, &ReportDesigner::preview);
    QAction *acClose = make("acClose", QStringLiteral("关闭"));
    connect(acClose, &QAction::triggered, this, &QWidget::close);

    QAction *acUndo = make("acUndo", QStringLiteral("撤销"), QKeySequence::Undo);
    acUndo->setIcon(glyphIcon(Glyph::Undo));
    connect(acUndo, &QAction::triggered, this, &ReportDesigner::undo);
    QAction *acDelete = make("acDelete", QStringLiteral("删除"));
    acDelete->setIcon(glyphIcon(Glyph::Delete));
    acDelete->setToolTip(QStringLiteral("删除所选对象或栏目 (Delete)"));
    connect(acDelete, &QAction::triggered, this, &ReportDesigner::deleteSelection);

    QAction *acAddMemo = make("acAddMemo", QStringLiteral("文本"));
    acAddMemo->setIcon(glyphIcon(Glyph::Memo));
    acAddMemo->setToolTip(QStringLiteral("在所选栏目中加入文本"));
    connect(acAddMemo, &QAction::triggered, this, [this] {
        if (addObject(ObjectKind::Memo) >= 0) m_panel->focusText();
    });
    QAction *acAddPicture = make("acAddPicture", QStringLiteral("图片…"));
    acAddPicture->setIcon(glyphIcon(Glyph::Picture));
    connect(acAddPicture, &QAction::triggered, this, [this] {
        const QString file = dialogs::openFileName(this, QStringLiteral("选择图片"), m_folder,
                                                   QStringLiteral("图片 (*.png *.jpg *.jpeg *.bmp *.gif)"));
        QString error;
        if (!file.isEmpty() && !addPicture(file, &error)) dialogs::error(this, error);
    });
    QAction *acAddLine = make("acAddLine", QStringLiteral("直线"));
    acAddLine->setIcon(glyphIcon(Glyph::Line));
    connect(acAddLine, &QAction::triggered, this, [this] { addObject(ObjectKind::Line); });
    QAction *acAddRectangle = make("acAddRectangle", QStringLiteral("矩形"));
    acAddRectangle->setIcon(glyphIcon(Glyph::Rectangle));
    connect(acAddRectangle, &QAction::triggered, this, [this] { addObject(ObjectKind::Rectangle); });

    auto *bandMenu = new QMenu(QStringLiteral("添加栏目"), this);
    bandMenu->setObjectName(QStringLiteral("bandMenu"));
    for (BandKind k : {BandKind::ReportTitle, BandKind::PageHeader, BandKind::MasterData, BandKind::DetailData, BandKind::GroupHeader,
                       BandKind::GroupFooter, BandKind::ReportSummary, BandKind::PageFooter}) {
        auto *a = bandMenu->addAction(bandKindText(k));
        a->setObjectName(QStringLiteral("acAddBand") + bandKindName(k));
        connect(a, &QAction::triggered, this, [this, k] { askAddBand(k); });
    }

    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->addActions({acNew, acOpen, acSave, acSaveAs});
    file->addSeparator();
    file->addActions({acPageSetup, acPreview});
    file->addSeparator();
    file->addAction(acClose);
    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    editMenu->addActions({acUndo, acDelete});
    QMenu *insert = menuBar()->addMenu(QStringLiteral("插入(&I)"));
    insert->addMenu(bandMenu);
    insert->addSeparator();
    insert->addActions({acAddMemo, acAddPicture, acAddLine, acAddRectangle});

    QToolBar *bar = addToolBar(QStringLiteral("工具"));
    bar->setObjectName(QStringLiteral("designToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addActions({acNew, acOpen, acSave});
    bar->addSeparator();
    bar->addActions({acPageSetup, acPreview});
    bar->addSeparator();
    auto *bandButton = new QToolButton(bar);
    bandButton->setObjectName(QStringLiteral("bandButton"));
    bandButton->setText(QStringLiteral("栏目"));
    bandButton->setToolTip(QStringLiteral("添加栏目"));
    bandButton->setMenu(bandMenu);
    bandButton->setPopupMode(QToolButton::InstantPopup);
    bandButton->setIcon(glyphIcon(Glyph::Band));
    bandButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addWidget(bandButton);
    bar->addActions({acAddMemo, acAddPicture, acAddLine, acAddRectangle});
    bar->addSeparator();
    bar->addActions({acDelete, acUndo});
    bar->addSeparator();
    bar->addWidget(new QLabel(QStringLiteral(" 缩放 "), bar));
    m_zoomBox = new QSpinBox(bar);
    m_zoomBox->setObjectName(QStringLiteral("designZoom"));
    m_zoomBox->setRange(25, 400);
    m_zoomBox->setSingleStep(25);
    m_zoomBox->setSuffix(QStringLiteral("%"));
    m_zoomBox->setValue(100);
    connect(m_zoomBox, &QSpinBox::valueChanged, this, [this](int v) { setZoom(v / 100.0); });
    bar->addWidget(m_zoomBox);
}

QAction *ReportDesigner::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

// ---- the template as a whole

void ReportDesigner::newTemplate()
{
    ReportTemplate t;
    Band header;
    header.kind = BandKind::PageHeader;
    header.name = QStringLiteral("PageHeader1");
    header.height = 40;
    Band master;
    master.kind = BandKind::MasterData;
    master.name = QStringLiteral("MasterData1");
    master.height = 26;
    master.table = QStringLiteral("cdsData");
    Band footer;
    footer.kind = BandKind::PageFooter;
    footer.name = QStringLiteral("PageFooter1");
    footer.height = 30;
    t.bands = {header, master, footer};
    loadTemplate(std::move(t), {});
}

bool ReportDesigner::openFile(const QString &path, QString *error)
{
    try {
        loadTemplate(report::loadTemplate(path), QFileInfo(path).absoluteFilePath());
        return true;
    } catch (const TemplateError &e) {
        if (error) *error = e.message();
        return false;
    }
}

void ReportDesigner::loadTemplate(ReportTemplate report, const QString &path)
{
    m_template = std::move(report);
    m_path = path;
    if (!path.isEmpty()) m_folder = QFileInfo(path).absolutePath();
    m_undo.clear();
    m_lastEdit.clear();
    rebuildScene({}, -1);
    m_view->centerOn(m_scene->pageRect().center().x(), 0);
    setModified(false);
    updateTitle();
    Q_EMIT templateChanged();
}

bool ReportDesigner::saveTo(const QString &path, QString *error)
{
    if (const QString problem = templateProblem(m_template); !problem.isEmpty()) {
        if (error) *error = problem;
        return false;
    }
    try {
        saveTemplate(m_template, path);
    } catch (const TemplateError &e) {
        if (error) *error = e.message();
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_folder = QFileInfo(path).absolutePath();
    m_savedOnce = true;
    setModified(false);
    updateTitle();
    return true;
}

bool ReportDesigner::save()
{
    if (m_path.isEmpty()) return saveAs();
    QString error;
    if (saveTo(m_path, &error)) return true;
    dialogs::error(this, QStringLiteral("保存报表失败：%1").arg(error));
    return false;
}

bool ReportDesigner::saveAs()
{
    if (const QString problem = templateProblem(m_template); !problem.isEmpty()) {
        dialogs::error(this, problem);
        return false;
    }
    QString start = m_path;
    if (start.isEmpty()) {
        const QString name = m_template.title.isEmpty() ? QStringLiteral("新报表") : m_template.title;
        start = m_folder.isEmpty() ? name + QStringLiteral(".frf") : m_folder + QLatin1Char('/') + name + QStringLiteral(".frf");
    }
    QString path = dialogs::saveFileName(this, QStringLiteral("另存为"), start, QStringLiteral("报表文件 (*.frf)"));
    if (path.isEmpty()) return false;
    if (!path.endsWith(QStringLiteral(".frf"), Qt::CaseInsensitive)) path += QStringLiteral(".frf");
    QString error;
    if (saveTo(path, &error)) return true;
    dialogs::error(this, QStringLiteral("保存报表失败：%1").arg(error));
    return false;
}

bool ReportDesigner::maybeSave()
{
    if (!m_modified) return true;
    switch (dialogs::ask(this, QStringLiteral("报表已修改，是否保存？"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes: return save();
    case QMessageBox::No: return true;
    default: return false;
    }
}

void ReportDesigner::closeEvent(QCloseEvent *event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    event->accept();
    Q_EMIT closed();
}

void ReportDesigner::setModified(bool modified)
{
    const bool changed = modified != m_modified;
    m_modified = modified;
    updateTitle();
    updateActions();
    if (changed) Q_EMIT modifiedChanged(modified);
}

void ReportDesigner::updateTitle()
{
    const QString name = m_path.isEmpty() ? QStringLiteral("新报表") : QFileInfo(m_path).fileName();
    setWindowTitle(QStringLiteral("报表设计 - %1%2").arg(name, m_modified ? QStringLiteral(" *") : QString()));
}

void ReportDesigner::updateActions()
{
    const bool objects = !m_scene->selectedObjects().isEmpty();
    action(QStringLiteral("acUndo"))->setEnabled(canUndo());
    action(QStringLiteral("acDelete"))->setEnabled(objects || m_scene->selectedBand() >= 0);
    const bool bands = !m_template.bands.isEmpty();
    for (const char *name : {"acAddMemo", "acAddPicture", "acAddLine", "acAddRectangle"}) action(QString::fromLatin1(name))->setEnabled(bands);
}

void ReportDesigner::rememberForUndo(const QString &edit)
{
    if (!edit.isEmpty() && edit == m_lastEdit) return;
    m_undo.append(m_template);
    if (m_undo.size() > kUndoDepth) m_undo.removeFirst();
    m_lastEdit = edit;
}

void ReportDesigner::undo()
{
    if (m_undo.isEmpty()) return;
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    const int band = m_scene->selectedBand();
    m_template = m_undo.takeLast();
    m_lastEdit.clear();
    // Keep what was chosen when it is still there.
    QList<ObjectRef> keep;
    for (ObjectRef r : objects)
        if (r.band < m_template.bands.size() && r.object < m_template.bands[r.band].objects.size()) keep << r;
    rebuildScene(keep, band < m_template.bands.size() ? band : -1);
    setModified(true);
    Q_EMIT templateChanged();
}

void ReportDesigner::rebuildScene(const QList<ObjectRef> &objects, int band)
{
    m_scene->rebuild(objects, band);
    m_panel->load();
    updateActions();
}

void ReportDesigner::setZoom(double zoom)
{
    m_view->setZoom(zoom);
    const QSignalBlocker blocker(m_zoomBox);
    m_zoomBox->setValue(qRound(m_view->zoom() * 100));
}

// ---- selection

QList<QPair<int, int>> ReportDesigner::selectedObjects() const
{
    QList<QPair<int, int>> out;
    for (ObjectRef r : m_scene->selectedObjects()) out.append({r.band, r.object});
    return out;
}

int ReportDesigner::selectedBand() const
{
    return m_scene->selectedBand();
}

void ReportDesigner::selectObject(int band, int object, bool add)
{
    QList<ObjectRef> refs = add ? m_scene->selectedObjects() : QList<ObjectRef>();
    if (!refs.contains(ObjectRef{band, object})) refs << ObjectRef{band, object};
    m_scene->select(refs);
}

void ReportDesigner::selectBand(int band)
{
    m_scene->select({}, band);
}

void ReportDesigner::clearSelection()
{
    m_scene->select({});
}

void ReportDesigner::onSelectionChanged()
{
    // Typing merges into one undo step only while the same thing stays chosen.
    const QList<QPair<int, int>> objects = selectedObjects();
    const int band = m_scene->selectedBand();
    if (objects != m_shownObjects || band != m_shownBand) m_lastEdit.clear();
    m_shownObjects = objects;
    m_shownBand = band;
    m_panel->load();
    updateActions();
    updateStatus();
}

void ReportDesigner::updateStatus()
{
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    const auto number = [](double v) { return QString::number(v, 'f', 1); };
    if (objects.size() == 1) {
        const ReportObject &o = m_template.bands[objects[0].band].objects[objects[0].object];
        m_status->setText(QStringLiteral("%1    左 %2  上 %3  宽 %4  高 %5（%6）")
                              .arg(o.name.isEmpty() ? QStringLiteral("（未命名）") : o.name, number(o.rect.x()), number(o.rect.y()),
                                   number(o.rect.width()), number(o.rect.height()), bandTitle(m_template.bands[objects[0].band])));
    } else if (objects.size() > 1) {
        m_status->setText(QStringLiteral("已选择 %1 个对象").arg(objects.size()));
    } else if (const int band = m_scene->selectedBand(); band >= 0) {
        m_status->setText(QStringLiteral("%1    高 %2").arg(bandTitle(m_template.bands[band]), number(m_template.bands[band].height)));
    } else {
        m_status->setText(QStringLiteral("拖动对象移动，拖动控制点改变大小，拖动栏目下边改变栏目高度；方向键微调，Shift+方向键改变大小"));
    }
}

QRect ReportDesigner::objectOnViewport(int band, int object) const
{
    const ObjectItem *item = m_scene->objectItem({band, object});
    if (!item) return {};
    return m_view->mapFromScene(item->mapRectToScene(QRectF(QPointF(0, 0), item->rectInBand().size()))).boundingRect();
}

QGraphicsView *ReportDesigner::view() const
{
    return m_view;
}

QRect ReportDesigner::bandOnViewport(int band) const
{
    return m_view->mapFromScene(m_scene->bandArea(band)).boundingRect();
}

// ---- changes to objects

void ReportDesigner::changeObject(const QString &edit, const std::function<void(ReportObject &)> &change)
{
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    if (objects.size() != 1) return;
    const ObjectRef r = objects[0];
    rememberForUndo(edit);
    change(m_template.bands[r.band].objects[r.object]);
    m_scene->syncObject(r);
    setModified(true);
    updateStatus();
    Q_EMIT templateChanged();
}

void ReportDesigner::changeBand(const QString &edit, const std::function<void(Band &)> &change)
{
    const int band = m_scene->selectedBand();
    if (band < 0) return;
    rememberForUndo(edit);
    change(m_template.bands[band]);
    m_scene->syncAll();
    setModified(true);
    Q_EMIT templateChanged();
}

void ReportDesigner::moveSelection(double dx, double dy)
{
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    if (objects.isEmpty()) return;
    rememberForUndo(QStringLiteral("keyboard-move"));
    for (ObjectRef r : objects) {
        m_template.bands[r.band].objects[r.object].rect.translate(dx, dy);
        m_scene->syncObject(r);
    }
    setModified(true);
    m_panel->load();
    updateStatus();
    Q_EMIT templateChanged();
}

void ReportDesigner::resizeSelection(double dw, double dh)
{
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    if (objects.isEmpty()) return;
    rememberForUndo(QStringLiteral("keyboard-resize"));
    for (ObjectRef r : objects) {
        ReportObject &o = m_template.bands[r.band].objects[r.object];
        const double min = o.kind == ObjectKind::Line ? 0 : kMinObjectSize;
        o.rect.setWidth(std::max(min, o.rect.width() + dw));
        o.rect.setHeight(std::max(min, o.rect.height() + dh));
        m_scene->syncObject(r);
    }
    setModified(true);
    m_panel->load();
    updateStatus();
    Q_EMIT templateChanged();
}

void ReportDesigner::setObjectGeometry(int band, int object, const QRectF &rect)
{
    if (band < 0 || band >= m_template.bands.size() || object < 0 || object >= m_template.bands[band].objects.size()) return;
    rememberForUndo();
    m_template.bands[band].objects[object].rect = rect;
    m_scene->syncObject({band, object});
    setModified(true);
    m_panel->load();
    updateStatus();
    Q_EMIT templateChanged();
}

void ReportDesigner::commitResize(ObjectRef ref, const QRectF &rect)
{
    setObjectGeometry(ref.band, ref.object, rect);
}

void ReportDesigner::commitMoves()
{
    // Where each dragged object was dropped: in the band whose area holds its centre, or where it
    // came from when it fell between bands.
    struct Move {
        ObjectRef from;
        int to;
        QRectF rect;
    };
    QList<Move> moves;
    bool changed = false;
    for (ObjectRef r : m_scene->selectedObjects()) {
        const ObjectItem *item = m_scene->objectItem(r);
        if (!item) continue;
        const QRectF onScene = item->mapRectToScene(QRectF(QPointF(0, 0), item->rectInBand().size()));
        int to = m_scene->bandAt(onScene.center());
        if (to < 0) to = r.band;
        QRectF rect = item->rectInBand();
        if (to != r.band) rect.moveTop(std::round(onScene.top() - m_scene->bandArea(to).top()));
        changed = changed || to != r.band || rect != m_template.bands[r.band].objects[r.object].rect;
        moves.append({r, to, rect});
    }
    if (!changed) return;
    rememberForUndo();
    for (const Move &m : moves) m_template.bands[m.from.band].objects[m.from.object].rect = m.rect;
    // Objects that change bands leave theirs from the last so that the indexes still to be
    // removed stay right, and join the new band at its end.
    QList<ObjectRef> selection;
    QList<Move> leaving;
    for (const Move &m : moves)
        if (m.to != m.from.band) leaving.append(m);
    std::sort(leaving.begin(), leaving.end(), [](const Move &a, const Move &b) { return a.from.object > b.from.object; });
    QList<std::pair<int, ReportObject>> arriving;
    for (const Move &m : leaving) arriving.prepend({m.to, m_template.bands[m.from.band].objects.takeAt(m.from.object)});
    for (const Move &m : moves) {
        if (m.to != m.from.band) continue;
        int index = m.from.object;
        for (const Move &l : leaving)
            if (l.from.band == m.from.band && l.from.object < m.from.object) --index;
        selection << ObjectRef{m.from.band, index};
    }
    for (auto &[band, object] : arriving) {
        m_template.bands[band].objects.append(std::move(object));
        selection << ObjectRef{band, int(m_template.bands[band].objects.size()) - 1};
    }
    rebuildScene(selection, -1);
    setModified(true);
    Q_EMIT templateChanged();
}

QString ReportDesigner::uniqueName(const QString &stem) const
{
    QSet<QString> used;
    for (const Band &b : m_template.bands) {
        used.insert(b.name);
        for (const ReportObject &o : b.objects) used.insert(o.name);
    }
    for (int n = 1;; ++n)
        if (const QString name = stem + QString::number(n); !used.contains(name)) return name;
}

int ReportDesigner::targetBand() const
{
    if (const int band = m_scene->selectedBand(); band >= 0) return band;
    if (const QList<ObjectRef> objects = m_scene->selectedObjects(); !objects.isEmpty()) return objects.first().band;
    for (int b = 0; b < m_template.bands.size(); ++b)
        if (m_template.bands[b].kind == BandKind::MasterData) return b;
    return m_template.bands.isEmpty() ? -1 : 0;
}

int ReportDesigner::addObject(ObjectKind kind)
{
    const int band = targetBand();
    if (band < 0) return -1;
    Band &b = m_template.bands[band];
    ReportObject o;
    o.kind = kind;
    o.name = uniqueName(QString::fromLatin1(kindStem(kind)));
    QSizeF size;
    switch (kind) {
    case ObjectKind::Memo: size = QSizeF(80, std::clamp(b.height, 10.0, 20.0)); break;
    case ObjectKind::Picture: size = QSizeF(80, 100); break;
    case ObjectKind::Line: size = QSizeF(100, 0); break;
    case ObjectKind::Rectangle: size = QSizeF(100, 40); break;
    }
    // A new object goes to the right of those already in the band, in a row, while there is room.
    double x = 0;
    for (const ReportObject &other : b.objects)
        if (other.rect.top() < size.height() && other.rect.bottom() > 0) x = std::max(x, other.rect.right() + 4);
    const double width = m_template.page.printableUnits().width();
    if (x + size.width() > width) x = std::max(0.0, width - size.width());
    o.rect = QRectF(QPointF(std::round(x), 0), size);
    if (kind == ObjectKind::Memo) o.frame.width = 1;
    rememberForUndo();
    b.objects.append(o);
    const int index = int(b.objects.size()) - 1;
    rebuildScene({{band, index}}, -1);
    setModified(true);
    Q_EMIT templateChanged();
    return index;
}

bool ReportDesigner::addPicture(const QString &file, QString *error)
{
    const QImage image(file);
    if (image.isNull()) {
        if (error) *error = QStringLiteral("无法读取图片：%1").arg(file);
        return false;
    }
    const int index = addObject(ObjectKind::Picture);
    if (index < 0) {
        if (error) *error = QStringLiteral("请先添加栏目");
        return false;
    }
    const ObjectRef r = m_scene->selectedObjects().value(0);
    ReportObject &o = m_template.bands[r.band].objects[r.object];
    o.picture = image;
    // As wide as it came, up to a sensible size, in the picture's proportions.
    const double width = std::min(120.0, double(image.width()));
    o.rect.setSize(QSizeF(width, std::round(width * image.height() / std::max(1, image.width()))));
    m_scene->syncObject(r);
    m_panel->load();
    return true;
}

void ReportDesigner::deleteSelection()
{
    const QList<ObjectRef> objects = m_scene->selectedObjects();
    const int band = m_scene->selectedBand();
    if (objects.isEmpty() && band < 0) return;
    rememberForUndo();
    if (!objects.isEmpty()) {
        for (auto it = objects.rbegin(); it != objects.rend(); ++it) m_template.bands[it->band].objects.removeAt(it->object);
        rebuildScene({}, objects.first().band);
    } else {
        m_template.bands.removeAt(band);
        rebuildScene({}, -1);
    }
    setModified(true);
    Q_EMIT templateChanged();
}

// ---- bands and page

void ReportDesigner::setBandHeight(int band, double height)
{
    if (band < 0 || band >= m_template.bands.size()) return;
    rememberForUndo();
    m_template.bands[band].height = std::max(0.0, height);
    m_scene->syncAll();
    m_panel->load();
    updateStatus();
    setModified(true);
    Q_EMIT templateChanged();
}

int ReportDesigner::addBand(BandKind kind, const QString &table, const QString &groupField)
{
    Band b;
    b.kind = kind;
    b.name = uniqueName(bandKindName(kind));
    b.height = defaultBandHeight(kind);
    b.table = table.trimmed();
    b.groupField = groupField.trimmed();
    int at = 0;
    for (int i = 0; i < m_template.bands.size(); ++i)
        if (bandRank(m_template.bands[i].kind) <= bandRank(kind)) at = i + 1;
    rememberForUndo();
    m_template.bands.insert(at, b);
    rebuildScene({}, at);
    setModified(true);
    Q_EMIT templateChanged();
    return at;
}

bool ReportDesigner::askAddBand(BandKind kind)
{
    QString table, field;
    if (kind == BandKind::MasterData || kind == BandKind::DetailData) {
        table = kind == BandKind::MasterData ? QStringLiteral("cdsData") : QString();
        if (!dialogs::askText(this, QStringLiteral("添加%1").arg(bandKindText(kind)), QStringLiteral("数据表名称："), &table)) return false;
        if (table.trimmed().isEmpty()) {
            dialogs::error(this, QStringLiteral("请输入数据表名称"));
            return false;
        }
    } else if (kind == BandKind::GroupHeader) {
        if (!dialogs::askText(this, QStringLiteral("添加分组头"), QStringLiteral("分组字段："), &field)) return false;
        if (field.trimmed().isEmpty()) {
            dialogs::error(this, QStringLiteral("请输入分组字段"));
            return false;
        }
    }
    addBand(kind, table, field);
    return true;
}

void ReportDesigner::setPageSetup(const PageSetup &page, const QString &title)
{
    if (page == m_template.page && title == m_template.title) return;
    rememberForUndo();
    m_template.page = page;
    m_template.title = title;
    rebuildScene(m_scene->selectedObjects(), m_scene->selectedBand());
    setModified(true);
    Q_EMIT templateChanged();
}

bool ReportDesigner::pageSetup()
{
    PageSetupDialog dialog(m_template.page, m_template.title, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    setPageSetup(dialog.page(), dialog.title());
    return true;
}

ReportPreview *ReportDesigner::preview()
{
    QString error = templateProblem(m_template);
    PreparedReport prepared;
    if (error.isEmpty() && !prepareWithSampleData(m_template, &prepared, &error)) error = QStringLiteral("预览失败：%1").arg(error);
    if (!error.isEmpty()) {
        dialogs::error(this, error);
        return nullptr;
    }
    auto *preview = new ReportPreview(std::move(prepared), this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(QStringLiteral("打印预览（示例数据）"));
    preview->open();
    return preview;
}

} // namespace lumeko::report
