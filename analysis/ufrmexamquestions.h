#pragma once
// TfrmExamQuestions ("小题分析"): the questions of one subject of an exam and the students' scores
// on them. 题目设置 lists the questions (题号, 满分, 客观题, 知识点); 小题得分 shows the candidates
// with their subject score and a column per question, filled by hand or imported from the sheet
// an online marking system exports. Both are checked before anything is sent. 小题分析 and 一分一段
// close the dialog and the analysis opens on a report page (runQuestionAnalysis).

#include "analysis/analysissettings.h"
#include "analysis/questionsheet.h"

#include <QDialog>

class QComboBox;
class QPushButton;
class QTabWidget;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmExamQuestions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExamQuestions(QWidget *parent = nullptr);

    QStringList Params; // the score page's parameter list, before InitForm
    AnalysisParams Exam;
    // The exam's subjects and the first subject's questions and sheet; false after telling the
    // teacher.
    bool InitForm();

    QComboBox *cbSubject;
    QTabWidget *tabParts;
    BandedGrid *grdQuestions, *grdSheet;
    DataSet *cdsQuestions, *cdsSheet;
    QPushButton *btnAddQuestion, *btnDeleteQuestion, *btnSaveQuestions;
    QPushButton *btnImport, *btnSaveScores;
    QPushButton *btnItems, *btnSegments, *btnClose;

    QString subjectCode() const;
    double subjectFullMark() const;
    // Reads the chosen subject's questions and sheet anew.
    bool loadSubject();

    void addQuestion();
    void deleteQuestion();
    bool saveQuestions();
    void importScores();
    bool saveScores();

    // After 小题分析 (0) or 一分一段 (1): which, for the chosen subject.
    int Chosen = -1;

private:
    void buildSheetColumns();
    bool unsavedChanges();
    QHash<QString, double> m_fullMarks;
    QHash<QString, qint64> m_scored; // question → students with a score, as loaded
};

// Runs the dialog over the score page's parameters and opens the analysis the teacher asked for
// on a report page in `parent` (none: a window of its own): its handle, 0 when none was asked
// for, −1 after an error.
LUMEKO_ACHIEVE_EXPORT qint32 runQuestionAnalysis(QWidget *owner, QWidget *parent, const QStringList &params);

} // namespace lumeko::achieve
