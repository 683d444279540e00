#include "organisation/ufrmdeptteacher.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QToolBar>

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("所属部门");
} // namespace

TfrmDeptTeacher::TfrmDeptTeacher(DataSet *teachers, QWidget *parent) : TBaseBatch(parent), cdsMaster(teachers)
{
    Tag = 4010; // the teachers' page's rights
    setWindowTitle(kCaption);
    cxGridList->setColumns({GridColumn::of("DepartCode", "部门", 160), GridColumn::of("sDuty", "职务", 120)});

    const auto move = [this](const QString &caption, const char *icon) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), caption, this);
        a->setToolTip(caption);
        addAction(a);
        return a;
    };
    acFirst = move(QStringLiteral("首笔"), "First");
    acPrior = move(QStringLiteral("上笔"), "Prior");
    acNext = move(QStringLiteral("下笔"), "Next");
    acLast = move(QStringLiteral("末笔"), "Last");
    connect(acFirst, &QAction::triggered, this, &TfrmDeptTeacher::acFirstExecute);
    connect(acPrior, &QAction::triggered, this, &TfrmDeptTeacher::acPriorExecute);
    connect(acNext, &QAction::triggered, this, &TfrmDeptTeacher::acNextExecute);
    connect(acLast, &QAction::triggered, this, &TfrmDeptTeacher::acLastExecute);
    // The moves take the quit button's place; Esc still closes.
    tlbTools->removeAction(acQuit);
    tlbTools->addActions({acFirst, acPrior, acNext, acLast});
    resize(560, 360);
}

void TfrmDeptTeacher::InitDialog()
{
    TBaseBatch::InitDialog();
    DataSet departments;
    if (const CallResult r = loadTable(departments, protocol::QDept, {in(pub::schoolId()), var()}); !r.ok()) reportFailure(this, kCaption, r, Failure::Read);
    setLookup(*cxGridList, "DepartCode", lookupItems(departments, u"sCode", u"sName"));
    QList<LookupItem> duties;
    for (const QString &duty : pub::typeList(QStringLiteral("Duty")).split(u',', Qt::SkipEmptyParts))
        duties.append({duty, duty});
    setLookup(*cxGridList, "sDuty", duties);
    LoadData();
}

void TfrmDeptTeacher::LoadData()
{
    if (!cdsMaster || !cdsMaster->isActive() || cdsMaster->isEmpty()) return;
    setWindowTitle(QStringLiteral("【%1】所属部门").arg(cdsMaster->value(u"sName").toString()));
    pub::WaitIndicator wait(this);
    if (const CallResult r = loadTable(*cdsData, protocol::QDeptByTeacher, {in(pub::schoolId()), in(cdsMaster->value(u"sCode").toString()), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmDeptTeacher::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    for (QAction *a : {acFirst, acPrior, acNext, acLast})
        a->setEnabled(readOnly);
}

void TfrmDeptTeacher::acFirstExecute()
{
    cdsMaster->first();
    LoadData();
}

void TfrmDeptTeacher::acPriorExecute()
{
    cdsMaster->prior();
    LoadData();
}

void TfrmDeptTeacher::acNextExecute()
{
    cdsMaster->next();
    LoadData();
}

void TfrmDeptTeacher::acLastExecute()
{
    cdsMaster->last();
    LoadData();
}

bool TfrmDeptTeacher::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    const QString teacher = cdsMaster->value(u"sCode").toString();
    {
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            if (cdsData->updateStatus() != RowStatus::Inserted) continue;
            cdsData->edit();
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            cdsData->setValue(u"TeacherCode", teacher);
            cdsData->post();
        }
        if (here >= 0) cdsData->gotoBookmark(here);
    }
    CallResult saved;
    {
        pub::WaitIndicator wait(this);
        saved = saveTable(*cdsData, protocol::UpDeptTeacher);
    }
    if (saved.outcome == CallResult::Failed) {
        pub::writeLog(kCaption + QStringLiteral("：") + saved.message);
        pub::msgError(QStringLiteral("保存教师部门数据失败，服务器连接失败！"), this);
        return false;
    }
    WriteOperationLog(QStringLiteral("修改保存教师部门数据"));
    if (saved.outcome == CallResult::Refused) {
        if (!saved.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral("：") + saved.message);
        pub::msgError(QStringLiteral("更新失败！"), this);
        return false;
    }
    pub::msgHint(QStringLiteral("更新成功！"), this);
    return true;
}

} // namespace lumeko::achieve
