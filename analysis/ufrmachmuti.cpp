#include "analysis/ufrmachmuti.h"

#include "analysis/analysiscall.h"
#include "framework/editcycle.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {
const QString kNoPage = QStringLiteral("⊥");
} // namespace

TfrmAchMuti::TfrmAchMuti(QWidget *parent) : TfrmAchieveCompare(parent)
{
    setWindowTitle(QStringLiteral("班级进退分析"));
    m_defaultItems = QString::fromLatin1(kMutiItemsDefault);
    setCheckStates(clbItems, statesOf(m_defaultItems, 21));
    cdsSubjects = new DataSet(this);
    cdsSubjectPt = new DataSet(this);
    Chooser = new ExamChooser(this);
    rbGrade = Chooser->rbGrade;
    rbIntake = Chooser->rbIntake;
    lbExams = Chooser->lbExams;
    lbChosen = Chooser->lbChosen;
    btnAdd = Chooser->btnAdd;
    btnRemove = Chooser->btnRemove;
    btnUp = Chooser->btnUp;
    btnDown = Chooser->btnDown;
    Chooser->source = [this](bool intake) { return examsToCompare(intake); };
    clbSubjects = new QListWidget(this);

    auto *exams = new QGroupBox(QStringLiteral("对比考试"), this);
    (new QVBoxLayout(exams))->addWidget(Chooser);
    auto *subjects = new QGroupBox(QStringLiteral("对比科目"), this);
    (new QVBoxLayout(subjects))->addWidget(clbSubjects);

    // Above the items: the exams; beside the range: the subjects.
    auto *layout = qobject_cast<QVBoxLayout *>(this->layout());
    layout->insertWidget(0, exams, 1);
    if (auto *body = qobject_cast<QHBoxLayout *>(layout->itemAt(2)->layout())) body->insertWidget(1, subjects);

    disconnect(btnOK, &QPushButton::clicked, nullptr, nullptr);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchMuti::btnOKMutiClick);
}

bool TfrmAchMuti::isCurrent(const ChosenExam &e) const
{
    return sameExam(e, ChosenExam{Exam.gradeCode, Exam.examCode, Exam.pageName, {}});
}

bool TfrmAchMuti::InitMuti()
{
    Exam = readAnalysisParams(Params);
    if (SettingsFile.isEmpty()) SettingsFile = userSettingsFile(QStringLiteral("AchMutiAnalysis.ini"));
    const QString school = pub::schoolId();
    CallResult r = loadTable(*cdsSubjects, protocol::QSubjects, {in(school), in(Exam.gradeCode), var(qint64(Exam.inYear)), var()});
    if (r.ok())
        r = loadTable(*cdsSubjectPt, protocol::QExamSubjectAllPt,
                      {in(school), in(Exam.gradeCode), in(Exam.examCode), var(Exam.pageName), var(qint64(Exam.inYear)), var()});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    if (!fillStudentRange(clbRange, false, this, windowTitle())) return false;

    // The current exam's subjects the score page offers, then its totals for those who see them.
    QStringList codes = Exam.subjectCodes;
    if (Exam.pageName == kNoPage && (pub::userType() == 1 || functionKeys(4011).contains(QStringLiteral("ViewTotal")))) codes = withTotals(codes);
    QStringList captions, keys;
    for (const QString &code : codes) {
        if (!cdsSubjectPt->locate(QStringLiteral("SubjectCode"), {code})) continue;
        QString name = totalCaption(code);
        if (name.isEmpty()) name = cdsSubjects->locate(QStringLiteral("SubjectCode"), {code}) ? cdsSubjects->value(u"SubjectName").toString() : code;
        captions << name;
        keys << code;
    }
    addCheckItems(clbSubjects, captions, QList<bool>(captions.size(), true), keys);

    // The current exam is always compared.
    Chooser->current = ChosenExam{Exam.gradeCode, Exam.examCode, Exam.pageName, {}};
    Chooser->load();

    setCheckStates(clbItems, statesOf(m_defaultItems, 21));
    CompareChoice choice;
    if (restoreChoice(&choice) && choice.hasSubjects)
        for (int i = 0; i < clbSubjects->count(); ++i)
            clbSubjects->item(i)->setCheckState(choice.subjects.contains(clbSubjects->item(i)->data(Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
    return true;
}

// The exams of the grade, or of every grade of the intake year, in the order they were held.
std::optional<QList<ChosenExam>> TfrmAchMuti::examsToCompare(bool intake)
{
    pub::WaitIndicator wait(this, QStringLiteral("正在读取数据......"));
    DataSet exams;
    const QString grade = intake ? Exam.gradeCode.left(1) : Exam.gradeCode;
    const CallResult r = loadTable(exams, protocol::QSameExamList, {in(pub::schoolId()), var(qint64(Exam.inYear)), intake ? in(grade) : var(grade)});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return std::nullopt;
    }
    DataSet names;
    names.setData(pub::gradeNames());
    QList<ChosenExam> out;
    for (exams.first(); !exams.eof(); exams.next()) {
        const QString code = exams.value(u"GradeCode").toString();
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {code}) ? names.value(u"sValue").toString() : QString();
        const QString examName = exams.value(u"ExamName").toString();
        out.append(
            {code, exams.value(u"ExamCode").toString(), exams.value(u"PageName").toString(), gradeName.isEmpty() ? examName : gradeName + u'.' + examName});
    }
    return out;
}

QList<ChosenExam> TfrmAchMuti::ChosenExams() const
{
    return Chooser->chosen();
}

QStringList TfrmAchMuti::SubjectCodes() const
{
    return checkedKeys(clbSubjects);
}

void TfrmAchMuti::btnOKMutiClick()
{
    if (SubjectCodes().isEmpty()) {
        pub::msgHint(QStringLiteral("请至少选择一项对比科目！"), this);
        return;
    }
    if (!checkChoice()) return;
    // Each exam is asked for the ticked subjects it has; one without any cannot be compared.
    ExamSubjects.clear();
    const QString school = pub::schoolId();
    for (const ChosenExam &e : ChosenExams()) {
        DataSet own;
        if (isCurrent(e)) {
            own.cloneFrom(*cdsSubjectPt);
        } else if (const CallResult r = loadTable(own, protocol::QExamSubjectAllPt,
                                                  {in(school), in(e.gradeCode), in(e.examCode), var(e.pageName), var(qint64(Exam.inYear)), var()});
                   !r.ok()) {
            reportFailure(this, windowTitle(), r, Failure::Read);
            return;
        }
        QStringList codes;
        bool total = false;
        for (const QString &code : SubjectCodes()) {
            if (isTotalSubject(code))
                total = true;
            else if (own.isActive() && own.locate(QStringLiteral("SubjectCode"), {code}))
                codes << code;
        }
        // The totals are asked for together; a unit exam keeps none.
        if (total && e.pageName == kNoPage) codes = withTotals(codes);
        if (codes.isEmpty()) {
            pub::msgHint(QStringLiteral("“%1”没有所选的对比科目，请重新选择！").arg(e.label), this);
            return;
        }
        ExamSubjects << codes;
    }
    CompareChoice c = currentChoice();
    c.subjects = SubjectCodes();
    c.hasSubjects = true;
    writeCompareChoice(SettingsFile, c);
    accept();
}

} // namespace lumeko::achieve
