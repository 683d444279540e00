#include "organisation/ufrmsubjectclass.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/ubasepage.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("科目教学班级");
} // namespace

TfrmSubjectClass::TfrmSubjectClass(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4007;
    setWindowTitle(kCaption);
    GridColumn tick = GridColumn::of("Selected", "选择", 50);
    tick.editor = EditorKind::Boolean;
    cxGridList->setColumns({tick, GridColumn::of("ClassName", "教学班级", 140, true), GridColumn::of("TeacherCode", "任课老师", 120)});
    // Whoever may open the grade's subjects sets who teaches them: editing needs no right here.
    TBasePage::setActionTag(acEdit, 0);
    acInsert->setVisible(false);
    acDelete->setVisible(false);

    lblGrade = new QLabel(pnlTitle);
    cbSubject = new QComboBox(pnlTitle);
    cbSubject->setMinimumWidth(120);
    auto *title = new QHBoxLayout(pnlTitle);
    title->setContentsMargins(8, 6, 8, 6);
    title->addWidget(lblGrade);
    title->addSpacing(16);
    title->addWidget(new QLabel(QStringLiteral("科目："), pnlTitle));
    title->addWidget(cbSubject);
    title->addStretch(1);
    pnlTitle->show();
    connect(cbSubject, &QComboBox::activated, this, [this] { LoadData(); });
    resize(520, 480);
}

QString TfrmSubjectClass::subjectCode() const
{
    return cbSubject->currentData().toString();
}

void TfrmSubjectClass::InitDialog()
{
    TBaseBatch::InitDialog();
    m_inYear = Params.value(0).trimmed().toInt();
    m_gradeCode = Params.value(1).trimmed().left(4);
    const QString gradeName = Params.value(2).trimmed();
    const QString subject = Params.size() > 4 ? Params.last().trimmed() : QString();
    lblGrade->setText(QStringLiteral("年级科目：%1级%2").arg(m_inYear).arg(gradeName.isEmpty() ? gradeNameOf(m_gradeCode) : gradeName));
    DataSet subjects;
    if (const CallResult r = loadTable(subjects, protocol::QGradeSubjectsSel, {in(pub::schoolId()), var(qint64(m_inYear)), in(m_gradeCode), var()}); !r.ok())
        reportFailure(this, kCaption, r, Failure::Read);
    cbSubject->clear();
    for (subjects.first(); subjects.isActive() && !subjects.eof(); subjects.next())
        if (subjects.value(u"Selected").toBool()) cbSubject->addItem(subjects.value(u"SubjectName").toString(), subjects.value(u"SubjectCode"));
    cbSubject->setCurrentIndex(std::max(0, cbSubject->findData(subject)));
    LoadData();
}

void TfrmSubjectClass::LoadData()
{
    pub::WaitIndicator wait(this);
    setLookup(*cxGridList, "TeacherCode", teacherLookup(this, kCaption));
    if (subjectCode().isEmpty()) return;
    if (const CallResult r =
            loadTable(*cdsData, protocol::QSubjectClass, {in(pub::schoolId()), in(m_gradeCode), in(subjectCode()), var(qint64(m_inYear)), var()});
        !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmSubjectClass::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    const int tick = cxGridList->columnOfField(QStringLiteral("Selected"));
    GridColumn c = cxGridList->column(tick);
    c.readOnly = readOnly;
    cxGridList->updateColumn(tick, c);
    cbSubject->setEnabled(readOnly);
}

bool TfrmSubjectClass::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    const QString subject = subjectCode();
    if (!cdsData->isActive() || cdsData->changeCount() == 0 || subject.isEmpty()) return true;
    DataSet stored;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在准备提交数据..."));
        if (const CallResult r = loadTable(stored, protocol::QCourseTable, {in(pub::schoolId()), var(qint64(m_inYear)), in(m_gradeCode), var()}); !r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return false;
        }
        acceptEmptyFields(stored);
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            const QString code = cdsData->value(u"ClassCode").toString();
            const bool has = stored.locate(QStringLiteral("SubjectCode;ClassCode"), {subject, code});
            if (!cdsData->value(u"Selected").toBool()) {
                if (has) stored.deleteRecord();
                continue;
            }
            if (has) {
                stored.edit();
            } else {
                stored.append();
                stored.setValue(u"SubjectCode", subject);
                stored.setValue(u"ClassCode", code);
                stored.setValue(u"InYear", m_inYear);
                stored.setValue(u"SchoolCode", pub::schoolId());
                stored.setValue(u"GradeCode", m_gradeCode);
            }
            stored.setValue(u"TeacherCode", cdsData->value(u"TeacherCode"));
            stored.post();
        }
        if (here >= 0) cdsData->gotoBookmark(here);
    }
    if (stored.changeCount() == 0) return true;
    markLoggedFields(stored, *cxGridList);
    for (const auto &[field, label] : {std::pair{"SubjectCode", "科目"}, std::pair{"ClassCode", "教学班级"}}) {
        FieldInfo &info = stored.fieldInfo(stored.fieldIndex(QString::fromLatin1(field)));
        info.tag = 2;
        info.displayLabel = QString::fromUtf8(label);
    }
    return sendOrganisationChanges(
        this, stored, protocol::UpCourseTable,
        {QStringLiteral("正在提交保存数据..."), QStringLiteral("修改保存年级教学班级数据"), QStringLiteral("科目教学班级定义："), QString(), false});
}

} // namespace lumeko::achieve
