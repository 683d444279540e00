#pragma once
// TfrmAchModifyRightDlg ("请选择编辑身份"): which of his roles a teacher edits a score sheet in,
// when the exam lets more than one of the roles he holds edit it. The role decides the subjects
// and classes he may change. With one role on offer the answer comes without the dialog.

#include "framework/achieve_export.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchModifyRightDlg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchModifyRightDlg(QWidget *parent = nullptr);

    // The exam's edit-right set (bit k−1 for role k) and the user's roles ("3,4,6").
    void setRights(int modifyRight, const QString &userRoles);
    // The roles on offer, in role order: ticked in the set and held by the user.
    QStringList offered() const { return m_offered; }
    // The chosen role as text ("1" … "6"); empty when none is on offer.
    QString answer() const;

    // The role a user edits in: asks with the dialog only when two or more are on offer.
    static QString chooseRole(QWidget *owner, int modifyRight, const QString &userRoles);

    QCheckBox *chkGranted[6];   // "已授予此成绩表可编辑的身份" (read-only)
    QList<QRadioButton *> rbRoles; // "您可用的编辑身份"
    QPushButton *btnOk;         // "确  定(&O)"

private:
    QButtonGroup *m_group;
    QStringList m_offered;
};

// The captions of roles 1 … 6.
LUMEKO_ACHIEVE_EXPORT QString roleCaption(int role);

} // namespace lumeko::achieve
