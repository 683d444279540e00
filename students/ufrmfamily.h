#pragma once
// TfrmFamily ("家庭成员信息"): the family members of one student at a time, walking through the
// students of the register page. The rows are the page's own family table, filtered on the
// student shown; rows entered for one student stay pending while the user moves on to the next and
// are stored together by the next save.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmFamily : public TBaseBatch {
    Q_OBJECT
public:
    // `students` is the register (the master, its current row the student shown); `family` the
    // family rows of all its students.
    TfrmFamily(DataSet *students, DataSet *family, QWidget *parent = nullptr);

    DataSet *cdsMaster;
    QAction *acFirst, *acPrior, *acNext, *acLast;

    void InitDialog() override;
    void LoadData() override;
    void SetReadOnly(bool readOnly) override;
    void InsertRecord() override;
    bool SaveData() override;

    // The relations of the pending rows: none empty, none twice for a student. Shows the first
    // fault and answers false.
    bool validateRows();

    // The student whose family is shown; it outlives the dialog and is forgotten when the next
    // family dialog starts.
    static QString currentStudent();

public Q_SLOTS:
    void acFirstExecute();
    void acPriorExecute();
    void acNextExecute();
    void acLastExecute();
};

} // namespace lumeko::achieve
