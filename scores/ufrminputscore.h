#pragma once
// TfrmInputScore ("按座号+成绩录入"): a small window on top of the score sheet in which a teacher
// types, student after student, the two-digit seat number and the score as one number ("0186":
// seat 1, 86), in a chosen class and subject. One per page, reused; closing hides it.

#include "framework/achieve_export.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lumeko::achieve {

class TfrmAchievePage;

class LUMEKO_ACHIEVE_EXPORT TfrmInputScore : public QWidget {
    Q_OBJECT
public:
    explicit TfrmInputScore(TfrmAchievePage *page);

    QComboBox *cbSubject; // "考试科目：" the editable score columns by caption
    QComboBox *cbClass;   // "学生班级："
    QLineEdit *edInput;
    QLabel *lbHelp;
    QPushButton *btnClose; // "关    闭"

    // Fills the lists from the page and puts the sheet in class and seat order while open.
    void open();
    // What Enter in the entry field does.
    void enterScore();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void fail(const QString &message, int scoreStart);
    TfrmAchievePage *m_page;
    QStringList m_codes; // subject codes, in the order of cbSubject
    QString m_formerOrder;
};

} // namespace lumeko::achieve
