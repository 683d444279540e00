#include "gridtesting.h"

#include <QApplication>

namespace lumeko::testing {

using wire::FieldDef;

QString studentName(int i)
{
    static const QStringList surnames = {QStringLiteral("张"), QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("赵"),
                                         QStringLiteral("刘"), QStringLiteral("陈"), QStringLiteral("杨"), QStringLiteral("黄"),
                                         QStringLiteral("周"), QStringLiteral("吴"), QStringLiteral("欧阳")};
    static const QStringList given = {QStringLiteral("子涵"), QStringLiteral("浩然"), QStringLiteral("雨桐"), QStringLiteral("宇轩"),
                                      QStringLiteral("欣怡"), QStringLiteral("梓萱"), QStringLiteral("俊杰"), QStringLiteral("诗琪"),
                                      QStringLiteral("一诺"), QStringLiteral("思远"), QStringLiteral("晨曦"), QStringLiteral("嘉怡"),
                                      QStringLiteral("明轩")};
    return surnames[i % surnames.size()] + given[i % given.size()];
}

QVariant studentScore(int i)
{
    if (i == 4 || i == 17) return {};
    return double(60 + (i * 7) % 41);
}

wire::DataPacket studentPacket(int count)
{
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                        {QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
                        {QStringLiteral("sSex"), FieldType::Text, 2, 0},
                        {QStringLiteral("ClassCode"), FieldType::Text, 4, 0},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
                        {QStringLiteral("nScore"), FieldType::Float, 0, 0},
                        {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                        {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("sMemo"), FieldType::Text, 40, 0}});
    static const QStringList classes = {QStringLiteral("0701"), QStringLiteral("0702"), QStringLiteral("0703")};
    for (int i = 0; i < count; ++i)
        p.appendRow({QStringLiteral("{%1}").arg(i, 5, 10, QLatin1Char('0')), studentName(i),
                     i % 2 == 0 ? QStringLiteral("男") : QStringLiteral("女"), classes[i % 3], i / 3 + 1, studentScore(i),
                     QDate(2010, 1, 1).addDays(11 * i), false, i % 5 == 0 ? QStringLiteral("住校") : QString()});
    return p;
}

wire::DataPacket fieldDefinitions()
{
    wire::DataPacket p({{QStringLiteral("sFldName"), FieldType::Text, 30, 0},
                        {QStringLiteral("sFldCaption"), FieldType::Text, 30, 0},
                        {QStringLiteral("sFieldType"), FieldType::Text, 1, 0},
                        {QStringLiteral("bShowed"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("nWidth"), FieldType::Integer, 0, 0},
                        {QStringLiteral("bSum"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("bGroup"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("sSumType"), FieldType::Text, 1, 0},
                        {QStringLiteral("sFormat"), FieldType::Text, 30, 0}});
    const QVariant none;
    p.appendRow({"Selected", QStringLiteral("选择"), "B", true, 4, false, false, none, none});
    p.appendRow({"sName", QStringLiteral("姓名"), "S", true, 8, true, true, "C", QStringLiteral("人数=,0")});
    p.appendRow({"ClassCode", QStringLiteral("班级"), "R", true, 10, false, false, none, none});
    p.appendRow({"iClassNo", QStringLiteral("学号"), "N", true, 5, true, false, "M", QStringLiteral("最大=0")});
    p.appendRow({"sSex", QStringLiteral("性别"), "S", true, 4, false, false, none, none});
    p.appendRow({"nScore", QStringLiteral("成绩"), "F", true, 8, true, true, "A", QStringLiteral("平均=0.00")});
    p.appendRow({"dBirthday", QStringLiteral("出生日期"), "D", true, 12, true, false, "N", QStringLiteral("最早=")});
    p.appendRow({"sCode", QStringLiteral("编号"), "S", false, 10, false, false, none, none});
    p.appendRow({"sMemo", QStringLiteral("备注"), "S", true, none, false, false, none, none});
    return p;
}

QList<LookupItem> classLookup()
{
    return {{QStringLiteral("0701"), QStringLiteral("初一(1)班")},
            {QStringLiteral("0702"), QStringLiteral("初一(2)班")},
            {QStringLiteral("0703"), QStringLiteral("初一(3)班")}};
}

GridHarness::GridHarness(int rows)
{
    students.setData(studentPacket(rows));
    fields.setData(fieldDefinitions());
    grid.resize(1100, 640);
    grid.setDataSet(&students);
    grid.buildColumns(fields);
    const int c = grid.columnOfField(QStringLiteral("ClassCode"));
    GridColumn classes = grid.column(c);
    classes.lookup = classLookup();
    grid.updateColumn(c, classes);
    grid.show();
    QApplication::processEvents();
}

QVariantList GridHarness::tableOrder(const QString &field)
{
    QVariantList out;
    const qsizetype keep = students.recNo();
    for (students.first(); !students.eof(); students.next()) out.append(students.value(field));
    students.moveTo(keep);
    return out;
}

QStringList GridHarness::gridColumn(const QString &field) const
{
    QStringList out;
    const int c = grid.columnOfField(field);
    for (int r = 0; r < grid.dataRowCount(); ++r) out.append(grid.displayText(r, c));
    return out;
}

QVariant GridHarness::tableValue(int row, const QString &field) const
{
    const int src = grid.gridModel()->sourceRowOfOrdinal(row);
    return students.valueAt(src, students.fieldIndex(field));
}

} // namespace lumeko::testing
