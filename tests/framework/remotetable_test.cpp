// The page data layer over the fixture school's server: tables loaded through query declarations
// and saved through update declarations with one result, the failure routine, the guards, and a
// page written on it the way the next subsystems' pages will be.

#include "fixtureschool.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/ubasepage.h"
#include "host/pub/pub.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace lumeko::achieve {

// ---- A page on the data layer: the departments of the school, loaded, edited and saved ----------
// (everything a page of one table needs; the rest comes from TBasePage)
class TfrmDeptSkeleton : public TBasePage {
public:
    explicit TfrmDeptSkeleton(QWidget *parent = nullptr) : TBasePage(parent)
    {
        Tag = 4004;
        FieldsTable = QStringLiteral("XJ_Dept");
        setWindowTitle(QStringLiteral("部门"));
    }

    void InitPage() override
    {
        if (const CallResult r = loadFieldDefinitions(); !r.ok()) reportFailure(this, windowTitle(), r, Failure::Read);
        LoadData();
        TBasePage::InitPage();
    }

    void LoadData() override
    {
        TBasePage::LoadData();
        if (const CallResult r = loadTable(*cdsData, protocol::QDept, {in(pub::schoolId()), var()}); !r.ok())
            reportFailure(this, windowTitle(), r, Failure::Read);
    }

    void InsertRecord() override
    {
        TBasePage::InsertRecord();
        cdsData->setValue(u"SchoolCode", pub::schoolId());
    }

    bool SaveData() override
    {
        if (!TBasePage::SaveData()) return false;
        const CallResult r = saveTable(*cdsData, protocol::UpDept);
        if (!r.ok()) reportFailure(this, windowTitle(), r, Failure::Save);
        return r.ok();
    }
};

} // namespace lumeko::achieve

namespace {

class RemoteTableTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        server::Database &db = fx.db();
        const QString fld = "INSERT INTO \"XT_Fields\" (\"sTable\", \"sFldName\", \"iOrder\", \"sFldCaption\", \"bShowed\", \"nWidth\", \"sFieldType\") "
                            "VALUES ('XJ_Dept', ?, ?, ?, true, 8, 'S')";
        db.exec(fld, {"sCode", 1, QStringLiteral("编号")});
        db.exec(fld, {"sName", 2, QStringLiteral("部门")});
        db.exec(fld, {"sMemo", 3, QStringLiteral("备注")});
        db.exec("INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', '001', ?)", {QStringLiteral("教务处")});
    }
    QStringList departments()
    {
        const auto rows =
            fx.db().select("SELECT \"sName\" FROM \"XJ_Dept\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"sCode\"", {}, {{"sName", wire::FieldType::Text, 0, 0}});
        QStringList out;
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, 0).toString();
        return out;
    }
};

TEST_F(RemoteTableTest, TablesLoadAndSaveThroughTheirDeclarationsWithOneResult)
{
    signInAs("admin", "lumeko");
    DataSet depts;
    CallResult r = loadTable(depts, protocol::QDept, {in(QStringLiteral("S1")), var()});
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(depts.recordCount(), 1) << "the packet of the written-back data slot";
    DataSet photos;
    EXPECT_TRUE(loadTable(photos, protocol::QStudentImage,
                          {in(QStringLiteral("S1")), in(QStringLiteral("1701")), in(QString()), in(QStringLiteral("Y")), in(QString()), var(qint64(2026))})
                    .ok())
        << "a packet that comes as the result";
    EXPECT_TRUE(photos.isActive());

    // Changes are sent and accepted; nothing to send is done at once.
    depts.append();
    depts.setValue(u"SchoolCode", QStringLiteral("S1"));
    depts.setValue(u"sCode", QStringLiteral("002"));
    depts.setValue(u"sName", QStringLiteral("总务处"));
    depts.post();
    r = saveTable(depts, protocol::UpDept);
    EXPECT_EQ(r.outcome, CallResult::Done) << r.message.toStdString();
    EXPECT_EQ(depts.changeCount(), 0);
    EXPECT_TRUE(saveTable(depts, protocol::UpDept).ok());
    EXPECT_EQ(departments(), (QStringList{QStringLiteral("教务处"), QStringLiteral("总务处")}));

    // A row the server refuses: the count comes back and the changes stay pending.
    fx.db().exec("UPDATE \"XJ_Dept\" SET \"sName\" = ? WHERE \"sCode\" = '002'", {QStringLiteral("后勤处")});
    depts.last();
    depts.edit();
    depts.setValue(u"sName", QStringLiteral("总务室"));
    depts.post();
    r = saveTable(depts, protocol::UpDept);
    EXPECT_EQ(r.outcome, CallResult::Refused);
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(depts.changeCount(), 1);
    EXPECT_EQ(failureText(Failure::Save, r), QStringLiteral("更新失败！"));

    // No answer to act on: a call the server refuses, or no session.
    const qint64 before = depts.recordCount();
    r = loadTable(depts, protocol::QDept, {in(QStringLiteral("S2")), var()});
    EXPECT_EQ(r.outcome, CallResult::Failed);
    EXPECT_TRUE(r.message.contains("school")) << r.message.toStdString();
    EXPECT_EQ(depts.recordCount(), before) << "a failed load keeps what the table held";
    r = loadTable(depts, protocol::UpDept, {});
    EXPECT_EQ(r.outcome, CallResult::Failed) << "arguments that do not fit the declaration are not sent";
    EXPECT_TRUE(r.message.contains("UpDept takes 3 arguments"));
    pub::signOut();
    r = saveTable(depts, protocol::UpDept);
    EXPECT_EQ(r.outcome, CallResult::Failed);
    EXPECT_EQ(depts.changeCount(), 1);
    EXPECT_EQ(failureText(Failure::Save, r), QStringLiteral("服务器连接失败！"));

    reportFailure(nullptr, QStringLiteral("部门"), r, Failure::Read);
    ASSERT_EQ(host.logLines.size(), 1);
    EXPECT_TRUE(host.logLines[0].startsWith(QStringLiteral("部门: "))) << host.logLines[0].toStdString();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！")});
    EXPECT_EQ(host.messages[0].kind, pub::MessageKind::Error);
}

TEST_F(RemoteTableTest, GuardsPutTheTableBackAndLookupsKeepItsPlace)
{
    DataSet t;
    wire::DataPacket rows({{"sKeyId", wire::FieldType::Text, 0, 0}, {"sValue", wire::FieldType::Text, 0, 0}, {"Selected", wire::FieldType::Boolean, 0, 0}});
    rows.appendRow({"00", QStringLiteral("在读"), true});
    rows.appendRow({"01", QStringLiteral("休学"), false});
    rows.appendRow({"02", QStringLiteral("转出"), true});
    t.setData(rows);
    t.setFilter(QStringLiteral("sKeyId<>'01'"));
    t.setFiltered(false);
    {
        FilterScope marked(t, QStringLiteral("Selected=True"));
        EXPECT_EQ(t.recordCount(), 2);
        {
            FilterScope all(t, QString());
            EXPECT_EQ(t.recordCount(), 3);
        }
        EXPECT_EQ(t.recordCount(), 2) << "scopes nest";
    }
    EXPECT_EQ(t.filter(), QStringLiteral("sKeyId<>'01'"));
    EXPECT_FALSE(t.filtered()) << "the filter was off and is off again";

    t.moveTo(1);
    const QList<LookupItem> items = lookupItems(t, u"sKeyId", u"sValue");
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[2].key, QVariant(QStringLiteral("02")));
    EXPECT_EQ(items[2].text, QStringLiteral("转出"));
    EXPECT_EQ(t.value(u"sKeyId").toString(), "01") << "the current row stays";
    DataSet closed;
    EXPECT_TRUE(lookupItems(closed, u"a", u"b").isEmpty());
}

TEST_F(RemoteTableTest, APageOfOneTableLoadsEditsAndSavesOnTheDataLayer)
{
    signInAs("admin", "lumeko");
    TfrmDeptSkeleton page;
    page.InitPage();
    EXPECT_EQ(page.GridData->dataRowCount(), 1);
    EXPECT_EQ(page.cdsFields->recordCount(), 3) << "the base page loaded the column definitions";
    page.acEdit->trigger();
    page.acInsert->trigger();
    page.cdsData->setValue(u"sCode", QStringLiteral("003"));
    page.cdsData->setValue(u"sName", QStringLiteral("德育处"));
    page.cdsData->post();
    EXPECT_TRUE(page.SaveData());
    EXPECT_EQ(departments(), (QStringList{QStringLiteral("教务处"), QStringLiteral("德育处")}));
    EXPECT_TRUE(host.logLines.isEmpty());
}

} // namespace
