#include "analysis/ufrmachievequality.h"

#include "analysis/analysiscall.h"
#include "analysis/progresssettings.h"
#include "framework/editcycle.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/report/engine.h"
#include "toolkit/report/templatexml.h"
#include "toolkit/report/ui/reportpreview.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumeko::achieve {

namespace {
const QString kNoPage = QStringLiteral("⊥");

QString examKey(const QString &grade, const QString &code, const QString &page)
{
    return grade + u';' + code + u';' + page;
}
} // namespace

QString changeText(const QVariant &value, bool arrows)
{
    if (wire::isNull(value)) return {};
    const double v = value.toDouble();
    if (arrows) return v == 0 ? QStringLiteral("0") : (v > 0 ? QStringLiteral("↑") : QStringLiteral("↓")) + QString::number(std::abs(v), 'g', 12);
    const QString size = QString::number(std::abs(v), 'f', 2);
    return size == u"0.00" ? size : (v > 0 ? QStringLiteral("+") : QStringLiteral("-")) + size;
}

QString fixedText(const QVariant &value)
{
    return wire::isNull(value) ? QString() : QString::number(value.toDouble(), 'f', 2);
}

TfrmAchieveQuality::TfrmAchieveQuality(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("质量分析总表"));
    cdsData = new DataSet(this);
    showReport = [this](const report::PreparedReport &r) { report::ReportPreview::show(r, this); };
    rbGrade = new QRadioButton(QStringLiteral("本年级考试"), this);
    rbIntake = new QRadioButton(QStringLiteral("本届所有年级考试"), this);
    rbGrade->setChecked(true);
    clbExams = new QListWidget(this);
    clbSubjects = new QListWidget(this);
    clbRange = new QListWidget(this);

    auto *exams = new QGroupBox(QStringLiteral("可对比考试"), this);
    auto *el = new QVBoxLayout(exams);
    auto *source = new QHBoxLayout;
    source->addWidget(rbGrade);
    source->addWidget(rbIntake);
    source->addStretch(1);
    el->addLayout(source);
    el->addWidget(new QLabel(QStringLiteral("对比上次考试"), exams));
    el->addWidget(clbExams, 1);
    auto *subjects = new QGroupBox(QStringLiteral("统计科目"), this);
    (new QVBoxLayout(subjects))->addWidget(clbSubjects);
    auto *range = new QGroupBox(QStringLiteral("统计范围"), this);
    (new QVBoxLayout(range))->addWidget(clbRange);
    auto *body = new QHBoxLayout;
    body->addWidget(exams, 2);
    body->addWidget(subjects, 1);
    body->addWidget(range, 1);

    auto *buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    btnClose = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
    resize(640, 400);

    connect(rbGrade, &QRadioButton::toggled, this, [this] { loadExams(); });
    connect(clbExams, &QListWidget::itemChanged, this, &TfrmAchieveQuality::examTicked);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveQuality::btnOKClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmAchieveQuality::InitForm()
{
    pub::WaitIndicator wait(this, QStringLiteral("正在初始数据......"));
    Exam = readAnalysisParams(Params);
    DataSet names;
    if (const CallResult r = loadTable(names, protocol::QSubjects, {in(pub::schoolId()), in(Exam.gradeCode), var(qint64(Exam.inYear)), var()}); !r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    // The subjects the score page offers, then the three totals of a school-wide exam for those
    // who see totals; a total the exam does not keep gives no rows.
    QStringList codes = Exam.subjectCodes;
    if (Exam.pageName == kNoPage && (pub::userType() == 1 || functionKeys(4011).contains(QStringLiteral("ViewTotal")))) codes = withTotals(codes);
    QStringList captions, keys;
    for (const QString &code : codes) {
        QString name = totalCaption(code);
        if (name.isEmpty()) name = names.locate(QStringLiteral("SubjectCode"), {code}) ? names.value(u"SubjectName").toString() : code;
        captions << name;
        keys << code;
    }
    addCheckItems(clbSubjects, captions, QList<bool>(captions.size(), true), keys);
    if (!fillStudentRange(clbRange, PickedAllowed, this, windowTitle())) return false;
    loadExams();
    return true;
}

// The exams of the grade, or of every grade of the intake, the earliest first, without the exam
// reported; the one held just before it is ticked, as the usual comparison is with the last exam.
void TfrmAchieveQuality::loadExams()
{
    const QString ticked = LastExamText();
    m_ticking = true;
    clbExams->clear();
    m_ticking = false;
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
    const QString current = ExamText();
    QListWidgetItem *before = nullptr;
    bool pastCurrent = false;
    m_ticking = true;
    for (const ProgressExam &e : progressExams(list.data())) {
        const QString key = examKey(e.gradeCode, e.examCode, e.pageName);
        if (key == current) {
            pastCurrent = true;
            continue;
        }
        const QString gradeName = names.isActive() && names.locate(QStringLiteral("sKeyId"), {e.gradeCode}) ? names.value(u"sValue").toString() : QString();
        auto *item = new QListWidgetItem(progressExamCaption(e, gradeName), clbExams);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(key == ticked ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, key);
        if (!pastCurrent) before = item;
    }
    if (LastExamText().isEmpty() && before) before->setCheckState(Qt::Checked);
    m_ticking = false;
}

// One earlier exam is compared: ticking one unticks the others.
void TfrmAchieveQuality::examTicked(QListWidgetItem *item)
{
    if (m_ticking || item->checkState() != Qt::Checked) return;
    m_ticking = true;
    for (int i = 0; i < clbExams->count(); ++i)
        if (clbExams->item(i) != item) clbExams->item(i)->setCheckState(Qt::Unchecked);
    m_ticking = false;
}

QString TfrmAchieveQuality::ExamText() const
{
    return examKey(Exam.gradeCode, Exam.examCode, Exam.pageName);
}

QString TfrmAchieveQuality::LastExamText() const
{
    const QStringList keys = checkedKeys(clbExams);
    return keys.isEmpty() ? QString() : keys.first();
}

QString TfrmAchieveQuality::LastExamCaption() const
{
    const QStringList captions = checkedCaptions(clbExams);
    return captions.isEmpty() ? QString() : captions.first();
}

QStringList TfrmAchieveQuality::SubjectCodes() const
{
    return checkedKeys(clbSubjects);
}

QStringList TfrmAchieveQuality::RangeCaptions() const
{
    return checkedCaptions(clbRange);
}

void TfrmAchieveQuality::btnOKClick()
{
    if (LastExamText().isEmpty()) {
        pub::msgHint(QStringLiteral("请选择上次考试！"), this);
        return;
    }
    if (SubjectCodes().isEmpty()) {
        pub::msgHint(QStringLiteral("请至少选择一项统计科目！"), this);
        return;
    }
    if (RangeCaptions().isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要统计的范围！"), this);
        return;
    }
    cdsData->close();
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在分析数据，请稍后......"));
        const CallResult r = loadTable(*cdsData, protocol::QExamQuality,
                                       {in(pub::schoolId()), var(ExamText()), var(FilterText.isEmpty() ? wire::Value(wire::Null{}) : wire::Value(FilterText)),
                                        var(qint64(Exam.inYear)), var(LastExamText()), var(SubjectCodes().join(u',')), var(RangeCaptions().join(u',')), var()});
        if (r.ok()) {
            WriteOperationLog(QStringLiteral("执行  教学质量分析;") + ExamText());
        } else {
            // What went wrong is for the administrator; the teacher is told there is nothing to print.
            pub::writeLog(QStringLiteral("发生错误：") + r.message);
            cdsData->close();
        }
    }
    if (!cdsData->isActive() || cdsData->recordCount() == 0) {
        pub::msgHint(QStringLiteral("统计结果没有数据！"), this);
        return;
    }
    PrintReport();
}

QVariant TfrmAchieveQuality::ReportVariable(const QString &name, bool *found) const
{
    *found = true;
    if (name == u"SchoolName") return pub::schoolName();
    if (name == u"ExamName") return Exam.caption;
    if (name == u"LastExamName") return LastExamCaption();
    if (name == u"Range") return RangeCaptions().join(QStringLiteral("、"));
    if (name == u"UserName") return pub::userName();
    *found = false;
    return {};
}

bool TfrmAchieveQuality::PrintReport()
{
    report::ReportEngine engine;
    try {
        engine.setTemplate(report::loadTemplate(pub::appPath() + kQualityTemplate));
    } catch (const report::TemplateError &e) {
        pub::msgError(e.message(), this);
        return false;
    }
    engine.bindTable(QStringLiteral("cdsData"), cdsData);
    engine.variables = [this](const QString &name, bool *found) { return ReportVariable(name, found); };
    // Averages, rates and 超均率 line up with two decimals ("f2_" and the field); the two changes
    // print with their direction.
    engine.beforePrint = [this](report::PrintingObject &o) {
        if (o.object.name.startsWith(u"f2_")) o.text = fixedText(cdsData->value(o.object.name.mid(3)));
        if (o.object.name == u"mmRankUp") o.text = changeText(cdsData->value(u"iRankUp"), true);
        if (o.object.name == u"mmOverChange") o.text = changeText(cdsData->value(u"rOverChange"), false);
    };
    QString error;
    if (!engine.prepare(&error)) {
        pub::msgError(error, this);
        return false;
    }
    showReport(engine.prepared());
    return true;
}

void runQualityReport(QWidget *owner, const QStringList &params, const QString &filterText, bool pickedAllowed)
{
    TfrmAchieveQuality dialog(owner);
    dialog.Params = params;
    dialog.FilterText = filterText;
    dialog.PickedAllowed = pickedAllowed;
    if (!dialog.InitForm()) return;
    runModal(dialog);
}

} // namespace lumeko::achieve
