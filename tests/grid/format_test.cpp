#include "toolkit/grid/gridcolumn.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace lumeko;

TEST(SummaryFormat, LaysNumbersOutAsTheSchoolsReportsDo)
{
    // Literal text before the number places, thousands separators, fixed decimals.
    EXPECT_EQ(formatNumber(1234, QStringLiteral("人数=,0")), QStringLiteral("人数=1,234"));
    EXPECT_EQ(formatNumber(30, QStringLiteral("人数=,0")), QStringLiteral("人数=30"));
    EXPECT_EQ(formatNumber(80.456, QStringLiteral("平均=0.00")), QStringLiteral("平均=80.46"));
    EXPECT_EQ(formatNumber(80, QStringLiteral("平均=0.00")), QStringLiteral("平均=80.00"));
    EXPECT_EQ(formatNumber(1234567.891, QStringLiteral("#,##0.00")), QStringLiteral("1,234,567.89"));
    EXPECT_EQ(formatNumber(-1234567.891, QStringLiteral("#,##0.0")), QStringLiteral("-1,234,567.9"));
    // '#' places after the point drop trailing zeros; a leading '#' drops a lone zero.
    EXPECT_EQ(formatNumber(2.5, QStringLiteral("0.##")), QStringLiteral("2.5"));
    EXPECT_EQ(formatNumber(2, QStringLiteral("0.##")), QStringLiteral("2"));
    EXPECT_EQ(formatNumber(0.5, QStringLiteral("#.00")), QStringLiteral(".50"));
    EXPECT_EQ(formatNumber(7, QStringLiteral("000")), QStringLiteral("007"));
    // Text after the number, quoted text, and a section for negative numbers.
    EXPECT_EQ(formatNumber(30, QStringLiteral("0人")), QStringLiteral("30人"));
    EXPECT_EQ(formatNumber(30, QStringLiteral("'共'0'人'")), QStringLiteral("共30人"));
    EXPECT_EQ(formatNumber(-3.5, QStringLiteral("0.0;(0.0)")), QStringLiteral("(3.5)"));
    EXPECT_EQ(formatNumber(3.5, QStringLiteral("0.0;(0.0)")), QStringLiteral("3.5"));
    EXPECT_EQ(formatNumber(0, QStringLiteral("0.0;-0.0;零")), QStringLiteral("零"));
    // Rounding to zero shows no minus sign.
    EXPECT_EQ(formatNumber(-0.4, QStringLiteral("0")), QStringLiteral("0"));
    // No number places, or no format: the number as it is, after the text.
    EXPECT_EQ(formatNumber(12.5, QStringLiteral("合计")), QStringLiteral("合计12.5"));
    EXPECT_EQ(formatNumber(81.666666666, QString()), QStringLiteral("81.6667"));
    EXPECT_EQ(formatNumber(1e6, QString()), QStringLiteral("1000000"));
}

TEST(SummaryFormat, DatesAndTextsKeepTheFormatsText)
{
    EXPECT_EQ(formatSummary(QDate(2010, 1, 1), QStringLiteral("最早=")), QStringLiteral("最早=2010-01-01"));
    EXPECT_EQ(formatSummary(QStringLiteral("张三"), QStringLiteral("首位：")), QStringLiteral("首位：张三"));
    EXPECT_EQ(formatSummary(qint64(42), QStringLiteral("人数=,0")), QStringLiteral("人数=42"));
    EXPECT_EQ(formatSummary(88.25, QStringLiteral("0.0")), QStringLiteral("88.3"));
    EXPECT_EQ(formatSummary(QVariant(), QStringLiteral("平均=0.00")), QString());
}

TEST(ColumnDefinitionLetters, ChooseEditorsAndSummaries)
{
    EXPECT_EQ(editorKindOfType(QStringLiteral("N")), EditorKind::Integer);
    EXPECT_EQ(editorKindOfType(QStringLiteral("i")), EditorKind::Integer);
    EXPECT_EQ(editorKindOfType(QStringLiteral("F")), EditorKind::Float);
    EXPECT_EQ(editorKindOfType(QStringLiteral("D")), EditorKind::Date);
    EXPECT_EQ(editorKindOfType(QStringLiteral("B")), EditorKind::Boolean);
    EXPECT_EQ(editorKindOfType(QStringLiteral("R")), EditorKind::Lookup);
    EXPECT_EQ(editorKindOfType(QStringLiteral("C")), EditorKind::Lookup);
    EXPECT_EQ(editorKindOfType(QStringLiteral("S")), EditorKind::Text);
    EXPECT_EQ(editorKindOfType(QString()), EditorKind::Text);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("C")), SummaryKind::Count);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("S")), SummaryKind::Sum);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("a")), SummaryKind::Average);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("M")), SummaryKind::Max);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("N")), SummaryKind::Min);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("I")), SummaryKind::Min);
    EXPECT_EQ(summaryKindOfType(QStringLiteral("X")), SummaryKind::None);
    EXPECT_EQ(widthOfCharacters(10), 80);
}
