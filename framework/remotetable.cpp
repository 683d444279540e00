#include "framework/remotetable.h"

#include "host/pub/pub.h"

#include <QLoggingCategory>

namespace lumeko::achieve {

namespace protocol = wire::protocol;

namespace {

Q_LOGGING_CATEGORY(lcFramework, "lumeko.framework", QtInfoMsg)

// The server object a declaration belongs to.
std::optional<pub::ServerKind> kindOf(const protocol::Method &method)
{
    for (pub::ServerKind kind : {pub::ServerKind::StudentQry, pub::ServerKind::StudentUp, pub::ServerKind::AchieveQry, pub::ServerKind::AchieveUp,
                                 pub::ServerKind::SysQry, pub::ServerKind::SysUp})
        if (method.objectName().compare(pub::serverObjectName(kind), Qt::CaseInsensitive) == 0) return kind;
    return std::nullopt;
}

} // namespace

CallResult callServer(const protocol::Method &method, QList<wire::Argument> &args)
{
    CallResult r;
    const std::optional<pub::ServerKind> kind = kindOf(method);
    if (!kind) {
        r.message = QStringLiteral("%1 is not a method of a page's server object").arg(method.fullName());
        return r;
    }
    pub::ServerObject object = pub::ServerObject::open(*kind);
    qCDebug(lcFramework).noquote() << "calling" << method.fullName();
    wire::Reply reply = object.call(method, args);
    if (!reply.ok()) {
        r.message = reply.message;
        return r;
    }
    r.result = std::move(reply.result);
    r.outcome = CallResult::Done;
    // A method that answers "not done" (a 0) gives its reason beside the answer.
    r.message = reply.message;
    // An update answers its refused rows in its error-count slot.
    const auto slots = method.args();
    for (qsizetype i = 0; i < args.size() && i < qsizetype(slots.size()); ++i) {
        const protocol::Arg &a = slots[size_t(i)];
        if (a.pass != protocol::Pass::Out || a.name != "ErrorCount") continue;
        if (const qint64 *n = std::get_if<qint64>(&args[i].value); n && *n != 0) {
            r.outcome = CallResult::Refused;
            r.errors = *n;
        }
    }
    return r;
}

CallResult loadTable(DataSet &table, const protocol::Method &query, QList<wire::Argument> args)
{
    CallResult r = callServer(query, args);
    if (!r.ok()) return r;
    const auto slots = query.args();
    for (qsizetype i = 0; i < args.size() && i < qsizetype(slots.size()); ++i)
        // The data slot: an out slot of a data packet, or one that brings a text in and a packet back.
        if (slots[size_t(i)].pass == protocol::Pass::Out &&
            (slots[size_t(i)].kind == protocol::Kind::DataPacket || slots[size_t(i)].kind == protocol::Kind::Any))
            if (const auto *p = std::get_if<wire::DataPacket>(&args[i].value)) {
                table.setData(*p);
                return r;
            }
    if (const auto *p = std::get_if<wire::DataPacket>(&r.result)) {
        table.setData(*p);
        return r;
    }
    r.outcome = CallResult::Failed;
    r.message = QStringLiteral("%1 answered no data packet").arg(query.fullName());
    return r;
}

CallResult saveTable(DataSet &table, const protocol::Method &update)
{
    if (table.changeCount() == 0) return CallResult{CallResult::Done, 0, {}, {}};
    QList<wire::Argument> args{{table.delta(), false}, {qint64(-1), false}, {qint64(0), true}};
    CallResult r = callServer(update, args);
    if (r.ok()) table.mergeChangeLog();
    return r;
}

QString failureText(Failure kind, const CallResult &result)
{
    if (kind == Failure::Read) return QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！");
    if (kind == Failure::Save && result.outcome == CallResult::Refused) return QStringLiteral("更新失败！");
    return QStringLiteral("服务器连接失败！");
}

void reportFailure(QWidget *owner, const QString &caption, const CallResult &result, Failure kind)
{
    if (!result.message.isEmpty()) pub::writeLog(caption + QStringLiteral(": ") + result.message);
    pub::msgError(failureText(kind, result), owner);
}

FilterScope::FilterScope(DataSet &table, const QString &filter) : m_table(table), m_filter(table.filter()), m_filtered(table.filtered())
{
    m_table.setFilter(filter);
    m_table.setFiltered(true);
}

FilterScope::~FilterScope()
{
    try {
        m_table.setFilter(m_filter);
        m_table.setFiltered(m_filtered);
    } catch (const std::exception &) {
        m_table.setFiltered(false); // the table's fields changed under the old filter: show every row
    }
}

QList<LookupItem> lookupItems(DataSet &table, QStringView keyField, QStringView textField)
{
    QList<LookupItem> items;
    if (!table.isActive()) return items;
    const Bookmark here = table.bookmark();
    for (table.first(); !table.eof(); table.next())
        items.append({table.value(keyField), table.value(textField).toString()});
    if (here >= 0) table.gotoBookmark(here);
    return items;
}

} // namespace lumeko::achieve
