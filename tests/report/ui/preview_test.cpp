#include "uitesting.h"

#include "toolkit/report/tablereport.h"
#include "toolkit/report/ui/reportpreview.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPrinter>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace lumeko::report;
using lumeko::report::testing::pdfText;
using lumeko::report::testing::ScriptedDialogs;

namespace {

QString studentName(int row)
{
    static const QString surnames = QStringLiteral("张王李赵刘陈杨黄周吴");
    static const QString given = QStringLiteral("伟芳娜敏静丽强磊军洋");
    return QString(surnames[row % 10]) + given[(row / 10) % 10] + given[(row * 7 + 3) % 10];
}

// A class list as the grid of the student page prints it, on A4 landscape, 19 rows to a page.
PreparedReport classList(int rows)
{
    TableReportRequest r;
    r.caption = QStringLiteral("高一(3)班学生名单");
    r.columns = {{QStringLiteral("学号"), 70}, {QStringLiteral("姓名"), 70}, {QStringLiteral("性别"), 45},
                 {QStringLiteral("出生日期"), 90}, {QStringLiteral("家庭住址"), 260}};
    r.rowCount = rows;
    r.printDate = QDate(2024, 9, 2);
    r.cellText = [](int row, int column) {
        switch (column) {
        case 0: return QStringLiteral("2024%1").arg(row + 1, 3, 10, QLatin1Char('0'));
        case 1: return studentName(row);
        case 2: return row % 3 ? QStringLiteral("男") : QStringLiteral("女");
        case 3: return QDate(2008, 9, 1).addDays(row * 11).toString(QStringLiteral("yyyy-MM-dd"));
        default: return QStringLiteral("杭州市西湖区文三路%1号").arg(100 + row);
        }
    };
    PreparedReport out;
    QString error;
    if (!buildTableReport(r, &out, &error)) ADD_FAILURE() << error.toStdString();
    return out;
}

// The page as drawn on the screen: the run of white pixels across the middle of the page widget
// (the page is white at its margins; the desk around it grey, its border dark).
int shownPageWidth(ReportPreview &preview)
{
    auto *page = preview.findChild<QWidget *>(QStringLiteral("previewPage"));
    const QImage image = page->grab().toImage();
    const int y = image.height() / 2;
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == Qt::white) {
            if (first < 0) first = x;
            last = x;
        }
    return first < 0 ? 0 : last - first + 1;
}

QImage shownPage(ReportPreview &preview)
{
    return preview.findChild<QWidget *>(QStringLiteral("previewPage"))->grab().toImage();
}

bool enabled(ReportPreview &p, const char *action)
{
    return p.action(QString::fromLatin1(action))->isEnabled();
}

} // namespace

TEST(ReportPreview, PagesThroughTheReportByButtonsFieldAndKeys)
{
    ReportPreview preview(classList(70));
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    const int n = preview.pageCount();
    ASSERT_EQ(n, 4);
    QSignalSpy pages(&preview, &ReportPreview::pageChanged);
    auto *pageBox = preview.findChild<QSpinBox *>(QStringLiteral("pageBox"));
    EXPECT_EQ(preview.findChild<QLabel *>(QStringLiteral("pageCountLabel"))->text().trimmed(), QStringLiteral("/ 共 4 页"));

    EXPECT_EQ(preview.currentPage(), 0);
    EXPECT_EQ(pageBox->text(), QStringLiteral("第 1 页"));
    EXPECT_FALSE(enabled(preview, "acFirstPage"));
    EXPECT_FALSE(enabled(preview, "acPriorPage"));
    EXPECT_TRUE(enabled(preview, "acNextPage"));
    EXPECT_TRUE(enabled(preview, "acLastPage"));
    const QImage first = shownPage(preview);

    preview.action(QStringLiteral("acNextPage"))->trigger();
    EXPECT_EQ(preview.currentPage(), 1);
    EXPECT_EQ(pageBox->value(), 2);
    EXPECT_TRUE(enabled(preview, "acFirstPage") && enabled(preview, "acPriorPage") && enabled(preview, "acNextPage") && enabled(preview, "acLastPage"));
    EXPECT_NE(shownPage(preview), first); // another page is drawn, not the cached first one

    preview.action(QStringLiteral("acLastPage"))->trigger();
    EXPECT_EQ(preview.currentPage(), 3);
    EXPECT_FALSE(enabled(preview, "acNextPage"));
    EXPECT_FALSE(enabled(preview, "acLastPage"));
    EXPECT_TRUE(enabled(preview, "acPriorPage"));
    preview.nextPage(); // past the end stays on the last page, without a signal
    EXPECT_EQ(preview.currentPage(), 3);

    pageBox->setValue(2); // the user types a page number
    EXPECT_EQ(preview.currentPage(), 1);
    preview.action(QStringLiteral("acFirstPage"))->trigger();
    EXPECT_EQ(preview.currentPage(), 0);
    EXPECT_EQ(shownPage(preview), first);
    EXPECT_EQ(pages.size(), 4);

    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    QTest::keyClick(&preview, Qt::Key_PageDown);
    EXPECT_EQ(preview.currentPage(), 1);
    QTest::keyClick(&preview, Qt::Key_End);
    EXPECT_EQ(preview.currentPage(), 3);
    QTest::keyClick(&preview, Qt::Key_PageUp);
    EXPECT_EQ(preview.currentPage(), 2);
    QTest::keyClick(&preview, Qt::Key_Home);
    EXPECT_EQ(preview.currentPage(), 0);

    // The wheel rolls on past the end of a whole page to the next one; with Ctrl it zooms.
    QWidget *viewport = preview.findChild<QScrollArea *>(QStringLiteral("previewScroll"))->viewport();
    auto roll = [&](int delta, Qt::KeyboardModifiers modifiers = {}) {
        const QPointF at(viewport->width() / 2, viewport->height() / 2);
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    };
    ASSERT_EQ(preview.fit(), ReportPreview::Fit::WholePage);
    roll(-120);
    EXPECT_EQ(preview.currentPage(), 1);
    roll(120);
    EXPECT_EQ(preview.currentPage(), 0);
    roll(120); // before the first page there is none
    EXPECT_EQ(preview.currentPage(), 0);
    const double zoom = preview.zoom();
    roll(120, Qt::ControlModifier);
    EXPECT_GT(preview.zoom(), zoom);
    EXPECT_EQ(preview.currentPage(), 0);
}

TEST(ReportPreview, ShowRunsAModalPreviewUntilClosed)
{
    int pagesSeen = 0;
    QTimer::singleShot(0, [&] {
        auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        pagesSeen = preview->pageCount();
        preview->action(QStringLiteral("acClose"))->trigger();
    });
    EXPECT_EQ(ReportPreview::show(classList(70)), QDialog::Rejected);
    EXPECT_EQ(pagesSeen, 4);
}

TEST(ReportPreview, ZoomsByStepsByPercentageAndByFittingTheWindow)
{
    ReportPreview preview(classList(30));
    preview.resize(900, 700);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    auto *zoomBox = preview.findChild<QSpinBox *>(QStringLiteral("zoomBox"));
    auto *viewport = preview.findChild<QScrollArea *>(QStringLiteral("previewScroll"))->viewport();

    // It opens with the whole page in view.
    EXPECT_EQ(preview.fit(), ReportPreview::Fit::WholePage);
    QSize page = preview.pageSizeOnScreen();
    EXPECT_LE(page.width(), viewport->width());
    EXPECT_LE(page.height(), viewport->height());
    EXPECT_GT(page.width(), viewport->width() * 0.8); // landscape: the width is what limits it
    EXPECT_EQ(zoomBox->value(), qRound(preview.zoom() * 100));

    // 100 % is the paper's size on the screen.
    preview.setZoom(1);
    const int at100 = qRound(297 * preview.logicalDpiX() / 25.4);
    EXPECT_EQ(preview.pageSizeOnScreen().width(), at100);
    EXPECT_NEAR(shownPageWidth(preview), at100 - 2, 1);
    EXPECT_EQ(zoomBox->value(), 100);

    preview.action(QStringLiteral("acZoomIn"))->trigger();
    EXPECT_DOUBLE_EQ(preview.zoom(), 1.25);
    EXPECT_NEAR(shownPageWidth(preview), qRound(at100 * 1.25) - 2, 1);
    preview.zoomOut();
    preview.zoomOut();
    EXPECT_DOUBLE_EQ(preview.zoom(), 0.75);
    EXPECT_NEAR(shownPageWidth(preview), qRound(at100 * 0.75) - 2, 1);
    EXPECT_EQ(zoomBox->value(), 75);

    zoomBox->setValue(50);
    EXPECT_DOUBLE_EQ(preview.zoom(), 0.5);
    EXPECT_EQ(preview.fit(), ReportPreview::Fit::None);
    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    QTest::keyClick(&preview, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(preview.zoom(), 0.75);
    QTest::keyClick(&preview, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(preview.zoom(), 0.5);
    for (int i = 0; i < 20; ++i) preview.zoomIn();
    EXPECT_DOUBLE_EQ(preview.zoom(), 4);
    EXPECT_FALSE(enabled(preview, "acZoomIn"));

    // A fixed zoom stays when the window changes size; a fitted one follows.
    preview.setZoom(1);
    preview.resize(1000, 800);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(preview.zoom(), 1);
    preview.action(QStringLiteral("acPageWidth"))->trigger();
    const double fitted = preview.zoom();
    page = preview.pageSizeOnScreen();
    EXPECT_LE(page.width(), viewport->width());
    EXPECT_GT(page.width(), viewport->width() - 60);
    preview.resize(700, 800);
    QCoreApplication::processEvents();
    EXPECT_LT(preview.zoom(), fitted);
    EXPECT_LE(preview.pageSizeOnScreen().width(), viewport->width());
    preview.action(QStringLiteral("acWholePage"))->trigger();
    EXPECT_LE(preview.pageSizeOnScreen().height(), viewport->height());
}

TEST(ReportPreview, ExportsPdfAndPrintsOnTheChosenPrinter)
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ReportPreview preview(classList(30));
    ASSERT_EQ(preview.pageCount(), 2);

    dialogs.fileName = dir.filePath(QStringLiteral("名单"));
    ASSERT_TRUE(preview.exportPdf());
    const QString pdf = dir.filePath(QStringLiteral("名单.pdf"));
    ASSERT_TRUE(QFileInfo::exists(pdf));
    QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("高一(3)班学生名单")));
    EXPECT_TRUE(text.contains(studentName(29)));
    EXPECT_TRUE(text.contains(QStringLiteral("第2页，打印日期：2024-09-02")));

    dialogs.fileName.clear(); // cancelled
    EXPECT_FALSE(preview.exportPdf());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_FALSE(preview.exportPdfTo(dir.filePath(QStringLiteral("no/such/folder/x.pdf"))));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(QStringLiteral("导出PDF失败"))) << dialogs.errors[0].toStdString();

    // The printer starts on the report's paper; the report prints on what the user chose.
    const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
    QPageLayout offered;
    dialogs.printer = [&](QPrinter *printer) {
        offered = printer->pageLayout();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printed);
        printer->setPageSize(QPageSize(QPageSize::A3));
        return true;
    };
    ASSERT_TRUE(preview.print());
    EXPECT_EQ(offered.pageSize().id(), QPageSize::A4);
    EXPECT_EQ(offered.orientation(), QPageLayout::Landscape);
    text = pdfText(printed);
    EXPECT_TRUE(text.contains(QStringLiteral("高一(3)班学生名单")));
    EXPECT_TRUE(text.contains(studentName(29)));

    QFile::remove(printed);
    dialogs.printer = nullptr; // the user cancels the printer dialog
    EXPECT_FALSE(preview.print());
    EXPECT_FALSE(QFileInfo::exists(printed));
}

TEST(ReportPreview, ShowsATwoPageChineseReport)
{
    ReportPreview preview(classList(30));
    preview.resize(1000, 760);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    ASSERT_EQ(preview.pageCount(), 2);
    EXPECT_TRUE(preview.report().texts(1).contains(studentName(29)));
    // Ink on the page: the title and the framed table are drawn.
    const QImage image = shownPage(preview);
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 500);
    lumeko::report::testing::keepScreenshot(&preview, QStringLiteral("preview-page1.png"));
    preview.nextPage();
    preview.fitPageWidth();
    lumeko::report::testing::keepScreenshot(&preview, QStringLiteral("preview-page2-width.png"));
}
