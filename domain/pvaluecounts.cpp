#include "domain/pvaluecounts.h"

namespace lumeko::domain {

namespace {

bool reaches(double sum, double line)
{
    return sum + kLineTolerance >= line;
}

} // namespace

PValueCounts countPValue(const PValueLayout &layout, std::span<const std::vector<double>> columns, qint64 dropOuts)
{
    PValueCounts c;
    c.dropOuts = dropOuts;
    for (const int s : layout.six) {
        c.fullTotal6 += layout.subjects[std::size_t(s)].full;
        c.graduationLine += layout.subjects[std::size_t(s)].bad;
        c.excellentLine += layout.subjects[std::size_t(s)].excel;
    }
    for (const std::vector<int> &entry : layout.entries) {
        double line = 0;
        for (const int s : entry)
            line += layout.subjects[std::size_t(s)].pass;
        c.entryLines.push_back(line);
    }
    c.passByEntry.assign(layout.entries.size(), 0);
    const std::size_t students = columns.empty() ? 0 : columns.front().size();
    c.shouldSit = qint64(students);
    const auto score = [&](int s, std::size_t i) {
        const double v = columns[std::size_t(s)][i];
        return isScored(v) ? v : 0.0;
    };
    for (std::size_t i = 0; i < students; ++i) {
        double six = 0;
        for (const int s : layout.six)
            six += score(s, i);
        c.totals += six;
        if (reaches(six, c.graduationLine)) ++c.graduates;
        if (reaches(six, c.excellentLine)) ++c.excellent;
        bool all = true;
        for (std::size_t e = 0; e < layout.entries.size(); ++e) {
            double sum = 0;
            for (const int s : layout.entries[e])
                sum += score(s, i);
            if (reaches(sum, c.entryLines[e]))
                ++c.passByEntry[e];
            else
                all = false;
        }
        if (all) ++c.passAll;
    }
    for (const qint64 n : c.passByEntry)
        c.passSum += n;
    return c;
}

} // namespace lumeko::domain
