#include "toolkit/chart/chartbuild.h"
#include "toolkit/chart/chartview.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QImageReader>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QPolarChart>
#include <QStackedBarSeries>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace lumeko::chart;

namespace {

QList<double> valuesOf(const QBarSet *set)
{
    QList<double> out;
    for (int i = 0; i < set->count(); ++i)
        out << set->at(i);
    return out;
}

QList<QPointF> pointsOf(const QAbstractSeries *series)
{
    return static_cast<const QXYSeries *>(series)->points();
}

} // namespace

TEST(ChartMarks, PercentagesAreSharesOfTheSeriesOrOfTheCategory)
{
    const ChartData d{QStringLiteral("t"), {"701", "702", "703"}, {{"不及格", {1, 2, kMissing}}, {"优秀", {3, 2, 5}}}};
    // Values stay as they are.
    QList<Series> shown = shownSeries(d, ChartKind::Column, Marks::Values);
    EXPECT_EQ(shown.at(1).values, (QList<double>{3, 2, 5}));
    // A column's share of its series: 不及格 1 of 3 and 2 of 3; 优秀 3, 2 and 5 of 10.
    shown = shownSeries(d, ChartKind::Column, Marks::Percent);
    EXPECT_NEAR(shown.at(0).values.at(0), 100.0 / 3, 1e-9);
    EXPECT_NEAR(shown.at(0).values.at(1), 200.0 / 3, 1e-9);
    EXPECT_TRUE(std::isnan(shown.at(0).values.at(2))) << "a missing value stays missing";
    EXPECT_EQ(shown.at(1).values, (QList<double>{30, 20, 50}));
    // A structure column's share of its class: 701 has 1 + 3, 702 2 + 2, 703 only 5.
    shown = shownSeries(d, ChartKind::Structure, Marks::Percent);
    EXPECT_EQ(shown.at(0).values.mid(0, 2), (QList<double>{25, 50}));
    EXPECT_EQ(shown.at(1).values, (QList<double>{75, 50, 100}));

    EXPECT_EQ(percentOf(3, 12), 25);
    EXPECT_EQ(percentOf(3, 0), 0);
    EXPECT_EQ(percentOf(kMissing, 10), 0);
}

TEST(ChartBuild, ColumnsAndStructureHoldOneSetPerSeries)
{
    const ChartData d{QStringLiteral("各班平均分"), {"701", "702"}, {{"语文", {88.456, kMissing}}, {"数学", {75, 81.25}}}};
    std::unique_ptr<QChart> chart(buildChart(d, ChartKind::Column, ChartOptions{}));
    EXPECT_EQ(chart->title(), QStringLiteral("各班平均分"));
    ASSERT_EQ(chart->series().size(), 1);
    auto *bars = qobject_cast<QBarSeries *>(chart->series().first());
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 2);
    EXPECT_EQ(bars->barSets().at(0)->label(), QStringLiteral("语文"));
    // Marks of one decimal: 88.456 shows as 88.5; a missing value is a column of 0.
    EXPECT_EQ(valuesOf(bars->barSets().at(0)), (QList<double>{88.5, 0}));
    EXPECT_EQ(valuesOf(bars->barSets().at(1)), (QList<double>{75, 81.3}));
    EXPECT_TRUE(bars->isLabelsVisible());
    EXPECT_TRUE(chart->legend()->isVisible()) << "two series need a legend";

    ChartOptions none;
    none.marks = Marks::None;
    ChartData coloured = d;
    coloured.series[0].color = QColor(0xD9, 0x3B, 0x3B);
    chart.reset(buildChart(coloured, ChartKind::Structure, none));
    auto *stacked = qobject_cast<QStackedBarSeries *>(chart->series().first());
    ASSERT_NE(stacked, nullptr);
    EXPECT_FALSE(stacked->isLabelsVisible());
    EXPECT_EQ(stacked->barSets().at(0)->color(), QColor(0xD9, 0x3B, 0x3B)) << "a series' own colour";

    ChartOptions percent;
    percent.marks = Marks::Percent;
    chart.reset(buildChart(d, ChartKind::Structure, percent));
    stacked = qobject_cast<QStackedBarSeries *>(chart->series().first());
    ASSERT_NE(stacked, nullptr);
    // 701: 88.456 and 75 of 163.456; 702: only 数学.
    EXPECT_EQ(valuesOf(stacked->barSets().at(0)), (QList<double>{54.1, 0}));
    EXPECT_EQ(valuesOf(stacked->barSets().at(1)), (QList<double>{45.9, 100}));
    EXPECT_EQ(stacked->labelsFormat(), QStringLiteral("@value%"));
}

TEST(ChartBuild, PieSlicesAreTheCategoriesThatCount)
{
    const ChartData d{QStringLiteral("语文 前20名 各班占比"), {"701", "702", "703", "704"}, {{"人数", {6, 0, kMissing, 2}}}};
    ChartOptions o;
    std::unique_ptr<QChart> chart(buildChart(d, ChartKind::Pie, o));
    auto *pie = qobject_cast<QPieSeries *>(chart->series().first());
    ASSERT_NE(pie, nullptr);
    QStringList labels;
    for (QPieSlice *s : pie->slices())
        labels << s->label();
    EXPECT_EQ(labels, (QStringList{"701 6", "704 2"})) << "no slice for 0 or for nothing";

    o.marks = Marks::Percent;
    chart.reset(buildChart(d, ChartKind::Pie, o));
    labels.clear();
    for (QPieSlice *s : qobject_cast<QPieSeries *>(chart->series().first())->slices())
        labels << s->label();
    EXPECT_EQ(labels, (QStringList{"701 75.0%", "704 25.0%"}));
}

TEST(ChartBuild, LinesSkipMissingPointsAndTheRadarCloses)
{
    const ChartData d{QStringLiteral("t"), {"语文", "数学", "英语", "物理"}, {{"701", {90, kMissing, 70, 80}}, {"702", {kMissing, 60, 65, 75}}}};
    std::unique_ptr<QChart> chart(buildChart(d, ChartKind::Line, ChartOptions{}));
    ASSERT_EQ(chart->series().size(), 2);
    EXPECT_EQ(pointsOf(chart->series().at(0)), (QList<QPointF>{{0, 90}, {2, 70}, {3, 80}}));
    EXPECT_EQ(pointsOf(chart->series().at(1)), (QList<QPointF>{{1, 60}, {2, 65}, {3, 75}}));

    ChartOptions o;
    o.radialMax = 100;
    o.radialLevels = {{100, "满分"}, {60, "及格"}, {90, "优秀"}, {80, "优良"}};
    chart.reset(buildChart(d, ChartKind::Radar, o));
    ASSERT_NE(qobject_cast<QPolarChart *>(chart.get()), nullptr);
    // The first class's line goes round and back to 语文, a full turn (4) on.
    EXPECT_EQ(pointsOf(chart->series().at(0)), (QList<QPointF>{{0, 90}, {2, 70}, {3, 80}, {4, 90}}));
    // Without a value for 语文 there is nothing to close on.
    EXPECT_EQ(pointsOf(chart->series().at(1)).size(), 3);
    auto *radial = qobject_cast<QCategoryAxis *>(static_cast<QPolarChart *>(chart.get())->axes(QPolarChart::PolarOrientationRadial).value(0));
    ASSERT_NE(radial, nullptr);
    EXPECT_EQ(radial->categoriesLabels(), (QStringList{"及格", "优良", "优秀", "满分"})) << "the levels from the centre out";
    EXPECT_EQ(radial->max(), 100);
    auto *angular = qobject_cast<QCategoryAxis *>(static_cast<QPolarChart *>(chart.get())->axes(QPolarChart::PolarOrientationAngular).value(0));
    ASSERT_NE(angular, nullptr);
    EXPECT_EQ(angular->categoriesLabels(), d.categories);
}

TEST(ChartView, SavesPicturesInTheFormatOfTheSuffix)
{
    ChartView view;
    view.resize(640, 420);
    view.showData(ChartData{QStringLiteral("各班结构图"), {"701", "702"}, {{"优秀", {5, 3}}}}, ChartKind::Column, ChartOptions{});
    const QSizeF before = view.chart()->size();
    const QImage picture = view.image(QSize(600, 400));
    ASSERT_EQ(picture.size(), QSize(600, 400));
    // Something was drawn: the columns are not white.
    int coloured = 0;
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4)
            if (qGray(picture.pixel(x, y)) < 200) ++coloured;
    EXPECT_GT(coloured, 100);

    QTemporaryDir dir;
    QString error;
    for (const char *name : {"chart.png", "chart.JPG", "chart.jpeg", "chart.bmp"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(view.saveImage(path, &error, QSize(300, 200))) << name << error.toStdString();
        QImageReader reader(path);
        EXPECT_EQ(reader.size(), QSize(300, 200)) << name;
        const QByteArray expected = QString::fromLatin1(name).section(u'.', -1).toLower() == u"png"   ? "png"
                                    : QString::fromLatin1(name).section(u'.', -1).toLower() == u"bmp" ? "bmp"
                                                                                                      : "jpeg";
        EXPECT_EQ(reader.format(), expected) << name;
    }
    EXPECT_FALSE(view.saveImage(dir.filePath("chart.gif"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("不支持的图片格式"))) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("chart.gif")));
    // The chart in the view keeps its size after drawing pictures at others.
    EXPECT_EQ(view.chart()->size(), before);
}
