#include "toolkit/data/commatext.h"

#include <gtest/gtest.h>

using namespace lumeko;

TEST(CommaText, SplitsTheHostParameterString)
{
    EXPECT_EQ(splitCommaText(u"2012,0701,Y"), QStringList({"2012", "0701", "Y"}));
    // Quoted items keep blanks and commas; two quotes stand for one.
    EXPECT_EQ(splitCommaText(u"\"三 班, 实验\",x"), QStringList({QStringLiteral("三 班, 实验"), "x"}));
    EXPECT_EQ(splitCommaText(u"\"say \"\"hi\"\"\""), QStringList({"say \"hi\""}));
    EXPECT_EQ(splitCommaText(u"\"\",a"), QStringList({"", "a"}));
    // An unquoted blank splits an item in two.
    EXPECT_EQ(splitCommaText(u"a b,c"), QStringList({"a", "b", "c"}));
    // Leading and trailing blanks and control characters of the whole text are dropped.
    EXPECT_EQ(splitCommaText(u" \t 2012,0701 \r\n"), QStringList({"2012", "0701"}));
    // A comma at the very end gives one last, empty item; inner empty items stay.
    EXPECT_EQ(splitCommaText(u"a,"), QStringList({"a", ""}));
    EXPECT_EQ(splitCommaText(u"a,,b"), QStringList({"a", "", "b"}));
    EXPECT_EQ(splitCommaText(u",a"), QStringList({"", "a"}));
    EXPECT_EQ(splitCommaText(u"a , b"), QStringList({"a", "b"}));
    EXPECT_EQ(splitCommaText(u"a,  ,b"), QStringList({"a", "", "b"}));
    // Text after a closing quote starts a new item, and an unclosed quote runs to the end.
    EXPECT_EQ(splitCommaText(u"\"ab\"cd,e"), QStringList({"ab", "cd", "e"}));
    EXPECT_EQ(splitCommaText(u"\"ab,cd"), QStringList({"ab,cd"}));
    EXPECT_EQ(splitCommaText(u""), QStringList());
    EXPECT_EQ(splitCommaText(u"   "), QStringList());
    EXPECT_EQ(splitCommaText(u","), QStringList({"", ""}));
    // Control characters end an unquoted item like a blank does.
    EXPECT_EQ(splitCommaText(u"a\tb"), QStringList({"a", "b"}));
    EXPECT_EQ(trimControl(u"\x01 张三 \x1f"), QStringLiteral("张三"));
}

TEST(CommaText, JoiningQuotesWhatSplittingWouldBreak)
{
    const QStringList items{"2012", QStringLiteral("高三 理科"), "a,b", "say \"x\"", "", "end"};
    const QString text = joinCommaText(items);
    EXPECT_EQ(splitCommaText(text), items);
    EXPECT_EQ(joinCommaText({"a", "b"}), QStringLiteral("a,b"));
    EXPECT_EQ(splitCommaText(joinCommaText({"a", ""})), QStringList({"a", ""}));
    EXPECT_EQ(splitCommaText(joinCommaText({""})), QStringList({""}));
    EXPECT_EQ(splitCommaText(joinCommaText({"", ""})), QStringList({"", ""}));
}
