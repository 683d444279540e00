#include "exams/ufrmimportexam.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

TfrmImportExam::TfrmImportExam(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("选择可导入的考试"));
    auto *layout = new QVBoxLayout(this);
    auto *choice = new QHBoxLayout;
    rbGrade = new QRadioButton(QStringLiteral("本年级考试"), this);
    rbIntake = new QRadioButton(QStringLiteral("本届所有年级考试"), this);
    rbGrade->setChecked(true);
    choice->addWidget(rbGrade);
    choice->addWidget(rbIntake);
    choice->addStretch();
    layout->addLayout(choice);
    lbExams = new QListWidget(this);
    layout->addWidget(lbExams, 1);
    auto *buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(rbGrade, &QRadioButton::toggled, this, [this](bool on) {
        if (on) loadExams();
    });
    connect(rbIntake, &QRadioButton::toggled, this, [this](bool on) {
        if (on) loadExams();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &TfrmImportExam::acceptChoice);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lbExams, &QListWidget::itemDoubleClicked, this, &TfrmImportExam::acceptChoice);
    resize(360, 420);
}

void TfrmImportExam::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    loadExams();
}

void TfrmImportExam::loadExams()
{
    lbExams->clear();
    btnOk->setEnabled(false);
    pub::WaitIndicator wait(this);
    const QString grade = rbIntake->isChecked() ? GradeCode.left(1) : GradeCode;
    DataSet exams;
    if (!loadTable(exams, protocol::QSameExamList, {in(pub::schoolId()), var(qint64(InYear)), rbIntake->isChecked() ? in(grade) : var(grade)}).ok()) return;
    DataSet names;
    names.setData(pub::gradeNames());
    for (exams.first(); !exams.eof(); exams.next()) {
        const QString code = exams.value(u"ExamCode").toString(), page = exams.value(u"PageName").toString(), gradeCode = exams.value(u"GradeCode").toString();
        if (code == ExamCode && page == PageName && gradeCode == GradeCode) continue; // the current exam
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {gradeCode}) ? names.value(u"sValue").toString() : gradeCode;
        auto *item = new QListWidgetItem(gradeName + u'.' + exams.value(u"ExamName").toString(), lbExams);
        item->setData(Qt::UserRole, QStringList{code, page, gradeCode}.join(u','));
    }
    btnOk->setEnabled(lbExams->count() > 0);
}

QString TfrmImportExam::chosen() const
{
    const QListWidgetItem *item = lbExams->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void TfrmImportExam::acceptChoice()
{
    if (chosen().isEmpty()) {
        pub::msgHint(QStringLiteral("请选择导入考试！"), this);
        return;
    }
    accept();
}

} // namespace lumeko::achieve
