#include "toolkit/report/ui/sampledata.h"

#include "toolkit/data/dataset.h"

#include <QRegularExpression>

namespace lumeko::report {

namespace {

const QRegularExpression &bracketed()
{
    static const QRegularExpression re(QStringLiteral("\\[([^\\[\\]]*)\\]"));
    return re;
}

const QRegularExpression &qualifiedField()
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\.\"([^\"]+)\"$"));
    return re;
}

const QRegularExpression &aggregate()
{
    static const QRegularExpression re(QStringLiteral("^(SUM|COUNT)\\s*\\((.*)\\)$"), QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &plainName()
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re;
}

bool builtIn(const QString &e)
{
    static const QStringList names = {QStringLiteral("DATE"), QStringLiteral("TIME"), QStringLiteral("PAGE#"),
                                      QStringLiteral("TOTALPAGES"), QStringLiteral("LINE#")};
    bool number = false;
    e.toDouble(&number);
    return number || names.contains(e.toUpper());
}

// Field names of this school's tables say their type: iClassNo, nScore, fAvg, dBirthday, bBoarder.
wire::FieldType typeOfName(const QString &field)
{
    if (field.size() >= 2 && field[1].isUpper()) {
        switch (field[0].unicode()) {
        case 'i':
        case 'n': return wire::FieldType::Integer;
        case 'f': return wire::FieldType::Float;
        case 'd': return wire::FieldType::Date;
        case 'b': return wire::FieldType::Boolean;
        default: break;
        }
    }
    return wire::FieldType::Text;
}

QVariant sampleValue(const QString &field, int row)
{
    switch (typeOfName(field)) {
    case wire::FieldType::Integer: return qint64(row + 1);
    case wire::FieldType::Float: return 80.5 + row * 2;
    case wire::FieldType::Date: return QDate(2008, 9, 1).addDays(row);
    case wire::FieldType::Boolean: return row % 2 == 0;
    default: return field + QString::number(row + 1);
    }
}

} // namespace

SampleData::SampleData(const ReportTemplate &report)
{
    const Band *master = report.firstBand(BandKind::MasterData);
    const QString masterTable = master ? master->table : QString();
    for (const Band &band : report.bands) {
        if (band.kind == BandKind::MasterData || band.kind == BandKind::DetailData) {
            Table &t = tableNamed(band.table);
            if (band.kind == BandKind::MasterData) t.rows = std::max(t.rows, band.newPageAfter ? kCardRows : kMasterRows);
            else t.rows = std::max(t.rows, kDetailRows);
        }
        if (band.kind == BandKind::GroupHeader && !masterTable.isEmpty()) {
            addField(masterTable, band.groupField);
            tableNamed(masterTable).groupField = band.groupField;
        }
    }
    for (const Band &band : report.bands) {
        // A plain name is a field of the band's table in a data band, of the master table in a
        // group band, and a variable anywhere else.
        QString plainTable;
        if (band.kind == BandKind::MasterData || band.kind == BandKind::DetailData) plainTable = band.table;
        else if (band.kind == BandKind::GroupHeader || band.kind == BandKind::GroupFooter) plainTable = masterTable;
        for (const ReportObject &o : band.objects) {
            if (o.kind != ObjectKind::Memo) continue;
            auto it = bracketed().globalMatch(o.text);
            while (it.hasNext()) {
                const QString e = it.next().captured(1).trimmed();
                if (e.isEmpty() || builtIn(e)) continue;
                if (const auto m = aggregate().match(e); m.hasMatch()) {
                    const QString arg = m.captured(2).trimmed();
                    if (const auto q = qualifiedField().match(arg); q.hasMatch()) addField(q.captured(1), q.captured(2));
                    else if (plainName().match(arg).hasMatch() && !masterTable.isEmpty()) addField(masterTable, arg);
                } else if (const auto q = qualifiedField().match(e); q.hasMatch()) {
                    addField(q.captured(1), q.captured(2));
                } else if (!plainTable.isEmpty()) {
                    addField(plainTable, e);
                }
            }
        }
    }
    for (auto &[key, t] : m_tables) fill(t);
}

SampleData::~SampleData() = default;

SampleData::Table &SampleData::tableNamed(const QString &name)
{
    const QString key = name.toLower();
    auto it = m_tables.find(key);
    if (it == m_tables.end()) {
        it = m_tables.emplace(key, Table()).first;
        it->second.name = name;
        m_order << name;
    }
    return it->second;
}

void SampleData::addField(const QString &table, const QString &field)
{
    if (table.isEmpty() || field.isEmpty()) return;
    Table &t = tableNamed(table);
    if (!t.fields.contains(field, Qt::CaseInsensitive)) t.fields << field;
}

void SampleData::fill(Table &t)
{
    QList<wire::FieldDef> defs;
    for (const QString &f : t.fields) defs.append(wire::FieldDef{f, typeOfName(f), 0, 0});
    t.data = std::make_unique<DataSet>();
    t.data->createTable(defs);
    for (int row = 0; row < t.rows; ++row) {
        QVariantList values;
        for (const QString &f : t.fields) {
            // Two rows to a group, so that the preview shows groups opening and closing.
            values << (f == t.groupField ? QVariant(f + QString::number(row / 2 + 1)) : sampleValue(f, row));
        }
        t.data->appendRecord(values);
    }
    t.data->first();
}

QStringList SampleData::tableNames() const
{
    return m_order;
}

DataSet *SampleData::table(const QString &name) const
{
    const auto it = m_tables.find(name.toLower());
    return it == m_tables.end() ? nullptr : it->second.data.get();
}

void SampleData::bind(ReportEngine &engine) const
{
    for (const auto &[key, t] : m_tables) engine.bindTable(t.name, t.data.get());
    engine.variables = [](const QString &name, bool *found) {
        *found = true;
        return QVariant(name);
    };
}

bool prepareWithSampleData(const ReportTemplate &report, PreparedReport *out, QString *error)
{
    SampleData data(report);
    ReportEngine engine(report);
    data.bind(engine);
    if (!engine.prepare(error)) return false;
    *out = engine.prepared();
    return true;
}

} // namespace lumeko::report
