// Tables that come from spreadsheets: the clipboard text a spreadsheet copies, and .xlsx/.xls files.

#include "toolkit/sheet/pastedtable.h"
#include "toolkit/sheet/sheetfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <xlsxwriter.h>

using namespace lumeko;

namespace {

using Rows = QList<QStringList>;

TEST(PastedTable, LinesEndAtCrLfAndLoneBreaksStayInTheirCell)
{
    EXPECT_EQ(splitPastedTable(u"a\tb\r\nc\td\r\n", u'\t'), (Rows{{"a", "b"}, {"c", "d"}}));
    EXPECT_EQ(splitPastedTable(u"地址\t北京\n朝阳\r\n", u'\t'), (Rows{{QStringLiteral("地址"), QStringLiteral("北京朝阳")}}))
        << "a line break inside a cell is dropped and the cell goes on";
    EXPECT_EQ(splitPastedTable(u"a\r\nno line end", u'\t'), (Rows{{"a"}})) << "text after the last line end is not taken";
    EXPECT_TRUE(splitPastedTable(u"no line end at all", u'\t').isEmpty());
    EXPECT_TRUE(splitPastedTable(u"", u'\t').isEmpty());
    EXPECT_EQ(splitPastedTable(u"x\r\r\n", u'\t'), (Rows{{"x"}})) << "a lone carriage return before the line end is dropped";
}

TEST(PastedTable, CellsKeepInnerSpacesEmptyCellsAndQuotedText)
{
    EXPECT_EQ(splitPastedLine(u"  张 三\t\t5\t", u'\t'), (QStringList{QStringLiteral("张 三"), "", "5", ""}))
        << "leading blanks go, inner spaces stay, two TABs are an empty cell, a trailing TAB one more";
    EXPECT_EQ(splitPastedLine(u"\"say \"\"hi\"\"\"\tb", u'\t'), (QStringList{"say \"hi\"", "b"}));
    EXPECT_EQ(splitPastedLine(u"\"ab\"cd\te", u'\t'), (QStringList{"abcd", "e"})) << "text after the closing quote stays in the cell";
    EXPECT_EQ(splitPastedLine(u"\"open", u'\t'), (QStringList{"open"})) << "an unclosed quote runs to the line end";
    EXPECT_EQ(splitPastedLine(u"a, b ,\"c,d\"", u','), (QStringList{"a", "b ", "c,d"}));
    EXPECT_EQ(splitPastedLine(u"\t\t", u'\t'), (QStringList{"", "", ""}));
    EXPECT_EQ(splitPastedLine(QStringView(u"a\u0001b\0c", 6), u'\t'), (QStringList{"a", "b", "c"})) << "control characters end a cell";
    EXPECT_TRUE(splitPastedLine(u"   ", u'\t').isEmpty());
}

class SheetFileTest : public ::testing::Test {
protected:
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(SheetFileTest, AnXlsxWorkbookReadsAsTheUserSeesIt)
{
    const QByteArray file = path("名单.xlsx").toUtf8();
    lxw_workbook *wb = workbook_new(file.constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "学生");
    workbook_add_worksheet(wb, "other");
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format *stamp = workbook_add_format(wb);
    format_set_num_format(stamp, "yyyy/m/d h:mm");
    lxw_format *money = workbook_add_format(wb);
    format_set_num_format(money, "\"¥\"#,##0.00"); // quoted text with a "d"-free literal: not a date
    worksheet_write_string(ws, 0, 0, "姓名", nullptr);
    worksheet_write_string(ws, 0, 1, "座号", nullptr);
    worksheet_write_string(ws, 0, 2, "生日", nullptr);
    worksheet_write_string(ws, 1, 0, "张三", nullptr);
    worksheet_write_number(ws, 1, 1, 5, nullptr);
    lxw_datetime birthday = {2012, 3, 5, 0, 0, 0};
    worksheet_write_datetime(ws, 1, 2, &birthday, date);
    lxw_datetime when = {2026, 9, 1, 8, 30, 0};
    worksheet_write_datetime(ws, 1, 3, &when, stamp);
    worksheet_write_number(ws, 1, 4, 12.5, money);
    worksheet_write_boolean(ws, 1, 5, 1, nullptr);
    worksheet_write_string(ws, 1, 6, "0012", nullptr); // a number kept as text keeps its zeros
    worksheet_write_number(ws, 3, 2, 1.0 / 3, nullptr); // after an empty row, in column C
    worksheet_write_number(ws, 3, 3, 110105201203051234.0, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);

    const SheetTable t = readSheetFile(path("名单.xlsx"));
    EXPECT_EQ(t.sheetName, QStringLiteral("学生")) << "the first sheet";
    ASSERT_EQ(t.rows.size(), 4);
    EXPECT_EQ(t.rows[0], (QStringList{QStringLiteral("姓名"), QStringLiteral("座号"), QStringLiteral("生日")}));
    EXPECT_EQ(t.rows[1], (QStringList{QStringLiteral("张三"), "5", "2012-03-05", "2026-09-01 08:30:00", "12.5", "TRUE", "0012"}));
    EXPECT_TRUE(t.rows[2].isEmpty());
    EXPECT_EQ(t.rows[3], (QStringList{"", "", "0.333333333333333", "1.10105201203051e+17"}));
    EXPECT_EQ(sheetNames(path("名单.xlsx")), (QStringList{QStringLiteral("学生"), "other"}));
    EXPECT_EQ(readSheetFile(path("名单.xlsx"), 1).sheetName, "other");
    EXPECT_TRUE(readSheetFile(path("名单.xlsx"), 1).rows.isEmpty());
    EXPECT_THROW(readSheetFile(path("名单.xlsx"), 2), SheetError);
}

TEST_F(SheetFileTest, AnXlsWorkbookReadsThroughFreeXl)
{
    const SheetTable t = readSheetFile(QStringLiteral(LUMEKO_SOURCE_DIR "/tests/toolkit/data/register.xls"));
    EXPECT_EQ(t.sheetName, QStringLiteral("学生名单"));
    ASSERT_EQ(t.rows.size(), 4);
    EXPECT_EQ(t.rows[0].mid(0, 3), (QStringList{QStringLiteral("姓名"), QStringLiteral("学籍辅号"), QStringLiteral("座号")}));
    EXPECT_EQ(t.rows[1], (QStringList{QStringLiteral("张 三"), "0001", "5", "2012-03-05", "1.52"}));
    EXPECT_EQ(t.rows[2], (QStringList{QStringLiteral("李四"), "0002", "6"}));
    EXPECT_EQ(t.rows[3], (QStringList{"", "", "42"}));
    const QString xls = QStringLiteral(LUMEKO_SOURCE_DIR "/tests/toolkit/data/register.xls");
    EXPECT_EQ(sheetNames(xls), (QStringList{QStringLiteral("学生名单"), QStringLiteral("第二页")}));
    const SheetTable second = readSheetFile(xls, 1);
    ASSERT_EQ(second.rows.size(), 400);
    EXPECT_EQ(second.rows[399], (QStringList{QStringLiteral("其他399"), "399"}));
    EXPECT_THROW(readSheetFile(xls, -1), SheetError);
}

TEST_F(SheetFileTest, FilesThatAreNoSpreadsheetGiveAClearError)
{
    const auto errorOf = [](const auto &read) -> QString {
        try {
            read();
        } catch (const SheetError &e) {
            return e.message();
        }
        return {};
    };
    QFile junk(path("junk.xlsx"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a zip");
    junk.close();
    EXPECT_TRUE(errorOf([&] { readSheetFile(junk.fileName()); }).contains(QStringLiteral("zip")));
    EXPECT_TRUE(errorOf([&] { readSheetFile(path("missing.xlsx")); }).contains(QStringLiteral("无法打开")));
    EXPECT_TRUE(errorOf([&] { readSheetFile(path("名单.csv")); }).contains(QStringLiteral(".xlsx")));
    QFile fakeXls(path("fake.xls"));
    ASSERT_TRUE(fakeXls.open(QIODevice::WriteOnly));
    fakeXls.write(QByteArray(1024, 'x'));
    fakeXls.close();
    EXPECT_TRUE(errorOf([&] { readSheetFile(fakeXls.fileName()); }).contains(QStringLiteral(".xls")));

    // A real workbook whose sheet points at a shared text that is not there.
    const QByteArray file = path("broken.xlsx").toUtf8();
    lxw_workbook *wb = workbook_new(file.constData());
    worksheet_write_string(workbook_add_worksheet(wb, nullptr), 0, 0, "x", nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    QFile in(path("broken.xlsx"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    EXPECT_EQ(readXlsx(bytes).rows, (Rows{{"x"}}));
    // Corrupt the stored archive: the reader must refuse, not crash.
    for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 64 && i < bytes.size(); ++i) bytes[i] = char(bytes[i] ^ 0x5A);
    EXPECT_FALSE(errorOf([&] { readXlsx(bytes); }).isEmpty());
}

} // namespace
