// The parsers of the texts the client sends that look like SQL or pack several values. Every one
// of them gets the input: each must answer with values or refuse with ClientTextError, never throw
// anything else, crash or trip a sanitizer. What they accept must keep the promises the server
// relies on when it binds the values:
//  - the filters and lists written back in the client's own form read back to the same values;
//  - a store path that passed the check passes it again unchanged and stays in the caller's folder;
//  - a formula that parsed evaluates to a finite number or fails with FormulaError;
//  - rank columns name only the exam's subjects, grade terms only the documented value types.
// Texts that take several arguments are cut at "|".

#include "check.h"

#include "server/grammar/analysistexts.h"
#include "server/grammar/clienttexterror.h"
#include "server/grammar/codelists.h"
#include "server/grammar/compositekeys.h"
#include "server/grammar/formula.h"
#include "server/grammar/gradefilter.h"
#include "server/grammar/registerfilters.h"
#include "server/grammar/storepath.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>

using namespace lumeko;
using namespace lumeko::server::grammar;

namespace {

QString input; // the current input, shown when a property fails

// Runs one parser; answers whether it accepted the text.
template <typename Parse> bool attempt(const char *parser, Parse &&parse)
{
    try {
        parse();
        return true;
    } catch (const ClientTextError &e) {
        fuzz::require(e.position() >= 0 && e.position() <= input.size(), "an error position outside the text",
                      QString::fromUtf8(parser) + QStringLiteral(": ") + e.message());
        return false;
    } catch (const std::exception &e) {
        fuzz::fail("a parser threw something other than ClientTextError",
                   QString::fromUtf8(parser) + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}

QString quote(const QString &value)
{
    return u'\'' + QString(value).replace(u'\'', QStringLiteral("''")) + u'\'';
}

QString examItem(const ExamRef &exam)
{
    const QString item = exam.gradeCode + u';' + exam.examCode + u';' + exam.pageName;
    bool needsQuotes = false;
    for (QChar c : item)
        needsQuotes = needsQuotes || c == u' ' || c == u'"' || c == u',' || c.unicode() < 32;
    return needsQuotes ? u'"' + QString(item).replace(u'"', QStringLiteral("\"\"")) + u'"' : item;
}

void filters(const QString &text)
{
    FamilyFilter family;
    if (attempt("family filter", [&] { family = parseFamilyFilter(text); })) {
        QString again = QStringLiteral(" and b.gradecode=") + quote(family.gradeCode) +
                        QStringLiteral(" and b.inyear=") + QString::number(family.inYear);
        if (family.classCode) again += QStringLiteral(" and b.classcode=") + quote(*family.classCode);
        fuzz::require(parseFamilyFilter(again) == family, "a family filter read back differently", again);
    }
    GradeClassCondition condition;
    if (attempt("student condition", [&] { condition = parseStudentCondition(text); })) {
        const QString again = QStringLiteral(" and GradeCode=") + quote(condition.gradeCode) +
                              QStringLiteral(" and InYear=") + QString::number(condition.inYear) +
                              QStringLiteral(" and ClassCode=") + quote(condition.classCode);
        fuzz::require(parseStudentCondition(again) == condition, "a student condition read back differently", again);
    }
    QList<GradeTerm> terms;
    if (attempt("grade filter", [&] { terms = parseGradeFilter(text); })) {
        fuzz::require(!terms.isEmpty() && terms.size() <= 8, "a grade filter with no or too many terms", text);
        for (const GradeTerm &term : terms) {
            if (term.field == GradeField::InYear)
                fuzz::require(term.value.typeId() == QMetaType::Int && term.value.toInt() >= 1000 &&
                                  term.value.toInt() <= 9999 && term.match == GradeTerm::Match::Equals,
                              "an intake year term that is no year", text);
            else
                fuzz::require(term.value.typeId() == QMetaType::QString && !term.value.toString().isEmpty(),
                              "a text term without text", text);
            if (term.match == GradeTerm::Match::StartsWith)
                for (QChar c : term.value.toString())
                    fuzz::require(c.isLetterOrNumber() && c.unicode() < 128, "a wildcard in a prefix", text);
        }
    }
    attempt("year argument", [&] { gradeTermsFromArgument(GradeField::InYear, text); });
    attempt("grade argument", [&] { gradeTermsFromArgument(GradeField::GradeCode, text); });
    attempt("teacher lookup field", [&] { parseTeacherLookupField(text); });

    const QStringList parts = text.split(u'|');
    if (parts.size() == 3) attempt("checked value", [&] { parseCheckData(parts[0], parts[1], parts[2]); });
    attempt("checked class", [&] { parseCheckData(u"XJ_GradeClass", u"ClassCode", text); });
}

void lists(const QString &text)
{
    QStringList codes;
    if (attempt("class list", [&] { codes = parseQuotedCodeList(text); })) {
        QStringList quoted;
        for (const QString &code : codes)
            quoted.append(quote(code));
        const QString again = quoted.join(u',');
        fuzz::require(parseQuotedCodeList(again) == codes, "a class list read back differently", again);
    }
    if (attempt("class codes", [&] { codes = parseClassCodeList(QStringLiteral("class codes"), text); }))
        fuzz::require(parseClassCodeList(QStringLiteral("class codes"), codes.join(u',')) == codes,
                      "class codes read back differently", text);
    attempt("subject list", [&] { parseSubjectList(text); });
    const QStringList examSubjects{"001", "002", "010"};
    for (bool totals : {false, true}) {
        RankColumns columns;
        if (attempt("rank columns", [&] { columns = parseOrderFieldList(text, examSubjects, totals); })) {
            for (const QString &code : columns.subjectCodes)
                fuzz::require(examSubjects.contains(code), "a rank column of a subject the exam lacks", text);
            fuzz::require(totals || !(columns.fullTotal || columns.baseTotal || columns.mainTotal),
                          "totals ranked for a unit exam", text);
        }
    }
    attempt("subject set", [&] { parseSubjectSet(text); });
    attempt("merged subject set", [&] { parseMergedSubjectSet(text); });
    attempt("student range", [&] { parseStudentRange(QStringLiteral("sTypes"), text); });
}

void analyses(const QString &text)
{
    QList<ExamRef> exams;
    if (attempt("exam list", [&] { exams = parseExamList(text); })) {
        QStringList items;
        for (const ExamRef &exam : exams)
            items.append(examItem(exam));
        const QString again = items.join(u',');
        fuzz::require(parseExamList(again) == exams, "an exam list read back differently", again);
    }
    ExamRef exam;
    if (attempt("exam", [&] { exam = parseExamRef(QStringLiteral("exam"), text); }))
        fuzz::require(parseExamRef(QStringLiteral("exam"), examItem(exam)) == exam, "an exam read back differently", examItem(exam));
    for (int kind = 0; kind <= 3; ++kind) {
        ExamSumSettings settings;
        if (attempt("analysis settings", [&] { settings = parseExamSumSettings(kind, text); }))
            fuzz::require(settings.items.size() == (kind == 0 ? 11 : 21), "analysis settings with a wrong item count",
                          text);
    }
    attempt("student filter", [&] { parseStudentExclusion(text); });
    attempt("school and grade", [&] { parseSchoolGrade(text); });
    attempt("user and role", [&] { parseUserRole(text); });
    attempt("exam key", [&] { parseExamKeyText(text); });
    attempt("P-value exam key", [&] { parsePValExamKey(text); });
    attempt("id", [&] { parseIdText(QStringLiteral("id"), text); });
}

void formula(const QString &text)
{
    Formula parsed;
    if (!attempt("formula", [&] { parsed = parseFormula(text); })) return;
    PValueValues values;
    for (int i = 0; i <= int(PValueField::nLeaveNums); ++i)
        values.insert(PValueField(i), i % 3);
    try {
        fuzz::require(std::isfinite(evaluate(parsed, values)), "a formula evaluated to a non-finite number", text);
    } catch (const FormulaError &) {
    } catch (const std::exception &e) {
        fuzz::fail("evaluating threw something other than FormulaError", QString::fromUtf8(e.what()));
    }
}

void storePath(const QString &text)
{
    QString path;
    if (attempt("photo path", [&] { path = checkStorePath(text, u"s1"); })) {
        fuzz::require(path.startsWith(QStringLiteral("StudentPics/s1/")) && path.count(u'/') == 3 &&
                          !path.split(u'/').contains(QStringLiteral("..")) && !path.contains(u'\\'),
                      "a store path outside the school's photo folders", path);
        fuzz::require(checkStorePath(path, u"s1") == path, "a checked store path changed when checked again", path);
    }
    const qsizetype cut = text.indexOf(u'|');
    if (cut >= 0) attempt("photo folder and name", [&] { checkStorePath(text.left(cut), text.mid(cut + 1), u"s1"); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    filters(input);
    lists(input);
    analyses(input);
    formula(input);
    storePath(input);
    return 0;
}
