#pragma once
// The module's functions as the host opens them: which export a function id of the rights tree
// calls, in which group of the menu it stands, and what it is opened on, turned into the parameter
// text that export reads.

#include "host/app/navigation.h"

#include <QString>

#include <optional>

namespace lumeko::host {

enum class ExportKind { Page, Dialog, DialogWithParams };

// What a function needs from the place it is opened on.
enum class Needs {
    Nothing,        // a dialog of the whole school
    AllDepartments, // the teachers' page, all departments
    Place,          // a section, a grade or a class (the register)
    GradeOrSection, // a grade or a whole section; a class stands for its grade
    Grade,          // one grade; a class stands for its grade, a section does not do
    Exam,           // an exam's score sheet: through the exam management page of the grade
};

struct HostFunction {
    const char *id;
    const char *exportName;
    ExportKind kind;
    Needs needs;
    const char *group;
};

// The function of a rights-tree id; null for an id the host does not know.
const HostFunction *hostFunction(const QString &id);

// The menu groups in their order.
QStringList functionGroups();

// The parameter text `f`'s export reads for `place`; nothing when the place does not fit the
// function (then the host asks for a grade with its chooser).
std::optional<QString> parametersFor(const HostFunction &f, const Place &place);

// The export that shows one exam's score sheet, and the parameter text it reads for a row of
// pub::recentExams(): intake year, grade code, the grade's name, its current flag, its leaders,
// the exam's subject codes, exam code, page name and the sheet's title ("2025级七年级.期中考试").
inline constexpr char kScoreSheetExport[] = "ShowAchievePage";
QString scoreSheetParameters(const wire::DataPacket &exams, qsizetype row, const QString &gradeName);

} // namespace lumeko::host
