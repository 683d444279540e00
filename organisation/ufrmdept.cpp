#include "organisation/ufrmdept.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("校部门设置");
} // namespace

TfrmDept::TfrmDept(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4004;
    setWindowTitle(kCaption);
    cxGridList->setColumns({GridColumn::of("sCode", "编码", 60, true), GridColumn::of("sName", "名称", 160), GridColumn::of("sMemo", "部门职能", 320)});
    resize(640, 440);
}

void TfrmDept::InitDialog()
{
    TBaseBatch::InitDialog();
    LoadData();
}

void TfrmDept::LoadData()
{
    pub::WaitIndicator wait(this);
    if (const CallResult r = loadTable(*cdsData, protocol::QDept, {in(pub::schoolId()), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

bool TfrmDept::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    if (!numberNewRows(this, kCaption, *cdsData, protocol::MaxDeptID, QStringLiteral("sCode"))) return false;
    return sendOrganisationChanges(
        this, *cdsData, protocol::UpDept,
        {QStringLiteral("正在提交保存部门数据......"), QStringLiteral("修改保存部门数据"), QString(), QStringLiteral("部门保存："), false});
}

} // namespace lumeko::achieve
