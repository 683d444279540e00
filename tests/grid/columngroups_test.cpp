#include "gridtesting.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::testing;

namespace {
using wire::FieldDef;

// Eight students' marks in 语文 (Y) and 数学 (S), their total (Z), with grade and class ranks.
const QList<double> kChinese = {92, 78, 55, 88, 64, 47, 81, 70};
const QList<double> kMaths = {85, 96, 61, 58, 73, 90, 66, 52};
const QStringList kSubjects = {QStringLiteral("Y"), QStringLiteral("S"), QStringLiteral("Z")};

wire::DataPacket scorePacket()
{
    QList<FieldDef> fields = {{QStringLiteral("iNo"), FieldType::Integer, 0, FieldDef::Key},
                              {QStringLiteral("sName"), FieldType::Text, 20, 0},
                              {QStringLiteral("ClassCode"), FieldType::Text, 4, 0},
                              {QStringLiteral("sMemo"), FieldType::Text, 40, 0}};
    for (const QString &s : kSubjects) {
        fields.append({s + QStringLiteral("_Score"), FieldType::Float, 0, 0});
        fields.append({s + QStringLiteral("_GradeRank"), FieldType::Integer, 0, 0});
        fields.append({s + QStringLiteral("_ClassRank"), FieldType::Integer, 0, 0});
    }
    wire::DataPacket p(fields);
    const int n = int(kChinese.size());
    for (int i = 0; i < n; ++i) {
        QVariantList row = {i + 1, studentName(i), i % 2 == 0 ? QStringLiteral("0701") : QStringLiteral("0702"), QString()};
        for (int s = 0; s < 3; ++s) {
            auto mark = [s](int k) { return s == 0 ? kChinese[k] : s == 1 ? kMaths[k] : kChinese[k] + kMaths[k]; };
            int grade = 1, inClass = 1;
            for (int k = 0; k < n; ++k)
                if (mark(k) > mark(i)) {
                    ++grade;
                    inClass += k % 2 == i % 2 ? 1 : 0;
                }
            row << mark(i) << grade << inClass;
        }
        p.appendRow(row);
    }
    return p;
}

GridColumn makeColumn(const QString &field, const QString &caption, int width, int band = 1, const QStringList &groups = {})
{
    GridColumn c;
    c.field = field;
    c.caption = caption;
    c.width = width;
    c.band = band;
    c.groups = groups;
    return c;
}

// A score-entry page's grid: 学号, 姓名 and 班级 fixed; 成绩, 段名 and 班名 of 语文 and 数学 under
// 考试科目, of 全总 under 考试总分; 备注 under no group.
QList<GridColumn> scoreColumns(const QString &chinese = QStringLiteral("语文"))
{
    QList<GridColumn> columns = {makeColumn(QStringLiteral("iNo"), QStringLiteral("学号"), 44, 0),
                                 makeColumn(QStringLiteral("sName"), QStringLiteral("姓名"), 70, 0),
                                 makeColumn(QStringLiteral("ClassCode"), QStringLiteral("班级"), 52, 0)};
    const QList<QStringList> paths = {
        {QStringLiteral("考试科目"), chinese}, {QStringLiteral("考试科目"), QStringLiteral("数学")}, {QStringLiteral("考试总分"), QStringLiteral("全总")}};
    for (int s = 0; s < 3; ++s) {
        columns.append(makeColumn(kSubjects[s] + QStringLiteral("_Score"), QStringLiteral("成绩"), 56, 1, paths[s]));
        columns.append(makeColumn(kSubjects[s] + QStringLiteral("_GradeRank"), QStringLiteral("段名"), 48, 1, paths[s]));
        columns.append(makeColumn(kSubjects[s] + QStringLiteral("_ClassRank"), QStringLiteral("班名"), 48, 1, paths[s]));
    }
    columns.append(makeColumn(QStringLiteral("sMemo"), QStringLiteral("备注"), 90));
    return columns;
}

struct ScoreGrid {
    DataSet table;
    BandedGrid grid;

    explicit ScoreGrid(const QList<GridColumn> &columns = scoreColumns())
    {
        table.setData(scorePacket());
        grid.resize(900, 360);
        grid.setDataSet(&table);
        grid.setColumns(columns);
        grid.show();
        QApplication::processEvents();
    }
    int col(const QString &field) const { return grid.columnOfField(field); }
    QHeaderView *header(int band) const { return grid.bandView(band)->header(); }
    void lock(const QString &field)
    {
        GridColumn c = grid.column(col(field));
        c.locked = true;
        grid.updateColumn(col(field), c);
    }
};

using Spans = std::vector<std::string>;

// The caption cells of a level as "caption:first field-last field".
Spans spans(const BandedGrid &g, int band, int level)
{
    Spans out;
    for (const GridColumnGroup &group : g.columnGroups(band, level))
        out.push_back((group.caption + u':' + g.column(group.first).field + u'-' + g.column(group.last).field).toStdString());
    return out;
}

void keep(const QImage &image, const char *name)
{
    const QString folder = qEnvironmentVariable("LUMEKO_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    image.save(QDir(folder).filePath(QString::fromLatin1(name)));
}

// Whether a part of a picture holds text: pixels far darker than the header colour.
bool hasInk(const QImage &image, const QRect &area)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110) return true;
    return false;
}

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

// As a drag does: entering makes the widget the drop's target. Whether the target took it.
bool drop(QWidget *target, QMimeData *data, QPoint at)
{
    std::unique_ptr<QMimeData> owned(data);
    QDragEnterEvent enter(at, Qt::MoveAction, owned.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(at, Qt::MoveAction, owned.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
    return enter.isAccepted() && event.isAccepted();
}
} // namespace

TEST(GridColumnGroups, CaptionsCoverRunsOfColumnsOfOneGroupPath)
{
    ScoreGrid s;
    BandedGrid &g = s.grid;
    ASSERT_EQ(g.groupCaptionRows(), 2);
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:Y_Score-S_ClassRank", "考试总分:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_ClassRank", "全总:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(g.columnGroups(1, 1).first(), (GridColumnGroup{QStringLiteral("语文"), s.col("Y_Score"), s.col("Y_ClassRank")}));
    EXPECT_TRUE(g.columnGroups(0, 0).isEmpty()) << "the fixed band's columns have no groups";
    EXPECT_TRUE(g.columnGroups(1, 2).isEmpty());
    EXPECT_TRUE(g.columnGroups(2, 0).isEmpty());

    // A hidden column inside a group is passed over; the first one hidden, the cell starts later.
    g.setColumnVisible(s.col("Y_GradeRank"), false);
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_ClassRank", "全总:Z_Score-Z_ClassRank"}));
    g.setColumnVisible(s.col("Y_Score"), false);
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_ClassRank-Y_ClassRank", "数学:S_Score-S_ClassRank", "全总:Z_Score-Z_ClassRank"}));
    g.setColumnVisible(s.col("Y_ClassRank"), false);
    EXPECT_EQ(spans(g, 1, 1), (Spans{"数学:S_Score-S_ClassRank", "全总:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:S_Score-S_ClassRank", "考试总分:Z_Score-Z_ClassRank"}));
    for (const char *field : {"Y_Score", "Y_GradeRank", "Y_ClassRank"})
        g.setColumnVisible(s.col(field), true);

    // No caption rows once no grouped column shows; they come back with the columns.
    for (int c = 0; c < g.columnCount(); ++c)
        if (!g.column(c).groups.isEmpty()) g.setColumnVisible(c, false);
    EXPECT_EQ(g.groupCaptionRows(), 0);
    EXPECT_TRUE(g.columnGroups(1, 0).isEmpty());
    for (int c = 0; c < g.columnCount(); ++c)
        g.setColumnVisible(c, true);
    EXPECT_EQ(g.groupCaptionRows(), 2);

    // A 语文 column moved between the 数学 columns splits 数学, and stands under a 语文 cell of its
    // own; 考试科目 above them stays one cell.
    g.moveColumn(s.col("Y_GradeRank"), s.col("S_GradeRank") - 1, 1);
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_Score", "语文:Y_GradeRank-Y_GradeRank", "数学:S_GradeRank-S_ClassRank",
                                     "全总:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:Y_Score-S_ClassRank", "考试总分:Z_Score-Z_ClassRank"}));
    // A column without groups splits every level.
    g.moveColumn(s.col("sMemo"), s.col("Z_GradeRank"), 1);
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:Y_Score-S_ClassRank", "考试总分:Z_Score-Z_Score", "考试总分:Z_GradeRank-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_Score", "语文:Y_GradeRank-Y_GradeRank", "数学:S_GradeRank-S_ClassRank",
                                     "全总:Z_Score-Z_Score", "全总:Z_GradeRank-Z_ClassRank"}));
    g.moveColumn(s.col("sMemo"), g.columnCount() - 1, 1);
    g.moveColumn(s.col("Y_GradeRank"), s.col("Y_ClassRank"), 1);

    // Cells join on the whole path: the same caption under another outer group is another cell.
    GridColumn total = g.column(s.col("Z_Score"));
    total.groups = {QStringLiteral("考试科目"), QStringLiteral("全总")};
    g.updateColumn(s.col("Z_Score"), total);
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:Y_Score-Z_Score", "考试总分:Z_GradeRank-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_ClassRank", "全总:Z_Score-Z_Score", "全总:Z_GradeRank-Z_ClassRank"}));
    // A shorter path has no cell at the deeper level.
    total.groups = {QStringLiteral("考试总分")};
    g.updateColumn(s.col("Z_Score"), total);
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:Y_Score-S_ClassRank", "考试总分:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_Score-S_ClassRank", "全总:Z_GradeRank-Z_ClassRank"}));

    // Each band has cells of its own: a 数学 column moved into the fixed band takes one along.
    g.moveColumn(s.col("S_Score"), g.fixedBandColumnCount(), 0);
    EXPECT_EQ(spans(g, 0, 0), Spans{"考试科目:S_Score-S_Score"});
    EXPECT_EQ(spans(g, 0, 1), Spans{"数学:S_Score-S_Score"});
    EXPECT_EQ(spans(g, 1, 1), (Spans{"语文:Y_Score-Y_ClassRank", "数学:S_GradeRank-S_ClassRank", "全总:Z_GradeRank-Z_ClassRank"}));
}

TEST(GridColumnGroups, HeadersMakeRoomForTheCaptionRowsAndPaintTheCells)
{
    // Without groups the header is as high as it always was; the rows start under it.
    ScoreGrid plain(scoreColumns().mid(0, 3) + scoreColumns().mid(12));
    QFont bold = plain.grid.font();
    bold.setBold(true);
    const int plainHeight = QFontMetrics(bold).height() + 12;
    EXPECT_EQ(plain.grid.groupCaptionRows(), 0);
    EXPECT_EQ(plain.header(1)->height(), plainHeight);
    EXPECT_EQ(plain.header(0)->height(), plainHeight);

    ScoreGrid s;
    BandedGrid &g = s.grid;
    QHeaderView *h = s.header(1);
    const int height = h->height();
    EXPECT_GT(height, plainHeight + 2 * QFontMetrics(bold).height()) << "two caption rows";
    EXPECT_EQ(s.header(0)->height(), height) << "both bands' rows start level";
    EXPECT_EQ(g.bandView(1)->viewport()->y(), height);
    EXPECT_EQ(g.bandView(0)->viewport()->y(), height);
    const QImage picture = g.grab().toImage();
    keep(picture, "grid-column-groups.png");

    // The rows of captions: the level under 考试科目 starts where the top row ends, and the
    // columns' own captions under the bottom row.
    const GridStyle &style = g.gridStyle();
    const QRgb line = style.gridLine.rgb(), fill = style.header.rgb();
    QImage image = h->grab().toImage();
    int rowEnd = -1; // the bottom line of the top caption row, over the 语文 columns
    const int inside = h->sectionViewportPosition(s.col("Y_GradeRank")) + 5;
    for (int y = 1; y < height && rowEnd < 0; ++y)
        if (image.pixel(inside, y) == line) rowEnd = y;
    ASSERT_GT(rowEnd, 8);
    ASSERT_LT(rowEnd, height / 2);
    auto right = [&](int c) { return h->sectionViewportPosition(c) + h->sectionSize(c) - 1; };
    const int level1 = rowEnd + 3, captions = height - 4;
    // 语文's cell ends with its last column; inside it no line parts the columns, below it they do.
    EXPECT_EQ(image.pixel(right(s.col("Y_ClassRank")), level1), line);
    EXPECT_EQ(image.pixel(right(s.col("Y_Score")), level1), fill);
    EXPECT_EQ(image.pixel(right(s.col("Y_Score")), captions), line);
    EXPECT_EQ(image.pixel(right(s.col("Y_ClassRank")), 2), fill) << "考试科目 runs on over 数学";
    EXPECT_EQ(image.pixel(right(s.col("S_ClassRank")), 2), line);
    const QRect chinese(h->sectionViewportPosition(s.col("Y_Score")), rowEnd + 1, right(s.col("Y_ClassRank")) - h->sectionViewportPosition(s.col("Y_Score")),
                        rowEnd);
    EXPECT_TRUE(hasInk(image, chinese)) << "the caption 语文";
    EXPECT_TRUE(hasInk(image, QRect(chinese.left(), 0, chinese.width() * 2, rowEnd))) << "the caption 考试科目";
    // 备注, in no group, has one header cell from top to bottom with its caption in the middle.
    const int memo = h->sectionViewportPosition(s.col("sMemo"));
    EXPECT_NE(image.pixel(memo + 3, rowEnd), line);
    EXPECT_FALSE(hasInk(image, QRect(memo, 0, h->sectionSize(s.col("sMemo")) - 1, rowEnd)));
    EXPECT_TRUE(hasInk(image, QRect(memo, height / 2 - 4, h->sectionSize(s.col("sMemo")) - 1, 8)));

    // A wider column widens its group's cell.
    const int before = right(s.col("Y_ClassRank"));
    g.setColumnWidth(s.col("Y_GradeRank"), g.column(s.col("Y_GradeRank")).width + 40);
    QApplication::processEvents();
    image = h->grab().toImage();
    EXPECT_EQ(right(s.col("Y_ClassRank")), before + 40);
    EXPECT_EQ(image.pixel(before, level1), fill);
    EXPECT_EQ(image.pixel(before + 40, level1), line);

    // The cells scroll with their band.
    g.resize(420, 360);
    QApplication::processEvents();
    QScrollBar *bar = g.bandView(1)->horizontalScrollBar();
    const int edge = right(s.col("S_ClassRank")), shift = 200;
    ASSERT_GT(bar->maximum(), shift);
    bar->setValue(shift);
    QApplication::processEvents();
    image = h->grab().toImage();
    EXPECT_EQ(right(s.col("S_ClassRank")), edge - shift);
    ASSERT_LT(edge - shift + 1, image.width());
    EXPECT_EQ(image.pixel(edge - shift, 2), line);
    EXPECT_EQ(image.pixel(edge - shift + 1, level1), fill) << "全总 starts after the line";

    // Groups given later raise the header; taken away, it is as high as a plain one.
    QList<GridColumn> columns = g.columns();
    for (GridColumn &c : columns)
        c.groups.clear();
    g.setColumns(columns);
    EXPECT_EQ(h->height(), plainHeight);
    EXPECT_EQ(g.bandView(1)->viewport()->y(), plainHeight);
    columns[5].groups = {QStringLiteral("语文")};
    g.setColumns(columns);
    EXPECT_GT(h->height(), plainHeight);
    EXPECT_LT(h->height(), height);
    EXPECT_EQ(g.bandView(1)->viewport()->y(), h->height());
}

TEST(GridColumnGroups, ClicksOnAGroupCaptionAreNoColumns)
{
    ScoreGrid s;
    BandedGrid &g = s.grid;
    QHeaderView *h = s.header(1);
    const int x = h->sectionViewportPosition(s.col("Y_GradeRank")) + 10;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 3));
    EXPECT_TRUE(g.sortColumns().isEmpty()) << "a click on 考试科目 sorts by nothing";
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, h->height() - 6));
    ASSERT_EQ(g.sortColumns().size(), 1);
    EXPECT_EQ(g.sortColumns().first().field, QStringLiteral("Y_GradeRank"));
    // 备注's header reaches the top: a click there sorts by it.
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(h->sectionViewportPosition(s.col("sMemo")) + 10, 3));
    EXPECT_EQ(g.sortColumns().first().field, QStringLiteral("sMemo"));
}

TEST(GridCellColors, ThePagesColoursShowInTheirCells)
{
    ScoreGrid s;
    BandedGrid &g = s.grid;
    g.resize(900, 520); // every row in view, grouped too
    g.setReadOnly(true);
    const int score = s.col("Y_Score");
    QTreeView *view = g.bandView(1);
    g.setCurrentCell(0, s.col("sMemo"));
    const QColor red(0xE0, 0x30, 0x30);
    double limit = 60; // marks under it show red
    QList<QPoint> asked;
    g.setCellColors([&](int row, int column) {
        asked.append(QPoint(column, row));
        if (column == score && g.value(row, column).toDouble() < limit) return CellColors{red, Qt::white};
        return CellColors{};
    });
    auto pixel = [&](int row, int column) {
        const QImage image = g.grab().toImage();
        const QRect cell = view->visualRect(g.gridModel()->index(g.gridModel()->rowOfOrdinal(row), column));
        return QColor(image.pixel(view->viewport()->mapTo(&g, cell.topLeft() + QPoint(2, 2))));
    };
    auto whiteText = [&](int row) {
        const QImage image = g.grab().toImage();
        const QRect cell = view->visualRect(g.gridModel()->index(g.gridModel()->rowOfOrdinal(row), score));
        const QRect area(view->viewport()->mapTo(&g, cell.topLeft()), cell.size());
        for (int y = area.top(); y < area.bottom(); ++y)
            for (int x = area.left(); x < area.right(); ++x)
                if (qGray(image.pixel(x, y)) > 230) return true;
        return false;
    };
    // Students 3 (55) and 6 (47) fail 语文; the others show the grid's own stripes.
    EXPECT_EQ(pixel(2, score), red);
    EXPECT_EQ(pixel(5, score), red);
    EXPECT_TRUE(whiteText(2));
    EXPECT_EQ(pixel(4, score), g.gridStyle().content);
    EXPECT_EQ(pixel(3, score), g.gridStyle().sepRow);
    EXPECT_EQ(pixel(2, s.col("Y_GradeRank")), g.gridStyle().content) << "one cell, not its row";
    EXPECT_TRUE(asked.contains(QPoint(score, 2)));
    EXPECT_TRUE(asked.contains(QPoint(s.col("sName"), 7))) << "the fixed band asks too";
    for (const QPoint &p : std::as_const(asked)) {
        EXPECT_TRUE(p.y() >= 0 && p.y() < g.dataRowCount()) << p.y();
        EXPECT_TRUE(p.x() >= 0 && p.x() < g.columnCount()) << p.x();
    }

    // The focused cell keeps its look; the rest of its row shows the page's colours.
    g.setCurrentCell(5, score);
    EXPECT_NE(pixel(5, score), red);
    g.setCurrentCell(5, s.col("sMemo"));
    EXPECT_EQ(pixel(5, score), red);
    EXPECT_EQ(pixel(5, s.col("Y_GradeRank")), g.gridStyle().focusedRow) << "the focused row keeps its tint elsewhere";

    // New answers show once the page asks for a repaint.
    limit = 65;
    g.refreshCells();
    EXPECT_EQ(pixel(4, score), red) << "64 is under 65";

    // Grouped, rows are still data rows: group rows are never asked for, and the colour of a
    // student's mark goes with the student.
    g.groupBy(s.col("ClassCode"));
    g.setCurrentCell(0, s.col("sMemo"));
    QApplication::processEvents();
    asked.clear();
    for (int row = 0; row < g.dataRowCount(); ++row) {
        const bool failing = g.value(row, score).toDouble() < limit;
        EXPECT_EQ(pixel(row, score) == red, failing) << "row " << row << ": " << g.displayText(row, score).toStdString();
    }
    ASSERT_FALSE(asked.isEmpty());
    for (const QPoint &p : std::as_const(asked))
        EXPECT_TRUE(p.y() >= 0 && p.y() < g.dataRowCount()) << p.y();
    keep(g.grab().toImage(), "grid-cell-colors.png");

    // No function: the grid's own colours everywhere.
    g.setCellColors({});
    for (int row = 0; row < g.dataRowCount(); ++row)
        EXPECT_NE(pixel(row, score), red) << row;
}

TEST(GridLockedColumns, TheUserCannotFilterGroupMoveOrHideThem)
{
    ScoreGrid s;
    BandedGrid &g = s.grid;
    g.setReadOnly(true);
    s.lock(QStringLiteral("sName"));
    s.lock(QStringLiteral("Z_Score"));
    const int name = s.col("sName"), memo = s.col("sMemo"), classes = s.col("ClassCode");

    // The header menu: sorting stays; grouping, hiding and moving to the other band do not.
    for (const auto &[column, locked] : {std::pair{name, true}, std::pair{classes, false}}) {
        QMenu *menu = g.headerMenu(column);
        for (const char *item : {"按此列分组", "隐藏此列", "移到活动列"}) {
            QAction *a = menuAction(menu, QString::fromUtf8(item));
            ASSERT_NE(a, nullptr) << item;
            EXPECT_EQ(a->isEnabled(), !locked) << item << " of " << g.columnCaption(column).toStdString();
        }
        EXPECT_TRUE(menuAction(menu, QStringLiteral("升序排列"))->isEnabled());
    }
    // The page hides them as it likes; the user is not offered to show them again.
    g.setColumnVisible(s.col("Z_Score"), false);
    g.setColumnVisible(memo, false);
    EXPECT_FALSE(g.column(s.col("Z_Score")).visible);
    QMenu *shown = nullptr;
    for (QAction *a : g.headerMenu(classes)->actions())
        if (a->menu() && a->text() == QStringLiteral("显示列")) shown = a->menu();
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->actions().size(), 1);
    EXPECT_EQ(shown->actions().first()->text(), QStringLiteral("备注"));
    g.setColumnVisible(memo, true);

    // Dropped on the group-by box it does not group; another column does.
    QWidget *box = g.findChild<QWidget *>(QStringLiteral("groupByBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(drop(box, g.columnMimeData(name), QPoint(20, 10)));
    EXPECT_TRUE(g.groupColumns().isEmpty());
    EXPECT_TRUE(drop(box, g.columnMimeData(classes), QPoint(20, 10)));
    EXPECT_EQ(g.groupColumns(), QList<int>{classes});
    // Nor does it move when dropped on a header, or leave a grouping the page made.
    QHeaderView *scrolling = s.header(1);
    EXPECT_FALSE(drop(scrolling->viewport(), g.columnMimeData(name), QPoint(scrolling->sectionViewportPosition(memo) + 2, scrolling->height() - 5)));
    EXPECT_EQ(g.column(name).field, QStringLiteral("sName"));
    g.groupBy(name);
    EXPECT_EQ(g.groupColumns(), (QList<int>{classes, name}));
    EXPECT_FALSE(drop(scrolling->viewport(), g.columnMimeData(name, true), QPoint(10, 5)));
    EXPECT_EQ(g.groupColumns(), (QList<int>{classes, name}));
    EXPECT_FALSE(menuAction(g.headerMenu(name), QStringLiteral("取消按此列分组"))->isEnabled());
    EXPECT_TRUE(drop(scrolling->viewport(), g.columnMimeData(classes, true), QPoint(10, 5)));
    EXPECT_EQ(g.groupColumns(), QList<int>{name});
    g.clearGrouping();

    // With filtering on, its header has no filter button: a click there opens no list.
    g.setFilteringEnabled(true);
    QApplication::processEvents();
    QHeaderView *fixed = s.header(0);
    auto clickButtonPlace = [&](QHeaderView *h, int column) {
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) - 10, h->height() / 2));
        QApplication::processEvents();
        auto *list = g.findChild<QListWidget *>();
        const bool opened = list && list->window()->isVisible();
        if (list) list->window()->close();
        QApplication::processEvents();
        return opened;
    };
    EXPECT_FALSE(clickButtonPlace(fixed, name));
    EXPECT_TRUE(clickButtonPlace(scrolling, memo));
    keep(g.grab().toImage(), "grid-locked-columns.png");
    // The page filters it all the same.
    g.setColumnFilter(name, {studentName(1)});
    EXPECT_EQ(g.dataRowCount(), 1);
    g.clearColumnFilters();

    // And moves it.
    g.moveColumn(name, 0, 0);
    EXPECT_EQ(g.column(0).field, QStringLiteral("sName"));
}

TEST(GridColumnGroups, LayoutsKeepThePagesGroupsAndLockedColumns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TfrmScore.ini"));
    {
        ScoreGrid a;
        BandedGrid &g = a.grid;
        g.setColumnWidth(a.col("Y_Score"), 90);
        g.moveColumn(a.col("S_Score"), a.col("Y_Score"), 1);
        g.setColumnVisible(a.col("sMemo"), false);
        // Locked columns the page had placed elsewhere at that time.
        a.lock(QStringLiteral("Z_Score"));
        g.moveColumn(a.col("Z_Score"), g.columnCount() - 1, 1);
        g.setColumnWidth(a.col("Z_Score"), 70);
        ASSERT_TRUE(g.saveLayout(path));
    }

    // Another exam's page: its own caption for the first subject, 全总's 成绩 locked in place.
    QList<GridColumn> columns = scoreColumns(QStringLiteral("语文（一）"));
    columns[9].locked = true;
    ScoreGrid b(columns);
    BandedGrid &g = b.grid;
    ASSERT_TRUE(g.restoreLayout(path));
    EXPECT_EQ(g.column(b.col("Y_Score")).width, 90);
    EXPECT_FALSE(g.column(b.col("sMemo")).visible);
    EXPECT_EQ(b.col("S_Score"), 3) << "the user's order";
    EXPECT_EQ(b.col("Z_Score"), 9) << "the page's place";
    EXPECT_EQ(g.column(b.col("Z_Score")).width, 70) << "the user's width";
    EXPECT_EQ(g.groupCaptionRows(), 2);
    EXPECT_EQ(spans(g, 1, 1), (Spans{"数学:S_Score-S_Score", "语文（一）:Y_Score-Y_ClassRank", "数学:S_GradeRank-S_ClassRank", "全总:Z_Score-Z_ClassRank"}));
    EXPECT_EQ(spans(g, 1, 0), (Spans{"考试科目:S_Score-S_ClassRank", "考试总分:Z_Score-Z_ClassRank"}));
}
