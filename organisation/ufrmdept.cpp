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
    QList<wire::Argument> args{in(pub::schoolId())};
    const CallResult highest = callServer(protocol::MaxDeptID, args);
    if (!highest.ok()) {
        reportFailure(this, kCaption, highest, Failure::Connection);
        return false;
    }
    const QString *text = std::get_if<QString>(&highest.result);
    const qint64 from = text ? text->toLongLong() : 0;
    {
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        int added = 0;
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            if (cdsData->updateStatus() != RowStatus::Inserted) continue;
            cdsData->edit();
            cdsData->setValue(u"sCode", threeDigitCode(from + ++added));
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            cdsData->post();
        }
        if (here >= 0) cdsData->gotoBookmark(here);
    }
    return sendOrganisationChanges(
        this, *cdsData, protocol::UpDept,
        {QStringLiteral("正在提交保存部门数据......"), QStringLiteral("修改保存部门数据"), QString(), QStringLiteral("部门保存："), false});
}

} // namespace lumeko::achieve
