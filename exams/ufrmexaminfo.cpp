#include "exams/ufrmexaminfo.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

namespace lumeko::achieve {

namespace {
const QString kCaption = QStringLiteral("考试类型");

bool isBuiltIn(DataSet &t)
{
    return t.value(u"SchoolCode").toString().toUpper() == u"SYSTEM" || t.value(u"bState").toBool();
}
} // namespace

TfrmExamInfo::TfrmExamInfo(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4005;
    setWindowTitle(QStringLiteral("考试类型设置"));
    QList<GridColumn> columns;
    for (const auto &[field, caption, width] :
         std::initializer_list<std::tuple<const char *, const char *, int>>{{"sCode", "编码", 60}, {"sName", "考试名称", 200}, {"sType", "考试类型", 120}}) {
        GridColumn c;
        c.field = QString::fromLatin1(field);
        c.caption = QString::fromUtf8(caption);
        c.width = width;
        c.readOnly = c.field == u"sCode"; // assigned when saved
        columns << c;
    }
    cxGridList->setColumns(columns);
    connect(cdsData, &DataSet::currentChanged, this, [this] { protectBuiltIn(); });
    resize(660, 460); // wide enough for the whole tool bar
}

void TfrmExamInfo::InitDialog()
{
    TBaseBatch::InitDialog();
    LoadData();
    // The kinds of exam the registry lists.
    const int kind = cxGridList->columnOfField(QStringLiteral("sType"));
    if (kind >= 0) {
        GridColumn c = cxGridList->column(kind);
        c.editor = EditorKind::Lookup;
        c.lookup.clear();
        for (const QString &type : pub::typeList(QStringLiteral("ExamType")).split(u',', Qt::SkipEmptyParts))
            c.lookup.append({type, type});
        cxGridList->updateColumn(kind, c);
    }
}

void TfrmExamInfo::LoadData()
{
    TBaseBatch::LoadData();
    pub::WaitIndicator wait(this);
    if (const CallResult r = loadTable(*cdsData, protocol::QExamInfo, {in(pub::schoolId()), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    // The catalogue's own rules apply, not the table's: the code comes at saving.
    if (const int code = cdsData->fieldIndex(u"sCode"); code >= 0) cdsData->fieldInfo(code).def.flags &= ~wire::FieldDef::Required;
}

void TfrmExamInfo::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    protectBuiltIn();
}

void TfrmExamInfo::protectBuiltIn()
{
    if (!isEditing() || !cdsData->isActive() || cdsData->isEmpty()) return;
    cxGridList->setReadOnly(cdsData->state() != DataSetState::Insert && isBuiltIn(*cdsData));
}

void TfrmExamInfo::InsertRecord()
{
    TBaseBatch::InsertRecord();
    if (cdsData->state() != DataSetState::Insert) return;
    cdsData->setValue(u"SchoolCode", pub::schoolId());
    cdsData->setValue(u"bState", false);
}

void TfrmExamInfo::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    if (cdsData->value(u"SchoolCode").toString().toUpper() == u"SYSTEM") {
        pub::msgHint(QStringLiteral("系统默认考试类型，不能删除！"), this);
        return;
    }
    if (cdsData->value(u"bState").toBool()) {
        pub::msgHint(QStringLiteral("内置系统考试类型，不能删除！"), this);
        return;
    }
    TBaseBatch::DeleteRecord();
}

QString TfrmExamInfo::codeAfter(qint64 highest, int n)
{
    return QStringLiteral("%1").arg(highest + n, 3, 10, QChar(u'0'));
}

bool TfrmExamInfo::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (cdsData->changeCount() == 0) return true;
    pub::WaitIndicator wait(this);
    QList<wire::Argument> args{in(pub::schoolId())};
    const CallResult highest = callServer(protocol::MaxExamID, args);
    if (!highest.ok()) {
        pub::writeLog(QStringLiteral("读取编码错误：") + highest.message);
        pub::msgError(QStringLiteral("服务器连接失败，可能网络不稳定，请稍后再试！"), this);
        return false;
    }
    const qint64 from = std::get_if<QString>(&highest.result) ? std::get<QString>(highest.result).toLongLong() : 0;
    int added = 0;
    {
        FrozenControls frozen(*cdsData);
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            if (cdsData->updateStatus() != RowStatus::Inserted) continue;
            cdsData->edit();
            cdsData->setValue(u"sCode", codeAfter(from, ++added));
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            if (cdsData->value(u"sType").toString().isEmpty()) cdsData->setValue(u"sType", QStringLiteral("综合考试"));
            cdsData->setValue(u"bState", false);
            cdsData->post();
        }
    }
    const CallResult saved = saveTable(*cdsData, protocol::UpExamInfo);
    if (!saved.ok()) {
        pub::writeLog(QStringLiteral("考试类型保存错误：") + saved.message);
        pub::msgError(QStringLiteral("%1 数据保存失败，可能网络不稳定，请稍后再试！").arg(kCaption), this);
        return false;
    }
    WriteOperationLog(QStringLiteral("修改保存考试类型数据"));
    return true;
}

} // namespace lumeko::achieve
