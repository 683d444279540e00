#include "server/methods/updates.h"

#include "server/storage/schema.h"

namespace lumeko::server {

void applyTableUpdate(MethodCall &c, const QString &table, const ApplyRules &extra)
{
    applyTableUpdate(c, table, c.changes(0), extra);
}

void applyTableUpdate(MethodCall &c, const QString &table, const wire::ChangePacket &packet, const ApplyRules &extra)
{
    c.integer(1); // the constant -1 of the update calls; any integer is accepted
    c.requireByRef(2);
    ApplyRules rules = extra;
    rules.school = c.user().school;
    const ApplyResult r = applyChangesAtomically(c.db(), schemaTable(table), packet, rules);
    c.setRef(2, qint64(r.errors));
    if (r.errors > 0) c.setMessage(r.messages.join(u'\n'));
}

QString columnList(const TableDef &t, const QString &alias)
{
    QStringList cols;
    for (const ColumnDef &c : t.columns)
        cols << (alias.isEmpty() ? QString() : alias + u'.') + Database::quoted(c.name);
    return cols.join(u", ");
}

std::function<void(MethodCall &)> tableUpdate(const QString &table)
{
    return [table](MethodCall &c) { applyTableUpdate(c, table); };
}

} // namespace lumeko::server
