#include "students/ufrmfamily.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QHash>
#include <QToolBar>

namespace lumeko::achieve {

namespace {

// The student the last family dialog showed; kept while the module is loaded.
QString g_student;

QString quoted(QString text)
{
    return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

QString TfrmFamily::currentStudent() { return g_student; }

TfrmFamily::TfrmFamily(DataSet *students, DataSet *family, QWidget *parent) : TBaseBatch(parent), cdsMaster(students)
{
    Tag = 4009; // the register's rights
    setWindowTitle(QStringLiteral("家庭成员信息"));
    cdsData = family;
    cxGridList->setDataSet(family);
    // An empty relation is this dialog's own message, not the table's refusal to post the row.
    if (const int title = family->fieldIndex(u"sTitle"); title >= 0) family->fieldInfo(title).def.flags &= ~wire::FieldDef::Required;

    QList<GridColumn> columns;
    for (const auto &[field, caption, width] : std::initializer_list<std::tuple<const char *, const char *, int>>{
             {"scode", "学生编码", 90}, {"sTitle", "称谓", 60}, {"sName", "姓名", 70}, {"dBirthDay", "出生年月", 90},
             {"sPolice", "政治面貌", 70}, {"sHealthState", "健康状况", 70}, {"sCompany", "工作单位", 140}, {"sDuty", "职务", 70},
             {"sTel", "联系电话", 100}, {"Memo", "备注", 120}, {"SchoolCode", "学校编码", 60}}) {
        GridColumn c;
        c.field = QString::fromLatin1(field);
        c.caption = QString::fromUtf8(caption);
        c.width = width;
        // The keys are the dialog's to fill.
        c.readOnly = c.field == u"scode" || c.field == u"SchoolCode";
        if (c.field == u"dBirthDay") c.editor = EditorKind::Date;
        columns << c;
    }
    cxGridList->setColumns(columns);

    const auto move = [this](const QString &caption, const char *icon) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), caption, this);
        a->setToolTip(caption);
        addAction(a);
        return a;
    };
    acFirst = move(QStringLiteral("首笔"), "First");
    acPrior = move(QStringLiteral("上笔"), "Prior");
    acNext = move(QStringLiteral("下笔"), "Next");
    acLast = move(QStringLiteral("末笔"), "Last");
    connect(acFirst, &QAction::triggered, this, &TfrmFamily::acFirstExecute);
    connect(acPrior, &QAction::triggered, this, &TfrmFamily::acPriorExecute);
    connect(acNext, &QAction::triggered, this, &TfrmFamily::acNextExecute);
    connect(acLast, &QAction::triggered, this, &TfrmFamily::acLastExecute);
    // No column filtering here; the quit button follows the moves.
    acFilter->setVisible(false);
    tlbTools->removeAction(acQuit);
    tlbTools->addActions({acFirst, acPrior, acNext, acLast});
    tlbTools->addSeparator();
    tlbTools->addAction(acQuit);
    resize(860, 360);
}

void TfrmFamily::InitDialog()
{
    TBaseBatch::InitDialog();
    g_student.clear();
    LoadData();
}

void TfrmFamily::LoadData()
{
    if (!cdsMaster->isActive() || cdsMaster->isEmpty()) return;
    const QString code = cdsMaster->value(u"sCode").toString();
    if (code == g_student) return;
    g_student = code;
    setWindowTitle(QStringLiteral("【%1】家庭成员情况").arg(cdsMaster->value(u"sName").toString()));
    if (!cdsData->isActive()) return;
    cdsData->disableControls();
    cdsData->setFilter(QStringLiteral("scode=") + quoted(code));
    cdsData->setFiltered(true);
    cdsData->enableControls();
}

void TfrmFamily::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    for (QAction *a : {acFirst, acPrior, acNext, acLast}) a->setEnabled(readOnly);
}

void TfrmFamily::acFirstExecute()
{
    cdsMaster->first();
    LoadData();
}

void TfrmFamily::acPriorExecute()
{
    cdsMaster->prior();
    LoadData();
}

void TfrmFamily::acNextExecute()
{
    cdsMaster->next();
    LoadData();
}

void TfrmFamily::acLastExecute()
{
    cdsMaster->last();
    LoadData();
}

void TfrmFamily::InsertRecord()
{
    TBaseBatch::InsertRecord();
    if (cdsData->state() != DataSetState::Insert) return;
    cdsData->setValue(u"SchoolCode", pub::schoolId());
    cdsData->setValue(u"scode", g_student);
    cdsData->setValue(u"sTitle", QStringLiteral("父亲"));
}

bool TfrmFamily::validateRows()
{
    const QString fault = [this] {
        pub::WaitIndicator wait(this, QStringLiteral("正在验证数据..."));
        // A copy, so that the walk neither moves the grid nor meets the filter: pending rows of
        // the students shown before are checked as well.
        DataSet rows;
        rows.cloneFrom(*cdsData);
        rows.setFiltered(false);
        const auto key = [&rows] { return std::pair{rows.value(u"scode").toString(), rows.value(u"sTitle").toString()}; };
        QHash<std::pair<QString, QString>, int> uses;
        for (rows.first(); !rows.eof(); rows.next()) ++uses[key()];
        const int titleField = rows.fieldIndex(u"sTitle");
        // A row's number is its place among its student's rows, as the grid lists them.
        QHash<QString, int> numbers;
        for (rows.first(); !rows.eof(); rows.next()) {
            const auto [student, title] = key();
            const int number = ++numbers[student];
            if (title.trimmed().isEmpty()) return QStringLiteral("称谓不能为空！");
            const RowStatus status = rows.updateStatus();
            // A row keeping its relation was checked when it got it.
            const bool renamed = status == RowStatus::Modified && rows.oldValue(titleField).toString() != title;
            if ((status == RowStatus::Inserted || renamed) && uses.value({student, title}) > 1)
                return QString::asprintf("数据行<%d> %s重复！", number, qUtf8Printable(QStringLiteral("称谓[") + title + u']'));
        }
        return QString();
    }();
    if (fault.isEmpty()) return true;
    pub::msgError(fault, this);
    return false;
}

bool TfrmFamily::SaveData()
{
    try {
        if (!TBaseBatch::SaveData()) return false;
    } catch (const DataError &e) {
        pub::msgError(e.message(), this);
        return false;
    }
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    if (!validateRows()) return false;
    const CallResult r = saveTable(*cdsData, protocol::UpFamily);
    if (!r.ok()) {
        if (r.outcome == CallResult::Failed) pub::writeLog(QStringLiteral("保存家庭成员数据失败，服务器连接失败！"));
        pub::msgError(QStringLiteral("更新失败！"), this);
        return false;
    }
    WriteOperationLog(QStringLiteral("修改保存家庭成员数据"));
    pub::msgHint(QStringLiteral("更新成功！"), this);
    return true;
}

} // namespace lumeko::achieve
