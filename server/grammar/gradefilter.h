#pragma once
// The grade choice of the course-table page. Its loads take the intake year and the grade code,
// or filter texts in their place:
//   "GradeCode='0701' and InYear=2012"        one grade of one intake year
//   "GradeCode like '07%' and bCurGrade='Y'"  the current grades of a section
//   " and sYear='2012'"                       the grades of a section in one school year
// A filter is a conjunction (with an optional leading "and") of `Field = value` and
// `Field like 'prefix%'` over four fields of the grade record. The server turns the terms into
// bound comparisons and escapes the prefix for its own LIKE; '%' and '_' never reach it as
// wildcards from the client.

#include "server/grammar/grammar_export.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>

namespace lumeko::server::grammar {

enum class GradeField {
    GradeCode, // text, 1 to 4 characters
    InYear,    // integer, four digits
    CurGrade,  // bCurGrade, "Y" or "N"
    SchoolYear // sYear, text of 1 to 16 characters
};

struct GradeTerm {
    enum class Match { Equals, StartsWith };
    GradeField field = GradeField::GradeCode;
    Match match = Match::Equals;
    QVariant value; // QString for the text fields, int for InYear; the bare prefix for StartsWith
    bool operator==(const GradeTerm &) const = default;
};

// The terms of a filter text; at most 8. An empty text is refused.
LUMEKO_GRAMMAR_EXPORT QList<GradeTerm> parseGradeFilter(QStringView text);

// The intake year when the text is a plain intake year (four digits, nothing else).
LUMEKO_GRAMMAR_EXPORT std::optional<int> plainIntakeYear(QStringView text);

// One of the two grade arguments (`slot` is GradeField::InYear or GradeField::GradeCode) as terms:
// an empty text gives none, a plain intake year or a plain grade code (1 to 4 ASCII letters and
// digits) gives one equality, anything else is read as a filter. The server ANDs the terms of
// both arguments.
LUMEKO_GRAMMAR_EXPORT QList<GradeTerm> gradeTermsFromArgument(GradeField slot, QStringView text);

} // namespace lumeko::server::grammar
