#pragma once
// TfrmExamInfo ("考试类型设置"): the school's exam-name catalogue that the exam wizard offers. The
// names every school shares ("SYSTEM") and built-in ones can be neither changed nor deleted; new
// names get the next three-digit code when they are saved.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmExamInfo : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmExamInfo(QWidget *parent = nullptr);

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void InsertRecord() override;
    void DeleteRecord() override;
    void SetReadOnly(bool readOnly) override;

    // The code of the n-th name after `highest`: "001" upward, padded to three digits.
    static QString codeAfter(qint64 highest, int n);

private:
    // A built-in row stays read-only while the dialog edits.
    void protectBuiltIn();
};

} // namespace lumeko::achieve
