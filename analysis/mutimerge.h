#pragma once
// The multi-exam class progress (班级进退分析): one class comparison per exam, merged into one
// table in which every subject and item has a row per exam and, after each later exam's row, a
// gap row ("差距") holding how far each class moved since the exam before.
//
// The comparison's rows are keyed by (sSubject, sName, ExamName) and its value columns
// (Class_…, Branch_…, Grade) hold text: numbers, or the names of teachers.

#include "framework/achieve_export.h"
#include "wire/packet.h"

#include <QList>
#include <QString>

namespace lumeko::achieve {

// One exam's answer of QExamSum: its column definitions and its rows.
struct ExamSumAnswer {
    wire::DataPacket fields;
    wire::DataPacket rows;
};

struct MergedAnswer {
    wire::DataPacket fields;
    wire::DataPacket rows;
};

inline const QString kGapExamName = QStringLiteral("差距");

// Rows of a later exam whose sName is one of these are left out: names and head counts have no
// progress.
LUMEKO_ACHIEVE_EXPORT bool isUnmergedItem(const QString &item);
// Rank rows ("均分排名"): a smaller number is better, so their gap is taken the other way round.
LUMEKO_ACHIEVE_EXPORT bool isRankItem(const QString &item);

// The gap between two values of a cell, rounded to one decimal (halves away from zero): now −
// before, or before − now for a rank row. A missing value counts as 0; both missing give no gap.
// Values are the comparison's texts; one that is not a number counts as missing.
LUMEKO_ACHIEVE_EXPORT QVariant gapValue(const QVariant &before, const QVariant &now, bool rank);

// Merges the answers in exam order. The definitions are the first answer's with the columns
// later answers add (a class that sat only a later exam) after their neighbours; rows come grouped
// by (sSubject, sName) in order of first appearance, each group holding its exams' rows in exam
// order with a gap row after every later exam's row. The first exam's name, teacher and head
// count rows stay; later ones of them are left out. With `examLabels` (one per answer) the rows
// show those in ExamName, so that two exams of one name in different grades stay apart.
LUMEKO_ACHIEVE_EXPORT MergedAnswer mergeExamAnswers(const QList<ExamSumAnswer> &answers, const QStringList &examLabels = {});

} // namespace lumeko::achieve
