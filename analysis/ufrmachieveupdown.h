#pragma once
// TfrmAchieveUpDown ("成绩进退分析"): the settings of the progress analysis. The exams to compare
// are taken from this grade's exams or from every grade of the intake and kept in the order they
// were held (the current exam always among them, the user may move them); the subjects and the
// items (成绩, 排名, 进退) decide the columns of the answer.

#include "analysis/analysissettings.h"
#include "analysis/examchooser.h"
#include "analysis/progresssettings.h"

#include <QDialog>

class QCheckBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchieveUpDown : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchieveUpDown(QWidget *parent = nullptr);

    QStringList Params; // the score page's parameter list, given before InitForm
    AnalysisParams Exam;
    // The subjects, the exam lists and the fixed columns; false after telling the teacher.
    bool InitForm();

    ExamChooser *Chooser;                              // the exams, kept in the order they were held
    QRadioButton *rbGrade, *rbIntake;                  // "本年级考试", "本届所有年级考试"
    QListWidget *lbExams, *lbChosen;                   // the exams offered, "已选考试"
    QPushButton *btnAdd, *btnRemove, *btnUp, *btnDown; // "==>", "<==", "↑上移", "↓下移"
    QListWidget *clbSubjects;                          // "对比科目"
    QCheckBox *chkScore, *chkRank, *chkProgress;       // "成绩", "排名", "进退"
    QPushButton *btnOK, *btnCancel;

    QList<ProgressExam> ChosenExams() const;
    ProgressItems Items() const;
    QList<ProgressSubject> Subjects() const;
    // After OK: what the server is asked, and the columns of its answer.
    QString ExamListText, SubjectListText;
    wire::DataPacket Columns;

public Q_SLOTS:
    void btnOKClick();

private:
    std::optional<QList<ChosenExam>> examsToCompare(bool intake);
    wire::DataPacket m_fixedColumns;
};

} // namespace lumeko::achieve
