#include "server/methods/organisationrows.h"

#include "server/grammar/gradefilter.h"
#include "server/storage/schema.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::RowStatus;

QVariant PacketRow::value(QStringView field) const
{
    const int f = m_packet.fieldIndex(field);
    if (f < 0) return {};
    return (m_row.status == RowStatus::Deleted ? m_row.oldValues : m_row.newValues).value(f);
}

QVariant PacketRow::old(QStringView field) const
{
    const int f = m_packet.fieldIndex(field);
    return f < 0 ? QVariant() : m_row.oldValues.value(f);
}

QSet<QString> PacketRow::changedColumns(const TableDef &table) const
{
    QSet<QString> out;
    if (m_row.status == RowStatus::Deleted || m_row.status == RowStatus::Unmodified) return out;
    for (int f = 0; f < m_packet.fields.size(); ++f) {
        const int col = table.columnIndex(m_packet.fields[f].name);
        if (col < 0) continue;
        const wire::FieldType type = table.columns[col].type;
        QVariant now, before;
        wire::coerceValue(m_row.newValues.value(f), type, &now);
        wire::coerceValue(m_row.oldValues.value(f), type, &before);
        const bool set = m_row.status == RowStatus::Inserted ? !(wire::isNull(now) || now.toString().isEmpty()) : !wire::sameValue(now, before);
        if (set) out.insert(table.columns[col].name.toLower());
    }
    return out;
}

void Refusals::add(qsizetype row, const QString &why)
{
    ++m_count;
    if (m_messages.size() < 100) m_messages << QStringLiteral("%1 row %2: %3").arg(m_table).arg(row + 1).arg(why);
}

void Refusals::addWhole(const QString &why)
{
    ++m_count;
    if (m_messages.size() < 100) m_messages << QStringLiteral("%1: %2").arg(m_table, why);
}

void storeOrganisationRows(MethodCall &c, OrganisationWrite &w)
{
    c.integer(1); // the constant -1 of the update calls
    c.requireByRef(2);
    wire::ChangePacket packet = c.changes(0);
    Database &db = c.db();
    Transaction tx(db);
    Refusals refused(w.table);
    if (w.check) w.check(refused, packet);
    ApplyResult applied;
    if (refused.count() == 0) {
        ApplyRules rules = w.rules;
        rules.school = c.user().school;
        applied = applyChanges(db, schemaTable(w.table), packet, rules);
        if (applied.errors == 0 && w.after) w.after(refused, packet);
    }
    const int errors = refused.count() + applied.errors;
    if (errors == 0) tx.commit();
    c.setRef(2, qint64(errors));
    const QStringList messages = errors > 0 ? refused.messages() + applied.messages : w.notes;
    if (!messages.isEmpty()) c.setMessage(messages.join(u'\n'));
}

void requireOnlyChanges(const wire::protocol::Method &m, const wire::ChangePacket &packet, const TableDef &table, const QSet<QString> &allowed)
{
    QStringList names(allowed.cbegin(), allowed.cend());
    names.sort();
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const PacketRow row(packet, packet.rows[r]);
        QString why;
        if (row.status() == RowStatus::Inserted)
            why = QStringLiteral("adds a row");
        else if (row.status() == RowStatus::Deleted)
            why = QStringLiteral("deletes a row");
        else
            for (const QString &col : row.changedColumns(table))
                if (!allowed.contains(col)) why = QStringLiteral("changes %1").arg(col);
        if (!why.isEmpty())
            throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: row %2 %3; through the course table only %4 of existing rows change; nothing was stored")
                                                      .arg(m.fullName())
                                                      .arg(r + 1)
                                                      .arg(why, names.join(QStringLiteral(", "))));
    }
}

bool changesKey(const PacketRow &row, const TableDef &table)
{
    if (row.status() != RowStatus::Modified) return false;
    for (const QString &k : table.key) {
        QVariant now, before;
        const wire::FieldType type = table.column(k).type;
        wire::coerceValue(row.value(k), type, &now);
        wire::coerceValue(row.old(k), type, &before);
        if (row.has(k) && !wire::sameValue(now, before)) return true;
    }
    return false;
}

namespace {
bool existsInSchool(MethodCall &c, const QString &table, const QString &codeColumn, const QString &code)
{
    if (code.isEmpty()) return true;
    return c.db()
               .scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE \"SchoolCode\" = ? AND %2 = ?").arg(Database::quoted(table), Database::quoted(codeColumn)),
                       {c.user().school, code})
               .toLongLong() > 0;
}
} // namespace

bool isTeacherOfSchool(MethodCall &c, const QString &teacherCode)
{
    return existsInSchool(c, QStringLiteral("JC_Teacher"), QStringLiteral("sCode"), teacherCode);
}

bool isClassOfSchool(MethodCall &c, const QString &classCode)
{
    return existsInSchool(c, QStringLiteral("XJ_Class"), QStringLiteral("ClassCode"), classCode);
}

bool isSubjectOfSchool(MethodCall &c, const QString &subjectCode)
{
    return existsInSchool(c, QStringLiteral("XJ_Subject"), QStringLiteral("SubjectCode"), subjectCode);
}

GradeReach::GradeReach(MethodCall &c)
{
    const SessionUser &u = c.user();
    m_all = u.unrestricted() || u.viewAllGrade;
    if (m_all) return;
    const wire::DataPacket led = c.db().select(
        QStringLiteral("SELECT \"InYear\", \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?)"),
        {u.school, u.teacherCode, u.teacherCode}, {{"InYear", wire::FieldType::Integer, 0, 0}, {"GradeCode", wire::FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < led.rowCount(); ++r)
        m_led.insert(QString::number(led.value(r, 0).toLongLong()) + u'|' + led.value(r, 1).toString());
}

bool GradeReach::reaches(qint64 inYear, const QString &grade) const
{
    return m_all || m_led.contains(QString::number(inYear) + u'|' + grade);
}

QString gradeSelection(MethodCall &c, int yearArg, int gradeArg, const QString &alias, QVariantList &params)
{
    using grammar::GradeField;
    using grammar::GradeTerm;
    const QString grade = c.text(gradeArg);
    QList<GradeTerm> terms;
    if (c.isText(yearArg))
        terms = grammar::gradeTermsFromArgument(GradeField::InYear, c.text(yearArg));
    else if (!c.isNull(yearArg))
        terms.append({GradeField::InYear, GradeTerm::Match::Equals, int(c.integer(yearArg))});
    const QList<GradeTerm> gradeTerms = grammar::gradeTermsFromArgument(GradeField::GradeCode, grade);
    const bool stage = gradeTerms.size() == 1 && gradeTerms.first().match == GradeTerm::Match::Equals && grade.size() == 1;
    if (stage) {
        // A stage: its grades, the current ones unless the intake year or the school year says which.
        terms.append({GradeField::GradeCode, GradeTerm::Match::StartsWith, grade});
        bool named = false;
        for (const GradeTerm &t : terms)
            named = named || t.field != GradeField::GradeCode;
        if (!named) terms.append({GradeField::CurGrade, GradeTerm::Match::Equals, QStringLiteral("Y")});
    } else {
        terms += gradeTerms;
    }
    bool namesGrade = false;
    for (const GradeTerm &t : terms)
        namesGrade = namesGrade || t.field == GradeField::GradeCode;
    if (!namesGrade) throw CallError(ErrorCode::BadArguments, QStringLiteral("name a grade or a grade filter"));

    const QString a = alias + u'.';
    QStringList own, ofGrade;
    for (const GradeTerm &t : terms) {
        const bool prefix = t.match == GradeTerm::Match::StartsWith;
        const QString value = prefix ? t.value.toString() + u'%' : t.value.toString();
        switch (t.field) {
        case GradeField::GradeCode:
            own << a + (prefix ? QStringLiteral("\"GradeCode\" LIKE ?") : QStringLiteral("\"GradeCode\" = ?"));
            params << value;
            break;
        case GradeField::InYear:
            own << a + QStringLiteral("\"InYear\" = ?");
            params << t.value.toInt();
            break;
        case GradeField::CurGrade:
        case GradeField::SchoolYear: {
            // These are the grade record's: they hold where that record says so.
            const QString col = t.field == GradeField::CurGrade ? QStringLiteral("g.\"bCurGrade\"") : QStringLiteral("g.\"sYear\"");
            ofGrade << col + (prefix ? QStringLiteral(" LIKE ?") : QStringLiteral(" = ?"));
            break;
        }
        }
    }
    // The grade-record terms come last in the text, so their values go last.
    QString sql = own.join(QStringLiteral(" AND "));
    if (!ofGrade.isEmpty()) {
        sql += QStringLiteral(" AND EXISTS (SELECT 1 FROM \"XJ_Grade\" g WHERE g.\"SchoolCode\" = %1\"SchoolCode\" AND g.\"InYear\" = %1\"InYear\" "
                              "AND g.\"GradeCode\" = %1\"GradeCode\" AND %2)")
                   .arg(a, ofGrade.join(QStringLiteral(" AND ")));
        for (const GradeTerm &t : terms)
            if (t.field == GradeField::CurGrade || t.field == GradeField::SchoolYear)
                params << (t.match == GradeTerm::Match::StartsWith ? t.value.toString() + u'%' : t.value.toString());
    }
    return sql;
}

QString nextFreeCode(const QSet<QString> &taken)
{
    qint64 highest = 0;
    for (const QString &code : taken) {
        bool ok = false;
        const qint64 n = code.toLongLong(&ok);
        if (ok) highest = std::max(highest, n);
    }
    return QStringLiteral("%1").arg(highest + 1, 3, 10, QChar(u'0'));
}

QSet<QString> storedCodes(MethodCall &c, const QString &table, const QString &codeColumn)
{
    const wire::DataPacket rows =
        c.db().select(QStringLiteral("SELECT %1 FROM %2 WHERE \"SchoolCode\" = ?").arg(Database::quoted(codeColumn), Database::quoted(table)),
                      {c.user().school}, {{"Code", wire::FieldType::Text, 0, 0}});
    QSet<QString> out;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        out.insert(rows.value(r, 0).toString());
    return out;
}

void lockSchool(MethodCall &c)
{
    if (c.db().backend() != Backend::Postgres) return;
    c.db().exec(QStringLiteral("SELECT \"SchoolCode\" FROM \"XT_School\" WHERE \"SchoolCode\" = ? FOR UPDATE"), {c.user().school});
}

} // namespace lumeko::server
