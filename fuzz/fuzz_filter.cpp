// Filter expressions, which pages build from what users type and the server receives in requests:
// the parser must refuse bad text with FilterError and nothing else. An expression it accepts is
// evaluated on a few rows of every field type, and must agree with
//   - "not (expression)", which holds on exactly the rows where the expression does not, and
//   - the in-memory table filtered by the same text, which shows exactly the matching rows, in
//     their loaded order.
// Both the case-sensitive and the case-insensitive parser see every input.

#include "check.h"

#include "toolkit/data/dataset.h"
#include "toolkit/data/filter.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

using namespace lumeko;
using wire::FieldDef;

namespace {

const wire::DataPacket &rows()
{
    static const wire::DataPacket packet = [] {
        wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                            {QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
                            {QStringLiteral("ClassCode"), FieldType::Text, 4, 0},
                            {QStringLiteral("GradeCode"), FieldType::Text, 2, 0},
                            {QStringLiteral("bCurGrade"), FieldType::Text, 1, 0},
                            {QStringLiteral("sSex"), FieldType::Text, 1, 0},
                            {QStringLiteral("sParFunId"), FieldType::Text, 2, 0},
                            {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
                            {QStringLiteral("InYear"), FieldType::Integer, 0, 0},
                            {QStringLiteral("Score"), FieldType::Float, 0, 0},
                            {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
                            {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                            {QStringLiteral("tModified"), FieldType::DateTime, 0, 0},
                            {QStringLiteral("Photo"), FieldType::Blob, 0, 0}});
        const QVariant null;
        p.appendRow({QStringLiteral("{01}"), QStringLiteral("张三"), QStringLiteral("0701"), QStringLiteral("07"),
                     QStringLiteral("Y"), QStringLiteral("男"), QStringLiteral("40"), 3, 2012, 88.5, true,
                     QDate(2000, 5, 1), QDateTime::fromMSecsSinceEpoch(1346457600000), QByteArray("\x89PNG", 4)});
        p.appendRow({QStringLiteral("{02}"), QStringLiteral("李四"), QStringLiteral("0702"), QStringLiteral("07"),
                     QStringLiteral("N"), QStringLiteral("女"), QStringLiteral("00"), 1, 2012, 92.0, false,
                     QDate(2000, 1, 9), QDateTime::fromMSecsSinceEpoch(1346544000123), QByteArray("GIF8", 4)});
        p.appendRow({QStringLiteral("{03}"), QStringLiteral("王五"), null, null, null, null, null, null, null, null,
                     null, null, null, null});
        p.appendRow({QStringLiteral("{04}"), QString(""), QString(""), QStringLiteral("08"), QStringLiteral("y"),
                     QStringLiteral("女"), QStringLiteral("4%"), 0, 2011, 0.0, false, QDate(1999, 12, 31),
                     QDateTime::fromMSecsSinceEpoch(0), QByteArray("", 0)});
        p.appendRow({QStringLiteral("{05}"), QStringLiteral("Ann O'Neil"), QStringLiteral("0901"), QStringLiteral("09"),
                     QStringLiteral("Y"), QStringLiteral("M"), QStringLiteral("_1"), -7, 2010, 150.0, true,
                     QDate(1998, 2, 28), QDateTime::fromMSecsSinceEpoch(-86400000), QByteArray("\0\1", 2)});
        return p;
    }();
    return packet;
}

void check(const QString &text, bool caseInsensitive)
{
    const wire::DataPacket &packet = rows();
    FilterExpr expr;
    try {
        expr = FilterExpr::parse(text, packet.fields(), caseInsensitive);
    } catch (const FilterError &e) {
        fuzz::require(e.position() >= 0 && e.position() <= text.size(),
                      "a filter error points outside the expression", e.message());
        return;
    }
    fuzz::require(!expr.isEmpty(), "a parsed expression matches every row without a test");

    // Any parsed expression wrapped in "not (...)" parses as well and holds exactly where it does not.
    // The one exception: an expression at the term limit has no room left for the "not".
    FilterExpr negated;
    try {
        negated = FilterExpr::parse(QStringLiteral("not (") + text + u')', packet.fields(), caseInsensitive);
    } catch (const FilterError &e) {
        fuzz::require(e.message().contains(QStringLiteral("terms")), "not (e) of a parsed e is refused", e.message());
        return;
    }
    QList<qsizetype> matching;
    for (qsizetype r = 0; r < packet.rowCount(); ++r) {
        const bool holds = expr.matches(packet.columns(), r);
        fuzz::require(negated.matches(packet.columns(), r) == !holds, "not (e) does not hold exactly where e fails", text);
        if (holds) matching.append(r);
    }

    // The table filtered by the same text shows the matching rows, in loaded order.
    DataSet table;
    table.setData(packet);
    table.setFilterCaseInsensitive(caseInsensitive);
    table.setFilter(text);
    table.setFiltered(true);
    fuzz::require(table.recordCount() == matching.size(), "the filtered table does not show the matching rows", text);
    const int code = packet.fieldIndex(u"sCode");
    for (qsizetype i = 0; i < matching.size(); ++i)
        fuzz::require(table.valueAt(i, code) == packet.value(matching[i], code),
                      "the filtered table shows other rows than the expression matches", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    check(text, false);
    check(text, true);
    return 0;
}
