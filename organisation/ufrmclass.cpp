#include "organisation/ufrmclass.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "toolkit/grid/bandedgrid.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("校班级设置");

// A count that moves by five while Ctrl is held.
class CountBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override
    {
        if (steps != 0 && (QGuiApplication::keyboardModifiers() & Qt::ControlModifier)) steps = steps > 0 ? 5 : -5;
        QSpinBox::stepBy(steps);
    }
};

} // namespace

TfrmClass::TfrmClass(QWidget *parent) : TBaseBatch(parent)
{
    Tag = 4002;
    setWindowTitle(kCaption);
    GridColumn area = GridColumn::of("sArea", "校区", 90);
    area.visible = false;
    cxGridList->setColumns(
        {GridColumn::of("ClassCode", "班级编码", 80, true), GridColumn::of("ClassName", "班级名称", 160), GridColumn::of("sType", "班级类型", 110), area});

    edCount = new CountBox(pnlTitle);
    edCount->setRange(1, 20);
    edCount->setValue(1);
    cbClassType = new QComboBox(pnlTitle);
    cbClassType->setMinimumWidth(110);
    btnAdd = new QPushButton(QStringLiteral("增加"), pnlTitle);
    auto *title = new QHBoxLayout(pnlTitle);
    title->setContentsMargins(8, 6, 8, 6);
    title->addWidget(new QLabel(QStringLiteral("最大班级数："), pnlTitle));
    title->addWidget(edCount);
    title->addSpacing(12);
    title->addWidget(new QLabel(QStringLiteral("班级类型："), pnlTitle));
    title->addWidget(cbClassType);
    title->addWidget(btnAdd);
    title->addStretch(1);
    pnlTitle->show();
    connect(btnAdd, &QPushButton::clicked, this, &TfrmClass::btnAddClick);
    resize(680, 480);
}

void TfrmClass::InitDialog()
{
    TBaseBatch::InitDialog();
    const SchoolCampuses campuses = schoolCampuses();
    if (campuses.hasSub) {
        setLookup(*cxGridList, "sArea", campuses.lookup());
        cxGridList->setColumnVisible(cxGridList->columnOfField(QStringLiteral("sArea")), true);
    }
    LoadData();
}

void TfrmClass::LoadData()
{
    pub::WaitIndicator wait(this);
    const QList<LookupItem> types = registryLookup(this, kCaption, QStringLiteral("ClassType"));
    setLookup(*cxGridList, "sType", types);
    cbClassType->clear();
    for (const LookupItem &type : types)
        cbClassType->addItem(type.text, type.key);
    if (cbClassType->count() > 0) cbClassType->setCurrentIndex(0);
    if (const CallResult r = loadTable(*cdsData, protocol::QClasses, {in(pub::schoolId()), var()}); !r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    acceptEmptyFields(*cdsData);
    markLoggedFields(*cdsData, *cxGridList);
}

void TfrmClass::SetReadOnly(bool readOnly)
{
    TBaseBatch::SetReadOnly(readOnly);
    edCount->setReadOnly(readOnly);
    cbClassType->setEnabled(!readOnly);
    btnAdd->setEnabled(!readOnly);
}

QString TfrmClass::namePattern()
{
    QSettings ini(pub::appPath() + QStringLiteral("Lumeko.ini"), QSettings::IniFormat);
    return ini.value(QStringLiteral("ExeConfig/ClassName"), QStringLiteral("(XX)班")).toString();
}

QString TfrmClass::classNameOf(const QString &pattern, const QString &code)
{
    qsizetype slot = pattern.indexOf(QStringLiteral("XX"), 0, Qt::CaseInsensitive);
    int digits = 2;
    if (slot < 0) {
        slot = pattern.indexOf(u'X', 0, Qt::CaseInsensitive);
        digits = 1;
    }
    if (slot < 0) return pattern;
    QString name = pattern;
    return name.replace(slot, digits, code.right(digits));
}

void TfrmClass::btnAddClick()
{
    if (!cdsData->isActive() || !isEditing()) return;
    cxGridList->postEdit();
    if (cdsData->state() != DataSetState::Browse) cdsData->post();
    const QString type = cbClassType->currentData().toString();
    const QString pattern = namePattern();
    int highest = 0;
    {
        FrozenControls frozen(*cdsData);
        for (cdsData->first(); !cdsData->eof(); cdsData->next())
            if (cdsData->value(u"sType").toString() == type) highest = std::max(highest, cdsData->value(u"ClassCode").toString().toInt());
        for (int n = 1; n <= edCount->value(); ++n) {
            const QString code = threeDigitCode(highest + n);
            cdsData->append();
            cdsData->setValue(u"ClassCode", code);
            cdsData->setValue(u"ClassName", classNameOf(pattern, code));
            cdsData->setValue(u"sType", type);
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            cdsData->post();
        }
    }
}

void TfrmClass::DeleteRecord()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    const QString code = cdsData->value(u"ClassCode").toString();
    if (!code.isEmpty()) {
        const std::optional<bool> used = codeInUse(this, kCaption, QStringLiteral("XJ_GradeClass"), QStringLiteral("ClassCode"), code);
        if (!used) return;
        if (*used) {
            pub::msgHint(QStringLiteral("此班级已经被关联使用了，不能删除！"), this);
            return;
        }
    }
    TBaseBatch::DeleteRecord();
}

bool TfrmClass::SaveData()
{
    if (!TBaseBatch::SaveData()) return false;
    if (!cdsData->isActive() || cdsData->changeCount() == 0) return true;
    {
        FrozenControls frozen(*cdsData);
        const Bookmark here = cdsData->bookmark();
        for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
            if (cdsData->updateStatus() != RowStatus::Inserted) continue;
            cdsData->edit();
            cdsData->setValue(u"SchoolCode", pub::schoolId());
            cdsData->post();
        }
        if (here >= 0) cdsData->gotoBookmark(here);
    }
    return sendOrganisationChanges(this, *cdsData, protocol::UpClass,
                                   {QStringLiteral("正在提交保存班级数据......"), QString(), QStringLiteral("班级定义: "), QStringLiteral("班级保存："), true});
}

} // namespace lumeko::achieve
