#pragma once
// TfrmSubject ("科目设置"): the school's subjects with their leaders. Names are unique and never
// empty; new subjects are numbered when they are saved, after the highest number in use.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmSubject : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmSubject(QWidget *parent = nullptr);

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void DeleteRecord() override;

    // The first fault of the names in the table's order by name: an empty name
    // ("科目名称不能为空！") or one used twice ("科目 语文 名称重复！"); empty when there is none.
    // Leaves the table sorted by name.
    QString nameFault();
};

} // namespace lumeko::achieve
