#pragma once
// What the organisation dialogs (grades, departments, classes, subjects and the grades' classes
// and subjects) share: the way a save sends its changes and tells the user, the fields an
// operation-log line describes, the drop-down lists of teachers, registry lists and campuses, and
// the grade a grade dialog works on.

#include "framework/achieve_export.h"
#include "framework/remotetable.h"
#include "toolkit/data/dataset.h"
#include "toolkit/grid/gridcolumn.h"
#include "wire/protocol/method.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

// The texts of one dialog's save.
struct OrganisationSave {
    QString wait;                // the wait indicator while the changes go to the server
    QString callLog;             // operation log once the server answered ("修改保存年级数据"); empty: none
    QString changeLog;           // operation log before the description of the stored changes; empty: none
    QString errorPrefix;         // before the server's words in the host's log ("部门保存：")
    bool closeGradeData = false; // the host reads grades and classes again afterwards
};

// Sends `table`'s pending changes to `update` (change packet, -1, error count) and tells the user:
// "更新成功！" when every row was stored (the changes are then accepted), "更新失败！" when the
// server refused rows, "服务器连接失败！" without an answer (the server's words go to the host's
// log). The changes stay pending unless stored. True when stored.
LUMEKO_ACHIEVE_EXPORT bool sendOrganisationChanges(QWidget *owner, DataSet &table, const wire::protocol::Method &update, const OrganisationSave &texts);

// Makes every field of `table` that `grid` has a column of a field the operation log describes
// (tag 2), labelled with the column's caption.
LUMEKO_ACHIEVE_EXPORT void markLoggedFields(DataSet &table, const BandedGrid &grid);

// A dialog fills the codes and the school of its new rows when it saves, and the server judges
// the rest: no field refuses a row for being empty while the user types.
LUMEKO_ACHIEVE_EXPORT void acceptEmptyFields(DataSet &table);

// The school's teachers (QTeachers) as a drop-down list: key sCode, text sName. Empty after a
// failure, which is reported with `caption`.
LUMEKO_ACHIEVE_EXPORT QList<LookupItem> teacherLookup(QWidget *owner, const QString &caption);

// A registry list (QRegByType) as key and text (sKeyId, sValue) pairs, in the registry's order.
// Empty after a failure, which is reported with `caption`.
LUMEKO_ACHIEVE_EXPORT QList<LookupItem> registryLookup(QWidget *owner, const QString &caption, const QString &listName);

// The campuses of the school (its record's bHasSub, sMainCap and sSubCap).
struct SchoolCampuses {
    bool hasSub = false;
    QString mainCap, subCap;
    QList<LookupItem> lookup() const { return {{mainCap, mainCap}, {subCap, subCap}}; }
};
LUMEKO_ACHIEVE_EXPORT SchoolCampuses schoolCampuses();

// Puts a column of the grid to a drop-down of `items` (the column must exist).
LUMEKO_ACHIEVE_EXPORT void setLookup(BandedGrid &grid, const char *field, const QList<LookupItem> &items);

// A department's, class's or subject's code: the number with at least three digits ("005", "123").
LUMEKO_ACHIEVE_EXPORT QString threeDigitCode(qint64 number);

// Numbers `table`'s new rows after the highest code in use (`highest`: MaxDeptID, MaxSubjectID)
// in `codeField`, and gives them the school. False, after telling the user, without an answer.
LUMEKO_ACHIEVE_EXPORT bool numberNewRows(QWidget *owner, const QString &caption, DataSet &table, const wire::protocol::Method &highest,
                                         const QString &codeField);

// Whether a code is used in `table`'s `field` (QCheckData), so that its row may not be deleted;
// nothing, after telling the user, when the server could not be asked.
LUMEKO_ACHIEVE_EXPORT std::optional<bool> codeInUse(QWidget *owner, const QString &caption, const QString &table, const QString &field, const QString &code);

// The grade's name in the school's grade names ("七年级"); the code itself when it is not there.
LUMEKO_ACHIEVE_EXPORT QString gradeNameOf(const QString &gradeCode);

// One grade of one intake.
struct GradeOfYear {
    int inYear = 0;
    QString code;
    QString name;
    bool valid() const { return inYear > 0 && !code.isEmpty(); }
};

// The grade a grade dialog works on, above its grid: from the dialog's parameters (intake year,
// grade code, grade name, "Y" for a current grade), either as a label ("当前年级：2026级七年级")
// or, for a current grade, as a chooser of the school's current grades starting on it.
class LUMEKO_ACHIEVE_EXPORT GradeChooser : public QWidget {
    Q_OBJECT
public:
    // `chooserCaption` is the label beside the chooser ("当前年级：", "年级：").
    GradeChooser(const QString &chooserCaption, QWidget *parent = nullptr);

    // Reads the parameters; a list of fewer than four items offers the current grades, the first
    // chosen.
    void setUp(const QStringList &params);
    GradeOfYear grade() const { return m_grade; }

    QLabel *lblGrade;
    QComboBox *cbGrade; // hidden unless the grade is chosen here

Q_SIGNALS:
    void gradeChanged();

private:
    void fillCurrentGrades();
    void takeChoice();
    QString m_caption;
    GradeOfYear m_grade;
};

} // namespace lumeko::achieve
