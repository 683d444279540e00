#pragma once
// What the chart window counts over a score sheet: students of each class within a range of
// grade ranks, each class's students by level, and averages per class. The window's own table
// holds one row per student: the class code and name and, per subject, the score, the grade rank
// and the chart level (below). Classes come in the order of their codes ("ClassCode", when the
// table has one: 一班, 二班, 三班 rather than the order of their names' characters), else of
// their names.

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace lumeko::achieve {

// The score-level names of the radar chart's rings: 0 满分, 1 优秀, 2 优良, 3 及格; any other
// number gives an empty text.
LUMEKO_ACHIEVE_EXPORT QString scoreLevelName(int level);
// The chart kinds by number: 0 雷达图, 1 柱状图, 2 饼图, 3 折线图, 4 结构图; any other gives an
// empty text.
LUMEKO_ACHIEVE_EXPORT QString chartTypeName(int type);

// The chart level of a sheet level (0 优秀, 1 良好, 2 及格, 3 合格, 4 不及格): 3 for 优秀, 2 for
// 良好, 1 for 及格, 0 below 及格. The structure chart counts 0 as 不及格, 1 and 2 as 及格优良,
// above 2 as 优秀.
LUMEKO_ACHIEVE_EXPORT std::optional<int> chartLevelOf(std::optional<int> sheetLevel);

struct RankRange {
    int from = 1, to = 20;
    bool fromBottom = false; // the last ranks: `to` counts from the lowest rank up
    QString caption;         // "前20名", "倒数50名", "1-30"
};
// The range menu's entries, in order: 前20名, 前50名, 前100名, 倒数20名, 倒数50名, 倒数100名.
LUMEKO_ACHIEVE_EXPORT QList<RankRange> rankRangeMenu();
// A custom range "start-end" (two whole numbers joined by "-"); nothing for any other text.
LUMEKO_ACHIEVE_EXPORT std::optional<RankRange> parseRankRange(const QString &text);

struct ClassCount {
    QString className;
    double count = 0;
    bool operator==(const ClassCount &) const = default;
};

// Per class (by class name), the rows whose rank field is set and lies within the range,
// inclusive; classes that count none are left out. From the bottom, the range is the `to` last
// rank values: from (highest rank − to + 1) to the highest rank.
LUMEKO_ACHIEVE_EXPORT QList<ClassCount> rankRangeCounts(const DataSet &rows, const QString &classField, const QString &rankField, const RankRange &range);

struct StructureCounts {
    QStringList classes;             // by class name
    QList<double> fail, pass, excel; // 不及格, 及格优良, 优秀 per class
};
// Per class the rows by their chart level; a row without one is not counted.
LUMEKO_ACHIEVE_EXPORT StructureCounts structureCounts(const DataSet &rows, const QString &classField, const QString &levelField);

// The classes by name, and per class the average of a score field over the rows that have one
// (NaN for a class without); the last entry, named `gradeName`, is over every row.
struct ClassAverages {
    QStringList classes;
    QList<double> averages;
};
LUMEKO_ACHIEVE_EXPORT ClassAverages classAverages(const DataSet &rows, const QString &classField, const QString &scoreField, const QString &gradeName);

} // namespace lumeko::achieve
