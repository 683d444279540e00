#include "gridtesting.h"

#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
// The average of the fixture's scores over the students `take` lets through, as text.
QString averageText(const std::function<bool(int)> &take, int count = 30, const std::function<QVariant(int)> &score = studentScore)
{
    double sum = 0;
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (take(i) && !wire::isNull(score(i))) {
            sum += score(i).toDouble();
            ++n;
        }
    return QStringLiteral("平均=") + QString::number(sum / n, 'f', 2);
}
} // namespace

TEST(GridFooter, SummarisesTheRowsShownInTheirFormats)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    auto all = [](int) { return true; };
    EXPECT_EQ(g.footerText(h.col("sName")), QStringLiteral("人数=30"));
    EXPECT_EQ(g.footerText(h.col("nScore")), averageText(all));
    EXPECT_EQ(g.footerText(h.col("iClassNo")), QStringLiteral("最大=10"));
    EXPECT_EQ(g.footerText(h.col("dBirthday")), QStringLiteral("最早=2010-01-01"));
    EXPECT_EQ(g.footerText(h.col("ClassCode")), QString());
    EXPECT_EQ(g.footerText(h.col("sSex")), QString());

    // A sum in a column that had none; seats 1..10 three times.
    GridColumn seat = g.column(h.col("iClassNo"));
    seat.summary = SummaryKind::Sum;
    seat.summaryFormat = QStringLiteral("合计=,0");
    g.updateColumn(h.col("iClassNo"), seat);
    EXPECT_EQ(g.footerText(h.col("iClassNo")), QStringLiteral("合计=165"));
    // Counting counts values: the two students without a score are not counted.
    GridColumn score = g.column(h.col("nScore"));
    score.summary = SummaryKind::Count;
    score.summaryFormat = QStringLiteral("0人有成绩");
    g.updateColumn(h.col("nScore"), score);
    EXPECT_EQ(g.footerText(h.col("nScore")), QStringLiteral("28人有成绩"));
    score.summary = SummaryKind::Min;
    score.summaryFormat = QStringLiteral("最低=0.0");
    g.updateColumn(h.col("nScore"), score);
    EXPECT_EQ(g.footerText(h.col("nScore")), QStringLiteral("最低=60.0"));

    // Only the rows the column filters let through count.
    g.setColumnFilter(h.col("sSex"), {QStringLiteral("女")});
    EXPECT_EQ(g.footerText(h.col("sName")), QStringLiteral("人数=15"));
    EXPECT_EQ(g.footerText(h.col("dBirthday")), QStringLiteral("最早=2010-01-12"));
    g.clearColumnFilters();

    // Thousands separators on a long list.
    GridHarness big(1200);
    EXPECT_EQ(big.grid.footerText(big.col("sName")), QStringLiteral("人数=1,200"));
}

TEST(GridFooter, FollowsEditsInsertsAndDeletes)
{
    GridHarness h;
    BandedGrid &g = h.grid;
    QSignalSpy changed(g.gridModel(), &GridModel::summariesChanged);
    const int scoreColumn = h.col("nScore");
    std::map<int, double> edited;
    auto score = [&](int i) { return edited.count(i) ? QVariant(edited[i]) : studentScore(i); };
    auto all = [](int) { return true; };

    // A score typed in changes the average at once, before the row is posted.
    ASSERT_TRUE(g.editCell(4, scoreColumn)); // student 4 had no score
    auto *spin = qobject_cast<QDoubleSpinBox *>(g.activeEditor());
    ASSERT_NE(spin, nullptr);
    spin->setValue(100);
    QTest::keyClick(spin, Qt::Key_Return);
    edited[4] = 100;
    EXPECT_EQ(h.students.state(), DataSetState::Edit);
    EXPECT_EQ(g.footerText(scoreColumn), averageText(all, 30, score));
    EXPECT_GT(changed.count(), 0);
    ASSERT_TRUE(g.postEdit());

    // Rows the page inserts and deletes through the table.
    h.students.append();
    h.students.setValue(u"sCode", QStringLiteral("{new}"));
    h.students.setValue(u"sName", QStringLiteral("新同学"));
    h.students.setValue(u"nScore", 40.0);
    h.students.setValue(u"dBirthday", QDate(2009, 12, 31));
    h.students.post();
    EXPECT_EQ(g.footerText(h.col("sName")), QStringLiteral("人数=31"));
    EXPECT_EQ(g.footerText(h.col("dBirthday")), QStringLiteral("最早=2009-12-31"));
    h.students.moveTo(0);
    h.students.deleteRecord(); // student 0
    EXPECT_EQ(g.footerText(h.col("sName")), QStringLiteral("人数=30"));
    edited[30] = 40;
    EXPECT_EQ(g.footerText(scoreColumn), averageText([](int i) { return i != 0; }, 31, score));
}
