#pragma once
// What the progress analysis sends and shows, without widgets: the exams and subjects as the
// server reads them, the refusals of the dialog's OK, and the columns of the answer for the ticked
// items (成绩, 排名, 进退) in the order the report shows them.

#include "framework/achieve_export.h"
#include "toolkit/chart/chartbuild.h"
#include "wire/packet.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lumeko::achieve {

// An exam of the intake as QExamList lists it.
struct ProgressExam {
    QString gradeCode, examCode, pageName, examName;
    qint64 id = 0;
    bool operator==(const ProgressExam &) const = default;
};

// The exams of a QExamList answer, one per GradeCode, ExamCode and PageName (consecutive rows of
// one exam count once), in the answer's order.
LUMEKO_ACHIEVE_EXPORT QList<ProgressExam> progressExams(const wire::DataPacket &list);
// "七年级.期中考试", or the exam's name alone when the grade has no name.
LUMEKO_ACHIEVE_EXPORT QString progressExamCaption(const ProgressExam &exam, const QString &gradeName);

// "GradeCode;ExamCode;PageName" per exam, as comma text.
LUMEKO_ACHIEVE_EXPORT QString progressExamList(const QList<ProgressExam> &chosen);

struct ProgressItems {
    bool scores = true;   // 成绩
    bool ranks = false;   // 排名
    bool progress = true; // 进退
};
// The refusal of OK in the teacher's words; empty when the analysis can run.
LUMEKO_ACHIEVE_EXPORT QString progressProblem(const ProgressItems &items, int chosenExams, int tickedSubjects);

// A compared subject: its code (or FUL, MAI, BAS) and caption (the subject's name, 全总, 主总, 基总).
struct ProgressSubject {
    QString code, caption;
};
// The column definitions of the answer: the fixed ones (QFieldsByTable's rows for XT_Temp), then
// per subject the scores of each exam, the rises, the ranks, the climbs, as the items ask. With
// two exams the fields are C_001, C_001_1, C_001_Fs, O_001, O_001_1, O_001_Up.
LUMEKO_ACHIEVE_EXPORT wire::DataPacket progressColumns(const wire::DataPacket &fixed, const QList<ProgressSubject> &subjects, const ProgressItems &items,
                                                       int exams);

// One student's line across the exams from the chart detail of QExamUDLine: the exams in their
// order as categories, a series per subject of his scores (or grade ranks); an exam he missed is a
// gap.
LUMEKO_ACHIEVE_EXPORT chart::ChartData studentProgressChart(const wire::DataPacket &detail, const QString &studentCode, bool ranks);

} // namespace lumeko::achieve
