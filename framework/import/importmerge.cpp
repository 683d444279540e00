#include "framework/import/importmerge.h"

#include "host/pub/pub.h"
#include "toolkit/cipher/cipher.h"

#include <QUuid>

namespace lumeko::achieve {

namespace {

// A cell the target cannot take; the run stops with this message.
struct CellError {
    QString message;
};

// Disables the target's views for the run and enables them again however it ends.
class ControlsOff {
public:
    explicit ControlsOff(DataSet *d) : m_d(d) { if (m_d) m_d->disableControls(); }
    ~ControlsOff() { if (m_d) m_d->enableControls(); }
    ControlsOff(const ControlsOff &) = delete;
    ControlsOff &operator=(const ControlsOff &) = delete;

private:
    DataSet *m_d;
};

QString withoutSpaces(QString s) { return s.remove(u' ').remove(QChar(0x3000)); }

QString digitsAndPoints(const QString &s)
{
    QString out;
    for (QChar c : s)
        if ((c >= u'0' && c <= u'9') || c == u'.') out += c;
    return out;
}

bool isNumeric(FieldType t) { return t == FieldType::Integer || t == FieldType::Float; }

QString numberKey(double v) { return QString::number(v, 'g', 15); }

// One key value as text, so that a pasted "05" finds the stored seat number 5.
QString keyText(const QVariant &v, FieldType type, bool name)
{
    if (wire::isNull(v)) return {};
    if (isNumeric(type)) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (ok) return numberKey(d);
    }
    if (type == FieldType::Date || type == FieldType::DateTime) {
        const QDate d = v.typeId() == QMetaType::QString ? QDate::fromString(v.toString().trimmed(), Qt::ISODate) : v.toDate();
        if (d.isValid()) return d.toString(Qt::ISODate);
    }
    const QString s = v.toString().trimmed();
    return name ? withoutSpaces(s) : s;
}

} // namespace

QStringList importCaptions(const ImportTarget &target, const ImportOptions &options)
{
    QStringList captions{kNoField};
    if (!target.fields || !target.fields->isActive()) return captions;
    QStringList excluded;
    for (const QString &f : target.excludedFields) excluded << f.trimmed().toLower();
    DataSet &defs = *target.fields;
    for (qsizetype i = 0; i < defs.recordCount(); ++i) {
        const QString name = defs.valueAt(i, defs.fieldIndex(u"sFldName")).toString().toLower();
        const QString caption = defs.valueAt(i, defs.fieldIndex(u"sFldCaption")).toString();
        const bool offered = !excluded.contains(name) || (name == u"gradecode" && options.streamGrades)
                             || (name == u"sloginname" && options.loginNames == LoginNames::None);
        if (offered && !caption.isEmpty() && !captions.contains(caption)) captions << caption;
    }
    return captions;
}

QStringList datePatterns(const QString &separator)
{
    const QStringList full{QStringLiteral("yyyy"), QStringLiteral("MM"), QStringLiteral("dd")};
    if (separator.isEmpty()) return {full.join(QString())};
    return {full.join(separator), QStringList{QStringLiteral("yyyy"), QStringLiteral("M"), QStringLiteral("d")}.join(separator)};
}

ImportMerge::ImportMerge(const ImportTarget &target, const ImportOptions &options) : m_target(target), m_options(options)
{
    encipher = [](const QString &plain) { return cipher::encStr(plain, QString::fromLatin1(cipher::kImportPasswordKey)); };
    schoolId = pub::schoolId();
    if (DataSet *defs = m_target.fields; defs && defs->isActive())
        for (qsizetype i = 0; i < defs->recordCount(); ++i)
            m_fieldType.insert(defs->valueAt(i, defs->fieldIndex(u"sFldName")).toString().toUpper(),
                               defs->valueAt(i, defs->fieldIndex(u"sFieldType")).toString().trimmed().toUpper());
}

QString ImportMerge::loginName(const QString &name) const
{
    if (m_options.loginNames == LoginNames::Name) return name;
    QString out;
    for (QChar c : name) {
        const QString reading = pinyin.pinyinOf(c);
        if (reading.isEmpty()) out += c;
        else out += m_options.loginNames == LoginNames::Initials ? reading.left(1) : reading;
    }
    return out;
}

QString ImportMerge::rowKey(Bookmark slot) const
{
    QVariantList values;
    for (int f : m_keyFieldIndex) values << m_target.data->slotValue(slot, f);
    return keyOf(values);
}

// The key fields' values as one text, each converted as its field compares: a pasted "05" and a
// stored seat number 5 give the same text.
QString ImportMerge::keyOf(const QVariantList &values) const
{
    QStringList parts;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const FieldInfo &info = m_target.data->fieldInfo(m_keyFieldIndex[i]);
        parts << keyText(values[i], info.def.type, info.def.name.compare(u"sName", Qt::CaseInsensitive) == 0);
    }
    return parts.join(QChar(0x1F));
}

void ImportMerge::indexTarget()
{
    DataSet &data = *m_target.data;
    const int name = data.fieldIndex(u"sName");
    for (qsizetype i = 0; i < data.recordCount(); ++i) {
        data.moveTo(i);
        const Bookmark slot = data.bookmark();
        const QString key = rowKey(slot);
        if (!m_keyIndex.contains(key)) m_keyIndex.insert(key, slot); // a lookup finds the first such row
        if (name >= 0) m_names.insert(data.slotValue(slot, name).toString());
    }
}

void ImportMerge::indexDetail()
{
    DataSet &detail = *m_target.detail;
    const int key = detail.fieldIndex(m_target.detailKeyField);
    const int title = detail.fieldIndex(u"sTitle");
    if (key < 0 || title < 0) throw DataError(QStringLiteral("家庭成员数据缺少栏位 %1 或 sTitle").arg(m_target.detailKeyField));
    for (qsizetype i = 0; i < detail.recordCount(); ++i) {
        detail.moveTo(i);
        const QString k = detail.slotValue(detail.bookmark(), key).toString() + QChar(0x1F) + detail.slotValue(detail.bookmark(), title).toString();
        if (!m_detailIndex.contains(k)) m_detailIndex.insert(k, detail.bookmark());
    }
    m_detailIndexed = true;
}

void ImportMerge::initAppended()
{
    DataSet &data = *m_target.data;
    data.append();
    if (!m_target.masterKeyField.isEmpty() && data.fieldIndex(m_target.masterKeyField) >= 0)
        data.setValue(m_target.masterKeyField, QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    if (m_target.initRow) m_target.initRow(data);
}

void ImportMerge::setField(const QString &field, const QVariant &value)
{
    DataSet &data = *m_target.data;
    if (data.fieldIndex(field) < 0) return; // a definition the table has no column for
    data.setValue(field, value);
}

QVariant ImportMerge::dateOf(const QString &cell, bool *ok) const
{
    QDate date;
    if (m_options.datesWithoutSeparator) {
        if (cell.size() == 8) date = QDate::fromString(cell, QStringLiteral("yyyyMMdd"));
        else if (cell.size() == 6) date = QDate::fromString(cell + QStringLiteral("01"), QStringLiteral("yyyyMMdd"));
    } else {
        date = QDate::fromString(cell, m_options.datePattern);
    }
    *ok = date.isValid();
    return date;
}

void ImportMerge::copyFamilyCell(const QString &field, const QString &cell)
{
    DataSet &detail = *m_target.detail;
    const QString master = m_target.data->value(m_target.masterKeyField).toString();
    const QString title = field.startsWith(u"MYFQ") ? QStringLiteral("父亲") : QStringLiteral("母亲");
    const QString column = field == u"MYFQ" || field == u"MYMQ" ? QStringLiteral("sName")
                           : field.endsWith(u"TEL")             ? QStringLiteral("sTel")
                                                                : QStringLiteral("sCompany");
    if (!m_detailIndexed) indexDetail();
    const QString key = master + QChar(0x1F) + title;
    const Bookmark row = m_detailIndex.value(key, -1);
    const bool found = row >= 0 && detail.gotoBookmark(row);
    if (!found && cell.isEmpty()) return; // no empty father or mother rows for blank cells
    if (found) {
        detail.edit();
    } else {
        detail.append();
        detail.setValue(m_target.detailKeyField, master);
        detail.setValue(u"sTitle", title);
        if (detail.fieldIndex(u"SchoolCode") >= 0) detail.setValue(u"SchoolCode", schoolId);
    }
    detail.setValue(column, cell);
    detail.post();
    if (!found) m_detailIndex.insert(key, detail.bookmark());
}

void ImportMerge::copyCell(const Column &column, const QString &raw, int row, int nameCount)
{
    const QString &f = column.field;
    const QString cell = raw.trimmed();
    const auto invalid = [&](const char *what) {
        return CellError{QStringLiteral("列[%1]行[%2]数据<%3>%4").arg(column.caption).arg(row).arg(raw, QString::fromUtf8(what))};
    };
    try {
        if (!m_target.mapPrefixes.isEmpty()) {
            const qsizetype width = m_target.mapPrefixes.first().size();
            if (m_target.mapPrefixes.contains(f.left(width), Qt::CaseInsensitive)) {
                QString v = withoutSpaces(raw);
                if (v.isEmpty()) return setField(f, QVariant());
                const qsizetype at = m_target.mapFrom.indexOf(v);
                if (at >= 0 && at < m_target.mapTo.size()) v = m_target.mapTo[at];
                if (!v.isEmpty()) setField(f, v);
                return;
            }
        }
        // An empty password cell leaves the stored password as it is, like other empty cells.
        if (f == u"SPASS") {
            if (!cell.isEmpty()) setField(f, encipher(cell));
            return;
        }
        if (f == u"CLASSCODE") {
            DataSet *classes = m_target.classes;
            if (!classes || !classes->isActive() || cell.isEmpty()) return;
            if (classes->locate(QStringLiteral("classname"), {cell})) return setField(f, classes->value(u"classcode"));
            const QString code = digitsAndPoints(cell).rightJustified(3, u'0');
            if (digitsAndPoints(cell).isEmpty() || !classes->locate(QStringLiteral("classcode"), {code})) return;
            return setField(f, code);
        }
        if (f == u"GRADECODE") {
            if (!m_options.streamGrades) return;
            const QString prefix = cell.contains(QStringLiteral("高三")) ? QStringLiteral("23") : QStringLiteral("22");
            if (cell.contains(QStringLiteral("文科"))) setField(f, prefix + QStringLiteral("02"));
            else if (cell.contains(QStringLiteral("理科"))) setField(f, prefix + QStringLiteral("01"));
            else if (cell.contains(QStringLiteral("高职"))) setField(f, prefix + QStringLiteral("03"));
            return;
        }
        if (f == u"ISTATE") {
            DataSet *states = m_target.states;
            if (states && states->isActive() && states->locate(QStringLiteral("sValue"), {cell})) setField(f, states->value(u"sKeyId"));
            return;
        }
        if (f == u"SNAME") {
            const QString name = withoutSpaces(raw);
            const QString suffix = m_options.nameUnique && nameCount > 0 ? QString::number(nameCount) : QString();
            setField(f, name + suffix);
            if (m_options.loginNames != LoginNames::None) setField(QStringLiteral("sLoginName"), loginName(name) + suffix);
            return;
        }
        static const QStringList family{u"MYFQ"_qs, u"MYFQTEL"_qs, u"MYFQCOMPANY"_qs, u"MYMQ"_qs, u"MYMQTEL"_qs, u"MYMQCOMPANY"_qs};
        if (family.contains(f)) {
            if (m_target.detail && m_target.detail->isActive() && !m_target.masterKeyField.isEmpty() && !m_target.detailKeyField.isEmpty())
                copyFamilyCell(f, cell);
            return;
        }
        const QString type = m_fieldType.value(f);
        if (type == u"N") {
            const QString digits = digitsAndPoints(cell);
            return setField(f, digits.isEmpty() ? QVariant() : QVariant(digits));
        }
        if (f == u"DBIRTHDAY" || type == u"D") {
            if (cell.isEmpty()) return;
            bool ok = false;
            const QVariant date = dateOf(cell, &ok);
            if (!ok) throw invalid("无效的日期格式！");
            const int index = m_target.data->fieldIndex(f);
            if (index >= 0 && m_target.data->fieldInfo(index).def.type == FieldType::DateTime) return setField(f, QDateTime(date.toDate(), QTime(0, 0)));
            return setField(f, date);
        }
        const int index = m_target.data->fieldIndex(f);
        if (cell.isEmpty() && index >= 0 && m_target.data->fieldInfo(index).def.type != FieldType::Text) return setField(f, QVariant());
        setField(f, cell);
    } catch (const CellError &) {
        throw;
    } catch (const std::exception &) {
        // The table refused the value: a number that is none, a text longer than its column.
        throw invalid("无效！");
    }
}

ImportOutcome ImportMerge::run(const QStringList &titles, const QList<QStringList> &rows)
{
    ImportOutcome out;
    DataSet *data = m_target.data;
    if (!data || !data->isActive() || !m_target.fields || !m_target.fields->isActive()) {
        out.error = QStringLiteral("没有可导入的目标数据！");
        return out;
    }

    // The field behind each mapped column.
    QList<Column> columns;
    QHash<QString, QString> fieldOfCaption;
    for (qsizetype i = 0; i < m_target.fields->recordCount(); ++i) {
        const QString caption = withoutSpaces(m_target.fields->valueAt(i, m_target.fields->fieldIndex(u"sFldCaption")).toString());
        if (!fieldOfCaption.contains(caption)) fieldOfCaption.insert(caption, m_target.fields->valueAt(i, m_target.fields->fieldIndex(u"sFldName")).toString());
    }
    for (qsizetype i = 0; i < titles.size(); ++i) {
        const QString caption = withoutSpaces(titles[i]);
        if (caption.isEmpty() || caption == kNoField || !fieldOfCaption.contains(caption)) continue;
        columns << Column{int(i), caption, fieldOfCaption.value(caption).toUpper()};
    }

    // The key columns: each checked key caption needs a column mapped to it.
    QList<int> keyColumns;
    m_keyFieldIndex.clear();
    for (const QString &caption : m_options.keys) {
        const qsizetype at = m_target.keyCaptions.indexOf(caption);
        const QString field = at >= 0 && at < m_target.keyFields.size() ? m_target.keyFields[at] : QString();
        const auto column = std::find_if(columns.cbegin(), columns.cend(), [&](const Column &c) { return c.caption == caption; });
        if (column == columns.cend()) {
            out.error = QStringLiteral("唯一栏[%1]没有对应的数据列，请在栏位设置中匹配该列！").arg(caption);
            return out;
        }
        const int index = data->fieldIndex(field);
        if (index < 0) {
            out.error = QStringLiteral("唯一栏[%1]不是可导入的栏位！").arg(caption);
            return out;
        }
        keyColumns << column->index;
        m_keyFieldIndex << index;
    }
    const auto nameColumn = std::find_if(columns.cbegin(), columns.cend(), [](const Column &c) { return c.field == u"SNAME"; });

    const ControlsOff viewsOff(data);
    const ControlsOff detailViewsOff(m_target.detail);
    indexTarget();
    QSet<QString> seenKeys;
    QHash<QString, int> nameCounts;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int r = int(i + 1);
        const QStringList &cells = rows[i];
        const auto cellAt = [&](int c) { return c < cells.size() ? cells[c] : QString(); };

        bool matched = false;
        int nameCount = 0;
        if (m_options.nameUnique && nameColumn != columns.cend()) {
            const QString name = withoutSpaces(cellAt(nameColumn->index));
            if (m_names.contains(name)) {
                nameCount = ++nameCounts[name];
                matched = true;
            }
        }
        QStringList values;
        for (int c : keyColumns) values << cellAt(c).trimmed();
        const QString shownKey = values.join(u',');
        Bookmark hit = -1;
        if (!matched) {
            hit = m_keyIndex.value(keyOf(QVariantList(values.cbegin(), values.cend())), -1);
            matched = hit >= 0;
        }

        if (matched && m_options.overwrite && hit >= 0) {
            if (!m_options.nameUnique) {
                if (seenKeys.contains(shownKey)) {
                    out.duplicates << QStringLiteral("行<%1>-->%2 重复!").arg(r).arg(shownKey);
                    continue;
                }
                seenKeys.insert(shownKey);
            }
            data->gotoBookmark(hit);
            data->edit();
            out.log << QStringLiteral("%1. 覆盖 %2 记录!").arg(r).arg(shownKey);
            ++out.overwritten;
        } else if (matched && !m_options.nameUnique) {
            out.duplicates << QStringLiteral("行<%1>-->%2 重复!").arg(r).arg(shownKey);
            out.log << QStringLiteral("%1. %2 记录未导入!<<<<<<<<<<<<<<<<<<<<<<<").arg(r).arg(shownKey);
            continue;
        } else if (matched || m_options.addData) {
            initAppended();
            out.log << QStringLiteral("%1. 增加 %2 记录!").arg(r).arg(shownKey);
            ++out.added;
        } else {
            continue;
        }

        try {
            for (const Column &column : columns) copyCell(column, cellAt(column.index), r, nameCount);
            data->post();
        } catch (const CellError &e) {
            data->cancel();
            out.error = e.message;
            break;
        } catch (const std::exception &e) {
            data->cancel();
            out.error = QStringLiteral("数据行[%1]无法导入：%2").arg(r).arg(QString::fromUtf8(e.what()));
            break;
        }
        const Bookmark slot = data->bookmark();
        const QString key = rowKey(slot);
        if (!m_keyIndex.contains(key)) m_keyIndex.insert(key, slot);
        if (const int name = data->fieldIndex(u"sName"); name >= 0) m_names.insert(data->slotValue(slot, name).toString());
    }
    return out;
}

} // namespace lumeko::achieve
