#pragma once
// TfrmMarkHistory ("成绩修改记录"): every change of a stored score of the exam, newest first: when,
// whose score in which subject, from what to what, by whom and at which computer. With a student
// chosen on the sheet, "只看当前学生" narrows the list to him.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QCheckBox;
class QLabel;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmMarkHistory : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMarkHistory(QWidget *parent = nullptr);

    DataSet *cdsHistory;
    BandedGrid *grdHistory;
    QCheckBox *chkStudent;
    QLabel *lbCount;

    // Reads the exam's history (and remembers the sheet's current student); false after a failure,
    // which has been reported.
    bool load(const QString &examId, const QString &studentCode);

private:
    bool read();
    QString m_examId, m_student;
};

} // namespace lumeko::achieve
