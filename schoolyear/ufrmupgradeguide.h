#pragma once
// TfrmUpGradeGuide ("年级升级向导", ShowUpGradeForm): lists the current grades not yet moved into this
// school year and the grades last moved, promotes or graduates the ticked ones one after another,
// or undoes their latest promotion, through the server, and reports every step in 状态报告.

#include "framework/achieve_export.h"
#include "schoolyear/schoolyearrules.h"

#include <QDialog>

class QAction;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmUpGradeGuide : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpGradeGuide(QWidget *parent = nullptr);

    QStringList Params; // the export passes none

    QTabWidget *pcMain;
    QTreeWidget *lvUpGrade, *lvUnGrade; // 学级, 年级, 学年; ticked rows are run
    QLabel *lblNote;
    QPlainTextEdit *mmReport; // 状态报告
    QCheckBox *chkAutoRemind;
    QPushButton *btnUpGrade, *btnUnGrade, *btnClose;
    QAction *acUpGrade, *acUnGrade;

    // The initial load, before the dialog shows.
    void prepare();
    // Reads the grade records, their names and the server's date, and lists the grades anew.
    bool loadLists();
    // "开始升级" and "取消升级" over the ticked rows of their lists.
    void acUpGradeExecute();
    void acUnGradeExecute();
    // The report box, a line each.
    QStringList reportLines() const;

private:
    void run(bool undo);
    void addLine(const QString &line);
    void fillList(QTreeWidget *list, const QList<GradeRow> &rows);
    void sortList(QTreeWidget *list, int column);
    QString gradeName(const QString &code) const;

    wire::DataPacket m_gradeNames;
};

} // namespace lumeko::achieve
