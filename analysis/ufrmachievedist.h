#pragma once
// TfrmAchieveDist ("成绩分布分析"): the settings of the score distribution of one subject or total
// of an exam: its level marks and score bands (stored back to the exam when changed), the
// statistics items, the students counted, and how many students of each class stand among the
// grade's first and last ranks. ShowDistSumPage runs it and shows the server's answer.

#include "analysis/analysissettings.h"
#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmAchieveDist : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAchieveDist(QWidget *parent = nullptr);

    // ---- given before InitForm
    QStringList Params;
    QString FilterText;         // the score page's student filter
    bool PickedAllowed = false; // "已选名单" can be ticked (the export was called without a parent window)

    // Reads the exam's subjects, marks and the student types; false after telling the teacher.
    bool InitForm();

    AnalysisParams Exam;
    DataSet *cdsSubjects;  // the grade's subjects: SubjectCode, SubjectName
    DataSet *cdsSubjectPt; // the exam's subjects and totals with their marks

    QComboBox *cbSubject; // "统计分数："
    QDoubleSpinBox *edFull, *edExcel, *edGood, *edPass, *edBad;
    QSpinBox *edHigh, *edDistance, *edLow;
    QListWidget *clbItems;   // "统计项目"
    QListWidget *clbRange;   // "统计范围"
    QCheckBox *chkLayers;    // "统计排名前后各班人数"
    QSpinBox *seLayers;      // "层次"
    QTableWidget *tblLayers; // rows "排名前", "排名后"
    QPushButton *btnOK, *btnCancel;

    // What OK sends.
    QString SettingsText() const;
    QString FilterArgument() const;
    QString SubjectCode() const;
    RankLayers Layers() const;

public Q_SLOTS:
    // The checks, the changed marks to the exam, the layers to their file; closes with OK.
    void btnOKClick();

private:
    void showMarks();
    void takeMarks();
    void showLayers(const RankLayers &layers);
    bool storeMarks();
    QList<QDoubleSpinBox *> markBoxes() const;
    QList<QSpinBox *> bandBoxes() const;
    bool m_showing = false;
};

} // namespace lumeko::achieve
