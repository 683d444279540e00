#include "wire/protocol/method.h"

#include <cmath>

namespace lumeko::wire::protocol {

namespace {

QString text(std::string_view s)
{
    return QLatin1StringView(s.data(), qsizetype(s.size()));
}

QString withArticle(const QString &noun)
{
    return (QStringLiteral("aeiou").contains(noun.front()) ? QStringLiteral("an ") : QStringLiteral("a ")) + noun;
}

bool isDigits(const QString &s)
{
    const QString t = s.trimmed();
    if (t.isEmpty()) return false;
    for (qsizetype i = (t.front() == u'-' ? 1 : 0); i < t.size(); ++i)
        if (t[i] < u'0' || t[i] > u'9') return false;
    return t.size() > (t.front() == u'-' ? 1 : 0);
}

} // namespace

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::None:
        return QStringLiteral("nothing");
    case Kind::Text:
        return QStringLiteral("text");
    case Kind::Integer:
        return QStringLiteral("integer");
    case Kind::Real:
        return QStringLiteral("number");
    case Kind::Boolean:
        return QStringLiteral("boolean");
    case Kind::DateTime:
        return QStringLiteral("date and time");
    case Kind::Bytes:
        return QStringLiteral("bytes");
    case Kind::DataPacket:
        return QStringLiteral("data packet");
    case Kind::ChangePacket:
        return QStringLiteral("change packet");
    case Kind::ChangesOrNone:
        return QStringLiteral("change packet or null");
    case Kind::TextOrInteger:
        return QStringLiteral("integer or text");
    case Kind::Any:
        return QStringLiteral("value");
    }
    return {};
}

bool accepts(Kind kind, const Value &v)
{
    if (std::holds_alternative<Null>(v)) return kind != Kind::ChangePacket;
    switch (kind) {
    case Kind::None:
        return false;
    case Kind::Any:
        return true;
    case Kind::Text:
        return std::holds_alternative<QString>(v);
    case Kind::Integer:
        if (const auto *d = std::get_if<double>(&v)) return std::isfinite(*d) && *d == std::trunc(*d);
        if (const auto *s = std::get_if<QString>(&v)) return isDigits(*s);
        return std::holds_alternative<qint64>(v);
    case Kind::Real:
        return std::holds_alternative<double>(v) || std::holds_alternative<qint64>(v);
    case Kind::Boolean:
        return std::holds_alternative<bool>(v) || std::holds_alternative<qint64>(v);
    case Kind::DateTime:
        return std::holds_alternative<QDateTime>(v) || std::holds_alternative<QDate>(v);
    case Kind::Bytes:
        return std::holds_alternative<QByteArray>(v);
    case Kind::DataPacket:
        return std::holds_alternative<DataPacket>(v);
    case Kind::ChangePacket:
    case Kind::ChangesOrNone:
        return std::holds_alternative<ChangePacket>(v);
    case Kind::TextOrInteger:
        return std::holds_alternative<QString>(v) || accepts(Kind::Integer, v);
    }
    return false;
}

QString checkArguments(const Method &m, const QList<Argument> &args)
{
    if (args.size() < m.minArgs() || args.size() > m.maxArgs()) {
        const QString expected = m.minArgs() == m.maxArgs() ? QString::number(m.maxArgs()) : QStringLiteral("%1 to %2").arg(m.minArgs()).arg(m.maxArgs());
        return QStringLiteral("%1 takes %2 arguments (%3), not %4").arg(m.fullName(), expected, describeArguments(m)).arg(args.size());
    }
    for (qsizetype i = 0; i < args.size(); ++i) {
        const Arg &a = m.args()[size_t(i)];
        if (!accepts(a.kind, args[i].value))
            return QStringLiteral("%1: argument %2 (%3) must be %4, not %5")
                .arg(m.fullName())
                .arg(i + 1)
                .arg(text(a.name), withArticle(kindName(a.kind)), withArticle(valueKindName(args[i].value)));
        if (a.pass == Pass::Out && !args[i].byRef)
            return QStringLiteral("%1: argument %2 (%3) is written back and must be passed by reference").arg(m.fullName()).arg(i + 1).arg(text(a.name));
    }
    return {};
}

QString describeArguments(const Method &m)
{
    QStringList parts;
    for (const Arg &a : m.args()) {
        const QString pass = a.pass == Pass::Var ? QStringLiteral("var ") : a.pass == Pass::Out ? QStringLiteral("out ") : QString();
        parts << pass + text(a.name) + u' ' + kindName(a.kind) + (a.optional ? QStringLiteral(" (optional)") : QString());
    }
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

QString describeRight(const Right &r)
{
    switch (r.who) {
    case Right::Who::Anyone:
        return QStringLiteral("anyone");
    case Right::Who::SignedIn:
        return QStringLiteral("signed in");
    case Right::Who::Granted:
        break;
    }
    QStringList grants;
    for (const Grant &g : r.granted())
        grants << (g.key.empty() ? text(g.functionId) : text(g.functionId) + u'/' + text(g.key));
    return grants.join(QStringLiteral(" or "));
}

} // namespace lumeko::wire::protocol
