#pragma once
// A class list of Chinese students and the column definitions a register page would read, shown
// in a grid the tests drive.

#include "toolkit/grid/bandedgrid.h"

#include <QDate>

namespace lumeko::testing {

// Students of three classes (0701, 0702, 0703 in turn), boys and girls in turn. Score of student
// i (0-based): 60 + (i * 7) % 41, none for i = 4 and i = 17; seat number i / 3 + 1; born
// 2010-01-01 plus 11 * i days. Fields: sCode, sName, sSex, ClassCode, iClassNo, nScore,
// dBirthday, Selected, sMemo.
wire::DataPacket studentPacket(int count = 30);
QString studentName(int i);
QVariant studentScore(int i);

// Column definitions: 选择 (B), 姓名 (count "人数=,0", also per group), 班级 (R), 学号 (N, max
// "最大=0"), 性别, 成绩 (F, average "平均=0.00", also per group), 出生日期 (D, min "最早="),
// 编号 (hidden), 备注 (no width given).
wire::DataPacket fieldDefinitions();
QList<LookupItem> classLookup(); // 0701 初一(1)班, 0702 初一(2)班, 0703 初一(3)班

struct GridHarness {
    DataSet students;
    DataSet fields;
    BandedGrid grid;

    explicit GridHarness(int rows = 30);
    int col(const QString &field) const { return grid.columnOfField(field); }
    // The values of a field in the table's cursor order.
    QVariantList tableOrder(const QString &field);
    // The display texts of a column in the grid's row order.
    QStringList gridColumn(const QString &field) const;
    // The table's value of a field in the row the grid shows at `row`.
    QVariant tableValue(int row, const QString &field) const;
};

} // namespace lumeko::testing
