// The score page's editing: who may edit, in which role, which subjects and classes; saving the
// changed scores with their logs and the server's ranking; the commands that rank, total, clear,
// import, define the roster and show the score history.

#include "domain/sheetranker.h"
#include "framework/import/upubimportset.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "scores/ufrmachievepage.h"
#include "scores/ufrmachmodifyrightdlg.h"
#include "scores/ufrminputscore.h"
#include "scores/ufrmmodifygradeper.h"
#include "scores/ufrmmarkhistory.h"
#include "students/upubdefinestudent.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QScopeGuard>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");
constexpr int kLocked = 1;
// Roles in the order the edit check tries them.
constexpr int kRoleOrder[] = {1, 3, 4, 5, 2, 6};

QString textOf(const wire::Value &v)
{
    const auto *t = std::get_if<QString>(&v);
    return t ? *t : QString();
}
qint64 intOf(const wire::Value &v)
{
    const auto *n = std::get_if<qint64>(&v);
    return n ? *n : -1;
}
QDateTime dateTimeOf(const wire::Value &v)
{
    const auto *t = std::get_if<QDateTime>(&v);
    return t ? *t : QDateTime();
}

bool holdsRole(int role)
{
    return splitCommaText(pub::userRole()).contains(QString::number(role));
}

// The names of a log: the first 11, then "..." when more were counted.
struct NameLog {
    QStringList entries;
    int counted = 0;
    void add(const QString &entry)
    {
        if (++counted <= 11) entries << entry;
    }
    QString text() const
    {
        QString t = entries.join(QString());
        if (t.endsWith(u',')) t.chop(1);
        return counted > 10 ? t + QStringLiteral("...") : t;
    }
};

} // namespace

// ---- may the user edit ----------------------------------------------------------------------------------------

bool TfrmAchievePage::mayEdit()
{
    if (!cdsExamInfo->isActive() || cdsExamInfo->isEmpty()) return false;
    if (cdsExamInfo->value(u"Freeze").toBool()) {
        pub::msgHint(QStringLiteral("对不起，您不能编辑，此次考试已被冻结！"), this);
        return false;
    }
    if (pub::userType() == 1) return true;
    if (EntryFlag == u"N") return false;
    QList<wire::Argument> none;
    const CallResult clock = callServer(protocol::DBDate, none);
    if (clock.ok()) {
        const QDateTime now = dateTimeOf(clock.result).toLocalTime();
        const QDate limit = cdsExamInfo->value(u"dLimitDay").toDate(), defined = cdsExamInfo->value(u"dDefDay").toDate();
        if ((limit.isValid() && now.addDays(-1) > limit.startOfDay()) || (defined.isValid() && defined.startOfDay() > now)) {
            pub::msgHint(QStringLiteral("对不起，您不能编辑，已超过限入时间！"), this);
            return false;
        }
    }
    const QVariant rights = cdsExamInfo->value(u"ModifyRight");
    if (rights.isNull()) return false;
    const int bits = rights.toInt();
    for (int role : kRoleOrder)
        if ((bits >> (role - 1) & 1) && holdsRole(role)) return true;
    pub::msgHint(QStringLiteral("对不起，您不能编辑，您没有编辑权限！"), this);
    return false;
}

bool TfrmAchievePage::prepareEdit()
{
    // The role: the administrator's own; otherwise the one the teacher chooses among those the
    // exam lets edit (asked only when there is a choice).
    EditRole = pub::userType() == 1 ? QStringLiteral("1")
                                    : TfrmAchModifyRightDlg::chooseRole(dialogOwner(this), cdsExamInfo->value(u"ModifyRight").toInt(), pub::userRole());
    if (EditRole.isEmpty()) return false;
    pub::WaitIndicator wait(this, QStringLiteral("正在准备编辑数据......"));
    // The subjects of the role.
    m_editableSubjects = SubjectCodes;
    if (EditRole == u"5" || EditRole == u"2" || EditRole == u"6") {
        QList<wire::Argument> args{in(pub::schoolId()), in(GradeCode), in(pub::userCode() + u',' + EditRole), var(qint64(InYear))};
        const CallResult r = callServer(protocol::QTeacherSubjects, args);
        if (!r.ok()) return reportFailure(this, windowTitle(), r, Failure::Read), false;
        const QString list = textOf(r.result);
        if (list != u"ALL") {
            const QStringList mine = splitCommaText(list);
            m_editableSubjects.clear();
            for (const QString &code : SubjectCodes)
                if (mine.contains(code)) m_editableSubjects << code;
        }
        if (m_editableSubjects.isEmpty()) {
            pub::msgHint(QStringLiteral("您不能编辑，没有可编辑的科目数据！"), this);
            return false;
        }
    }
    // The classes of the role, for an ordinary user: those he heads (4) or teaches (6); a leader's
    // role covers the grade ("000").
    QString classes;
    if (pub::userType() == 0 && EditRole != u"1") {
        QStringList codes;
        const QString me = pub::userCode();
        if (EditRole == u"4") {
            for (qsizetype r = 0; r < cdsClassList->recordCount(); ++r)
                if (cdsClassList->valueAt(r, cdsClassList->fieldIndex(u"TeacherCode")).toString() == me)
                    codes << cdsClassList->valueAt(r, cdsClassList->fieldIndex(u"ClassCode")).toString();
        } else if (EditRole == u"6") {
            for (qsizetype r = 0; r < cdsSubjectClass->recordCount(); ++r) {
                const QString code = cdsSubjectClass->valueAt(r, cdsSubjectClass->fieldIndex(u"ClassCode")).toString();
                if (cdsSubjectClass->valueAt(r, cdsSubjectClass->fieldIndex(u"TeacherCode")).toString() == me && !codes.contains(code)) codes << code;
            }
        } else {
            codes << QStringLiteral("000");
        }
        classes = codes.join(u',');
    }
    // The sheet comes again with the stored scores (no weights while editing), of the role's classes.
    EditState = 2; // so that loading leaves the weights out
    const bool loaded = loadSheet(classes == u"000" ? m_userClasses : classes);
    EditState = 0;
    if (!loaded) return false;
    if (classes != u"000" && cdsData->isEmpty()) {
        pub::msgHint(QStringLiteral("您没有可编辑的班级数据！"), this);
        return false;
    }
    if (chkLetters->isChecked()) showLetters();
    return true;
}

void TfrmAchievePage::acEditExecuteGuarded()
{
    if (isEditing() || !mayEdit() || !prepareEdit()) return;
    setEditState(2);
}

void TfrmAchievePage::SetReadOnly(bool readOnly)
{
    // While editing the page hears the keys typed into the grid's editors (graded subjects' short keys).
    if (readOnly) qApp->removeEventFilter(this);
    else qApp->installEventFilter(this);
    // The subjects the role may not change are locked while editing; browsing locks them all anyway.
    for (int c = 0; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        if (!col.field.startsWith(u"C_", Qt::CaseInsensitive)) continue;
        col.tag = !readOnly && !m_editableSubjects.contains(col.field.mid(2)) ? kLocked : 0;
        GridData->updateColumn(c, col);
    }
    TBasePage::SetReadOnly(readOnly);
    acClearData->setEnabled(!readOnly);
    acStandard->setEnabled(readOnly);
    acDefineStudent->setEnabled(readOnly);
    acInputScore->setEnabled(!readOnly && cdsData->isActive() && !cdsData->isEmpty());
    if (readOnly && m_inputScore && m_inputScore->isVisible()) m_inputScore->close();
    acOrder->setEnabled(readOnly);
    acCaleTotal->setEnabled(readOnly);
    if (readOnly) EditRole.clear();
}

void TfrmAchievePage::CancelEdits()
{
    TBasePage::CancelEdits();
    cdsDataUp->cancelUpdates();
}

// ---- saving ----------------------------------------------------------------------------------------------------

QString TfrmAchievePage::rankFieldList() const
{
    QStringList fields;
    if (PageName == kNoPage) {
        fields << QStringLiteral("FULLTOTAL,FULLORDER");
        if (cdsExamInfo->value(u"hasBase").toBool()) fields << QStringLiteral("BASETOTAL,BASEORDER");
        if (cdsExamInfo->value(u"hasMain").toBool()) fields << QStringLiteral("MAINTOTAL,MAINORDER");
    }
    for (int c = 0; c < GridData->columnCount(); ++c) {
        const GridColumn &col = GridData->column(c);
        if (col.field.startsWith(u"C_", Qt::CaseInsensitive) && col.tag != kLocked && cdsSubjectPt->isActive() && subjectRow(col.field.mid(2)) >= 0)
            fields << col.field + QStringLiteral(",O_") + col.field.mid(2);
    }
    return fields.join(u',');
}

bool TfrmAchievePage::SaveData()
{
    TBasePage::SaveData();
    pub::WaitIndicator wait(this, QStringLiteral("正在提交数据，请稍后..."));
    GridData->setEnabled(false);
    const auto done = qScopeGuard([this] { GridData->setEnabled(true); });

    // The changed rows into the upload image: its scores, added and removed candidates.
    NameLog added, modified, removed;
    const int codeField = cdsData->fieldIndex(u"sCode"), nameField = cdsData->fieldIndex(u"sName");
    const auto uploadRow = [&](Bookmark row) -> QString {
        const QString student = cdsData->slotValue(row, codeField).toString();
        if (cdsDataUp->findKey({student})) {
            // Ranks and levels change rows too; only a changed score goes to the upload image.
            bool changed = false;
            for (const QString &code : SubjectCodes) {
                const QString field = QStringLiteral("C_") + code;
                if (cdsDataUp->fieldIndex(field) >= 0 && !wire::sameValue(cdsData->slotValue(row, cdsData->fieldIndex(field)), cdsDataUp->value(field)))
                    changed = true;
            }
            if (!changed) return {};
            cdsDataUp->edit();
        } else {
            cdsDataUp->append();
            const QVariantList identity{pub::schoolId(), GradeCode, InYear, ExamCode, PageName, student};
            const char *const fields[] = {"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "StudentCode"};
            for (int i = 0; i < 6; ++i)
                cdsDataUp->setValue(QString::fromLatin1(fields[i]), identity[i]);
        }
        QString text;
        for (const QString &code : SubjectCodes) {
            const QString field = QStringLiteral("C_") + code;
            const QVariant now = cdsData->slotValue(row, cdsData->fieldIndex(field));
            const QVariant before = cdsDataUp->value(field);
            if (cdsDataUp->fieldIndex(field) < 0) continue;
            if (!now.isNull() && (before.isNull() || before.toDouble() != now.toDouble()))
                text += fieldsCaption(field) + QStringLiteral("成绩为:") + QString::number(now.toDouble()) + u';';
            cdsDataUp->setValue(field, now);
        }
        cdsDataUp->post();
        return text;
    };
    for (const Bookmark row : cdsData->changedSlots()) {
        const QString name = cdsData->slotValue(row, nameField).toString();
        switch (cdsData->slotStatus(row)) {
        case wire::RowStatus::Modified: {
            const QString text = uploadRow(row);
            if (!text.isEmpty()) modified.add(name + text + u',');
            break;
        }
        case wire::RowStatus::Inserted:
            uploadRow(row);
            added.add(name + u',');
            break;
        case wire::RowStatus::Deleted:
            if (cdsDataUp->findKey({cdsData->slotValue(row, codeField).toString()})) cdsDataUp->deleteRecord();
            removed.add(name + u',');
            break;
        default:
            break;
        }
    }
    if (cdsDataUp->changeCount() == 0) return true; // nothing to send

    const CallResult saved = saveTable(*cdsDataUp, protocol::UpMark);
    if (saved.outcome == CallResult::Failed) {
        pub::writeLog(QStringLiteral("保存成绩数据失败，服务器连接失败！") + (saved.message.isEmpty() ? QString() : u' ' + saved.message));
        cdsDataUp->cancelUpdates();
        pub::msgError(QStringLiteral("保存成绩数据失败，服务器连接失败！"), this);
        return false;
    }
    if (!saved.ok()) {
        cdsDataUp->cancelUpdates();
        // The refused cells (another teacher's newer score, a score outside the user's rights) are
        // named, so that the teacher knows what to reload.
        pub::msgError(QStringLiteral("保存成绩数据失败！") + (saved.message.isEmpty() ? QString() : u'\n' + saved.message), this);
        return false;
    }

    pub::showWaiting(this, QStringLiteral("提交完成，正在写入日志，请稍后..."));
    const QString title = PageCaption.section(u'-', 0, 0);
    for (const auto &[log, before, after] : {std::tuple{&added, "增加<", ">名单"}, {&modified, "修改<", ">"}, {&removed, "删除<", ">名单"}})
        if (log->counted > 0) WriteOperationLog(QStringLiteral("编辑") + title + u':' + QString::fromUtf8(before) + log->text() + QString::fromUtf8(after));

    // The server's totals and grade ranks, then the page's class, branch and letter ranking.
    pub::showWaiting(this, QStringLiteral("重算排名数据......"));
    QList<wire::Argument> order{in(pub::schoolId()), in(GradeCode), in(ExamCode), var(PageName), var(rankFieldList()), var(qint64(InYear))};
    const CallResult ranked = callServer(protocol::UpExamOrder, order);
    if (ranked.ok() && intOf(ranked.result) == 0) {
        QList<wire::Argument> key{in(QStringLiteral("SysParams")), in(QStringLiteral("CaleOrderOnSave")), var()};
        const CallResult onSave = callServer(protocol::QRegisterByKey, key);
        if (textOf(onSave.result).compare(u"no", Qt::CaseInsensitive) != 0 && cdsOrders->isActive()) {
            rankEverything();
            storeSubjectItems();
            storeGradePer();
        }
        cdsData->mergeChangeLog();
        LoadData();
    }
    pub::msgHint(QStringLiteral("成功提交已修改的成绩数据！"), this);
    return true;
}

void TfrmAchievePage::AfterSave()
{
    if (cdsData->isActive() && cdsData->changeCount() > 0) cdsData->mergeChangeLog();
    setEditState(0);
    m_editableSubjects.clear();
    applyWeights();
}

bool TfrmAchievePage::storeSubjectItems()
{
    if (!cdsOrders->isActive() || cdsOrders->changeCount() == 0) return true;
    pub::showWaiting(this, QStringLiteral("保存排名数据......"));
    const CallResult r = saveTable(*cdsOrders, protocol::UpSubjectItems);
    if (!r.ok()) reportFailure(this, windowTitle(), r, Failure::Save);
    return r.ok();
}

bool TfrmAchievePage::storeGradePer()
{
    if (!cdsGradePer->isActive() || cdsGradePer->changeCount() == 0) return true;
    const CallResult r = saveTable(*cdsGradePer, protocol::UpExamGradePer);
    if (!r.ok()) reportFailure(this, windowTitle(), r, Failure::Save);
    return r.ok();
}

// ---- commands --------------------------------------------------------------------------------------------------

void TfrmAchievePage::acOrderExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    if (pub::msgConfirm(QStringLiteral("你确认要对此次考试各科进行排名吗？"), this) != 1) return;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在进行成绩排名，请稍后......"));
        rankAll(GradeScope);
        rankAll(ClassScope);
        if (HasBranches) rankAll(BranchScope);
    }
    storeSubjectItems();
    storeGradePer();
    showClassAndBranchRanks();
    acceptDisplayChanges();
}

void TfrmAchievePage::acCaleTotalExecute()
{
    if (PageName != kNoPage) return;
    pub::WaitIndicator wait(this, QStringLiteral("正在计算总分及排名，请稍候..."));
    QList<wire::Argument> order{in(pub::schoolId()), in(GradeCode), in(ExamCode), var(PageName), var(rankFieldList()), var(qint64(InYear))};
    const CallResult ranked = callServer(protocol::UpExamOrder, order);
    if (!ranked.ok()) return reportFailure(this, windowTitle(), ranked, Failure::Save);
    if (intOf(ranked.result) != 0) return;
    if (cdsOrders->isActive()) {
        // The sheet first takes the server's totals, which the ranks of the totals start from.
        LoadData();
        rankEverything();
        storeSubjectItems();
        storeGradePer();
    }
    LoadData();
}

void TfrmAchievePage::acClearDataExecute()
{
    if (isEditing()) clearSelectedCells();
}

void TfrmAchievePage::acStandardExecute()
{
    if (isEditing()) return;
    if (m_standard) {
        LoadData();
        return;
    }
    if (!standardize()) return;
    computeAllTotals();
    acceptDisplayChanges();
    m_standard = true;
    acStandard->setText(QStringLiteral("原分"));
    acStandard->setStatusTip(QStringLiteral("显示原始分"));
}

void TfrmAchievePage::acImportExecute()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return pub::msgHint(QStringLiteral("请先定义考试学生名单！"), this);
    if (!isEditing()) {
        if (!mayEdit() || !prepareEdit()) return;
        setEditState(2);
    }
    // What may be imported: the keys and the scores the role may change.
    DataSet fields;
    fields.createTable(
        {{"sFldName", wire::FieldType::Text, 40, 0}, {"sFldCaption", wire::FieldType::Text, 40, 0}, {"sFieldType", wire::FieldType::Text, 1, 0}});
    fields.appendRecord({QStringLiteral("sName"), QStringLiteral("姓名"), QStringLiteral("S")});
    fields.appendRecord({QStringLiteral("sNO"), QStringLiteral("学籍辅号"), QStringLiteral("S")});
    fields.appendRecord({QStringLiteral("iClassNO"), QStringLiteral("座号"), QStringLiteral("N")});
    QStringList excluded{"scode", "selected", "sSex", "classname", "sType", "sArea", "sOldSchool"};
    for (int c = 0; c < GridData->columnCount(); ++c) {
        const GridColumn &col = GridData->column(c);
        if (col.field.startsWith(u"C_", Qt::CaseInsensitive) && col.tag != kLocked)
            fields.appendRecord({col.field, col.caption, QStringLiteral("F")});
        else if (col.tag == kLocked)
            excluded << col.field;
    }
    TPubImportSet wizard(dialogOwner(this));
    wizard.Caption = PageCaption.section(QStringLiteral("-成绩管理"), 0, 0) + QStringLiteral(" 成绩数据导入向导");
    wizard.target.fields = &fields;
    wizard.target.data = cdsData;
    wizard.target.keyCaptions = {QStringLiteral("姓名"), QStringLiteral("学籍辅号"), QStringLiteral("座号")};
    wizard.target.keyFields = {QStringLiteral("sName"), QStringLiteral("sNO"), QStringLiteral("iClassNO")};
    wizard.target.excludedFields = excluded;
    wizard.target.mapPrefixes = {QStringLiteral("C_")};
    wizard.target.mapFrom = QStringLiteral("A,B,C,D,A+,B+,C+,D+,优,良,中,差,优秀,良好,及格").split(u',');
    wizard.target.mapTo = QStringLiteral("5,4,3,2,5.5,4.5,3.5,2.5,5,4,3,2,5,4,3").split(u',');
    wizard.prepare();
    // Scores go to the exam's candidates; a row of the file that matches nobody is not a new student.
    wizard.cbAddData->setChecked(false);
    wizard.cbAddData->setEnabled(false);
    wizard.cbOverride->setChecked(true);
    const Bookmark at = cdsData->bookmark();
    runModal(wizard);
    computeAllTotals();
    if (at >= 0) cdsData->gotoBookmark(at);
}

void TfrmAchievePage::acDefineStudentExecute()
{
    if (isEditing() || cdsExamInfo->isEmpty()) return;
    if (cdsExamInfo->value(u"Freeze").toBool()) return pub::msgHint(QStringLiteral("对不起，您不能修改此考试名单，此次考试已被冻结！"), this);
    TPubDefineStudent dialog(dialogOwner(this));
    dialog.GradeCode = GradeCode;
    dialog.ExamId = cdsExamInfo->value(u"Id").toInt();
    dialog.SubjectCodes = SubjectCodes.join(u',');
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在读取学生名单......"));
        // A grade of the past finds its intake's students wherever they are now.
        bool current = true;
        DataSet grades;
        grades.setData(pub::gradeList());
        for (grades.first(); grades.isActive() && !grades.eof(); grades.next())
            if (grades.value(u"GradeCode").toString() == GradeCode && grades.value(u"InYear").toInt() == InYear)
                current = grades.value(u"bCurGrade").toString() != u"N";
        const CallResult r = loadTable(*dialog.cdsStudent, protocol::QStudForDefine,
                                       {in(pub::schoolId()), var(qint64(InYear)), in(GradeCode), var(current ? QString() : QStringLiteral("NotCurrYear"))});
        if (!r.ok()) return reportFailure(this, windowTitle(), r, Failure::Read);
        dialog.keepClasses(cdsExamInfo->value(u"Classes").toString());
    }
    dialog.setExamList(cdsData);
    // The sheet's rows change inside the dialog: it is in edit state for that and stores them after.
    EditState = 2;
    if (runModal(dialog) != QDialog::Accepted || cdsData->changeCount() == 0) {
        cdsData->cancelUpdates();
        setEditState(0);
        return;
    }
    m_editableSubjects = SubjectCodes;
    if (SaveData()) {
        AfterSave();
    } else {
        CancelEdits();
        setEditState(0);
    }
}

void TfrmAchievePage::acHistoryExecute()
{
    if (cdsExamInfo->isEmpty()) return;
    TfrmMarkHistory dialog(dialogOwner(this));
    dialog.setWindowTitle(QStringLiteral("成绩修改记录 - ") + PageCaption);
    if (!dialog.load(cdsExamInfo->value(u"Id").toString(), FocusedFieldName.isEmpty() ? QString() : cdsData->value(u"sCode").toString())) return;
    runModal(dialog);
}

// ---- seat entry and letter shares -------------------------------------------------------------------------

void TfrmAchievePage::acInputScoreExecute()
{
    if (!isEditing() || !cdsData->isActive() || cdsData->isEmpty()) return;
    if (!m_inputScore) m_inputScore = new TfrmInputScore(this);
    m_inputScore->open();
}

bool TfrmAchievePage::computeLetters()
{
    if (cdsGradePer->state() != DataSetState::Browse) cdsGradePer->post();
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在整理计算数据，请稍后..."));
        if (HasBranches && chkBranches->isChecked()) rankAll(BranchScope);
        rankAll(GradeScope);
    }
    const bool items = storeSubjectItems(), shares = storeGradePer();
    if (items && shares) WriteOperationLog(QStringLiteral("计算保存AE等级！"));
    if (chkLetters->isChecked()) showLetters();
    acceptDisplayChanges();
    return items && shares;
}

void TfrmAchievePage::acModifyGradePerExecute()
{
    if (!cdsGradePer->isActive() || cdsGradePer->isEmpty() || !mayEdit()) return;
    // The shares as they were, for a cancel: the dialog edits the rows in place.
    QList<QVariantList> before;
    for (qsizetype r = 0; r < cdsGradePer->recordCount(); ++r) {
        QVariantList row;
        for (int f = 0; f < cdsGradePer->fieldCount(); ++f) row << cdsGradePer->valueAt(r, f);
        before << row;
    }
    TfrmModifyGradePer dialog(dialogOwner(this));
    dialog.setShares(cdsGradePer, HasBranches, chkBranches->isChecked(), cdsSchoolInfo->value(u"sMainCap").toString(), cdsSchoolInfo->value(u"sSubCap").toString());
    if (runModal(dialog) != QDialog::Accepted) {
        for (qsizetype r = 0; r < before.size() && r < cdsGradePer->recordCount(); ++r) {
            cdsGradePer->moveTo(r);
            cdsGradePer->edit();
            for (int f = 0; f < cdsGradePer->fieldCount(); ++f)
                if (!wire::sameValue(cdsGradePer->value(cdsGradePer->fieldInfo(f).def.name), before[r][f])) cdsGradePer->field(f).setValue(before[r][f]);
            cdsGradePer->post();
        }
        return;
    }
    computeLetters();
}

void TfrmAchievePage::acCaleGradePerExecute()
{
    if (mayEdit()) computeLetters();
}

void TfrmAchievePage::branchSharesToggled(bool byBranch)
{
    if (!cdsGradePer->isActive() || Loading) return;
    if (byBranch && cdsGradePer->recordCount() == 1) {
        // The second campus starts from the letters' default shares.
        const QVariantList first = [this] {
            QVariantList v;
            for (const char *letter : {"A", "B", "C", "D", "E"}) {
                QVariant share = 0.0;
                for (qsizetype r = 0; r < cdsGrade->recordCount(); ++r)
                    if (cdsGrade->valueAt(r, cdsGrade->fieldIndex(u"sValue")).toString() == QLatin1String(letter))
                        share = cdsGrade->valueAt(r, cdsGrade->fieldIndex(u"sDesc")).toDouble();
                v << share;
            }
            return v;
        }();
        cdsGradePer->append();
        cdsGradePer->setValue(u"examId", cdsExamInfo->value(u"Id"));
        cdsGradePer->setValue(u"sArea", cdsSchoolInfo->value(u"sSubCap").toString());
        const char *const fields[] = {"APer", "BPer", "CPer", "DPer", "EPer"};
        for (int i = 0; i < 5; ++i) cdsGradePer->setValue(QString::fromLatin1(fields[i]), first[i]);
        cdsGradePer->post();
    } else if (!byBranch && cdsGradePer->recordCount() == 2) {
        cdsGradePer->last();
        cdsGradePer->deleteRecord();
    }
}

} // namespace lumeko::achieve
