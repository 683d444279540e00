#pragma once
// The question scores of one subject as a teacher enters or imports them: the questions with
// their full marks, the checks made before anything is sent (each score within its question's
// full mark, a student's question scores adding up to his subject score), in the teacher's words,
// and the rows sent to the server.

#include "framework/achieve_export.h"
#include "framework/import/importmerge.h"
#include "toolkit/data/dataset.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lumeko::achieve {

struct QuestionDef {
    QString number;
    double fullMark = 0;
};

// The questions of a QExamQuestions answer, in order.
LUMEKO_ACHIEVE_EXPORT QList<QuestionDef> questionDefs(DataSet &questions);
// "Q_1": a question's column on the sheet.
LUMEKO_ACHIEVE_EXPORT QString questionField(const QString &number);

// What is wrong with the question list before it is saved ("题号“3”重复！"); empty when nothing. It
// refuses what UpExamQuestions would: numbers of 1 to 10 characters without commas, semicolons,
// quotes or control characters, none twice even in other letter case; full marks above 0 and at
// most the subject's.
LUMEKO_ACHIEVE_EXPORT QStringList questionListProblems(DataSet &questions, double subjectFullMark);

// Where the import wizard puts a marking system's pasted sheet: the sheet's rows matched by 学号 or
// 姓名, a 第N题 column for each question. Fills `fields` with the fields offered.
LUMEKO_ACHIEVE_EXPORT ImportTarget questionImportTarget(DataSet &fields, DataSet &sheet, const QList<QuestionDef> &questions);

// What is wrong with the sheet's rows (StudentCode, sNO, sName, Score and the question columns):
// "第2行 李四(2026002)：小题分之和 5，科目成绩 6". The scores are added up to the hundredth each, as
// the server stores them. A row without question scores is fine.
LUMEKO_ACHIEVE_EXPORT QStringList questionSheetProblems(DataSet &sheet, const QList<QuestionDef> &questions);

// The rows to send: StudentCode and the question columns of the rows changed since loading.
LUMEKO_ACHIEVE_EXPORT wire::DataPacket changedQuestionRows(DataSet &sheet, const QList<QuestionDef> &questions);

} // namespace lumeko::achieve
