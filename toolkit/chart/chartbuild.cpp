#include "toolkit/chart/chartbuild.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QPen>
#include <QPieSeries>
#include <QPieSlice>
#include <QPolarChart>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace lumeko::chart {

namespace {

bool missing(double v)
{
    return std::isnan(v);
}

double rounded(double v, int decimals)
{
    if (missing(v)) return v;
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

// The largest value shown, for the value axis; at least 1 so that an empty chart has an axis.
double largest(const QList<Series> &series, bool stacked, qsizetype categories)
{
    double top = 0;
    if (stacked) {
        for (qsizetype c = 0; c < categories; ++c) {
            double sum = 0;
            for (const Series &s : series)
                if (!missing(s.values.value(c, kMissing))) sum += s.values.value(c);
            top = std::max(top, sum);
        }
    } else {
        for (const Series &s : series)
            for (double v : s.values)
                if (!missing(v)) top = std::max(top, v);
    }
    return top > 0 ? top : 1;
}

QString markFormat(Marks marks, const char *placeholder)
{
    return QString::fromLatin1(placeholder) + (marks == Marks::Percent ? QStringLiteral("%") : QString());
}

const QColor kDarkText(0x33, 0x33, 0x33);

QColor textColor(const ChartOptions &o)
{
    return o.foreground.isValid() ? o.foreground : kDarkText;
}

void styleAxis(QAbstractAxis *axis, const ChartOptions &o)
{
    axis->setLabelsFont(o.font);
    axis->setLabelsColor(o.axisLabelColor.isValid() ? o.axisLabelColor : textColor(o));
    if (o.background.isValid()) {
        // Lines that show on a coloured ground without drowning the series.
        QColor line = textColor(o);
        line.setAlpha(90);
        axis->setGridLineColor(line);
        axis->setLinePenColor(line);
    }
}

QColor colourOf(const Series &s, qsizetype n)
{
    return s.color.isValid() ? s.color : seriesColor(n);
}

QValueAxis *valueAxis(double top, Marks marks, const ChartOptions &o)
{
    auto *axis = new QValueAxis;
    axis->setMin(0);
    // Room above the highest column for its mark.
    axis->setMax(marks == Marks::Percent && top <= 100 ? 100 : top * (marks == Marks::None ? 1.0 : 1.12));
    axis->applyNiceNumbers();
    axis->setMin(0);
    axis->setLabelFormat(marks == Marks::Percent ? QStringLiteral("%.0f%%") : QStringLiteral("%g"));
    styleAxis(axis, o);
    return axis;
}

void addBars(QChart *chart, const ChartData &data, const QList<Series> &shown, bool stacked, const ChartOptions &o)
{
    QAbstractBarSeries *bars = stacked ? static_cast<QAbstractBarSeries *>(new QStackedBarSeries) : new QBarSeries;
    for (qsizetype n = 0; n < shown.size(); ++n) {
        const Series &s = shown[n];
        auto *set = new QBarSet(s.name);
        for (qsizetype c = 0; c < data.categories.size(); ++c) {
            const double v = s.values.value(c, kMissing);
            *set << (missing(v) ? 0.0 : v);
        }
        set->setLabelFont(o.font);
        set->setColor(colourOf(s, n));
        set->setBorderColor(colourOf(s, n).darker(115));
        // Inside a stacked column a mark stands on the series' colour, above a column on the ground.
        set->setLabelColor(stacked ? QColor(Qt::white) : textColor(o));
        bars->append(set);
    }
    bars->setLabelsVisible(o.marks != Marks::None);
    bars->setLabelsFormat(markFormat(o.marks, "@value"));
    bars->setLabelsPosition(stacked ? QAbstractBarSeries::LabelsCenter : QAbstractBarSeries::LabelsOutsideEnd);
    chart->addSeries(bars);
    auto *categories = new QBarCategoryAxis;
    categories->append(data.categories);
    styleAxis(categories, o);
    chart->addAxis(categories, Qt::AlignBottom);
    bars->attachAxis(categories);
    QValueAxis *values = valueAxis(largest(shown, stacked, data.categories.size()), o.marks, o);
    chart->addAxis(values, Qt::AlignLeft);
    bars->attachAxis(values);
}

void addPie(QChart *chart, const ChartData &data, const QList<Series> &shown, const ChartOptions &o)
{
    auto *pie = new QPieSeries;
    if (!shown.isEmpty()) {
        const Series &s = shown.first();
        pie->setName(s.name);
        for (qsizetype c = 0; c < data.categories.size(); ++c) {
            const double v = s.values.value(c, kMissing);
            if (missing(v) || v <= 0) continue;
            const QString mark = o.marks == Marks::Percent ? QString::number(v, 'f', 1) + u'%' : QString::number(v, 'g', 10);
            QPieSlice *slice = pie->append(o.marks == Marks::None ? data.categories.at(c) : data.categories.at(c) + u' ' + mark, v);
            slice->setLabelVisible(true);
            slice->setLabelFont(o.font);
            slice->setLabelColor(o.axisLabelColor.isValid() ? o.axisLabelColor : textColor(o));
            slice->setColor(seriesColor(c));
            slice->setBorderColor(Qt::white);
        }
    }
    pie->setPieSize(0.62);
    chart->addSeries(pie);
}

void addLines(QChart *chart, const ChartData &data, const QList<Series> &shown, const ChartOptions &o)
{
    auto *categories = new QBarCategoryAxis;
    categories->append(data.categories);
    styleAxis(categories, o);
    chart->addAxis(categories, Qt::AlignBottom);
    QValueAxis *values = valueAxis(largest(shown, false, data.categories.size()), o.marks, o);
    chart->addAxis(values, Qt::AlignLeft);
    for (qsizetype k = 0; k < shown.size(); ++k) {
        const Series &s = shown[k];
        auto *line = new QLineSeries;
        line->setName(s.name);
        for (qsizetype c = 0; c < data.categories.size(); ++c) {
            const double v = s.values.value(c, kMissing);
            if (!missing(v)) line->append(double(c), v);
        }
        line->setPointsVisible(true);
        line->setPointLabelsVisible(o.marks != Marks::None && shown.size() <= 2);
        line->setPointLabelsFormat(markFormat(o.marks, "@yPoint"));
        line->setPointLabelsFont(o.font);
        line->setPointLabelsColor(textColor(o));
        line->setPointLabelsClipping(false);
        line->setPen(QPen(colourOf(s, k), 2.5));
        chart->addSeries(line);
        line->attachAxis(categories);
        line->attachAxis(values);
    }
}

void addRadar(QPolarChart *chart, const ChartData &data, const QList<Series> &shown, const ChartOptions &o)
{
    const qsizetype n = data.categories.size();
    // The categories stand at angles 0, 1, … n-1 of a circle running from 0 to n.
    auto *angular = new QCategoryAxis;
    angular->setRange(0, double(std::max<qsizetype>(n, 1)));
    angular->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (qsizetype c = 0; c < n; ++c)
        angular->append(data.categories.at(c), double(c) + (c == 0 ? 1e-9 : 0.0));
    styleAxis(angular, o);
    chart->addAxis(angular, QPolarChart::PolarOrientationAngular);

    const double top = o.radialMax > 0 ? o.radialMax : largest(shown, false, n);
    const double bottom = std::clamp(o.radialMin, 0.0, top);
    QAbstractAxis *radial = nullptr;
    if (!o.radialLevels.isEmpty()) {
        auto *levels = new QCategoryAxis;
        levels->setRange(bottom, top);
        levels->setStartValue(bottom);
        levels->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        QList<RadialLevel> sorted = o.radialLevels;
        std::sort(sorted.begin(), sorted.end(), [](const RadialLevel &a, const RadialLevel &b) { return a.value < b.value; });
        for (const RadialLevel &l : sorted)
            if (l.value > bottom && l.value <= top) levels->append(l.label, l.value);
        radial = levels;
    } else {
        auto *values = new QValueAxis;
        values->setRange(bottom, top);
        values->applyNiceNumbers();
        values->setMin(bottom);
        values->setLabelFormat(o.marks == Marks::Percent ? QStringLiteral("%.0f%%") : QStringLiteral("%g"));
        radial = values;
    }
    styleAxis(radial, o);
    chart->addAxis(radial, QPolarChart::PolarOrientationRadial);

    for (qsizetype k = 0; k < shown.size(); ++k) {
        const Series &s = shown[k];
        auto *line = new QLineSeries;
        line->setName(s.name);
        for (qsizetype c = 0; c < n; ++c) {
            const double v = s.values.value(c, kMissing);
            if (!missing(v)) line->append(double(c), v);
        }
        // Closed: back to the first category, a full turn on.
        if (n > 1 && !missing(s.values.value(0, kMissing))) line->append(double(n), s.values.value(0));
        line->setPointsVisible(true);
        line->setPointLabelsVisible(o.marks != Marks::None && shown.size() <= 2);
        line->setPointLabelsFormat(markFormat(o.marks, "@yPoint"));
        line->setPointLabelsFont(o.font);
        line->setPointLabelsColor(textColor(o));
        line->setPen(QPen(colourOf(s, k), 3));
        chart->addSeries(line);
        line->attachAxis(angular);
        line->attachAxis(radial);
    }
}

} // namespace

QColor seriesColor(qsizetype n)
{
    static const QColor palette[] = {{0x2E, 0x75, 0xB6}, {0xED, 0x7D, 0x31}, {0x70, 0xAD, 0x47}, {0xFF, 0xC0, 0x00}, {0x7E, 0x57, 0xC2},
                                     {0xC0, 0x39, 0x2B}, {0x00, 0x9E, 0x9A}, {0xE9, 0x6F, 0xA9}, {0x8D, 0x6E, 0x63}, {0x5B, 0x9B, 0xD5}};
    return palette[n % qsizetype(std::size(palette))];
}

double percentOf(double value, double total)
{
    if (missing(value) || missing(total) || total == 0) return 0;
    return value / total * 100.0;
}

QList<Series> shownSeries(const ChartData &data, ChartKind kind, Marks marks)
{
    QList<Series> shown = data.series;
    if (marks != Marks::Percent) return shown;
    const qsizetype n = data.categories.size();
    if (kind == ChartKind::Structure) {
        for (qsizetype c = 0; c < n; ++c) {
            double total = 0;
            for (const Series &s : data.series)
                if (!missing(s.values.value(c, kMissing))) total += s.values.value(c);
            for (Series &s : shown)
                if (c < s.values.size() && !missing(s.values[c])) s.values[c] = percentOf(s.values[c], total);
        }
        return shown;
    }
    for (Series &s : shown) {
        double total = 0;
        for (double v : s.values)
            if (!missing(v)) total += v;
        for (double &v : s.values)
            if (!missing(v)) v = percentOf(v, total);
    }
    return shown;
}

QChart *buildChart(const ChartData &data, ChartKind kind, const ChartOptions &options)
{
    QList<Series> shown = shownSeries(data, kind, options.marks);
    const int decimals = options.marks == Marks::Percent ? 1 : options.decimals;
    for (Series &s : shown)
        for (double &v : s.values)
            v = rounded(v, decimals);

    QChart *chart = kind == ChartKind::Radar ? new QPolarChart : new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTitle(data.title);
    QFont title = options.font;
    title.setBold(true);
    if (title.pointSizeF() > 0) title.setPointSizeF(title.pointSizeF() + 3);
    chart->setTitleFont(title);
    chart->setTitleBrush(options.titleColor.isValid() ? options.titleColor : textColor(options));
    if (options.background.isValid()) {
        chart->setBackgroundBrush(options.background);
        chart->setPlotAreaBackgroundVisible(false);
    }
    chart->legend()->setFont(options.font);
    chart->legend()->setLabelColor(textColor(options));
    chart->legend()->setAlignment(kind == ChartKind::Pie ? Qt::AlignRight : Qt::AlignBottom);
    // One series has nothing to tell apart, except the slices of a pie.
    chart->legend()->setVisible(kind == ChartKind::Pie || shown.size() > 1);

    switch (kind) {
    case ChartKind::Column:
        addBars(chart, data, shown, false, options);
        break;
    case ChartKind::Structure:
        addBars(chart, data, shown, true, options);
        break;
    case ChartKind::Pie:
        addPie(chart, data, shown, options);
        break;
    case ChartKind::Line:
        addLines(chart, data, shown, options);
        break;
    case ChartKind::Radar:
        addRadar(static_cast<QPolarChart *>(chart), data, shown, options);
        break;
    }
    return chart;
}

} // namespace lumeko::chart
