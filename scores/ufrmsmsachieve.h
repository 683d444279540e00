#pragma once
// TfrmSMSAchieve ("发送成绩短信"): the scores of the students ticked on the score sheet, as text
// messages to the mobiles their families subscribed with. The teacher chooses what goes out (the
// scores, the grade ranks or both), of which subjects and totals, a phrase to append, and when;
// each message is queued on the server for the school's SMS gateway, which delivers it.
//
// The score page hands over its exam, its score table and subject properties and the subjects of
// its grid, then runs the dialog.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QCheckBox;
class QDateTimeEdit;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

// The exam's name in a score page's caption: what follows the last ".", up to a "-" after it
// ("初一.期中-成绩管理" gives "期中"); a caption without either is the name.
LUMEKO_ACHIEVE_EXPORT QString smsExamName(const QString &pageCaption);

class LUMEKO_ACHIEVE_EXPORT TfrmSMSAchieve : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSMSAchieve(QWidget *parent = nullptr);

    // ---- handed over by the page before the dialog shows
    QString ExamName;
    QString GradeCode;
    QString ClassList; // class codes "001,002" for the subscriptions; empty for the whole grade
    int InYear = 0;
    DataSet *cdsData = nullptr;      // the score sheet: sCode, sName, Selected, C_/O_ fields, totals and their ranks
    DataSet *cdsSubjectPt = nullptr; // the exam's subjects with FullMark: 5 or 8 are graded by letter
    // The subjects and totals of the page's grid, in its column order, shown or hidden: every
    // C_ column and the three totals, each checked.
    void addSubjectsOf(const BandedGrid &grid);
    void addSubject(const QString &field, const QString &caption);
    QStringList SubjectFields; // in capitals, one per item of clbSubjects

    // ---- the dialog's own tables
    DataSet *cdsSendMsg;  // the outgoing messages appended here (XT_SendMsg)
    DataSet *cdsSMSOrder; // the grade's subscriptions: code, smsState, mobile, mobile2

    // ---- controls
    QCheckBox *chkScore, *chkOrder; // "发布内容：" 考试成绩, 成绩排名
    QListWidget *clbSubjects;       // "短信科目："
    QPlainTextEdit *memFormat;      // "短信格式：", a sample of the message
    QLineEdit *edtPhrase;           // "追加短语："
    QCheckBox *chkTimed;            // "定时发送"
    QDateTimeEdit *dtpSendTime;
    QTimer *tmrNow; // keeps the send time at now while 定时发送 is off
    QCheckBox *chkNoEmpty, *chkNoZero;
    QPushButton *btnSend, *btnClose;

    // A message for each ticked student with an active subscription, to each of its numbers,
    // queued on the server; the teacher is told how many families it reached. Answers that count.
    // The score table keeps its current row and shows every row again after.
    int composeAndSend();

public Q_SLOTS:
    // "发送短信": the checks, the server's tables, the messages; the dialog closes with OK.
    void btnSendClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showFormat();
    QString messageText(DataSet &scores) const;
    bool isGraded(const QString &field) const;
};

} // namespace lumeko::achieve
