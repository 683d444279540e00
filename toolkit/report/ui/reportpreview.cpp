#include "toolkit/report/ui/reportpreview.h"

#include "toolkit/report/ui/icons.h"
#include "toolkit/report/ui/reportdialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <array>
#include <cmath>

namespace lumeko::report {

namespace {

constexpr std::array kZoomSteps{0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 4.0;
constexpr int kGap = 16; // grey space around the page

} // namespace

// The page on a grey desk, with a thin shadow; it asks the preview for the page's image.
class PreviewPageWidget : public QWidget {
public:
    explicit PreviewPageWidget(ReportPreview *preview) : m_preview(preview)
    {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
        setPalette(pal);
    }

    void pageSizeChanged()
    {
        const QSize page = m_preview->pageSizeOnScreen();
        setMinimumSize(page + QSize(2 * kGap, 2 * kGap));
        updateGeometry();
        update();
    }

    QRect pageRect() const
    {
        const QSize page = m_preview->pageSizeOnScreen();
        const int x = std::max(kGap, (width() - page.width()) / 2);
        const int y = std::max(kGap, (height() - page.height()) / 2);
        return QRect(QPoint(x, y), page);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_preview->pageCount() == 0) return;
        QPainter p(this);
        const QRect r = pageRect();
        p.fillRect(r.translated(3, 3), QColor(0x40, 0x40, 0x40));
        p.drawImage(r, m_preview->pageImage(m_preview->currentPage()));
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }

private:
    ReportPreview *m_preview;
};

ReportPreview::ReportPreview(PreparedReport report, QWidget *parent) : QDialog(parent), m_report(std::move(report))
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("打印预览"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    m_images.setMaxCost(256 * 1024); // in KB

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("previewToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(bar);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("previewScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_pageWidget = new PreviewPageWidget(this);
    m_pageWidget->setObjectName(QStringLiteral("previewPage"));
    m_scroll->setWidget(m_pageWidget);
    m_scroll->viewport()->installEventFilter(this);
    layout->addWidget(m_scroll, 1);

    buildToolBar(bar);

    // A window that shows most of a portrait page at once, within the screen.
    QSize size(1000, 760);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.9);
    resize(size);
    m_pageWidget->pageSizeChanged();
    updateControls();
}

ReportPreview::~ReportPreview() = default;

int ReportPreview::show(const PreparedReport &report, QWidget *parent)
{
    ReportPreview preview(report, parent);
    return preview.exec();
}

void ReportPreview::buildToolBar(QToolBar *bar)
{
    auto add = [&](const char *name, const QString &text, auto icon, const QList<QKeySequence> &keys, auto slot) {
        auto *a = new QAction(text, this);
        a->setObjectName(QString::fromLatin1(name));
        if constexpr (std::is_same_v<decltype(icon), Glyph>) a->setIcon(glyphIcon(icon));
        else a->setIcon(style()->standardIcon(icon));
        a->setShortcuts(keys);
        if (!keys.isEmpty()) a->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.first().toString(QKeySequence::NativeText)));
        connect(a, &QAction::triggered, this, slot);
        bar->addAction(a);
        addAction(a);
        return a;
    };
    // The tool bar must fit a narrow window: the commands whose icons say it all show no text.
    add("acFirstPage", QStringLiteral("首页"), QStyle::SP_MediaSkipBackward, {QKeySequence(Qt::Key_Home)}, &ReportPreview::firstPage)->setPriority(QAction::LowPriority);
    add("acPriorPage", QStringLiteral("上一页"), QStyle::SP_MediaSeekBackward, {QKeySequence(Qt::Key_PageUp)}, &ReportPreview::priorPage);

    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(QStringLiteral("pageBox"));
    m_pageBox->setPrefix(QStringLiteral("第 "));
    m_pageBox->setSuffix(QStringLiteral(" 页"));
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setRange(1, std::max(1, pageCount()));
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int v) { setPage(v - 1); });
    bar->addWidget(m_pageBox);
    m_pageCountLabel = new QLabel(QStringLiteral(" / 共 %1 页 ").arg(pageCount()), bar);
    m_pageCountLabel->setObjectName(QStringLiteral("pageCountLabel"));
    bar->addWidget(m_pageCountLabel);

    add("acNextPage", QStringLiteral("下一页"), QStyle::SP_MediaSeekForward, {QKeySequence(Qt::Key_PageDown)}, &ReportPreview::nextPage);
    add("acLastPage", QStringLiteral("末页"), QStyle::SP_MediaSkipForward, {QKeySequence(Qt::Key_End)}, &ReportPreview::lastPage)->setPriority(QAction::LowPriority);
    bar->addSeparator();
    add("acZoomIn", QStringLiteral("放大"), Glyph::ZoomIn,
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &ReportPreview::zoomIn)->setPriority(QAction::LowPriority);
    add("acZoomOut", QStringLiteral("缩小"), Glyph::ZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &ReportPreview::zoomOut)->setPriority(QAction::LowPriority);
    m_zoomBox = new QSpinBox(bar);
    m_zoomBox->setObjectName(QStringLiteral("zoomBox"));
    m_zoomBox->setRange(int(kMinZoom * 100), int(kMaxZoom * 100));
    m_zoomBox->setSuffix(QStringLiteral("%"));
    m_zoomBox->setSingleStep(10);
    m_zoomBox->setKeyboardTracking(false);
    connect(m_zoomBox, &QSpinBox::valueChanged, this, [this](int v) {
        if (v != qRound(m_zoom * 100)) setZoom(v / 100.0);
    });
    bar->addWidget(m_zoomBox);
    add("acWholePage", QStringLiteral("整页"), Glyph::WholePage, {}, &ReportPreview::fitWholePage);
    add("acPageWidth", QStringLiteral("页宽"), Glyph::PageWidth, {}, &ReportPreview::fitPageWidth);
    bar->addSeparator();
    add("acPrint", QStringLiteral("打印"), Glyph::Printer, {QKeySequence(Qt::CTRL | Qt::Key_P)}, [this] { print(); });
    add("acExportPdf", QStringLiteral("导出PDF"), QStyle::SP_DialogSaveButton, {}, [this] { exportPdf(); });
    bar->addSeparator();
    add("acClose", QStringLiteral("关闭"), QStyle::SP_DialogCloseButton, {}, &ReportPreview::reject);
}

QAction *ReportPreview::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName, Qt::FindDirectChildrenOnly);
}

QSizeF ReportPreview::pageSizeAt100() const
{
    // At 100 % a millimetre of paper is a millimetre on the screen.
    const QSizeF mm = m_report.page.sizeMm();
    return QSizeF(mm.width() * logicalDpiX() / 25.4, mm.height() * logicalDpiY() / 25.4);
}

QSize ReportPreview::pageSizeOnScreen() const
{
    const QSizeF s = pageSizeAt100() * m_zoom;
    return QSize(std::max(1, qRound(s.width())), std::max(1, qRound(s.height())));
}

const QImage &ReportPreview::pageImage(int page)
{
    const quint64 key = (quint64(qRound(m_zoom * 1000)) << 32) | quint32(page);
    if (QImage *cached = m_images.object(key)) return *cached;
    // Painted in device pixels so that a high-density screen gets a sharp page.
    const double ratio = devicePixelRatioF();
    const QSize logical = pageSizeOnScreen();
    QImage image(QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio)), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        m_report.paintPage(p, page, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    image.setDevicePixelRatio(ratio);
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes() / 1024);
    if (cost > m_images.maxCost()) {
        m_oversized = image;
        return m_oversized;
    }
    m_images.insert(key, new QImage(image), cost);
    return *m_images.object(key);
}

void ReportPreview::setPage(int page)
{
    page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (page != m_page) {
        m_page = page;
        m_scroll->verticalScrollBar()->setValue(0);
        m_pageWidget->update();
        Q_EMIT pageChanged(m_page);
    }
    updateControls();
}

void ReportPreview::applyZoom(double zoom)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (std::abs(zoom - m_zoom) < 1e-6) return;
    m_zoom = zoom;
    m_pageWidget->pageSizeChanged();
    updateControls();
    Q_EMIT zoomChanged(m_zoom);
}

void ReportPreview::setZoom(double zoom)
{
    m_fit = Fit::None;
    applyZoom(zoom);
    updateControls();
}

void ReportPreview::zoomIn()
{
    for (double step : kZoomSteps)
        if (step > m_zoom + 0.001) return setZoom(step);
    setZoom(kMaxZoom);
}

void ReportPreview::zoomOut()
{
    for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it)
        if (*it < m_zoom - 0.001) return setZoom(*it);
    setZoom(kMinZoom);
}

void ReportPreview::fitWholePage()
{
    m_fit = Fit::WholePage;
    applyFit();
}

void ReportPreview::fitPageWidth()
{
    m_fit = Fit::PageWidth;
    applyFit();
}

void ReportPreview::applyFit()
{
    if (m_fit == Fit::None) return;
    const QSizeF page = pageSizeAt100();
    const QSize room = m_scroll->maximumViewportSize() - QSize(2 * kGap, 2 * kGap);
    double zoom = room.width() / page.width();
    if (m_fit == Fit::WholePage) {
        zoom = std::min(zoom, room.height() / page.height());
    } else if (page.height() * zoom > room.height()) {
        // The page will scroll: leave room for the scroll bar.
        zoom = (room.width() - m_scroll->verticalScrollBar()->sizeHint().width()) / page.width();
    }
    applyZoom(std::floor(zoom * 100) / 100);
    updateControls();
}

void ReportPreview::updateControls()
{
    const int n = pageCount();
    action(QStringLiteral("acFirstPage"))->setEnabled(m_page > 0);
    action(QStringLiteral("acPriorPage"))->setEnabled(m_page > 0);
    action(QStringLiteral("acNextPage"))->setEnabled(m_page < n - 1);
    action(QStringLiteral("acLastPage"))->setEnabled(m_page < n - 1);
    action(QStringLiteral("acZoomIn"))->setEnabled(m_zoom < kMaxZoom - 0.001);
    action(QStringLiteral("acZoomOut"))->setEnabled(m_zoom > kMinZoom + 0.001);
    action(QStringLiteral("acPrint"))->setEnabled(n > 0);
    action(QStringLiteral("acExportPdf"))->setEnabled(n > 0);
    const QSignalBlocker b1(m_pageBox), b2(m_zoomBox);
    m_pageBox->setEnabled(n > 1);
    m_pageBox->setValue(m_page + 1);
    m_zoomBox->setValue(qRound(m_zoom * 100));
}

void ReportPreview::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    applyFit();
}

void ReportPreview::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyFit();
}

bool ReportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        const int delta = wheel->angleDelta().y();
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (delta > 0) zoomIn();
            else if (delta < 0) zoomOut();
            return true;
        }
        // Rolling on past the end of a page turns to the next one.
        QScrollBar *bar = m_scroll->verticalScrollBar();
        if (delta < 0 && bar->value() >= bar->maximum() && m_page < pageCount() - 1) {
            nextPage();
            return true;
        }
        if (delta > 0 && bar->value() <= bar->minimum() && m_page > 0) {
            priorPage();
            bar->setValue(bar->maximum());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ReportPreview::print()
{
    if (pageCount() == 0) return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("报表"));
    // Start from the report's own paper; the printer's choice wins.
    const PageSetup &setup = m_report.page;
    printer.setPageLayout(QPageLayout(QPageSize(setup.paperMm, QPageSize::Millimeter, {}, QPageSize::FuzzyOrientationMatch),
                                      setup.orientation, QMarginsF()));
    printer.setFromTo(0, 0);
    if (!dialogs::choosePrinter(this, &printer, pageCount())) return false;
    QString error;
    if (!m_report.print(printer, &error)) {
        dialogs::error(this, QStringLiteral("打印失败：%1").arg(error));
        return false;
    }
    return true;
}

bool ReportPreview::exportPdf()
{
    if (pageCount() == 0) return false;
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/报表.pdf");
    QString path = dialogs::saveFileName(this, QStringLiteral("导出PDF"), start, QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty()) return false;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    return exportPdfTo(path);
}

bool ReportPreview::exportPdfTo(const QString &path)
{
    QString error;
    if (!m_report.exportPdf(path, &error)) {
        dialogs::error(this, QStringLiteral("导出PDF失败：%1").arg(error.isEmpty() ? path : error));
        return false;
    }
    return true;
}

} // namespace lumeko::report
