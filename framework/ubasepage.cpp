#include "framework/ubasepage.h"

#include "framework/ufrmpublocate.h"
#include "framework/editcycle.h"
#include "framework/sharedroutines.h"
#include "framework/ufrmpubrptset.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/report/engine.h"
#include "toolkit/report/tablereport.h"
#include "toolkit/report/templatexml.h"
#include "toolkit/report/ui/reportpreview.h"

#include <QAction>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace lumeko::achieve {

namespace {

// Keeps the tool bar as tall as all its buttons, so that the scroller around it scrolls instead of
// the bar folding its last buttons into an overflow menu; the scroller widens by its scroll bar
// only while the page is too short for the whole bar.
class ToolBarFullHeight : public QObject {
public:
    ToolBarFullHeight(QToolBar *bar, QScrollArea *scroller) : QObject(bar), m_bar(bar), m_scroller(scroller)
    {
        bar->installEventFilter(this);
        scroller->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Resize:
            fit();
            break;
        case QEvent::ActionAdded:
        case QEvent::ActionRemoved:
        case QEvent::ActionChanged:
            // The bar takes the change in after this filter: measure it once it has.
            QMetaObject::invokeMethod(this, [this] { fit(); }, Qt::QueuedConnection);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void fit()
    {
        const int height = m_bar->sizeHint().height();
        m_bar->setMinimumHeight(height);
        const bool scrolls = height > m_scroller->height();
        // As wide as the widest caption ("重算总分"), never narrower than the usual bar.
        const int width = std::max(kWidth, m_bar->sizeHint().width());
        m_scroller->setFixedWidth(width + (scrolls ? m_scroller->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0));
    }
    static constexpr int kWidth = 58;
    QToolBar *m_bar;
    QScrollArea *m_scroller;
};

} // namespace

namespace {

const char *kTagProperty = "lumekoTag";

// The page setup of the generated table report: A4 across, 25 mm margins.
const QSizeF kTablePaperMm{297, 210};
const QMarginsF kTableMargins{2500, 2500, 2500, 2500};

} // namespace

int TBasePage::actionTag(const QAction *action) { return action->property(kTagProperty).toInt(); }
void TBasePage::setActionTag(QAction *action, int tag) { action->setProperty(kTagProperty, tag); }

QAction *TBasePage::makeAction(const QString &caption, const QString &icon, const QKeySequence &shortcut, const QString &hint)
{
    auto *a = new QAction(caption, this);
    if (!icon.isEmpty()) a->setIcon(pub::styleIcon(icon));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    if (!hint.isEmpty()) a->setStatusTip(hint);
    addAction(a);
    return a;
}

TBasePage::TBasePage(QWidget *parent) : QWidget(parent)
{
    routeReportQuestionsToHost();
    showReport = [this](const report::PreparedReport &r) { report::ReportPreview::show(r, this); };
    cdsData = new DataSet(this);
    cdsFields = new DataSet(this);
    GridData = new BandedGrid(this);
    GridData->setDataSet(cdsData);
    GridData->setEnterMovesDown(true);
    GridData->setBandCaption(0, QStringLiteral("固定列"));
    GridData->setBandCaption(1, QStringLiteral("活动列"));

    // The tool bar runs down the left edge and scrolls when the page is short.
    tlbTools = new QToolBar(this);
    tlbTools->setOrientation(Qt::Vertical);
    tlbTools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tlbTools->setIconSize(QSize(24, 24));
    auto *scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("PScrollerBar"));
    scroller->setWidget(tlbTools);
    scroller->setWidgetResizable(true);
    scroller->setFixedWidth(58);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setFrameShape(QFrame::NoFrame);
    new ToolBarFullHeight(tlbTools, scroller);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroller);
    layout->addWidget(GridData, 1);

    const QString shortcutHint = QStringLiteral("快捷键 ");
    acEdit = makeAction(QStringLiteral("编辑"), "Edit", QKeySequence(Qt::CTRL | Qt::Key_E), shortcutHint);
    acInsert = makeAction(QStringLiteral("增行"), "Insert", QKeySequence(Qt::CTRL | Qt::Key_A), shortcutHint);
    acDelete = makeAction(QStringLiteral("删行"), "Delete", QKeySequence(Qt::CTRL | Qt::Key_D), shortcutHint);
    acSave = makeAction(QStringLiteral("保存"), "Save", QKeySequence(Qt::CTRL | Qt::Key_S), shortcutHint);
    acCancel = makeAction(QStringLiteral("取消"), "Cancel", QKeySequence(Qt::CTRL | Qt::Key_Z), shortcutHint);
    acRequery = makeAction(QStringLiteral("刷新"), "Fresh", QKeySequence(Qt::Key_F5), shortcutHint);
    acCopy = makeAction(QStringLiteral("复制"), "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), shortcutHint);
    acAutoSize = makeAction(QStringLiteral("适宽"), "ASize", {}, QStringLiteral("每列以最佳宽度显示"));
    acFirst = makeAction(QStringLiteral("首笔"), "First");
    acPrior = makeAction(QStringLiteral("上笔"), "Prior");
    acNext = makeAction(QStringLiteral("下笔"), "Next");
    acLast = makeAction(QStringLiteral("末笔"), "Last");
    acPrint = makeAction(QStringLiteral("打印"), "Print");
    acRptSet = makeAction(QStringLiteral("报表设置"), "Property");
    acFind = makeAction(QStringLiteral("查找"), "Find", {}, QStringLiteral("快速姓名查找"));
    acFilter = makeAction(QStringLiteral("筛选"), "Standard", {}, QStringLiteral("自动筛选"));
    acFilter->setCheckable(true);
    acExport = makeAction(QStringLiteral("导出"), "Export", {}, QStringLiteral("导出数据到Excel"));
    acHelp = makeAction(QStringLiteral("帮助"), "Help", QKeySequence(Qt::Key_F1));
    acSelected = makeAction(QStringLiteral("选择"), {});
    acUnSelected = makeAction(QStringLiteral("不选"), {});
    acSelectAll = makeAction(QStringLiteral("全选"), {});
    acUnSelectAll = makeAction(QStringLiteral("反选"), {});
    setActionTag(acEdit, 2);
    setActionTag(acInsert, 2);
    setActionTag(acPrint, 3);
    setActionTag(acRptSet, 4);
    setActionTag(acExport, 5);

    const auto wire = [this](QAction *a, void (TBasePage::*slot)()) { connect(a, &QAction::triggered, this, slot); };
    wire(acEdit, &TBasePage::acEditExecute);
    wire(acInsert, &TBasePage::acInsertExecute);
    wire(acDelete, &TBasePage::acDeleteExecute);
    wire(acSave, &TBasePage::acSaveExecute);
    wire(acCancel, &TBasePage::acCancelExecute);
    wire(acRequery, &TBasePage::acRequeryExecute);
    wire(acCopy, &TBasePage::acCopyExecute);
    wire(acAutoSize, &TBasePage::acAutoSizeExecute);
    wire(acPrint, &TBasePage::acPrintExecute);
    wire(acRptSet, &TBasePage::acRptSetExecute);
    wire(acFind, &TBasePage::acFindExecute);
    wire(acFilter, &TBasePage::acFilterExecute);
    wire(acExport, &TBasePage::acExportExecute);
    wire(acHelp, &TBasePage::acHelpExecute);
    wire(acSelected, &TBasePage::acSelectedExecute);
    wire(acUnSelected, &TBasePage::acUnSelectedExecute);
    wire(acSelectAll, &TBasePage::acSelectAllExecute);
    wire(acUnSelectAll, &TBasePage::acUnSelectAllExecute);
    connect(acFirst, &QAction::triggered, this, [this] { moveFocus(0); });
    connect(acPrior, &QAction::triggered, this, [this] { moveFocus(1); });
    connect(acNext, &QAction::triggered, this, [this] { moveFocus(2); });
    connect(acLast, &QAction::triggered, this, [this] { moveFocus(3); });

    // The tool bar: edit, insert, delete | save, cancel | refresh, copy, print ▾, best fit, find,
    // filter, export. The two separators stay hidden, as the buttons read as one column.
    tlbTools->addActions({acEdit, acInsert, acDelete});
    tlbTools->addSeparator()->setVisible(false);
    tlbTools->addActions({acSave, acCancel});
    tlbTools->addSeparator()->setVisible(false);
    tlbTools->addActions({acRequery, acCopy, acPrint});
    tlbTools->addActions({acAutoSize, acFind, acFilter, acExport});
    pmPrint = new QMenu(this);
    if (auto *printButton = qobject_cast<QToolButton *>(tlbTools->widgetForAction(acPrint))) {
        printButton->setMenu(pmPrint);
        printButton->setPopupMode(QToolButton::MenuButtonPopup);
    }
    pmOptions = new QMenu(this);
    pmOptions->addActions({acEdit, acCopy});
    pmOptions->addSeparator();
    pmOptions->addActions({acSelected, acUnSelected, acSelectAll, acUnSelectAll});
    GridData->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GridData, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) { pmOptions->popup(GridData->mapToGlobal(p)); });

    GridData->setFilteringEnabled(false);
    acFilter->setChecked(false);
    applyHostLook(this, false);
    FixedColumnCount = 3;
    SaveLayout = true;
}

TBasePage::~TBasePage()
{
    storeLayout();
}

void TBasePage::storeLayout()
{
    // The file is named when the page is set up: in the destructor the page no longer knows its
    // own class.
    if (!SaveLayout || m_layoutFile.isEmpty() || GridData->columnCount() == 0) return;
    QDir().mkpath(QFileInfo(m_layoutFile).absolutePath());
    GridData->saveLayout(m_layoutFile);
}

void TBasePage::InitActions()
{
    ApplyStyle();
    tlbTools->setToolTipDuration(-1);
    for (QAction *a : actions()) {
        // A shortcut shows in the tooltip after the hint: "快捷键 (Ctrl+S)".
        const QString hint = a->statusTip().isEmpty() ? a->text() : a->statusTip();
        a->setToolTip(a->shortcut().isEmpty() ? hint : hint + u'(' + a->shortcut().toString(QKeySequence::NativeText) + u')');
    }
}

void TBasePage::ApplyStyle()
{
    GridStyle style = GridData->gridStyle();
    style.content = pub::contentColor();
    style.sepRow = pub::frameColor();
    style.modify = pub::hotTrackColor();
    style.focusedRow = pub::hotTrackColor().lighter(130);
    style.gridLine = pub::frameColor().darker(115);
    GridData->setGridStyle(style);
    QPalette p = palette();
    p.setColor(QPalette::Window, pub::contentColor());
    setPalette(p);
    setAutoFillBackground(true);
}

void TBasePage::InitPage()
{
    // Not from the constructor: a page's own InitActions runs only once the page is whole.
    InitActions();
    BuildColumns();
    acAutoSizeExecute();
    // The user's own layout, when there is one, wins over the best fit.
    m_layoutFile = pub::userCode().isEmpty() ? QString() : layoutFile();
    if (SaveLayout && QFileInfo::exists(m_layoutFile)) GridData->restoreLayout(m_layoutFile);
    loadRights();
    fillReportMenu();
    Printing = false;
    setEditState(0);
}

QString TBasePage::layoutFile() const
{
    return pub::appPath() + QStringLiteral("UserData/") + pub::userCode() + u'/' + QString::fromLatin1(metaObject()->className()).section(QStringLiteral("::"), -1) + QStringLiteral(".ini");
}

QString TBasePage::reportFolderPath() const
{
    return ReportFolder.isEmpty() ? QString() : pub::appPath() + QStringLiteral("Reports/") + ReportFolder + u'/';
}

CallResult TBasePage::loadFieldDefinitions()
{
    return loadTable(*cdsFields, wire::protocol::QFieldsByTable, {{FieldsTable, false}, {wire::Null{}, true}});
}

void TBasePage::loadRights()
{
    Rights = functionKeys(Tag);
}

bool TBasePage::holdsRight(const QString &key) const
{
    // Keys are matched whole, as the server matches them: "Manager" is not held through "SubManager".
    return pub::userType() == 1 || Rights.contains(key);
}

void TBasePage::setEditState(int state)
{
    EditState = state;
    if (state == 0) SetReadOnly(true);
    else if (state == 1 || state == 2) SetReadOnly(false);
}

void TBasePage::SetReadOnly(bool r)
{
    for (QAction *a : {acEdit, acRequery, acPrint, acRptSet, acExport}) a->setEnabled(r);
    for (QAction *a : {acInsert, acDelete, acSave, acCancel}) a->setEnabled(!r);
    GridData->setReadOnly(false);
    for (int c = 0; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        // The selection marks stay editable; tags 1, 10 and 11 mark columns nobody types into.
        if (col.field.compare(QStringLiteral("SELECTED"), Qt::CaseInsensitive) == 0) col.readOnly = false;
        else if (col.tag == 1 || col.tag == 10 || col.tag == 11) col.readOnly = true;
        else col.readOnly = r;
        GridData->updateColumn(c, col);
    }
    if (pub::userType() == 1) return;
    static const QHash<int, QString> keys = {{2, "Manager"}, {3, "Print"}, {4, "PrintSet"}, {5, "Import"}, {6, "ChangeClass"}, {7, "SetPass"}};
    for (QAction *a : actions()) {
        const int tag = actionTag(a);
        if (tag > 0 && a->isEnabled() && !holdsRight(keys.value(tag, QStringLiteral("\x01")))) a->setEnabled(false);
    }
}

bool TBasePage::ConfirmClose()
{
    return !isEditing() || confirmUnsavedChanges(*cdsData, *GridData, this, [this] { return SaveData(); });
}

void TBasePage::closeEvent(QCloseEvent *event)
{
    if (ConfirmClose()) {
        storeLayout();
        event->accept();
    } else {
        event->ignore();
    }
}

bool TBasePage::SaveData()
{
    GridData->postEdit();
    FocusKey = {cdsData->isActive() ? QVariant(cdsData->bookmark()) : QVariant()};
    if (cdsData->state() == DataSetState::Edit || cdsData->state() == DataSetState::Insert) cdsData->post();
    return true;
}

void TBasePage::AfterSave()
{
    if (cdsData->isActive() && cdsData->changeCount() > 0) cdsData->mergeChangeLog();
    if (!FocusKey.isEmpty() && FocusKey.first().isValid()) cdsData->gotoBookmark(FocusKey.first().toLongLong());
    setEditState(0);
}

void TBasePage::CancelEdits()
{
    revertChanges(*cdsData, *GridData);
}

void TBasePage::InsertRecord()
{
    if (cdsData->isActive()) cdsData->append();
}

void TBasePage::DeleteRecord()
{
    if (cdsData->isActive() && !cdsData->isEmpty()) cdsData->deleteRecord();
}

void TBasePage::BuildColumns()
{
    if (!cdsFields->isActive()) return;
    GridData->setFooterVisible(true);
    GridData->setFixedColumnCount(FixedColumnCount);
    GridData->buildColumns(*cdsFields);
}

QVariant TBasePage::ReportVariable(const QString &name, bool *found)
{
    *found = name == u"SchoolName";
    return *found ? QVariant(pub::schoolName()) : QVariant();
}

void TBasePage::BeforeReportPrint(const QString &) { Printing = true; }
void TBasePage::AfterReportPrint(const QString &) { Printing = false; }

void TBasePage::PrintReportFile(const QString &entry)
{
    report::ReportEngine engine;
    try {
        engine.setTemplate(report::loadTemplate(reportFolderPath() + entry + QStringLiteral(".frf")));
    } catch (const report::TemplateError &e) {
        pub::msgError(e.message(), this);
        return;
    }
    engine.bindTable(QStringLiteral("cdsData"), cdsData);
    engine.variables = [this](const QString &name, bool *found) { return ReportVariable(name, found); };
    BindReport(engine);
    QString error;
    if (!engine.prepare(&error)) {
        pub::msgError(error, this);
        return;
    }
    AfterReportPrint(entry);
    showReport(engine.prepared());
}

void TBasePage::fillReportMenu()
{
    pmPrint->clear();
    pmPrint->addAction(acRptSet);
    pmPrint->addSeparator();
    m_reportEntries.clear();
    const QString folder = reportFolderPath();
    if (folder.isEmpty()) return;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        if (!f.fileName().toUpper().endsWith(QStringLiteral(".FRF"))) continue;
        const QString entry = f.completeBaseName();
        QAction *a = pmPrint->addAction(entry);
        connect(a, &QAction::triggered, this, [this, entry] { printTemplate(entry); });
        m_reportEntries << a;
    }
}

void TBasePage::printTemplate(const QString &entry)
{
    if (!cdsData->isActive()) return;
    const Bookmark focus = cdsData->bookmark();
    const QString filter = cdsData->filter();
    const bool filtered = cdsData->filtered();
    cdsData->disableControls();
    // Templates print the marked rows only.
    cdsData->setFilter(filter.isEmpty() || !filtered ? QStringLiteral("Selected=True") : QStringLiteral("(%1) and Selected=True").arg(filter));
    cdsData->setFiltered(true);
    if (cdsData->recordCount() > 0) {
        BeforeReportPrint(entry);
        PrintReportFile(entry);
    } else {
        pub::msgHint(QStringLiteral("请选择要打印的学生名单!"), this);
    }
    AfterReportPrint(entry);
    cdsData->setFilter(filter);
    cdsData->setFiltered(filtered);
    cdsData->enableControls();
    if (focus >= 0) cdsData->gotoBookmark(focus);
}

// ---- commands ----------------------------------------------------------------------------------------

void TBasePage::acEditExecute() { setEditState(2); }
void TBasePage::acInsertExecute() { InsertRecord(); }
void TBasePage::acDeleteExecute() { DeleteRecord(); }

void TBasePage::acSaveExecute()
{
    if (SaveData()) AfterSave();
}

void TBasePage::acCancelExecute()
{
    CancelEdits();
    setEditState(0);
}

void TBasePage::acRequeryExecute() { LoadData(); }
void TBasePage::acCopyExecute() { GridData->copySelection(); }

void TBasePage::acAutoSizeExecute()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    GridData->bestFit();
    QApplication::restoreOverrideCursor();
}

void TBasePage::moveFocus(int how)
{
    if (!cdsData->isActive()) return;
    switch (how) {
    case 0: cdsData->first(); break;
    case 1: cdsData->prior(); break;
    case 2: cdsData->next(); break;
    default: cdsData->last(); break;
    }
}

void TBasePage::acPrintExecute()
{
    report::TableReportRequest request;
    request.caption = windowTitle();
    request.paperMm = kTablePaperMm;
    request.marginsHundredthsMm = kTableMargins;
    for (int c : GridData->visibleColumns()) request.columns << report::TableReportColumn{GridData->columnCaption(c), GridData->column(c).width};
    const QList<int> visible = GridData->visibleColumns();
    request.rowCount = GridData->dataRowCount();
    request.cellText = [this, visible](int row, int column) { return GridData->displayText(row, visible.value(column)); };
    report::PreparedReport prepared;
    QString error;
    if (!report::buildTableReport(request, &prepared, &error)) {
        pub::msgError(error, this);
        return;
    }
    showReport(prepared);
}

void TBasePage::acRptSetExecute()
{
    const QString folder = reportFolderPath();
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    TfrmPubRptSet dialog(folder, this);
    dialog.exec();
    fillReportMenu();
}

void TBasePage::acFindExecute()
{
    if (!m_locate) {
        m_locate = new TfrmPubLocate(this);
        m_locate->setFieldList(GetLocateFields());
        m_locate->bindTable(cdsData);
    }
    m_locate->show();
    m_locate->raise();
}

void TBasePage::acFilterExecute() { GridData->setFilteringEnabled(acFilter->isChecked()); }

void TBasePage::acExportExecute()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出"), windowTitle() + QStringLiteral(".xlsx"), QStringLiteral("EXCEL(*.xlsx)"));
    if (path.isEmpty()) return;
    QString error;
    if (!GridData->exportToXlsx(path, &error, windowTitle())) pub::msgError(error, this);
}

void TBasePage::acHelpExecute()
{
    if (!HelpFile.isEmpty()) pub::showHelp(this, HelpFile);
}

void TBasePage::acSelectedExecute() { markRows(*GridData, 0, this, QStringLiteral("正在处理数据...")); }
void TBasePage::acUnSelectedExecute() { markRows(*GridData, 1, this, QStringLiteral("正在处理数据...")); }
void TBasePage::acSelectAllExecute() { markRows(*GridData, 2, this, QStringLiteral("正在选择数据......")); }
void TBasePage::acUnSelectAllExecute() { markRows(*GridData, 3, this, QStringLiteral("正在选择数据......")); }

} // namespace lumeko::achieve
