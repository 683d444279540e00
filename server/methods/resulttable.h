#pragma once
// The answer of an analysis: its columns, described as the pages' column definitions
// (QFieldsByTable's fields: name, caption, shown, width in characters, type W/I/F), and its rows.

#include "wire/packet.h"

#include <QList>
#include <QString>

namespace lumeko::server {

class ResultTable {
public:
    // `source` names the method in the definitions' sTable.
    explicit ResultTable(QString source) : m_source(std::move(source)) {}

    // type: 'W' text, 'I' integer, 'F' number.
    void field(const QString &name, const QString &caption, char type, int width = 8, bool shown = true)
    {
        m_fields.append({name, caption, type, width, shown});
    }
    int fieldCount() const { return int(m_fields.size()); }
    void row(QVariantList values) { m_rows.append(std::move(values)); }

    wire::DataPacket definitions() const
    {
        using wire::FieldType;
        wire::DataPacket defs({{"sFldName", FieldType::Text, 60, 0},
                               {"sTable", FieldType::Text, 40, 0},
                               {"sFldCaption", FieldType::Text, 60, 0},
                               {"bShowed", FieldType::Boolean, 0, 0},
                               {"nWidth", FieldType::Integer, 0, 0},
                               {"bSum", FieldType::Boolean, 0, 0},
                               {"bGroup", FieldType::Boolean, 0, 0},
                               {"sFieldType", FieldType::Text, 1, 0},
                               {"sSumType", FieldType::Text, 1, 0},
                               {"sFormat", FieldType::Text, 40, 0}});
        for (const Field &f : m_fields)
            defs.appendRow({f.name, m_source, f.caption, f.shown, f.width, false, false, QString(QChar::fromLatin1(f.type)), QString(), QString()});
        return defs;
    }
    wire::DataPacket rows() const
    {
        using wire::FieldType;
        QList<wire::FieldDef> defs;
        for (const Field &f : m_fields)
            defs.append({f.name, f.type == 'I' ? FieldType::Integer : f.type == 'F' ? FieldType::Float : FieldType::Text, 0, 0});
        wire::DataPacket out(defs);
        for (const QVariantList &r : m_rows)
            out.appendRow(r);
        return out;
    }

private:
    struct Field {
        QString name, caption;
        char type = 'W';
        int width = 8;
        bool shown = true;
    };
    QString m_source;
    QList<Field> m_fields;
    QList<QVariantList> m_rows;
};

} // namespace lumeko::server
