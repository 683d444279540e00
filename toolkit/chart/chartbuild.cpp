#include "toolkit/chart/chartbuild.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QPolarChart>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

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

void styleAxis(QAbstractAxis *axis, const ChartOptions &o)
{
    axis->setLabelsFont(o.font);
    if (o.axisLabelColor.isValid()) axis->setLabelsColor(o.axisLabelColor);
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
    for (const Series &s : shown) {
        auto *set = new QBarSet(s.name);
        for (qsizetype c = 0; c < data.categories.size(); ++c) {
            const double v = s.values.value(c, kMissing);
            *set << (missing(v) ? 0.0 : v);
        }
        set->setLabelFont(o.font);
        if (s.color.isValid()) set->setColor(s.color);
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
            if (o.axisLabelColor.isValid()) slice->setLabelColor(o.axisLabelColor);
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
    for (const Series &s : shown) {
        auto *line = new QLineSeries;
        line->setName(s.name);
        for (qsizetype c = 0; c < data.categories.size(); ++c) {
            const double v = s.values.value(c, kMissing);
            if (!missing(v)) line->append(double(c), v);
        }
        line->setPointsVisible(true);
        line->setPointLabelsVisible(o.marks != Marks::None);
        line->setPointLabelsFormat(markFormat(o.marks, "@yPoint"));
        line->setPointLabelsFont(o.font);
        line->setPointLabelsClipping(false);
        if (s.color.isValid()) line->setColor(s.color);
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
    QAbstractAxis *radial = nullptr;
    if (!o.radialLevels.isEmpty()) {
        auto *levels = new QCategoryAxis;
        levels->setRange(0, top);
        levels->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        QList<RadialLevel> sorted = o.radialLevels;
        std::sort(sorted.begin(), sorted.end(), [](const RadialLevel &a, const RadialLevel &b) { return a.value < b.value; });
        for (const RadialLevel &l : sorted)
            if (l.value > 0 && l.value <= top) levels->append(l.label, l.value);
        radial = levels;
    } else {
        auto *values = new QValueAxis;
        values->setRange(0, top);
        values->applyNiceNumbers();
        values->setMin(0);
        values->setLabelFormat(o.marks == Marks::Percent ? QStringLiteral("%.0f%%") : QStringLiteral("%g"));
        radial = values;
    }
    styleAxis(radial, o);
    chart->addAxis(radial, QPolarChart::PolarOrientationRadial);

    for (const Series &s : shown) {
        auto *line = new QLineSeries;
        line->setName(s.name);
        for (qsizetype c = 0; c < n; ++c) {
            const double v = s.values.value(c, kMissing);
            if (!missing(v)) line->append(double(c), v);
        }
        // Closed: back to the first category, a full turn on.
        if (n > 1 && !missing(s.values.value(0, kMissing))) line->append(double(n), s.values.value(0));
        line->setPointsVisible(true);
        line->setPointLabelsVisible(o.marks != Marks::None);
        line->setPointLabelsFormat(markFormat(o.marks, "@yPoint"));
        line->setPointLabelsFont(o.font);
        if (s.color.isValid()) line->setColor(s.color);
        chart->addSeries(line);
        line->attachAxis(angular);
        line->attachAxis(radial);
    }
}

} // namespace

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
    if (options.titleColor.isValid()) chart->setTitleBrush(options.titleColor);
    chart->legend()->setFont(options.font);
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
