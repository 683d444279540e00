#pragma once
// TfrmGradeDefine ("定义新年级", ShowGradeDefForm): the three-step wizard that defines a grade of an
// intake for a school year: the grade with its school year and leaders, then its subjects, then its
// classes. Grade, subjects and classes are stored together by one call (UpGradeDefine) or not at
// all; afterwards the host drops its cached grade data and may download the grade's students.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>
#include <QHash>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmGradeDefine : public QDialog {
    Q_OBJECT
public:
    explicit TfrmGradeDefine(QWidget *parent = nullptr);

    QStringList Params; // the export passes none

    // The host's grade records, names and class information; the school's settings, lookup lists
    // and teachers; the subject and class choice lists and the stored rows they are saved into.
    DataSet *cdsGrade, *cdsGradeName, *cdsClassName, *cdsSchool, *cdsSubjectType, *cdsFullMark, *cdsTeacher;
    DataSet *cdsSubjects, *cdsClasses, *cdsStoredSubjects, *cdsStoredClasses;

    QLabel *lblStep;
    QStackedWidget *pcSteps;
    // Step 1, "年级信息".
    QComboBox *cbGrade, *cbSchoolYear, *cbTeacher, *cbSubTeacher;
    QSpinBox *seInYear;
    QCheckBox *chkCurYear, *chkAutoRemind;
    // Steps 2 and 3.
    BandedGrid *grdSubjects, *grdClasses;
    QCheckBox *chkAll;
    QPushButton *btnImport, *btnPrior, *btnNext, *btnCancel;

    // The initial load, before the dialog shows.
    void prepare();
    int step() const;
    // "下一步" on steps 1 and 2, "完    成" on step 3; false when the dialog stays where it is.
    bool next();
    void prior();
    // "导入上学年配置": the ticks of the same grade of the previous intake year.
    void importLastYear();
    // "全选" on the current step's list.
    void selectAll(bool on);

    int inYear() const;
    QString gradeCode() const;
    QString gradeName() const;
    // Whether the grade was defined already when step 1 was left.
    bool gradeExisted() const { return m_existed; }

private:
    void showStep(int index);
    void applyCurrentYear();
    void schoolYearChosen();
    void gradeChosen();
    bool leaveStep1();
    bool loadChoices(DataSet &table, bool subjects);
    void subjectChanged();
    void classChanged();
    bool finish();
    bool mergeSubjects();
    bool mergeClasses();
    QVariant comboCode(QComboBox *box) const;
    void setComboCode(QComboBox *box, const QVariant &code);

    bool m_loaded = false;
    bool m_existed = false;
    bool m_adjusting = false;
    QString m_subjectsOf, m_classesOf;                 // "InYear|GradeCode" the choice lists were loaded for
    QHash<QString, bool> m_subjectTicks, m_classTicks; // the ticks as last handled
};

} // namespace lumeko::achieve
