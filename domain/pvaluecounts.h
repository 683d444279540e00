#pragma once
// The counts of a P-value evaluation, the school's composite figure for one exam of a graduating
// grade: over the students who should have sat it, the sum of their six-subject totals (中考总分
// 科目), how many reach the graduation and the excellent line of that total, how many pass every
// all-subject entry (全科科目) and how many pass each. An entry is one subject or several merged
// into one, counted as a single subject on the sum of their scores. Who is counted and why, with
// a worked example, is in docs/statistics.md ("P value").
//
// A column is an array of doubles in which NaN (kNoScore) is "no score"; a missing score adds 0
// to a total and passes nothing.

#include "domain/domain_export.h"
#include "domain/sheetranker.h"

#include <QtGlobal>

#include <span>
#include <vector>

namespace lumeko::domain {

// What a subject adds to the lines: its full mark to the six subjects' full mark, its 合格 mark
// (BadMark) to the graduation line, its 优秀 mark (ExcelMark) to the excellent line, its 及格
// mark (PassMark) to the pass line of its entry.
struct PValueMarks {
    double full = 0;
    double excel = 0;
    double pass = 0;
    double bad = 0;
};

// Which subjects make the six-subject total and the all-subject entries, by their index among
// `subjects` (and among the score columns).
struct PValueLayout {
    std::vector<PValueMarks> subjects;
    std::vector<int> six;
    std::vector<std::vector<int>> entries;
};

struct PValueCounts {
    qint64 shouldSit = 0;            // 应参加人数 (nMastNums): the students whose scores are given
    qint64 dropOuts = 0;             // 辍学生数 (nLeaveNums): as the caller counted them
    double totals = 0;               // 总分之和 (nTotals)
    double fullTotal6 = 0;           // 六科满分 (nFullTotal6)
    double graduationLine = 0;       // the six subjects' 合格 marks added up
    double excellentLine = 0;        // their 优秀 marks added up
    qint64 graduates = 0;            // 六科达毕业分数线总人数 (nPass6Nums)
    qint64 passAll = 0;              // 十科全及格总人数 (nPass10Nums)
    qint64 passSum = 0;              // 十科每科及格人数之和 (nPass10TotalNums)
    qint64 excellent = 0;            // 六科总分优秀的总人数 (nExcel6Nums)
    std::vector<qint64> passByEntry; // per entry, in the layout's order
    std::vector<double> entryLines;  // per entry: its members' 及格 marks added up
};

// A total or entry sum on its line reaches it; sums of decimal scores are compared with this
// tolerance so that 0.1 + 0.2 reaches a line of 0.3.
inline constexpr double kLineTolerance = 1e-9;

// Counts the students of `columns` (columns[s][i]: student i's score in subject s, every column
// of the same length, one column per subject of the layout). `dropOuts` is passed through.
LUMEKO_DOMAIN_EXPORT PValueCounts countPValue(const PValueLayout &layout, std::span<const std::vector<double>> columns, qint64 dropOuts);

} // namespace lumeko::domain
