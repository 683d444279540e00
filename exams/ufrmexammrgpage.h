#pragma once
// TfrmExamMrgPage ("成绩管理"): the exams of a grade or of a whole section. The user creates exams
// through the wizard, edits one exam's subjects, totals and rights in place, freezes, renames,
// publishes and deletes exams, and opens an exam's score sheet.

#include "exams/examheaderfields.h"
#include "exams/examsubjects.h"
#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QToolBar;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmExamMrgPage : public QWidget {
    Q_OBJECT
public:
    explicit TfrmExamMrgPage(QWidget *parent = nullptr);

    QStringList Params; // intake year, grade code, grade name, history flag, viewer list of a section
    QStringList Rights; // "4029", "4030" and the keys of 4031
    int EditState = 0;  // 0 browsing, 2 editing the current exam
    int Tag = 4031;

    DataSet *cdsExamTotal, *cdsSubjects, *cdsExamSubject, *cdsSubjectType, *cdsShowType, *cdsClassName, *cdsGradeNames, *cdsGradeList, *cdsExamInfo,
        *cdsTeachers;
    BandedGrid *grdExams, *grdSubjects;
    QToolBar *tlbTools;
    QAction *acAdd, *acAddSys, *acAddUnit, *acEdit, *acSave, *acCancel, *acDelete, *acRefresh, *acFilter, *acFreeze, *acUnFreeze, *acScore, *acRename,
        *acPublish, *acHelp;
    ExamHeaderFields *header; // the 3 × 8 totals and the edit rights
    QDateEdit *deLimit, *deDefDay;

    QString ParameterProblem() const;
    void InitPage();
    void LoadData();
    bool SaveData();
    bool isEditing() const { return EditState == 2; }

    // What "成绩" sends: the score page's parameter text for the current exam.
    QString scoreParameters();
    // The input box of "改名"; tests replace it.
    std::function<std::optional<QString>(const QString &current)> askNewName;

public Q_SLOTS:
    void acEditExecute();
    void acSaveExecute() { SaveData(); }
    void acCancelExecute();
    void acDeleteExecute();
    void acFreezeExecute() { changeHeader(QStringLiteral("Freeze"), true); }
    void acUnFreezeExecute() { changeHeader(QStringLiteral("Freeze"), false); }
    void acRenameExecute();
    void acPublishExecute();
    void acScoreExecute();
    void acAddExecute(bool system);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool loadLists();
    void showCurrent();
    void setEditState(int state);
    void changeHeader(const QString &field, const QVariant &value);
    void storeChange(const QString &field, const QVariant &before);
    void listCellChanged();
    void rememberListed();
    // Stores a change of the current header alone; on refusal the change is undone.
    bool storeHeader(const QString &wait, const QString &refused, const QString &failed);
    ExamIdentity identity();
    QString gradeText(const QString &code);
    bool holds(const QString &right) const;

    ExamSubjects *m_subjects;
    bool m_storing = false;
    QHash<qint64, QVariantMap> m_held; // by exam Id: the options a tick in the list changes, as stored
    QString m_inYear, m_gradeCode, m_gradeName, m_flag, m_viewers;
};

} // namespace lumeko::achieve
