#pragma once
// TBasePage: the frame of every page the module embeds in the host: a tool bar on the left, the
// banded grid over the page's main table, browsing and editing, columns from column definitions,
// per-user grid layouts, the user's rights for the page, printing (the generated table report and
// the page's report templates), export, find and selection marks. Pages override the virtual
// operations to load and save their own data, calling the base first.

#include "framework/achieve_export.h"
#include "framework/remotetable.h"
#include "toolkit/data/dataset.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;
class QToolBar;

namespace lumeko {
class BandedGrid;
namespace report {
class ReportEngine;
class PreparedReport;
}
}

namespace lumeko::achieve {

class TfrmPubLocate;

class LUMEKO_ACHIEVE_EXPORT TBasePage : public QWidget {
    Q_OBJECT
public:
    explicit TBasePage(QWidget *parent = nullptr);
    ~TBasePage() override;

    // ---- components
    DataSet *cdsData;   // the page's main table
    DataSet *cdsFields; // its column definitions
    BandedGrid *GridData;
    QToolBar *tlbTools;
    QMenu *pmOptions;
    QMenu *pmPrint;

    QAction *acEdit, *acInsert, *acDelete, *acSave, *acCancel, *acRequery, *acCopy, *acAutoSize;
    QAction *acFirst, *acPrior, *acNext, *acLast;
    QAction *acPrint, *acRptSet, *acFind, *acFilter, *acExport, *acHelp;
    QAction *acSelected, *acUnSelected, *acSelectAll, *acUnSelectAll;

    // ---- state
    int EditState = 0;          // 0 browsing; 1 or 2 editing
    QStringList Params;         // the page's parameter list
    QStringList Rights;         // the user's function keys for this page
    QString ReportFolder;       // sub-folder of "Reports/" with this page's templates
    bool Printing = false;
    int FixedColumnCount = 3;
    bool SaveLayout = true;
    QVariantList FocusKey;      // the focused row's key, kept across a save
    int Tag = 0;                // the page's function id
    // Shows a prepared report: the preview window; tests look at the report instead.
    std::function<void(const report::PreparedReport &)> showReport;
    QString HelpFile;           // the page's help name; empty: none
    QString FieldsTable;        // the table whose column definitions cdsFields holds ("XJ_Student")

    bool isEditing() const { return EditState >= 1 && EditState <= 2; }
    void setEditState(int state);
    // An action's rights tag (2 Manager, 3 Print, 4 PrintSet, 5 Import, 6 ChangeClass, 7 SetPass).
    static int actionTag(const QAction *action);
    static void setActionTag(QAction *action, int tag);

    // ---- virtual operations
    virtual void ApplyStyle();
    virtual void SetReadOnly(bool readOnly);
    virtual bool ConfirmClose();
    virtual bool SaveData();
    virtual void AfterSave();
    virtual void CancelEdits();
    virtual void LoadData() {}
    virtual void InsertRecord();
    virtual void DeleteRecord();
    virtual void InitActions();
    virtual void BuildColumns();
    virtual QString GetLocateFields() const { return QStringLiteral("sName-姓名,sNo-学籍辅号"); }
    virtual void BeforeReportPrint(const QString &entry);
    virtual void AfterReportPrint(const QString &entry);
    virtual void PrintReportFile(const QString &entry);
    virtual void InitPage();
    // What the page cannot work with in its parameter list, as a hint for the user naming what is
    // missing; empty when the parameters will do. The page exports ask before InitPage and make no
    // page when there is a problem.
    virtual QString ParameterProblem() const { return {}; }
    // Report variables the page answers; the base knows "SchoolName".
    virtual QVariant ReportVariable(const QString &name, bool *found);
    // Binds the page's other tables and hooks to a template about to print (the base binds
    // cdsData and the variables).
    virtual void BindReport(report::ReportEngine &) {}

    // The layout file of this page for the signed-in user.
    QString layoutFile() const;
    // The folder of the page's report templates; empty when the page has none.
    QString reportFolderPath() const;

public Q_SLOTS:
    void acEditExecute();
    void acInsertExecute();
    void acDeleteExecute();
    void acSaveExecute();
    void acCancelExecute();
    void acRequeryExecute();
    void acCopyExecute();
    void acAutoSizeExecute();
    void acPrintExecute();
    void acRptSetExecute();
    void acFindExecute();
    void acFilterExecute();
    void acExportExecute();
    void acHelpExecute();
    void acSelectedExecute();
    void acUnSelectedExecute();
    void acSelectAllExecute();
    void acUnSelectAllExecute();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Loads Rights from the user's rights packet: this page's keys and the common ones.
    void loadRights();
    // Loads cdsFields with the column definitions of FieldsTable.
    CallResult loadFieldDefinitions();
    // Fills the print menu with the page's report templates.
    void fillReportMenu();
    void printTemplate(const QString &entry);
    bool holdsRight(const QString &key) const;

private:
    QAction *makeAction(const QString &caption, const QString &icon, const QKeySequence &shortcut = {}, const QString &hint = {});
    void storeLayout();
    QString m_layoutFile;
    void moveFocus(int how);
    QPointer<TfrmPubLocate> m_locate;
    QList<QAction *> m_reportEntries;
};

} // namespace lumeko::achieve
