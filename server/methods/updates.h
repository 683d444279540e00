#pragma once
// The shape shared by the update methods that store one table's change packet:
// (change packet, -1, var error count). The packet is applied in one transaction with optimistic
// concurrency; any refused row rolls it all back, and the count of refused rows is the answer.

#include "server/core/methodcall.h"
#include "server/storage/changeapplier.h"

namespace lumeko::server {

// The columns of a table for a SELECT list: "a"."b", ... with an alias, "b", ... without.
QString columnList(const TableDef &t, const QString &alias = {});

// The implementation of an update method that stores `table`'s change packet; the right it needs
// is its declaration's.
std::function<void(MethodCall &)> tableUpdate(const QString &table);

// Applies the packet of argument 0 to the table within the caller's school and writes the error
// count back to argument 2; refused rows are described in the reply's message.
void applyTableUpdate(MethodCall &c, const QString &table, const ApplyRules &extra = {});
// The same with a packet the method prepared from argument 0's.
void applyTableUpdate(MethodCall &c, const QString &table, const wire::ChangePacket &packet, const ApplyRules &extra = {});

} // namespace lumeko::server
