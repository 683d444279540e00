#pragma once
// TfrmExamDefine: the three-step exam definition wizard ("考试类型", "考试科目", "考试总分及权限范围")
// for a unit exam of a teacher (ShowExamDefFDlg) or, in system mode, a school-wide exam
// (ShowSysExamDefFDlg). It writes the exam header and its subject rows in one call, then the
// roster of candidates.

#include "exams/examheaderfields.h"
#include "exams/examsubjects.h"
#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmExamDefine : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExamDefine(QWidget *parent = nullptr);

    QStringList Params; // intake year, grade code, grade name, history flag
    bool SystemMode = false;

    // ---- the exam's tables
    DataSet *cdsExamType, *cdsExamInfo, *cdsSubjects, *cdsExamTotal, *cdsExamSubject, *cdsGradeClass, *cdsClassName;

    // ---- step 1: which exam
    QLabel *lblTitle, *lblStep;
    QStackedWidget *pcSteps;
    QGroupBox *gbExamType;
    QButtonGroup *rgExamType;
    QListWidget *lbExamName; // the catalogue, filtered by the exam kind
    QLineEdit *edExamName;   // the alias (考试别名)
    // ---- step 2: its subjects
    BandedGrid *grdSubjects;
    QCheckBox *chkAll;
    // ---- step 3: totals, classes, rights
    ExamHeaderFields *header; // the 3 × 8 totals and the edit rights
    QCheckBox *chkWholeGrade, *chkFreeze, *chkPublish;
    QListWidget *lbClasses;
    QDateEdit *deLimit;
    QComboBox *cbInway;
    QPushButton *btnPrior, *btnNext, *btnCancel;

    // The initial load, after Params and SystemMode are set.
    void prepare();
    int step() const;
    // "下一步" on steps 1 and 2, "完成" on step 3; false when the dialog stays where it is.
    bool next();
    void prior();

    int InYear = 0;
    QString GradeCode, GradeName;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool isUnit() const { return !SystemMode; }
    QString pageName() const;
    void filterCatalogue();
    void showStep(int index);
    bool leaveStep1();
    bool loadSubjects();
    void copySameExam();
    bool leaveStep2();
    void fillTotals();
    bool finish();

    ExamIdentity identity() const;

    ExamSubjects *m_subjects;
    QString m_storedClasses;                          // the header's Classes when it was loaded
    bool m_newExam = false;
};

} // namespace lumeko::achieve
