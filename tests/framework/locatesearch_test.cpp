// The find dialog's search: initials, whole text or anywhere, and when it starts again at the top.

#include "framework/locatesearch.h"

#include "toolkit/data/dataset.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using Result = LocateSearch::Result;

namespace {

class LocateSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wire::DataPacket p({{"sName", wire::FieldType::Text, 0, 0}, {"sNO", wire::FieldType::Text, 0, 0}});
        for (const char *name : {"李明", "张三", "Wang Li", "张四"}) p.appendRow({QString::fromUtf8(name), "X"});
        t.setData(p);
        search.setTable(&t);
        search.setInitials(PinyinTable::fromText(QStringLiteral("l\n李\nm\n明\ns\n三四\nz\n张\n")));
        t.moveTo(2);
    }
    QString current() { return t.value(u"sName").toString(); }

    DataSet t;
    LocateSearch search;
};

TEST_F(LocateSearchTest, InitialsFindEachMatchInTurnThenSayNoMoreThenStartOver)
{
    EXPECT_EQ(search.find("sName", " ZS ", true, false), Result::Found);
    EXPECT_EQ(current(), QStringLiteral("张三"));
    EXPECT_EQ(search.find("sName", "zs", true, false), Result::Found);
    EXPECT_EQ(current(), QStringLiteral("张四"));
    EXPECT_EQ(search.find("sName", "zs", true, false), Result::NoMore);
    EXPECT_EQ(current(), QStringLiteral("张四")) << "the row stays where the last match was";
    EXPECT_EQ(search.find("sName", "zs", true, false), Result::Found);
    EXPECT_EQ(current(), QStringLiteral("张三")) << "after nothing more, the next search starts at the top";

    // Latin letters have no initials: "wl" never matches "Wang Li".
    search.restart();
    EXPECT_EQ(search.find("sName", "wl", true, false), Result::NotFound);
    EXPECT_EQ(current(), QStringLiteral("张三"));
}

TEST_F(LocateSearchTest, WholeTextAndAnywhereAndAChangedOptionStartingAgain)
{
    EXPECT_EQ(search.find("sName", QStringLiteral("张"), false, true), Result::NotFound) << "whole text only";
    EXPECT_EQ(search.find("sName", QStringLiteral("张"), false, false), Result::Found);
    EXPECT_EQ(current(), QStringLiteral("张三"));
    EXPECT_EQ(search.find("sName", "Li", false, false), Result::Found);
    EXPECT_EQ(current(), "Wang Li");
    search.restart(); // the user ticked another option
    EXPECT_EQ(search.find("sName", QStringLiteral("李明"), false, true), Result::Found);
    EXPECT_EQ(current(), QStringLiteral("李明"));
    EXPECT_EQ(search.find("sNoSuchField", "x", false, false), Result::NoMore) << "a field the table lacks finds nothing";
    EXPECT_EQ(current(), QStringLiteral("李明"));
}

} // namespace
