#pragma once
// TfrmCourseTable ("教师任课表"): who teaches what, on one sheet. Under the subjects' columns stand
// the school's subject leaders and their deputies, then for every grade shown its leaders (年级长
// and the 备课组长 of each subject, with their deputies or, with a campus tree, the branch campus's)
// and its classes with their head teachers and the teacher of each subject. Names are typed,
// filled from the teacher list, pasted or cleared; saving turns the sheet back into the rows of
// the school's subjects, grades, grade subjects, grade classes and course table (and the teachers
// a pasted name added), and grants or revokes the roles those duties carry.
//
// Not a base page: it closes with the host's tab, not with the module's pages.

#include "framework/achieve_export.h"
#include "toolkit/data/chinese.h"
#include "toolkit/data/dataset.h"
#include "wire/envelope.h"

#include <QHash>
#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QToolBar;
class QToolButton;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmCourseTable : public QWidget {
    Q_OBJECT
public:
    explicit TfrmCourseTable(QWidget *parent = nullptr);

    QStringList Params; // intake year, grade code (or a stage), grade name, current flag, a text kept
    QStringList Rights; // the user's keys for 4008 and the common ones
    int EditState = 0;  // 0 browsing, 2 editing
    int Tag = 4008;
    QString HelpFile = QStringLiteral("CourseTable");

    DataSet *cdsSubjectNames; // the school's subjects with their leaders (XJ_Subject)
    DataSet *cdsGrades;       // the grades shown, with their leaders (XJ_Grade)
    DataSet *cdsGradeNames;
    DataSet *cdsSubjects;   // the grades' subjects with their lesson-preparation leaders (XJ_GradeSubject)
    DataSet *cdsGradeClass; // the grades' classes with their head teachers (XJ_GradeClass)
    DataSet *cdsData;       // the course table (XJ_CourseTable)
    DataSet *cdsTeachers;   // sCode, sName, SchoolCode, iState
    DataSet *cdsClassNames;
    DataSet *cdsSchoolInfo;
    DataSet *cdsSheet; // what the grid shows: one row per line of the sheet

    BandedGrid *sGrid;
    QToolBar *tlbTools;
    QLineEdit *edSearch; // "快速查找"
    QToolButton *btnSearch;
    QListWidget *lstTeachers;
    QComboBox *cbSeparator; // "分隔符"
    QCheckBox *chkAutoAdd;  // "未知教师自动增加"

    QAction *ActEdit, *ActSave, *ActCancel, *ActPut, *ActClear, *ActClearALL, *ActCopy, *ActCopyALL, *ActPaste, *ActImport, *ActFresh, *ActTranRight, *ActHelp;

    QString ParameterProblem() const;
    void InitPage();
    void LoadData();
    bool SaveData();
    bool isEditing() const { return EditState != 0; }
    void setEditState(int state);

    // ---- the sheet
    enum class Line { SubjectLeaders, SubjectDeputies, GradeLeaders, GradeDeputies, Class };
    // The sheet's columns: the line's caption, the grade leaders, the head teachers, then one per
    // school subject.
    static constexpr int kCaptionColumn = 0, kLeaderColumn = 1, kHeadColumn = 2, kFirstSubjectColumn = 3;
    // The row of a line (a grade's lines: its intake year and code; a class line: also its class);
    // -1 when the sheet has none.
    int lineRow(Line line, qint64 inYear = 0, const QString &grade = {}, const QString &classCode = {}) const;
    int subjectColumn(const QString &subjectCode) const; // -1 when the school has no such subject
    int rowCount() const;
    int columnCount() const;
    QString cellText(int row, int column) const;
    // Whether a cell holds a name the user may change (not a caption, not a subject the grade
    // lacks, no head teacher outside a class).
    bool cellEditable(int row, int column) const;
    // Selects the cells from (top, left) to (bottom, right) and focuses the first.
    void selectCells(int top, int left, int bottom, int right);
    // The teacher chosen in the list; empty when none is.
    QString chosenTeacher() const;
    bool chooseTeacher(const QString &teacherCode);

public Q_SLOTS:
    void ActEditExecute() { setEditState(2); }
    void ActSaveExecute() { SaveData(); }
    void ActCancelExecute();
    void ActPutExecute();
    void ActClearExecute();
    void ActClearALLExecute();
    void ActCopyExecute();
    void ActCopyALLExecute();
    void ActPasteExecute();
    void ActFreshExecute();
    void ActTranRightExecute();
    void ActHelpExecute();
    // The list's first teacher whose initials begin with the text ("zs" finds 张三).
    void searchInitials(const QString &text);
    // The next teacher after the chosen one whose name holds the search box's text.
    void searchName();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct SheetLine {
        Line line;
        qint64 inYear = 0;
        QString grade;
        QString classCode;
    };
    struct RoleChange {
        QString teacher;
        QString role;
        int grant;
        bool operator==(const RoleChange &) const = default;
    };

    bool loadTables();
    QList<wire::Argument> gradeArguments() const;
    bool gradeShown(const QVariantList &gradeRow, const wire::DataPacket &packet) const;
    void buildSheet();
    void fillTeacherList();
    void indexTeachers();
    bool holds(const QString &right) const;
    const SheetLine *lineOf(int row) const;
    QString fieldOfColumn(int column) const;
    bool gradeHasSubject(const SheetLine &l, const QString &subject) const;
    QString blockedText(const SheetLine &l, int column) const;
    QString nameOf(const QString &teacher) const;
    // The teacher a name stands for in a cell: the one the cell was given when its name is his,
    // else an in-service teacher of that name, else any; empty when no teacher has the name.
    QString teacherOfCell(int row, int column, const QString &name) const;
    // Writes a cell (blanks removed) and remembers whom it names; a name no teacher has becomes a
    // new teacher when 未知教师自动增加 is ticked.
    void writeCell(int row, int column, const QString &name, const QString &teacher = {});
    QString addTeacher(const QString &name);
    void cellEdited(int row, int column);
    QList<QPair<int, int>> selectedCells() const; // (row, column), row by row
    QString sheetText(const QList<QPair<int, int>> &cells, bool titles) const;
    // The sheet back into the tables; false (after saying which) when a name names nobody.
    bool readSheet();
    QList<RoleChange> roleChanges() const;
    bool applyRoles(const QList<RoleChange> &changes);
    void cancelTables();
    QString cellId(int row, int column) const;

    QList<SheetLine> m_lines;              // by the sheet row's RowNo
    QHash<QString, QString> m_cellTeacher; // "RowNo|field" → the teacher the cell's name stands for
    QHash<QString, QStringList> m_byName;  // name → teacher keys, in-service first
    QStringList m_subjectCodes;            // the subjects' columns, in order
    PinyinTable m_pinyin;
    QString m_inYear, m_gradeCode, m_gradeName, m_flag, m_kept;
    QString m_mainCap, m_subCap;
    bool m_subTree = false;
    bool m_writing = false;
};

} // namespace lumeko::achieve
