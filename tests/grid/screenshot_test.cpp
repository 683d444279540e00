#include "gridtesting.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QListWidget>
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

// The register page's grid while browsing: grouped by class, sorted by score, filters on.
void browse(GridHarness &h)
{
    BandedGrid &g = h.grid;
    g.setReadOnly(true);
    g.setFilteringEnabled(true);
    g.groupBy(h.col("ClassCode"));
    g.sortBy(h.col("nScore"), Qt::DescendingOrder);
    g.setColumnFilter(h.col("ClassCode"), {QStringLiteral("初一(1)班"), QStringLiteral("初一(2)班")});
    g.setCurrentCell(1, h.col("sName"));
    g.bandView(1)->selectionModel()->clearSelection();
    g.markSelectedRows(true);
    g.bestFit();
    g.setCurrentCell(2, h.col("nScore"));
    QApplication::processEvents();
}
} // namespace

TEST(GridPicture, FixedBandStaysWhileTheOtherScrolls)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.resize(560, 560);
    browse(h);
    const QImage before = g.grab().toImage();
    keep(before, "grid.png");

    QScrollBar *bar = g.bandView(1)->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 40) << "the band that scrolls is wider than the grid here";
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    const QImage after = g.grab().toImage();
    keep(after, "grid-scrolled.png");

    // The fixed band's pixels stay; the scrolling band's and its footer's change.
    QTreeView *fixed = g.bandView(0);
    const QRect fixedArea(fixed->mapTo(&g, QPoint(0, 0)), fixed->size());
    const QRect scrolling(g.bandView(1)->mapTo(&g, QPoint(0, 0)), g.bandView(1)->viewport()->size());
    EXPECT_EQ(before.copy(fixedArea), after.copy(fixedArea));
    EXPECT_NE(before.copy(scrolling), after.copy(scrolling));
    const QRect footer(0, scrolling.bottom() + 1, g.width(), h.grid.rowHeight());
    EXPECT_NE(before.copy(footer), after.copy(footer));
}

TEST(GridPicture, EditorsSitInTheirCellsAndTheFilterListShowsValues)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    g.resize(900, 420);
    g.bestFit();
    ASSERT_TRUE(g.editCell(3, h.col("ClassCode")));
    QWidget *editor = g.activeEditor();
    ASSERT_NE(qobject_cast<QComboBox *>(editor), nullptr);
    QApplication::processEvents();
    QTreeView *fixed = g.bandView(0);
    GridModel *m = g.gridModel();
    const QRect cell = fixed->visualRect(m->index(m->rowOfOrdinal(3), h.col("ClassCode")));
    EXPECT_TRUE(cell.adjusted(-1, -1, 1, 1).contains(editor->geometry())) << "the editor covers its cell and no more";
    EXPECT_GE(editor->width(), cell.width() - 2);
    keep(g.grab().toImage(), "grid-editing.png");
    g.closeEditor();

    g.setFilteringEnabled(true);
    g.showFilterPopup(h.col("iClassNo"));
    auto *list = g.findChild<QListWidget *>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 11);
    QApplication::processEvents();
    keep(list->window()->grab().toImage(), "grid-filter.png");
    list->window()->close();
}
