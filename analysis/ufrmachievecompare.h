#pragma once
// TfrmAchieveCompare ("成绩对比"): which items a class, subject or teacher comparison shows and
// which students it counts. The item groups of "统计项目" tick the rates, the head counts or
// everything; the choice is the user's own and comes back the next time
// ("UserData/<user>/AchAnalysis.ini").

#include "analysis/analysissettings.h"
#include "framework/achieve_export.h"

#include <QDialog>

class QButtonGroup;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchieveCompare : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchieveCompare(QWidget *parent = nullptr);

    // The file the choice is kept in; AchAnalysis.ini of the signed-in user unless set.
    QString SettingsFile;
    bool PickedAllowed = false; // "已选名单" can be ticked

    // The student types and the user's last choice; false after telling the teacher.
    bool InitForm();

    QRadioButton *rbPercent, *rbCount, *rbAll; // "统计项目"
    QButtonGroup *rgItemOption;
    QListWidget *clbItems; // "分析项目", 21 items
    QListWidget *clbRange; // "统计范围"
    QPushButton *btnOK, *btnCancel;

    int ItemOption() const; // -1: none chosen
    void setItemOption(int option);
    QString ItemsText() const;
    QStringList RangeCaptions() const;
    bool PickedOnly() const; // "已选名单" ticked

public Q_SLOTS:
    void btnOKClick();

protected:
    // The dialog's own default items (the multi-exam dialog has others).
    QString m_defaultItems = QString::fromLatin1(kCompareItemsDefault);
    // Restores a choice read from the settings file (range captions that no longer exist are
    // ignored); false when there was none.
    bool restoreChoice(CompareChoice *choice);
    // The checks OK makes before writing the choice; false after a hint.
    bool checkChoice();
    CompareChoice currentChoice() const;
};

} // namespace lumeko::achieve
