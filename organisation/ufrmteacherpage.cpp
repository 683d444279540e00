#include "organisation/ufrmteacherpage.h"

#include "framework/import/upubimportset.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/ufrmdeptteacher.h"
#include "students/ufrmsetpass.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QToolBar>
#include <QUuid>

namespace lumeko::achieve {

namespace {

// What the host's log lines of this page begin with.
const QString kCaption = QStringLiteral("教师档案");

// The names a teacher signs in with, in the order they are checked: the field, CheckLoginUsed's
// kind, the two labels of a repeat on the page and the label of one used on the server. Login
// names and e-mails are told apart without regard to case, as sign-in does.
struct Identifier {
    const char16_t *field;
    qint64 kind;
    const char16_t *repeated, *used, *server;
    Qt::CaseSensitivity cs;
};
const Identifier kIdentifiers[] = {
    {u"sLoginName", 0, u"账号", u"登录名", u"登录名", Qt::CaseInsensitive},
    {u"sMail", 2, u"邮箱号", u"邮箱号", u"邮箱号", Qt::CaseInsensitive},
    {u"sMobile", 1, u"手机号码", u"手机号", u"手机号", Qt::CaseSensitive},
};

// The host lists the free-text columns offer.
const std::pair<const char16_t *, const char16_t *> kTypeLists[] = {
    {u"sType", u"TeacType"}, {u"sResidenceType", u"RSDTYPE"}, {u"sNation", u"Nation"}, {u"sBirthAddr", u"BirthAddr"}};

bool isField(const GridColumn &col, QStringView name)
{
    return col.field.compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

TfrmTeacherPage::TfrmTeacherPage(QWidget *parent) : TBasePage(parent)
{
    Tag = 4010;
    FieldsTable = QStringLiteral("JC_Teacher");
    HelpFile = QStringLiteral("Teacher");
    setWindowTitle(QStringLiteral("教师档案"));
    cdsState = new DataSet(this);
    cdsRoles = new DataSet(this);
    const auto action = [this](const QString &caption, const QString &hint, const char *icon, int tag) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), caption, this);
        a->setStatusTip(hint);
        a->setToolTip(hint.isEmpty() ? caption : hint);
        setActionTag(a, tag);
        addAction(a);
        return a;
    };
    acImport = action(QStringLiteral("导入"), {}, "Import", 5);
    acSetPass = action(QStringLiteral("密码"), QStringLiteral("密码设置"), "SetPass", 7);
    acDept = action(QStringLiteral("部门"), QStringLiteral("所属部门"), "Other", 0);
    tlbTools->addActions({acImport, acSetPass, acDept});
    connect(acImport, &QAction::triggered, this, &TfrmTeacherPage::acImportExecute);
    connect(acSetPass, &QAction::triggered, this, &TfrmTeacherPage::acSetPassExecute);
    connect(acDept, &QAction::triggered, this, &TfrmTeacherPage::acDeptExecute);
}

bool TfrmTeacherPage::loadLists()
{
    pub::WaitIndicator wait(this);
    CallResult r = loadFieldDefinitions();
    if (r.ok()) r = loadTable(*cdsState, protocol::QRegByType, {in(QStringLiteral("TeacState")), var()});
    if (r.ok()) r = loadTable(*cdsRoles, protocol::QRegByType, {in(QStringLiteral("Roles")), var()});
    if (r.ok()) return true;
    reportFailure(this, kCaption, r, Failure::Read);
    return false;
}

void TfrmTeacherPage::InitPage()
{
    // One item names a department; the host's "," (two empty items) asks for every teacher.
    DeptCode = Params.size() == 1 ? Params[0].trimmed().left(3) : QString();
    loadLists();
    LoadData();
    TBasePage::InitPage();
    applyColumnRules();
    GridData->bestFit(); // the lists show names now, not keys
    setEditState(0);
}

void TfrmTeacherPage::applyColumnRules()
{
    const bool integerState = cdsData->fieldIndex(u"iState") >= 0 && cdsData->fieldInfo(cdsData->fieldIndex(u"iState")).def.type == wire::FieldType::Integer;
    for (int c = 0; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        if (isField(col, u"SchoolCode") || isField(col, u"sCode") || isField(col, u"sPass") || isField(col, u"sRole")) col.tag = 1;
        if (isField(col, u"SchoolCode") || isField(col, u"sCode")) col.visible = false;
        if (isField(col, u"iState")) {
            col.editor = EditorKind::Lookup;
            col.lookup.clear();
            for (cdsState->first(); cdsState->isActive() && !cdsState->eof(); cdsState->next()) {
                const QString key = cdsState->value(u"sKeyId").toString();
                col.lookup.append({integerState ? QVariant(key.toLongLong()) : QVariant(key), cdsState->value(u"sValue").toString()});
            }
        } else if (isField(col, u"sSex")) {
            col.editor = EditorKind::Lookup;
            col.lookup = {{QStringLiteral("男"), QStringLiteral("男")}, {QStringLiteral("女"), QStringLiteral("女")}};
        }
        for (const auto &[field, list] : kTypeLists) {
            if (!isField(col, field)) continue;
            col.editor = EditorKind::Lookup;
            col.lookup.clear();
            for (const QString &value : pub::typeList(QString::fromUtf16(list)).split(u',', Qt::SkipEmptyParts))
                col.lookup.append({value, value});
        }
        GridData->updateColumn(c, col);
    }
    showRoleNames();
}

// The role column shows the names of the roles its comma text lists ("3,6": 年级长,任课教师).
void TfrmTeacherPage::showRoleNames()
{
    const int c = GridData->columnOfField(QStringLiteral("sRole"));
    if (c < 0 || !cdsData->isActive()) return;
    QHash<QString, QString> names;
    for (cdsRoles->first(); cdsRoles->isActive() && !cdsRoles->eof(); cdsRoles->next())
        names.insert(cdsRoles->value(u"sKeyId").toString(), cdsRoles->value(u"sValue").toString());
    GridColumn col = GridData->column(c);
    col.lookup.clear();
    QSet<QString> seen;
    const int f = cdsData->fieldIndex(u"sRole");
    for (qsizetype r = 0; r < cdsData->recordCount(); ++r) {
        const QString roles = cdsData->valueAt(r, f).toString();
        if (roles.isEmpty() || seen.contains(roles)) continue;
        seen.insert(roles);
        QStringList texts;
        for (const QString &key : roles.split(u',', Qt::SkipEmptyParts))
            texts << names.value(key.trimmed(), key.trimmed());
        col.lookup.append({roles, texts.join(u',')});
    }
    GridData->updateColumn(c, col);
}

void TfrmTeacherPage::LoadData()
{
    TBasePage::LoadData();
    pub::WaitIndicator wait(this);
    {
        FrozenControls frozen(*cdsData);
        const CallResult r = loadTable(*cdsData, protocol::QTeacherByDept, {in(pub::schoolId()), in(DeptCode), var()});
        if (!r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
        // The page fills these itself when it saves a new row, so a row may be posted without them.
        for (const char *field : {"sCode", "SchoolCode", "iState"})
            if (const int i = cdsData->fieldIndex(QString::fromLatin1(field)); i >= 0) cdsData->fieldInfo(i).def.flags &= ~wire::FieldDef::Required;
        cdsData->first();
    }
    showRoleNames();
}

void TfrmTeacherPage::SetReadOnly(bool readOnly)
{
    // The dialogs work on stored teachers: they wait until editing ends.
    acSetPass->setEnabled(readOnly);
    acDept->setEnabled(readOnly);
    TBasePage::SetReadOnly(readOnly);
}

void TfrmTeacherPage::InsertRecord()
{
    TBasePage::InsertRecord();
    if (cdsData->state() != DataSetState::Insert) return;
    if (cdsData->fieldIndex(u"iState") >= 0) cdsData->setValue(u"iState", 0);
    if (cdsData->fieldIndex(u"Selected") >= 0) cdsData->setValue(u"Selected", false);
}

// Deletes the marked teachers; the focused row alone is never taken for a mark.
void TfrmTeacherPage::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->fieldIndex(u"Selected") < 0) return;
    GridData->postEdit();
    FrozenControls frozen(*cdsData);
    FilterScope marked(*cdsData, QStringLiteral("Selected=True"));
    while (!cdsData->isEmpty()) {
        cdsData->first();
        cdsData->deleteRecord();
    }
}

bool TfrmTeacherPage::validateRows()
{
    QString fault;
    qsizetype faultRow = -1;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在验证数据..."));
        pub::ServerObject students = pub::ServerObject::studentQry();
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        const int code = cdsData->fieldIndex(u"sCode");
        for (qsizetype r = 0; r < cdsData->recordCount() && fault.isEmpty(); ++r) {
            cdsData->moveTo(r);
            const RowStatus status = cdsData->updateStatus();
            if (status != RowStatus::Inserted && status != RowStatus::Modified) continue;
            for (const Identifier &id : kIdentifiers) {
                const int f = cdsData->fieldIndex(id.field);
                if (f < 0) continue;
                const QString value = cdsData->valueAt(r, f).toString().trimmed();
                // A value the row had when it was read was checked when it was stored.
                if (value.isEmpty() || (status == RowStatus::Modified && cdsData->oldValue(f).toString().trimmed() == value)) continue;
                // A repeat within the page is the later row's fault; rows stored before are the
                // server's to tell.
                for (qsizetype earlier = 0; earlier < r; ++earlier) {
                    if (cdsData->valueAt(earlier, f).toString().trimmed().compare(value, id.cs) != 0) continue;
                    fault = QStringLiteral("数据行<%1> %2重复，%3<%4>已被使用！")
                                .arg(r + 1)
                                .arg(QString::fromUtf16(id.repeated), QString::fromUtf16(id.used), value);
                    break;
                }
                if (!fault.isEmpty()) {
                    faultRow = r;
                    break;
                }
                QList<wire::Argument> args = {in(value), in(id.kind), in(code >= 0 ? cdsData->valueAt(r, code).toString() : QString())};
                const wire::Reply reply = students.call(protocol::CheckLoginUsed, args);
                if (!reply.ok()) {
                    pub::writeLog(kCaption + QStringLiteral(": ") + reply.message);
                    fault = QStringLiteral("服务器连接失败！");
                    faultRow = r;
                    break;
                }
                if (const auto *user = std::get_if<QString>(&reply.result); user && !user->isEmpty()) {
                    fault = QStringLiteral("数据行<%1> %2<%3>已被 %4 使用！").arg(r + 1).arg(QString::fromUtf16(id.server), value, *user);
                    faultRow = r;
                    break;
                }
            }
        }
        if (faultRow >= 0)
            cdsData->moveTo(faultRow);
        else if (here >= 0)
            cdsData->gotoBookmark(here);
    }
    if (fault.isEmpty()) return true;
    pub::msgError(fault, this);
    return false;
}

// Marks are for this screen only; new rows get their key, school and state.
void TfrmTeacherPage::completeRows()
{
    const bool marks = cdsData->fieldIndex(u"Selected") >= 0;
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        const RowStatus status = cdsData->updateStatus();
        if (status == RowStatus::Modified) {
            if (!marks || !cdsData->value(u"Selected").toBool()) continue;
            cdsData->edit();
            cdsData->setValue(u"Selected", false);
            cdsData->post();
        } else if (status == RowStatus::Inserted) {
            cdsData->edit();
            if (cdsData->value(u"sCode").toString().isEmpty()) cdsData->setValue(u"sCode", QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            if (cdsData->fieldIndex(u"iState") >= 0 && cdsData->value(u"iState").isNull()) cdsData->setValue(u"iState", 0);
            if (marks) cdsData->setValue(u"Selected", false);
            cdsData->post();
        }
    }
}

bool TfrmTeacherPage::SaveData()
{
    if (!TBasePage::SaveData()) return false;
    if (cdsData->changeCount() > 0 && !validateRows()) return false;
    const Bookmark here = cdsData->bookmark();
    CallResult r;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在提交数据，请稍后..."));
        FrozenControls frozen(*cdsData);
        completeRows();
        if (cdsData->changeCount() == 0) {
            if (here >= 0) cdsData->gotoBookmark(here);
            return true;
        }
        r = saveTable(*cdsData, protocol::UpTeacher);
    }
    if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
    if (r.outcome == CallResult::Failed) {
        pub::msgError(QStringLiteral("保存教师档案数据失败，服务器连接失败！"), this);
    } else {
        WriteOperationLog(QStringLiteral("修改保存教师档案数据"));
        if (r.ok()) {
            showRoleNames();
            pub::msgHint(QStringLiteral("更新成功！"), this);
        } else {
            pub::msgError(QStringLiteral("更新失败！"), this);
        }
    }
    if (here >= 0) cdsData->gotoBookmark(here);
    return r.ok();
}

// The import wizard over the teachers; login names may be made from the names. The merged rows
// stay pending until the user saves.
void TfrmTeacherPage::acImportExecute()
{
    if (!isEditing()) setEditState(2);
    {
        // Owned by the host's window, which outlives this page even if the page is closed meanwhile.
        TPubImportSet wizard(window());
        wizard.target.fields = cdsFields;
        wizard.target.data = cdsData;
        wizard.target.states = cdsState;
        wizard.target.masterKeyField = QStringLiteral("sCode");
        wizard.target.keyCaptions = QStringLiteral("姓名,ID").split(u',');
        wizard.target.keyFields = QStringLiteral("sName,sCode").split(u',');
        wizard.target.excludedFields = QStringLiteral("scode,selected,schoolcode,sRole,sloginname").split(u',');
        wizard.target.initRow = [](DataSet &row) {
            if (row.fieldIndex(u"iState") >= 0) row.setValue(u"iState", 0);
            if (row.fieldIndex(u"Selected") >= 0) row.setValue(u"Selected", false);
        };
        wizard.Caption = windowTitle() + QStringLiteral(" 教师数据导入向导");
        wizard.prepare();
        runModal(wizard);
    }
    showRoleNames();
}

// The password dialog for the marked teachers.
void TfrmTeacherPage::acSetPassExecute()
{
    if (!cdsData->isActive() || cdsData->fieldIndex(u"Selected") < 0) return;
    GridData->postEdit();
    FilterScope marked(*cdsData, QStringLiteral("Selected=True"));
    if (cdsData->isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要设置的名单！"), this);
        return;
    }
    TfrmSetPass dialog(cdsData, 1, this);
    runModal(dialog);
}

// The departments and duties of the focused teacher, and from there of the others.
void TfrmTeacherPage::acDeptExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    TfrmDeptTeacher dialog(cdsData, dialogOwner(this));
    dialog.InitDialog();
    runModal(dialog);
}

} // namespace lumeko::achieve
