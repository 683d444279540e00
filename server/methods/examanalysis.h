#pragma once
// What the score analyses of one exam share (QExamSum, QExamQuality): the exam's counted students
// read once with their classes, branches and the score columns a report needs, the course table's
// teachers, and each column's figures from the statistics engine's class tallies (a branch, a
// teacher's classes and the grade are sums of class tallies). Who is counted is written down in
// server/README.md, "Score analyses: QExamSum"; the statistics in docs/statistics.md.

#include "domain/examstatistics.h"
#include "server/grammar/analysistexts.h"
#include "server/methods/examstore.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>
#include <vector>

namespace lumeko::server {

// A subject or a total, with its scores by counted row.
struct ScoreColumn {
    QString code; // "001", or "FUL", "MAI", "BAS"
    QString name; // 语文, or 全总分, 主总分, 基总分
    bool total = false;
    int subjectType = 2;
    domain::ColumnMarks marks;
    std::vector<double> scores;
};

inline constexpr const char *kTotalCodes[] = {"FUL", "MAI", "BAS"};
inline constexpr const char *kTotalNames[] = {"全总分", "主总分", "基总分"};
// 0 全总分, 1 主总分, 2 基总分.
int totalIndex(grammar::SubjectRef::Kind k);

// One exam's counted students, laid out by class, with the columns that were asked for.
struct ExamData {
    StoredExam exam;
    // Counted students, class by class (class code, then student code).
    std::vector<int> classOf;
    QStringList classCodes, classNames, headTeachers; // per class
    std::vector<int> branchOfClass;
    QStringList branchNames;     // sorted
    QList<ScoreColumn> subjects; // every subject of the exam, by code; scores only where read
    QHash<QString, int> subjectIndex;
    std::optional<ScoreColumn> totals[3];
    std::optional<domain::LetterShares> letters;
    // Each counted student's standing over every subject as UpExamOrder stored it, when 全科 was
    // asked for and every candidate has one; empty when the subjects' scores were read instead.
    std::vector<domain::AllPassState> allPassStates;
    // The course table: "class|subject" → teacher code; teacher code → name.
    QHash<QString, QString> teacherOf;
    QHash<QString, QString> teacherNames;

    bool counted() const { return !classCodes.isEmpty(); }
    bool showBranches() const { return branchNames.size() >= 2; }
    bool hasColumn(const grammar::SubjectRef &s) const;
    // A column the exam has (hasColumn).
    const ScoreColumn &column(const grammar::SubjectRef &s) const;
};

// What to read of an exam.
struct ExamRead {
    QList<grammar::SubjectRef> columns; // the subjects and totals analysed
    bool allSubjects = false;           // every subject's scores (全科及格)
    bool teachers = false;              // the course table of the subjects among `columns`
    bool allTypes = true;               // every student type; otherwise `types`
    QStringList types;
    grammar::StudentFilter filter;
    // With `columns` that the exam does not have: refuse, or read the others and leave those out.
    bool strictColumns = true;
    // A call that counts nobody: refuse, or answer an exam without classes.
    bool nobodyIsError = true;
};

// Reads the exam. Refuses, naming `method` (CallError): an exam that is not there, a user who sees
// no class of it, a subject that is not the exam's (with strictColumns), totals of a unit exam or
// without 4011/ViewTotal, and (with nobodyIsError) a call that counts nobody.
ExamData loadExam(MethodCall &c, const wire::protocol::Method &method, const ExamKey &k, const ExamRead &read);

// The groups a figure is given for.
struct Group {
    enum Kind { Class, Branch, Grade } kind = Grade;
    int index = 0;
};

// One column's figures for every class, branch and the grade.
struct ColumnFigures {
    const ScoreColumn *column = nullptr;
    domain::ColumnTallies tallies;
    std::vector<domain::Figures> classes, branches;
    domain::Figures grade;
    std::vector<std::optional<int>> averageRanks; // by class

    const domain::Figures &of(const Group &g) const
    {
        return g.kind == Group::Class ? classes[std::size_t(g.index)] : g.kind == Group::Branch ? branches[std::size_t(g.index)] : grade;
    }
};

domain::ExamStatistics engineOf(const ExamData &d);
ColumnFigures figuresOf(const domain::ExamStatistics &engine, const ScoreColumn &column, const domain::TallyOptions &options = {});

// The classes, then the branches when there are two or more, then the grade.
QList<Group> groupsOf(const ExamData &d);
// The class's name, the branch's, or "年级".
QString groupName(const ExamData &d, const Group &g);
// The teacher of a class for a column: its course-table teacher for a subject, its head teacher
// for a total; empty when there is none.
QString teacherName(const ExamData &d, const ScoreColumn &column, int classIndex);

// A figure as the reports carry it: rounded to two decimals, null when there is none.
QVariant rounded(const std::optional<double> &v);

// AchieveQry.QExamQuality (qualitymethods.cpp), registered with the score analyses.
void qExamQuality(MethodCall &c);

} // namespace lumeko::server
