#include "domain/sheetranker.h"

#include <algorithm>
#include <numeric>

namespace lumeko::domain {

namespace {

int groupCount(const std::vector<int> &groupOf)
{
    return groupOf.empty() ? 0 : std::max(0, *std::max_element(groupOf.begin(), groupOf.end()) + 1);
}

// Scores are written with at most two decimals almost always (87, 43.5, 92.25). Then a score is
// an exact number of hundredths, and ordering whole numbers is much cheaper than comparing
// doubles: a counting sort when the hundredths span a narrow range, else one 64-bit sort key per
// row (hundredths from the top in the high half, the row in the low half, so that equal scores
// keep their sheet order). A column with finer scores (a standard score) is sorted by comparing.
constexpr double kScale = 100.0;

bool hundredthsOf(double v, std::int64_t &out)
{
    const double k = std::nearbyint(v * kScale);
    if (!(std::abs(k) < 1e15) || k / kScale != v) return false;
    out = std::int64_t(k);
    return true;
}

} // namespace

SheetRanker::SheetRanker(std::vector<int> classOf, std::vector<int> branchOf)
    : m_classOf(std::move(classOf)), m_branchOf(std::move(branchOf)), m_classCount(groupCount(m_classOf)), m_branchCount(groupCount(m_branchOf))
{
    if (m_branchOf.size() != m_classOf.size()) m_branchOf.assign(m_classOf.size(), -1);
}

void SheetRanker::orderByScore(std::span<const double> scores, std::vector<std::uint32_t> &order) const
{
    const auto n = std::uint32_t(scores.size());
    order.clear();
    std::vector<std::int64_t> keys(n);
    std::int64_t lo = std::numeric_limits<std::int64_t>::max(), hi = std::numeric_limits<std::int64_t>::min();
    bool exact = true;
    std::uint32_t scored = 0;
    for (std::uint32_t i = 0; i < n && exact; ++i) {
        if (!isScored(scores[i])) continue;
        ++scored;
        exact = hundredthsOf(scores[i], keys[i]);
        lo = std::min(lo, keys[i]);
        hi = std::max(hi, keys[i]);
    }
    if (scored == 0) return;
    order.reserve(scored);
    if (exact && std::uint64_t(hi - lo) <= std::max<std::uint64_t>(4ull * n, 1u << 16)) {
        // Counting sort on (hi − key): highest first, and stable.
        std::vector<std::uint32_t> start(std::size_t(hi - lo) + 2, 0);
        for (std::uint32_t i = 0; i < n; ++i)
            if (isScored(scores[i])) ++start[std::size_t(hi - keys[i]) + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        order.resize(scored);
        for (std::uint32_t i = 0; i < n; ++i)
            if (isScored(scores[i])) order[start[std::size_t(hi - keys[i])]++] = i;
        return;
    }
    if (exact && std::uint64_t(hi - lo) < (1ull << 32)) {
        std::vector<std::uint64_t> packed;
        packed.reserve(scored);
        for (std::uint32_t i = 0; i < n; ++i)
            if (isScored(scores[i])) packed.push_back((std::uint64_t(hi - keys[i]) << 32) | i);
        std::sort(packed.begin(), packed.end());
        for (std::uint64_t p : packed)
            order.push_back(std::uint32_t(p));
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        if (isScored(scores[i])) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return scores[a] > scores[b]; });
}

void SheetRanker::rank(std::span<const double> scores, const LetterRules &letters, ColumnRanks &out) const
{
    const std::size_t n = std::min(scores.size(), m_classOf.size());
    scores = scores.first(n);
    out.grade.assign(n, 0);
    out.inClass.assign(n, 0);
    out.inBranch.assign(n, 0);
    out.gradeLetter.assign(n, 0);
    out.branchLetter.assign(n, 0);
    out.rankedPerBranch.assign(std::size_t(m_branchCount), 0);

    std::vector<std::uint32_t> order;
    orderByScore(scores, order);
    out.ranked = int(order.size());

    // One walk, highest score first, ranks all three scopes: within a class or a branch the rows
    // come in the same order as in the grade. Each scope keeps its position, its current rank
    // and the score the rank belongs to.
    struct Walk {
        int position = 0, rank = 0;
        double last = kNoScore;
        int next(double v)
        {
            ++position;
            if (v != last) rank = position;
            last = v;
            return rank;
        }
    };
    Walk grade;
    std::vector<Walk> classes(static_cast<std::size_t>(m_classCount)), branches(static_cast<std::size_t>(m_branchCount));
    for (std::uint32_t i : order) {
        const double v = scores[i];
        out.grade[i] = grade.next(v);
        if (const int c = m_classOf[i]; c >= 0) out.inClass[i] = classes[std::size_t(c)].next(v);
        if (const int b = m_branchOf[i]; b >= 0) out.inBranch[i] = branches[std::size_t(b)].next(v);
    }
    for (int b = 0; b < m_branchCount; ++b)
        out.rankedPerBranch[std::size_t(b)] = branches[std::size_t(b)].position;

    if (letters.grade && out.ranked > 0) {
        const LetterCutOffs cut(*letters.grade, out.ranked);
        for (std::uint32_t i : order)
            out.gradeLetter[i] = cut.letterOf(out.grade[i]);
    }
    std::vector<std::optional<LetterCutOffs>> branchCuts(static_cast<std::size_t>(m_branchCount));
    bool anyBranch = false;
    for (int b = 0; b < m_branchCount; ++b) {
        const auto &shares = b < int(letters.perBranch.size()) ? letters.perBranch[std::size_t(b)] : std::nullopt;
        if (shares && out.rankedPerBranch[std::size_t(b)] > 0) {
            branchCuts[std::size_t(b)].emplace(*shares, out.rankedPerBranch[std::size_t(b)]);
            anyBranch = true;
        }
    }
    if (anyBranch)
        for (std::uint32_t i : order)
            if (const int b = m_branchOf[i]; b >= 0 && branchCuts[std::size_t(b)]) out.branchLetter[i] = branchCuts[std::size_t(b)]->letterOf(out.inBranch[i]);
}

LetterCutOffs::LetterCutOffs(const LetterShares &s, int ranked)
{
    // Rounded up; a small tolerance keeps 15% of 40 at exactly 6 when the shares are not whole.
    const auto cut = [ranked](double percent) { return int(std::ceil(percent * ranked / 100.0 - 1e-9)); };
    a = cut(s.a);
    b = cut(s.a + s.b);
    c = cut(s.a + s.b + s.c);
    d = cut(s.a + s.b + s.c + s.d);
}

void levelsOf(std::span<const double> scores, const LevelMarks &marks, std::span<std::int8_t> out)
{
    for (std::size_t i = 0; i < scores.size() && i < out.size(); ++i) {
        const std::optional<int> level = levelOf(toScore(scores[i]), marks);
        out[i] = std::int8_t(level.value_or(-1));
    }
}

TotalColumns totalColumns(std::span<const std::span<const double>> subjects, std::span<const int> subjectTypes)
{
    std::size_t n = 0;
    for (const auto &column : subjects)
        n = std::max(n, column.size());
    TotalColumns t{std::vector<double>(n, kNoScore), std::vector<double>(n, kNoScore), std::vector<double>(n, kNoScore)};
    const auto add = [](double &total, double v) { total = isScored(total) ? total + v : v; };
    for (std::size_t j = 0; j < subjects.size(); ++j) {
        const int type = j < subjectTypes.size() ? subjectTypes[j] : 2;
        for (std::size_t i = 0; i < subjects[j].size(); ++i) {
            const double v = subjects[j][i];
            if (!isScored(v)) continue;
            add(t.full[i], v);
            if (type == 0 || type == 1) add(t.main[i], v);
            if (type == 0) add(t.base[i], v);
        }
    }
    return t;
}

double weightedScore(double stored, double per)
{
    if (!isScored(stored) || !weightApplies(per)) return stored;
    return std::nearbyint(stored * per / 0.1) * 0.1;
}

bool standardize(std::span<double> scores)
{
    if (scores.empty()) return false;
    const double rows = double(scores.size());
    double sum = 0;
    bool anyAboveZero = false;
    for (double v : scores) {
        if (!isScored(v)) continue;
        sum += v;
        anyAboveZero = anyAboveZero || v > 0;
    }
    if (!anyAboveZero) return false;
    const double mean = sum / rows;
    double squares = 0;
    for (double v : scores)
        if (isScored(v) && v > 0) squares += (v - mean) * (v - mean);
    const double deviation = std::sqrt(squares / rows);
    for (double &v : scores)
        if (isScored(v) && v > 0) v = deviation > 0 ? (v - mean) / deviation * 100.0 + 500.0 : 500.0;
    return true;
}

} // namespace lumeko::domain
