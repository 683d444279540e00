#pragma once
// The diagrams the analyses draw, from plain numbers: categories along one axis (classes,
// subjects, exams) and one or more named series of values, one value per category.
//
//     ChartData d{"语文 前50名 各班占比", {"701", "702"}, {{"人数", {12, 9}}}};
//     QChart *chart = buildChart(d, ChartKind::Pie, ChartOptions{});
//
// A missing value is NaN: a column of 0, a gap in a line, a point left out of a radar; a pie
// leaves out slices of 0 and missing values.

#include "toolkit/chart/chart_export.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>

#include <limits>

class QChart;

namespace lumeko::chart {

inline constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

struct Series {
    QString name;
    QList<double> values; // one per category
    QColor color;         // invalid: the theme's next colour
};

struct ChartData {
    QString title;
    QStringList categories;
    QList<Series> series;
};

enum class ChartKind {
    Radar,     // one closed line per series around the categories (a polar chart)
    Column,    // a group of columns per category, one per series
    Pie,       // the first series, one slice per category
    Line,      // one line per series along the categories
    Structure, // one stacked column per category, the series stacked in their order
};

// What the marks beside columns, slices and points say.
enum class Marks {
    None,
    Values,  // the value
    Percent, // its share: of the category's total for a structure chart, else of the series' total
};

// A labelled ring of a radar chart's radial axis (a level name at its value).
struct RadialLevel {
    double value = 0;
    QString label;
};

struct ChartOptions {
    Marks marks = Marks::Values;
    int decimals = 1;      // of value marks; percentages get one decimal
    QFont font;            // of the axes, legend and marks; the title is bolder and larger
    QColor titleColor;     // invalid: the theme's
    QColor axisLabelColor; // invalid: the theme's
    // A chart on a coloured ground: its background, and the colour of its title, legend, axes and
    // marks on it (invalid: white ground, dark text).
    QColor background;
    QColor foreground;
    // Radar: the radial axis runs from radialMin to radialMax (0: the largest value), with
    // these levels as its labels instead of numbers when there are any.
    double radialMax = 0;
    double radialMin = 0; // the centre: a higher one spreads values that lie close to the rim
    QList<RadialLevel> radialLevels;
};

// The share a value is of a total, in percent; 0 when the total is 0 or either is missing.
LUMEKO_CHART_EXPORT double percentOf(double value, double total);

// The values a series shows under `marks`: the values themselves, or their percentages (of the
// series' total, or for a structure chart of their category's total over every series).
LUMEKO_CHART_EXPORT QList<Series> shownSeries(const ChartData &data, ChartKind kind, Marks marks);

// The colour of the n-th series (or slice) without a colour of its own: ten that tell apart.
LUMEKO_CHART_EXPORT QColor seriesColor(qsizetype n);

// A new chart (the caller owns it) of `data` as `kind`. Marks beside the points of lines and
// radars are drawn for one or two series only: more would cover each other.
LUMEKO_CHART_EXPORT QChart *buildChart(const ChartData &data, ChartKind kind, const ChartOptions &options);

} // namespace lumeko::chart
