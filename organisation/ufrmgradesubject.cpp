#include "organisation/ufrmgradesubject.h"

#include "domain/examrules.h"
#include "framework/gradechoices.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "organisation/ufrmsubjectclass.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/grid/gridmodel.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QTreeView>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("年级科目设置");
const QString kNoPage = QStringLiteral("⊥");
// The link column's own field: the action's caption on the rows it opens.
const QString kLink = QStringLiteral("Operate");

// The eight marks in the order of domain::Mark, as the exam's fields name them.
const char *const kMarkNames[domain::MarkCount] = {"FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark", "DistanceMark", "HighMark", "LowMark"};

} // namespace

TfrmGradeSubject::TfrmGradeSubject(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4007;
    setWindowTitle(kCaption);
    GridColumn tick = GridColumn::of("Selected", "选择", 50);
    tick.editor = EditorKind::Boolean;
    GridColumn link = GridColumn::of("Operate", "操作", 100, true);
    link.locked = true;
    cxGridList->setColumns({tick, GridColumn::of("SubjectName", "科目", 100, true), GridColumn::of("SubjectType", "科目类型", 100),
                            GridColumn::of("FullMark", "满分制", 90), GridColumn::of("TeacherCode", "备课组长", 100),
                            GridColumn::of("SubTeacherCode", "分校备课组长", 100), link});
    cxGridList->setCellColors([this](int, int column) {
        CellColors colors;
        if (column == cxGridList->columnOfField(kLink)) colors.foreground = QColor(0x1A, 0x5F, 0xB4);
        return colors;
    });
    acInsert->setVisible(false);
    acDelete->setVisible(false);
    acTeachClass = new QAction(QStringLiteral("设置教学班级"), this);
    addAction(acTeachClass);
    connect(acTeachClass, &QAction::triggered, this, &TfrmGradeSubject::acTeachClassExecute);

    grade = new GradeChooser(QStringLiteral("年级："), pnlTitle);
    auto *title = new QHBoxLayout(pnlTitle);
    title->setContentsMargins(8, 6, 8, 6);
    title->addWidget(grade);
    pnlTitle->show();
    connect(grade, &GradeChooser::gradeChanged, this, [this] { LoadData(); });
    connect(cxGridList, &BandedGrid::cellEdited, this, [this](int, int column) {
        if (column == cxGridList->columnOfField(QStringLiteral("Selected"))) selectionEdited();
    });
    // One click on a link opens the subject's classes.
    for (int band : {0, 1})
        connect(cxGridList->bandView(band), &QTreeView::clicked, this, [this](const QModelIndex &index) {
            if (!index.isValid() || index.column() != cxGridList->columnOfField(kLink)) return;
            const int row = cxGridList->gridModel()->sourceRow(index.row());
            if (row < 0 || !cdsData->moveTo(row) || cdsData->value(kLink).toString().isEmpty()) return;
            acTeachClass->trigger();
        });
    resize(780, 520);
}

void TfrmGradeSubject::InitDialog()
{
    TBaseBatch::InitDialog();
    grade->setUp(Params);
    pub::WaitIndicator wait(this);
    const QList<LookupItem> teachers = teacherLookup(this, kCaption);
    setLookup(*cxGridList, "TeacherCode", teachers);
    setLookup(*cxGridList, "SubTeacherCode", teachers);
    setLookup(*cxGridList, "FullMark", registryLookup(this, kCaption, QStringLiteral("FullMarkType")));
    setLookup(*cxGridList, "SubjectType", registryLookup(this, kCaption, QStringLiteral("SubjectType")));
    LoadData();
}

void TfrmGradeSubject::LoadData()
{
    const GradeOfYear g = grade->grade();
    if (!g.valid()) return;
    pub::WaitIndicator wait(this);
    if (const CallResult r = loadTable(*cdsData, protocol::QGradeSubjectsSel, {in(pub::schoolId()), var(qint64(g.inYear)), in(g.code), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    if (cdsData->fieldIndex(kLink) < 0) cdsData->addField({kLink, wire::FieldType::Text, 20, 0}, FieldKind::Internal);
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
    cdsData->fieldInfo(cdsData->fieldIndex(kLink)).tag = 0;
    showLinks();
}

void TfrmGradeSubject::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    const int tick = cxGridList->columnOfField(QStringLiteral("Selected"));
    GridColumn c = cxGridList->column(tick);
    c.readOnly = readOnly;
    cxGridList->updateColumn(tick, c);
    grade->setEnabled(readOnly);
    acTeachClass->setEnabled(readOnly);
    showLinks();
}

// The link shows on the ticked subjects while browsing; while editing, a subject's classes wait
// until its tick is stored.
void TfrmGradeSubject::showLinks()
{
    if (!cdsData->isActive() || cdsData->fieldIndex(kLink) < 0 || cdsData->state() != DataSetState::Browse) return;
    const QString caption = acTeachClass->text();
    FrozenControls frozen(*cdsData);
    const Bookmark here = cdsData->bookmark();
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        const QString shown = !isEditing() && cdsData->value(u"Selected").toBool() ? caption : QString();
        if (cdsData->value(kLink).toString() == shown) continue;
        cdsData->edit();
        cdsData->setValue(kLink, shown);
        cdsData->post();
    }
    if (here >= 0) cdsData->gotoBookmark(here);
}

// An untick of a subject that has scores in the grade is refused.
void TfrmGradeSubject::selectionEdited()
{
    if (cdsData->state() == DataSetState::Browse || cdsData->value(u"Selected").toBool()) return;
    const GradeOfYear g = grade->grade();
    QList<wire::Argument> args{in(pub::schoolId()),  in(g.code), in(QString()), in(QString()), in(cdsData->value(u"SubjectCode").toString()),
                               var(qint64(g.inYear))};
    const CallResult marks = callServer(protocol::QCheckSubjectMark, args);
    const qint64 *count = std::get_if<qint64>(&marks.result);
    if (!marks.ok() || !count) {
        cdsData->setValue(u"Selected", true);
        reportFailure(this, kCaption, marks, Failure::Read);
        return;
    }
    if (*count > 0) {
        cdsData->setValue(u"Selected", true);
        pub::msgHint(QStringLiteral("此科目已经有成绩了，不能删除！"), this);
    }
}

void TfrmGradeSubject::acTeachClassExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || isEditing() || !cdsData->value(u"Selected").toBool()) return;
    // The dialog's parameters with the grade chosen here, and the subject last.
    const GradeOfYear g = grade->grade();
    QStringList params = Params;
    while (params.size() < 4)
        params << QString();
    params[0] = QString::number(g.inYear);
    params[1] = g.code;
    params[2] = g.name;
    params << cdsData->value(u"SubjectCode").toString();
    TfrmSubjectClass classes(this);
    classes.Params = params;
    classes.InitDialog();
    runModal(classes);
}

bool TfrmGradeSubject::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    const GradeOfYear g = grade->grade();
    if (!cdsData->isActive() || cdsData->changeCount() == 0 || !g.valid()) return true;
    DataSet stored;
    if (const CallResult r = loadTable(stored, protocol::QGradeSubjects, {in(pub::schoolId()), var(qint64(g.inYear)), in(g.code), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    acceptEmptyFields(stored);
    mergeTickedChoices(*cdsData, stored, {pub::schoolId(), g.inYear, g.code},
                       {QStringLiteral("SubjectCode"),
                        {QStringLiteral("SubjectType"), QStringLiteral("FullMark"), QStringLiteral("TeacherCode"), QStringLiteral("SubTeacherCode")},
                        {}});
    if (stored.changeCount() == 0) return true;
    if (!sendOrganisationChanges(this, stored, protocol::UpGradeSubject,
                                 {QStringLiteral("正在提交年级科目保存数据..."), QStringLiteral("修改保存年级科目数据"), QString(), QString(), false}))
        return false;
    refreshExamTotals();
    return true;
}

bool TfrmGradeSubject::totalWholeMarks(DataSet &header, DataSet &subjects)
{
    QList<domain::ExamSubject> chosen;
    {
        FrozenControls frozen(subjects);
        for (subjects.first(); !subjects.eof(); subjects.next()) {
            if (wire::isNull(subjects.value(u"Per"))) continue; // a subject the exam does not have
            domain::ExamSubject s;
            const QVariant type = subjects.value(u"SubjectType");
            s.subjectType = wire::isNull(type) ? 2 : type.toInt();
            for (int m = 0; m < domain::MarkCount; ++m)
                s.marks[m] = subjects.value(QString::fromLatin1(kMarkNames[m])).toDouble();
            chosen << s;
        }
    }
    const domain::ExamTotals totals = domain::wholeMarkTotals(chosen);
    const std::pair<const char *, const domain::Marks *> sums[] = {{"a", &totals.all}, {"m", &totals.main}, {"b", &totals.base}};
    bool changed = false;
    header.edit();
    for (const auto &[prefix, marks] : sums)
        for (int m = 0; m < domain::MarkCount; ++m) {
            const QString field = QString::fromLatin1(prefix) + QString::fromLatin1(kMarkNames[m]);
            const QVariant stored = header.value(field);
            if (!wire::isNull(stored) && stored.toDouble() == (*marks)[m]) continue;
            header.setValue(field, (*marks)[m]);
            changed = true;
        }
    header.post();
    return changed;
}

// The totals of the grade's open school-wide exams follow the subjects' new types.
void TfrmGradeSubject::refreshExamTotals()
{
    const GradeOfYear g = grade->grade();
    DataSet headers;
    if (const CallResult r = loadTable(headers, protocol::QExamTotalBySubject, {in(pub::schoolId()), var(qint64(g.inYear)), in(g.code), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(headers);
    pub::WaitIndicator wait(this);
    for (headers.first(); !headers.eof(); headers.next()) {
        DataSet subjects;
        const CallResult r =
            loadTable(subjects, protocol::QExamSubjects,
                      {in(pub::schoolId()), var(g.code), var(headers.value(u"ExamCode").toString()), var(kNoPage), var(qint64(g.inYear)), var()});
        if (!r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
        totalWholeMarks(headers, subjects);
        QCoreApplication::processEvents();
    }
    if (headers.changeCount() == 0) return;
    QList<wire::Argument> args{in(headers.delta()), in(wire::Null{}), in(qint64(-1)), var(qint64(0))};
    if (const CallResult saved = callServer(protocol::UpExamTotal, args); !saved.ok()) reportFailure(this, kCaption, saved, Failure::Save);
}

} // namespace lumeko::achieve
