#pragma once
// Filters and lookups the register pages send: which students' family members to load, whether a
// grade class still has students, whether a class or subject is still in use, and the one field
// teachers may be looked up by.

#include "server/grammar/grammar_export.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace lumeko::server::grammar {

// QFamily: " and b.gradecode='0701' and b.inyear=2012[ and b.classcode='003']", the family members
// of the students of one grade (and class) of one intake year. For a whole stage (a grade code of
// one character) the intake year may be 0: the stage's current grades. An empty text is refused:
// the family table is only ever read for one grade or stage.
struct FamilyFilter {
    QString gradeCode;                // 1 to 4 characters
    int inYear = 0;                   // four digits; 0 only for a stage
    std::optional<QString> classCode; // 1 to 3 characters
    bool operator==(const FamilyFilter &) const = default;
};
LUMEKO_GRAMMAR_EXPORT FamilyFilter parseFamilyFilter(QStringView text);

// QCheckStudent: " and GradeCode='0701' and InYear=2012 and ClassCode='003'", the students of one
// grade class.
struct GradeClassCondition {
    QString gradeCode; // 1 to 4 characters
    int inYear = 0;
    QString classCode; // 1 to 3 characters
    bool operator==(const GradeClassCondition &) const = default;
};
LUMEKO_GRAMMAR_EXPORT GradeClassCondition parseStudentCondition(QStringView text);

// QCheckData (school, table, field, quoted value): is a class or subject code still used by a
// grade? Only these two (table, field) pairs exist; names match without regard to case.
enum class CheckDataTarget {
    GradeClassClassCode,     // XJ_GradeClass.ClassCode
    GradeSubjectSubjectCode, // XJ_GradeSubject.SubjectCode
};
struct CheckData {
    CheckDataTarget target = CheckDataTarget::GradeClassClassCode;
    QString value; // the code without its quotes, 1 to 3 characters
    bool operator==(const CheckData &) const = default;
};
LUMEKO_GRAMMAR_EXPORT CheckData parseCheckData(QStringView table, QStringView field, QStringView literal);

// QTeacherByParam (field name, value): teachers are looked up by their school only.
enum class TeacherLookupField { SchoolCode };
LUMEKO_GRAMMAR_EXPORT TeacherLookupField parseTeacherLookupField(QStringView field);

} // namespace lumeko::server::grammar
