#pragma once
// The print preview: a prepared report page by page, zoomed, paged through, printed or exported
// to PDF.

#include "toolkit/report/prepared.h"

#include <QCache>
#include <QDialog>

class QAction;
class QLabel;
class QScrollArea;
class QSpinBox;
class QToolBar;

namespace lumeko::report {

class PreviewPageWidget;

class LUMEKO_REPORT_EXPORT ReportPreview : public QDialog {
    Q_OBJECT
public:
    // How the zoom follows the window: a fixed percentage, or the whole page or its width fitted
    // into the view whenever the window changes size.
    enum class Fit { None, WholePage, PageWidth };

    explicit ReportPreview(PreparedReport report, QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Shows the report in a modal preview window and returns when the user closes it.
    static int show(const PreparedReport &report, QWidget *parent = nullptr);
    using QDialog::show;

    const PreparedReport &report() const { return m_report; }
    int pageCount() const { return m_report.pageCount(); }
    int currentPage() const { return m_page; } // from 0
    double zoom() const { return m_zoom; }     // 1 is the paper's real size on the screen
    Fit fit() const { return m_fit; }
    // The page as it is drawn now, in the screen's logical pixels.
    QSize pageSizeOnScreen() const;
    // The tool bar's commands, by object name: acFirstPage, acPriorPage, acNextPage, acLastPage,
    // acZoomIn, acZoomOut, acWholePage, acPageWidth, acPrint, acExportPdf, acClose.
    QAction *action(const QString &objectName) const;

public Q_SLOTS:
    void setPage(int page);
    void firstPage() { setPage(0); }
    void priorPage() { setPage(m_page - 1); }
    void nextPage() { setPage(m_page + 1); }
    void lastPage() { setPage(pageCount() - 1); }
    void setZoom(double zoom); // also ends fitting
    void zoomIn();
    void zoomOut();
    void fitWholePage();
    void fitPageWidth();
    // Asks for the printer, then prints on its paper; false when cancelled or failed.
    bool print();
    // Asks for a file name, then exports; false when cancelled or failed (the error was shown).
    bool exportPdf();
    bool exportPdfTo(const QString &path);

Q_SIGNALS:
    void pageChanged(int page);
    void zoomChanged(double zoom);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class PreviewPageWidget;
    void buildToolBar(QToolBar *bar);
    void applyFit();
    void applyZoom(double zoom);
    void updateControls();
    QSizeF pageSizeAt100() const; // logical pixels
    const QImage &pageImage(int page); // rendered at the current zoom, cached

    PreparedReport m_report;
    int m_page = 0;
    double m_zoom = 1;
    Fit m_fit = Fit::WholePage;
    QCache<quint64, QImage> m_images; // (zoom in per mille, page)
    QImage m_oversized;               // a page too large for the cache, the last one painted
    QScrollArea *m_scroll = nullptr;
    PreviewPageWidget *m_pageWidget = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageCountLabel = nullptr;
    QSpinBox *m_zoomBox = nullptr;
};

} // namespace lumeko::report
