#pragma once
// The P-value formulas as the school edits them and as the record stores them. The dialog shows
// the variables by their Chinese names in square brackets ("[总分之和]"); the record holds the
// field names in their place ("[nTotals]"), and the number of all-subject entries itself where
// the formula says "[全科科目数]". Shown again, that number followed by "*" reads
// "[全科科目数]*" once more, as a whole number only: "0.2*" or "12*" stay as they are.

#include "framework/achieve_export.h"

#include <QList>
#include <QString>

namespace lumeko::achieve {

struct PValueVariable {
    QString caption; // 应参加人数
    QString field;   // nMastNums
};

// The variables in the order the dialog lists them.
LUMEKO_ACHIEVE_EXPORT const QList<PValueVariable> &pValueVariables();

// "[全科科目数]": stored as the number of all-subject entries.
LUMEKO_ACHIEVE_EXPORT QString allSubjectCountCaption();

// The formulas a new record starts with, with the Chinese names.
LUMEKO_ACHIEVE_EXPORT QString defaultP1Formula();
LUMEKO_ACHIEVE_EXPORT QString defaultPFormula();

// As the record stores it: every "[caption]" of a variable becomes "[field]" and
// "[全科科目数]" the number `entries`. A bracket holding anything else stays as it is.
LUMEKO_ACHIEVE_EXPORT QString storedFormula(const QString &shown, int entries);
// As the dialog shows it: every "[field]" (letters in any case) becomes "[caption]", and
// `entries` written as a whole number directly before "*" becomes "[全科科目数]*".
LUMEKO_ACHIEVE_EXPORT QString shownFormula(const QString &stored, int entries);

} // namespace lumeko::achieve
