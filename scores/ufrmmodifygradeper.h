#pragma once
// TfrmModifyGradePer ("修改成绩等级比例"): the shares of the letters A … E of an exam, for the
// school or for each campus. It edits the page's share rows in place; OK only when the shares of
// the row add up to 100.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmModifyGradePer : public QDialog {
    Q_OBJECT
public:
    explicit TfrmModifyGradePer(QWidget *parent = nullptr);

    // The page's share rows (sArea, APer … EPer), the campus names and whether the school has
    // branches and keeps the campuses apart ("区分校区").
    void setShares(DataSet *shares, bool hasBranches, bool byBranch, const QString &mainCampus, const QString &subCampus);

    QComboBox *cbArea;             // "区分校区"
    QDoubleSpinBox *seShare[5];    // "等级A" … "等级E"
    QLabel *lbSum;                 // the sum, "100%"
    QPushButton *btnOk, *btnCancel; // "确    定", "取    消"

    // The sum as shown ("100%"), and the number it reads back as.
    QString sumText() const { return m_sumText; }

public Q_SLOTS:
    void confirm();

private:
    bool leaveRow(); // false, with the hint, when the row's shares are not 100
    void showRow();
    void shareChanged();
    DataSet *m_shares = nullptr;
    QString m_sumText;
    int m_area = -1;
    bool m_showing = false;
};

} // namespace lumeko::achieve
