#pragma once
// The settings texts of the score analyses: the exams a progress analysis compares, the settings
// of the distribution and comparison reports, and the score page's student filter.

#include "server/grammar/codelists.h"
#include "server/grammar/grammar_export.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace lumeko::server::grammar {

// The no-page marker: the page name of every exam that is not a teacher's unit exam.
inline const QString NoPageMarker = QStringLiteral("⊥");

// One exam as the analyses name it.
struct ExamRef {
    QString gradeCode; // 1 to 4 ASCII letters or digits
    QString examCode;  // 1 to 3 ASCII letters or digits
    QString pageName;  // "⊥", or the user code of a unit exam's teacher (1 to 64 characters)
    bool operator==(const ExamRef &) const = default;
};

// QExamUpDown, QExamUDLine: the compared exams in the user's order, as comma text of
// "GradeCode;ExamCode;PageName" items. An item holding a blank, a double quote or a comma is
// enclosed in double quotes with inner double quotes doubled. At least two exams, each once.
LUMEKO_GRAMMAR_EXPORT QList<ExamRef> parseExamList(QStringView text);
// QExamQuality: one exam, as one item of such a list ("0701;001;⊥", quoted the same way).
// `argument` names the text in errors.
LUMEKO_GRAMMAR_EXPORT ExamRef parseExamRef(const QString &argument, QStringView text);

// QExamSum settings. Kind 0 (distribution):
//   ITEMS11 [ "," CUTS "," CUTS ] ";" SUBJECT ";" ( "ALL" | type { "," type } )
// where CUTS are the rank cut-offs from the top and from the bottom, 1 to 500 joined by "-"
// (possibly none), SUBJECT a subject code or FUL, MAI, BAS, and the types the student types'
// values. Kinds 1 (classes), 2 (subjects), 3 (teachers), comparison:
//   ITEMS21 ";" caption { "," caption } ";" code { "," code } [ ",FUL,MAI,BAS" ]
// where the captions are the ticked range (possibly "已选名单") and the totals belong to the
// class comparison only.
struct ExamSumSettings {
    int kind = 0;
    QList<bool> items; // 11 (kind 0) or 21 statistics items, ticked or not
    // kind 0
    bool rankLayers = false; // cut-offs were sent
    QList<int> topCuts;
    QList<int> bottomCuts;
    SubjectRef subject;
    bool allStudentTypes = false; // "ALL"; studentTypes is then empty
    QStringList studentTypes;
    // kinds 1 to 3
    StudentRange range;
    QList<SubjectRef> subjects; // the codes, then the three totals when sent
    bool operator==(const ExamSumSettings &) const = default;
};
LUMEKO_GRAMMAR_EXPORT ExamSumSettings parseExamSumSettings(int kind, QStringView text);

// The score page's student filter, which the analyses and the P-value roster pass on:
//   "" | CLASSES ";" [ STUDENTS ] | STUDENTS
// CLASSES are the class codes ticked in the page's class tree joined by ","; STUDENTS the codes
// of the students NOT ticked, joined by ",": an exclusion list. Student codes are 1 to 64 ASCII
// letters, digits and "{", "}", "-", "_" (the register's GUID texts).
struct StudentFilter {
    QStringList classCodes;
    QStringList excludedStudents;
    bool operator==(const StudentFilter &) const = default;
};
LUMEKO_GRAMMAR_EXPORT StudentFilter parseStudentExclusion(QStringView text);

} // namespace lumeko::server::grammar
