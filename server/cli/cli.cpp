#include "server/cli/cli.h"
#include "link/clientsession.h"
#include "link/httplink.h"
#include "wire/codec.h"
#include "wire/protocol/methods.h"

#include <QFile>
#include <QSysInfo>

#include <cmath>

namespace lumeko::server::cli {

using link::ClientSession;
using link::HttpLink;
using link::HttpLinkOptions;

namespace {

using wire::DataPacket;
using wire::FieldType;
using wire::Value;

// ---- values as text ------------------------------------------------------------------------------

QString isoDateTime(const QDateTime &t)
{
    // In this computer's local time, with its offset from UTC, so that a time read from the
    // output means one instant whatever zone the value came in.
    const QDateTime local = t.toLocalTime();
    const QDateTime at = local.toOffsetFromUtc(local.offsetFromUtc());
    return at.toString(at.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
}

QString isoDate(QDate d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString number(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString blobText(qsizetype bytes)
{
    return QStringLiteral("<%1 bytes>").arg(bytes);
}

// A text in one cell of a line: the characters that would break the line or the columns are
// written as \t, \n, \r, and the backslash itself as \\.
QString escapedCell(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20) out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else out += c;
        }
    }
    out += u'"';
    return out;
}

// One cell of a packet, as text (nulls empty) or as a JSON value (nulls null).
QString cell(const wire::Column &c, qsizetype row, bool json)
{
    if (c.isNull(row)) return json ? QStringLiteral("null") : QString();
    QString text;
    switch (c.type()) {
    case FieldType::Text: return json ? jsonString(c.textAt(row)) : escapedCell(c.textAt(row));
    case FieldType::Integer: return QString::number(c.intAt(row));
    case FieldType::Float: {
        const double v = c.floatAt(row);
        return json && !std::isfinite(v) ? QStringLiteral("null") : number(v);
    }
    case FieldType::Boolean: return c.intAt(row) ? QStringLiteral("true") : QStringLiteral("false");
    case FieldType::Date: text = isoDate(wire::Column::daysToDate(c.intAt(row))); break;
    case FieldType::DateTime: text = isoDateTime(QDateTime::fromMSecsSinceEpoch(c.intAt(row))); break;
    case FieldType::Blob: text = blobText(c.blobAt(row).size()); break;
    }
    return json ? jsonString(text) : text;
}

// A result or a value written back, on one line.
QString scalarText(const Value &value)
{
    return std::visit([](const auto &v) -> QString {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, wire::Null>) return QString();
        else if constexpr (std::is_same_v<T, QString>) return escapedCell(v);
        else if constexpr (std::is_same_v<T, qint64>) return QString::number(v);
        else if constexpr (std::is_same_v<T, double>) return number(v);
        else if constexpr (std::is_same_v<T, bool>) return v ? QStringLiteral("true") : QStringLiteral("false");
        else if constexpr (std::is_same_v<T, QDate>) return isoDate(v);
        else if constexpr (std::is_same_v<T, QDateTime>) return isoDateTime(v);
        else if constexpr (std::is_same_v<T, QByteArray>) return blobText(v.size());
        else if constexpr (std::is_same_v<T, DataPacket>) return QStringLiteral("<data packet of %1 rows>").arg(v.rowCount());
        else return QStringLiteral("<change packet of %1 rows>").arg(v.rows.size());
    }, value);
}

void writeTsv(QTextStream &out, const DataPacket &p)
{
    QStringList names;
    for (const wire::FieldDef &f : p.fields()) names.append(f.name);
    out << names.join(u'\t') << '\n';
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        for (int f = 0; f < p.fieldCount(); ++f) {
            if (f) out << '\t';
            out << cell(p.column(f), r, false);
        }
        out << '\n';
    }
}

// An array of one object per row, keys in field order, one row to a line.
void writeJson(QTextStream &out, const DataPacket &p)
{
    if (p.rowCount() == 0) {
        out << "[]\n";
        return;
    }
    QStringList keys;
    for (const wire::FieldDef &f : p.fields()) keys.append(jsonString(f.name));
    out << "[\n";
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        out << "  {";
        for (int f = 0; f < p.fieldCount(); ++f) {
            if (f) out << ", ";
            out << keys[f] << ": " << cell(p.column(f), r, true);
        }
        out << (r + 1 < p.rowCount() ? "},\n" : "}\n");
    }
    out << "]\n";
}

void writePacket(QTextStream &out, const DataPacket &p, bool json)
{
    if (json) writeJson(out, p);
    else writeTsv(out, p);
}

// ---- the command line ----------------------------------------------------------------------------

struct CommandLine {
    QString server, ca, user, password;
    bool json = false;
    bool help = false;
    QString command;
    QStringList operands;
};

std::optional<CommandLine> parseCommandLine(const QStringList &args, QString *error)
{
    CommandLine cl;
    bool hasPassword = false;
    qsizetype i = 0;
    for (; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--"))) break;
        const qsizetype eq = a.indexOf(u'=');
        const QString name = eq < 0 ? a : a.left(eq);
        if (name == QLatin1String("--help") || name == QLatin1String("--json")) {
            if (eq >= 0) {
                *error = QStringLiteral("%1 takes no value").arg(name);
                return std::nullopt;
            }
            (name == QLatin1String("--help") ? cl.help : cl.json) = true;
            continue;
        }
        QString *target = name == QLatin1String("--server")     ? &cl.server
                          : name == QLatin1String("--ca")       ? &cl.ca
                          : name == QLatin1String("--user")     ? &cl.user
                          : name == QLatin1String("--password") ? &cl.password
                                                                : nullptr;
        if (!target) {
            *error = QStringLiteral("unknown option %1").arg(name);
            return std::nullopt;
        }
        if (eq >= 0) {
            *target = a.mid(eq + 1);
        } else if (i + 1 < args.size()) {
            *target = args[++i];
        } else {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return std::nullopt;
        }
        if (target == &cl.password) hasPassword = true;
    }
    if (cl.help) return cl;
    // The method list is the client's own: no server, no sign-in.
    if (i < args.size() && args[i] == QLatin1String("methods")) {
        cl.command = args[i];
        cl.operands = args.mid(i + 1);
        if (!cl.operands.isEmpty()) *error = QStringLiteral("methods takes no arguments");
        if (!error->isEmpty()) return std::nullopt;
        return cl;
    }
    if (!hasPassword && qEnvironmentVariableIsSet("LUMEKO_PASSWORD")) {
        cl.password = qEnvironmentVariable("LUMEKO_PASSWORD");
        hasPassword = true;
    }
    if (cl.server.isEmpty()) *error = QStringLiteral("--server is missing");
    else if (!cl.ca.isEmpty() && !cl.server.trimmed().startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        *error = QStringLiteral("--ca is for an https:// server; %1 is not one").arg(cl.server);
    else if (cl.user.isEmpty()) *error = QStringLiteral("--user is missing");
    else if (!hasPassword) *error = QStringLiteral("--password is missing");
    else if (i >= args.size())
        *error = QStringLiteral("no command: call, whoami or methods");
    if (!error->isEmpty()) return std::nullopt;

    cl.command = args[i];
    cl.operands = args.mid(i + 1);
    if (cl.command == QLatin1String("call")) {
        if (cl.operands.size() < 2) *error = QStringLiteral("call needs an object and a method");
    } else if (cl.command == QLatin1String("whoami")) {
        if (!cl.operands.isEmpty()) *error = QStringLiteral("whoami takes no arguments");
    } else {
        *error = QStringLiteral("unknown command '%1'").arg(cl.command);
    }
    if (!error->isEmpty()) return std::nullopt;
    return cl;
}

bool isPlainName(const QString &name)
{
    if (name.isEmpty()) return false;
    for (QChar c : name)
        if (!c.isLetterOrNumber() && c != u'_') return false;
    return true;
}

int usageError(QTextStream &err, const QString &why)
{
    err << "lumeko-cli: " << why << "\n\n" << usage();
    return UsageError;
}

int serverError(QTextStream &err, const wire::Reply &reply)
{
    err << errorCodeName(reply.error) << ": " << reply.message << '\n';
    return ServerError;
}

void printValue(QTextStream &out, const Value &v, bool json)
{
    if (const DataPacket *p = std::get_if<DataPacket>(&v)) writePacket(out, *p, json);
    else out << scalarText(v) << '\n';
}

void printReply(QTextStream &out, const wire::Reply &reply, bool json)
{
    printValue(out, reply.result, json);
    for (auto it = reply.refs.cbegin(); it != reply.refs.cend(); ++it) {
        if (const DataPacket *p = std::get_if<DataPacket>(&it.value())) {
            out << '#' << it.key() << '\n';
            writePacket(out, *p, json);
        } else {
            out << '#' << it.key() << '\t' << scalarText(it.value()) << '\n';
        }
    }
}

// The context packet's one row as name and value lines: who and where first, then the rest.
void printContext(QTextStream &out, const DataPacket &p, bool json)
{
    static const char16_t *const first[] = {u"SchoolId", u"SchoolName", u"UserCode", u"UserName", u"UserType", u"Roles"};
    QList<int> order;
    for (const char16_t *name : first)
        if (const int f = p.fieldIndex(QStringView(name)); f >= 0) order.append(f);
    for (int f = 0; f < p.fieldCount(); ++f)
        if (!order.contains(f)) order.append(f);

    if (json) {
        out << "{";
        for (qsizetype i = 0; i < order.size(); ++i)
            out << (i ? ", " : "") << jsonString(p.fields()[order[i]].name) << ": " << cell(p.column(order[i]), 0, true);
        out << "}\n";
        return;
    }
    for (int f : order) out << p.fields()[f].name << '\t' << cell(p.column(f), 0, false) << '\n';
}

} // namespace

LinkFactory httpLinks()
{
    return [](const ServerAddress &server, QString *error) -> std::unique_ptr<ServerLink> {
        std::optional<HttpLinkOptions> options = HttpLinkOptions::fromUrl(server.url, error);
        if (!options) return nullptr;
        if (!server.caFile.isEmpty()) {
            QFile ca(server.caFile);
            if (!ca.open(QIODevice::ReadOnly)) {
                *error = QStringLiteral("--ca: cannot read %1: %2").arg(server.caFile, ca.errorString());
                return nullptr;
            }
            options->caFile = server.caFile;
        }
        return std::make_unique<HttpLink>(*options);
    };
}

QString usage()
{
    return QStringLiteral(
        "usage: lumeko-cli --server URL [--ca FILE] --user U --password P [--json] call OBJECT METHOD [ARG...]\n"
        "       lumeko-cli --server URL [--ca FILE] --user U --password P [--json] whoami\n"
        "       lumeko-cli methods\n"
        "       lumeko-cli --help\n"
        "\n"
        "Signs in to the application server at URL (https://host:port, or http://host:port on this\n"
        "computer), calls OBJECT.METHOD with the arguments, prints the answer and signs out. whoami\n"
        "prints the signed-in user's context. methods lists every server method with its arguments\n"
        "(var: passed by reference, out: written back), its result and the right it needs. The password may come from the environment variable\n"
        "LUMEKO_PASSWORD instead.\n"
        "\n"
        "An https:// server's certificate is checked against the system's certificate authorities, or\n"
        "with --ca against the ones in FILE (PEM), a school's own authority.\n"
        "\n"
        "Arguments are typed by their prefix:\n"
        "  i:2012          integer\n"
        "  s:0701          text (s: alone is the empty text)\n"
        "  f:1.5           float\n"
        "  b:true b:false  boolean\n"
        "  d:2024-09-01    date\n"
        "  t:2024-09-01T08:00:00  date-time (local time unless an offset is given)\n"
        "  null            null\n"
        "  @file.cbor      a data packet or a change packet read from the file\n"
        "A trailing & (i:2012&) passes the argument by reference.\n"
        "\n"
        "A data packet is printed as tab-separated lines with a header of field names (empty for\n"
        "null), or with --json as an array of objects; any other result on one line. Then each value\n"
        "written back: #INDEX<tab>VALUE, or #INDEX on a line of its own before a packet.\n"
        "\n"
        "Exit status: 0 done, 1 the server refused or failed, 2 wrong command line.\n");
}

QString errorCodeName(wire::ErrorCode code)
{
    using wire::ErrorCode;
    switch (code) {
    case ErrorCode::None: return QStringLiteral("None");
    case ErrorCode::Malformed: return QStringLiteral("Malformed");
    case ErrorCode::UnknownObject: return QStringLiteral("UnknownObject");
    case ErrorCode::UnknownMethod: return QStringLiteral("UnknownMethod");
    case ErrorCode::BadArguments: return QStringLiteral("BadArguments");
    case ErrorCode::NotSignedIn: return QStringLiteral("NotSignedIn");
    case ErrorCode::Forbidden: return QStringLiteral("Forbidden");
    case ErrorCode::Storage: return QStringLiteral("Storage");
    case ErrorCode::TooLarge: return QStringLiteral("TooLarge");
    case ErrorCode::Timeout: return QStringLiteral("Timeout");
    case ErrorCode::Internal: return QStringLiteral("Internal");
    case ErrorCode::Refused: return QStringLiteral("Refused");
    }
    return QStringLiteral("Error%1").arg(int(code));
}

std::optional<wire::Argument> parseArgument(const QString &text, QString *error)
{
    auto fail = [&](const QString &why) {
        *error = QStringLiteral("argument '%1': %2").arg(text, why);
        return std::optional<wire::Argument>();
    };
    wire::Argument arg;
    QString t = text;
    if (t.endsWith(u'&')) {
        arg.byRef = true;
        t.chop(1);
    }
    if (t == QLatin1String("null")) return arg;

    if (t.startsWith(u'@')) {
        const QString path = t.mid(1);
        if (path.isEmpty()) return fail(QStringLiteral("@ needs a file name"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        const QByteArray bytes = file.readAll();
        try {
            arg.value = wire::decodeDataPacket(bytes);
            return arg;
        } catch (const wire::WireError &asData) {
            try {
                arg.value = wire::decodeChangePacket(bytes);
                return arg;
            } catch (const wire::WireError &asChange) {
                return fail(QStringLiteral("%1 is neither a data packet (%2) nor a change packet (%3)")
                                .arg(path, asData.message(), asChange.message()));
            }
        }
    }

    if (t.size() < 2 || t[1] != u':')
        return fail(QStringLiteral("no type: write i:, s:, f:, b:, d:, t: before the value, or null, or @file"));
    const QChar kind = t[0];
    const QString v = t.mid(2);
    bool ok = false;
    switch (kind.unicode()) {
    case 'i': {
        const qint64 n = v.toLongLong(&ok);
        if (!ok || v.trimmed() != v) return fail(QStringLiteral("'%1' is not an integer").arg(v));
        arg.value = n;
        return arg;
    }
    case 's':
        arg.value = v;
        return arg;
    case 'f': {
        const double d = v.toDouble(&ok);
        if (!ok || !std::isfinite(d) || v.trimmed() != v) return fail(QStringLiteral("'%1' is not a number").arg(v));
        arg.value = d;
        return arg;
    }
    case 'b':
        if (v == QLatin1String("true")) arg.value = true;
        else if (v == QLatin1String("false")) arg.value = false;
        else return fail(QStringLiteral("a boolean is true or false, not '%1'").arg(v));
        return arg;
    case 'd': {
        const QDate d = QDate::fromString(v, QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid()) return fail(QStringLiteral("'%1' is not a date (yyyy-MM-dd)").arg(v));
        arg.value = d;
        return arg;
    }
    case 't': {
        const QDateTime dt = QDateTime::fromString(v, Qt::ISODateWithMs);
        if (!dt.isValid()) return fail(QStringLiteral("'%1' is not a date-time (yyyy-MM-ddThh:mm:ss)").arg(v));
        arg.value = dt;
        return arg;
    }
    default:
        return fail(QStringLiteral("unknown type '%1:' (use i:, s:, f:, b:, d:, t:, null or @file)").arg(kind));
    }
}

// One line per declared method: "Object.Method(arguments) -> result  [right]".
void printMethods(QTextStream &out)
{
    namespace protocol = wire::protocol;
    for (const protocol::Method *m : protocol::allMethods())
        out << m->fullName() << u'(' << (m->maxArgs() ? protocol::describeArguments(*m) : QString()) << QStringLiteral(") -> ") << protocol::kindName(m->result)
            << QStringLiteral("  [") << protocol::describeRight(m->right) << "]\n";
}

int run(const QStringList &args, QTextStream &out, QTextStream &err, const LinkFactory &links)
{
    QString why;
    const std::optional<CommandLine> cl = parseCommandLine(args, &why);
    if (!cl) return usageError(err, why);
    if (cl->help) {
        out << usage();
        return Success;
    }
    if (cl->command == QLatin1String("methods")) {
        printMethods(out);
        return Success;
    }

    QList<wire::Argument> callArgs;
    if (cl->command == QLatin1String("call")) {
        for (const QString &name : cl->operands.mid(0, 2))
            if (!isPlainName(name)) return usageError(err, QStringLiteral("'%1' is not an object or method name").arg(name));
        for (const QString &text : cl->operands.mid(2)) {
            std::optional<wire::Argument> a = parseArgument(text, &why);
            if (!a) return usageError(err, why);
            callArgs.append(std::move(*a));
        }
    }

    const std::unique_ptr<ServerLink> link = links(ServerAddress{cl->server, cl->ca}, &why);
    if (!link) return usageError(err, why);
    ClientSession session(*link);
    const wire::Reply signedIn = session.signIn(cl->user, cl->password, QSysInfo::machineHostName());
    if (!signedIn.ok()) return serverError(err, signedIn);

    int code = Success;
    if (cl->command == QLatin1String("whoami")) {
        const wire::Reply reply = session.context();
        if (reply.ok()) printContext(out, std::get<DataPacket>(reply.result), cl->json);
        else code = serverError(err, reply);
    } else {
        const wire::Reply reply = session.call(cl->operands[0], cl->operands[1], std::move(callArgs));
        if (reply.ok()) printReply(out, reply, cl->json);
        else code = serverError(err, reply);
    }
    session.signOut(); // the answer does not change what was done
    return code;
}

} // namespace lumeko::server::cli
