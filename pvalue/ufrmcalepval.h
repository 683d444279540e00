#pragma once
// TfrmCalePVal ("P值计算"): the settings of one school-wide exam's P-value evaluation and its
// computation. Step 1 chooses the six-subject total's subjects (中考总分科目), the all-subject
// entries (全科科目, some merged into one) and the students counted (统计范围); step 2 the values
// the school enters and the two formulas, shown with their Chinese names. "开始计算" stores the
// record and has the server count and compute (CalPVal); the dialog closes when it has.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmCalePVal : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCalePVal(QWidget *parent = nullptr);

    QStringList Params; // intake year, grade code, exam code, a one-character flag
    QString Roster;     // the score page's student filter of the picked students; empty: none

    DataSet *cdsStudType, *cdsExamTotal, *cdsSubjects, *cdsPVal;

    QLabel *lblTitle, *lblStep;
    QStackedWidget *pcSteps;
    // step 1
    QListWidget *clbSubjects6; // 中考总分科目(六科)
    QTreeWidget *tvSubjects10; // 全科科目设置(十科): a merged node holds its subjects as children
    QPushButton *btnMerge, *btnSplit;
    QLabel *lblEntries;          // "全科科目数：n", the entries ticked
    QGroupBox *gbTypes;          // 统计范围
    QList<QCheckBox *> chkTypes; // the student types, then "已选名单"
    // step 2
    QDoubleSpinBox *edDYValue, *edTWYSJYValue, *edGGPre3, *edRangeValue;
    QLineEdit *edNP1, *edNP;
    QPlainTextEdit *mmSumGS, *mmSumGSP;
    QPushButton *btnPrior, *btnNext, *btnCalc, *btnCancel;

    // The start, after Params and Roster are set: false (after the hint "未定义此次考试！") when the
    // exam is not there, and the dialog is not to be shown.
    bool prepare();
    int step() const;
    // "下一步": false when the dialog stays on step 1.
    bool next();
    void prior();
    // "开始计算": true when the server computed and the dialog closed.
    bool calculate();
    // "合并科目", "取消合并" on the selected nodes of the all-subject tree.
    void mergeSelected();
    void splitSelected();

    // The settings as the record stores them, from the ticks.
    QString subjects6Text() const;
    QString subjects10Text() const;
    QString typesText() const;
    int entryCount() const; // the ticked all-subject entries: 全科科目数

    int InYear = 0;
    QString GradeCode, ExamCode;

private:
    bool loadStart();
    void showStep(int index);
    void showRecord();
    void showEntryCount();
    void tickStoredEntries(const QString &stored);
    QTreeWidgetItem *subjectNode(const QString &name, const QString &code);
    QTreeWidgetItem *mergedNode(const QList<QTreeWidgetItem *> &subjects, bool ticked);
    void setField(const QString &field, const QVariant &value);
    QString examTitle() const;
    bool m_started = false;
};

// Runs the dialog for a parameter list and a roster, owned by `owner`: 1 when the server computed
// and the dialog closed, 2 when it was cancelled or had no exam to start with.
LUMEKO_ACHIEVE_EXPORT int runCalePVal(QWidget *owner, const QStringList &params, const QString &roster);

} // namespace lumeko::achieve
