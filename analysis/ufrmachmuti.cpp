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
constexpr int kExamRole = Qt::UserRole + 1;

bool sameExam(const ChosenExam &a, const ChosenExam &b)
{
    return a.gradeCode == b.gradeCode && a.examCode == b.examCode && a.pageName == b.pageName;
}
} // namespace

TfrmAchMuti::TfrmAchMuti(QWidget *parent) : TfrmAchieveCompare(parent)
{
    setWindowTitle(QStringLiteral("班级进退分析"));
    m_defaultItems = QString::fromLatin1(kMutiItemsDefault);
    setCheckStates(clbItems, statesOf(m_defaultItems, 21));
    cdsSubjects = new DataSet(this);
    cdsSubjectPt = new DataSet(this);
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

    // Above the items: the exams; beside the range: the subjects.
    auto *layout = qobject_cast<QVBoxLayout *>(this->layout());
    layout->insertWidget(0, exams, 1);
    if (auto *body = qobject_cast<QHBoxLayout *>(layout->itemAt(2)->layout())) body->insertWidget(1, subjects);

    connect(rbGrade, &QRadioButton::toggled, this, [this] { loadExams(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { addChosen(lbExams->currentItem()); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { removeChosen(lbChosen->currentItem()); });
    connect(lbExams, &QListWidget::itemDoubleClicked, this, &TfrmAchMuti::addChosen);
    connect(lbChosen, &QListWidget::itemDoubleClicked, this, &TfrmAchMuti::removeChosen);
    connect(btnUp, &QPushButton::clicked, this, [this] { moveChosen(-1); });
    connect(btnDown, &QPushButton::clicked, this, [this] { moveChosen(1); });
    disconnect(btnOK, &QPushButton::clicked, nullptr, nullptr);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchMuti::btnOKMutiClick);
}

ChosenExam TfrmAchMuti::examOf(const QListWidgetItem *item)
{
    const QStringList k = item->data(kExamRole).toStringList();
    return {k.value(0), k.value(1), k.value(2), item->text()};
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

    loadExams();
    // The current exam is always compared.
    for (int i = 0; i < lbExams->count(); ++i)
        if (isCurrent(examOf(lbExams->item(i)))) {
            addChosen(lbExams->item(i));
            break;
        }

    setCheckStates(clbItems, statesOf(m_defaultItems, 21));
    CompareChoice choice;
    if (restoreChoice(&choice) && choice.hasSubjects)
        for (int i = 0; i < clbSubjects->count(); ++i)
            clbSubjects->item(i)->setCheckState(choice.subjects.contains(clbSubjects->item(i)->data(Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
    return true;
}

void TfrmAchMuti::loadExams()
{
    lbExams->clear();
    pub::WaitIndicator wait(this, QStringLiteral("正在读取数据......"));
    DataSet exams;
    const bool intake = rbIntake->isChecked();
    const QString grade = intake ? Exam.gradeCode.left(1) : Exam.gradeCode;
    const CallResult r = loadTable(exams, protocol::QSameExamList, {in(pub::schoolId()), var(qint64(Exam.inYear)), intake ? in(grade) : var(grade)});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return;
    }
    DataSet names;
    names.setData(pub::gradeNames());
    // One exam is one grade, code and page: consecutive rows of those three are one.
    QList<ChosenExam> chosen = ChosenExams();
    for (exams.first(); !exams.eof(); exams.next()) {
        const ChosenExam e{exams.value(u"GradeCode").toString(), exams.value(u"ExamCode").toString(), exams.value(u"PageName").toString(), {}};
        bool listed = false;
        for (int i = 0; i < lbExams->count() && !listed; ++i)
            listed = sameExam(examOf(lbExams->item(i)), e);
        if (listed) continue;
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {e.gradeCode}) ? names.value(u"sValue").toString() : QString();
        const QString examName = exams.value(u"ExamName").toString();
        auto *item = new QListWidgetItem(gradeName.isEmpty() ? examName : gradeName + u'.' + examName, lbExams);
        item->setData(kExamRole, QStringList{e.gradeCode, e.examCode, e.pageName});
        for (const ChosenExam &c : chosen)
            if (sameExam(c, e)) item->setHidden(true);
    }
}

QList<ChosenExam> TfrmAchMuti::ChosenExams() const
{
    QList<ChosenExam> out;
    for (int i = 0; i < lbChosen->count(); ++i)
        out << examOf(lbChosen->item(i));
    return out;
}

void TfrmAchMuti::addChosen(QListWidgetItem *item)
{
    if (!item || item->isHidden()) return;
    auto *copy = new QListWidgetItem(item->text(), lbChosen);
    copy->setData(kExamRole, item->data(kExamRole));
    item->setHidden(true);
    lbChosen->setCurrentItem(copy);
}

void TfrmAchMuti::removeChosen(QListWidgetItem *item)
{
    if (!item) return;
    const ChosenExam e = examOf(item);
    if (isCurrent(e)) {
        pub::msgWarn(QStringLiteral("对不起，此次对比考试不能取消！"), this);
        return;
    }
    for (int i = 0; i < lbExams->count(); ++i)
        if (sameExam(examOf(lbExams->item(i)), e)) lbExams->item(i)->setHidden(false);
    delete lbChosen->takeItem(lbChosen->row(item));
}

void TfrmAchMuti::moveChosen(int by)
{
    const int row = lbChosen->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= lbChosen->count()) return;
    QListWidgetItem *item = lbChosen->takeItem(row);
    lbChosen->insertItem(to, item);
    lbChosen->setCurrentRow(to);
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
