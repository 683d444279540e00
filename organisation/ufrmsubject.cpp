#include "organisation/ufrmsubject.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("科目设置");
} // namespace

TfrmSubject::TfrmSubject(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4003;
    setWindowTitle(kCaption);
    cxGridList->setColumns({GridColumn::of("SubjectCode", "编码", 60, true), GridColumn::of("SubjectName", "科目名称", 160),
                            GridColumn::of("TeacherCode", "科目组长", 110), GridColumn::of("SubTeacherCode", "副组长", 110)});
    resize(640, 480);
}

void TfrmSubject::InitDialog()
{
    TBaseBatch::InitDialog();
    LoadData();
}

void TfrmSubject::LoadData()
{
    pub::WaitIndicator wait(this);
    const QList<LookupItem> teachers = teacherLookup(this, kCaption);
    setLookup(*cxGridList, "TeacherCode", teachers);
    setLookup(*cxGridList, "SubTeacherCode", teachers);
    if (const CallResult r = loadTable(*cdsData, protocol::QSchoolSubjects, {in(pub::schoolId()), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

QString TfrmSubject::nameFault()
{
    SetSortIndex(*cdsData, QStringLiteral("SubjectName"), false);
    // In name order a name used twice meets itself on the next row, and an empty name is met
    // first, against the empty name before the first row.
    QString previous;
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        const QString name = cdsData->value(u"SubjectName").toString();
        if (name == previous) return name.isEmpty() ? QStringLiteral("科目名称不能为空！") : QStringLiteral("科目 %1 名称重复！").arg(name);
        previous = name;
    }
    return QString();
}

void TfrmSubject::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    const QString code = cdsData->value(u"SubjectCode").toString();
    if (!code.isEmpty()) {
        const std::optional<bool> used = codeInUse(this, kCaption, QStringLiteral("XJ_GradeSubject"), QStringLiteral("SubjectCode"), code);
        if (!used) return;
        if (*used) {
            pub::msgHint(QStringLiteral("此科目已经被关联使用了，不能删除！"), this);
            return;
        }
    }
    TBaseBatch::DeleteRecord();
}

bool TfrmSubject::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    {
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        const QString fault = nameFault();
        if (here >= 0) cdsData->gotoBookmark(here);
        if (!fault.isEmpty()) {
            pub::msgError(fault, this);
            return false;
        }
    }
    // New subjects are numbered in the order of their names.
    if (!numberNewRows(this, kCaption, *cdsData, protocol::MaxSubjectID, QStringLiteral("SubjectCode"))) return false;
    return sendOrganisationChanges(
        this, *cdsData, protocol::UpSubject,
        {QStringLiteral("正在提交保存科目数据......"), QStringLiteral("修改保存科目数据"), QStringLiteral("科目定义："), QStringLiteral("科目保存："), false});
}

} // namespace lumeko::achieve
