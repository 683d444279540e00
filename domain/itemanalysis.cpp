#include "domain/itemanalysis.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lumeko::domain {

namespace {
bool scored(double v)
{
    return !std::isnan(v);
}
} // namespace

ScoreGroups scoreGroups(const std::vector<double> &subjectScores, double share)
{
    std::vector<int> order;
    for (int i = 0; i < int(subjectScores.size()); ++i)
        if (scored(subjectScores[i])) order.push_back(i);
    ScoreGroups g;
    if (order.empty()) return g;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return subjectScores[a] > subjectScores[b]; });
    const int n = int(order.size());
    const int size = std::max(1, int(std::floor(n * share + 0.5)));
    const double upperEdge = subjectScores[order[size - 1]], lowerEdge = subjectScores[order[n - size]];
    for (int i : order) {
        if (subjectScores[i] >= upperEdge) g.upper.push_back(i);
        if (subjectScores[i] <= lowerEdge) g.lower.push_back(i);
    }
    return g;
}

namespace {
// The mean over `members` of those with a score; NaN when none has.
double meanOf(const std::vector<double> &scores, const std::vector<int> &members, int *count = nullptr)
{
    double sum = 0;
    int n = 0;
    for (int i : members)
        if (i >= 0 && i < int(scores.size()) && scored(scores[i])) {
            sum += scores[i];
            ++n;
        }
    if (count) *count = n;
    return n == 0 ? kNoQuestionScore : sum / n;
}
} // namespace

QuestionFacts questionFacts(const std::vector<double> &scores, double fullMark, const ScoreGroups &groups)
{
    QuestionFacts f;
    std::vector<int> everyone(scores.size());
    std::iota(everyone.begin(), everyone.end(), 0);
    const double mean = meanOf(scores, everyone, &f.answered);
    for (double s : scores) {
        if (!scored(s)) continue;
        if (s >= fullMark) ++f.fullMarks;
        if (s == 0) ++f.zeros;
    }
    if (f.answered == 0 || fullMark <= 0) return f;
    f.mean = mean;
    f.difficulty = mean / fullMark;
    const double upper = meanOf(scores, groups.upper), lower = meanOf(scores, groups.lower);
    f.upperMean = scored(upper) ? upper : 0;
    f.lowerMean = scored(lower) ? lower : 0;
    f.discrimination = (f.upperMean - f.lowerMean) / fullMark;
    return f;
}

double scoreRate(const std::vector<double> &scores, double fullMark, const std::vector<int> &members)
{
    const double mean = meanOf(scores, members);
    return fullMark > 0 && scored(mean) ? mean / fullMark : kNoQuestionScore;
}

std::vector<ScoreSegment> scoreSegments(const std::vector<double> &scores)
{
    std::vector<int> floors;
    for (double s : scores)
        if (scored(s)) floors.push_back(int(std::floor(s)));
    std::vector<ScoreSegment> out;
    if (floors.empty()) return out;
    const auto [lo, hi] = std::minmax_element(floors.begin(), floors.end());
    std::vector<int> counts(size_t(*hi - *lo + 1), 0);
    for (int f : floors)
        ++counts[size_t(f - *lo)];
    int above = 0;
    for (int s = *hi; s >= *lo; --s) {
        const int c = counts[size_t(s - *lo)];
        out.push_back({s, c, above + c, above + 1});
        above += c;
    }
    return out;
}

} // namespace lumeko::domain
