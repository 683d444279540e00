#pragma once
// TfrmChangeClass ("调整班级"): the grade and class that the register page moves its marked
// students to. The page fills the grades; choosing one loads its classes from the server.

#include "framework/achieve_export.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmChangeClass : public QDialog {
    Q_OBJECT
public:
    explicit TfrmChangeClass(QWidget *parent = nullptr);

    QComboBox *cbGrade;   // value: grade code; text: intake year + "级" + grade name
    QComboBox *cbClass;   // value: class code; text: class name
    QCheckBox *chkAdminClass; // "行政班级"
    QPushButton *btnOk, *btnCancel;

    // The chosen grade, for the page to read after OK.
    int InYear = 0;
    QString GradeCode;

    void addGrade(const QString &gradeCode, const QString &text);
    // Chooses grade item `index` and loads its classes, none of them chosen. An item whose text
    // does not begin with a four-digit intake year cannot be chosen: the choice stays as it was
    // and, unless quiet, the user is told why.
    bool chooseGrade(int index, bool quiet = false);

    QString gradeText() const;
    QString classCode() const;
    QString classText() const;

public Q_SLOTS:
    void confirm();

private:
    int m_chosen = -1;
};

} // namespace lumeko::achieve
