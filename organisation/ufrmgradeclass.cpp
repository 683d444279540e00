#include "organisation/ufrmgradeclass.h"

#include "framework/gradechoices.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("年级班级设置");
} // namespace

TfrmGradeClass::TfrmGradeClass(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4006;
    setWindowTitle(kCaption);
    cdsClassInfo = new DataSet(this);
    GridColumn tick = GridColumn::of("Selected", "选择", 50);
    tick.editor = EditorKind::Boolean;
    GridColumn area = GridColumn::of("sArea", "校区", 90);
    area.visible = false;
    GridColumn code = GridColumn::of("ClassCode", "班级编码", 70, true);
    code.visible = false;
    cxGridList->setColumns({tick, GridColumn::of("ClassName", "班级", 120, true), GridColumn::of("AliasName", "班级别名", 140), area,
                            GridColumn::of("TeacherCode", "班主任", 110), code});
    acInsert->setVisible(false);
    acDelete->setVisible(false);

    grade = new GradeChooser(QStringLiteral("当前年级："), pnlTitle);
    auto *title = new QHBoxLayout(pnlTitle);
    title->setContentsMargins(8, 6, 8, 6);
    title->addWidget(grade);
    pnlTitle->show();
    connect(grade, &GradeChooser::gradeChanged, this, [this] { LoadData(); });
    connect(cxGridList, &BandedGrid::cellEdited, this, [this](int, int column) {
        if (column == cxGridList->columnOfField(QStringLiteral("Selected"))) selectionEdited();
    });
    resize(680, 520);
}

void TfrmGradeClass::InitDialog()
{
    TBaseBatch::InitDialog();
    grade->setUp(Params);
    const SchoolCampuses campuses = schoolCampuses();
    if (campuses.hasSub) {
        setLookup(*cxGridList, "sArea", campuses.lookup());
        cxGridList->setColumnVisible(cxGridList->columnOfField(QStringLiteral("sArea")), true);
    }
    LoadData();
}

void TfrmGradeClass::LoadData()
{
    pub::WaitIndicator wait(this);
    setLookup(*cxGridList, "TeacherCode", teacherLookup(this, kCaption));
    cdsClassInfo->setData(pub::classNames());
    const GradeOfYear g = grade->grade();
    if (!g.valid()) return;
    if (const CallResult r = loadTable(*cdsData, protocol::QGradeClassesSel, {in(pub::schoolId()), var(qint64(g.inYear)), in(g.code), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmGradeClass::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    // The ticks are the grade's classes: they change only while editing, and the grade only
    // while browsing.
    const int tick = cxGridList->columnOfField(QStringLiteral("Selected"));
    GridColumn c = cxGridList->column(tick);
    c.readOnly = readOnly;
    cxGridList->updateColumn(tick, c);
    grade->setEnabled(readOnly);
}

// A ticked class takes its campus from the school's class; an untick of a class with students in
// the grade is refused.
void TfrmGradeClass::selectionEdited()
{
    if (cdsData->state() == DataSetState::Browse) return;
    const QString code = cdsData->value(u"ClassCode").toString();
    if (cdsData->value(u"Selected").toBool()) {
        if (cdsClassInfo->isActive() && cdsClassInfo->locate(QStringLiteral("ClassCode"), {code})) cdsData->setValue(u"sArea", cdsClassInfo->value(u"sArea"));
        return;
    }
    const GradeOfYear g = grade->grade();
    QList<wire::Argument> args{in(pub::schoolId()),
                               in(QStringLiteral(" and GradeCode='%1' and InYear=%2 and ClassCode='%3'").arg(g.code).arg(g.inYear).arg(code))};
    const CallResult students = callServer(protocol::QCheckStudent, args);
    const qint64 *count = std::get_if<qint64>(&students.result);
    if (!students.ok() || !count) {
        cdsData->setValue(u"Selected", true);
        reportFailure(this, kCaption, students, Failure::Read);
        return;
    }
    if (*count > 0) {
        cdsData->setValue(u"Selected", true);
        pub::msgHint(QStringLiteral("此班级已经有学生了，不能删除！"), this);
    }
}

bool TfrmGradeClass::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    const GradeOfYear g = grade->grade();
    if (!cdsData->isActive() || cdsData->changeCount() == 0 || !g.valid()) return true;
    DataSet stored;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在准备提交数据..."));
        if (const CallResult r = loadTable(stored, protocol::QGradeClasses, {in(pub::schoolId()), var(qint64(g.inYear)), in(g.code), var()}); !r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return false;
        }
        acceptEmptyFields(stored);
        mergeTickedChoices(*cdsData, stored, {pub::schoolId(), g.inYear, g.code},
                           {QStringLiteral("ClassCode"), {QStringLiteral("sArea"), QStringLiteral("AliasName"), QStringLiteral("TeacherCode")}, {}});
    }
    if (stored.changeCount() == 0) return true;
    markLoggedFields(stored, *cxGridList);
    return sendOrganisationChanges(
        this, stored, protocol::UpGradeClass,
        {QStringLiteral("正在提交保存年级班级数据..."), QStringLiteral("修改保存年级班级数据"), QStringLiteral("年段班级定义："), QString(), true});
}

} // namespace lumeko::achieve
