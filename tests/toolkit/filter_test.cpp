#include "tables.h"

#include <gtest/gtest.h>

using namespace lumeko;
using lumeko::testing::codes;
using lumeko::testing::studentPacket;

namespace {
QStringList filtered(const QString &expr, bool caseInsensitive = false)
{
    DataSet t;
    t.setData(studentPacket());
    t.setFilterCaseInsensitive(caseInsensitive);
    t.setFilter(expr);
    t.setFiltered(true);
    return codes(t);
}

int errorPosition(const QString &expr)
{
    try {
        filtered(expr);
    } catch (const FilterError &e) {
        return e.position();
    }
    return -100;
}
} // namespace

TEST(Filter, ComparisonOperatorsOnEveryType)
{
    EXPECT_EQ(filtered("Selected=True"), QStringList({"{02}", "{04}"}));
    EXPECT_EQ(filtered("Selected"), QStringList({"{02}", "{04}"}));
    EXPECT_EQ(filtered("Selected=False"), QStringList({"{01}", "{03}", "{05}"}));
    EXPECT_EQ(filtered("iClassNo=2"), QStringList({"{03}", "{04}"}));
    EXPECT_EQ(filtered("iClassNo<>2"), QStringList({"{01}", "{02}", "{05}"}));
    EXPECT_EQ(filtered("iClassNo != 2"), QStringList({"{01}", "{02}", "{05}"}));
    EXPECT_EQ(filtered("iClassNo<2"), QStringList({"{02}", "{05}"}));
    EXPECT_EQ(filtered("iClassNo<=2"), QStringList({"{02}", "{03}", "{04}", "{05}"}));
    EXPECT_EQ(filtered("iClassNo>2"), QStringList({"{01}"}));
    EXPECT_EQ(filtered("iClassNo>=3"), QStringList({"{01}"}));
    EXPECT_EQ(filtered("iClassNo='2'"), QStringList({"{03}", "{04}"})); // quoted number for an integer field
    EXPECT_EQ(filtered("iClassNo < 1.5"), QStringList({"{02}", "{05}"}));
    EXPECT_EQ(filtered("Score >= 88.5"), QStringList({"{01}", "{02}"}));
    EXPECT_EQ(filtered("Score < 61"), QStringList({"{04}"}));  // the null score is not below 61
    EXPECT_EQ(filtered("dBirthday < '2000-01-01'"), QStringList({"{04}"}));
    EXPECT_EQ(filtered("dBirthday >= '2000-03-03' and dBirthday <= '2000-05-01'"), QStringList({"{01}", "{05}"}));
    EXPECT_EQ(filtered("3 > iClassNo"), QStringList({"{02}", "{03}", "{04}", "{05}"})); // literal on the left
    EXPECT_EQ(filtered("1=1"), QStringList({"{01}", "{02}", "{03}", "{04}", "{05}"}));
    EXPECT_EQ(filtered("1=0"), QStringList());
}

TEST(Filter, ChineseTextLikeNullAndLists)
{
    EXPECT_EQ(filtered("sName='张三'"), QStringList({"{01}", "{05}"}));
    EXPECT_EQ(filtered("sName='张三' and iClassNo=1"), QStringList({"{05}"}));
    EXPECT_EQ(filtered("sName like '张%'"), QStringList({"{01}", "{05}"}));
    EXPECT_EQ(filtered("sName like '%五'"), QStringList({"{03}"}));
    EXPECT_EQ(filtered("sName like '_四'"), QStringList({"{02}"}));
    EXPECT_EQ(filtered("sName not like '张%'"), QStringList({"{02}", "{03}", "{04}"}));
    EXPECT_EQ(filtered("ClassCode like '07%' and Selected=True"), QStringList({"{02}", "{04}"}));
    EXPECT_EQ(filtered("Score is null"), QStringList({"{03}"}));
    EXPECT_EQ(filtered("Score is not null and dBirthday is null"), QStringList());
    EXPECT_EQ(filtered("ClassCode in ('0702', '0799')"), QStringList({"{02}", "{04}"}));
    EXPECT_EQ(filtered("iClassNo not in (1, 2)"), QStringList({"{01}"}));
    EXPECT_EQ(filtered("sCode='{01}' or sCode='{04}'"), QStringList({"{01}", "{04}"}));
    EXPECT_EQ(filtered("not (sCode='{01}' or sCode='{04}')"), QStringList({"{02}", "{03}", "{05}"}));
    EXPECT_EQ(filtered("not Score > 80"), QStringList({"{03}", "{04}", "{05}"})); // null counts as not above
    EXPECT_EQ(filtered("SNAME='张三' AND ICLASSNO=3"), QStringList({"{01}"})); // names and keywords in any case
    EXPECT_EQ(filtered("[sName]='李四'"), QStringList({"{02}"}));
    EXPECT_EQ(filtered("ClassCode = '0701' and (iClassNo = 1 or iClassNo = 3)"), QStringList({"{01}", "{05}"}));
    // or binds weaker than and
    EXPECT_EQ(filtered("iClassNo=3 or iClassNo=1 and ClassCode='0702'"), QStringList({"{01}", "{02}"}));
}

TEST(Filter, QuotesCaseAndLikeMatching)
{
    DataSet t;
    wire::DataPacket p({{QStringLiteral("sTitle"), FieldType::Text, 0, 0}});
    p.appendRow({QStringLiteral("O'Neil")});
    p.appendRow({QStringLiteral("o'neil")});
    p.appendRow({QStringLiteral("父亲")});
    t.setData(p);
    t.setFilter(QStringLiteral("sTitle='O''Neil'"));
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 1);
    t.setFilterCaseInsensitive(true);
    EXPECT_EQ(t.recordCount(), 2);
    t.setFilter(QStringLiteral("sTitle='父亲'"));
    EXPECT_EQ(t.recordCount(), 1);

    EXPECT_TRUE(likeMatch(u"高三理科", u"高%科"));
    EXPECT_TRUE(likeMatch(u"abc", u"%%c"));
    EXPECT_TRUE(likeMatch(u"", u"%"));
    EXPECT_FALSE(likeMatch(u"", u"_"));
    EXPECT_FALSE(likeMatch(u"abcd", u"a%c"));
    EXPECT_TRUE(likeMatch(u"aXbXc", u"a%b%c"));
    EXPECT_TRUE(likeMatch(u"mississippi", u"%iss%ppi"));
    EXPECT_FALSE(likeMatch(u"ABC", u"abc"));
    EXPECT_TRUE(likeMatch(u"ABC", u"a_c", Qt::CaseInsensitive));
}

TEST(Filter, BadExpressionsAreErrorsAtTheirPositionAndChangeNothing)
{
    EXPECT_EQ(errorPosition("sName='张三"), 6);          // unterminated text
    EXPECT_EQ(errorPosition("nosuch=1"), 0);             // unknown field
    EXPECT_EQ(errorPosition("iClassNo='三'"), 9);        // not an integer
    EXPECT_EQ(errorPosition("iClassNo=1 and"), 14);      // nothing after and
    EXPECT_EQ(errorPosition("(iClassNo=1"), 11);         // unclosed parenthesis
    EXPECT_EQ(errorPosition("iClassNo=1)"), 10);         // stray parenthesis
    EXPECT_EQ(errorPosition("iClassNo # 1"), 9);         // unknown operator
    EXPECT_EQ(errorPosition("iClassNo like '1%'"), 9);   // like on a number
    EXPECT_EQ(errorPosition("sName"), 5);                // a text field alone is no condition
    EXPECT_EQ(errorPosition("sName=True"), 6);
    EXPECT_EQ(errorPosition("Score is 1"), 9);
    EXPECT_EQ(errorPosition("and"), 0);
    EXPECT_EQ(errorPosition("[sName='x'"), 0);

    // A bad expression leaves the filter that was in force.
    DataSet t;
    t.setData(studentPacket());
    t.setFilter(QStringLiteral("Selected=True"));
    t.setFiltered(true);
    EXPECT_THROW(t.setFilter(QStringLiteral("Selected=")), FilterError);
    EXPECT_EQ(t.filter(), QStringLiteral("Selected=True"));
    EXPECT_EQ(codes(t), QStringList({"{02}", "{04}"}));
    // An empty expression removes the filter.
    t.setFilter(QString());
    EXPECT_EQ(t.recordCount(), 5);
}

TEST(Filter, PostedRowsEnterAndLeaveTheFilteredView)
{
    DataSet t;
    t.setData(studentPacket());
    t.setFilter(QStringLiteral("Selected=True"));
    t.setFiltered(true);
    t.first();
    t.edit();
    t.setValue(u"Selected", false);
    t.post();
    EXPECT_EQ(codes(t), QStringList({"{04}"}));
    EXPECT_EQ(t.value(u"sCode").toString(), QStringLiteral("{04}"));
    t.append();
    t.setValue(u"sCode", "{20}");
    t.setValue(u"sName", QStringLiteral("新"));
    t.setValue(u"Selected", true);
    t.post();
    EXPECT_EQ(codes(t), QStringList({"{04}", "{20}"}));
    t.setFiltered(false);
    EXPECT_EQ(t.recordCount(), 6);
    // Reloading with a filter on a field the new data lack loads everything and says so.
    t.setFilter(QStringLiteral("sCode='{20}'"));
    t.setFiltered(true);
    wire::DataPacket other({{QStringLiteral("sID"), FieldType::Text, 0, 0}});
    other.appendRow({"x"});
    EXPECT_THROW(t.setData(other), DataError);
    EXPECT_EQ(t.recordCount(), 1);
    EXPECT_FALSE(t.filtered());
}

TEST(Filter, HostileExpressionsAreBoundedNotRecursedWithoutLimit)
{
    const QList<wire::FieldDef> fields{{QStringLiteral("n"), FieldType::Integer, 0, 0}};
    EXPECT_NO_THROW(FilterExpr::parse(QString(60, u'(') + QStringLiteral("n=1") + QString(60, u')'), fields));
    EXPECT_THROW(FilterExpr::parse(QString(100000, u'(') + QStringLiteral("n=1") + QString(100000, u')'), fields), FilterError);
    QString notNot;
    for (int i = 0; i < 100000; ++i) notNot += QStringLiteral("not ");
    EXPECT_THROW(FilterExpr::parse(notNot + QStringLiteral("n=1"), fields), FilterError);
    QStringList terms;
    for (int i = 0; i < 100000; ++i) terms.append(QStringLiteral("n=%1").arg(i));
    EXPECT_THROW(FilterExpr::parse(terms.join(u" or "), fields), FilterError);
    EXPECT_NO_THROW(FilterExpr::parse(terms.mid(0, 400).join(u" or "), fields));
}
