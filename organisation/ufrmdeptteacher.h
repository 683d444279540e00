#pragma once
// TfrmDeptTeacher ("所属部门"): the departments of one teacher at a time and his duty in each,
// walking through the teachers of the teachers' page: the page's teacher table is the master, its
// current row the teacher shown. The teachers' page opens it modally, in browsing:
//
//     TfrmDeptTeacher dialog(cdsData, dialogOwner(this));
//     dialog.InitDialog();
//     runModal(dialog);

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmDeptTeacher : public TBaseBatch {
    Q_OBJECT
public:
    // `teachers` holds sCode and sName; it outlives the dialog.
    explicit TfrmDeptTeacher(DataSet *teachers, QWidget *parent = nullptr);

    DataSet *cdsMaster;
    QAction *acFirst, *acPrior, *acNext, *acLast;

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void SetReadOnly(bool readOnly) override;

public Q_SLOTS:
    void acFirstExecute();
    void acPriorExecute();
    void acNextExecute();
    void acLastExecute();
};

} // namespace lumeko::achieve
