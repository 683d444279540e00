// TBaseBatch driven through its actions: rights by user type and "Manager", Esc in browsing and
// in editing, the save question, and a failed save keeping the dialog in editing.

#include "framework/ubasebatch.h"

#include "fixtureschool.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QTest>

#include "shots.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class TDeptDialog : public TBaseBatch {
public:
    TDeptDialog()
    {
        Tag = 4004;
        wire::DataPacket p({{"sCode", wire::FieldType::Text, 0, 0}, {"sName", wire::FieldType::Text, 0, 0}});
        p.appendRow({"001", QStringLiteral("语文组")});
        cdsData->setData(p);
        GridColumn code, name;
        code.field = "sCode";
        code.caption = QStringLiteral("编号");
        name.field = "sName";
        name.caption = QStringLiteral("名称");
        cxGridList->setColumns({code, name});
    }
    bool SaveData() override
    {
        TBaseBatch::SaveData();
        return saveResult;
    }
    bool saveResult = true;
};

class BaseBatchTest : public pub::testing::SignedInHost {
protected:
};

TEST_F(BaseBatchTest, EditingNeedsManagerUnlessTheUserIsUnrestricted)
{
    signInAs("wang", "pw6");
    TDeptDialog d;
    d.InitDialog();
    EXPECT_FALSE(d.acEdit->isEnabled());
    d.setEditState(2);
    EXPECT_FALSE(d.acInsert->isEnabled());
    EXPECT_FALSE(d.acDelete->isEnabled());
    EXPECT_TRUE(d.acSave->isEnabled()) << "untagged actions follow the edit state only";
    EXPECT_EQ(d.sbStatus->text(), QStringLiteral("编辑数据"));

    // A grant of Manager for departments makes the difference.
    fx.db().exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '400401')", {server::testing::kTeacherCode});
    pub::signOut();
    signInAs("wang", "pw6");
    TDeptDialog granted;
    granted.InitDialog();
    EXPECT_TRUE(granted.acEdit->isEnabled());

    pub::signOut();
    signInAs("admin", "lumeko");
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's page colour, for the picture
    TDeptDialog admin;
    admin.InitDialog();
    EXPECT_TRUE(admin.acEdit->isEnabled());
    EXPECT_EQ(admin.sbStatus->text(), QStringLiteral("浏览数据"));
    admin.setEditState(2);
    EXPECT_TRUE(admin.acInsert->isEnabled() && admin.acDelete->isEnabled());
    admin.cxGridList->bestFit();
    pub::testing::saveShot(admin, "batch-dialog");
}

TEST_F(BaseBatchTest, EscapeClosesABrowsingDialogAndAsksAnEditingOne)
{
    signInAs("admin", "lumeko");
    TDeptDialog d;
    d.InitDialog();
    d.show();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible()) << "browsing: closed without a question";
    EXPECT_TRUE(host.messages.isEmpty());

    d.show();
    d.acEdit->trigger();
    d.acInsert->trigger();
    d.cdsData->setValue(u"sCode", "002");
    d.cdsData->setValue(u"sName", QStringLiteral("数学组"));
    host.answer(pub::AnswerCancel, QStringLiteral("您要保存修改的数据吗"));
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible()) << "cancelling the question keeps the dialog in editing";
    EXPECT_EQ(d.EditState, 2);

    d.saveResult = false;
    d.acSave->trigger();
    EXPECT_EQ(d.EditState, 2) << "a failed save leaves the changes pending";
    EXPECT_GT(d.cdsData->changeCount(), 0);
    d.saveResult = true;
    d.acSave->trigger();
    EXPECT_EQ(d.EditState, 0);
    EXPECT_EQ(d.cdsData->changeCount(), 0);
    EXPECT_EQ(d.cdsData->recordCount(), 2);
    EXPECT_TRUE(host.scriptDone());
}

} // namespace
