// The exports of the score analyses: a settings dialog, the server's statistics, a report page.

#include "analysis/analysiscall.h"
#include "analysis/analysissettings.h"
#include "analysis/mutimerge.h"
#include "analysis/ufrmachievecompare.h"
#include "analysis/ufrmachievedist.h"
#include "analysis/ufrmachmuti.h"
#include "analysis/ufrmreportpage.h"
#include "framework/editcycle.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QComboBox>

#include <optional>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");
const QString kAnalysing = QStringLiteral("正在分析数据，请稍后......");

// The row of a packet whose field holds the value; -1 when none does.
int rowWhere(const wire::DataPacket &rows, const char *field, const QVariant &value)
{
    const int f = rows.fieldIndex(QString::fromLatin1(field));
    for (qsizetype r = 0; f >= 0 && r < rows.rowCount(); ++r)
        if (wire::sameValue(rows.value(r, f), value)) return int(r);
    return -1;
}

QStringList fieldsStartingWith(const wire::DataPacket &rows, const char *prefix)
{
    QStringList out;
    for (const wire::FieldDef &f : rows.fields())
        if (f.name.startsWith(QLatin1String(prefix))) out << f.name;
    return out;
}

QWidget *owner(void *app)
{
    return static_cast<QWidget *>(app);
}

// The rows whose field holds none of the values.
wire::DataPacket withoutRows(const wire::DataPacket &rows, const char *field, const QStringList &values)
{
    const int f = rows.fieldIndex(QString::fromLatin1(field));
    if (f < 0 || values.isEmpty()) return rows;
    wire::DataPacket out(rows.fields());
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        if (!values.contains(rows.value(r, f).toString())) out.appendRow(rows.row(r));
    return out;
}

// The parameters, or a hint to the teacher and nothing.
std::optional<QStringList> analysisParameters(void *app, const char *params)
{
    setModuleApp(owner(app));
    const QStringList list = parameterList(params);
    if (const QString problem = analysisParamsProblem(list); !problem.isEmpty()) {
        pub::msgHint(problem, owner(app));
        return std::nullopt;
    }
    return list;
}

qint32 showDistribution(void *app, void *parent, const char *params, const char *extra)
{
    const std::optional<QStringList> list = analysisParameters(app, params);
    if (!list) return 0;
    const QString title = QStringLiteral("成绩分布统计");
    TfrmAchieveDist dialog(owner(app));
    takeHostIcon(dialog, app);
    dialog.Params = *list;
    dialog.FilterText = QString::fromUtf8(extra ? extra : "");
    dialog.PickedAllowed = parent == nullptr;
    if (!dialog.InitForm()) return -1;
    if (runModal(dialog) != QDialog::Accepted) return 0;

    ExamSumReply reply;
    {
        pub::WaitIndicator wait(owner(app), kAnalysing);
        const AnalysisParams &e = dialog.Exam;
        reply = askExamSum({e.gradeCode, e.examCode, e.pageName, e.entryFlag, e.inYear, 0, true, dialog.SettingsText(), dialog.FilterArgument()});
    }
    if (!reply.call.ok()) {
        reportAnalysisFailure(owner(app), QStringLiteral("发生错误："), reply.call);
        return -1;
    }
    WriteOperationLog(QStringLiteral("执行 ") + title);
    // The chart starts with the grade's score bands.
    ChartPreset preset;
    preset.across = ChartPreset::Columns;
    preset.fields = fieldsStartingWith(reply.rows, "Band");
    const int grade = rowWhere(reply.rows, "iRowType", qint64(2));
    if (grade >= 0) preset.rows = {grade};
    preset.title = dialog.Exam.caption.section(u'.', -1) + u' ' + dialog.cbSubject->currentText() + QStringLiteral(" 成绩分布");
    const qint32 handle = openReportPage(static_cast<QWidget *>(parent), title, reply.fields, reply.rows, 1, preset);
    if (auto *page = qobject_cast<TfrmReportPage *>(PageRegistry::instance().page(handle)))
        page->Variables = {{QStringLiteral("ExamName"), dialog.Exam.caption}, {QStringLiteral("SubjectName"), dialog.cbSubject->currentText()}};
    return handle;
}

qint32 showComparison(void *app, void *parent, const char *params, const char *extra, int kind, const QString &title)
{
    const std::optional<QStringList> list = analysisParameters(app, params);
    if (!list) return 0;
    const AnalysisParams exam = readAnalysisParams(*list);
    // The subjects the score page offers that the exam has; the class comparison adds the totals
    // for those who see them, the others compare subjects only.
    DataSet subjects;
    const CallResult r = loadTable(subjects, protocol::QExamSubjectAllPt,
                                   {in(pub::schoolId()), in(exam.gradeCode), in(exam.examCode), var(exam.pageName), var(qint64(exam.inYear)), var()});
    if (!r.ok()) {
        reportFailure(owner(app), title, r, Failure::Read);
        return -1;
    }
    QStringList codes;
    for (const QString &code : exam.subjectCodes)
        if (!isTotalSubject(code) && subjects.locate(QStringLiteral("SubjectCode"), {code})) codes << code;
    // The three totals go together; the server leaves out those the exam does not keep.
    if (kind == 1 && exam.pageName == kNoPage && (pub::userType() == 1 || functionKeys(4011).contains(QStringLiteral("ViewTotal")))) codes = withTotals(codes);

    TfrmAchieveCompare dialog(owner(app));
    takeHostIcon(dialog, app);
    dialog.setWindowTitle(title);
    dialog.PickedAllowed = parent == nullptr;
    if (!dialog.InitForm()) return -1;
    if (runModal(dialog) != QDialog::Accepted) return 0;
    if (codes.isEmpty()) {
        pub::msgHint(QStringLiteral("本次考试没有可以对比的科目！"), owner(app));
        return 0;
    }

    ExamSumReply reply;
    {
        pub::WaitIndicator wait(owner(app), kAnalysing);
        const QString filter = filterArgument(QString::fromUtf8(extra ? extra : ""), dialog.PickedOnly());
        reply = askExamSum({exam.gradeCode, exam.examCode, exam.pageName, exam.entryFlag, exam.inYear, kind, true,
                            compareSettingsText(statesOf(dialog.ItemsText(), 21), dialog.RangeCaptions(), codes), filter});
    }
    if (!reply.call.ok()) {
        reportAnalysisFailure(owner(app), QStringLiteral("成绩分析 ") + title + QStringLiteral(" 发生错误："), reply.call);
        return -1;
    }
    WriteOperationLog(QStringLiteral("执行 ") + title);
    // Items across the classes (or subjects) start with the first row; teachers side by side
    // with their averages.
    ChartPreset preset;
    if (kind == 3) {
        preset.across = ChartPreset::Rows;
        if (reply.rows.fieldIndex(u"nAverage") >= 0) preset.fields = {QStringLiteral("nAverage")};
    } else {
        preset.across = ChartPreset::Columns;
        if (reply.rows.rowCount() > 0) preset.rows = {0};
    }
    return openReportPage(static_cast<QWidget *>(parent), title, reply.fields, reply.rows, 3, preset);
}

qint32 showMultiExam(void *app, void *parent, const char *params)
{
    const std::optional<QStringList> list = analysisParameters(app, params);
    if (!list) return 0;
    TfrmAchMuti dialog(owner(app));
    takeHostIcon(dialog, app);
    dialog.Params = *list;
    if (!dialog.InitMuti()) return -1;
    if (runModal(dialog) != QDialog::Accepted) return 0;
    const QString title = dialog.windowTitle();
    const QList<ChosenExam> exams = dialog.ChosenExams();

    // Two chosen exams of one name (in two grades) keep the grade in their rows' exam name.
    QStringList names, labels;
    bool sameNames = false;
    for (const ChosenExam &e : exams) {
        const QString name = e.label.section(u'.', -1);
        sameNames = sameNames || names.contains(name);
        names << name;
        labels << e.label;
    }
    QList<ExamSumAnswer> answers;
    std::optional<pub::WaitIndicator> wait(std::in_place, owner(app), kAnalysing);
    for (qsizetype i = 0; i < exams.size(); ++i) {
        const ChosenExam &e = exams[i];
        const QString settings = compareSettingsText(statesOf(dialog.ItemsText(), 21), dialog.RangeCaptions(), dialog.ExamSubjects.value(i));
        const ExamSumReply reply = askExamSum({e.gradeCode, e.examCode, e.pageName, dialog.Exam.entryFlag, dialog.Exam.inYear, 1, false, settings, {}});
        if (!reply.call.ok()) {
            wait.reset();
            reportAnalysisFailure(owner(app), QStringLiteral("成绩分析 ") + title + QStringLiteral(" 发生错误："), reply.call);
            return -1;
        }
        answers << ExamSumAnswer{reply.fields, reply.rows};
    }
    wait.reset();
    // The totals are asked for together: the rows of those not ticked go.
    QStringList unticked;
    for (const char *t : {"FUL", "MAI", "BAS"})
        if (!dialog.SubjectCodes().contains(QLatin1String(t))) unticked << totalCaption(QString::fromLatin1(t));
    for (ExamSumAnswer &a : answers)
        a.rows = withoutRows(a.rows, "sSubject", unticked);
    const MergedAnswer merged = mergeExamAnswers(answers, sameNames ? labels : QStringList());
    WriteOperationLog(QStringLiteral("执行 ") + title);
    // The chart starts with the first item of every exam across the classes.
    ChartPreset preset;
    preset.across = ChartPreset::Columns;
    const int subject = merged.rows.fieldIndex(u"sSubject"), item = merged.rows.fieldIndex(u"sName"), examName = merged.rows.fieldIndex(u"ExamName");
    for (qsizetype r = 0; r < merged.rows.rowCount() && subject >= 0 && item >= 0 && examName >= 0; ++r) {
        if (merged.rows.value(r, subject) != merged.rows.value(0, subject) || merged.rows.value(r, item) != merged.rows.value(0, item)) break;
        if (merged.rows.value(r, examName).toString() != kGapExamName) preset.rows << int(r);
    }
    return openReportPage(static_cast<QWidget *>(parent), title, merged.fields, merged.rows, 3, preset);
}

} // namespace

} // namespace lumeko::achieve

using namespace lumeko::achieve;

extern "C" {

int32_t ShowDistSumPage(void *app, void *parent, const char *params, const char *extra)
{
    return showDistribution(app, parent, params, extra);
}

int32_t ShowClassSumPage(void *app, void *parent, const char *params, const char *extra)
{
    return showComparison(app, parent, params, extra, 1, QStringLiteral("班级对比分析"));
}

int32_t ShowSubjectSumPage(void *app, void *parent, const char *params, const char *extra)
{
    return showComparison(app, parent, params, extra, 2, QStringLiteral("科目对比分析"));
}

int32_t ShowTeacherSumPage(void *app, void *parent, const char *params, const char *extra)
{
    return showComparison(app, parent, params, extra, 3, QStringLiteral("教师对比分析"));
}

int32_t ShowAchMutiPage(void *app, void *parent, const char *params)
{
    return showMultiExam(app, parent, params);
}

} // extern "C"
