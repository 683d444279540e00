#pragma once
// A grade's subjects or classes are chosen by ticks ("Selected") in a list of every subject or class
// of the school. Saving brings the grade's stored rows (QGradeSubjects, QGradeClasses) in line with
// the ticks: an unticked entry loses its stored row, a ticked one updates or appends it.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QStringList>

namespace lumeko::achieve {

// The grade the stored rows belong to.
struct ChoiceGrade {
    QString school;
    qint64 inYear = 0;
    QString grade;
};

struct ChoiceFields {
    QString key;             // "SubjectCode" or "ClassCode"
    QStringList copied;      // taken from the choice row; an empty text is stored as null
    QStringList keptIfEmpty; // of those, the ones an empty choice leaves as stored
};

// Walks `choices` (its position is kept) and edits `stored` to match; a row whose values are the
// same stays unchanged, so only real changes are sent.
LUMEKO_ACHIEVE_EXPORT void mergeTickedChoices(DataSet &choices, DataSet &stored, const ChoiceGrade &grade, const ChoiceFields &fields);

} // namespace lumeko::achieve
