#include "analysis/mutimerge.h"

#include <QHash>

#include <cmath>

namespace lumeko::achieve {

namespace {

const QString kSubject = QStringLiteral("sSubject");
const QString kItem = QStringLiteral("sName");
const QString kExam = QStringLiteral("ExamName");

bool isKeyField(const QString &name)
{
    return name.compare(kSubject, Qt::CaseInsensitive) == 0 || name.compare(kItem, Qt::CaseInsensitive) == 0 || name.compare(kExam, Qt::CaseInsensitive) == 0;
}

std::optional<double> numberOf(const QVariant &v)
{
    if (wire::isNull(v)) return std::nullopt;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

// A number the way the comparison writes one: "." and no trailing zeros ("12.5", "-3", "0").
QString numberText(double v)
{
    if (v == 0) return QStringLiteral("0"); // also -0
    QString text = QString::number(v, 'f', 1);
    if (text.endsWith(QStringLiteral(".0"))) text.chop(2);
    return text;
}

// The definitions row of a field, from the first answer that defines it.
QVariantList definitionOf(const QList<ExamSumAnswer> &answers, const QList<wire::FieldDef> &defFields, const wire::FieldDef &field)
{
    for (const ExamSumAnswer &a : answers) {
        const int name = a.fields.fieldIndex(u"sFldName");
        if (name < 0) continue;
        for (qsizetype r = 0; r < a.fields.rowCount(); ++r) {
            if (a.fields.value(r, name).toString().compare(field.name, Qt::CaseInsensitive) != 0) continue;
            QVariantList row;
            for (const wire::FieldDef &d : defFields) {
                const int f = a.fields.fieldIndex(d.name);
                row << (f < 0 ? QVariant() : a.fields.value(r, f));
            }
            return row;
        }
    }
    // A field nobody described: shown under its own name.
    QVariantList row;
    for (const wire::FieldDef &d : defFields) {
        if (d.name == u"sFldName" || d.name == u"sFldCaption")
            row << field.name;
        else if (d.name == u"bShowed")
            row << true;
        else if (d.name == u"sFieldType")
            row << QStringLiteral("W");
        else
            row << QVariant();
    }
    return row;
}

} // namespace

bool isUnmergedItem(const QString &item)
{
    return item == u"班主任" || item == u"人数" || item == u"任课老师";
}

bool isRankItem(const QString &item)
{
    return item.contains(QStringLiteral("排名"));
}

QVariant gapValue(const QVariant &before, const QVariant &now, bool rank)
{
    const std::optional<double> a = numberOf(before), b = numberOf(now);
    if (!a && !b) return {};
    const double gap = rank ? a.value_or(0) - b.value_or(0) : b.value_or(0) - a.value_or(0);
    return numberText(std::round(gap * 10) / 10);
}

MergedAnswer mergeExamAnswers(const QList<ExamSumAnswer> &answers, const QStringList &examLabels)
{
    MergedAnswer out;
    if (answers.isEmpty()) return out;

    // The columns: the first answer's, then those later answers add, after their neighbours.
    QList<wire::FieldDef> fields = answers.first().rows.fields();
    for (qsizetype e = 1; e < answers.size(); ++e) {
        const QList<wire::FieldDef> &own = answers[e].rows.fields();
        for (qsizetype i = 0; i < own.size(); ++i) {
            if (wire::indexOfField(fields, own[i].name) >= 0) continue;
            qsizetype at = fields.size();
            for (qsizetype j = i - 1; j >= 0; --j) {
                const int k = wire::indexOfField(fields, own[j].name);
                if (k >= 0) {
                    at = k + 1;
                    break;
                }
            }
            fields.insert(at, own[i]);
        }
    }
    const QList<wire::FieldDef> defFields = answers.first().fields.fields();
    out.fields = wire::DataPacket(defFields);
    for (const wire::FieldDef &f : fields)
        out.fields.appendRow(definitionOf(answers, defFields, f));

    const int subjectAt = wire::indexOfField(fields, kSubject), itemAt = wire::indexOfField(fields, kItem), examAt = wire::indexOfField(fields, kExam);
    struct Group {
        QList<QVariantList> rows;
        QHash<qsizetype, QVariantList> byExam; // the group's row of each exam
    };
    QList<Group> groups;
    QHash<QString, qsizetype> groupOf;
    for (qsizetype e = 0; e < answers.size(); ++e) {
        const wire::DataPacket &rows = answers[e].rows;
        // Where each merged column sits in this answer (-1: it has none).
        QList<int> source;
        for (const wire::FieldDef &f : fields)
            source << rows.fieldIndex(f.name);
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            QVariantList values;
            for (int s : source)
                values << (s < 0 ? QVariant() : rows.value(r, s));
            const QString subject = subjectAt < 0 ? QString() : values[subjectAt].toString();
            const QString item = itemAt < 0 ? QString() : values[itemAt].toString();
            if (e > 0 && isUnmergedItem(item)) continue;
            if (examAt >= 0 && e < examLabels.size()) values[examAt] = examLabels[e];
            const QString key = subject + QChar(0x1F) + item;
            qsizetype g = groupOf.value(key, -1);
            if (g < 0) {
                g = groups.size();
                groups.append(Group{});
                groupOf.insert(key, g);
            }
            Group &group = groups[g];
            group.rows << values;
            if (e > 0) {
                // The exam before may lack the row: all its values are then missing.
                const QVariantList before = group.byExam.value(e - 1);
                QVariantList gap;
                for (qsizetype c = 0; c < fields.size(); ++c) {
                    if (isKeyField(fields[c].name))
                        gap << values[c];
                    else
                        gap << gapValue(before.value(c), values[c], isRankItem(item));
                }
                if (examAt >= 0) gap[examAt] = kGapExamName;
                group.rows << gap;
            }
            group.byExam.insert(e, values);
        }
    }
    out.rows = wire::DataPacket(fields);
    for (const Group &g : groups)
        for (const QVariantList &row : g.rows)
            out.rows.appendRow(row);
    return out;
}

} // namespace lumeko::achieve
