// The school's organisation: departments so far; classes, grades, subjects and the course table
// follow the same pattern.

#include "server/core/service.h"
#include "server/methods/methods.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

namespace {

void qDept(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(1, c.db().select(QStringLiteral("SELECT \"sCode\", \"sName\", \"sMemo\", \"SchoolCode\" FROM \"XJ_Dept\" "
                                             "WHERE \"SchoolCode\" = ? ORDER BY \"sCode\""),
                              {school}, schemaTable(u"XJ_Dept").fieldDefs({"sCode", "sName", "sMemo", "SchoolCode"})));
}

// The highest department number in use; empty when there is none. Codes are numbers padded to
// three digits, so the largest one compares largest as a number.
void maxDeptId(MethodCall &c)
{
    const QString school = c.school(0);
    const auto codes = c.db().select(QStringLiteral("SELECT \"sCode\" FROM \"XJ_Dept\" WHERE \"SchoolCode\" = ?"), {school},
                                     schemaTable(u"XJ_Dept").fieldDefs({"sCode"}));
    qint64 highest = -1;
    for (qsizetype r = 0; r < codes.rowCount(); ++r) {
        bool ok = false;
        const qint64 n = codes.value(r, 0).toString().toLongLong(&ok);
        if (ok) highest = std::max(highest, n);
    }
    c.setResult(highest < 0 ? wire::Value(QString()) : wire::Value(QString::number(highest)));
}

} // namespace

void registerOrganisationMethods(Service &s)
{
    namespace P = wire::protocol;
    s.addMethod(P::QDept, qDept);
    s.addMethod(P::MaxDeptID, maxDeptId);
    s.addMethod(P::UpDept, tableUpdate(QStringLiteral("XJ_Dept")));
}

} // namespace lumeko::server
