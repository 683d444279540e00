#pragma once
// What the two school-year dialogs decide without a window: the intake year the grade definition
// proposes, the school years it offers, a grade's year within its stage, the grades the promotion
// guide offers for promotion and for undoing, the school year a promotion moves a grade into, and
// the yearly reminders kept in the host's Lumeko.ini. The dialogs ask the date of schoolYearToday()
// and wait between two grades with upGradePause(); both can be put in another's place (tests).

#include "framework/achieve_export.h"
#include "wire/packet.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

namespace lumeko::achieve {

// Today as the school-year dialogs see it: the computer's date, or the replacement's.
LUMEKO_ACHIEVE_EXPORT QDate schoolYearToday();
// Puts `today` in place of the computer's date (an empty function puts it back); answers the one
// replaced.
LUMEKO_ACHIEVE_EXPORT std::function<QDate()> setSchoolYearToday(std::function<QDate()> today);

// Waits `ms` milliseconds while the window messages run: the pause between two grades of a
// promotion run.
LUMEKO_ACHIEVE_EXPORT void upGradePause(int ms);
LUMEKO_ACHIEVE_EXPORT std::function<void(int)> setUpGradePause(std::function<void(int)> pause);

// From September on this year's intake, before it last year's.
LUMEKO_ACHIEVE_EXPORT int proposedIntakeYear(const QDate &today);
// The start years of the 18 school years a grade may be defined in: 15 years back to 2 ahead.
LUMEKO_ACHIEVE_EXPORT QList<int> offeredSchoolYears(int currentYear);
// The grade's year within its stage, 1 for the stage's first grade: its second character counted
// from the lowest second character among the stage's grade names (七年级 1701 is the junior
// stage's first year, 高二 2201 the senior stage's second); 0 for a code without a digit there.
LUMEKO_ACHIEVE_EXPORT int yearInStage(const QString &gradeCode, const wire::DataPacket &gradeNames);
// The school year a promoted grade moves into: the start year before "~" plus one
// ("2012~2013学年" gives "2013~2014学年"); without "~" or a number before it, the current year's.
LUMEKO_ACHIEVE_EXPORT QString nextSchoolYearText(const QString &schoolYear, int currentYear);

// A grade record as the promotion guide lists it.
struct GradeRow {
    int inYear = 0;
    QString gradeCode;
    QString schoolYear;
    bool operator==(const GradeRow &) const = default;
};
// The current grades (bCurGrade "Y") not yet in the school year that starts in the server's year,
// in the order of the grade list.
LUMEKO_ACHIEVE_EXPORT QList<GradeRow> promotionRows(const wire::DataPacket &grades, int serverYear);
// The history grades (bCurGrade "N") of the school year that started the year before the server's
// or later, one per intake year and stage: of two, the one whose first two characters compare
// higher; of two alike, the one listed first.
LUMEKO_ACHIEVE_EXPORT QList<GradeRow> undoRows(const wire::DataPacket &grades, int serverYear);

// A yearly reminder of Lumeko.ini's section ExeConfig ("IsRunNewGrade", "IsRunUpGrade"): shown
// ticked from September on while the key holds this year (the default). Ticking writes this year,
// unticking next year.
LUMEKO_ACHIEVE_EXPORT bool reminderTicked(const QString &key, const QDate &today);
LUMEKO_ACHIEVE_EXPORT void setReminder(const QString &key, bool ticked, const QDate &today);

} // namespace lumeko::achieve
