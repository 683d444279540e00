#include "gridtesting.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
struct Look {
    QString field;
    int width;
    bool visible;
    int band;
    bool operator==(const Look &) const = default;
};

QList<Look> looks(const BandedGrid &g)
{
    QList<Look> out;
    for (const GridColumn &c : g.columns()) out.append({c.field, c.width, c.visible, c.band});
    return out;
}
} // namespace

TEST(GridLayout, IsSavedAndRestoredPerUser)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("UserData/T001/TfrmStudent.ini"));

    GridHarness before;
    BandedGrid &a = before.grid;
    a.setColumnWidth(before.col("nScore"), 120);
    a.setColumnVisible(before.col("sMemo"), false);
    a.moveColumn(before.col("sSex"), 1, 0);
    a.moveColumn(before.col("dBirthday"), a.fixedBandColumnCount(), 1);
    a.groupBy(before.col("ClassCode"));
    a.sortBy(before.col("iClassNo"), Qt::DescendingOrder);
    a.setGroupByBoxVisible(false);
    ASSERT_TRUE(a.saveLayout(path)) << "the user's folder is made when missing";
    ASSERT_TRUE(QFile::exists(path));

    GridHarness after;
    BandedGrid &b = after.grid;
    ASSERT_TRUE(b.restoreLayout(path));
    EXPECT_EQ(looks(b), looks(a));
    EXPECT_EQ(b.fixedBandColumnCount(), 4);
    EXPECT_EQ(b.column(1).field, QStringLiteral("sSex"));
    EXPECT_EQ(b.groupColumns(), QList<int>{after.col("ClassCode")});
    EXPECT_EQ(b.sortColumns(), a.sortColumns());
    EXPECT_FALSE(b.groupByBoxVisible());
    QVariantList seats = after.tableOrder(QStringLiteral("iClassNo"));
    EXPECT_EQ(seats.first().toInt(), 10) << "the table is in the restored order";
    EXPECT_EQ(after.gridColumn("sName"), before.gridColumn("sName"));

    // A missing file restores nothing and changes nothing.
    GridHarness untouched;
    const QList<Look> plain = looks(untouched.grid);
    EXPECT_FALSE(untouched.grid.restoreLayout(dir.filePath(QStringLiteral("UserData/T001/none.ini"))));
    EXPECT_EQ(looks(untouched.grid), plain);
}

TEST(GridLayout, RestoresWhatItCanWhenColumnsChanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("layout.ini"));
    {
        GridHarness saved;
        BandedGrid &g = saved.grid;
        g.removeColumn(saved.col("sCode")); // added to the page after the layout was saved
        g.moveColumn(saved.col("sMemo"), g.fixedBandColumnCount(), 1);
        g.setColumnWidth(saved.col("sMemo"), 150);
        g.setColumnWidth(saved.col("sSex"), 33);
        g.groupBy(saved.col("sSex")); // a column the page no longer has
        g.groupBy(saved.col("ClassCode"));
        g.sortBy(saved.col("sSex"), Qt::DescendingOrder);
        g.sortBy(saved.col("nScore"), Qt::AscendingOrder, true);
        ASSERT_TRUE(g.saveLayout(path));
    }
    GridHarness now;
    BandedGrid &g = now.grid;
    g.removeColumn(now.col("sSex"));
    ASSERT_TRUE(g.restoreLayout(path));
    EXPECT_EQ(now.col("sSex"), -1);
    EXPECT_EQ(g.column(g.fixedBandColumnCount()).field, QStringLiteral("sMemo"));
    EXPECT_EQ(g.column(now.col("sMemo")).width, 150);
    EXPECT_EQ(g.columns().last().field, QStringLiteral("sCode")) << "a column the layout does not know goes last";
    EXPECT_FALSE(g.columns().last().visible);
    EXPECT_EQ(g.groupColumns(), QList<int>{now.col("ClassCode")});
    EXPECT_EQ(g.sortColumns(), (QList<GridSortColumn>{{QStringLiteral("ClassCode"), Qt::AscendingOrder}, {QStringLiteral("nScore"), Qt::AscendingOrder}}));

    // A file that is no layout of ours is left alone.
    const QString other = dir.filePath(QStringLiteral("other.ini"));
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[BandedGrid]\nVersion=7\nColumns\\size=1\nColumns\\1\\Field=sName\nColumns\\1\\Width=5\n");
    file.close();
    const int width = g.column(now.col("sName")).width;
    EXPECT_FALSE(g.restoreLayout(other));
    EXPECT_EQ(g.column(now.col("sName")).width, width);
}
