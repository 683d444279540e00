#pragma once
// TfrmDept ("校部门设置"): the school's departments with what each does. New departments are
// numbered when they are saved, after the highest number the school uses.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmDept : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmDept(QWidget *parent = nullptr);

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
};

} // namespace lumeko::achieve
