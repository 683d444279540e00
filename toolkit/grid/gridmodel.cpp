#include "toolkit/grid/gridmodel.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace lumeko {

namespace {
constexpr QChar kPathSeparator(0x1E);

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool: return true;
    default: return false;
    }
}

// Orders two values of one field: nulls first, then by number, date or text.
int compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = wire::isNull(a), bn = wire::isNull(b);
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.typeId() == QMetaType::QDate && b.typeId() == QMetaType::QDate)
        return a.toDate() < b.toDate() ? -1 : a.toDate() > b.toDate() ? 1 : 0;
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime)
        return a.toDateTime() < b.toDateTime() ? -1 : a.toDateTime() > b.toDateTime() ? 1 : 0;
    return QString::compare(a.toString(), b.toString());
}

QString keyString(const QVariant &v)
{
    if (wire::isNull(v)) return QStringLiteral("\x01");
    if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().toString(Qt::ISODateWithMs);
    return v.toString();
}
} // namespace

GridModel::GridModel(QObject *parent) : QAbstractTableModel(parent) {}

GridModel::~GridModel() = default;

DataSet *GridModel::table() const { return m_source ? m_source->table() : nullptr; }

void GridModel::setSource(DataSetModel *source)
{
    beginResetModel();
    for (const auto &c : std::as_const(m_connections)) disconnect(c);
    m_connections.clear();
    m_source = source;
    connectSource();
    resolveFields();
    rebuild();
    endResetModel();
    Q_EMIT summariesChanged();
}

void GridModel::connectSource()
{
    if (!m_source) return;
    DataSetModel *s = m_source;
    m_connections << connect(s, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    m_connections << connect(s, &QAbstractItemModel::modelReset, this, [this] {
        m_restructurePending = false;
        resolveFields();
        rebuild();
        endResetModel();
        Q_EMIT summariesChanged();
    });
    m_connections << connect(s, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex &, int first, int last) {
        m_forwarding = identity();
        if (m_forwarding) beginInsertRows({}, first, last);
        else beginStructureChange();
    });
    m_connections << connect(s, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        DataSet *t = table();
        m_justInserted = t && t->state() == DataSetState::Insert ? first : -1;
        rebuild();
        if (m_forwarding) endInsertRows();
        else endStructureChange(first, last - first + 1);
        Q_EMIT summariesChanged();
    });
    m_connections << connect(s, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex &, int first, int last) {
        m_forwarding = identity();
        if (m_forwarding) beginRemoveRows({}, first, last);
        else beginStructureChange();
    });
    m_connections << connect(s, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (m_justInserted >= first) m_justInserted = m_justInserted > last ? m_justInserted - (last - first + 1) : -1;
        rebuild();
        if (m_forwarding) endRemoveRows();
        else endStructureChange(first, -(last - first + 1));
        Q_EMIT summariesChanged();
    });
    m_connections << connect(s, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &tl, const QModelIndex &br) {
        DataSet *t = table();
        if (!t) return;
        invalidateSummaries();
        const bool posted = t->state() == DataSetState::Browse;
        bool restructure = false;
        QSet<int> groupRows;
        for (int r = tl.row(); r <= br.row(); ++r) {
            const int ordinal = ordinalOfSource(r);
            if (posted && ordinal >= 0 && !m_levelColumns.isEmpty() && groupKeysChanged(r)) restructure = true;
            if (posted && ordinal >= 0 && !m_filters.isEmpty() && !passesFilters(r)) restructure = true;
            const int row = rowOfSource(r);
            if (row >= 0 && !m_columns.isEmpty()) Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
            if (ordinal >= 0)
                for (int g = 0; g < m_groups.size(); ++g)
                    if (m_groups[g].begin <= ordinal && ordinal < m_groups[g].end && m_rowOfGroup[g] >= 0) groupRows.insert(m_rowOfGroup[g]);
        }
        for (int row : std::as_const(groupRows)) Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        Q_EMIT summariesChanged();
        if (restructure) scheduleRestructure();
    });
}

// ---- columns ---------------------------------------------------------------------------------------

void GridModel::setColumns(const QList<GridColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    resolveFields();
    rebuild();
    endResetModel();
    Q_EMIT summariesChanged();
}

void GridModel::updateColumn(int c, const GridColumn &column)
{
    if (c < 0 || c >= m_columns.size()) return;
    const bool regroup = m_columns[c].field.compare(column.field, Qt::CaseInsensitive) != 0;
    if (regroup) {
        QList<GridColumn> all = m_columns;
        all[c] = column;
        setColumns(all);
        return;
    }
    m_columns[c] = column;
    invalidateSummaries();
    Q_EMIT headerDataChanged(Qt::Horizontal, c, c);
    if (!m_rows.isEmpty()) Q_EMIT dataChanged(index(0, c), index(rowCount() - 1, c));
    Q_EMIT summariesChanged();
}

void GridModel::setColumnWidth(int c, int width)
{
    if (c >= 0 && c < m_columns.size()) m_columns[c].width = width;
}

int GridModel::columnOfField(QStringView field) const
{
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns[c].field.compare(field, Qt::CaseInsensitive) == 0) return c;
    return -1;
}

FieldType GridModel::fieldType(int c) const
{
    const int f = fieldOfColumn(c);
    DataSet *t = table();
    return f >= 0 && t ? t->fieldInfo(f).def.type : FieldType::Text;
}

QString GridModel::caption(int c) const
{
    const GridColumn &col = m_columns[c];
    if (!col.caption.isEmpty()) return col.caption;
    const int f = fieldOfColumn(c);
    DataSet *t = table();
    if (f >= 0 && t && !t->fieldInfo(f).displayLabel.isEmpty()) return t->fieldInfo(f).displayLabel;
    return col.field;
}

void GridModel::resolveFields()
{
    DataSet *t = table();
    m_fieldOf.clear();
    for (const GridColumn &c : std::as_const(m_columns)) m_fieldOf.append(t ? t->fieldIndex(c.field) : -1);
    m_levelColumns.clear();
    for (const QString &field : std::as_const(m_groupFields)) {
        const int c = columnOfField(field);
        if (c >= 0 && fieldOfColumn(c) >= 0) m_levelColumns.append(c);
    }
}

// ---- editing --------------------------------------------------------------------------------------

void GridModel::setReadOnly(bool on)
{
    if (m_readOnly == on) return;
    m_readOnly = on;
    if (!m_rows.isEmpty() && !m_columns.isEmpty()) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

bool GridModel::isSelectionMark(int c) const
{
    return c >= 0 && c < m_columns.size() && m_columns[c].field.compare(u"Selected", Qt::CaseInsensitive) == 0;
}

bool GridModel::columnEditable(int c) const
{
    if (c < 0 || c >= m_columns.size()) return false;
    const int f = fieldOfColumn(c);
    DataSet *t = table();
    if (f < 0 || !t || m_columns[c].readOnly) return false;
    const FieldInfo &info = t->fieldInfo(f);
    if (info.readOnly || info.kind == FieldKind::Calculated || info.def.has(wire::FieldDef::ReadOnly)) return false;
    return !m_readOnly || isSelectionMark(c);
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return false;
    const int src = sourceRow(index.row());
    DataSet *t = table();
    if (src < 0 || !t) return false;
    if (!columnEditable(index.column())) {
        m_lastError = QStringLiteral("“%1”列不能修改").arg(caption(index.column()));
        Q_EMIT editError(m_lastError);
        return false;
    }
    try {
        // Another row being edited is posted first; in an ordered table that can move rows, so
        // the cell's row is looked up again after it.
        const QPersistentModelIndex target(index);
        if ((t->state() == DataSetState::Edit || t->state() == DataSetState::Insert) && t->recNo() != src) t->post();
        const int row = target.isValid() ? sourceRow(target.row()) : -1;
        if (row < 0 || (t->recNo() != row && !t->moveTo(row))) return false;
        t->edit();
        t->field(fieldOfColumn(index.column())).setValue(value);
        m_lastError.clear();
        Q_EMIT cellEdited(target.isValid() ? target.row() : index.row(), index.column());
        return true;
    } catch (const std::runtime_error &e) {
        m_lastError = QString::fromUtf8(e.what());
        Q_EMIT editError(m_lastError);
        return false;
    }
}

// ---- rows -----------------------------------------------------------------------------------------

int GridModel::ordinalOfRow(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].ordinal : -1;
}

int GridModel::rowOfOrdinal(int ordinal) const
{
    return rowOfSource(sourceRowOfOrdinal(ordinal));
}

int GridModel::sourceRow(int row) const
{
    const int ordinal = ordinalOfRow(row);
    return ordinal >= 0 ? m_order[ordinal] : -1;
}

int GridModel::rowOfSource(int sourceRow) const { return m_rowOfSource.value(sourceRow, -1); }

int GridModel::ordinalOfSource(int sourceRow) const { return m_ordinalOfSource.value(sourceRow, -1); }

QVariant GridModel::cellValue(int sourceRow, int c) const
{
    const int f = fieldOfColumn(c);
    DataSet *t = table();
    return f >= 0 && t ? t->valueAt(sourceRow, f) : QVariant();
}

QString GridModel::cellText(int sourceRow, int c) const
{
    const QVariant v = cellValue(sourceRow, c);
    if (wire::isNull(v)) return QString();
    const GridColumn &col = m_columns[c];
    if (!col.lookup.isEmpty()) return col.lookupText(v);
    const FieldType type = fieldType(c);
    if ((type == FieldType::Integer || type == FieldType::Float) && !col.displayFormat.isEmpty())
        return formatNumber(v.toDouble(), col.displayFormat);
    return DataSetModel::displayText(v, type);
}

bool GridModel::alwaysShown(int sourceRow) const
{
    // A row being inserted shows whatever the filters say, so that it can be filled in.
    DataSet *t = table();
    if (!t || t->state() != DataSetState::Insert) return false;
    return sourceRow == (m_justInserted >= 0 ? m_justInserted : int(t->recNo()));
}

bool GridModel::passesFilters(int sourceRow, int exceptColumn) const
{
    for (auto it = m_filters.cbegin(); it != m_filters.cend(); ++it) {
        const int c = columnOfField(it.key());
        if (c < 0 || c == exceptColumn || fieldOfColumn(c) < 0) continue;
        if (!it.value().contains(cellText(sourceRow, c))) return false;
    }
    return true;
}

QVariant GridModel::groupKey(int sourceRow, int level) const
{
    return cellValue(sourceRow, m_levelColumns[level]);
}

bool GridModel::groupKeysChanged(int sourceRow) const
{
    const int levels = groupLevelCount();
    for (int l = 0; l < levels; ++l) {
        const qsizetype at = qsizetype(sourceRow) * levels + l;
        if (at >= m_keys.size() || compareValues(m_keys[at], groupKey(sourceRow, l)) != 0) return true;
    }
    return false;
}

void GridModel::rebuild()
{
    invalidateSummaries();
    m_order.clear();
    m_groups.clear();
    m_topGroups.clear();
    m_keys.clear();
    DataSet *t = table();
    const int n = t && t->isActive() ? int(t->recordCount()) : 0;
    m_order.reserve(n);
    for (int r = 0; r < n; ++r)
        if (alwaysShown(r) || passesFilters(r)) m_order.append(r);

    const int levels = groupLevelCount();
    if (levels > 0) {
        m_keys.resize(qsizetype(n) * levels);
        QList<bool> descending;
        for (int l = 0; l < levels; ++l) {
            for (int r : std::as_const(m_order)) m_keys[qsizetype(r) * levels + l] = groupKey(r, l);
            descending.append(m_descendingGroups.contains(m_columns[m_levelColumns[l]].field, Qt::CaseInsensitive));
        }
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
            for (int l = 0; l < levels; ++l) {
                const int cmp = compareValues(m_keys[qsizetype(a) * levels + l], m_keys[qsizetype(b) * levels + l]);
                if (cmp != 0) return descending[l] ? cmp > 0 : cmp < 0;
            }
            return false;
        });
        buildGroups(0, -1, 0, int(m_order.size()));
    }
    m_ordinalOfSource.fill(-1, n);
    for (int i = 0; i < m_order.size(); ++i) m_ordinalOfSource[m_order[i]] = i;
    adoptRows(buildRows());
}

void GridModel::buildGroups(int level, int parent, int begin, int end)
{
    const int levels = groupLevelCount();
    const int column = m_levelColumns[level];
    int i = begin;
    while (i < end) {
        const QVariant &key = m_keys[qsizetype(m_order[i]) * levels + level];
        int j = i + 1;
        while (j < end && compareValues(m_keys[qsizetype(m_order[j]) * levels + level], key) == 0) ++j;
        Group g;
        g.level = level;
        g.parent = parent;
        g.begin = i;
        g.end = j;
        g.valueText = cellText(m_order[i], column);
        if (g.valueText.isEmpty()) g.valueText = QStringLiteral("(空)");
        g.path = (parent >= 0 ? m_groups[parent].path : QString()) + kPathSeparator + keyString(key);
        const int index = int(m_groups.size());
        m_groups.append(g);
        (parent >= 0 ? m_groups[parent].children : m_topGroups).append(index);
        if (level + 1 < levels) buildGroups(level + 1, index, i, j);
        i = j;
    }
}

QList<GridModel::RowRef> GridModel::buildRows() const
{
    QList<RowRef> rows;
    rows.reserve(m_order.size() + m_groups.size());
    if (m_levelColumns.isEmpty()) {
        for (int o = 0; o < m_order.size(); ++o) rows.append({-1, o});
    } else {
        for (int g : m_topGroups) appendGroupRows(g, rows);
    }
    return rows;
}

void GridModel::appendGroupRows(int group, QList<RowRef> &rows) const
{
    const Group &g = m_groups[group];
    rows.append({group, -1});
    if (m_collapsed.contains(g.path)) return;
    if (!g.children.isEmpty()) {
        for (int child : g.children) appendGroupRows(child, rows);
    } else {
        for (int o = g.begin; o < g.end; ++o) rows.append({-1, o});
    }
}

void GridModel::adoptRows(QList<RowRef> rows)
{
    m_rows = std::move(rows);
    m_rowOfSource.fill(-1, m_ordinalOfSource.size());
    m_rowOfGroup.fill(-1, m_groups.size());
    for (int r = 0; r < m_rows.size(); ++r) {
        const RowRef &ref = m_rows[r];
        if (ref.group >= 0) m_rowOfGroup[ref.group] = r;
        else m_rowOfSource[m_order[ref.ordinal]] = r;
    }
}

// ---- structure changes that keep the current cell ------------------------------------------------

void GridModel::beginStructureChange()
{
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList persistent = persistentIndexList();
    m_changingIndexes.clear();
    m_anchors.clear();
    for (const QModelIndex &idx : persistent) {
        Anchor a;
        a.column = idx.column();
        const RowRef ref = m_rows.value(idx.row());
        if (ref.group >= 0) a.path = m_groups[ref.group].path;
        else if (ref.ordinal >= 0) a.source = m_order[ref.ordinal];
        m_changingIndexes.append(idx);
        m_anchors.append(a);
    }
}

// `at` and `count`: the table rows inserted (count > 0) or removed (count < 0) meanwhile.
void GridModel::endStructureChange(int at, int count)
{
    QHash<QString, int> groupOfPath;
    for (int g = 0; g < m_groups.size(); ++g) groupOfPath.insert(m_groups[g].path, g);
    QModelIndexList from, to;
    for (int i = 0; i < m_anchors.size(); ++i) {
        const Anchor &a = m_anchors[i];
        int row = -1;
        if (!a.path.isEmpty()) {
            const int g = groupOfPath.value(a.path, -1);
            row = g >= 0 ? m_rowOfGroup[g] : -1;
        } else if (a.source >= 0) {
            int src = a.source;
            if (at >= 0 && count > 0 && src >= at) src += count;
            if (at >= 0 && count < 0) src = src < at ? src : (src >= at - count ? src + count : -1);
            row = src >= 0 ? rowOfSource(src) : -1;
        }
        from.append(m_changingIndexes[i]);
        to.append(row >= 0 && a.column < columnCount() ? index(row, a.column) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    m_changingIndexes.clear();
    m_anchors.clear();
    Q_EMIT layoutChanged();
}

void GridModel::restructure()
{
    m_restructurePending = false;
    beginStructureChange();
    rebuild();
    endStructureChange();
    Q_EMIT summariesChanged();
    Q_EMIT groupingChanged();
}

void GridModel::scheduleRestructure()
{
    if (m_restructurePending) return;
    m_restructurePending = true;
    QMetaObject::invokeMethod(this, [this] { if (m_restructurePending) restructure(); }, Qt::QueuedConnection);
}

void GridModel::flushPending()
{
    if (m_restructurePending) restructure();
}

// ---- grouping --------------------------------------------------------------------------------------

void GridModel::setGroupFields(const QStringList &fields)
{
    QStringList unique;
    for (const QString &f : fields)
        if (!f.isEmpty() && !unique.contains(f, Qt::CaseInsensitive)) unique.append(f);
    if (unique == m_groupFields) return;
    m_groupFields = unique;
    beginStructureChange();
    resolveFields();
    rebuild();
    endStructureChange();
    Q_EMIT summariesChanged();
    Q_EMIT groupingChanged();
}

void GridModel::setDescendingGroupFields(const QStringList &fields)
{
    if (fields == m_descendingGroups) return;
    m_descendingGroups = fields;
    if (!m_levelColumns.isEmpty()) restructure();
}

GridModel::GroupInfo GridModel::groupInfo(int group) const
{
    GroupInfo info;
    if (group < 0 || group >= m_groups.size()) return info;
    const Group &g = m_groups[group];
    info.level = g.level;
    info.parent = g.parent;
    info.caption = caption(m_levelColumns[g.level]);
    info.valueText = g.valueText;
    info.rowCount = g.end - g.begin;
    info.firstOrdinal = g.begin;
    info.expanded = !m_collapsed.contains(g.path);
    return info;
}

QList<int> GridModel::childGroups(int group) const
{
    if (group < 0) return m_topGroups;
    return group < m_groups.size() ? m_groups[group].children : QList<int>();
}

void GridModel::setGroupExpanded(int group, bool expanded)
{
    if (group < 0 || group >= m_groups.size()) return;
    const QString path = m_groups[group].path;
    if (expanded == !m_collapsed.contains(path)) return;
    if (expanded) m_collapsed.remove(path);
    else m_collapsed.insert(path);
    const int row = m_rowOfGroup[group];
    if (row < 0) return; // inside a collapsed group: nothing shows or hides now
    QList<RowRef> rows = buildRows();
    const int delta = int(rows.size() - m_rows.size());
    if (delta > 0) {
        beginInsertRows({}, row + 1, row + delta);
        adoptRows(std::move(rows));
        endInsertRows();
    } else if (delta < 0) {
        beginRemoveRows({}, row + 1, row - delta);
        adoptRows(std::move(rows));
        endRemoveRows();
    }
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void GridModel::setAllExpanded(bool expanded)
{
    beginStructureChange();
    m_collapsed.clear();
    if (!expanded)
        for (const Group &g : std::as_const(m_groups)) m_collapsed.insert(g.path);
    adoptRows(buildRows());
    endStructureChange();
}

void GridModel::revealOrdinal(int ordinal)
{
    // Groups come parents first, so each one shows before its subgroups are looked at.
    for (int g = 0; g < m_groups.size(); ++g)
        if (m_groups[g].begin <= ordinal && ordinal < m_groups[g].end) setGroupExpanded(g, true);
}

// ---- column filters ----------------------------------------------------------------------------------

void GridModel::setColumnFilter(int c, const QStringList &accepted)
{
    if (c < 0 || c >= m_columns.size()) return;
    const QSet<QString> set(accepted.begin(), accepted.end());
    // Letting every value through is no filter at all.
    bool everything = true;
    for (const QString &text : distinctTexts(c)) everything = everything && set.contains(text);
    beginStructureChange();
    if (everything) m_filters.remove(m_columns[c].field.toUpper());
    else m_filters.insert(m_columns[c].field.toUpper(), set);
    rebuild();
    endStructureChange();
    Q_EMIT summariesChanged();
    Q_EMIT groupingChanged();
}

void GridModel::clearColumnFilter(int c)
{
    if (c < 0 || c >= m_columns.size() || !m_filters.contains(m_columns[c].field.toUpper())) return;
    beginStructureChange();
    m_filters.remove(m_columns[c].field.toUpper());
    rebuild();
    endStructureChange();
    Q_EMIT summariesChanged();
    Q_EMIT groupingChanged();
}

void GridModel::clearColumnFilters()
{
    if (m_filters.isEmpty()) return;
    beginStructureChange();
    m_filters.clear();
    rebuild();
    endStructureChange();
    Q_EMIT summariesChanged();
    Q_EMIT groupingChanged();
}

bool GridModel::hasColumnFilter(int c) const
{
    return c >= 0 && c < m_columns.size() && m_filters.contains(m_columns[c].field.toUpper());
}

QStringList GridModel::columnFilter(int c) const
{
    if (!hasColumnFilter(c)) return {};
    const QSet<QString> set = m_filters.value(m_columns[c].field.toUpper());
    QStringList out;
    for (const QString &text : distinctTexts(c))
        if (set.contains(text)) out.append(text);
    return out;
}

QStringList GridModel::distinctTexts(int c) const
{
    DataSet *t = table();
    if (c < 0 || c >= m_columns.size() || !t || !t->isActive()) return {};
    QHash<QString, QVariant> valueOf;
    const int n = int(t->recordCount());
    for (int r = 0; r < n; ++r) {
        if (!passesFilters(r, c)) continue;
        const QString text = cellText(r, c);
        if (!valueOf.contains(text)) valueOf.insert(text, cellValue(r, c));
    }
    QStringList texts = valueOf.keys();
    std::sort(texts.begin(), texts.end(), [&](const QString &a, const QString &b) {
        const int cmp = compareValues(valueOf[a], valueOf[b]);
        return cmp != 0 ? cmp < 0 : a < b;
    });
    return texts;
}

// ---- summaries ------------------------------------------------------------------------------------

void GridModel::invalidateSummaries()
{
    m_footerCache.clear();
    m_groupSummaryCache.clear();
}

QVariant GridModel::summaryValue(int c, int firstOrdinal, int endOrdinal) const
{
    if (c < 0 || c >= m_columns.size()) return {};
    const SummaryKind kind = m_columns[c].summary;
    const int f = fieldOfColumn(c);
    DataSet *t = table();
    if (kind == SummaryKind::None || f < 0 || !t) return {};
    qint64 count = 0;
    double sum = 0;
    QVariant best;
    firstOrdinal = std::max(firstOrdinal, 0);
    endOrdinal = std::min(endOrdinal, int(m_order.size()));
    for (int o = firstOrdinal; o < endOrdinal; ++o) {
        const QVariant v = t->valueAt(m_order[o], f);
        if (wire::isNull(v)) continue;
        ++count;
        switch (kind) {
        case SummaryKind::Sum:
        case SummaryKind::Average: sum += v.toDouble(); break;
        case SummaryKind::Max: if (wire::isNull(best) || compareValues(v, best) > 0) best = v; break;
        case SummaryKind::Min: if (wire::isNull(best) || compareValues(v, best) < 0) best = v; break;
        default: break;
        }
    }
    switch (kind) {
    case SummaryKind::Count: return count;
    case SummaryKind::Sum:
        if (fieldType(c) == FieldType::Integer) return qint64(std::llround(sum));
        return sum;
    case SummaryKind::Average: return count > 0 ? QVariant(sum / double(count)) : QVariant();
    default: return best;
    }
}

QString GridModel::footerText(int c) const
{
    if (c < 0 || c >= m_columns.size() || m_columns[c].summary == SummaryKind::None) return {};
    auto it = m_footerCache.constFind(c);
    if (it != m_footerCache.cend()) return *it;
    const QString text = formatSummary(summaryValue(c, 0, dataRowCount()), m_columns[c].summaryFormat);
    m_footerCache.insert(c, text);
    return text;
}

QString GridModel::groupSummaryText(int group, int c) const
{
    if (group < 0 || group >= m_groups.size() || c < 0 || c >= m_columns.size() || !m_columns[c].groupSummary) return {};
    const qint64 key = (qint64(group) << 16) | c;
    auto it = m_groupSummaryCache.constFind(key);
    if (it != m_groupSummaryCache.cend()) return *it;
    const Group &g = m_groups[group];
    const QString text = formatSummary(summaryValue(c, g.begin, g.end), m_columns[c].summaryFormat);
    m_groupSummaryCache.insert(key, text);
    return text;
}

// ---- Qt model ----------------------------------------------------------------------------------------

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const RowRef &ref = m_rows[index.row()];
    const int c = index.column();
    if (ref.group >= 0) {
        if (role == Qt::DisplayRole) return c == 0 ? groupInfo(ref.group).label() : groupSummaryText(ref.group, c);
        return {};
    }
    const int src = m_order[ref.ordinal];
    switch (role) {
    case Qt::DisplayRole: return cellText(src, c);
    case Qt::EditRole: return cellValue(src, c);
    case Qt::TextAlignmentRole: {
        const EditorKind kind = m_columns[c].editor;
        const FieldType type = fieldType(c);
        if (kind == EditorKind::Boolean || type == FieldType::Boolean) return int(Qt::AlignCenter);
        if (m_columns[c].lookup.isEmpty() && (type == FieldType::Integer || type == FieldType::Float))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default: return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) {
        const int ordinal = ordinalOfRow(section);
        return ordinal >= 0 ? QVariant(ordinal + 1) : QVariant();
    }
    return section >= 0 && section < m_columns.size() ? QVariant(caption(section)) : QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!isGroupRow(index.row()) && columnEditable(index.column())) flags |= Qt::ItemIsEditable;
    return flags;
}

} // namespace lumeko
