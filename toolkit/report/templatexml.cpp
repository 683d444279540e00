#include "toolkit/report/templatexml.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

namespace lumeko::report {

TemplateError::TemplateError(const QString &message, qint64 line, qint64 column, const QString &file)
    : std::runtime_error(((file.isEmpty() ? QString() : file + QStringLiteral(": ")) +
                          (line > 0 ? QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message) : message))
                             .toStdString()),
      m_problem(message), m_line(line), m_column(column)
{
}

namespace {

constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
constexpr int kMaxBands = 500;
constexpr int kMaxObjects = 20000;
constexpr double kMaxCoordinate = 100000; // report units: far beyond any paper

const QList<std::pair<Qt::AlignmentFlag, const char *>> kAlignNames = {
    {Qt::AlignLeft, "left"}, {Qt::AlignRight, "right"}, {Qt::AlignHCenter, "hcenter"}, {Qt::AlignJustify, "justify"},
    {Qt::AlignTop, "top"},   {Qt::AlignBottom, "bottom"}, {Qt::AlignVCenter, "vcenter"},
};

class Reader {
public:
    explicit Reader(const QByteArray &xml) : m_xml(xml) {}

    ReportTemplate read()
    {
        ReportTemplate t;
        if (!nextElement() || m_xml.name() != u"report") fail(QStringLiteral("the document must start with <report>"));
        Attributes a = attributes({"version", "title"});
        if (a.text("version", "1") != u"1") fail(QStringLiteral("only version 1 of the template format is known"));
        t.title = a.text("title");
        bool pageSeen = false;
        while (nextElement()) {
            if (m_xml.name() == u"page") {
                if (pageSeen) fail(QStringLiteral("a second <page>"));
                pageSeen = true;
                t.page = readPage();
            } else if (m_xml.name() == u"band") {
                if (t.bands.size() >= kMaxBands) fail(QStringLiteral("more than %1 bands").arg(kMaxBands));
                t.bands << readBand();
            } else {
                fail(QStringLiteral("unknown element <%1> in <report>").arg(m_xml.name()));
            }
        }
        finish();
        return t;
    }

private:
    // Attributes of the current element, each read at most once; unknown ones are refused.
    class Attributes {
    public:
        Attributes(Reader &r, QSet<QString> allowed) : m_r(r)
        {
            for (const QXmlStreamAttribute &a : r.m_xml.attributes()) {
                const QString n = a.name().toString();
                if (!allowed.contains(n)) r.fail(QStringLiteral("unknown attribute \"%1\" of <%2>").arg(n, r.m_xml.name()));
                m_values.insert(n, a.value().toString());
            }
        }
        bool has(const char *n) const { return m_values.contains(QLatin1StringView(n)); }
        QString text(const char *n, const char *fallback = "") const
        {
            return m_values.value(QLatin1StringView(n), QString::fromUtf8(fallback));
        }
        double number(const char *n, double fallback, double min = -kMaxCoordinate, double max = kMaxCoordinate) const
        {
            if (!has(n)) return fallback;
            bool ok = false;
            const double v = text(n).toDouble(&ok);
            if (!ok || !std::isfinite(v) || v < min || v > max)
                m_r.fail(QStringLiteral("attribute \"%1\" must be a number from %2 to %3, not \"%4\"")
                             .arg(QLatin1StringView(n)).arg(min).arg(max).arg(text(n).left(40)));
            return v;
        }
        double required(const char *n, double min = -kMaxCoordinate, double max = kMaxCoordinate) const
        {
            if (!has(n)) m_r.fail(QStringLiteral("attribute \"%1\" is missing").arg(QLatin1StringView(n)));
            return number(n, 0, min, max);
        }
        bool flag(const char *n, bool fallback) const
        {
            if (!has(n)) return fallback;
            const QString v = text(n);
            if (v == u"true") return true;
            if (v == u"false") return false;
            m_r.fail(QStringLiteral("attribute \"%1\" must be true or false").arg(QLatin1StringView(n)));
        }

    private:
        Reader &m_r;
        QHash<QString, QString> m_values;
    };

    Attributes attributes(std::initializer_list<const char *> names)
    {
        QSet<QString> allowed;
        for (const char *n : names) allowed.insert(QString::fromLatin1(n));
        return Attributes(*this, allowed);
    }

    [[noreturn]] void fail(const QString &why) const { throw TemplateError(why, m_xml.lineNumber(), m_xml.columnNumber()); }

    // The next child element of the current one; false at the end of the current element.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement: return true;
            case QXmlStreamReader::EndElement: return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace()) fail(QStringLiteral("unexpected text \"%1\"").arg(m_xml.text().left(20)));
                break;
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference: fail(QStringLiteral("document types and entities are not allowed"));
            default: break;
            }
        }
        if (m_xml.hasError()) fail(m_xml.errorString());
        return false;
    }

    void finish()
    {
        while (!m_xml.atEnd()) {
            const auto t = m_xml.readNext();
            if (t == QXmlStreamReader::StartElement || (t == QXmlStreamReader::Characters && !m_xml.isWhitespace()))
                fail(QStringLiteral("content after </report>"));
        }
        if (m_xml.hasError()) fail(m_xml.errorString());
    }

    PageSetup readPage()
    {
        Attributes a = attributes({"paper-width", "paper-height", "orientation", "margin-left", "margin-top", "margin-right", "margin-bottom"});
        PageSetup p;
        p.paperMm = QSizeF(a.number("paper-width", 210, 10, 5000), a.number("paper-height", 297, 10, 5000));
        const QString o = a.text("orientation", "portrait");
        if (o != u"portrait" && o != u"landscape") fail(QStringLiteral("orientation must be portrait or landscape"));
        p.orientation = o == u"landscape" ? QPageLayout::Landscape : QPageLayout::Portrait;
        p.marginsMm = QMarginsF(a.number("margin-left", 10, 0, 1000), a.number("margin-top", 10, 0, 1000),
                                a.number("margin-right", 10, 0, 1000), a.number("margin-bottom", 10, 0, 1000));
        if (nextElement()) fail(QStringLiteral("<page> holds no elements"));
        return p;
    }

    Band readBand()
    {
        Attributes a = attributes({"kind", "name", "height", "table", "group-field", "new-page-after"});
        Band b;
        if (!bandKindFromName(a.text("kind"), &b.kind)) fail(QStringLiteral("unknown band kind \"%1\"").arg(a.text("kind").left(40)));
        b.name = a.text("name");
        b.height = a.required("height", 0, kMaxCoordinate);
        b.table = a.text("table");
        b.groupField = a.text("group-field");
        b.newPageAfter = a.flag("new-page-after", false);
        if ((b.kind == BandKind::MasterData || b.kind == BandKind::DetailData) && b.table.isEmpty())
            fail(QStringLiteral("a data band needs the name of its table"));
        if (b.kind == BandKind::GroupHeader && b.groupField.isEmpty()) fail(QStringLiteral("a group header needs its group field"));
        while (nextElement()) {
            if (++m_objects > kMaxObjects) fail(QStringLiteral("more than %1 objects").arg(kMaxObjects));
            b.objects << readObject();
        }
        return b;
    }

    ReportObject readObject()
    {
        ReportObject o;
        if (!objectKindFromName(m_xml.name(), &o.kind)) fail(QStringLiteral("unknown element <%1> in <band>").arg(m_xml.name()));
        Attributes a = attributes({"name", "x", "y", "width", "height", "font", "size", "bold", "italic", "align", "frame",
                                   "frame-width", "wrap", "auto-height", "keep-aspect"});
        o.name = a.text("name");
        o.rect = QRectF(a.required("x"), a.required("y"), a.required("width", 0), a.required("height", 0));
        o.fontFamily = a.text("font", "宋体");
        o.fontSize = a.number("size", 10, 1, 400);
        o.bold = a.flag("bold", false);
        o.italic = a.flag("italic", false);
        o.alignment = parseAlignment(a.text("align", "left vcenter"));
        o.frame = parseFrame(a.text("frame"), a.number("frame-width", 1, 0, 100));
        o.wordWrap = a.flag("wrap", true);
        o.autoHeight = a.flag("auto-height", false);
        o.keepAspect = a.flag("keep-aspect", true);
        const QString content = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError()) fail(m_xml.errorString());
        if (o.kind == ObjectKind::Memo) {
            o.text = content;
        } else if (o.kind == ObjectKind::Picture) {
            const QByteArray png = QByteArray::fromBase64(content.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (!content.trimmed().isEmpty() && (png.isEmpty() || !o.picture.loadFromData(png, "PNG")))
                fail(QStringLiteral("the picture is not a base64 PNG image"));
        } else if (!content.trimmed().isEmpty()) {
            fail(QStringLiteral("a %1 holds no text").arg(objectKindName(o.kind)));
        }
        return o;
    }

    Qt::Alignment parseAlignment(const QString &text) const
    {
        Qt::Alignment al;
        for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
            bool known = false;
            for (const auto &[flag, name] : kAlignNames)
                if (word == QLatin1StringView(name)) { al |= flag; known = true; }
            if (!known) fail(QStringLiteral("unknown alignment \"%1\"").arg(word.left(20)));
        }
        return al;
    }

    Frame parseFrame(const QString &text, double width) const
    {
        Frame f;
        f.width = width;
        for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
            if (word == u"left") f.left = true;
            else if (word == u"top") f.top = true;
            else if (word == u"right") f.right = true;
            else if (word == u"bottom") f.bottom = true;
            else fail(QStringLiteral("unknown frame side \"%1\"").arg(word.left(20)));
        }
        return f;
    }

    QXmlStreamReader m_xml;
    int m_objects = 0;
};

QString number(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString alignmentText(Qt::Alignment al)
{
    QStringList words;
    for (const auto &[flag, name] : kAlignNames)
        if (al & flag) words << QString::fromLatin1(name);
    return words.join(u' ');
}

QString frameText(const Frame &f)
{
    QStringList sides;
    if (f.left) sides << QStringLiteral("left");
    if (f.top) sides << QStringLiteral("top");
    if (f.right) sides << QStringLiteral("right");
    if (f.bottom) sides << QStringLiteral("bottom");
    return sides.join(u' ');
}

} // namespace

ReportTemplate templateFromXml(const QByteArray &xml)
{
    if (xml.size() > kMaxFileBytes) throw TemplateError(QStringLiteral("the template is larger than 32 MB"));
    return Reader(xml).read();
}

QByteArray templateToXml(const ReportTemplate &t)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("report"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    w.writeAttribute(QStringLiteral("title"), t.title);
    w.writeStartElement(QStringLiteral("page"));
    w.writeAttribute(QStringLiteral("paper-width"), number(t.page.paperMm.width()));
    w.writeAttribute(QStringLiteral("paper-height"), number(t.page.paperMm.height()));
    w.writeAttribute(QStringLiteral("orientation"), t.page.orientation == QPageLayout::Landscape ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    w.writeAttribute(QStringLiteral("margin-left"), number(t.page.marginsMm.left()));
    w.writeAttribute(QStringLiteral("margin-top"), number(t.page.marginsMm.top()));
    w.writeAttribute(QStringLiteral("margin-right"), number(t.page.marginsMm.right()));
    w.writeAttribute(QStringLiteral("margin-bottom"), number(t.page.marginsMm.bottom()));
    w.writeEndElement();
    for (const Band &b : t.bands) {
        w.writeStartElement(QStringLiteral("band"));
        w.writeAttribute(QStringLiteral("kind"), bandKindName(b.kind));
        if (!b.name.isEmpty()) w.writeAttribute(QStringLiteral("name"), b.name);
        w.writeAttribute(QStringLiteral("height"), number(b.height));
        if (!b.table.isEmpty()) w.writeAttribute(QStringLiteral("table"), b.table);
        if (!b.groupField.isEmpty()) w.writeAttribute(QStringLiteral("group-field"), b.groupField);
        if (b.newPageAfter) w.writeAttribute(QStringLiteral("new-page-after"), QStringLiteral("true"));
        for (const ReportObject &o : b.objects) {
            w.writeStartElement(objectKindName(o.kind));
            if (!o.name.isEmpty()) w.writeAttribute(QStringLiteral("name"), o.name);
            w.writeAttribute(QStringLiteral("x"), number(o.rect.x()));
            w.writeAttribute(QStringLiteral("y"), number(o.rect.y()));
            w.writeAttribute(QStringLiteral("width"), number(o.rect.width()));
            w.writeAttribute(QStringLiteral("height"), number(o.rect.height()));
            {
                w.writeAttribute(QStringLiteral("font"), o.fontFamily);
                w.writeAttribute(QStringLiteral("size"), number(o.fontSize));
                if (o.bold) w.writeAttribute(QStringLiteral("bold"), QStringLiteral("true"));
                if (o.italic) w.writeAttribute(QStringLiteral("italic"), QStringLiteral("true"));
                w.writeAttribute(QStringLiteral("align"), alignmentText(o.alignment));
                w.writeAttribute(QStringLiteral("wrap"), o.wordWrap ? QStringLiteral("true") : QStringLiteral("false"));
                if (o.autoHeight) w.writeAttribute(QStringLiteral("auto-height"), QStringLiteral("true"));
            }
            if (!o.keepAspect) w.writeAttribute(QStringLiteral("keep-aspect"), QStringLiteral("false"));
            if (o.frame.any()) w.writeAttribute(QStringLiteral("frame"), frameText(o.frame));
            if (o.frame.width != 1) w.writeAttribute(QStringLiteral("frame-width"), number(o.frame.width));
            if (o.kind == ObjectKind::Memo) {
                w.writeCharacters(o.text);
            } else if (o.kind == ObjectKind::Picture && !o.picture.isNull()) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                o.picture.save(&buffer, "PNG");
                w.writeCharacters(QString::fromLatin1(png.toBase64()));
            }
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

ReportTemplate loadTemplate(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw TemplateError(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
    if (f.size() > kMaxFileBytes) throw TemplateError(QStringLiteral("%1 is larger than 32 MB").arg(path));
    try {
        return templateFromXml(f.readAll());
    } catch (const TemplateError &e) {
        throw TemplateError(e.problem(), e.line(), e.column(), path);
    }
}

void saveTemplate(const ReportTemplate &report, const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(templateToXml(report)) < 0)
        throw TemplateError(QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
}

} // namespace lumeko::report
