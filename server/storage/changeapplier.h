#pragma once
// Applying the change packet of an in-memory table to a stored table, with optimistic concurrency:
// inserted rows are added; modified and deleted rows are found by their old key values and must
// still hold the old values of the fields they change (all fields, for a deleted row). A row that
// cannot be applied counts as one error; the caller rolls the whole packet back when there is any.

#include "server/storage/database.h"
#include "server/storage/schema.h"

#include <functional>

namespace lumeko::server {

struct LUMEKO_STORAGE_EXPORT ApplyRules {
    // The caller's school. When the table has the column `schoolColumn`, every row must belong to
    // this school: inserted rows without one get it, rows of another school are refused, and
    // modified or deleted rows are looked up only within it.
    QString school;
    QString schoolColumn = QStringLiteral("SchoolCode");
    // Lets the caller fill or check an inserted row before it is stored; `values` holds one value
    // per table column (null where the packet has none). Returning a non-empty text refuses the row.
    std::function<QString(QVariantList &values)> onInsert;
};

struct LUMEKO_STORAGE_EXPORT ApplyResult {
    int errors = 0;
    QStringList messages;     // one per refused row, for the server log and the reply
    QList<qint64> assignedIds; // serial keys of the inserted rows, in packet order
};

// A packet that cannot be applied at all (its fields lack the table's key): nothing was done.
class LUMEKO_STORAGE_EXPORT PacketError : public StorageError {
public:
    using StorageError::StorageError;
};

// Applies the packet inside the caller's open transaction. After the first database error (a
// duplicate key, a broken reference) the transaction is unusable on PostgreSQL, so application
// stops there; that row counts as an error and so the packet is rolled back anyway.
LUMEKO_STORAGE_EXPORT ApplyResult applyChanges(Database &db, const TableDef &table, const wire::ChangePacket &packet,
                                               const ApplyRules &rules);

// The same in a transaction of its own, committed only when no row was refused.
LUMEKO_STORAGE_EXPORT ApplyResult applyChangesAtomically(Database &db, const TableDef &table,
                                                         const wire::ChangePacket &packet, const ApplyRules &rules);

} // namespace lumeko::server
