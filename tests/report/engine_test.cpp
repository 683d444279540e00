// The report engine, read back from the PDFs it writes: variables and fields in memos, master and
// detail bands, page breaks with repeated headers, pictures filled before printing, groups and
// sums, and the generated table report of a page's grid.

#include "reporttesting.h"

#include "toolkit/report/engine.h"
#include "toolkit/report/tablereport.h"

#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::report;
using namespace lumeko::report::testing;

namespace {

ReportObject memo(const QString &text, QRectF rect, const QString &name = {})
{
    ReportObject o;
    o.kind = ObjectKind::Memo;
    o.name = name;
    o.text = text;
    o.rect = rect;
    o.alignment = Qt::AlignLeft | Qt::AlignVCenter;
    return o;
}

Band band(BandKind kind, double height, QList<ReportObject> objects, const QString &table = {})
{
    Band b;
    b.kind = kind;
    b.height = height;
    b.table = table;
    b.objects = std::move(objects);
    return b;
}

int occurrences(const QString &text, const QString &what) { return int(text.count(what)); }

class ReportEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fillTable(students, {"sCode", "sName", "sNO", "score:f", "ClassCode"},
                  {{"A", QStringLiteral("张三"), "S001", 88.5, "001"},
                   {"B", QStringLiteral("李四"), "S002", 92.0, "001"},
                   {"C", QStringLiteral("王五"), "S003", 75.0, "002"}});
        fillTable(family, {"sCode", "sTitle", "sName"},
                  {{"A", QStringLiteral("父亲"), QStringLiteral("张大山")},
                   {"A", QStringLiteral("母亲"), QStringLiteral("刘小花")},
                   {"C", QStringLiteral("父亲"), QStringLiteral("王建国")}});
        engine.bindTable("cdsData", &students);
        engine.bindTable("cdsFamily", &family);
        engine.now = QDateTime(QDate(2026, 12, 6), QTime(9, 30));
        engine.variables = [](const QString &name, bool *found) -> QVariant {
            *found = name == u"SchoolName" || name == u"InYear";
            return name == u"SchoolName" ? QVariant(QStringLiteral("晴川中学")) : QVariant(2026);
        };
    }

    DataSet students, family;
    ReportEngine engine;
};

TEST_F(ReportEngineTest, MemosShowVariablesFieldsAndBuiltInsAndLeaveUnknownBracketsAlone)
{
    ReportTemplate t;
    t.bands << band(BandKind::ReportTitle, 40, {memo("[SchoolName] [InYear]级 学生名单 [DATE] [TIME]", {0, 0, 600, 30})});
    t.bands << band(BandKind::MasterData, 24, {memo("[LINE#]. [sName] [cdsData.\"sNO\"] [score] [NoSuchThing] [1]", {0, 0, 600, 24})}, "cdsData");
    t.bands << band(BandKind::ReportSummary, 24, {memo("合计 [COUNT()] 人，总分 [SUM(cdsData.\"score\")]", {0, 0, 600, 24})});
    t.bands << band(BandKind::PageFooter, 24, {memo("第 [PAGE#] 页 共 [TOTALPAGES] 页", {0, 0, 600, 24})});
    engine.setTemplate(t);
    students.moveTo(2);
    QString error;
    ASSERT_TRUE(engine.prepare(&error)) << error.toStdString();
    EXPECT_EQ(students.recNo(), 2) << "the table's cursor is put back";

    const QStringList texts = engine.prepared().texts(0);
    EXPECT_TRUE(texts.contains(QStringLiteral("晴川中学 2026级 学生名单 2026-12-06 09:30:00")));
    EXPECT_TRUE(texts.contains(QStringLiteral("1. 张三 S001 88.5 [NoSuchThing] 1")));
    EXPECT_TRUE(texts.contains(QStringLiteral("3. 王五 S003 75 [NoSuchThing] 1")));
    EXPECT_TRUE(texts.contains(QStringLiteral("合计 3 人，总分 255.5")));
    EXPECT_TRUE(texts.contains(QStringLiteral("第 1 页 共 1 页")));

    const QStringList pages = pdfPages(engine.prepared());
    ASSERT_EQ(pages.size(), 1);
    for (const char *text : {"晴川中学", "张三", "李四", "王五", "合计 3 人", "第 1 页 共 1 页"})
        EXPECT_TRUE(pages[0].contains(bare(QString::fromUtf8(text)))) << text << "\n" << pages[0].toStdString();
}

TEST_F(ReportEngineTest, DetailRowsFollowTheirMasterRowOnPagesOfTheirOwn)
{
    // One student per page (a record card), the family filtered on the student as the row moves.
    ReportTemplate t;
    Band master = band(BandKind::MasterData, 60, {memo("学生：[sName]", {0, 0, 300, 30})}, "cdsData");
    master.newPageAfter = true;
    t.bands << band(BandKind::PageHeader, 30, {memo("学籍卡片 [SchoolName]", {0, 0, 300, 30})}) << master
            << band(BandKind::DetailData, 24, {memo("[sTitle]：[cdsFamily.\"sName\"]", {20, 0, 300, 24})}, "cdsFamily");
    engine.setTemplate(t);
    QStringList moves;
    engine.masterRowMoved = [&](const QString &table) {
        moves << table;
        family.setFilter(QStringLiteral("sCode='%1'").arg(students.value(u"sCode").toString()));
        family.setFiltered(true);
    };
    ASSERT_TRUE(engine.prepare());
    EXPECT_EQ(moves, QStringList({"cdsData", "cdsData", "cdsData"}));
    const QStringList pages = pdfPages(engine.prepared());
    ASSERT_EQ(pages.size(), 3);
    for (const QString &p : pages) EXPECT_TRUE(p.contains(bare(QStringLiteral("学籍卡片 晴川中学")))) << "the page header on every page";
    EXPECT_TRUE(pages[0].contains(QStringLiteral("父亲：张大山")));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("母亲：刘小花")));
    EXPECT_FALSE(pages[0].contains(QStringLiteral("王建国")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("李四")));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("父亲"))) << "李四 has no family rows";
    EXPECT_TRUE(pages[2].contains(QStringLiteral("父亲：王建国")));
}

TEST_F(ReportEngineTest, BandsThatDoNotFitMoveToTheNextPageWithHeaderAndFooterRepeated)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= 70; ++i) rows << QVariantList{QStringLiteral("K%1").arg(i, 3, 10, QChar(u'0')), QStringLiteral("学生%1").arg(i)};
    fillTable(students, {"sCode", "sName"}, rows);
    ReportTemplate t;
    t.page.marginsMm = QMarginsF(10, 10, 10, 10); // 297 mm: 1000.3 units between the margins
    t.bands << band(BandKind::PageHeader, 50, {memo("表头 姓名", {0, 0, 300, 40})})
            << band(BandKind::MasterData, 40, {memo("[sName]", {0, 0, 300, 40})}, "cdsData")
            << band(BandKind::PageFooter, 30, {memo("页码 [PAGE#]/[TOTALPAGES]", {0, 0, 300, 30})});
    engine.setTemplate(t);
    ASSERT_TRUE(engine.prepare());
    // (1000.3 − 50 − 30) / 40 = 23 rows a page: 23 + 23 + 23 + 1.
    const QStringList pages = pdfPages(engine.prepared());
    ASSERT_EQ(pages.size(), 4);
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(occurrences(pages[p], bare(QStringLiteral("表头 姓名"))), 1);
        EXPECT_TRUE(pages[p].contains(bare(QStringLiteral("页码 %1/4").arg(p + 1))));
    }
    EXPECT_TRUE(pages[0].contains(QStringLiteral("学生23\n")));
    EXPECT_FALSE(pages[0].contains(QStringLiteral("学生24")));
    EXPECT_TRUE(pages[3].contains(QStringLiteral("学生70")));
    int total = 0;
    for (int i = 1; i <= 70; ++i) {
        const QRegularExpression name(QStringLiteral("学生%1(?!\\d)").arg(i));
        for (const QString &p : pages) total += int(p.count(name));
    }
    EXPECT_EQ(total, 70) << "every row printed exactly once";
}

TEST_F(ReportEngineTest, PicturesComeFromTheBeforePrintHookAndAMissingOneLeavesTheFrameEmpty)
{
    ReportTemplate t;
    ReportObject picture;
    picture.kind = ObjectKind::Picture;
    picture.name = "InPicture";
    picture.rect = QRectF(100, 10, 100, 100);
    Band master = band(BandKind::MasterData, 120, {picture, memo("[sName]", {0, 0, 90, 30})}, "cdsData");
    master.newPageAfter = true;
    t.bands << master;
    engine.setTemplate(t);
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    engine.beforePrint = [&](PrintingObject &o) {
        if (o.object.name == u"InPicture") o.picture = students.value(u"sCode").toString() == u"B" ? red : QImage();
    };
    ASSERT_TRUE(engine.prepare());
    ASSERT_EQ(engine.prepared().pageCount(), 3);
    const auto redPixels = [&](int page) {
        const QImage img = engine.prepared().pageImage(page, 2.0);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    EXPECT_EQ(redPixels(0), 0);
    // The photo fills the 100-unit square: about 27.6 × 27.7 mm, at 2 dots per mm.
    EXPECT_GT(redPixels(1), 2500);
    EXPECT_EQ(redPixels(2), 0);
}

TEST_F(ReportEngineTest, GroupsCloseWithTheirOwnCountsAndSums)
{
    ReportTemplate t;
    Band header = band(BandKind::GroupHeader, 24, {memo("班级 [ClassCode]", {0, 0, 300, 24})});
    header.groupField = "ClassCode";
    t.bands << header << band(BandKind::MasterData, 24, {memo("[sName]", {0, 0, 300, 24})}, "cdsData")
            << band(BandKind::GroupFooter, 24, {memo("小计 [COUNT()] 人 [SUM(score)] 分", {0, 0, 300, 24})})
            << band(BandKind::ReportSummary, 24, {memo("全校 [COUNT()] 人", {0, 0, 300, 24})});
    engine.setTemplate(t);
    ASSERT_TRUE(engine.prepare());
    EXPECT_EQ(engine.prepared().texts(0),
              QStringList({QStringLiteral("班级 001"), QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("小计 2 人 180.5 分"),
                           QStringLiteral("班级 002"), QStringLiteral("王五"), QStringLiteral("小计 1 人 75 分"), QStringLiteral("全校 3 人")}));
}

TEST_F(ReportEngineTest, AMissingTableOrAPageWithoutRoomIsAClearError)
{
    ReportTemplate t;
    t.bands << band(BandKind::MasterData, 24, {memo("[sName]", {0, 0, 100, 24})}, "cdsNowhere");
    engine.setTemplate(t);
    QString error;
    EXPECT_FALSE(engine.prepare(&error));
    EXPECT_TRUE(error.contains("cdsNowhere")) << error.toStdString();

    t.bands[0].table = "cdsData";
    t.page.marginsMm = QMarginsF(10, 150, 10, 150);
    engine.setTemplate(t);
    EXPECT_FALSE(engine.prepare(&error));
    EXPECT_EQ(error, QStringLiteral("页边距设置错误！"));
}

TEST_F(ReportEngineTest, PrintingScalesEachPageToThePrintersPaper)
{
    ReportTemplate t; // an A4 template
    t.bands << band(BandKind::MasterData, 24, {memo("[sName]", {0, 0, 300, 24})}, "cdsData");
    engine.setTemplate(t);
    ASSERT_TRUE(engine.prepare());
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("printed.pdf"));
    printer.setPageSize(QPageSize(QPageSize::B5));
    QString error;
    ASSERT_TRUE(engine.prepared().print(printer, &error)) << error.toStdString();
    QProcess info;
    info.start("pdfinfo", {dir.filePath("printed.pdf")});
    ASSERT_TRUE(info.waitForFinished());
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(out.contains("499 x 709 pts")) << "B5 paper, not the template's A4:\n" << out.toStdString();
    QProcess text;
    text.start("pdftotext", {dir.filePath("printed.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished());
    EXPECT_TRUE(QString::fromUtf8(text.readAllStandardOutput()).contains(QStringLiteral("王五")));
}

TEST(TableReport, SeventyRowsBreakOntoPagesWithTheHeaderRowRepeated)
{
    TableReportRequest r;
    r.caption = QStringLiteral("学籍档案");
    r.paperMm = QSizeF(297, 210); // A4 landscape
    r.columns = {{QStringLiteral("学号"), 80}, {QStringLiteral("姓名"), 70}, {QStringLiteral("班级"), 60}};
    r.rowCount = 70;
    r.cellText = [](int row, int column) {
        return column == 0 ? QStringLiteral("X%1").arg(row + 1, 3, 10, QChar(u'0')) : column == 1 ? QStringLiteral("学生%1").arg(row + 1) : QStringLiteral("七(1)班");
    };
    r.printDate = QDate(2026, 12, 6);
    PreparedReport report;
    QString error;
    ASSERT_TRUE(buildTableReport(r, &report, &error)) << error.toStdString();
    // 210 mm × 3.6112 = 758.4 units, less 2 × 25 mm of margin = 577.8; rows from 55 to the
    // footer at 552.8: 19 rows of 26 a page, so 70 rows take 4 pages.
    const QStringList pages = pdfPages(report);
    ASSERT_EQ(pages.size(), 4);
    for (int p = 0; p < 4; ++p) {
        EXPECT_TRUE(pages[p].contains(QStringLiteral("学籍档案")));
        EXPECT_EQ(occurrences(pages[p], QStringLiteral("学号")), 1) << "the header row on page " << p + 1;
        EXPECT_TRUE(pages[p].contains(bare(QStringLiteral("第 %1 页，打印日期： 2026-12-06").arg(p + 1))));
    }
    EXPECT_TRUE(pages[0].contains("X019"));
    EXPECT_FALSE(pages[0].contains("X020"));
    EXPECT_TRUE(pages[3].contains("X070"));
    EXPECT_EQ(occurrences(pages[3], QStringLiteral("七(1)班")), 70 - 57);

    // The header cells: from left 20, width × 1.1 rounded, all framed.
    const PageItem &first = report.pages[0].items[1];
    EXPECT_EQ(first.text, QStringLiteral("学号"));
    EXPECT_DOUBLE_EQ(first.rect.width(), 88);
    EXPECT_TRUE(first.frame.left && first.frame.top && first.frame.right && first.frame.bottom);

    // Margins that leave no room print nothing.
    r.marginsHundredthsMm = QMarginsF(2500, 40000, 2500, 40000);
    PreparedReport none;
    EXPECT_FALSE(buildTableReport(r, &none, &error));
    EXPECT_EQ(error, QStringLiteral("页边距设置错误！"));
    EXPECT_EQ(none.pageCount(), 0);
}

TEST(TableReport, ColumnsStopAtThePageEdgeAndAnOverhangingWideColumnIsCut)
{
    TableReportRequest r;
    r.paperMm = QSizeF(210, 297); // 759.6 units wide
    r.columns = {{"a", 300}, {"b", 300}, {"c", 300}};
    r.rowCount = 1;
    PreparedReport report;
    ASSERT_TRUE(buildTableReport(r, &report, nullptr));
    QList<double> widths;
    for (const PageItem &item : report.pages[0].items)
        if (item.frame.any() && item.rect.height() == 30) widths << item.rect.width();
    // a: 20 + 330 = 350; b: 350 + 330 = 680 > 739.6? no; c starts at 680 ≤ 700.6 and would reach
    // past 739.6, so it is cut to 60.
    EXPECT_EQ(widths, (QList<double>{330, 330, 60}));
}

} // namespace
