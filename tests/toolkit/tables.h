#pragma once
// Small tables the toolkit tests share.

#include "toolkit/data/dataset.h"

namespace lumeko::testing {

// Students of one class: key, name, class code, seat, score, selection mark.
inline wire::DataPacket studentPacket()
{
    using wire::FieldDef;
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                        {QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
                        {QStringLiteral("ClassCode"), FieldType::Text, 4, 0},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
                        {QStringLiteral("Score"), FieldType::Float, 0, 0},
                        {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("dBirthday"), FieldType::Date, 0, 0}});
    p.appendRow({"{01}", QStringLiteral("张三"), "0701", 3, 88.5, false, QDate(2000, 5, 1)});
    p.appendRow({"{02}", QStringLiteral("李四"), "0702", 1, 92.0, true, QDate(2000, 1, 9)});
    p.appendRow({"{03}", QStringLiteral("王五"), "0701", 2, QVariant(), false, QVariant()});
    p.appendRow({"{04}", QStringLiteral("赵六"), "0702", 2, 60.0, true, QDate(1999, 12, 31)});
    p.appendRow({"{05}", QStringLiteral("张三"), "0701", 1, 75.0, false, QDate(2000, 3, 3)});
    return p;
}

// The names of the rows in view order.
inline QStringList names(DataSet &t)
{
    QStringList out;
    const int f = t.fieldIndex(u"sName");
    for (qsizetype r = 0; r < t.recordCount(); ++r) out.append(t.valueAt(r, f).toString());
    return out;
}

inline QStringList codes(DataSet &t)
{
    QStringList out;
    const int f = t.fieldIndex(u"sCode");
    for (qsizetype r = 0; r < t.recordCount(); ++r) out.append(t.valueAt(r, f).toString());
    return out;
}

} // namespace lumeko::testing
