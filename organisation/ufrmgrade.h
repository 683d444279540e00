#pragma once
// TfrmGrade ("年级设置"): the school's grades, one row per grade and intake year, with their
// leaders and whether they are current. 初始全校年级 sets up every grade of the school for a
// school year at once: each section's first grade takes that year's intake, the next grade the
// year before, and so on.

#include "framework/ubasebatch.h"

class QPushButton;
class QSpinBox;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmGrade : public TBaseBatch {
    Q_OBJECT
public:
    explicit TfrmGrade(QWidget *parent = nullptr);

    DataSet *cdsGradeNames;    // the school's grade names in their order, with their sections
    QSpinBox *edYear;          // the school year 初始全校年级 sets up
    QPushButton *btnInitGrade; // "初始全校年级"

    void InitDialog() override;
    void LoadData() override;
    bool SaveData() override;
    void InsertRecord() override;
    void DeleteRecord() override;
    void SetReadOnly(bool readOnly) override;

public Q_SLOTS:
    void btnInitGradeClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace lumeko::achieve
