#pragma once
// TfrmImportExam ("选择可导入的考试"): the other exams of the intake year, in this grade or in every
// grade of the intake, whose candidates and classes the score page can copy. It never offers the
// current exam. The chosen entry's value is exam code + "," + page name + "," + grade code.

#include "framework/achieve_export.h"

#include <QDialog>

class QListWidget;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmImportExam : public QDialog {
    Q_OBJECT
public:
    explicit TfrmImportExam(QWidget *parent = nullptr);

    // The current exam, set before the dialog shows.
    QString GradeCode, ExamCode, PageName;
    int InYear = 0;

    QRadioButton *rbGrade;  // "本年级考试"
    QRadioButton *rbIntake; // "本届所有年级考试"
    QListWidget *lbExams;
    QPushButton *btnOk;

    // Reads the list again for the radio choice.
    void loadExams();
    // The kept value of the chosen entry; empty before one is chosen.
    QString chosen() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void acceptChoice();
};

} // namespace lumeko::achieve
