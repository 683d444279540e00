#pragma once
// TfrmPValPage ("P值"): the stored P-value evaluations of one exam (the intake year, grade and
// exam of its parameters), or of every exam of the school when it has none, with the rates worked
// out from the counts and each all-subject entry's passes below. Nothing is edited in the grid:
// 新增 chooses a grade and an exam and runs the P-value dialog, 重算 runs it for the chosen row,
// 删除 deletes the row's record.

#include "framework/ubasepage.h"

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmPValPage : public TBasePage {
    Q_OBJECT
public:
    explicit TfrmPValPage(QWidget *parent = nullptr);

    QString Roster; // the picked students passed on to the dialog (the text after "|")

    DataSet *cdsDetail;     // the detail rows of the current record
    DataSet *cdsSchoolInfo; // the school's campuses
    BandedGrid *GridDetail;
    QAction *acReCal;

    void InitPage() override;
    void LoadData() override;
    void SetReadOnly(bool readOnly) override;
    void BuildColumns() override;
    QString GetLocateFields() const override;
    void InsertRecord() override;
    void DeleteRecord() override;

    // "InYear,GradeCode,ExamCode" of the parameters; empty for an intake year below 1.
    QString keyText() const;
    // The NID whose detail rows are shown; 0 for none.
    qint64 detailRecord() const { return m_detailOf; }

public Q_SLOTS:
    void acReCalExecute();

private:
    void addComputedFields();
    void showCampusColumn();
    void loadDetail();
    bool m_listsLoaded = false;
    qint64 m_detailOf = -1;
    bool m_fitted = false;
};

} // namespace lumeko::achieve
