#pragma once
// TPubDefineStudent ("考试学生名单定义"): which students of the grade sit an exam. The score page
// loads the grade's candidates into cdsStudent, hands over its score sheet (the exam's student
// list) and runs the dialog: the students already on the list come ticked, and OK takes the
// unticked ones off the list (asking first for a student who already has scores) and appends the
// newly ticked ones. The removals and appends stay in the sheet's change log for the page to store.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QAction;
class QMenu;
class QPushButton;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TPubDefineStudent : public QDialog {
    Q_OBJECT
public:
    explicit TPubDefineStudent(QWidget *parent = nullptr);

    // The candidates (fields sCode, sNo, sName, sType, ClassName, ClassCode, sSex, iClassNo and
    // the tick Selected), loaded by the caller; field names in any letter case.
    DataSet *cdsStudent;
    BandedGrid *cxGridStudent;
    QPushButton *btnSelectAll, *btnUnSelectAll, *btnOk, *btnCancel;
    QMenu *pmGrid;
    // The grid's menu: tick or untick the grid's selected rows, or every row.
    QAction *acSelect, *acUnSelect, *acSelectAll, *acUnSelectAll;

    // The exam, set by the caller before the dialog shows.
    QString GradeCode;    // four characters at most
    int ExamId = 0;       // kept for the caller
    QString SubjectCodes; // the exam's subject codes as comma text: its score columns are "C_" + code

    // The exam's student list (the score sheet): sCode, sName, sNo, sSex, iClassNo, optionally
    // ClassCode and ClassName, and the score columns. The caller keeps it.
    void setExamList(DataSet *list) { m_examList = list; }
    DataSet *examList() const { return m_examList; }

    // An exam held for some classes only (its Classes, comma text, neither empty nor "ALL")
    // offers the students of those classes alone: every other candidate is removed.
    void keepClasses(const QString &classes);

    // Ticks the candidates on the exam list, none other, and goes to the first candidate; with an
    // empty list the ticks stay as loaded. Done whenever the dialog shows.
    void tickListedStudents();
    // Ticks (or unticks) every candidate, or the grid's selected rows.
    void tickAll(bool ticked);
    void tickSelected(bool ticked);

    // Whether the exam list's current row holds a score above zero in one of the exam's subjects.
    bool listRowHasScores() const;

public Q_SLOTS:
    void acSelectExecute() { tickSelected(true); }
    void acUnSelectExecute() { tickSelected(false); }
    void acSelectAllExecute() { tickAll(true); }
    void acUnSelectAllExecute() { tickAll(false); }
    // "确定": brings the exam list in line with the ticks and closes with OK.
    void confirm();

protected:
    void showEvent(QShowEvent *event) override;

private:
    DataSet *m_examList = nullptr;
};

} // namespace lumeko::achieve
