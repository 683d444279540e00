#include "domain/scoring.h"

#include <QHash>

#include <algorithm>
#include <cmath>

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
    // Positions of the scored rows, grouped, highest score first; equal scores keep their order.
    QList<qsizetype> order;
    for (qsizetype i = 0; i < scores.size(); ++i)
        if (scores[i]) order << i;
    const auto group = [&](qsizetype i) { return groups.isEmpty() ? QString() : groups.value(i); };
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (group(a) != group(b)) return group(a) < group(b);
        return *scores[a] > *scores[b];
    });
    QList<std::optional<int>> ranks(scores.size());
    int position = 0;
    for (qsizetype k = 0; k < order.size(); ++k) {
        const qsizetype i = order[k];
        const bool newGroup = k == 0 || group(order[k - 1]) != group(i);
        position = newGroup ? 1 : position + 1;
        const bool tie = !newGroup && *scores[order[k - 1]] == *scores[i];
        ranks[i] = tie ? ranks[order[k - 1]] : position;
    }
    return ranks;
}

int letterOf(int rank, int ranked, const LetterShares &s)
{
    // Cut-offs in students, rounded up; a small tolerance keeps 15% of 40 at exactly 6.
    const auto cut = [ranked](double percent) { return int(std::ceil(percent * ranked / 100.0 - 1e-9)); };
    if (cut(s.a) >= rank) return 5;
    if (cut(s.a + s.b) >= rank) return 4;
    if (cut(s.a + s.b + s.c) >= rank) return 3;
    if (cut(s.a + s.b + s.c + s.d) >= rank) return 2;
    return 1;
}

} // namespace lumeko::domain
