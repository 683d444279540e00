#pragma once
// TfrmSetPass ("密码设置"): one new password for every selected student (or teacher).

#include "framework/achieve_export.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lumeko {
class DataSet;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmSetPass : public QDialog {
    Q_OBJECT
public:
    // `people` holds the selected rows (the page filters it); mode 2 is students.
    TfrmSetPass(DataSet *people, int mode, QWidget *parent = nullptr);

    QLineEdit *edPassword;
    QLineEdit *edConfirm;
    QPushButton *btnOk;

public Q_SLOTS:
    void confirm();

private:
    DataSet *m_people;
    int m_mode;
};

} // namespace lumeko::achieve
