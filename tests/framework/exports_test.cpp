// The module's own exports: its title, the page actions of the signed-in user, closing pages.

#include "framework/lumekoachieve.h"

#include "fixtureschool.h"
#include "host/pub/lumekopub.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"

#include <gtest/gtest.h>

using namespace lumeko;

namespace {

// What an export stored into a wide-string slot.
QString slotText(uint16_t *text)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), LumekoWideStringLength(text));
}

class ExportsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        pub::signOut();
        LumekoFreeWideString(slot);
    }
    void signInAs(const char *login, const char *password)
    {
        QString error;
        ASSERT_TRUE(pub::signIn(link, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
    }

    pub::testing::ScriptedProvider host;
    server::testing::ServiceFixture fx{server::Backend::Sqlite};
    server::LocalLink link{fx.service()};
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
