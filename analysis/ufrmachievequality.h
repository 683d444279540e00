#pragma once
// TfrmAchieveQuality ("质量分析总表"): the teaching-quality report of the score page's exam. The
// teacher picks the earlier exam to compare with (of this grade or of every grade of the intake),
// the subjects and totals, and the students counted; the server computes the report
// (QExamQuality: each class's teacher, average, rank, 超均率 and rates, and how they moved since
// the earlier exam) and the dialog prints it with the template "Reports/jxzlfx.frf" of the
// application folder, through the report engine's preview. The dialog stays open for the next
// report until the teacher closes it.

#include "analysis/analysissettings.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

#include <functional>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

namespace lumeko::report {
class PreparedReport;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchieveQuality : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchieveQuality(QWidget *parent = nullptr);

    // Set by the score page before InitForm: its analysis parameter list (the exam, its offered
    // subjects and caption), its student filter text, and whether its picked students may be
    // counted ("已选名单").
    QStringList Params;
    QString FilterText;
    bool PickedAllowed = false;
    AnalysisParams Exam;
    // The exams, subjects and range; false after telling the teacher.
    bool InitForm();

    QRadioButton *rbGrade, *rbIntake; // "本年级考试", "本届所有年级考试"
    QListWidget *clbExams;            // "对比上次考试": one exam ticked at most
    QListWidget *clbSubjects;         // "统计科目", the totals last
    QListWidget *clbRange;            // "统计范围"
    QPushButton *btnOK, *btnClose;

    DataSet *cdsData; // the last answer, which the template binds as "cdsData"

    // The exam reported and the one ticked, as "GradeCode;ExamCode;PageName" ("" when none is).
    QString ExamText() const;
    QString LastExamText() const;
    QString LastExamCaption() const;
    QStringList SubjectCodes() const;
    QStringList RangeCaptions() const;

    void loadExams();
    // The report's variables: SchoolName, ExamName, LastExamName, Range, UserName.
    QVariant ReportVariable(const QString &name, bool *found) const;
    // Prints cdsData with the template; false after telling the teacher why it could not.
    bool PrintReport();
    // Shows the prepared report; the preview unless a test replaces it.
    std::function<void(const report::PreparedReport &)> showReport;

public Q_SLOTS:
    void btnOKClick();

private:
    void examTicked(QListWidgetItem *item);
    bool m_ticking = false;
};

// The quality report over the score page's exam: the dialog, run until the teacher closes it.
LUMEKO_ACHIEVE_EXPORT void runQualityReport(QWidget *owner, const QStringList &params, const QString &filterText, bool pickedAllowed);

// The template's name under the application folder.
inline const QString kQualityTemplate = QStringLiteral("Reports/jxzlfx.frf");

// How the report prints a change: with arrows "↑2" for two places up, "↓2" for two down and "0"
// for none; else signed with two decimals, "+4.98", "-0.80", "0.00". Nothing without a value.
LUMEKO_ACHIEVE_EXPORT QString changeText(const QVariant &value, bool arrows);
// A figure with two decimals ("65.00"); nothing without a value.
LUMEKO_ACHIEVE_EXPORT QString fixedText(const QVariant &value);

} // namespace lumeko::achieve
