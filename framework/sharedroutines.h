#pragma once
// Routines many pages and dialogs share: the pieces of an operation-log line, the description of a
// table's pending changes for that log, the school-year label, the sort-index routine of the
// in-memory tables and a digit filter. They hold no state.

#include "framework/achieve_export.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QWidget;

namespace lumeko {
class DataSet;
}

namespace lumeko::achieve {

// The pieces a log text is sent in: the server keeps lines of at most 99 characters. A text of
// 99 characters or more goes in numbered pieces "(1)…", "(2)…" of 94 characters, or 93 where
// the 94th would be a wide (Chinese) character; a text under 99 characters goes whole.
LUMEKO_ACHIEVE_EXPORT QStringList logPieces(const QString &text);

// "增加行:" / "编辑行:" / "删除行:" and the logged fields (tag 2) of every pending change, or
// "编辑 " + record count + " 条数据" when there is nothing to describe.
LUMEKO_ACHIEVE_EXPORT QString DescribeChanges(const DataSet &table);

// 2012 gives "2012~2013学年".
LUMEKO_ACHIEVE_EXPORT QString SchoolYearText(int year);

// Makes an index on the fields ("a;b") the table's current order, reusing one that exists on the
// same fields whatever its direction, or adding "desc<n>"/"asc<n>".
LUMEKO_ACHIEVE_EXPORT void SetSortIndex(DataSet &table, const QString &fields, bool descending);

// Keeps "0"–"9" and "." in their order: "a1.5b2" gives "1.52".
LUMEKO_ACHIEVE_EXPORT QString DigitsOnly(const QString &text);

// Writes a line to the school's operation log on the server, in pieces (logPieces). A failure is
// written to the host's own log and never interrupts the caller.
LUMEKO_ACHIEVE_EXPORT void WriteOperationLog(const QString &text);

// The school's flags from its record on the server: a branch campus, a campus tree, publishing
// exams automatically. False when the school has no record or the flag is empty.
LUMEKO_ACHIEVE_EXPORT bool SchoolHasSub();
LUMEKO_ACHIEVE_EXPORT bool SchoolHasSubTree();
LUMEKO_ACHIEVE_EXPORT bool SchoolAutoPublish();

// The report preview and designer ask their questions through the host's message boxes from now on.
LUMEKO_ACHIEVE_EXPORT void routeReportQuestionsToHost();

// The host's font size for a page or dialog and, with `background`, the host's content colour
// behind it.
LUMEKO_ACHIEVE_EXPORT void applyHostLook(QWidget *widget, bool background);

// Appends and posts one outgoing text message to an outbox table (the fields of XT_SendMsg).
LUMEKO_ACHIEVE_EXPORT void AppendMessageRow(DataSet &outbox, const QString &messageId, const QString &providerId,
                                            const QString &classId, const QString &sectionId, bool sendNow,
                                            const QDateTime &sendTime, const QString &mobile, const QString &text);

} // namespace lumeko::achieve
