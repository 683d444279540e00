#pragma once
// TfrmGradeClass ("年级班级设置"): which of the school's classes a grade of an intake has, with the
// grade's alias of each, its campus and its head teacher. Every class of the school is listed and
// the grade's own are ticked; a class that has students in the grade keeps its tick.

#include "framework/ubasebatch.h"

namespace lumeko::achieve {

class GradeChooser;

class LUMEKO_ACHIEVE_EXPORT TfrmGradeClass : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmGradeClass(QWidget *parent = nullptr);

    GradeChooser *grade;   // "当前年级："
    DataSet *cdsClassInfo; // the school's classes with their campus (the host's class names)

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void SetReadOnly(bool readOnly) override;

private:
    void selectionEdited();
};

} // namespace lumeko::achieve
