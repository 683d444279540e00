#pragma once
// What a teacher types in the seat-and-score box ("按座号+成绩录入"): the two-digit seat number and
// the score as one number, "0186" for seat 1 and 86, "0290.456" for seat 2 and 90.46. No widgets:
// TfrmInputScore shows the refusals and finds the student.

#include "framework/achieve_export.h"

#include <QString>

#include <variant>

namespace lumeko::achieve {

struct SeatScore {
    int seat = 0;     // 0 to 99
    double score = 0; // from 0 to the full mark, to the hundredth
};

// Why the text was refused, in the teacher's words, and where the wrong part starts (0: the seat,
// 2: the score) so that the box can mark it for correction.
struct SeatEntryRefusal {
    QString message;
    int wrongFrom = 0;
};

// Reads the typed text (blanks around it do not count) for a subject of the given full mark.
LUMEKO_ACHIEVE_EXPORT std::variant<SeatScore, SeatEntryRefusal> readSeatEntry(const QString &typed, double fullMark);

} // namespace lumeko::achieve
