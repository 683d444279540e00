#pragma once
// TfrmAchMuti ("班级进退分析"): the exams whose class comparisons are set side by side, in the
// order chosen (the current exam always among them), the subjects, the items and the students
// counted. The choice of subjects, items and range is the user's own and comes back the next time
// ("UserData/<user>/AchMutiAnalysis.ini").

#include "analysis/examchooser.h"
#include "analysis/ufrmachievecompare.h"
#include "toolkit/data/dataset.h"

class QListWidget;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchMuti : public TfrmAchieveCompare {
    Q_OBJECT
public:
    explicit TfrmAchMuti(QWidget *parent = nullptr);

    QStringList Params; // given before InitMuti
    AnalysisParams Exam;
    // The exams, the exam's subjects and the user's last choice; false after telling the teacher.
    bool InitMuti();

    QRadioButton *rbGrade, *rbIntake;                  // "本年级考试", "本届所有年级考试"
    QListWidget *lbExams;                              // the exams that can be added
    QListWidget *lbChosen;                             // "已选考试", in order
    QPushButton *btnAdd, *btnRemove, *btnUp, *btnDown; // "==>", "<==", "↑上移", "↓下移"
    QListWidget *clbSubjects;                          // "对比科目"
    DataSet *cdsSubjects;                              // the grade's subjects
    DataSet *cdsSubjectPt;                             // the current exam's subjects and totals

    QList<ChosenExam> ChosenExams() const;
    QStringList SubjectCodes() const;
    // After OK: the ticked subjects each chosen exam has, in the order of ChosenExams().
    QList<QStringList> ExamSubjects;

    ExamChooser *Chooser; // the exams' lists and buttons above

public Q_SLOTS:
    void btnOKMutiClick();

private:
    std::optional<QList<ChosenExam>> examsToCompare(bool intake);
    bool isCurrent(const ChosenExam &e) const;
};

} // namespace lumeko::achieve
