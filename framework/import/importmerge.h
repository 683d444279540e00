#pragma once
// Merging an imported table (pasted or read from a spreadsheet) into a page's table: rows whose
// key columns match a row of the page are overwritten, new ones appended, repeated keys reported.
// Nothing reaches the server here; the page saves the merged rows with its own save.

#include "framework/achieve_export.h"
#include "toolkit/data/chinese.h"
#include "toolkit/data/dataset.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

namespace lumeko::achieve {

inline const QString kNoField = QStringLiteral("<无>");

// What the calling page hands over.
struct ImportTarget {
    DataSet *fields = nullptr;  // field definitions: sFldName, sFldCaption, sFieldType
    DataSet *data = nullptr;    // the rows to merge into
    DataSet *classes = nullptr; // classname → classcode, for class columns
    DataSet *states = nullptr;  // sValue → sKeyId, for the status column
    DataSet *detail = nullptr;  // family rows, for the father's and mother's columns
    QString masterKeyField;     // key of a target row; appended rows get a new GUID in it
    QString detailKeyField;     // the field of a detail row that holds its master's key
    QStringList keyCaptions;    // offered as unique keys ...
    QStringList keyFields;      // ... and the field of each, same order
    QStringList excludedFields; // never offered for mapping
    // The page's own defaults for an appended row (its class, the student type, ...).
    std::function<void(DataSet &)> initRow;
    // Scores: cells of fields starting with one of the prefixes are translated value by value
    // ("优" → "5"); empty lists switch this off.
    QStringList mapPrefixes, mapFrom, mapTo;
};

enum class LoginNames { None, FullPinyin, Initials, Name };

struct ImportOptions {
    QStringList keys;           // the checked key captions, in list order
    bool overwrite = false;     // a matching row is overwritten
    bool addData = true;        // a row without a match is appended
    bool nameUnique = false;    // a name already present gets a running number and a new row
    bool streamGrades = false;  // arts/science grade column: "高三理科" → 2301
    LoginNames loginNames = LoginNames::None;
    bool datesWithoutSeparator = true; // "20120305" / "201203"; otherwise datePattern
    QString datePattern = QStringLiteral("yyyy-MM-dd");
};

struct ImportOutcome {
    int overwritten = 0;
    int added = 0;
    QStringList log;        // one line per imported or refused row
    QStringList duplicates; // rows left out because their key came twice
    QString error;          // why the run stopped; rows merged before stay merged
    bool complete() const { return error.isEmpty(); }
};

// The captions a column can be mapped to: "<无>" and the caption of every field that may be imported.
LUMEKO_ACHIEVE_EXPORT QStringList importCaptions(const ImportTarget &target, const ImportOptions &options);

// "yyyy-MM-dd" (and "yyyy-M-d") for a separator, "yyyyMMdd" alone for none.
LUMEKO_ACHIEVE_EXPORT QStringList datePatterns(const QString &separator);

class LUMEKO_ACHIEVE_EXPORT ImportMerge {
public:
    ImportMerge(const ImportTarget &target, const ImportOptions &options);

    // Enciphers an imported password for storage; the host's EncStr with the import key by default.
    std::function<QString(const QString &)> encipher;
    QString schoolId;      // given to appended family rows; the signed-in school by default
    PinyinTable pinyin;    // for login names from full pinyin or initials

    // `titles` holds the caption each column is mapped to (empty or "<无>": not imported); rows
    // are the data rows, numbered from 1 in the messages.
    ImportOutcome run(const QStringList &titles, const QList<QStringList> &rows);

private:
    struct Column {
        int index;
        QString caption;
        QString field; // upper case
    };
    QString loginName(const QString &name) const;
    QString keyOf(const QVariantList &values) const;
    QString rowKey(Bookmark slot) const;
    void indexTarget();
    void indexDetail();
    void initAppended();
    void copyCell(const Column &column, const QString &cell, int row, int nameCount);
    void setField(const QString &field, const QVariant &value);
    void copyFamilyCell(const QString &field, const QString &cell);
    QVariant dateOf(const QString &cell, bool *ok) const;

    ImportTarget m_target;
    ImportOptions m_options;
    QList<int> m_keyFieldIndex;           // target field of each key, in key order
    QHash<QString, Bookmark> m_keyIndex;  // key text → first target row holding it
    QSet<QString> m_names;                // names in the target
    QHash<QString, QString> m_fieldType;  // upper-case field name → sFieldType
    QHash<QString, Bookmark> m_detailIndex; // master key + relation → family row
    bool m_detailIndexed = false;
};

} // namespace lumeko::achieve
