#include "framework/ubasebatch.h"

#include "framework/editcycle.h"
#include "framework/ubasepage.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

namespace lumeko::achieve {

QAction *TBaseBatch::makeAction(const QString &caption, const QString &icon, const QKeySequence &shortcut, int tag)
{
    auto *a = new QAction(pub::styleIcon(icon), caption, this);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        a->setStatusTip(QStringLiteral("快捷键 "));
    }
    TBasePage::setActionTag(a, tag);
    addAction(a);
    return a;
}

TBaseBatch::TBaseBatch(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    cdsData = new DataSet(this);
    cxGridList = new BandedGrid(this);
    cxGridList->setDataSet(cdsData);
    // A plain list: no group-by box, no band captions, no footer.
    cxGridList->setGroupByBoxVisible(false);
    cxGridList->setBandCaptionsVisible(false);
    cxGridList->setFooterVisible(false);
    cxGridList->setFixedColumnCount(0);
    tlbTools = new QToolBar(this);
    tlbTools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    pnlTitle = new QWidget(this);
    pnlTitle->hide();
    auto *status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    auto *stateCaption = new QLabel(QStringLiteral("状态"), this);
    stateCaption->setAlignment(Qt::AlignCenter);
    stateCaption->setMinimumWidth(60);
    sbStatus = new QLabel(this);
    status->addWidget(stateCaption);
    status->addWidget(sbStatus, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tlbTools);
    layout->addWidget(pnlTitle);
    layout->addWidget(cxGridList, 1);
    layout->addWidget(status);

    acEdit = makeAction(QStringLiteral("编辑"), "Edit", QKeySequence(Qt::CTRL | Qt::Key_E), 2);
    acInsert = makeAction(QStringLiteral("增行"), "Insert", QKeySequence(Qt::CTRL | Qt::Key_A), 2);
    acDelete = makeAction(QStringLiteral("删行"), "Delete", QKeySequence(Qt::CTRL | Qt::Key_D), 2);
    acSave = makeAction(QStringLiteral("保存"), "Save", QKeySequence(Qt::CTRL | Qt::Key_S), 0);
    acCancel = makeAction(QStringLiteral("取消"), "Cancel", QKeySequence(Qt::CTRL | Qt::Key_Z), 0);
    acRequery = makeAction(QStringLiteral("刷新"), "Fresh", QKeySequence(Qt::Key_F5), 0);
    acQuit = makeAction(QStringLiteral("退出"), "Quit", {}, 0); // Esc reaches it through reject()
    acQuit->setStatusTip(QStringLiteral("快捷键 "));
    acQuit->setToolTip(QStringLiteral("快捷键 (Esc)"));
    acCopy = makeAction(QStringLiteral("复制"), "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), 0);
    acFilter = makeAction(QStringLiteral("筛选"), "Standard", {}, 0);
    acFilter->setCheckable(true);
    acFilter->setStatusTip(QStringLiteral("自动筛选"));
    acHelp = makeAction(QStringLiteral("帮助"), "Help", {}, 0);
    acSelect = makeAction(QStringLiteral("选择"), {}, {}, 0);
    acUnSelect = makeAction(QStringLiteral("不选"), {}, {}, 0);
    acSelectAll = makeAction(QStringLiteral("全选"), {}, {}, 0);
    acUnSelectAll = makeAction(QStringLiteral("反选"), {}, {}, 0);

    connect(acEdit, &QAction::triggered, this, &TBaseBatch::acEditExecute);
    connect(acInsert, &QAction::triggered, this, [this] { InsertRecord(); });
    connect(acDelete, &QAction::triggered, this, [this] { DeleteRecord(); });
    connect(acSave, &QAction::triggered, this, &TBaseBatch::acSaveExecute);
    connect(acCancel, &QAction::triggered, this, &TBaseBatch::acCancelExecute);
    connect(acRequery, &QAction::triggered, this, [this] { LoadData(); });
    connect(acQuit, &QAction::triggered, this, &TBaseBatch::acQuitExecute);
    connect(acCopy, &QAction::triggered, this, [this] { cxGridList->copySelection(); });
    connect(acFilter, &QAction::toggled, cxGridList, &BandedGrid::setFilteringEnabled);
    connect(acSelect, &QAction::triggered, this, [this] { markRows(0); });
    connect(acUnSelect, &QAction::triggered, this, [this] { markRows(1); });
    connect(acSelectAll, &QAction::triggered, this, [this] { markRows(2); });
    connect(acUnSelectAll, &QAction::triggered, this, [this] { markRows(3); });

    tlbTools->addActions({acEdit, acInsert, acDelete});
    tlbTools->addSeparator();
    tlbTools->addActions({acSave, acCancel});
    tlbTools->addSeparator();
    tlbTools->addActions({acCopy, acRequery, acFilter});
    tlbTools->addSeparator();
    tlbTools->addAction(acQuit);
    pmOptions = new QMenu(this);
    pmOptions->addActions({acEdit, acCopy});
    pmOptions->addSeparator();
    pmOptions->addActions({acSelect, acUnSelect, acSelectAll, acUnSelectAll});
    cxGridList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cxGridList, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) { pmOptions->popup(cxGridList->mapToGlobal(p)); });

    cxGridList->setFilteringEnabled(false);
    applyHostLook(this, false);
    resize(720, 480);
}

void TBaseBatch::InitActions()
{
    GridStyle style = cxGridList->gridStyle();
    style.content = pub::contentColor();
    style.sepRow = pub::frameColor();
    style.modify = pub::hotTrackColor();
    cxGridList->setGridStyle(style);
    setWindowIcon(pub::styleIcon(QStringLiteral("AppIcon")));
    for (QAction *a : actions()) {
        const QString hint = a->statusTip().isEmpty() ? a->text() : a->statusTip();
        if (a != acQuit) a->setToolTip(a->shortcut().isEmpty() ? hint : hint + u'(' + a->shortcut().toString(QKeySequence::NativeText) + u')');
    }
}

void TBaseBatch::InitDialog()
{
    // Not from the constructor: a dialog's own InitActions runs only once the dialog is whole.
    InitActions();
    Rights = functionKeys(Tag);
    setEditState(0);
}

void TBaseBatch::setEditState(int state)
{
    EditState = state;
    if (state == 0) SetReadOnly(true);
    else if (state == 1 || state == 2) SetReadOnly(false);
    ApplyRights();
}

void TBaseBatch::SetReadOnly(bool r)
{
    for (QAction *a : {acEdit, acRequery, acQuit}) a->setEnabled(r);
    for (QAction *a : {acSelect, acUnSelect, acSelectAll, acUnSelectAll, acInsert, acDelete, acSave, acCancel}) a->setEnabled(!r);
    cxGridList->setReadOnly(r);
    sbStatus->setText(EditState == 2 ? QStringLiteral("编辑数据") : QStringLiteral("浏览数据"));
}

void TBaseBatch::ApplyRights()
{
    if (pub::userType() == 1) return;
    for (QAction *a : actions()) {
        const int tag = TBasePage::actionTag(a);
        if (tag > 0 && !(tag == 2 && Rights.contains(QStringLiteral("Manager")))) a->setEnabled(false);
    }
}

bool TBaseBatch::ConfirmClose()
{
    return !isEditing() || confirmUnsavedChanges(*cdsData, *cxGridList, this, [this] { return SaveData(); });
}

void TBaseBatch::closeEvent(QCloseEvent *event)
{
    if (ConfirmClose()) event->accept();
    else event->ignore();
}

void TBaseBatch::reject()
{
    if (ConfirmClose()) QDialog::reject();
}

bool TBaseBatch::SaveData()
{
    cxGridList->postEdit();
    if (cdsData->state() == DataSetState::Edit || cdsData->state() == DataSetState::Insert) cdsData->post();
    return true;
}

void TBaseBatch::acSaveExecute()
{
    if (!SaveData()) return; // the dialog stays in editing with its changes
    if (cdsData->isActive() && cdsData->changeCount() > 0) cdsData->mergeChangeLog();
    setEditState(0);
}

void TBaseBatch::CancelEdits()
{
    revertChanges(*cdsData, *cxGridList);
}

void TBaseBatch::acCancelExecute()
{
    CancelEdits();
    setEditState(0);
}

void TBaseBatch::InsertRecord()
{
    if (cdsData->isActive()) cdsData->append();
}

void TBaseBatch::DeleteRecord()
{
    if (cdsData->isActive() && !cdsData->isEmpty()) cdsData->deleteRecord();
}

void TBaseBatch::markRows(int mode)
{
    achieve::markRows(*cxGridList, mode, this, QStringLiteral("正在处理选择数据，请稍后......"));
}

} // namespace lumeko::achieve
