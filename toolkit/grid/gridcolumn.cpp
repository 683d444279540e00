#include "toolkit/grid/gridcolumn.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace lumeko {

QString GridColumn::lookupText(const QVariant &key) const
{
    if (wire::isNull(key)) return QString();
    for (const LookupItem &item : lookup)
        if (wire::sameValue(item.key, key) || item.key.toString() == key.toString()) return item.text;
    return key.toString();
}

EditorKind editorKindOfType(const QString &fieldType)
{
    const QString t = fieldType.trimmed().toUpper();
    if (t == u"N" || t == u"I") return EditorKind::Integer;
    if (t == u"F") return EditorKind::Float;
    if (t == u"D") return EditorKind::Date;
    if (t == u"B") return EditorKind::Boolean;
    if (t == u"R" || t == u"C" || t == u"P") return EditorKind::Lookup;
    return EditorKind::Text;
}

SummaryKind summaryKindOfType(const QString &sumType)
{
    const QString t = sumType.trimmed().toUpper();
    if (t == u"C") return SummaryKind::Count;
    if (t == u"S") return SummaryKind::Sum;
    if (t == u"A") return SummaryKind::Average;
    if (t == u"M") return SummaryKind::Max;
    if (t == u"N" || t == u"I") return SummaryKind::Min;
    return SummaryKind::None;
}

namespace {
QVariant definitionValue(DataSet &definitions, const char *name)
{
    const int f = definitions.fieldIndex(QString::fromLatin1(name));
    return f < 0 ? QVariant() : definitions.field(f).value();
}

bool definitionFlag(DataSet &definitions, const char *name, bool absent)
{
    const QVariant v = definitionValue(definitions, name);
    if (wire::isNull(v)) return absent;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toUpper();
        return s == u"1" || s == u"T" || s == u"TRUE" || s == u"Y";
    }
    return v.toBool();
}
} // namespace

GridColumn columnFromDefinition(DataSet &definitions)
{
    GridColumn c;
    c.field = definitionValue(definitions, "sFldName").toString().trimmed();
    c.caption = definitionValue(definitions, "sFldCaption").toString();
    c.editor = editorKindOfType(definitionValue(definitions, "sFieldType").toString());
    c.visible = definitionFlag(definitions, "bShowed", true);
    const QVariant width = definitionValue(definitions, "nWidth");
    bool ok = false;
    const int characters = width.toString().trimmed().toInt(&ok);
    if (!wire::isNull(width) && ok && characters > 0) c.width = widthOfCharacters(characters);
    const bool sum = definitionFlag(definitions, "bSum", false);
    const bool group = definitionFlag(definitions, "bGroup", false);
    if (sum || group) {
        c.summary = summaryKindOfType(definitionValue(definitions, "sSumType").toString());
        c.summaryFormat = definitionValue(definitions, "sFormat").toString();
        c.groupSummary = group && c.summary != SummaryKind::None;
    }
    return c;
}

// ---- display formats -------------------------------------------------------------------------

namespace {
struct NumberPattern {
    QString prefix, suffix;
    int minInt = 0;      // '0' places before the decimal point
    int minDecimals = 0; // '0' places after it
    int maxDecimals = 0; // all places after it
    bool thousands = false;
    bool hasPlaces = false;
};

bool isPlace(QChar c) { return c == u'0' || c == u'#' || c == u'.' || c == u','; }

NumberPattern parsePattern(const QString &section)
{
    NumberPattern p;
    // Pieces: literal text (quoted or not) and the run of number places.
    enum class Where { Before, Inside, After } where = Where::Before;
    bool seenPoint = false;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = section.indexOf(c, i + 1);
            const QString quoted = section.mid(i + 1, end < 0 ? -1 : end - i - 1);
            (where == Where::Before ? p.prefix : p.suffix) += quoted;
            if (where == Where::Inside) where = Where::After;
            i = end < 0 ? section.size() : end;
            continue;
        }
        if (isPlace(c) && where != Where::After) {
            where = Where::Inside;
            p.hasPlaces = p.hasPlaces || c == u'0' || c == u'#';
            if (c == u',') p.thousands = true;
            else if (c == u'.') seenPoint = true;
            else if (seenPoint) {
                ++p.maxDecimals;
                if (c == u'0') p.minDecimals = p.maxDecimals;
            } else if (c == u'0') {
                ++p.minInt;
            }
            continue;
        }
        if (where == Where::Inside) where = Where::After;
        (where == Where::Before ? p.prefix : p.suffix) += c;
    }
    return p;
}

QString groupThousands(const QString &digits)
{
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += u',';
        out += digits[i];
    }
    return out;
}

QString generalNumber(double value)
{
    if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::floor(value))
        return QString::number(qint64(value));
    QString s = QString::number(value, 'f', 4);
    while (s.contains(u'.') && (s.endsWith(u'0') || s.endsWith(u'.'))) s.chop(1);
    return s;
}
} // namespace

QString formatNumber(double value, const QString &format)
{
    if (format.isEmpty()) return generalNumber(value);
    const QStringList sections = format.split(u';');
    QString section = sections.first();
    bool negativeSection = false, zeroSection = false;
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty()) {
        section = sections[1];
        negativeSection = true;
    } else if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty()) {
        section = sections[2];
        zeroSection = true;
    }
    const NumberPattern p = parsePattern(section);
    // A section of text alone: the text stands for the number ("零"); a first section of text
    // alone is a caption the number follows.
    if (!p.hasPlaces) return negativeSection || zeroSection ? p.prefix + p.suffix : p.prefix + generalNumber(value) + p.suffix;

    const double magnitude = std::fabs(value);
    QString digits = QString::number(magnitude, 'f', p.maxDecimals);
    QString intPart = digits.section(u'.', 0, 0);
    QString decPart = p.maxDecimals > 0 ? digits.section(u'.', 1, 1) : QString();
    while (decPart.size() > p.minDecimals && decPart.endsWith(u'0')) decPart.chop(1);
    if (intPart == u"0" && p.minInt == 0) intPart.clear();
    while (intPart.size() < p.minInt) intPart.prepend(u'0');
    if (p.thousands) intPart = groupThousands(intPart);
    QString number = intPart;
    if (!decPart.isEmpty()) number += u'.' + decPart;
    if (number.isEmpty()) number = QStringLiteral("0");
    // A value that rounds to zero shows no minus sign.
    const bool negative = value < 0 && !negativeSection
        && std::any_of(number.begin(), number.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    return p.prefix + (negative ? QStringLiteral("-") : QString()) + number + p.suffix;
}

QString formatSummary(const QVariant &value, const QString &format)
{
    if (wire::isNull(value)) return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return formatNumber(value.toDouble(), format);
    default: break;
    }
    // Dates and texts keep only the literal text of a number format around them.
    const NumberPattern p = parsePattern(format.split(u';').first());
    QString text;
    if (value.typeId() == QMetaType::QDate) text = value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    else if (value.typeId() == QMetaType::QDateTime) text = value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    else text = value.toString();
    return p.prefix + text + p.suffix;
}

} // namespace lumeko
