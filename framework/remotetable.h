#pragma once
// The page data layer: tables loaded from a query and saved through an update, each call through
// its declaration and answered with one result type; the guards pages keep a table in while they
// walk it; look-up lists for grid columns; and the one routine that reports a failure.
//
//     CallResult r = loadTable(*cdsFamily, protocol::QFamily, {in(school), var(filter), var()});
//     if (!r.ok()) return reportFailure(this, caption(), r, Failure::Read);
//
//     if (const CallResult saved = saveTable(*cdsData, protocol::UpStudent); !saved.ok())
//         reportFailure(this, caption(), saved, Failure::Save);

#include "framework/achieve_export.h"
#include "toolkit/data/dataset.h"
#include "toolkit/grid/gridcolumn.h"
#include "wire/protocol/method.h"

#include <QString>

class QWidget;

namespace lumeko::achieve {

// What became of a call: the server answered and did all (Done); it answered an update with
// refused rows (Refused, with their count); or there was no answer to act on (Failed: no
// connection, or the server refused the call itself), with the server's words in `message` (which
// a method answered "not done" also uses for its reason).
struct LUMEKO_ACHIEVE_EXPORT CallResult {
    enum Outcome { Done, Refused, Failed } outcome = Failed;
    qint64 errors = 0;
    QString message;
    wire::Value result; // the method's own result value, when it has one
    bool ok() const { return outcome == Done; }
};

// Calls a declared method on its server object; by-reference values come back into `args`.
LUMEKO_ACHIEVE_EXPORT CallResult callServer(const wire::protocol::Method &method, QList<wire::Argument> &args);

// Loads `table` with the data packet a query answers: from the declaration's written-back data
// slot, or its result. On failure the table keeps what it held.
LUMEKO_ACHIEVE_EXPORT CallResult loadTable(DataSet &table, const wire::protocol::Method &query, QList<wire::Argument> args);

// Sends `table`'s changes to an update method (changes, -1, var error count). When every row was
// stored the changes are accepted; otherwise they stay pending, as the user left them.
LUMEKO_ACHIEVE_EXPORT CallResult saveTable(DataSet &table, const wire::protocol::Method &update);

// The fixed texts a failure is shown with (the server's words go to the host's log).
enum class Failure {
    Read,       // "数据读取失败，可能网络不稳定，请稍后再试！"
    Connection, // "服务器连接失败！"
    Save,       // "更新失败！" for refused rows, "服务器连接失败！" without an answer
};
LUMEKO_ACHIEVE_EXPORT QString failureText(Failure kind, const CallResult &result);
// Writes "<caption>: <the server's words>" to the host's log (when there are words) and shows the
// fixed text as an error box.
LUMEKO_ACHIEVE_EXPORT void reportFailure(QWidget *owner, const QString &caption, const CallResult &result, Failure kind);

// Keeps a table under another filter while it lives (an empty one shows every row), then puts
// back the filter and whether it was on.
class LUMEKO_ACHIEVE_EXPORT FilterScope {
public:
    FilterScope(DataSet &table, const QString &filter);
    ~FilterScope();
    FilterScope(const FilterScope &) = delete;
    FilterScope &operator=(const FilterScope &) = delete;

private:
    DataSet &m_table;
    QString m_filter;
    bool m_filtered;
};

// Keeps a table's views from following it while it lives (a walk over many rows).
class LUMEKO_ACHIEVE_EXPORT FrozenControls {
public:
    explicit FrozenControls(DataSet &table) : m_table(table) { m_table.disableControls(); }
    ~FrozenControls() { m_table.enableControls(); }
    FrozenControls(const FrozenControls &) = delete;
    FrozenControls &operator=(const FrozenControls &) = delete;

private:
    DataSet &m_table;
};

// The key and display text of every row of a table, as a grid column's drop-down list.
LUMEKO_ACHIEVE_EXPORT QList<LookupItem> lookupItems(DataSet &table, QStringView keyField, QStringView textField);

} // namespace lumeko::achieve
