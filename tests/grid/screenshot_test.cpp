#include "gridtesting.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
// Pictures go to the folder in LUMEKO_GRID_SHOTS when it is set, for a person to look at.
void keep(const QImage &image, const char *name)
{
    const QString folder = qEnvironmentVariable("LUMEKO_GRID_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    image.save(QDir(folder).filePath(QString::fromLatin1(name)));
}
} // namespace

TEST(GridPicture, FixedBandStaysWhileTheOtherScrolls)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.resize(640, 560);
    g.setReadOnly(true);
    g.setFilteringEnabled(true);
    g.groupBy(h.col("ClassCode"));
    g.setColumnFilter(h.col("sSex"), {QStringLiteral("男"), QStringLiteral("女")});
    g.bestFit();
    g.setCurrentCell(2, h.col("nScore"));
    QApplication::processEvents();
    const QImage before = g.grab().toImage();
    keep(before, "grid.png");

    QScrollBar *bar = g.bandView(1)->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the band that scrolls is wider than the grid here";
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    const QImage after = g.grab().toImage();
    keep(after, "grid-scrolled.png");

    // The fixed band's pixels stay; the scrolling band's change.
    QTreeView *fixed = g.bandView(0);
    const QRect fixedArea(fixed->mapTo(&g, QPoint(0, 0)), fixed->size());
    const QRect scrolling(g.bandView(1)->mapTo(&g, QPoint(0, 0)), g.bandView(1)->viewport()->size());
    EXPECT_EQ(before.copy(fixedArea), after.copy(fixedArea));
    EXPECT_NE(before.copy(scrolling), after.copy(scrolling));
}
