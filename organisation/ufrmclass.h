#pragma once
// TfrmClass ("校班级设置"): the school's classes with their kind and campus. 增加 appends a number
// of classes of one kind at once, numbered after the highest class of that kind and named by the
// school's pattern ("ClassName" of Lumeko.ini, "(XX)班" unless set).

#include "framework/ubasebatch.h"

class QComboBox;
class QPushButton;
class QSpinBox;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmClass : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmClass(QWidget *parent = nullptr);

    QSpinBox *edCount;      // "最大班级数：" how many classes 增加 appends
    QComboBox *cbClassType; // "班级类型：" of the classes 增加 appends
    QPushButton *btnAdd;    // "增加"

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void DeleteRecord() override;
    void SetReadOnly(bool readOnly) override;

    // The name of the class numbered `code` ("008") by the pattern: its first "XX" (any case)
    // takes the last two digits, or else its first "X" the last one.
    static QString classNameOf(const QString &pattern, const QString &code);
    // The pattern of Lumeko.ini in the host's folder.
    static QString namePattern();

public Q_SLOTS:
    void btnAddClick();
};

} // namespace lumeko::achieve
