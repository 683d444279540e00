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
constexpr int kExamRole = Qt::UserRole + 1;

QVariant examData(const ProgressExam &e)
{
    return QStringList{e.gradeCode, e.examCode, e.pageName, e.examName};
}
ProgressExam examOf(const QListWidgetItem *item)
{
    const QStringList k = item->data(kExamRole).toStringList();
    return {k.value(0), k.value(1), k.value(2), k.value(3), 0};
}
bool sameExam(const ProgressExam &a, const ProgressExam &b)
{
    return a.gradeCode == b.gradeCode && a.examCode == b.examCode && a.pageName == b.pageName;
}
} // namespace

TfrmAchieveUpDown::TfrmAchieveUpDown(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("成绩进退分析"));
    rbGrade = new QRadioButton(QStringLiteral("本年级考试"), this);
    rbIntake = new QRadioButton(QStringLiteral("本届所有年级考试"), this);
    rbGrade->setChecked(true);
    lbExams = new QListWidget(this);
    lbChosen = new QListWidget(this);
    btnAdd = new QPushButton(QStringLiteral("==>"), this);
    btnRemove = new QPushButton(QStringLiteral("<=="), this);
    btnUp = new QPushButton(QStringLiteral("↑上移"), this);
    btnDown = new QPushButton(QStringLiteral("↓下移"), this);
    clbSubjects = new QListWidget(this);
    chkScore = new QCheckBox(QStringLiteral("成绩"), this);
    chkRank = new QCheckBox(QStringLiteral("排名"), this);
    chkProgress = new QCheckBox(QStringLiteral("进退"), this);
    // 成绩 and 进退 ticked, 排名 not.
    chkScore->setChecked(true);
    chkProgress->setChecked(true);

    auto *exams = new QGroupBox(QStringLiteral("对比考试"), this);
    auto *eg = new QGridLayout(exams);
    auto *source = new QHBoxLayout;
    source->addWidget(rbGrade);
    source->addWidget(rbIntake);
    source->addStretch(1);
    eg->addLayout(source, 0, 0, 1, 3);
    eg->addWidget(lbExams, 1, 0, 4, 1);
    eg->addWidget(btnAdd, 1, 1);
    eg->addWidget(btnRemove, 2, 1);
    eg->addWidget(btnUp, 3, 1);
    eg->addWidget(btnDown, 4, 1);
    auto *chosen = new QGroupBox(QStringLiteral("已选考试"), exams);
    (new QVBoxLayout(chosen))->addWidget(lbChosen);
    eg->addWidget(chosen, 1, 2, 4, 1);

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

    connect(rbGrade, &QRadioButton::toggled, this, [this] { loadExams(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { addChosen(lbExams->currentItem()); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { removeChosen(lbChosen->currentItem()); });
    connect(lbExams, &QListWidget::itemDoubleClicked, this, &TfrmAchieveUpDown::addChosen);
    connect(lbChosen, &QListWidget::itemDoubleClicked, this, &TfrmAchieveUpDown::removeChosen);
    connect(btnUp, &QPushButton::clicked, this, [this] { moveChosen(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { moveChosen(1); });
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveUpDown::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmAchieveUpDown::isCurrent(const ProgressExam &e) const
{
    return sameExam(e, ProgressExam{Exam.gradeCode, Exam.examCode, Exam.pageName, {}, 0});
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

    loadExams();
    for (int i = 0; i < lbExams->count(); ++i)
        if (isCurrent(examOf(lbExams->item(i)))) {
            addChosen(lbExams->item(i));
            break;
        }
    return true;
}

// The exams of the grade, or of every grade of the intake, as the server lists them: the earliest
// first. Those already chosen stay chosen and are hidden here.
void TfrmAchieveUpDown::loadExams()
{
    lbExams->clear();
    m_offered.clear();
    DataSet list;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在读取数据......"));
        const QString grade = rbIntake->isChecked() ? Exam.gradeCode.left(1) : Exam.gradeCode;
        if (const CallResult r = loadTable(list, protocol::QExamList, {in(pub::schoolId()), in(grade), var(qint64(Exam.inYear)), var()}); !r.ok()) {
            reportFailure(this, windowTitle(), r, Failure::Read);
            return;
        }
    }
    DataSet names;
    names.setData(pub::gradeNames());
    m_offered = progressExams(list.data());
    const QList<ProgressExam> chosen = ChosenExams();
    for (const ProgressExam &e : m_offered) {
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {e.gradeCode}) ? names.value(u"sValue").toString() : QString();
        auto *item = new QListWidgetItem(progressExamCaption(e, gradeName), lbExams);
        item->setData(kExamRole, examData(e));
        for (const ProgressExam &c : chosen)
            if (sameExam(c, e)) item->setHidden(true);
    }
}

QList<ProgressExam> TfrmAchieveUpDown::ChosenExams() const
{
    QList<ProgressExam> out;
    for (int i = 0; i < lbChosen->count(); ++i)
        out << examOf(lbChosen->item(i));
    return out;
}

void TfrmAchieveUpDown::addChosen(QListWidgetItem *item)
{
    if (!item || item->isHidden()) return;
    const int at = chosenInsertPosition(ChosenExams(), examOf(item), m_offered);
    auto *copy = new QListWidgetItem(item->text());
    copy->setData(kExamRole, item->data(kExamRole));
    lbChosen->insertItem(at, copy);
    item->setHidden(true);
    lbChosen->setCurrentItem(copy);
}

void TfrmAchieveUpDown::removeChosen(QListWidgetItem *item)
{
    if (!item) return;
    const ProgressExam e = examOf(item);
    if (isCurrent(e)) {
        pub::msgWarn(QStringLiteral("对不起，此次对比考试不能取消！"), this);
        return;
    }
    for (int i = 0; i < lbExams->count(); ++i)
        if (sameExam(examOf(lbExams->item(i)), e)) lbExams->item(i)->setHidden(false);
    delete lbChosen->takeItem(lbChosen->row(item));
}

void TfrmAchieveUpDown::moveChosen(int by)
{
    const int row = lbChosen->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= lbChosen->count()) return;
    QListWidgetItem *item = lbChosen->takeItem(row);
    lbChosen->insertItem(to, item);
    lbChosen->setCurrentRow(to);
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
