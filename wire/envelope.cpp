#include "wire/envelope.h"
#include "wire/cborinput.h"

#include <QCborStreamWriter>
#include <QLoggingCategory>

namespace lumeko::wire {

namespace {
// Decoded envelopes at debug level: "lumeko.wire.debug=true".
Q_LOGGING_CATEGORY(lcWire, "lumeko.wire", QtInfoMsg)
} // namespace
namespace {

constexpr int kEnvelopeVersion = 1;
constexpr quint64 kTagDate = 1004;
constexpr quint64 kTagDateTime = 27000;
constexpr quint64 kTagDataPacket = 27001;
constexpr quint64 kTagChangePacket = 27002;
constexpr qsizetype kMaxNameBytes = 128;
constexpr qsizetype kMaxMessageBytes = 64 * 1024;

void writeValue(QCborStreamWriter &w, const Value &value)
{
    std::visit([&w](const auto &v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) w.appendNull();
        else if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, qint64> || std::is_same_v<T, double>
                           || std::is_same_v<T, bool> || std::is_same_v<T, QByteArray>) w.append(v);
        else if constexpr (std::is_same_v<T, QDate>) {
            w.append(QCborTag(kTagDate));
            w.append(v.toString(Qt::ISODate));
        } else if constexpr (std::is_same_v<T, QDateTime>) {
            w.append(QCborTag(kTagDateTime));
            w.append(v.toMSecsSinceEpoch());
        } else if constexpr (std::is_same_v<T, DataPacket>) {
            w.append(QCborTag(kTagDataPacket));
            writeDataPacket(w, v);
        } else if constexpr (std::is_same_v<T, ChangePacket>) {
            w.append(QCborTag(kTagChangePacket));
            writeChangePacket(w, v);
        }
    }, value);
}

Value readValue(detail::CborInput &in)
{
    QCborStreamReader &r = in.reader();
    switch (in.type()) {
    case QCborStreamReader::UnsignedInteger:
    case QCborStreamReader::NegativeInteger: return in.readInt("an integer argument");
    case QCborStreamReader::String: return in.readText("a text argument", in.limits().maxTextBytes);
    case QCborStreamReader::ByteArray: return in.readBytes("a byte argument", in.limits().maxBlobBytes);
    case QCborStreamReader::Float16:
    case QCborStreamReader::Float:
    case QCborStreamReader::Double: return in.readDouble("a float argument");
    case QCborStreamReader::SimpleType:
        if (r.isNull()) { in.skipNull(); return Null{}; }
        return in.readBool("a boolean argument");
    case QCborStreamReader::Tag: {
        const quint64 tag = in.readTag("a tag");
        switch (tag) {
        case kTagDate: {
            const QString text = in.readText("a date", 10);
            const QDate d = QDate::fromString(text, Qt::ISODate);
            if (!d.isValid()) in.fail(QStringLiteral("'%1' is not a date").arg(text));
            return d;
        }
        case kTagDateTime: {
            const qint64 ms = in.readInt("a date-time");
            if (ms < -250'000'000'000'000LL || ms > 250'000'000'000'000LL) in.fail(QStringLiteral("date-time out of range"));
            return QDateTime::fromMSecsSinceEpoch(ms);
        }
        case kTagDataPacket: return detail::readDataPacket(in, in.limits());
        case kTagChangePacket: return detail::readChangePacket(in, in.limits());
        default: in.fail(QStringLiteral("unknown tag %1").arg(tag));
        }
    }
    default: in.fail(QStringLiteral("unexpected kind of value"));
    }
}

QString readName(detail::CborInput &in, const char *what)
{
    const QString name = in.readText(what, kMaxNameBytes);
    for (QChar c : name)
        if (!c.isLetterOrNumber() && c != u'_') in.fail(QStringLiteral("%1 '%2' is not a plain name").arg(QLatin1String(what), name));
    return name;
}

} // namespace

QString valueKindName(const Value &v)
{
    static const char *const names[] = {"null", "text", "integer", "float", "boolean", "date",
                                        "date-time", "bytes", "data packet", "change packet"};
    return QString::fromLatin1(names[v.index()]);
}

Reply Reply::failure(ErrorCode code, const QString &message)
{
    Reply r;
    r.error = code;
    r.message = message;
    return r;
}

QByteArray encodeCall(const Call &call)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startArray(6);
    w.append(qint64(kEnvelopeVersion));
    w.append(call.object);
    w.append(call.method);
    w.append(call.token);
    w.startArray(call.args.size());
    for (const Argument &a : call.args) writeValue(w, a.value);
    w.endArray();
    QList<qint64> refs;
    for (int i = 0; i < call.args.size(); ++i)
        if (call.args[i].byRef) refs.append(i);
    w.startArray(refs.size());
    for (qint64 i : refs) w.append(i);
    w.endArray();
    w.endArray();
    return out;
}

Call decodeCall(QByteArrayView bytes, const DecodeLimits &limits)
{
    detail::CborInput in(bytes, limits);
    in.enterArray("a call", 6);
    if (in.readInt("the envelope version") != kEnvelopeVersion) in.fail(QStringLiteral("unsupported envelope version"));
    Call call;
    call.object = readName(in, "the object name");
    call.method = readName(in, "the method name");
    call.token = in.readText("the session token", kMaxNameBytes);
    const qsizetype n = in.enterArray("the arguments", limits.maxArguments);
    call.args.reserve(n);
    for (qsizetype i = 0; i < n; ++i) call.args.append(Argument{readValue(in), false});
    in.leaveArray("the arguments");
    const qsizetype refs = in.enterArray("the by-reference list", n);
    for (qsizetype i = 0; i < refs; ++i) {
        const qint64 index = in.readInt("a by-reference index");
        if (index < 0 || index >= n || call.args[index].byRef)
            in.fail(QStringLiteral("by-reference index %1 is not an argument").arg(index));
        call.args[index].byRef = true;
    }
    in.leaveArray("the by-reference list");
    in.leaveArray("a call");
    in.expectEnd();
    qCDebug(lcWire).noquote() << "call" << call.object + u'.' + call.method << "decoded from" << bytes.size() << "bytes";
    return call;
}

QByteArray encodeReply(const Reply &reply)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startArray(5);
    w.append(qint64(kEnvelopeVersion));
    writeValue(w, reply.result);
    w.startArray(reply.refs.size());
    for (auto it = reply.refs.cbegin(); it != reply.refs.cend(); ++it) {
        w.startArray(2);
        w.append(qint64(it.key()));
        writeValue(w, it.value());
        w.endArray();
    }
    w.endArray();
    w.append(qint64(reply.error));
    w.append(reply.message);
    w.endArray();
    return out;
}

Reply decodeReply(QByteArrayView bytes, const DecodeLimits &limits)
{
    detail::CborInput in(bytes, limits);
    in.enterArray("a reply", 5);
    if (in.readInt("the envelope version") != kEnvelopeVersion) in.fail(QStringLiteral("unsupported envelope version"));
    Reply reply;
    reply.result = readValue(in);
    const qsizetype n = in.enterArray("the by-reference values", limits.maxArguments);
    for (qsizetype i = 0; i < n; ++i) {
        in.enterArray("a by-reference value", 2);
        const qint64 index = in.readInt("a by-reference index");
        if (index < 0 || index >= limits.maxArguments || reply.refs.contains(int(index)))
            in.fail(QStringLiteral("by-reference index %1 is out of range").arg(index));
        reply.refs.insert(int(index), readValue(in));
        in.leaveArray("a by-reference value");
    }
    in.leaveArray("the by-reference values");
    const qint64 code = in.readInt("the error code");
    if (code < 0 || code > int(ErrorCode::Refused)) in.fail(QStringLiteral("unknown error code %1").arg(code));
    reply.error = ErrorCode(code);
    reply.message = in.readText("the error message", kMaxMessageBytes);
    in.leaveArray("a reply");
    in.expectEnd();
    qCDebug(lcWire).noquote() << "reply decoded from" << bytes.size() << "bytes, error" << int(reply.error);
    return reply;
}

} // namespace lumeko::wire
