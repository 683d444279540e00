#pragma once
// TfrmTeacherPage ("教师档案"): the school's teachers, or those of one department, with the columns
// the school defines for JC_Teacher. Teachers are added, edited, deleted and imported here; the
// names a teacher signs in with (login name, e-mail, mobile) are kept unique across the page and
// the server; passwords are set through the password dialog and departments through 所属部门.

#include "framework/ubasepage.h"

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmTeacherPage : public TBasePage {
    Q_OBJECT
public:
    explicit TfrmTeacherPage(QWidget *parent = nullptr);

    QString DeptCode; // the page's department; empty: every teacher of the school

    DataSet *cdsState; // TeacState: sKeyId, sValue
    DataSet *cdsRoles; // Roles: sKeyId, sValue
    QAction *acImport, *acSetPass, *acDept;

    void InitPage() override;
    void LoadData() override;
    void SetReadOnly(bool readOnly) override;
    bool SaveData() override;
    void InsertRecord() override;
    void DeleteRecord() override;
    QString GetLocateFields() const override { return QStringLiteral("sName-姓名,sLoginName-登录名,sMobile-手机号码"); }

    // The login names, e-mails and mobiles of the new and changed rows: none twice on the page,
    // none used by another user on the server. Shows the first fault and answers false.
    bool validateRows();

public Q_SLOTS:
    void acImportExecute();
    void acSetPassExecute();
    void acDeptExecute();

private:
    bool loadLists();
    void applyColumnRules();
    void showRoleNames();
    void completeRows();
};

} // namespace lumeko::achieve
