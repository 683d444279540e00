#include "domain/scoring.h"
#include "domain/sheetranker.h"

#include <QHash>

namespace lumeko::domain {

Totals totalsOf(const QList<Score> &scores, const QList<int> &subjectTypes)
{
    Totals t;
    for (qsizetype i = 0; i < scores.size(); ++i) {
        if (!scores[i]) continue;
        const int type = subjectTypes.value(i, 2);
        t.full = t.full.value_or(0.0) + *scores[i];
        if (type == 0 || type == 1) t.main = t.main.value_or(0.0) + *scores[i];
        if (type == 0) t.base = t.base.value_or(0.0) + *scores[i];
    }
    return t;
}

std::optional<int> levelOf(const Score &score, const LevelMarks &marks)
{
    if (!score) return std::nullopt;
    const double v = *score;
    if (v >= marks.excel) return 0;
    if (v >= marks.good) return 1;
    if (v >= marks.pass) return 2;
    if (v >= marks.bad) return 3;
    return 4;
}

QList<std::optional<int>> competitionRanks(const QList<Score> &scores, const QList<QString> &groups)
{
    // Groups become classes of a sheet; without groups every row is in the one class.
    std::vector<int> classOf(std::size_t(scores.size()), 0);
    QHash<QString, int> ids;
    for (qsizetype i = 0; i < scores.size() && !groups.isEmpty(); ++i) {
        auto it = ids.constFind(groups.value(i));
        if (it == ids.cend()) it = ids.insert(groups.value(i), int(ids.size()));
        classOf[std::size_t(i)] = *it;
    }
    std::vector<double> column;
    column.reserve(std::size_t(scores.size()));
    for (const Score &s : scores)
        column.push_back(fromScore(s));
    ColumnRanks out;
    SheetRanker(std::move(classOf), {}).rank(column, {}, out);
    QList<std::optional<int>> ranks(scores.size());
    for (qsizetype i = 0; i < scores.size(); ++i)
        if (out.inClass[std::size_t(i)] > 0) ranks[i] = out.inClass[std::size_t(i)];
    return ranks;
}

int letterOf(int rank, int ranked, const LetterShares &s)
{
    return LetterCutOffs(s, ranked).letterOf(rank);
}

} // namespace lumeko::domain
