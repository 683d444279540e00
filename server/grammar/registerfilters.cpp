#include "server/grammar/registerfilters.h"

#include "server/grammar/scanner.h"

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

// Reads " and <field>=" or fails naming the whole clause as the client writes it.
void expectClause(Scanner &s, QLatin1StringView field, const QString &shown)
{
    if (!s.acceptAndClause(field)) s.fail(u"expected \""_s + shown + u'"');
}

} // namespace

FamilyFilter parseFamilyFilter(QStringView text)
{
    Scanner s(text, u"family filter"_s);
    FamilyFilter filter;
    expectClause(s, "b.gradecode"_L1, u" and b.gradecode="_s);
    filter.gradeCode = s.quotedValue(u"grade code"_s, 1, 4);
    expectClause(s, "b.inyear"_L1, u" and b.inyear="_s);
    // A whole stage's page may name no intake year: 0 stands for the stage's current grades.
    filter.inYear = filter.gradeCode.size() == 1 && s.acceptChar(u'0') ? 0 : s.year();
    if (s.acceptAndClause("b.classcode"_L1)) filter.classCode = s.quotedValue(u"class code"_s, 1, 3);
    s.expectEnd(filter.classCode ? u"the end"_s : u"\" and b.classcode=\" or the end"_s);
    return filter;
}

GradeClassCondition parseStudentCondition(QStringView text)
{
    Scanner s(text, u"student condition"_s);
    GradeClassCondition condition;
    expectClause(s, "GradeCode"_L1, u" and GradeCode="_s);
    condition.gradeCode = s.quotedValue(u"grade code"_s, 1, 4);
    expectClause(s, "InYear"_L1, u" and InYear="_s);
    condition.inYear = s.year();
    expectClause(s, "ClassCode"_L1, u" and ClassCode="_s);
    condition.classCode = s.quotedValue(u"class code"_s, 1, 3);
    s.expectEnd(u"the end"_s);
    return condition;
}

CheckData parseCheckData(QStringView table, QStringView field, QStringView literal)
{
    CheckData check;
    QLatin1StringView expectedField;
    if (equalsAsciiNoCase(table, "XJ_GradeClass"_L1)) {
        check.target = CheckDataTarget::GradeClassClassCode;
        expectedField = "ClassCode"_L1;
    } else if (equalsAsciiNoCase(table, "XJ_GradeSubject"_L1)) {
        check.target = CheckDataTarget::GradeSubjectSubjectCode;
        expectedField = "SubjectCode"_L1;
    } else {
        throw ClientTextError(u"checked table"_s, u"expected XJ_GradeClass or XJ_GradeSubject"_s, 0);
    }
    if (!equalsAsciiNoCase(field, expectedField))
        throw ClientTextError(u"checked field"_s, u"expected "_s + expectedField, 0);
    Scanner s(literal, u"checked value"_s);
    check.value = s.quotedValue(u"code"_s, 1, 3);
    s.expectEnd(u"the end after the quoted code"_s);
    return check;
}

TeacherLookupField parseTeacherLookupField(QStringView field)
{
    if (!equalsAsciiNoCase(field, "SchoolCode"_L1))
        throw ClientTextError(u"teacher lookup field"_s, u"expected SchoolCode"_s, 0);
    return TeacherLookupField::SchoolCode;
}

} // namespace lumeko::server::grammar
