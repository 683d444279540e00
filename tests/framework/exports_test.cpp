// The module's own exports: its title, the page actions of the signed-in user, closing pages.

#include "framework/lumekoachieve.h"

#include "fixtureschool.h"
#include "server/storage/schema.h"
#include "toolkit/data/dataset.h"
#include "host/pub/lumekopub.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"
#include "signedinhost.h"

#include <gtest/gtest.h>

using namespace lumeko;

namespace {

// What an export stored into a wide-string slot.
QString slotText(uint16_t *text)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), LumekoWideStringLength(text));
}

class ExportsTest : public pub::testing::SignedInHost {
protected:
    void TearDown() override
    {
        SignedInHost::TearDown();
        LumekoFreeWideString(slot);
    }

    uint16_t *slot = nullptr;
};

TEST_F(ExportsTest, TheTitleAndTheActionsOfTheSignedInUserGoIntoTheHostsSlot)
{
    GetDLLTitle(&slot);
    EXPECT_EQ(slotText(slot), QStringLiteral("更多"));
    GetDLLActions(&slot);
    EXPECT_EQ(slotText(slot), QString()) << "nobody signed in: no actions";

    signInAs("admin", "lumeko");
    GetDLLActions(&slot);
    EXPECT_EQ(slotText(slot), QStringLiteral(";学籍档案;4009;;,;教师档案;4010;;,;部门设置;4004;;"))
        << "every page under function 40, in tree order; the old string was freed, the new one stored";

    pub::signOut();
    signInAs("wang", "pw6");
    GetDLLActions(&slot);
    EXPECT_EQ(slotText(slot), QStringLiteral(";学籍档案;4009;;")) << "only what the teacher's role grants";

    // A user whose grants hold nothing under 40 gets an empty list.
    fx.db().exec("DELETE FROM \"XT_RoleRight\" WHERE \"sFunId\" = '4009'");
    pub::signOut();
    signInAs("wang", "pw6");
    GetDLLActions(&slot);
    EXPECT_EQ(slotText(slot), QString());
}

TEST_F(ExportsTest, ClosingABadHandleAnswersFalseAndTouchesNothing)
{
    EXPECT_EQ(ClosePage(0), 0);
    EXPECT_EQ(ClosePage(-5), 0);
    EXPECT_EQ(ClosePage(123456), 0);
    ClearAllRes(); // nothing open: nothing happens
}

} // namespace

#include "framework/sharedroutines.h"

namespace {

TEST_F(ExportsTest, TheOperationLogGoesToTheServerInPiecesAndFailuresOnlyToTheHostLog)
{
    signInAs("wang", "pw6");
    achieve::WriteOperationLog(QString(99, u'a'));
    achieve::WriteOperationLog(QStringLiteral("保存学籍档案"));
    const auto rows = fx.db().select("SELECT \"SchoolCode\", \"sUserId\", \"sUserName\", \"sComputer\", \"sText\" FROM \"XT_Log\" ORDER BY \"nId\"", {},
                                     {{"a", wire::FieldType::Text, 0, 0}, {"b", wire::FieldType::Text, 0, 0}, {"c", wire::FieldType::Text, 0, 0},
                                      {"d", wire::FieldType::Text, 0, 0}, {"e", wire::FieldType::Text, 0, 0}});
    ASSERT_EQ(rows.rowCount(), 3);
    EXPECT_EQ(rows.value(0, 4).toString(), "(1)" + QString(94, u'a'));
    EXPECT_EQ(rows.value(1, 4).toString(), "(2)" + QString(5, u'a'));
    EXPECT_EQ(rows.value(2, 4).toString(), QStringLiteral("保存学籍档案"));
    EXPECT_EQ(rows.value(2, 0).toString(), "S1");
    EXPECT_EQ(rows.value(2, 1).toString(), "wang");
    EXPECT_EQ(rows.value(2, 2).toString(), QStringLiteral("王老师"));
    EXPECT_EQ(rows.value(2, 3).toString(), QStringLiteral("TEST-PC"));
    EXPECT_TRUE(host.logLines.isEmpty());

    pub::signOut(); // the server refuses now: the failure goes to the host's log, quietly
    achieve::WriteOperationLog(QStringLiteral("保存"));
    ASSERT_EQ(host.logLines.size(), 1);
    EXPECT_TRUE(host.logLines[0].startsWith(QStringLiteral("更新日志失败，错误:")));
}

TEST_F(ExportsTest, SchoolFlagsAndOutgoingMessageRows)
{
    signInAs("wang", "pw6");
    EXPECT_TRUE(achieve::SchoolHasSub());
    EXPECT_TRUE(achieve::SchoolHasSubTree());
    EXPECT_FALSE(achieve::SchoolAutoPublish()) << "an empty flag reads false";

    DataSet outbox;
    outbox.createTable(server::schemaTable(u"XT_SendMsg").fieldDefs());
    achieve::AppendMessageRow(outbox, "20261206 080000", QStringLiteral("张三"), "001", "1701", false,
                              QDateTime(QDate(2026, 12, 7), QTime(7, 30)), "13800000009", QStringLiteral("张三同学期中考试语文98分"));
    outbox.first();
    EXPECT_EQ(outbox.value(u"smFlag").toInt(), 7) << "a message for later";
    EXPECT_EQ(outbox.value(u"sDate").toDateTime(), QDateTime(QDate(2026, 12, 7), QTime(7, 30)));
    EXPECT_EQ(outbox.value(u"source_mobile").toString(), "13800000009");
    EXPECT_EQ(outbox.value(u"GDDBID").toString(), "S1");
    EXPECT_EQ(outbox.value(u"TeacherId").toString(), server::testing::kTeacherCode);
    EXPECT_EQ(outbox.value(u"FeeType").toInt(), 1);
    EXPECT_EQ(outbox.changeCount(), 1);
}

} // namespace
