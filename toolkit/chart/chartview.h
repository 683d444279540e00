#pragma once
// ChartView: shows one chart, and hands it on as a picture: to the clipboard, to a PNG, JPEG or
// BMP file, or as an image for a printed page.

#include "toolkit/chart/chartbuild.h"

#include <QChartView>
#include <QImage>

namespace lumeko::chart {

class LUMEKO_CHART_EXPORT ChartView : public QChartView {
    Q_OBJECT
public:
    explicit ChartView(QWidget *parent = nullptr);

    // Shows `chart` (the view takes it and drops the one it showed).
    void showChart(QChart *chart);
    // Builds and shows a chart of the data.
    void showData(const ChartData &data, ChartKind kind, const ChartOptions &options);

    // The chart drawn on a white image of `size` (empty: the view's own size).
    QImage image(QSize size = {}) const;
    // The chart as a picture on the clipboard.
    void copyToClipboard() const;
    // Saves the picture; the format follows the file's suffix (.png, .jpg/.jpeg, .bmp; anything
    // else is refused). False with the reason in `error`.
    bool saveImage(const QString &path, QString *error = nullptr, QSize size = {}) const;
};

// The picture formats saveImage takes, as a file dialog filter.
LUMEKO_CHART_EXPORT QString imageFileFilter();

} // namespace lumeko::chart
