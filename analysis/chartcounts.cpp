#include "analysis/chartcounts.h"

#include <QMap>

#include <cmath>

namespace lumeko::achieve {

namespace {

// The classes of the rows in their order, and each row's class.
struct Classes {
    QStringList names;
    QList<int> ofRow; // index into names, -1 for a row without a class
};

Classes classesOf(const DataSet &rows, const QString &classField)
{
    Classes c;
    const int name = rows.fieldIndex(classField), code = rows.fieldIndex(u"ClassCode");
    QMap<QString, QString> byKey; // sort key → name
    for (qsizetype r = 0; r < rows.recordCount(); ++r) {
        const QString n = name < 0 ? QString() : rows.valueAt(r, name).toString();
        if (n.isEmpty()) continue;
        const QString key = (code < 0 ? QString() : rows.valueAt(r, code).toString()) + QChar(0x1F) + n;
        byKey.insert(key, n);
    }
    for (const QString &n : byKey)
        if (!c.names.contains(n)) c.names << n;
    for (qsizetype r = 0; r < rows.recordCount(); ++r)
        c.ofRow << (name < 0 ? -1 : int(c.names.indexOf(rows.valueAt(r, name).toString())));
    return c;
}

std::optional<double> numberAt(const DataSet &rows, qsizetype r, int field)
{
    if (field < 0) return std::nullopt;
    const QVariant v = rows.valueAt(r, field);
    if (wire::isNull(v)) return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

} // namespace

QString scoreLevelName(int level)
{
    switch (level) {
    case 0:
        return QStringLiteral("满分");
    case 1:
        return QStringLiteral("优秀");
    case 2:
        return QStringLiteral("优良");
    case 3:
        return QStringLiteral("及格");
    default:
        return {};
    }
}

QString chartTypeName(int type)
{
    switch (type) {
    case 0:
        return QStringLiteral("雷达图");
    case 1:
        return QStringLiteral("柱状图");
    case 2:
        return QStringLiteral("饼图");
    case 3:
        return QStringLiteral("折线图");
    case 4:
        return QStringLiteral("结构图");
    default:
        return {};
    }
}

std::optional<int> chartLevelOf(std::optional<int> sheetLevel)
{
    if (!sheetLevel) return std::nullopt;
    return std::max(0, 3 - *sheetLevel);
}

QList<RankRange> rankRangeMenu()
{
    QList<RankRange> out;
    for (int n : {20, 50, 100})
        out << RankRange{1, n, false, QStringLiteral("前%1名").arg(n)};
    for (int n : {20, 50, 100})
        out << RankRange{1, n, true, QStringLiteral("倒数%1名").arg(n)};
    return out;
}

std::optional<RankRange> parseRankRange(const QString &text)
{
    const QStringList parts = text.trimmed().split(u'-');
    if (parts.size() != 2) return std::nullopt;
    bool okFrom = false, okTo = false;
    const int from = parts[0].trimmed().toInt(&okFrom), to = parts[1].trimmed().toInt(&okTo);
    if (!okFrom || !okTo || parts[0].trimmed().isEmpty() || parts[1].trimmed().isEmpty()) return std::nullopt;
    RankRange r{std::min(from, to), std::max(from, to), false, QString()};
    r.caption = QStringLiteral("%1-%2名").arg(r.from).arg(r.to);
    return r;
}

QList<ClassCount> rankRangeCounts(const DataSet &rows, const QString &classField, const QString &rankField, const RankRange &range)
{
    const Classes classes = classesOf(rows, classField);
    const int rank = rows.fieldIndex(rankField);
    int from = range.from, to = range.to;
    if (range.fromBottom) {
        double highest = 0;
        for (qsizetype r = 0; r < rows.recordCount(); ++r)
            if (const auto v = numberAt(rows, r, rank)) highest = std::max(highest, *v);
        from = int(highest) - range.to + 1;
        to = int(highest);
    }
    QList<double> counts(classes.names.size(), 0);
    for (qsizetype r = 0; r < rows.recordCount(); ++r) {
        const auto v = numberAt(rows, r, rank);
        if (!v || classes.ofRow[r] < 0 || *v < from || *v > to) continue;
        counts[classes.ofRow[r]] += 1;
    }
    QList<ClassCount> out;
    for (qsizetype c = 0; c < classes.names.size(); ++c)
        if (counts[c] > 0) out << ClassCount{classes.names[c], counts[c]};
    return out;
}

StructureCounts structureCounts(const DataSet &rows, const QString &classField, const QString &levelField)
{
    const Classes classes = classesOf(rows, classField);
    StructureCounts s;
    s.classes = classes.names;
    s.fail = s.pass = s.excel = QList<double>(classes.names.size(), 0);
    const int level = rows.fieldIndex(levelField);
    for (qsizetype r = 0; r < rows.recordCount(); ++r) {
        const auto v = numberAt(rows, r, level);
        if (!v || classes.ofRow[r] < 0) continue;
        const int c = classes.ofRow[r];
        if (*v <= 0)
            s.fail[c] += 1;
        else if (*v <= 2)
            s.pass[c] += 1;
        else
            s.excel[c] += 1;
    }
    return s;
}

ClassAverages classAverages(const DataSet &rows, const QString &classField, const QString &scoreField, const QString &gradeName)
{
    const Classes classes = classesOf(rows, classField);
    const int score = rows.fieldIndex(scoreField);
    QList<double> sums(classes.names.size() + 1, 0), counts(classes.names.size() + 1, 0);
    for (qsizetype r = 0; r < rows.recordCount(); ++r) {
        const auto v = numberAt(rows, r, score);
        if (!v) continue;
        if (classes.ofRow[r] >= 0) {
            sums[classes.ofRow[r]] += *v;
            counts[classes.ofRow[r]] += 1;
        }
        sums.last() += *v;
        counts.last() += 1;
    }
    ClassAverages a;
    a.classes = classes.names;
    a.classes << gradeName;
    for (qsizetype c = 0; c < sums.size(); ++c)
        a.averages << (counts[c] > 0 ? sums[c] / counts[c] : std::nan(""));
    return a;
}

} // namespace lumeko::achieve
