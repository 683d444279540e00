#pragma once
// Lists of codes the client packs into one text: classes of an exam, subjects of an analysis,
// the columns to rank after saving scores, the subject sets and student range of a P-value record.
// Class codes are 1 to 3 ASCII letters or digits, subject codes exactly three ASCII digits (so
// that none is ever read as one of the totals FUL, MAI, BAS). No list may name the same code twice.

#include "server/grammar/grammar_export.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace lumeko::server::grammar {

// UpExamStudents: the exam's classes as "'001','002'" (blanks around the commas allowed); the
// empty text means the whole grade and gives an empty list.
LUMEKO_GRAMMAR_EXPORT QStringList parseQuotedCodeList(QStringView text);

// Class codes joined by "," without quotes ("001,002"); the empty text gives an empty list.
// `argument` names the text in errors.
LUMEKO_GRAMMAR_EXPORT QStringList parseClassCodeList(const QString &argument, QStringView text);

// A subject of an analysis: a subject code or one of the three totals.
struct SubjectRef {
    enum class Kind { Subject, FullTotal, MainTotal, BaseTotal }; // FUL, MAI, BAS
    Kind kind = Kind::Subject;
    QString code; // the subject code; empty for a total
    bool operator==(const SubjectRef &) const = default;
};
// QExamUpDown, QExamUDLine: subject codes and "FUL", "MAI", "BAS"
// joined by ",", in the user's order, at least one.
LUMEKO_GRAMMAR_EXPORT QList<SubjectRef> parseSubjectList(QStringView text);

// UpExamOrder: the columns to total and rank after a save,
//   FULLTOTAL,FULLORDER[,BASETOTAL,BASEORDER][,MAINTOTAL,MAINORDER]{,C_<code>,O_<code>}
// with an optional leading ",". The totals are allowed only for the school-wide exam
// (`totalsAllowed`); every subject code must be one of `allowedSubjectCodes`, the exam's
// subjects. Column names match without regard to case. The empty text ranks nothing.
struct RankColumns {
    bool fullTotal = false;
    bool baseTotal = false;
    bool mainTotal = false;
    QStringList subjectCodes; // in the order given, as spelled in allowedSubjectCodes
    bool operator==(const RankColumns &) const = default;
};
LUMEKO_GRAMMAR_EXPORT RankColumns parseOrderFieldList(QStringView text, const QStringList &allowedSubjectCodes,
                                                      bool totalsAllowed);

// QMark: the subjects of the score sheet, three-digit codes joined by ";" or "," in the sheet's
// order, optionally after the class tree's selection: "@" and the ticked class codes joined by
// ",", then ";" ("@001,003;001;002;003"). "@;" alone selects no class. The empty text gives no
// subject.
struct SheetSubjectFilter {
    bool classesSelected = false;
    QStringList classes;
    QStringList subjects;
    bool operator==(const SheetSubjectFilter &) const = default;
};
LUMEKO_GRAMMAR_EXPORT SheetSubjectFilter parseSheetSubjectFilter(QStringView text);

// sSubjects6 of a P-value record: three-digit subject codes joined by ",", at least one.
LUMEKO_GRAMMAR_EXPORT QStringList parseSubjectSet(QStringView text);
// sSubjects10: entries joined by ","; an entry is a three-digit code, or the codes of subjects
// counted as one joined by ";". The number of entries is the formula's count of all subjects.
LUMEKO_GRAMMAR_EXPORT QList<QStringList> parseMergedSubjectSet(QStringView text);

// The ticked captions of a student-type range, joined by ","; at least one. The caption "已选名单"
// stands for the students the caller picked, not for a student type.
inline const QString PickedStudentsCaption = QStringLiteral("已选名单");
struct StudentRange {
    QStringList studentTypes; // captions of 1 to 32 characters, without "," or ";"
    bool pickedStudents = false;
    bool operator==(const StudentRange &) const = default;
};
// sTypes of a P-value record; `argument` names the text in errors.
LUMEKO_GRAMMAR_EXPORT StudentRange parseStudentRange(const QString &argument, QStringView text);

} // namespace lumeko::server::grammar
