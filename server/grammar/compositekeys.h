#pragma once
// Keys the client packs into one text argument.

#include "server/grammar/analysistexts.h"
#include "server/grammar/grammar_export.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace lumeko::server::grammar {

// School ids are 1 to 64 ASCII letters, digits and "_", "-", ".", "{", "}", "@"; "." and ".."
// are not school ids. User codes may also hold letters and digits of other scripts.
LUMEKO_GRAMMAR_EXPORT bool isSchoolId(QStringView text);
LUMEKO_GRAMMAR_EXPORT bool isUserCode(QStringView text);

// GetGraduate: "school,grade".
struct SchoolGrade {
    QString schoolId;
    QString gradeCode; // 1 to 4 ASCII letters or digits
    bool operator==(const SchoolGrade &) const = default;
};
LUMEKO_GRAMMAR_EXPORT SchoolGrade parseSchoolGrade(QStringView text);

// QTeacherSubjects: "usercode,role" with a role from 1 to 6.
struct UserRole {
    QString userCode;
    int role = 0;
    bool operator==(const UserRole &) const = default;
};
LUMEKO_GRAMMAR_EXPORT UserRole parseUserRole(QStringView text);

// QPVal from the P-value page: "InYear,GradeCode,ExamCode", or "" for no exam (nothing).
struct ExamKey {
    int inYear = 0;
    QString gradeCode; // 1 to 4 ASCII letters or digits
    QString examCode;  // 1 to 3 ASCII letters or digits
    bool operator==(const ExamKey &) const = default;
};
LUMEKO_GRAMMAR_EXPORT std::optional<ExamKey> parseExamKeyText(QStringView text);

// CalPVal: "nExamId", or "nExamId;roster" where the roster is the score page's student filter
// (see parseStudentExclusion) and may not be empty.
struct PValExamKey {
    qint64 examId = 0;
    std::optional<StudentFilter> roster;
    bool operator==(const PValExamKey &) const = default;
};
LUMEKO_GRAMMAR_EXPORT PValExamKey parsePValExamKey(QStringView text);

// A record id sent as text (QExamGradePer, QExamOrders: the exam header's Id): 1 to 18 digits,
// not 0. `argument` names it in errors.
LUMEKO_GRAMMAR_EXPORT qint64 parseIdText(const QString &argument, QStringView text);

} // namespace lumeko::server::grammar
