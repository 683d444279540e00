#include "toolkit/data/datasetmodel.h"

namespace lumeko {

DataSetModel::DataSetModel(DataSet *table, QObject *parent) : QAbstractTableModel(parent), m_table(table)
{
    mapColumns();
    connect(table, &DataSet::rowsAboutToBeInserted, this, [this](qsizetype r) { beginInsertRows({}, int(r), int(r)); });
    connect(table, &DataSet::rowsInserted, this, [this] { endInsertRows(); });
    connect(table, &DataSet::rowAboutToBeRemoved, this, [this](qsizetype r) { beginRemoveRows({}, int(r), int(r)); });
    connect(table, &DataSet::rowRemoved, this, [this] { endRemoveRows(); });
    connect(table, &DataSet::rowChanged, this, [this](qsizetype r) {
        if (r >= 0 && !m_columns.isEmpty()) Q_EMIT dataChanged(index(int(r), 0), index(int(r), int(m_columns.size()) - 1));
    });
    connect(table, &DataSet::aboutToReset, this, [this] { beginResetModel(); });
    connect(table, &DataSet::reset, this, [this] {
        mapColumns();
        endResetModel();
    });
}

void DataSetModel::mapColumns()
{
    m_columns.clear();
    for (int f = 0; f < m_table->fieldCount(); ++f)
        if (m_table->fieldInfo(f).visible) m_columns.append(f);
}

QString DataSetModel::displayText(const QVariant &value, FieldType type)
{
    if (wire::isNull(value)) return QString();
    switch (type) {
    case FieldType::Date: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case FieldType::DateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case FieldType::Boolean: return value.toBool() ? QStringLiteral("√") : QString();
    case FieldType::Float: return QString::number(value.toDouble(), 'g', 15);
    case FieldType::Blob: return QStringLiteral("(%1 B)").arg(value.toByteArray().size());
    default: return value.toString();
    }
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table->recordCount());
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const int field = m_columns[index.column()];
    const QVariant v = m_table->valueAt(index.row(), field);
    switch (role) {
    case Qt::DisplayRole: return displayText(v, m_table->fieldInfo(field).def.type);
    case Qt::EditRole: return v;
    default: return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= m_columns.size()) return {};
    const FieldInfo &f = m_table->fieldInfo(m_columns[section]);
    return f.displayLabel.isEmpty() ? f.def.name : f.displayLabel;
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return Qt::NoItemFlags;
    const FieldInfo &f = m_table->fieldInfo(m_columns[index.column()]);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!f.readOnly && f.kind != FieldKind::Calculated) flags |= Qt::ItemIsEditable;
    return flags;
}

bool DataSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return false;
    try {
        if (m_table->recNo() != index.row() && !m_table->moveTo(index.row())) return false;
        m_table->edit();
        m_table->field(m_columns[index.column()]).setValue(value);
        m_lastError.clear();
        return true;
    } catch (const std::runtime_error &e) {
        m_lastError = QString::fromUtf8(e.what());
        return false;
    }
}

} // namespace lumeko
