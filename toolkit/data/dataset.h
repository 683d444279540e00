#pragma once
// DataSet: the in-memory table behind every page and dialog. It holds the rows of a data packet,
// a cursor over them, the change log of what the user did since the last load or save, filters,
// indexes and key lookup, and tells views (a Qt model) what changed.
//
// Rows live in typed columns ("slots"); the view is the list of slots that are not deleted and
// pass the filter, in the order of the active index. A row's update status and, for a row that
// existed when the data was loaded, its old values form the change log; delta() turns it into the
// change packet an update method takes.

#include "toolkit/data/data_export.h"
#include "toolkit/data/filter.h"
#include "wire/packet.h"

#include <QObject>
#include <QHash>

#include <functional>
#include <memory>
#include <optional>

namespace lumeko {

using wire::FieldType;
using wire::RowStatus;

class LUMEKO_DATA_EXPORT DataError : public std::runtime_error {
public:
    explicit DataError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

enum class FieldKind : quint8 {
    Data,       // loaded from and saved to the server
    Internal,   // kept per row but never sent; changing it does not change the row's status
    Calculated, // computed from the row by a function whenever the row is loaded or posted
};

enum class DataSetState : quint8 { Inactive, Browse, Edit, Insert };

struct FieldInfo {
    wire::FieldDef def;
    FieldKind kind = FieldKind::Data;
    QString displayLabel; // empty: the field name
    int tag = 0;          // 2 marks the fields that describe a change in the operation log
    bool visible = true;
    bool readOnly = false;

    static FieldInfo of(const wire::FieldDef &def, FieldKind kind = FieldKind::Data)
    {
        FieldInfo info;
        info.def = def;
        info.kind = kind;
        return info;
    }
};

struct IndexDef {
    QString name;
    QStringList fields;     // in key order
    QStringList descFields; // those of `fields` that sort descending
    bool caseInsensitive = false;
};

enum LocateOption { LocateCaseInsensitive = 1, LocatePartialKey = 2 };

class DataSet;
using Bookmark = qsizetype; // a row's slot; stays valid while the data are not reloaded

// A field of the table, reading and writing the current row.
class LUMEKO_DATA_EXPORT Field {
public:
    Field(DataSet *table, int index) : m_table(table), m_index(index) {}

    int index() const { return m_index; }
    const QString &name() const;
    FieldType type() const;
    const FieldInfo &info() const;
    QString displayLabel() const;

    QVariant value() const;
    QVariant oldValue() const;
    bool isNull() const { return wire::isNull(value()); }
    QString asString() const;
    qint64 asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    QDate asDate() const;
    QDateTime asDateTime() const;
    QByteArray asBlob() const;

    void setValue(const QVariant &v);
    void clear() { setValue(QVariant()); }

private:
    DataSet *m_table;
    int m_index;
};

class LUMEKO_DATA_EXPORT DataSet : public QObject {
    Q_OBJECT
public:
    explicit DataSet(QObject *parent = nullptr);
    ~DataSet() override;

    // ---- structure and loading
    // Replaces fields and rows with the packet's; the change log is empty afterwards. Internal
    // and calculated fields added before stay, after the packet's fields, with null values.
    void setData(wire::DataPacket packet);
    // The table as a data packet: the data fields of every row that is not deleted, in natural order.
    wire::DataPacket data() const;
    // An empty table with these fields (a page's own working table).
    void createTable(const QList<wire::FieldDef> &fields);
    void close();
    bool isActive() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }

    // Adds a field after the others; for Calculated, `calc` computes its value from the row.
    int addField(const wire::FieldDef &def, FieldKind kind = FieldKind::Internal,
                 std::function<QVariant(const DataSet &, Bookmark)> calc = {});
    int fieldCount() const { return int(m_fields.size()); }
    const FieldInfo &fieldInfo(int index) const { return m_fields[index]; }
    FieldInfo &fieldInfo(int index) { return m_fields[index]; }
    int fieldIndex(QStringView name) const; // without regard to letter case; -1 when absent
    Field field(int index) { return Field(this, index); }
    Field fieldByName(QStringView name); // throws DataError when absent
    std::optional<Field> findField(QStringView name);
    QVariant value(QStringView name) const;            // current row
    void setValue(QStringView name, const QVariant &v); // current row, in Edit or Insert state

    // ---- cursor
    qsizetype recordCount() const { return m_view.size(); }
    bool isEmpty() const { return m_view.isEmpty(); }
    qsizetype recNo() const { return m_cur; } // 0-based position in the view; -1 when empty
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void first();
    void last();
    void next();
    void prior();
    bool moveTo(qsizetype recNo); // false when out of range
    Bookmark bookmark() const;    // -1 when empty
    bool bookmarkValid(Bookmark b) const;
    bool gotoBookmark(Bookmark b); // false when that row is no longer visible
    // A row of the view without moving the cursor.
    QVariant valueAt(qsizetype recNo, int field) const;
    QVariant slotValue(Bookmark slot, int field) const;

    // ---- editing
    void edit();
    void insert(); // a new row before the current one
    void append(); // a new row at the end
    void post();   // throws DataError when a required field is null; the row stays in edit then
    void cancel();
    void deleteRecord(); // the current row
    void appendRecord(const QVariantList &values); // append, set every field in order, post

    // ---- change log
    RowStatus updateStatus() const; // of the current row
    RowStatus slotStatus(Bookmark slot) const;
    QVariant oldValue(int field) const; // the loaded value; null for an inserted row
    qsizetype changeCount() const;
    void mergeChangeLog();  // accept every change as the new unchanged state
    void cancelUpdates();   // revert every change
    void revertRecord();    // revert the current row (an inserted row disappears)
    wire::ChangePacket delta() const;
    // Slots with changes (inserted, modified, deleted), in slot order.
    QList<Bookmark> changedSlots() const;

    // ---- filters
    void setFilter(const QString &expression); // throws FilterError; "" removes the expression
    QString filter() const { return m_filterText; }
    void setFiltered(bool on);
    bool filtered() const { return m_filtered; }
    void setFilterCaseInsensitive(bool on);

    // ---- indexes and lookup
    void addIndex(const IndexDef &index); // replaces one of the same name
    void deleteIndex(const QString &name); // throws DataError when absent
    QList<IndexDef> indexDefs() const { return m_indexes; }
    void setIndexName(const QString &name); // "" for natural order; throws when absent
    QString indexName() const { return m_indexName; }
    // An ad-hoc ascending index on "a;b"; "" for natural order.
    void setIndexFieldNames(const QString &fields);
    QString indexFieldNames() const { return m_indexFieldNames; }
    // Moves to the first row of the view whose fields ("a;b") hold the values.
    bool locate(const QString &fields, const QVariantList &values, int options = 0);
    // Moves to the first row whose leading active-index fields equal the values (binary search).
    bool findKey(const QVariantList &values);

    // ---- views
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // ---- snapshots
    // Makes this table a copy of another: fields, rows, change log, filter and indexes.
    void cloneFrom(const DataSet &source);

Q_SIGNALS:
    void rowsAboutToBeInserted(qsizetype recNo);
    void rowsInserted(qsizetype recNo);
    void rowAboutToBeRemoved(qsizetype recNo);
    void rowRemoved(qsizetype recNo);
    void rowChanged(qsizetype recNo);
    void aboutToReset();
    void reset();
    void currentChanged(qsizetype recNo);
    void stateChanged(lumeko::DataSetState state);

private:
    friend class Field;
    enum class SlotState : quint8 { Unmodified, Modified, Inserted, Deleted, Gone };

    void requireActive() const;
    void requireRow() const;
    void requireEditing(const char *what) const;
    void checkBrowse(); // posts a pending edit before the cursor moves
    QVariant currentValue(int field) const;
    void setCurrentValue(int field, const QVariant &v);
    Bookmark currentSlot() const { return m_cur >= 0 ? m_view[m_cur] : -1; }
    Bookmark newSlot();
    void writeSlot(Bookmark slot, const QVariantList &values);
    QVariantList readSlot(Bookmark slot) const;
    void computeCalculated(Bookmark slot);
    bool slotVisible(Bookmark slot) const;
    bool slotLess(Bookmark a, Bookmark b) const;
    bool naturalLess(Bookmark a, Bookmark b) const { return m_rank[a] != m_rank[b] ? m_rank[a] < m_rank[b] : a < b; }
    bool hasActiveIndex() const;
    void rebuildView(Bookmark keep = -1);
    void placeSlot(Bookmark slot, qsizetype preferredPos);
    void removeFromView(qsizetype recNo);
    void renumberRanks();
    void setCursor(qsizetype recNo);
    void setState(DataSetState s);
    void emitReset();
    QList<int> resolveFields(const QString &fields) const;
    // The active index, resolved to field positions whenever the view is rebuilt.
    struct SortKey {
        QList<int> fields;
        QList<bool> desc;
        bool ci = false;
    };
    SortKey resolveSortKey() const;
    int compareSlots(Bookmark a, Bookmark b, const SortKey &key) const;

    QList<FieldInfo> m_fields;
    QList<wire::Column> m_columns;
    QList<std::function<QVariant(const DataSet &, Bookmark)>> m_calc;

    QList<SlotState> m_slotState;
    QList<qint64> m_rank;                 // natural order of the slots (ties: slot order)
    qint64 m_nextRank = 0;
    QHash<Bookmark, QVariantList> m_old;  // data values as loaded, of modified and deleted rows

    QList<Bookmark> m_view;
    qsizetype m_cur = -1;
    bool m_bof = true;
    bool m_eof = true;

    DataSetState m_state = DataSetState::Inactive;
    QVariantList m_buffer; // values of the row being edited or inserted
    Bookmark m_editSlot = -1;

    QString m_filterText;
    FilterExpr m_filter;
    bool m_filtered = false;
    bool m_filterCi = false;

    QList<IndexDef> m_indexes;
    QString m_indexName;
    QString m_indexFieldNames;
    SortKey m_key;

    int m_disableCount = 0;
    bool m_changedWhileDisabled = false;
};

} // namespace lumeko
