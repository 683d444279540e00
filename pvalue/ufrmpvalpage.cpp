#include "pvalue/ufrmpvalpage.h"

#include "domain/examstatistics.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "pvalue/ufrmcalepval.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("P值");
const QString kNoPage = QStringLiteral("⊥");

// The columns the page works out from a record's counts, by the ending of their names.
enum class Rate { Average, Percent, PerEntry };

std::optional<Rate> rateOf(const QString &field)
{
    if (field.endsWith(QStringLiteral("_Avg"), Qt::CaseInsensitive)) return Rate::Average;
    if (field.endsWith(QStringLiteral("_Pre"), Qt::CaseInsensitive)) return Rate::Percent;
    if (field.endsWith(QStringLiteral("_Pas"), Qt::CaseInsensitive)) return Rate::PerEntry;
    return std::nullopt;
}

// A rate of the row: its count over the cohort (应参加人数 + 辍学生数; times the number of
// all-subject entries for a per-entry rate), to two decimals; empty while there is nothing to
// divide by or nothing counted yet.
QVariant rateValue(const DataSet &d, Bookmark slot, const QString &base, Rate rate)
{
    const int count = d.fieldIndex(base), mast = d.fieldIndex(u"nMastNums"), leave = d.fieldIndex(u"nLeaveNums");
    if (count < 0 || mast < 0 || leave < 0) return {};
    const QVariant n = d.slotValue(slot, count), m = d.slotValue(slot, mast), l = d.slotValue(slot, leave);
    if (wire::isNull(n) || wire::isNull(m) || wire::isNull(l)) return {};
    double cohort = m.toDouble() + l.toDouble();
    if (rate == Rate::PerEntry) {
        const int ten = d.fieldIndex(u"sSubjects10");
        cohort *= ten < 0 ? 0 : double(d.slotValue(slot, ten).toString().split(u',', Qt::SkipEmptyParts).size());
    }
    if (cohort <= 0) return {};
    const double value = n.toDouble() / cohort * (rate == Rate::Average ? 1 : 100);
    return domain::roundForReport(value);
}

// Which exam of the chosen grade a new evaluation is of: a list of its school-wide exams.
class ExamChoice : public QDialog {
public:
    ExamChoice(QWidget *owner, DataSet &exams) : QDialog(owner)
    {
        setObjectName(QStringLiteral("PValExamChoice"));
        setWindowTitle(QStringLiteral("选择考试"));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("请选择计算P值的考试："), this));
        list = new QListWidget(this);
        for (exams.first(); !exams.eof(); exams.next()) {
            auto *item = new QListWidgetItem(exams.value(u"ExamName").toString(), list);
            item->setData(Qt::UserRole, exams.value(u"ExamCode"));
        }
        list->setCurrentRow(0);
        layout->addWidget(list);
        auto *buttons = new QDialogButtonBox(this);
        buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
        layout->addWidget(buttons);
        applyHostLook(this, false);
    }
    QListWidget *list;
};

} // namespace

TfrmPValPage::TfrmPValPage(QWidget *parent) : TBasePage(parent)
{
    Tag = 4032;
    FieldsTable = QStringLiteral("CJ_ZLPG_P");
    setWindowTitle(kCaption);
    cdsDetail = new DataSet(this);
    cdsSchoolInfo = new DataSet(this);

    // The records above, the current record's entries below.
    GridDetail = new BandedGrid(this);
    GridDetail->setDataSet(cdsDetail);
    GridDetail->setGroupByBoxVisible(false);
    GridDetail->setFooterVisible(false);
    GridDetail->setReadOnly(true);
    GridDetail->setBandCaption(1, QStringLiteral("全科科目及格情况"));
    QList<GridColumn> columns{GridColumn::of("nRow", "序号", 48, true), GridColumn::of("sItem", "全科科目", 160, true),
                              GridColumn::of("nValue", "及格人数", 80, true), GridColumn::of("nPercent", "及格率(%)", 96, true)};
    columns[2].displayFormat = QStringLiteral("0");
    columns[3].displayFormat = QStringLiteral("0.00");
    GridDetail->setColumns(columns);
    auto *split = new QSplitter(Qt::Vertical, this);
    delete layout()->replaceWidget(GridData, split);
    split->addWidget(GridData);
    split->addWidget(GridDetail);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    // The grid is never edited: these commands each run a dialog of their own.
    acInsert->setText(QStringLiteral("新增"));
    acInsert->setStatusTip(QStringLiteral("新增一次考试的P值计算"));
    acDelete->setText(QStringLiteral("删除"));
    acDelete->setStatusTip(QStringLiteral("删除选中行的P值数据"));
    acReCal = new QAction(pub::styleIcon(QStringLiteral("Cal")), QStringLiteral("重算"), this);
    acReCal->setStatusTip(QStringLiteral("重新计算选中行的P值"));
    setActionTag(acReCal, 2);
    addAction(acReCal);
    tlbTools->insertAction(acSave, acReCal);
    for (QAction *a : {acEdit, acSave, acCancel})
        a->setVisible(false);
    connect(acReCal, &QAction::triggered, this, &TfrmPValPage::acReCalExecute);
    connect(cdsData, &DataSet::currentChanged, this, [this] {
        if (!cdsData->controlsDisabled()) loadDetail();
    });
}

QString TfrmPValPage::keyText() const
{
    const int inYear = Params.value(0).trimmed().toInt();
    if (inYear < 1) return {};
    return QStringList{QString::number(inYear), Params.value(1).trimmed(), Params.value(2).trimmed()}.join(u',');
}

QString TfrmPValPage::GetLocateFields() const
{
    return QStringLiteral("ExamName-计算考试,SCreater-创建人,sTypes-统计范围");
}

// A calculated field for every rate column the definitions name.
void TfrmPValPage::addComputedFields()
{
    for (cdsFields->first(); !cdsFields->eof(); cdsFields->next()) {
        const QString name = cdsFields->value(u"sFldName").toString();
        const std::optional<Rate> rate = rateOf(name);
        if (!rate || cdsData->fieldIndex(name) >= 0) continue;
        const QString base = name.left(name.size() - 4);
        cdsData->addField({name, wire::FieldType::Float, 0, 0}, FieldKind::Calculated,
                          [base, r = *rate](const DataSet &d, Bookmark slot) { return rateValue(d, slot, base, r); });
    }
}

void TfrmPValPage::InitPage()
{
    {
        pub::WaitIndicator wait(this);
        CallResult r = loadFieldDefinitions();
        if (r.ok()) r = loadTable(*cdsSchoolInfo, protocol::QSchoolInfo, {in(pub::schoolId()), var()});
        m_listsLoaded = r.ok();
        if (!r.ok()) reportFailure(this, kCaption, r, Failure::Read);
    }
    if (cdsFields->isActive()) addComputedFields();
    TBasePage::InitPage();
}

// The definitions' columns arranged for reading: the exam and its P value fixed on the left, the
// exam by its own name, grades by name, two decimals for the rates and P, nothing to type into.
// Done before the user's own layout is put back, which wins.
void TfrmPValPage::BuildColumns()
{
    TBasePage::BuildColumns();
    const wire::DataPacket grades = pub::gradeNames();
    QList<LookupItem> gradeNames;
    const int key = grades.fieldIndex(QStringLiteral("sKeyId")), value = grades.fieldIndex(QStringLiteral("sValue"));
    for (qsizetype r = 0; key >= 0 && value >= 0 && r < grades.rowCount(); ++r)
        gradeNames.append({grades.value(r, key), grades.value(r, value).toString()});
    const QStringList leading = {"InYear", "GradeCode", "ExamCode", "NP"};
    QList<GridColumn> fixed, others;
    for (GridColumn col : GridData->columns()) {
        col.tag = 1;
        col.band = 1;
        if (rateOf(col.field) || col.field.compare(u"NP", Qt::CaseInsensitive) == 0)
            col.displayFormat = QStringLiteral("0.00");
        else if (col.field.compare(u"NP1", Qt::CaseInsensitive) == 0)
            col.displayFormat = QStringLiteral("0.0000");
        else if (col.field.compare(u"GradeCode", Qt::CaseInsensitive) == 0)
            col.lookup = gradeNames;
        else if (col.field.compare(u"ExamCode", Qt::CaseInsensitive) == 0)
            col.field = QStringLiteral("ExamName");
        const qsizetype at = leading.indexOf(col.field == u"ExamName" ? QStringLiteral("ExamCode") : col.field);
        if (at < 0) {
            others << col;
            continue;
        }
        col.band = 0;
        fixed << col;
    }
    std::sort(fixed.begin(), fixed.end(), [&](const GridColumn &a, const GridColumn &b) {
        const auto rank = [&](const GridColumn &c) { return leading.indexOf(c.field == u"ExamName" ? QStringLiteral("ExamCode") : c.field); };
        return rank(a) < rank(b);
    });
    GridData->setColumns(fixed + others);
}

// The campus shows in a school of two campuses when a record is of one of them; the server's
// records are of the whole school and name none.
void TfrmPValPage::showCampusColumn()
{
    const int c = GridData->columnOfField(QStringLiteral("sArea"));
    if (c < 0) return;
    cdsSchoolInfo->first();
    const bool twoCampuses = cdsSchoolInfo->isActive() && !cdsSchoolInfo->isEmpty() && cdsSchoolInfo->value(u"bHasSub").toBool();
    bool anyCampus = false;
    const int area = cdsData->fieldIndex(u"sArea");
    for (qsizetype r = 0; area >= 0 && r < cdsData->recordCount(); ++r)
        anyCampus = anyCampus || !cdsData->valueAt(r, area).toString().isEmpty();
    GridColumn col = GridData->column(c);
    col.visible = twoCampuses && anyCampus;
    if (twoCampuses)
        col.lookup = {{cdsSchoolInfo->value(u"sMainCap"), cdsSchoolInfo->value(u"sMainCap").toString()},
                      {cdsSchoolInfo->value(u"sSubCap"), cdsSchoolInfo->value(u"sSubCap").toString()}};
    GridData->updateColumn(c, col);
}

void TfrmPValPage::SetReadOnly(bool readOnly)
{
    TBasePage::SetReadOnly(true);
    // Browsing only; adding, computing again and deleting go through the dialog and the server,
    // for those who may compute P values.
    for (QAction *a : {acEdit, acSave, acCancel})
        a->setEnabled(false);
    const bool manager = pub::userType() == 1 || Rights.contains(QStringLiteral("Manager"));
    for (QAction *a : {acInsert, acDelete, acReCal})
        a->setEnabled(manager && m_listsLoaded);
    Q_UNUSED(readOnly);
}

void TfrmPValPage::LoadData()
{
    {
        pub::WaitIndicator wait(this);
        const CallResult r = loadTable(*cdsData, protocol::QPVal, {in(pub::schoolId()), in(keyText()), in(qint64(0))});
        if (!r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
    }
    cdsData->first();
    m_detailOf = -1;
    loadDetail();
    showCampusColumn();
    // The columns fit the first rows to arrive, unless the user keeps a layout of his own.
    if (!m_fitted && !(SaveLayout && QFileInfo::exists(layoutFile()))) {
        acAutoSizeExecute();
        GridDetail->bestFit();
    }
    m_fitted = true;
}

// The detail rows of the current record (of none: an empty list with its fields).
void TfrmPValPage::loadDetail()
{
    const qint64 nid = cdsData->isActive() && !cdsData->isEmpty() ? cdsData->value(u"NID").toLongLong() : 0;
    if (nid == m_detailOf) return;
    const CallResult r = loadTable(*cdsDetail, protocol::QPValDetail, {in(pub::schoolId()), in(nid)});
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    m_detailOf = nid;
}

void TfrmPValPage::InsertRecord()
{
    pub::showOpenDialog(this, QStringLiteral("0"));
    const QStringList grade = splitCommaText(pub::params());
    if (grade.isEmpty() || grade.value(0) == u"CANCEL" || grade.value(1).trimmed().size() != 4) return;
    const qint64 inYear = grade.value(0).trimmed().toLongLong();
    const QString gradeCode = grade.value(1).trimmed();
    DataSet exams;
    if (const CallResult r = loadTable(exams, protocol::QExamTotal, {in(pub::schoolId()), in(gradeCode), in(QString()), in(kNoPage), var(inYear), var()});
        !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    // School-wide exams only: a teacher's unit exam is no school's evaluation.
    QList<QVariantList> rows;
    for (exams.first(); !exams.eof(); exams.next())
        if (exams.value(u"PageName").toString() == kNoPage) rows << QVariantList{exams.value(u"ExamCode"), exams.value(u"ExamName")};
    if (rows.isEmpty()) {
        pub::msgHint(QStringLiteral("此年级尚未定义考试！"), this);
        return;
    }
    DataSet list;
    list.createTable({{QStringLiteral("ExamCode"), wire::FieldType::Text, 3, 0}, {QStringLiteral("ExamName"), wire::FieldType::Text, 40, 0}});
    for (const QVariantList &row : rows)
        list.appendRecord(row);
    ExamChoice choice(dialogOwner(this), list);
    if (runModal(choice) != QDialog::Accepted || !choice.list->currentItem()) return;
    const QString examCode = choice.list->currentItem()->data(Qt::UserRole).toString();
    const QStringList params{QString::number(inYear), gradeCode, examCode};
    if (runCalePVal(dialogOwner(this), params, Roster) != 1) return;
    // A page of one exam follows to the exam just computed; a page of the whole school stays.
    if (!keyText().isEmpty()) Params = params;
    LoadData();
}

void TfrmPValPage::acReCalExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || cdsData->recNo() < 0) {
        pub::msgHint(QStringLiteral("请选择重算P值配置行！"), this);
        return;
    }
    const QStringList params{cdsData->value(u"InYear").toString(), cdsData->value(u"GradeCode").toString(), cdsData->value(u"ExamCode").toString()};
    runCalePVal(dialogOwner(this), params, Roster);
    LoadData();
}

void TfrmPValPage::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || cdsData->recNo() < 0) {
        pub::msgHint(QStringLiteral("请选择要删除的P值数据行！"), this);
        return;
    }
    if (pub::msgConfirm(QStringLiteral("您确定要删除此行P值数据吗？"), this) != 1) return;
    const qint64 nid = cdsData->value(u"NID").toLongLong();
    const QString what =
        QStringLiteral("%1级%2 %3").arg(cdsData->value(u"InYear").toString(), cdsData->value(u"GradeCode").toString(), cdsData->value(u"ExamCode").toString());
    QList<wire::Argument> args{in(pub::schoolId()), in(nid)};
    const CallResult r = callServer(protocol::DelPVal, args);
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Save);
        return;
    }
    WriteOperationLog(QStringLiteral("删除P值 ") + what + QStringLiteral(" 成功！"));
    LoadData();
}

} // namespace lumeko::achieve
