#include "analysis/ufrmachieveupdown.h"

#include "analysis/analysiscall.h"
#include "framework/editcycle.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "toolkit/data/dataset.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {
const QString kNoPage = QStringLiteral("⊥");
} // namespace

TfrmAchieveUpDown::TfrmAchieveUpDown(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("成绩进退分析"));
    Chooser = new ExamChooser(this);
    Chooser->keepHeldOrder = true;
    Chooser->source = [this](bool intake) { return examsToCompare(intake); };
    rbGrade = Chooser->rbGrade;
    rbIntake = Chooser->rbIntake;
    lbExams = Chooser->lbExams;
    lbChosen = Chooser->lbChosen;
    btnAdd = Chooser->btnAdd;
    btnRemove = Chooser->btnRemove;
    btnUp = Chooser->btnUp;
    btnDown = Chooser->btnDown;
    clbSubjects = new QListWidget(this);
    chkScore = new QCheckBox(QStringLiteral("成绩"), this);
    chkRank = new QCheckBox(QStringLiteral("排名"), this);
    chkProgress = new QCheckBox(QStringLiteral("进退"), this);
    // 成绩 and 进退 ticked, 排名 not.
    chkScore->setChecked(true);
    chkProgress->setChecked(true);

    auto *exams = new QGroupBox(QStringLiteral("对比考试"), this);
    (new QVBoxLayout(exams))->addWidget(Chooser);

    auto *subjects = new QGroupBox(QStringLiteral("对比科目"), this);
    (new QVBoxLayout(subjects))->addWidget(clbSubjects);
    auto *items = new QGroupBox(QStringLiteral("对比项目"), this);
    auto *il = new QVBoxLayout(items);
    for (QCheckBox *c : {chkScore, chkRank, chkProgress})
        il->addWidget(c);
    il->addStretch(1);
    auto *lower = new QHBoxLayout;
    lower->addWidget(subjects, 1);
    lower->addWidget(items);

    auto *buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(exams, 1);
    layout->addLayout(lower);
    layout->addWidget(buttons);
    resize(620, 520);

    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveUpDown::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmAchieveUpDown::InitForm()
{
    Exam = readAnalysisParams(Params);
    const QString school = pub::schoolId();
    DataSet names, fixed;
    CallResult r = loadTable(names, protocol::QSubjects, {in(school), in(Exam.gradeCode), var(qint64(Exam.inYear)), var()});
    if (r.ok()) r = loadTable(fixed, protocol::QFieldsByTable, {in(QStringLiteral("XT_Temp")), var()});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    m_fixedColumns = fixed.data();

    // The subjects the score page offers, then the totals for those who may see them.
    QStringList codes = Exam.subjectCodes;
    if (Exam.pageName == kNoPage && (pub::userType() == 1 || functionKeys(4011).contains(QStringLiteral("ViewTotal")))) codes = withTotals(codes);
    QStringList captions, keys;
    for (const QString &code : codes) {
        QString name = totalCaption(code);
        if (name.isEmpty()) name = names.isActive() && names.locate(QStringLiteral("SubjectCode"), {code}) ? names.value(u"SubjectName").toString() : code;
        captions << name;
        keys << code;
    }
    addCheckItems(clbSubjects, captions, QList<bool>(captions.size(), true), keys);

    Chooser->current = ChosenExam{Exam.gradeCode, Exam.examCode, Exam.pageName, {}};
    Chooser->load();
    return true;
}

// The exams of the grade, or of every grade of the intake, as the server lists them: the earliest
// first.
std::optional<QList<ChosenExam>> TfrmAchieveUpDown::examsToCompare(bool intake)
{
    DataSet list;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在读取数据......"));
        const QString grade = intake ? Exam.gradeCode.left(1) : Exam.gradeCode;
        if (const CallResult r = loadTable(list, protocol::QExamList, {in(pub::schoolId()), in(grade), var(qint64(Exam.inYear)), var()}); !r.ok()) {
            reportFailure(this, windowTitle(), r, Failure::Read);
            return std::nullopt;
        }
    }
    DataSet names;
    names.setData(pub::gradeNames());
    QList<ChosenExam> out;
    for (const ProgressExam &e : progressExams(list.data())) {
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {e.gradeCode}) ? names.value(u"sValue").toString() : QString();
        out.append({e.gradeCode, e.examCode, e.pageName, progressExamCaption(e, gradeName)});
    }
    return out;
}

QList<ProgressExam> TfrmAchieveUpDown::ChosenExams() const
{
    QList<ProgressExam> out;
    for (const ChosenExam &e : Chooser->chosen())
        out.append({e.gradeCode, e.examCode, e.pageName, e.label, 0});
    return out;
}

ProgressItems TfrmAchieveUpDown::Items() const
{
    return {chkScore->isChecked(), chkRank->isChecked(), chkProgress->isChecked()};
}

QList<ProgressSubject> TfrmAchieveUpDown::Subjects() const
{
    QList<ProgressSubject> out;
    for (int i = 0; i < clbSubjects->count(); ++i)
        if (clbSubjects->item(i)->checkState() == Qt::Checked) out.append({clbSubjects->item(i)->data(Qt::UserRole).toString(), clbSubjects->item(i)->text()});
    return out;
}

void TfrmAchieveUpDown::btnOKClick()
{
    const QList<ProgressSubject> subjects = Subjects();
    const QList<ProgressExam> exams = ChosenExams();
    if (const QString problem = progressProblem(Items(), int(exams.size()), int(subjects.size())); !problem.isEmpty()) {
        pub::msgHint(problem, this);
        return;
    }
    QStringList codes;
    for (const ProgressSubject &s : subjects)
        codes << s.code;
    SubjectListText = codes.join(u',');
    ExamListText = progressExamList(exams);
    Columns = progressColumns(m_fixedColumns, subjects, Items(), int(exams.size()));
    accept();
}

} // namespace lumeko::achieve
