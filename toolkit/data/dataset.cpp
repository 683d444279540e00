#include "toolkit/data/dataset.h"

#include <algorithm>

namespace lumeko {

using wire::Column;
using wire::FieldDef;

namespace {
constexpr qint64 kRankGap = qint64(1) << 20;

QStringList splitFieldList(const QString &fields)
{
    QStringList names;
    for (const QString &part : fields.split(u';', Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (!name.isEmpty()) names.append(name);
    }
    return names;
}
} // namespace

DataError::DataError(const QString &message) : std::runtime_error(message.toStdString()) {}

// ---- Field -------------------------------------------------------------------------------------

const QString &Field::name() const { return m_table->m_fields[m_index].def.name; }
FieldType Field::type() const { return m_table->m_fields[m_index].def.type; }
const FieldInfo &Field::info() const { return m_table->m_fields[m_index]; }
QString Field::displayLabel() const
{
    const FieldInfo &f = info();
    return f.displayLabel.isEmpty() ? f.def.name : f.displayLabel;
}
QVariant Field::value() const { return m_table->currentValue(m_index); }
QVariant Field::oldValue() const { return m_table->oldValue(m_index); }
QString Field::asString() const
{
    const QVariant v = value();
    if (wire::isNull(v)) return QString();
    QVariant text;
    wire::coerceValue(v, FieldType::Text, &text);
    return text.toString();
}
qint64 Field::asInteger() const
{
    QVariant v;
    if (!wire::coerceValue(value(), FieldType::Integer, &v))
        throw DataError(QStringLiteral("'%1' of field %2 is not an integer").arg(value().toString(), name()));
    return v.toLongLong();
}
double Field::asFloat() const
{
    QVariant v;
    if (!wire::coerceValue(value(), FieldType::Float, &v))
        throw DataError(QStringLiteral("'%1' of field %2 is not a number").arg(value().toString(), name()));
    return v.toDouble();
}
bool Field::asBoolean() const
{
    QVariant v;
    if (!wire::coerceValue(value(), FieldType::Boolean, &v))
        throw DataError(QStringLiteral("'%1' of field %2 is not a boolean").arg(value().toString(), name()));
    return v.toBool();
}
QDate Field::asDate() const
{
    QVariant v;
    return wire::coerceValue(value(), FieldType::Date, &v) ? v.toDate() : QDate();
}
QDateTime Field::asDateTime() const
{
    QVariant v;
    return wire::coerceValue(value(), FieldType::DateTime, &v) ? v.toDateTime() : QDateTime();
}
QByteArray Field::asBlob() const { return value().toByteArray(); }
void Field::setValue(const QVariant &v) { m_table->setCurrentValue(m_index, v); }

// ---- structure ---------------------------------------------------------------------------------

DataSet::DataSet(QObject *parent) : QObject(parent) {}
DataSet::~DataSet() = default;

void DataSet::setData(wire::DataPacket packet)
{
    // Keep the page's own fields (internal and calculated), unless the packet now brings them.
    QList<FieldInfo> own;
    QList<std::function<QVariant(const DataSet &, Bookmark)>> ownCalc;
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].kind != FieldKind::Data && packet.fieldIndex(m_fields[i].def.name) < 0) {
            own.append(m_fields[i]);
            ownCalc.append(m_calc[i]);
        }

    // A field the page already labelled, tagged or hid keeps that when the same field is reloaded.
    const QList<FieldInfo> before = m_fields;
    const qsizetype rows = packet.rowCount();
    m_fields.clear();
    m_calc.clear();
    for (const FieldDef &def : packet.fields()) {
        FieldInfo info = FieldInfo::of(def);
        for (const FieldInfo &old : before)
            if (old.kind == FieldKind::Data && old.def.type == def.type && old.def.name.compare(def.name, Qt::CaseInsensitive) == 0) {
                info.displayLabel = old.displayLabel;
                info.tag = old.tag;
                info.visible = old.visible;
                info.readOnly = old.readOnly;
            }
        m_fields.append(info);
        m_calc.append(nullptr);
    }
    m_columns = packet.takeColumns();
    for (int i = 0; i < own.size(); ++i) {
        m_fields.append(own[i]);
        m_calc.append(ownCalc[i]);
        Column c(own[i].def.type);
        c.resize(rows);
        m_columns.append(std::move(c));
    }

    m_slotState = QList<SlotState>(rows, SlotState::Unmodified);
    m_rank.resize(rows);
    for (qsizetype i = 0; i < rows; ++i) m_rank[i] = i * kRankGap;
    m_nextRank = rows * kRankGap;
    m_old.clear();
    m_buffer.clear();
    m_editSlot = -1;
    m_state = DataSetState::Browse;
    for (qsizetype s = 0; s < rows; ++s) computeCalculated(s);

    QString filterProblem;
    if (!m_filterText.isEmpty()) {
        try {
            m_filter = FilterExpr::parse(m_filterText, [this] { QList<FieldDef> d; for (auto &f : m_fields) d.append(f.def); return d; }(), m_filterCi);
        } catch (const FilterError &e) {
            m_filter = FilterExpr();
            m_filtered = false;
            filterProblem = e.message();
        }
    }
    rebuildView();
    Q_EMIT stateChanged(m_state);
    if (!filterProblem.isEmpty())
        throw DataError(QStringLiteral("the data were loaded without the filter: %1").arg(filterProblem));
}

void DataSet::createTable(const QList<FieldDef> &fields)
{
    setData(wire::DataPacket(fields));
}

wire::DataPacket DataSet::data() const
{
    QList<FieldDef> defs;
    QList<int> dataFields;
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].kind == FieldKind::Data) {
            defs.append(m_fields[i].def);
            dataFields.append(i);
        }
    QList<Bookmark> natural;
    for (Bookmark s = 0; s < m_slotState.size(); ++s)
        if (m_slotState[s] != SlotState::Deleted && m_slotState[s] != SlotState::Gone && s != (m_state == DataSetState::Insert ? m_editSlot : -1))
            natural.append(s);
    std::sort(natural.begin(), natural.end(), [this](Bookmark a, Bookmark b) { return naturalLess(a, b); });
    QList<Column> cols;
    for (int f : dataFields) {
        Column c(m_fields[f].def.type);
        c.reserve(natural.size());
        for (Bookmark s : natural) c.append(m_columns[f].value(s));
        cols.append(std::move(c));
    }
    return wire::DataPacket::fromColumns(defs, cols);
}

void DataSet::close()
{
    if (m_disableCount == 0) Q_EMIT aboutToReset();
    m_fields.clear();
    m_columns.clear();
    m_calc.clear();
    m_slotState.clear();
    m_rank.clear();
    m_old.clear();
    m_view.clear();
    m_cur = -1;
    m_bof = m_eof = true;
    m_buffer.clear();
    m_editSlot = -1;
    m_filter = FilterExpr();
    m_key = SortKey();
    setState(DataSetState::Inactive);
    if (m_disableCount == 0) Q_EMIT reset(); else m_changedWhileDisabled = true;
}

int DataSet::addField(const FieldDef &def, FieldKind kind, std::function<QVariant(const DataSet &, Bookmark)> calc)
{
    if (def.name.trimmed().isEmpty()) throw DataError(QStringLiteral("a field needs a name"));
    if (fieldIndex(def.name) >= 0) throw DataError(QStringLiteral("the table already has a field named %1").arg(def.name));
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        throw DataError(QStringLiteral("fields cannot be added while a row is being edited"));
    if (kind == FieldKind::Calculated && !calc) throw DataError(QStringLiteral("calculated field %1 needs a function").arg(def.name));
    m_fields.append(FieldInfo::of(def, kind));
    m_calc.append(std::move(calc));
    Column c(def.type);
    c.resize(m_slotState.size());
    m_columns.append(std::move(c));
    if (m_state == DataSetState::Inactive) {
        m_state = DataSetState::Browse;
    } else if (kind == FieldKind::Calculated) {
        for (Bookmark s = 0; s < m_slotState.size(); ++s)
            if (m_slotState[s] != SlotState::Gone) computeCalculated(s);
    }
    emitReset();
    return int(m_fields.size() - 1);
}

int DataSet::fieldIndex(QStringView name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].def.name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Field DataSet::fieldByName(QStringView name)
{
    const int i = fieldIndex(name);
    if (i < 0) throw DataError(QStringLiteral("the table has no field named %1").arg(name));
    return Field(this, i);
}

std::optional<Field> DataSet::findField(QStringView name)
{
    const int i = fieldIndex(name);
    if (i < 0) return std::nullopt;
    return Field(this, i);
}

QVariant DataSet::value(QStringView name) const
{
    const int i = fieldIndex(name);
    if (i < 0) throw DataError(QStringLiteral("the table has no field named %1").arg(name));
    return currentValue(i);
}

void DataSet::setValue(QStringView name, const QVariant &v)
{
    const int i = fieldIndex(name);
    if (i < 0) throw DataError(QStringLiteral("the table has no field named %1").arg(name));
    setCurrentValue(i, v);
}

// ---- slots ---------------------------------------------------------------------------------------

QVariantList DataSet::readSlot(Bookmark slot) const
{
    QVariantList values;
    values.reserve(m_columns.size());
    for (const Column &c : m_columns) values.append(c.value(slot));
    return values;
}

void DataSet::writeSlot(Bookmark slot, const QVariantList &values)
{
    for (int f = 0; f < m_columns.size(); ++f) m_columns[f].set(slot, values[f]);
}

void DataSet::computeCalculated(Bookmark slot)
{
    for (int f = 0; f < m_fields.size(); ++f)
        if (m_fields[f].kind == FieldKind::Calculated) {
            QVariant v;
            if (!wire::coerceValue(m_calc[f](*this, slot), m_fields[f].def.type, &v)) v = QVariant();
            m_columns[f].set(slot, v);
        }
}

Bookmark DataSet::newSlot()
{
    const Bookmark slot = m_slotState.size();
    for (Column &c : m_columns) c.appendNull();
    m_slotState.append(SlotState::Inserted);
    m_rank.append(0);
    return slot;
}

QVariant DataSet::slotValue(Bookmark slot, int field) const
{
    if ((m_state == DataSetState::Edit || m_state == DataSetState::Insert) && slot == m_editSlot) return m_buffer[field];
    return m_columns[field].value(slot);
}

QVariant DataSet::valueAt(qsizetype recNo, int field) const
{
    if (recNo < 0 || recNo >= m_view.size()) return {};
    return slotValue(m_view[recNo], field);
}

QVariant DataSet::currentValue(int field) const
{
    requireActive();
    if (m_cur < 0) return {};
    return slotValue(m_view[m_cur], field);
}

void DataSet::setCurrentValue(int field, const QVariant &v)
{
    requireEditing("set a field");
    const FieldInfo &info = m_fields[field];
    if (info.kind == FieldKind::Calculated) throw DataError(QStringLiteral("field %1 is calculated").arg(info.def.name));
    if (info.readOnly) throw DataError(QStringLiteral("field %1 cannot be modified").arg(info.def.name));
    try {
        m_buffer[field] = wire::coerceOrThrow(v, info.def);
    } catch (const wire::WireError &e) {
        throw DataError(e.message());
    }
    if (m_disableCount == 0) Q_EMIT rowChanged(m_cur); else m_changedWhileDisabled = true;
}

// ---- view ------------------------------------------------------------------------------------------

bool DataSet::slotVisible(Bookmark slot) const
{
    const SlotState s = m_slotState[slot];
    if (s == SlotState::Deleted || s == SlotState::Gone) return false;
    return !m_filtered || m_filter.matches(m_columns, slot);
}

QList<int> DataSet::resolveFields(const QString &fields) const
{
    QList<int> out;
    for (const QString &name : splitFieldList(fields)) {
        const int i = fieldIndex(name);
        if (i < 0) throw DataError(QStringLiteral("the table has no field named %1").arg(name));
        out.append(i);
    }
    if (out.isEmpty()) throw DataError(QStringLiteral("no fields named in '%1'").arg(fields));
    return out;
}

DataSet::SortKey DataSet::resolveSortKey() const
{
    SortKey key;
    if (!m_indexFieldNames.isEmpty()) {
        key.fields = resolveFields(m_indexFieldNames);
        key.desc.fill(false, key.fields.size());
        return key;
    }
    if (m_indexName.isEmpty()) return key;
    for (const IndexDef &def : m_indexes)
        if (def.name.compare(m_indexName, Qt::CaseInsensitive) == 0) {
            key.fields = resolveFields(def.fields.join(u';'));
            for (const QString &name : def.fields)
                key.desc.append(def.descFields.contains(name, Qt::CaseInsensitive));
            key.ci = def.caseInsensitive;
        }
    return key;
}

int DataSet::compareSlots(Bookmark a, Bookmark b, const SortKey &key) const
{
    const QList<int> &fields = key.fields;
    const QList<bool> &desc = key.desc;
    const bool ci = key.ci;
    for (int k = 0; k < fields.size(); ++k) {
        const Column &c = m_columns[fields[k]];
        const bool an = c.isNull(a), bn = c.isNull(b);
        int cmp = 0;
        if (an || bn) {
            cmp = an == bn ? 0 : (an ? -1 : 1); // nulls first
        } else {
            switch (c.type()) {
            case FieldType::Text: cmp = QString::compare(c.textAt(a), c.textAt(b), ci ? Qt::CaseInsensitive : Qt::CaseSensitive); break;
            case FieldType::Float: cmp = c.floatAt(a) < c.floatAt(b) ? -1 : c.floatAt(a) > c.floatAt(b) ? 1 : 0; break;
            case FieldType::Blob: cmp = c.blobAt(a) < c.blobAt(b) ? -1 : c.blobAt(a) > c.blobAt(b) ? 1 : 0; break;
            default: cmp = c.intAt(a) < c.intAt(b) ? -1 : c.intAt(a) > c.intAt(b) ? 1 : 0; break;
            }
        }
        if (cmp != 0) return desc[k] ? -cmp : cmp;
    }
    return 0;
}

bool DataSet::hasActiveIndex() const { return !m_indexName.isEmpty() || !m_indexFieldNames.isEmpty(); }

bool DataSet::slotLess(Bookmark a, Bookmark b) const
{
    const int cmp = m_key.fields.isEmpty() ? 0 : compareSlots(a, b, m_key);
    return cmp != 0 ? cmp < 0 : naturalLess(a, b);
}

void DataSet::rebuildView(Bookmark keep)
{
    if (m_disableCount == 0) Q_EMIT aboutToReset();
    if (keep < 0) keep = currentSlot();
    m_view.clear();
    m_view.reserve(m_slotState.size());
    for (Bookmark s = 0; s < m_slotState.size(); ++s)
        if (slotVisible(s)) m_view.append(s);
    m_key = resolveSortKey();
    std::sort(m_view.begin(), m_view.end(), [this](Bookmark a, Bookmark b) { return slotLess(a, b); });
    const qsizetype pos = keep >= 0 ? m_view.indexOf(keep) : -1;
    m_cur = pos >= 0 ? pos : (m_view.isEmpty() ? -1 : 0);
    m_bof = m_cur <= 0;
    m_eof = m_view.isEmpty();
    if (m_disableCount == 0) {
        Q_EMIT reset();
        Q_EMIT currentChanged(m_cur);
    } else {
        m_changedWhileDisabled = true;
    }
}

void DataSet::removeFromView(qsizetype recNo)
{
    if (m_disableCount == 0) Q_EMIT rowAboutToBeRemoved(recNo); else m_changedWhileDisabled = true;
    m_view.removeAt(recNo);
    if (m_disableCount == 0) Q_EMIT rowRemoved(recNo);
}

// Puts a posted slot where the filter and the order want it; the cursor follows it when it stays.
void DataSet::placeSlot(Bookmark slot, qsizetype currentPos)
{
    const bool visible = slotVisible(slot);
    if (currentPos >= 0) {
        const bool before = currentPos == 0 || slotLess(m_view[currentPos - 1], slot);
        const bool after = currentPos + 1 >= m_view.size() || slotLess(slot, m_view[currentPos + 1]);
        if (visible && before && after) {
            if (m_disableCount == 0) Q_EMIT rowChanged(currentPos); else m_changedWhileDisabled = true;
            return;
        }
        removeFromView(currentPos);
    }
    if (!visible) {
        if (m_view.isEmpty()) { m_cur = -1; m_bof = m_eof = true; }
        else setCursor(std::min(currentPos < 0 ? 0 : currentPos, m_view.size() - 1));
        return;
    }
    const auto it = std::lower_bound(m_view.begin(), m_view.end(), slot, [this](Bookmark a, Bookmark b) { return slotLess(a, b); });
    const qsizetype pos = it - m_view.begin();
    if (m_disableCount == 0) Q_EMIT rowsAboutToBeInserted(pos); else m_changedWhileDisabled = true;
    m_view.insert(pos, slot);
    if (m_disableCount == 0) Q_EMIT rowsInserted(pos);
    setCursor(pos);
}

void DataSet::renumberRanks()
{
    QList<Bookmark> order(m_rank.size());
    for (Bookmark s = 0; s < order.size(); ++s) order[s] = s;
    std::sort(order.begin(), order.end(), [this](Bookmark a, Bookmark b) { return naturalLess(a, b); });
    for (qsizetype i = 0; i < order.size(); ++i) m_rank[order[i]] = i * kRankGap;
    m_nextRank = order.size() * kRankGap;
}

void DataSet::setCursor(qsizetype recNo)
{
    m_cur = recNo;
    m_bof = m_eof = false;
    if (m_disableCount == 0) Q_EMIT currentChanged(m_cur); else m_changedWhileDisabled = true;
}

void DataSet::setState(DataSetState s)
{
    if (m_state == s) return;
    m_state = s;
    Q_EMIT stateChanged(s);
}

void DataSet::emitReset()
{
    if (m_disableCount == 0) {
        Q_EMIT aboutToReset();
        Q_EMIT reset();
    } else {
        m_changedWhileDisabled = true;
    }
}

// ---- cursor ------------------------------------------------------------------------------------

void DataSet::requireActive() const
{
    if (m_state == DataSetState::Inactive) throw DataError(QStringLiteral("the table is not open"));
}

void DataSet::requireRow() const
{
    requireActive();
    if (m_cur < 0) throw DataError(QStringLiteral("the table has no current row"));
}

void DataSet::requireEditing(const char *what) const
{
    requireActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DataError(QStringLiteral("cannot %1: the table is not in edit or insert mode").arg(QLatin1String(what)));
}

void DataSet::checkBrowse()
{
    requireActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) post();
}

void DataSet::first()
{
    checkBrowse();
    if (m_view.isEmpty()) { m_cur = -1; m_bof = m_eof = true; return; }
    setCursor(0);
    m_bof = true;
}

void DataSet::last()
{
    checkBrowse();
    if (m_view.isEmpty()) { m_cur = -1; m_bof = m_eof = true; return; }
    setCursor(m_view.size() - 1);
    m_eof = true;
}

void DataSet::next()
{
    checkBrowse();
    if (m_cur >= 0 && m_cur + 1 < m_view.size()) setCursor(m_cur + 1);
    else m_eof = true;
}

void DataSet::prior()
{
    checkBrowse();
    if (m_cur > 0) setCursor(m_cur - 1);
    else m_bof = true;
}

bool DataSet::moveTo(qsizetype recNo)
{
    checkBrowse();
    if (recNo < 0 || recNo >= m_view.size()) return false;
    setCursor(recNo);
    return true;
}

Bookmark DataSet::bookmark() const { return currentSlot(); }

bool DataSet::bookmarkValid(Bookmark b) const
{
    return b >= 0 && b < m_slotState.size() && m_view.contains(b);
}

bool DataSet::gotoBookmark(Bookmark b)
{
    checkBrowse();
    const qsizetype pos = b >= 0 ? m_view.indexOf(b) : -1;
    if (pos < 0) return false;
    setCursor(pos);
    return true;
}

// ---- editing ---------------------------------------------------------------------------------

void DataSet::edit()
{
    requireActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) return;
    if (m_cur < 0) {
        append(); // as an empty grid does: typing into it starts a new row
        return;
    }
    m_editSlot = m_view[m_cur];
    m_buffer = readSlot(m_editSlot);
    setState(DataSetState::Edit);
}

void DataSet::insert()
{
    checkBrowse();
    const Bookmark slot = newSlot();
    const qsizetype pos = m_cur < 0 ? 0 : m_cur;
    // In natural order the new row takes a rank between the row before and the row at the cursor;
    // under an index its natural place does not show, so it goes to the natural end.
    if (m_view.isEmpty() || hasActiveIndex()) {
        m_rank[slot] = m_nextRank;
        m_nextRank += kRankGap;
    }
    if (!m_view.isEmpty() && !hasActiveIndex()) {
        auto lower = [&] { return pos > 0 ? m_rank[m_view[pos - 1]] : m_rank[m_view[pos]] - 2 * kRankGap; };
        if (m_rank[m_view[pos]] - lower() < 2) renumberRanks();
        m_rank[slot] = lower() + (m_rank[m_view[pos]] - lower()) / 2;
    }
    if (m_disableCount == 0) Q_EMIT rowsAboutToBeInserted(pos); else m_changedWhileDisabled = true;
    m_view.insert(pos, slot);
    m_editSlot = slot;
    m_buffer = readSlot(slot);
    setState(DataSetState::Insert);
    if (m_disableCount == 0) Q_EMIT rowsInserted(pos);
    setCursor(pos);
}

void DataSet::append()
{
    checkBrowse();
    const Bookmark slot = newSlot();
    m_rank[slot] = m_nextRank;
    m_nextRank += kRankGap;
    const qsizetype pos = m_view.size();
    if (m_disableCount == 0) Q_EMIT rowsAboutToBeInserted(pos); else m_changedWhileDisabled = true;
    m_view.append(slot);
    m_editSlot = slot;
    m_buffer = readSlot(slot);
    setState(DataSetState::Insert);
    if (m_disableCount == 0) Q_EMIT rowsInserted(pos);
    setCursor(pos);
    m_eof = true;
}

void DataSet::post()
{
    requireActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) return;
    for (int i = 0; i < m_fields.size(); ++i) {
        const FieldInfo &f = m_fields[i];
        if (f.def.has(FieldDef::Required) && wire::isNull(m_buffer[i]))
            throw DataError(QStringLiteral("field %1 must have a value").arg(f.displayLabel.isEmpty() ? f.def.name : f.displayLabel));
    }

    const Bookmark slot = m_editSlot;
    if (m_state == DataSetState::Edit) {
        const QVariantList before = readSlot(slot);
        bool dataChanged = false;
        for (int f = 0; f < m_fields.size(); ++f)
            if (m_fields[f].kind == FieldKind::Data && !wire::sameValue(before[f], m_buffer[f])) dataChanged = true;
        if (dataChanged && m_slotState[slot] == SlotState::Unmodified) {
            m_old.insert(slot, before);
            m_slotState[slot] = SlotState::Modified;
        }
        writeSlot(slot, m_buffer);
        if (m_slotState[slot] == SlotState::Modified) {
            // Edited back to what was loaded: the row has no change any more.
            const QVariantList &old = m_old[slot];
            bool same = true;
            for (int f = 0; f < m_fields.size() && same; ++f)
                if (m_fields[f].kind == FieldKind::Data && !wire::sameValue(old[f], m_buffer[f])) same = false;
            if (same) {
                m_slotState[slot] = SlotState::Unmodified;
                m_old.remove(slot);
            }
        }
    } else {
        writeSlot(slot, m_buffer);
    }
    computeCalculated(slot);
    m_buffer.clear();
    m_editSlot = -1;
    setState(DataSetState::Browse);
    placeSlot(slot, m_cur >= 0 && m_view[m_cur] == slot ? m_cur : m_view.indexOf(slot));
}

void DataSet::cancel()
{
    requireActive();
    if (m_state == DataSetState::Insert) {
        const Bookmark slot = m_editSlot;
        m_slotState[slot] = SlotState::Gone;
        m_buffer.clear();
        m_editSlot = -1;
        setState(DataSetState::Browse);
        const qsizetype pos = m_view.indexOf(slot);
        if (pos >= 0) removeFromView(pos);
        if (m_view.isEmpty()) { m_cur = -1; m_bof = m_eof = true; }
        else setCursor(std::min(pos, m_view.size() - 1));
    } else if (m_state == DataSetState::Edit) {
        m_buffer.clear();
        m_editSlot = -1;
        setState(DataSetState::Browse);
        if (m_disableCount == 0) Q_EMIT rowChanged(m_cur); else m_changedWhileDisabled = true;
    }
}

void DataSet::deleteRecord()
{
    requireActive();
    if (m_state == DataSetState::Insert) { cancel(); return; }
    if (m_state == DataSetState::Edit) cancel();
    requireRow();
    const qsizetype pos = m_cur;
    const Bookmark slot = m_view[pos];
    switch (m_slotState[slot]) {
    case SlotState::Inserted: m_slotState[slot] = SlotState::Gone; break;
    case SlotState::Unmodified: m_old.insert(slot, readSlot(slot)); [[fallthrough]];
    default: m_slotState[slot] = SlotState::Deleted; break;
    }
    removeFromView(pos);
    if (m_view.isEmpty()) {
        m_cur = -1;
        m_bof = m_eof = true;
    } else {
        const bool wasLast = pos >= m_view.size();
        setCursor(std::min(pos, m_view.size() - 1));
        m_eof = wasLast;
    }
}

void DataSet::appendRecord(const QVariantList &values)
{
    append();
    try {
        for (int f = 0; f < values.size() && f < m_fields.size(); ++f)
            if (m_fields[f].kind != FieldKind::Calculated) setCurrentValue(f, values[f]);
        post();
    } catch (...) {
        cancel();
        throw;
    }
}

// ---- change log --------------------------------------------------------------------------------

RowStatus DataSet::slotStatus(Bookmark slot) const
{
    switch (m_slotState[slot]) {
    case SlotState::Modified: return RowStatus::Modified;
    case SlotState::Inserted: return RowStatus::Inserted;
    case SlotState::Deleted: return RowStatus::Deleted;
    default: return RowStatus::Unmodified;
    }
}

RowStatus DataSet::updateStatus() const
{
    requireActive();
    return m_cur < 0 ? RowStatus::Unmodified : slotStatus(m_view[m_cur]);
}

QVariant DataSet::oldValue(int field) const
{
    requireActive();
    if (m_cur < 0) return {};
    const Bookmark slot = m_view[m_cur];
    switch (m_slotState[slot]) {
    case SlotState::Inserted: return {};
    case SlotState::Modified: return m_old.value(slot).value(field);
    default: return m_columns[field].value(slot);
    }
}

qsizetype DataSet::changeCount() const
{
    qsizetype n = 0;
    for (SlotState s : m_slotState)
        if (s == SlotState::Modified || s == SlotState::Inserted || s == SlotState::Deleted) ++n;
    // A row being inserted is not a change until it is posted.
    if (m_state == DataSetState::Insert) --n;
    return n;
}

QList<Bookmark> DataSet::changedSlots() const
{
    QList<Bookmark> slots;
    for (Bookmark s = 0; s < m_slotState.size(); ++s) {
        const SlotState st = m_slotState[s];
        if ((st == SlotState::Modified || st == SlotState::Inserted || st == SlotState::Deleted)
            && !(m_state == DataSetState::Insert && s == m_editSlot))
            slots.append(s);
    }
    return slots;
}

void DataSet::mergeChangeLog()
{
    checkBrowse();
    for (SlotState &s : m_slotState) {
        if (s == SlotState::Deleted) s = SlotState::Gone;
        else if (s == SlotState::Modified || s == SlotState::Inserted) s = SlotState::Unmodified;
    }
    m_old.clear();
}

void DataSet::cancelUpdates()
{
    requireActive();
    cancel();
    for (Bookmark s = 0; s < m_slotState.size(); ++s) {
        switch (m_slotState[s]) {
        case SlotState::Inserted: m_slotState[s] = SlotState::Gone; break;
        case SlotState::Deleted:
        case SlotState::Modified: {
            const QVariantList old = m_old.value(s);
            for (int f = 0; f < m_fields.size(); ++f)
                if (m_fields[f].kind == FieldKind::Data) m_columns[f].set(s, old[f]);
            computeCalculated(s);
            m_slotState[s] = SlotState::Unmodified;
            break;
        }
        default: break;
        }
    }
    m_old.clear();
    rebuildView();
}

void DataSet::revertRecord()
{
    requireActive();
    if (m_state == DataSetState::Insert) { cancel(); return; }
    cancel();
    if (m_cur < 0) return;
    const Bookmark slot = m_view[m_cur];
    if (m_slotState[slot] == SlotState::Inserted) {
        m_slotState[slot] = SlotState::Gone;
        const qsizetype pos = m_cur;
        removeFromView(pos);
        if (m_view.isEmpty()) { m_cur = -1; m_bof = m_eof = true; }
        else setCursor(std::min(pos, m_view.size() - 1));
    } else if (m_slotState[slot] == SlotState::Modified) {
        const QVariantList old = m_old.take(slot);
        for (int f = 0; f < m_fields.size(); ++f)
            if (m_fields[f].kind == FieldKind::Data) m_columns[f].set(slot, old[f]);
        computeCalculated(slot);
        m_slotState[slot] = SlotState::Unmodified;
        placeSlot(slot, m_cur);
    }
}

wire::ChangePacket DataSet::delta() const
{
    wire::ChangePacket packet;
    QList<int> dataFields;
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].kind == FieldKind::Data) {
            packet.fields.append(m_fields[i].def);
            dataFields.append(i);
        }
    auto pick = [&dataFields](const QVariantList &all) {
        QVariantList values;
        values.reserve(dataFields.size());
        for (int f : dataFields) values.append(all[f]);
        return values;
    };
    for (Bookmark s : changedSlots()) {
        wire::RowChange change;
        change.status = slotStatus(s);
        if (change.status != RowStatus::Inserted) change.oldValues = pick(m_old.value(s));
        if (change.status != RowStatus::Deleted) change.newValues = pick(readSlot(s));
        packet.rows.append(std::move(change));
    }
    return packet;
}

// ---- filters and indexes ------------------------------------------------------------------------

void DataSet::setFilter(const QString &expression)
{
    FilterExpr parsed;
    if (!expression.trimmed().isEmpty()) {
        QList<FieldDef> defs;
        for (const FieldInfo &f : m_fields) defs.append(f.def);
        parsed = FilterExpr::parse(expression, defs, m_filterCi); // throws before anything changes
    }
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) post();
    m_filterText = expression.trimmed();
    m_filter = parsed;
    if (m_filtered && m_state != DataSetState::Inactive) rebuildView();
}

void DataSet::setFiltered(bool on)
{
    if (m_filtered == on) return;
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) post();
    m_filtered = on;
    if (m_state != DataSetState::Inactive) rebuildView();
}

void DataSet::setFilterCaseInsensitive(bool on)
{
    m_filterCi = on;
    setFilter(m_filterText);
}

void DataSet::addIndex(const IndexDef &index)
{
    if (index.name.trimmed().isEmpty()) throw DataError(QStringLiteral("an index needs a name"));
    if (index.fields.isEmpty()) throw DataError(QStringLiteral("index %1 has no fields").arg(index.name));
    if (m_state != DataSetState::Inactive) resolveFields(index.fields.join(u';'));
    for (const QString &d : index.descFields)
        if (!index.fields.contains(d, Qt::CaseInsensitive))
            throw DataError(QStringLiteral("descending field %1 is not a field of index %2").arg(d, index.name));
    for (IndexDef &def : m_indexes)
        if (def.name.compare(index.name, Qt::CaseInsensitive) == 0) {
            def = index;
            if (m_indexName.compare(index.name, Qt::CaseInsensitive) == 0) rebuildView();
            return;
        }
    m_indexes.append(index);
}

void DataSet::deleteIndex(const QString &name)
{
    for (qsizetype i = 0; i < m_indexes.size(); ++i)
        if (m_indexes[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            m_indexes.removeAt(i);
            if (m_indexName.compare(name, Qt::CaseInsensitive) == 0) {
                m_indexName.clear();
                if (m_state != DataSetState::Inactive) rebuildView();
            }
            return;
        }
    throw DataError(QStringLiteral("the table has no index named %1").arg(name));
}

void DataSet::setIndexName(const QString &name)
{
    if (!name.isEmpty()) {
        bool found = false;
        for (const IndexDef &def : m_indexes) found = found || def.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!found) throw DataError(QStringLiteral("the table has no index named %1").arg(name));
    }
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) post();
    m_indexName = name;
    m_indexFieldNames.clear();
    if (m_state != DataSetState::Inactive) rebuildView();
}

void DataSet::setIndexFieldNames(const QString &fields)
{
    if (!fields.trimmed().isEmpty() && m_state != DataSetState::Inactive) resolveFields(fields);
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) post();
    m_indexFieldNames = fields.trimmed();
    m_indexName.clear();
    if (m_state != DataSetState::Inactive) rebuildView();
}

namespace {
// One key value prepared for comparison with a column, converted once to the column's type.
struct KeyValue {
    bool null = false;
    bool valid = true; // false: the value cannot be of the field's type, so no row matches
    qint64 i = 0;
    double d = 0;
    QString s;
    QByteArray b;
};

KeyValue prepareKey(const QVariant &v, FieldType type)
{
    KeyValue k;
    QVariant c;
    if (!wire::coerceValue(v, type, &c)) { k.valid = false; return k; }
    k.null = wire::isNull(c);
    if (k.null) return k;
    Column probe(type);
    probe.append(c);
    switch (type) {
    case FieldType::Text: k.s = probe.textAt(0); break;
    case FieldType::Float: k.d = probe.floatAt(0); break;
    case FieldType::Blob: k.b = probe.blobAt(0); break;
    default: k.i = probe.intAt(0); break;
    }
    return k;
}

// Compares a row's value with a key: <0, 0, >0; nulls first.
int compareKey(const Column &c, qsizetype slot, const KeyValue &k, Qt::CaseSensitivity cs, bool partial)
{
    const bool n = c.isNull(slot);
    if (n || k.null) return n == k.null ? 0 : (n ? -1 : 1);
    switch (c.type()) {
    case FieldType::Text:
        if (partial) return c.textAt(slot).startsWith(k.s, cs) ? 0 : QString::compare(c.textAt(slot), k.s, cs);
        return QString::compare(c.textAt(slot), k.s, cs);
    case FieldType::Float: return c.floatAt(slot) < k.d ? -1 : c.floatAt(slot) > k.d ? 1 : 0;
    case FieldType::Blob: return c.blobAt(slot) < k.b ? -1 : c.blobAt(slot) > k.b ? 1 : 0;
    default: return c.intAt(slot) < k.i ? -1 : c.intAt(slot) > k.i ? 1 : 0;
    }
}
} // namespace

bool DataSet::locate(const QString &fields, const QVariantList &values, int options)
{
    checkBrowse();
    const QList<int> idx = resolveFields(fields);
    if (idx.size() != values.size())
        throw DataError(QStringLiteral("locate on %1 fields with %2 values").arg(idx.size()).arg(values.size()));
    QList<KeyValue> keys;
    for (int k = 0; k < idx.size(); ++k) {
        keys.append(prepareKey(values[k], m_fields[idx[k]].def.type));
        if (!keys.last().valid) return false;
    }
    const Qt::CaseSensitivity cs = options & LocateCaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool partial = options & LocatePartialKey;
    for (qsizetype pos = 0; pos < m_view.size(); ++pos) {
        const Bookmark slot = m_view[pos];
        bool match = true;
        for (int k = 0; k < idx.size() && match; ++k)
            match = compareKey(m_columns[idx[k]], slot, keys[k], cs, partial) == 0;
        if (match) {
            setCursor(pos);
            return true;
        }
    }
    return false;
}

bool DataSet::findKey(const QVariantList &values)
{
    checkBrowse();
    const QList<int> &fields = m_key.fields;
    const QList<bool> &desc = m_key.desc;
    const bool ci = m_key.ci;
    if (fields.isEmpty()) throw DataError(QStringLiteral("findKey needs an active index"));
    if (values.isEmpty() || values.size() > fields.size())
        throw DataError(QStringLiteral("findKey with %1 values on an index of %2 fields").arg(values.size()).arg(fields.size()));
    QList<KeyValue> keys;
    for (int k = 0; k < values.size(); ++k) {
        keys.append(prepareKey(values[k], m_fields[fields[k]].def.type));
        if (!keys.last().valid) return false;
    }
    const Qt::CaseSensitivity cs = ci ? Qt::CaseInsensitive : Qt::CaseSensitive;
    auto cmp = [&](Bookmark slot) {
        for (int k = 0; k < keys.size(); ++k) {
            const int c = compareKey(m_columns[fields[k]], slot, keys[k], cs, false);
            if (c != 0) return desc[k] ? -c : c;
        }
        return 0;
    };
    const auto it = std::partition_point(m_view.begin(), m_view.end(), [&](Bookmark s) { return cmp(s) < 0; });
    if (it == m_view.end() || cmp(*it) != 0) return false;
    setCursor(it - m_view.begin());
    return true;
}

// ---- views and snapshots --------------------------------------------------------------------------

void DataSet::disableControls() { ++m_disableCount; }

void DataSet::enableControls()
{
    if (m_disableCount == 0) return;
    if (--m_disableCount == 0 && m_changedWhileDisabled) {
        m_changedWhileDisabled = false;
        Q_EMIT aboutToReset();
        Q_EMIT reset();
        Q_EMIT currentChanged(m_cur);
    }
}

void DataSet::cloneFrom(const DataSet &source)
{
    if (m_disableCount == 0) Q_EMIT aboutToReset();
    m_fields = source.m_fields;
    m_columns = source.m_columns;
    m_calc = source.m_calc;
    m_slotState = source.m_slotState;
    m_rank = source.m_rank;
    m_old = source.m_old;
    m_view = source.m_view;
    // A row the source is still inserting is not part of the copy.
    if (source.m_state == DataSetState::Insert) {
        m_slotState[source.m_editSlot] = SlotState::Gone;
        m_view.removeOne(source.m_editSlot);
    }
    m_filterText = source.m_filterText;
    m_filter = source.m_filter;
    m_filtered = source.m_filtered;
    m_filterCi = source.m_filterCi;
    m_indexes = source.m_indexes;
    m_indexName = source.m_indexName;
    m_indexFieldNames = source.m_indexFieldNames;
    m_key = source.m_key;
    m_buffer.clear();
    m_editSlot = -1;
    m_cur = m_view.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.isEmpty();
    setState(source.m_state == DataSetState::Inactive ? DataSetState::Inactive : DataSetState::Browse);
    if (m_disableCount == 0) {
        Q_EMIT reset();
        Q_EMIT currentChanged(m_cur);
    } else {
        m_changedWhileDisabled = true;
    }
}

} // namespace lumeko
