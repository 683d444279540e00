#include "domain/examstatistics.h"

#include <algorithm>
#include <cmath>

namespace lumeko::domain {

namespace {

// Marks and scores are written with a few decimals; an edge computed as HighMark − k·DistanceMark
// may miss the score written on it by a rounding error, which this tolerance forgives.
constexpr double kEdge = 1e-9;

QString markText(double v)
{
    QString s = QString::number(roundForReport(v), 'f', 2);
    while (s.endsWith(u'0'))
        s.chop(1);
    if (s.endsWith(u'.')) s.chop(1);
    return s == u"-0" ? QStringLiteral("0") : s;
}

std::vector<int> sizesOf(const ExamLayout &layout)
{
    std::vector<int> sizes(std::size_t(layout.classes), 0);
    for (int c : layout.classOf)
        if (c >= 0 && c < layout.classes) ++sizes[std::size_t(c)];
    return sizes;
}

std::vector<int> branchByRow(const ExamLayout &layout)
{
    std::vector<int> out(layout.classOf.size(), -1);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int c = layout.classOf[i];
        if (c >= 0 && c < int(layout.branchOfClass.size())) out[i] = layout.branchOfClass[std::size_t(c)];
    }
    return out;
}

void addCounts(std::vector<int> &to, const std::vector<int> &from)
{
    if (to.size() < from.size()) to.resize(from.size(), 0);
    for (std::size_t i = 0; i < from.size(); ++i)
        to[i] += from[i];
}

} // namespace

// ---- bands ---------------------------------------------------------------------------------------

BandLayout scoreBands(const ColumnMarks &m)
{
    BandLayout out;
    if (!(m.distance > 0)) {
        out.problem = QStringLiteral("the band width (DistanceMark %1) is not above 0").arg(markText(m.distance));
        return out;
    }
    if (!(m.low >= 0 && m.low <= m.high && m.high <= m.full)) {
        out.problem = QStringLiteral("the marks do not give bands: LowMark %1, HighMark %2 and the full mark %3 must rise from 0 in that order")
                          .arg(markText(m.low), markText(m.high), markText(m.full));
        return out;
    }
    const int middle = m.high > m.low ? int(std::ceil((m.high - m.low) / m.distance - kEdge)) : 0;
    const int count = 1 + middle + (m.low > 0 ? 1 : 0);
    if (count > kMaxBands) {
        out.problem = QStringLiteral("the marks give %1 bands of %2 from %3 down to %4; at most %5 are shown")
                          .arg(count)
                          .arg(markText(m.distance), markText(m.high), markText(m.low))
                          .arg(kMaxBands);
        return out;
    }
    out.bands.push_back({m.full, m.high, true, false, markText(m.full) + u'~' + markText(m.high)});
    for (int k = 1; k <= middle; ++k) {
        const double upper = m.high - (k - 1) * m.distance;
        const double lower = std::max(m.high - k * m.distance, m.low);
        out.bands.push_back({upper, lower, false, false, markText(upper) + u'~' + markText(lower)});
    }
    if (m.low > 0) out.bands.push_back({m.low, 0, false, true, markText(m.low) + QStringLiteral("~0")});
    return out;
}

int bandOf(double score, const std::vector<ScoreBand> &bands)
{
    if (!isScored(score) || bands.empty()) return -1;
    // The lower edges fall from the top band down; the first band whose lower edge the score
    // reaches holds it, and the bottom band holds whatever is left.
    const auto it = std::partition_point(bands.begin(), bands.end(), [score](const ScoreBand &b) { return !b.bottom && score < b.lower - kEdge; });
    return it == bands.end() ? int(bands.size()) - 1 : int(it - bands.begin());
}

// ---- tallies and figures -------------------------------------------------------------------------

void Tally::add(const Tally &o)
{
    students += o.students;
    scored += o.scored;
    shift = o.shift;
    sum += o.sum;
    squares += o.squares;
    max = std::fmax(max, o.max);
    min = std::fmin(min, o.min);
    excel += o.excel;
    good += o.good;
    pass += o.pass;
    bad += o.bad;
    full += o.full;
    addCounts(bands, o.bands);
    addCounts(top, o.top);
    addCounts(bottom, o.bottom);
    for (std::size_t i = 0; i < letters.size(); ++i)
        letters[i] += o.letters[i];
}

Figures figuresOf(const Tally &t)
{
    Figures f;
    f.students = t.students;
    f.scored = t.scored;
    f.excel = t.excel;
    f.good = t.good;
    f.pass = t.pass;
    f.bad = t.bad;
    f.low = t.scored - t.bad;
    f.full = t.full;
    if (t.scored == 0) return f;
    const double n = t.scored;
    const double mean = t.sum / n;
    f.average = t.shift + mean;
    f.stdDev = std::sqrt(std::max(0.0, t.squares / n - mean * mean));
    f.max = t.max;
    f.min = t.min;
    f.spread = t.max - t.min;
    const auto rate = [n](int count) { return count * 100.0 / n; };
    f.excelRate = rate(f.excel);
    f.goodRate = rate(f.good);
    f.passRate = rate(f.pass);
    f.badRate = rate(f.bad);
    f.lowRate = rate(f.low);
    f.fullRate = rate(f.full);
    return f;
}

std::optional<double> overAverage(const std::optional<double> &average, const std::optional<double> &reference)
{
    if (!average || !reference || *reference == 0) return std::nullopt;
    return (*average - *reference) / *reference * 100.0;
}

std::vector<std::optional<int>> averageRanks(const std::vector<std::optional<double>> &averages)
{
    QList<Score> rounded;
    rounded.reserve(qsizetype(averages.size()));
    for (const auto &a : averages)
        rounded.append(a ? Score(roundForReport(*a)) : std::nullopt);
    const QList<std::optional<int>> ranks = competitionRanks(rounded);
    return {ranks.begin(), ranks.end()};
}

double roundForReport(double v)
{
    return std::round(v * 100.0) / 100.0;
}

Tally ColumnTallies::ofClasses(std::span<const int> classIndexes) const
{
    Tally t;
    t.shift = grade.shift;
    t.bands.assign(grade.bands.size(), 0);
    t.top.assign(grade.top.size(), 0);
    t.bottom.assign(grade.bottom.size(), 0);
    for (int c : classIndexes)
        if (c >= 0 && c < int(classes.size())) t.add(classes[std::size_t(c)]);
    return t;
}

AllPassTally AllPassTallies::ofClasses(std::span<const int> classIndexes) const
{
    AllPassTally t;
    for (int c : classIndexes)
        if (c >= 0 && c < int(classes.size())) t.add(classes[std::size_t(c)]);
    return t;
}

// ---- the engine ----------------------------------------------------------------------------------

ExamStatistics::ExamStatistics(ExamLayout layout)
    : m_layout(std::move(layout)), m_branchOf(branchByRow(m_layout)), m_classSize(sizesOf(m_layout)), m_ranker(m_layout.classOf, m_branchOf)
{
}

ColumnTallies ExamStatistics::tally(std::span<const double> scores, const ColumnMarks &marks, const TallyOptions &options) const
{
    const std::size_t n = std::min(scores.size(), m_layout.classOf.size());
    scores = scores.first(n);
    ColumnTallies out;
    Tally empty;
    empty.shift = marks.full / 2;
    empty.bands.assign(options.bands.size(), 0);
    empty.top.assign(options.topCuts.size(), 0);
    empty.bottom.assign(options.bottomCuts.size(), 0);
    out.classes.assign(std::size_t(m_layout.classes), empty);
    for (int c = 0; c < m_layout.classes; ++c)
        out.classes[std::size_t(c)].students = m_classSize[std::size_t(c)];

    // Levels as the score sheet gives them, then one pass that adds every row to its class.
    std::vector<std::int8_t> levels(n);
    levelsOf(scores, marks.levels, levels);
    const bool countFull = marks.full > 0;
    const bool banded = !options.bands.empty();
    for (std::size_t i = 0; i < n; ++i) {
        const double v = scores[i];
        const int c = m_layout.classOf[i];
        if (!isScored(v) || c < 0) continue;
        Tally &t = out.classes[std::size_t(c)];
        ++t.scored;
        const double x = v - t.shift;
        t.sum += x;
        t.squares += x * x;
        t.max = std::fmax(t.max, v);
        t.min = std::fmin(t.min, v);
        switch (levels[i]) {
        case 0:
            ++t.excel;
            [[fallthrough]];
        case 1:
            ++t.good;
            [[fallthrough]];
        case 2:
            ++t.pass;
            [[fallthrough]];
        case 3:
            ++t.bad;
            break;
        default:
            break;
        }
        if (countFull && v >= marks.full) ++t.full;
        if (banded) ++t.bands[std::size_t(bandOf(v, options.bands))];
    }

    // Letters and the top layers from the grade ranks, the bottom layers from the ranks of the
    // column turned upside down: the same ranking as the score sheet's, ties sharing a rank.
    if (options.letters || !options.topCuts.empty()) {
        ColumnRanks ranks;
        LetterRules rules;
        rules.grade = options.letters;
        m_ranker.rank(scores, rules, ranks);
        for (std::size_t i = 0; i < n; ++i) {
            const int c = m_layout.classOf[i];
            if (ranks.grade[i] == 0 || c < 0) continue;
            Tally &t = out.classes[std::size_t(c)];
            if (const int letter = ranks.gradeLetter[i]; letter >= 1 && letter <= 5) ++t.letters[std::size_t(5 - letter)];
            for (std::size_t k = 0; k < options.topCuts.size(); ++k)
                if (ranks.grade[i] <= options.topCuts[k]) ++t.top[k];
        }
    }
    if (!options.bottomCuts.empty()) {
        std::vector<double> upsideDown(n);
        for (std::size_t i = 0; i < n; ++i)
            upsideDown[i] = -scores[i];
        ColumnRanks ranks;
        m_ranker.rank(upsideDown, {}, ranks);
        for (std::size_t i = 0; i < n; ++i) {
            const int c = m_layout.classOf[i];
            if (ranks.grade[i] == 0 || c < 0) continue;
            for (std::size_t k = 0; k < options.bottomCuts.size(); ++k)
                if (ranks.grade[i] <= options.bottomCuts[k]) ++out.classes[std::size_t(c)].bottom[k];
        }
    }

    out.branches.assign(std::size_t(m_layout.branches), empty);
    out.grade = empty;
    for (int c = 0; c < m_layout.classes; ++c) {
        const Tally &t = out.classes[std::size_t(c)];
        out.grade.add(t);
        const int b = c < int(m_layout.branchOfClass.size()) ? m_layout.branchOfClass[std::size_t(c)] : -1;
        if (b >= 0 && b < m_layout.branches) out.branches[std::size_t(b)].add(t);
    }
    return out;
}

AllPassState allPassState(std::span<const std::span<const double>> subjects, std::span<const double> passMarks, std::size_t row)
{
    bool any = false, all = !subjects.empty();
    for (std::size_t j = 0; j < subjects.size(); ++j) {
        const double v = row < subjects[j].size() ? subjects[j][row] : kNoScore;
        if (isScored(v)) {
            any = true;
            if (j < passMarks.size() && v < passMarks[j]) all = false;
        } else {
            all = false;
        }
    }
    return !any ? AllPassState::NoScore : all ? AllPassState::Passed : AllPassState::Sat;
}

AllPassTallies ExamStatistics::allPass(std::span<const std::span<const double>> subjects, std::span<const double> passMarks) const
{
    std::vector<AllPassState> states(m_layout.classOf.size());
    for (std::size_t i = 0; i < states.size(); ++i)
        states[i] = allPassState(subjects, passMarks, i);
    return allPass(states);
}

AllPassTallies ExamStatistics::allPass(std::span<const AllPassState> states) const
{
    AllPassTallies out;
    out.classes.assign(std::size_t(m_layout.classes), {});
    const std::size_t n = std::min(m_layout.classOf.size(), states.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int c = m_layout.classOf[i];
        if (c < 0) continue;
        AllPassTally &t = out.classes[std::size_t(c)];
        t.sat += states[i] != AllPassState::NoScore ? 1 : 0;
        t.passed += states[i] == AllPassState::Passed ? 1 : 0;
    }
    out.branches.assign(std::size_t(m_layout.branches), {});
    for (int c = 0; c < m_layout.classes; ++c) {
        out.grade.add(out.classes[std::size_t(c)]);
        const int b = c < int(m_layout.branchOfClass.size()) ? m_layout.branchOfClass[std::size_t(c)] : -1;
        if (b >= 0 && b < m_layout.branches) out.branches[std::size_t(b)].add(out.classes[std::size_t(c)]);
    }
    return out;
}

} // namespace lumeko::domain
