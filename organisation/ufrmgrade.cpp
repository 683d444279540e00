#include "organisation/ufrmgrade.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/grid/gridmodel.h"

#include <QAction>
#include <QDate>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("年级设置");
constexpr int kFirstIntake = 2000;
} // namespace

TfrmGrade::TfrmGrade(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4001;
    setWindowTitle(kCaption);
    cdsGradeNames = new DataSet(this);

    GridColumn year = GridColumn::of("InYear", "入学年份", 80);
    year.editor = EditorKind::Integer;
    year.displayFormat = QStringLiteral("####");
    GridColumn current = GridColumn::of("bCurGrade", "当前年级", 70, true);
    current.lookup = {{QStringLiteral("Y"), QStringLiteral("√")}, {QStringLiteral("N"), QString()}};
    current.tag = 1;
    cxGridList->setColumns({GridColumn::of("GradeCode", "年级", 100), year, GridColumn::of("sYear", "学年", 130, true),
                            GridColumn::of("TeacherCode", "年级长", 100), GridColumn::of("SubTeacherCode", "副年级长", 100), current});

    edYear = new QSpinBox(pnlTitle);
    edYear->setRange(kFirstIntake, 2999);
    edYear->setValue(QDate::currentDate().year());
    btnInitGrade = new QPushButton(QStringLiteral("初始全校年级"), pnlTitle);
    auto *title = new QHBoxLayout(pnlTitle);
    title->setContentsMargins(8, 6, 8, 6);
    title->addWidget(edYear);
    title->addWidget(btnInitGrade);
    title->addStretch(1);
    pnlTitle->show();
    connect(btnInitGrade, &QPushButton::clicked, this, &TfrmGrade::btnInitGradeClick);

    // An intake year is never before the first one the school keeps.
    connect(cxGridList, &BandedGrid::cellEdited, this, [this](int, int column) {
        if (column != cxGridList->columnOfField(QStringLiteral("InYear")) || cdsData->state() == DataSetState::Browse) return;
        if (cdsData->value(u"InYear").toInt() < kFirstIntake) cdsData->setValue(u"InYear", kFirstIntake);
    });
    for (int band : {0, 1})
        cxGridList->bandView(band)->viewport()->installEventFilter(this);
    resize(760, 480);
}

void TfrmGrade::InitDialog()
{
    TBaseBatch::InitDialog();
    edYear->setValue(QDate::currentDate().year());
    if (SchoolHasSubTree()) {
        const int deputy = cxGridList->columnOfField(QStringLiteral("SubTeacherCode"));
        GridColumn c = cxGridList->column(deputy);
        c.caption = QStringLiteral("分校年段长");
        cxGridList->updateColumn(deputy, c);
    }
    LoadData();
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmGrade::LoadData()
{
    pub::WaitIndicator wait(this);
    cdsGradeNames->setData(pub::gradeNames());
    setLookup(*cxGridList, "GradeCode", lookupItems(*cdsGradeNames, u"sKeyId", u"sValue"));
    cdsData->setData(pub::gradeList());
    acceptEmptyFields(*cdsData);
    const QList<LookupItem> teachers = teacherLookup(this, kCaption);
    setLookup(*cxGridList, "TeacherCode", teachers);
    setLookup(*cxGridList, "SubTeacherCode", teachers);
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmGrade::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    edYear->setReadOnly(readOnly);
    btnInitGrade->setEnabled(!readOnly);
}

void TfrmGrade::InsertRecord()
{
    TBaseBatch::InsertRecord();
    if (cdsData->state() != DataSetState::Insert) return;
    const int year = QDate::currentDate().year();
    cdsData->setValue(u"InYear", year);
    cdsData->setValue(u"sYear", SchoolYearText(year));
    cdsData->setValue(u"bCurGrade", QStringLiteral("Y"));
}

// Only current grades are edited with the mouse: a click on a grade of the past is swallowed.
bool TfrmGrade::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (isEditing() && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && cdsData->isActive()) {
        for (int band : {0, 1}) {
            QTreeView *view = cxGridList->bandView(band);
            if (watched != view->viewport()) continue;
            const QModelIndex at = view->indexAt(static_cast<QMouseEvent *>(event)->position().toPoint());
            const int row = at.isValid() ? cxGridList->gridModel()->sourceRow(at.row()) : -1;
            if (row >= 0 && cdsData->valueAt(row, cdsData->fieldIndex(u"bCurGrade")).toString() != u"Y") return true;
        }
    }
    return TBaseBatch::eventFilter(watched, event);
}

void TfrmGrade::btnInitGradeClick()
{
    if (!cdsData->isActive() || edYear->cleanText().trimmed().isEmpty()) return;
    const int year = edYear->value();
    cxGridList->postEdit();
    if (cdsData->state() != DataSetState::Browse) cdsData->post();
    const Bookmark here = cdsGradeNames->bookmark();
    {
        FrozenControls frozen(*cdsData);
        // Each section starts again at the year: its first grade is that year's intake, and
        // every further grade level one intake earlier.
        int intake = year;
        QString section;
        bool first = true;
        cdsGradeNames->first();
        while (!cdsGradeNames->eof()) {
            const QString key = cdsGradeNames->value(u"sKeyId").toString(), type = cdsGradeNames->value(u"sType").toString();
            if (first || type != section) intake = year;
            first = false;
            section = type;
            if (!cdsData->locate(QStringLiteral("InYear;GradeCode"), {intake, key})) {
                cdsData->append();
                cdsData->setValue(u"GradeCode", key);
                cdsData->setValue(u"InYear", intake);
                cdsData->setValue(u"sYear", SchoolYearText(year));
                cdsData->setValue(u"bCurGrade", QStringLiteral("Y"));
                cdsData->post();
            }
            cdsGradeNames->next();
            if (!cdsGradeNames->eof() && cdsGradeNames->value(u"sKeyId").toString().left(2) != key.left(2)) --intake;
        }
    }
    if (here >= 0) cdsGradeNames->gotoBookmark(here);
}

void TfrmGrade::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    const QString grade = cdsData->value(u"GradeCode").toString();
    const qint64 year = cdsData->value(u"InYear").toLongLong();
    for (const auto &[query, refusal] : {std::pair{&protocol::QGradeSubjects, QStringLiteral("已设置此年级科目数据，不能删除！")},
                                         std::pair{&protocol::QGradeClasses, QStringLiteral("已设置此年级班级数据，不能删除！")}}) {
        DataSet used;
        if (const CallResult r = loadTable(used, *query, {in(pub::schoolId()), var(year), in(grade), var()}); !r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
        if (!used.isEmpty()) {
            pub::msgHint(refusal, this);
            return;
        }
    }
    TBaseBatch::DeleteRecord();
}

bool TfrmGrade::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    {
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            if (cdsData->updateStatus() != RowStatus::Inserted) continue;
            cdsData->edit();
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            cdsData->post();
        }
        if (here >= 0) cdsData->gotoBookmark(here);
    }
    return sendOrganisationChanges(
        this, *cdsData, protocol::UpGrade,
        {QStringLiteral("正在提交保存年级数据......"), QStringLiteral("修改保存年级数据"), QStringLiteral("编辑年级数据 "), QString(), true});
}

} // namespace lumeko::achieve
