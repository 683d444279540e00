#pragma once
// TBaseBatch: the frame of the modal dialogs that edit one table of the school's organisation in a
// grid (grades, departments, classes, subjects, family members, ...): a tool bar, the grid, a
// status bar, browsing and editing, the user's "Manager" right, selection marks.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QDialog>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace lumeko {
class BandedGrid;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TBaseBatch : public QDialog {
    Q_OBJECT
public:
    explicit TBaseBatch(QWidget *parent = nullptr);

    DataSet *cdsData;       // the table behind the grid
    BandedGrid *cxGridList;
    QToolBar *tlbTools;
    QLabel *sbStatus;       // "浏览数据" / "编辑数据"
    QWidget *pnlTitle;      // hidden unless a dialog shows it
    QMenu *pmOptions;

    QAction *acEdit, *acInsert, *acDelete, *acSave, *acCancel, *acRequery, *acQuit, *acCopy, *acFilter, *acHelp;
    QAction *acSelect, *acUnSelect, *acSelectAll, *acUnSelectAll;

    int EditState = 0;
    QStringList Params;
    QStringList Rights;
    int Tag = 0; // the dialog's function id

    bool isEditing() const { return EditState >= 1 && EditState <= 2; }
    void setEditState(int state);

    virtual void SetReadOnly(bool readOnly);
    virtual bool ConfirmClose();
    virtual bool SaveData();
    virtual void CancelEdits();
    virtual void LoadData() {}
    virtual void InsertRecord();
    virtual void DeleteRecord();
    virtual void InitActions();
    virtual void ApplyRights();
    virtual void InitDialog();

public Q_SLOTS:
    void acEditExecute() { setEditState(2); }
    void acSaveExecute();
    void acCancelExecute();
    void acQuitExecute() { close(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override; // Esc closes through the same question

private:
    QAction *makeAction(const QString &caption, const QString &icon, const QKeySequence &shortcut, int tag);
    void markRows(int mode);
};

} // namespace lumeko::achieve
