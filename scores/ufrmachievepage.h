#pragma once
// TfrmAchievePage ("成绩管理"): the score sheet of one exam. Every candidate is a row; every subject
// a band of score, grade rank, class rank, branch rank, level and letter; the totals a second
// group of bands. Teachers type scores here; the page checks them, keeps the totals, weights,
// levels, ranks and letters, and saves the changed scores, after which the server's totals and
// ranks are read back. Beside the grid, the subject properties and the filters.
//
// The page is in four units: this one (opening, loading, columns, view rights, settings), the
// scores' arithmetic (achievecompute.cpp), editing and saving (achievesave.cpp) and the side
// panel (achievesidepanel.cpp).

#include "framework/ubasepage.h"
#include "scores/achievesettings.h"

#include <QHash>

class QCheckBox;
class QLabel;
class QListWidget;
class QSpinBox;
class QComboBox;
class QTabWidget;
class QTreeWidget;
class QToolButton;

namespace lumeko::domain {
struct LevelMarks;
}

namespace lumeko::achieve {

class TfrmInputScore;

class LUMEKO_ACHIEVE_EXPORT TfrmAchievePage : public TBasePage {
    Q_OBJECT
public:
    explicit TfrmAchievePage(QWidget *parent = nullptr);
    ~TfrmAchievePage() override;

    // ---- parameters
    int InYear = 0;
    QString GradeCode, EntryFlag, ExamTeachers, ExamCode, PageName, PageCaption;
    QStringList SubjectCodes;
    QString FocusedFieldName;
    bool Loading = false;
    bool HasBranches = false;
    QString EditRole; // the role the user edits in ("1" … "6"); empty while browsing

    // ---- tables
    DataSet *cdsExamInfo, *cdsSubjectPt, *cdsSubjects, *cdsDataUp, *cdsStudClasses, *cdsOrders, *cdsGradePer, *cdsGradeList, *cdsGrade, *cdsEightGrade,
        *cdsSchoolInfo, *cdsClassName, *cdsClassList, *cdsSubjectClass;

    // ---- commands
    QAction *acOrder, *acCaleTotal, *acClearData, *acImport, *acStandard, *acProperty, *acDefineStudent, *acHistory;
    QAction *acInputScore, *acModifyGradePer, *acCaleGradePer; // 按座号录入成绩; the letter shares: 修改, 计算
    QAction *acSendMsg;                                        // 短信: the ticked students' scores to their families (TfrmSMSAchieve)
    QAction *acDistSum, *acClassSum, *acSubjectSum, *acTeacherSum, *acUpDownSum;
    QAction *acUpDownTable, *acMutiSum; // 成绩进退汇总 (ShowUpDownSumPage), 班级进退分析 (ShowAchMutiPage)
    QAction *acChart;                   // 数据图表: the sheet's classes as charts (TfrmChart)
    QAction *acQuestions;               // 小题分析: the questions of a subject and their analysis (TfrmExamQuestions)
    QAction *acQuality;                 // 质量分析总表: each class's teaching quality against an earlier exam (TfrmAchieveQuality)
    QAction *acDivClass;                // 教学分班: one teaching class per subject (TfrmAchieveDivClass)

    // ---- side panel
    QTabWidget *pcSide;
    BandedGrid *grdProperty;                 // "属性设置": cdsSubjectPt
    QLabel *lbBaseSubjects, *lbMainSubjects; // "基总分", "主总分"
    QTreeWidget *tvClasses;                  // "筛选过滤": the class tree
    QListWidget *lbSubjectItems;             // "显示科目子项"
    QListWidget *lbSubjects;                 // "显示科目及数据项"
    QCheckBox *chkLetters, *chkBranches, *chkColor, *chkExcel, *chkNoPass, *chkBad, *chkOrder;
    QToolButton *btnExcelColor, *btnNoPassColor, *btnBadColor, *btnOrderColor, *btnDefaultColors;
    QSpinBox *seCompValue, *seCompSubjects;
    QComboBox *cbCompStyle, *cbFilter;

    // Items of "显示科目子项", as bits of ShowSubjectItems.
    enum SubjectItem { ItemScore = 1, ItemGradeRank = 2, ItemClassRank = 4, ItemBranchRank = 8, ItemLevel = 16 };

    AchieveSettings Settings;

    // ---- TBasePage
    QString ParameterProblem() const override;
    void InitPage() override;
    void LoadData() override;
    bool SaveData() override;
    void AfterSave() override;
    void CancelEdits() override;
    void SetReadOnly(bool readOnly) override;
    void ApplyStyle() override;
    QString GetLocateFields() const override { return QStringLiteral("sName-姓名,SNO-学籍辅号,AuthNo-考号"); }

    // ---- the rules (achievecompute.cpp)
    // The row totals of the current row, with `field` taken as `text` when given.
    void computeRowTotals(const QString &field = {}, const QString &text = {});
    void computeAllTotals();
    // Checks the typed score of a C_ field of the current row; false (and the cell emptied) when wrong.
    bool checkScore(const QString &field);
    void applyWeights();
    void computeLevels();
    // Ranks one subject (or "FUL", "MAI", "BAS") in a scope: 0 grade, 1 class, 2 branch.
    enum Scope { GradeScope, ClassScope, BranchScope };
    void RankSubject(const QString &code, Scope scope);
    void rankAll(Scope scope);
    void rankEverything(); // classes, branches (with branches) and the grade
    void showClassAndBranchRanks();
    void showLetters();
    bool standardize();
    void clearSelectedCells();
    // Display values (ranks, levels, letters) are taken as loaded while browsing; while editing
    // they stay in the change log beside the typed scores, which the save still needs.
    void acceptDisplayChanges();
    // The subject row of cdsSubjectPt, or -1.
    int subjectRow(const QString &code) const;
    double subjectFullMark(const QString &code) const;
    bool isGraded(const QString &code) const; // full mark 5 or 8
    // What a key typed into a graded subject's cell sets; empty when the key types normally.
    std::optional<double> gradedKeyValue(const QString &field, int key) const;

    // ---- editing and saving (achievesave.cpp)
    bool mayEdit();     // the edit checks, with their hints
    bool prepareEdit(); // role, editable subjects, the user's classes
    // The letters again by the shares: ranks in the branches (when kept apart) and the grade,
    // items and shares stored; false when the server refused them.
    bool computeLetters();
    // "区分校区" ticked or unticked: a second campus's share row added or taken away.
    void branchSharesToggled(bool byBranch);
    bool storeSubjectItems(); // UpSubjectItems with the changed items
    bool storeGradePer();
    void storeProperties(); // the side panel's changes: weights locally, marks to the server
    QString rankFieldList() const;

    // ---- side panel and filters (achievesidepanel.cpp)
    void buildSidePanel();
    void readSettings();
    void applySubjectItems(); // column visibility by "显示科目子项" and the rights
    int subjectItems() const;
    void setSubjectItems(int bits);
    QString classSelectionText() const;
    void applyRowFilter();
    // The analyses' parameter text and student filter text.
    QString analysisParameterText() const;
    QString studentFilterText() const;

public Q_SLOTS:
    void acEditExecuteGuarded();
    void acOrderExecute();
    void acCaleTotalExecute();
    void acClearDataExecute();
    void acImportExecute();
    void acStandardExecute();
    void acPropertyExecute();
    void acDefineStudentExecute();
    void acHistoryExecute();
    void acSendMsgExecute();
    void acInputScoreExecute();
    void acModifyGradePerExecute();
    void acCaleGradePerExecute();
    void acChartExecute();
    void acDivClassExecute();

private:
    void readParameters();
    bool loadLists();
    void createDefaultGradePer();
    void buildScoreColumns();
    QList<GridColumn> subjectBand(const QString &code);
    QList<GridColumn> totalBand(const QString &code, const QString &caption, const QString &score, const QString &order);
    void applyRights();
    bool loadSheet(const QString &classes);
    void cellEdited(int row, int column);
    CellColors cellColor(int row, int column) const;
    domain::LevelMarks levelMarks(int subjectPtRow) const;
    QString scoreField(const QString &code) const;
    QString rankField(const QString &code) const;
    QString fieldsCaption(const QString &field) const;
    bool eventFilter(QObject *watched, QEvent *event) override;

    bool m_standard = false; // the standard-score view is on
    bool m_viewOrder = true, m_viewLevel = true, m_viewTotal = true;
    bool m_branchItemAllowed = true;
    QStringList m_editableSubjects; // of the edit role
    QHash<QString, int> m_subjectRow;
    QString m_userClasses; // classes of a user who may not see all, for QMark
    TfrmInputScore *m_inputScore = nullptr; // made at first use, then reused
};

} // namespace lumeko::achieve
