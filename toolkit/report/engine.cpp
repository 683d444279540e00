#include "toolkit/report/engine.h"

#include "toolkit/data/dataset.h"
#include "toolkit/report/painting.h"

#include <QRegularExpression>

namespace lumeko::report {

void ReportEngine::bindTable(const QString &name, DataSet *table)
{
    m_tables.insert(name.toLower(), table);
}

namespace {

// Texts of stored values as a report prints them.
QString displayText(const QVariant &v)
{
    if (wire::isNull(v)) return {};
    switch (v.typeId()) {
    case QMetaType::QDate: return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime: return v.toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    case QMetaType::Double: return QString::number(v.toDouble(), 'g', 12);
    default: return v.toString();
    }
}

// The total page count is known only at the end; memos hold this marker until then.
const QString kTotalPagesMarker = QStringLiteral("\x01TOTALPAGES\x01");

} // namespace

// Lays a template out on pages: title, page headers and footers, master rows with their detail
// rows and groups, summary.
class Preparer {
public:
    explicit Preparer(ReportEngine &engine) : m_engine(engine), m_t(engine.m_template) {}

    bool run(QString *error)
    {
        installFontSubstitutions();
        const QRectF area = m_t.page.printableUnits();
        m_top = area.top();
        m_left = area.left();
        m_bottom = area.bottom();
        m_footerHeight = 0;
        for (const Band *b : m_t.bandsOf(BandKind::PageFooter)) m_footerHeight += b->height;
        double headerHeight = 0;
        for (const Band *b : m_t.bandsOf(BandKind::PageHeader)) headerHeight += b->height;
        if (area.width() <= 0 || area.height() <= m_footerHeight + headerHeight) {
            fail(error, QStringLiteral("页边距设置错误！"));
            return false;
        }
        for (const Band &b : m_t.bands) {
            if ((b.kind == BandKind::MasterData || b.kind == BandKind::DetailData) && !table(b.table)) {
                fail(error, QStringLiteral("the report's band \"%1\" needs the table \"%2\", which is not there").arg(b.name, b.table));
                return false;
            }
        }
        m_out = PreparedReport();
        m_out.page = m_t.page;
        m_now = m_engine.now.isValid() ? m_engine.now : QDateTime::currentDateTime();

        startPage();
        if (const Band *master = m_t.firstBand(BandKind::MasterData)) printMaster(*master);
        for (const Band *b : m_t.bandsOf(BandKind::ReportSummary)) printBand(*b, nullptr, m_allRows);
        endPage();

        const QString total = QString::number(m_out.pages.size());
        for (PreparedPage &page : m_out.pages)
            for (PageItem &item : page.items) item.text.replace(kTotalPagesMarker, total);
        m_engine.m_prepared = std::move(m_out);
        return true;
    }

private:
    static void fail(QString *error, const QString &why)
    {
        if (error) *error = why;
    }

    DataSet *table(const QString &name) const { return m_engine.m_tables.value(name.toLower(), nullptr); }

    void printMaster(const Band &master)
    {
        DataSet *data = table(master.table);
        const Bookmark home = data->bookmark();
        const Band *groupHeader = m_t.firstBand(BandKind::GroupHeader);
        const Band *groupFooter = m_t.firstBand(BandKind::GroupFooter);
        const QList<const Band *> details = m_t.bandsOf(BandKind::DetailData);
        QVariant group;
        bool inGroup = false;
        data->first();
        while (!data->eof()) {
            if (m_engine.masterRowMoved) m_engine.masterRowMoved(master.table);
            if (groupHeader) {
                const QVariant value = data->value(groupHeader->groupField);
                if (!inGroup || !wire::sameValue(value, group)) {
                    if (inGroup && groupFooter) printBand(*groupFooter, data, m_groupRows);
                    m_groupRows.clear();
                    group = value;
                    inGroup = true;
                    printBand(*groupHeader, data, m_groupRows);
                }
            }
            m_line = int(m_allRows.size()) + 1;
            m_allRows << data->recNo();
            m_groupRows << data->recNo();
            printBand(master, data, m_allRows);
            for (const Band *detail : details) printDetail(*detail);
            const qsizetype row = data->recNo();
            data->next();
            if (master.newPageAfter && !data->eof()) {
                endPage();
                startPage();
            }
            if (data->recNo() == row) break; // a table that cannot move on
        }
        if (inGroup && groupFooter) printBand(*groupFooter, data, m_groupRows);
        if (home >= 0) data->gotoBookmark(home);
    }

    void printDetail(const Band &band)
    {
        DataSet *data = table(band.table);
        const Bookmark home = data->bookmark();
        QList<qsizetype> rows;
        int line = 0;
        for (data->first(); !data->eof(); data->next()) {
            rows << data->recNo();
            m_detailLine = ++line;
            printBand(band, data, rows);
        }
        m_detailLine = 0;
        if (home >= 0) data->gotoBookmark(home);
    }

    void startPage()
    {
        m_out.pages.append(PreparedPage());
        m_y = m_top;
        if (m_out.pages.size() == 1)
            for (const Band *b : m_t.bandsOf(BandKind::ReportTitle)) place(*b, nullptr, m_allRows);
        for (const Band *b : m_t.bandsOf(BandKind::PageHeader)) place(*b, nullptr, m_allRows);
        m_pageHasData = false;
    }

    void endPage()
    {
        m_y = m_bottom - m_footerHeight;
        for (const Band *b : m_t.bandsOf(BandKind::PageFooter)) place(*b, nullptr, m_allRows);
    }

    // A band goes on the current page when it fits above the footers, otherwise on a new page.
    void printBand(const Band &band, DataSet *data, const QList<qsizetype> &rows)
    {
        QList<PageItem> items = layout(band, data, rows);
        const double height = bandHeight(band, items);
        if (m_pageHasData && m_y + height > m_bottom - m_footerHeight + 0.001) {
            endPage();
            startPage();
        }
        put(items, height);
        m_pageHasData = true;
    }

    void place(const Band &band, DataSet *data, const QList<qsizetype> &rows)
    {
        QList<PageItem> items = layout(band, data, rows);
        put(items, bandHeight(band, items));
    }

    void put(QList<PageItem> &items, double height)
    {
        for (PageItem &item : items) {
            item.rect.translate(m_left, m_y);
            m_out.pages.last().items.append(std::move(item));
        }
        m_y += height;
    }

    static double bandHeight(const Band &band, const QList<PageItem> &items)
    {
        double h = band.height;
        for (const PageItem &item : items) h = std::max(h, item.rect.bottom());
        return h;
    }

    // The band's objects with their final content, positioned within the band.
    QList<PageItem> layout(const Band &band, DataSet *data, const QList<qsizetype> &rows)
    {
        QList<PageItem> items;
        for (const ReportObject &o : band.objects) {
            PrintingObject po{o, o.text, o.picture, true};
            if (m_engine.beforePrint) m_engine.beforePrint(po);
            if (!po.visible) continue;
            PageItem item;
            item.kind = o.kind;
            item.rect = o.rect;
            item.font = o.font();
            item.alignment = o.alignment;
            item.wordWrap = o.wordWrap;
            item.frame = o.frame;
            item.keepAspect = o.keepAspect;
            if (o.kind == ObjectKind::Memo) {
                item.text = evaluate(po.text, data, rows);
                if (o.autoHeight) {
                    const double need = textHeight(item.font, item.text, o.rect.width() - 3, o.alignment, o.wordWrap) + 1;
                    item.rect.setHeight(std::max(o.rect.height(), need));
                }
            } else if (o.kind == ObjectKind::Picture) {
                item.picture = po.picture;
            }
            items << item;
        }
        return items;
    }

    // Replaces each bracketed expression of a memo text by its value.
    QString evaluate(const QString &text, DataSet *bandTable, const QList<qsizetype> &rows)
    {
        static const QRegularExpression expr(QStringLiteral("\\[([^\\[\\]]*)\\]"));
        QString out;
        qsizetype last = 0;
        auto it = expr.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            out += QStringView(text).mid(last, m.capturedStart() - last);
            bool known = false;
            const QString value = expression(m.captured(1).trimmed(), bandTable, rows, &known);
            out += known ? value : m.captured(0);
            last = m.capturedEnd();
        }
        out += QStringView(text).mid(last);
        return out;
    }

    QString expression(const QString &e, DataSet *bandTable, const QList<qsizetype> &rows, bool *known)
    {
        *known = true;
        const QString upper = e.toUpper();
        if (upper == u"DATE") return m_now.date().toString(QStringLiteral("yyyy-MM-dd"));
        if (upper == u"TIME") return m_now.time().toString(QStringLiteral("HH:mm:ss"));
        if (upper == u"PAGE#") return QString::number(m_out.pages.size());
        if (upper == u"TOTALPAGES") return kTotalPagesMarker;
        if (upper == u"LINE#") return QString::number(m_detailLine > 0 ? m_detailLine : m_line);
        bool isNumber = false;
        e.toDouble(&isNumber);
        if (isNumber) return e;
        static const QRegularExpression aggregate(QStringLiteral("^(SUM|COUNT)\\s*\\((.*)\\)$"), QRegularExpression::CaseInsensitiveOption);
        if (const auto m = aggregate.match(e); m.hasMatch()) return aggregateValue(m.captured(1).toUpper(), m.captured(2).trimmed(), rows, known);
        if (const auto ref = fieldRef(e, bandTable)) return displayText(ref->first->value(ref->second));
        if (m_engine.variables) {
            bool found = false;
            const QVariant v = m_engine.variables(e, &found);
            if (found) return displayText(v);
        }
        *known = false;
        return {};
    }

    // `table."field"`, or a field of the band's table, or of the master table.
    std::optional<std::pair<DataSet *, QString>> fieldRef(const QString &e, DataSet *bandTable) const
    {
        static const QRegularExpression qualified(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\.\"([^\"]+)\"$"));
        if (const auto m = qualified.match(e); m.hasMatch()) {
            DataSet *t = table(m.captured(1));
            if (t && t->isActive() && t->fieldIndex(m.captured(2)) >= 0) return std::pair{t, m.captured(2)};
            return std::nullopt;
        }
        if (bandTable && bandTable->isActive() && bandTable->fieldIndex(e) >= 0) return std::pair{bandTable, e};
        if (const Band *master = m_t.firstBand(BandKind::MasterData)) {
            DataSet *t = table(master->table);
            if (t && t->isActive() && t->fieldIndex(e) >= 0) return std::pair{t, e};
        }
        return std::nullopt;
    }

    QString aggregateValue(const QString &fn, const QString &arg, const QList<qsizetype> &rows, bool *known)
    {
        if (fn == u"COUNT") return QString::number(rows.size());
        const Band *master = m_t.firstBand(BandKind::MasterData);
        DataSet *data = master ? table(master->table) : nullptr;
        QString field = arg;
        static const QRegularExpression qualified(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\.\"([^\"]+)\"$"));
        if (const auto m = qualified.match(arg); m.hasMatch()) {
            data = table(m.captured(1));
            field = m.captured(2);
        }
        const int index = data && data->isActive() ? data->fieldIndex(field) : -1;
        if (index < 0) {
            *known = false;
            return {};
        }
        double sum = 0;
        for (qsizetype r : rows) {
            QVariant v;
            if (wire::coerceValue(data->valueAt(r, index), wire::FieldType::Float, &v) && v.isValid()) sum += v.toDouble();
        }
        return QString::number(sum, 'g', 12);
    }

    ReportEngine &m_engine;
    const ReportTemplate &m_t;
    PreparedReport m_out;
    QDateTime m_now;
    double m_top = 0, m_left = 0, m_bottom = 0, m_footerHeight = 0, m_y = 0;
    bool m_pageHasData = false;
    int m_line = 0, m_detailLine = 0;
    QList<qsizetype> m_allRows, m_groupRows;
};

bool ReportEngine::prepare(QString *error)
{
    return Preparer(*this).run(error);
}

} // namespace lumeko::report
