// The school year on the server: the next-grade catalogue, the grade definition wizard's save in one
// transaction, promoting an intake's grade into the next one or graduating it, and undoing either
// from the journal of what it changed (XT_GradeJournal, XT_GradeJournalRow).
//
// A promotion of the intake I from the grade G into N in the school year S, in one transaction:
//   - XJ_Grade (I, G) becomes history (bCurGrade 'N', its school year kept); (I, N) is added as the
//     current grade of S with G's leaders, or an existing (I, N) is made current in S;
//   - G's classes are added to N (campus, head teacher; an alias that begins with G's short name,
//     "七(3)班", takes N's: "八(3)班"); N gets the subjects the grade N had last year (intake I-1),
//     else G's, with the lesson-preparation leaders of G's same subjects, when it has none yet; the
//     course table lines of G whose class and subject N now has are added with their teachers;
//   - the students of G at school or on leave (iState 00, 01 or none) move to N with their keys and
//     classes; those who left stay with the grade they left.
// Nothing of an exam is touched: an exam, its candidates with the classes they sat in and their
// scores stay with the grade and intake they were held in.
// A graduation marks (I, G) history and its students at school graduated (iState 04).
// Every row either writes goes into the journal (its before and after values), with the keys of
// the rows the new grade holds afterwards; an undo checks that all of it is still as the promotion
// left it, refuses otherwise, and puts the before values back.

#include "server/core/service.h"
#include "server/grammar/compositekeys.h"
#include "server/methods/methods.h"
#include "server/methods/organisationrows.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <optional>

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

Q_LOGGING_CATEGORY(lcSchoolYear, "lumeko.server", QtInfoMsg)

// ---- the grade-name catalogue --------------------------------------------------------------------

struct CatalogueGrade {
    QString code, name, next;
    bool graduate = false;
};

std::optional<CatalogueGrade> catalogueGrade(Database &db, const QString &schoolType, const QString &grade)
{
    const wire::DataPacket p = db.select(QStringLiteral("SELECT \"sKeyId\", \"sValue\", \"sNextGrade\", \"bGraduate\" FROM \"XT_GradeName\" "
                                                        "WHERE \"sSchoolType\" = ? AND \"sKeyId\" = ?"),
                                         {schoolType, grade}, schemaTable(u"XT_GradeName").fieldDefs({"sKeyId", "sValue", "sNextGrade", "bGraduate"}));
    if (p.rowCount() == 0) return std::nullopt;
    return CatalogueGrade{p.value(0, 0).toString(), p.value(0, 1).toString(), p.value(0, 2).toString().trimmed(), p.value(0, 3).toBool()};
}

QString schoolTypeOf(MethodCall &c)
{
    return c.db().scalar(QStringLiteral("SELECT \"sSchoolType\" FROM \"XT_School\" WHERE \"SchoolCode\" = ?"), {c.user().school}).toString();
}

// "七年级" → "七", "高二（理科）" → "高二": how a class alias names its grade.
QString shortGradeName(QString name)
{
    static const QRegularExpression stream(QStringLiteral("[（(].*[）)]"));
    name.remove(stream);
    name.remove(QStringLiteral("年级"));
    return name.trimmed();
}

// The start year of "2026~2027学年"; nullopt for any other text.
std::optional<int> schoolYearStart(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})~(\\d{4})学年$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch() || m.captured(2).toInt() != m.captured(1).toInt() + 1) return std::nullopt;
    return m.captured(1).toInt();
}

// ---- rows as the journal keeps them ----------------------------------------------------------------

QJsonValue toJson(const QVariant &v, FieldType type)
{
    if (wire::isNull(v)) return QJsonValue(QJsonValue::Null);
    switch (type) {
    case FieldType::Text:
        return v.toString();
    case FieldType::Integer:
        return double(v.toLongLong());
    case FieldType::Float:
        return v.toDouble();
    case FieldType::Boolean:
        return v.toBool();
    case FieldType::Date:
        return v.toDate().toString(Qt::ISODate);
    case FieldType::DateTime:
        return v.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    case FieldType::Blob:
        return QString::fromLatin1(v.toByteArray().toBase64());
    }
    return v.toString();
}

QVariant fromJson(const QJsonValue &j, FieldType type)
{
    if (j.isNull() || j.isUndefined()) return {};
    switch (type) {
    case FieldType::Text:
        return j.toString();
    case FieldType::Integer:
        return qint64(j.toDouble());
    case FieldType::Float:
        return j.toDouble();
    case FieldType::Boolean:
        return j.toBool();
    case FieldType::Date:
        return QDate::fromString(j.toString(), Qt::ISODate);
    case FieldType::DateTime:
        return QDateTime::fromString(j.toString(), Qt::ISODateWithMs);
    case FieldType::Blob:
        return QByteArray::fromBase64(j.toString().toLatin1());
    }
    return j.toVariant();
}

QString jsonText(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
QString jsonText(const QJsonArray &a)
{
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

// One stored row in column order, typed by the schema.
using Row = QVariantList;

QVariant col(const TableDef &t, const Row &row, QStringView column)
{
    return row.value(t.columnIndex(column));
}

QJsonObject rowJson(const TableDef &t, const Row &row)
{
    QJsonObject o;
    for (int i = 0; i < t.columns.size(); ++i)
        o.insert(t.columns[i].name, toJson(row.value(i), t.columns[i].type));
    return o;
}

QJsonArray keyJson(const TableDef &t, const Row &row)
{
    QJsonArray a;
    for (const QString &k : t.key)
        a.append(toJson(col(t, row, k), t.column(k).type));
    return a;
}

QString keyCondition(const TableDef &t, QVariantList &params, const QVariantList &key)
{
    QStringList terms;
    for (int i = 0; i < t.key.size(); ++i) {
        terms << Database::quoted(t.key[i]) + QStringLiteral(" = ?");
        params << key.value(i);
    }
    return terms.join(QStringLiteral(" AND "));
}

std::optional<Row> readRow(Database &db, const TableDef &t, const QVariantList &key)
{
    QVariantList params;
    const QString where = keyCondition(t, params, key);
    const wire::DataPacket p =
        db.select(QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columnList(t), Database::quoted(t.name), where), params, t.fieldDefs());
    if (p.rowCount() == 0) return std::nullopt;
    return p.row(0);
}

QList<Row> readRows(Database &db, const TableDef &t, const QString &where, const QVariantList &params)
{
    const wire::DataPacket p =
        db.select(QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columnList(t), Database::quoted(t.name), where), params, t.fieldDefs());
    QList<Row> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.row(r);
    return out;
}

QVariantList keyValues(const TableDef &t, const QJsonArray &key)
{
    QVariantList out;
    for (int i = 0; i < t.key.size(); ++i)
        out << fromJson(key.at(i), t.column(t.key[i]).type);
    return out;
}

// What a refused promotion or undo says; nothing of it is stored.
struct Refusal {
    QString why;
};

// ---- the journal -----------------------------------------------------------------------------------

// Writes rows and records each in the journal of one promotion or graduation.
class Journal {
public:
    Journal(Database &db, qint64 id) : m_db(db), m_id(id) {}

    void insert(const TableDef &t, const Row &row)
    {
        QStringList cols, marks;
        QVariantList params;
        for (int i = 0; i < t.columns.size(); ++i) {
            cols << Database::quoted(t.columns[i].name);
            marks << QStringLiteral("?");
            params << m_db.toDb(row.value(i), t.columns[i].type);
        }
        m_db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(Database::quoted(t.name), cols.join(u", "), marks.join(u", ")), params);
        record(t.name, QStringLiteral("I"), jsonText(keyJson(t, row)), QString(), jsonText(rowJson(t, row)));
    }

    // Sets columns of a stored row (`row` as it is now).
    void update(const TableDef &t, const Row &row, const QList<std::pair<QString, QVariant>> &sets)
    {
        QJsonObject before, after;
        QStringList assignments;
        QVariantList params;
        for (const auto &[name, value] : sets) {
            const ColumnDef &c = t.column(name);
            before.insert(c.name, toJson(col(t, row, name), c.type));
            after.insert(c.name, toJson(value, c.type));
            assignments << Database::quoted(c.name) + QStringLiteral(" = ?");
            params << m_db.toDb(value, c.type);
        }
        QVariantList key;
        for (const QString &k : t.key)
            key << col(t, row, k);
        const QString where = keyCondition(t, params, key);
        m_db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(Database::quoted(t.name), assignments.join(u", "), where), params);
        record(t.name, QStringLiteral("U"), jsonText(keyJson(t, row)), jsonText(before), jsonText(after));
    }

    // The same column set to one value on many rows in one statement: `where` finds exactly `rows`.
    void updateMany(const TableDef &t, const QList<Row> &rows, const QString &column, const QVariant &value, const QString &where, const QVariantList &params)
    {
        if (rows.isEmpty()) return;
        const ColumnDef &c = t.column(column);
        QVariantList all{m_db.toDb(value, c.type)};
        all += params;
        const int changed = m_db.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3").arg(Database::quoted(t.name), Database::quoted(c.name), where), all);
        if (changed != rows.size()) throw StorageError(QStringLiteral("%1: %2 rows changed where %3 were read").arg(t.name).arg(changed).arg(rows.size()));
        for (const Row &row : rows) {
            QJsonObject before, after;
            before.insert(c.name, toJson(col(t, row, column), c.type));
            after.insert(c.name, toJson(value, c.type));
            record(t.name, QStringLiteral("U"), jsonText(keyJson(t, row)), jsonText(before), jsonText(after));
        }
    }

    // The keys of a table's rows of a grade, as this run leaves them.
    void keySet(const QString &table, const QJsonArray &grade, const QStringList &keys)
    {
        record(table, QStringLiteral("S"), jsonText(grade), QString(), jsonText(QJsonArray::fromStringList(keys)));
    }

    void flush()
    {
        m_db.execValues(QStringLiteral("INSERT INTO \"XT_GradeJournalRow\" (\"nJournal\", \"nRow\", \"sTable\", \"sOp\", \"sKey\", \"sBefore\", \"sAfter\")"),
                        7, m_rows);
        m_flushed += m_rows.size();
        m_rows.clear();
    }

private:
    void record(const QString &table, const QString &op, const QString &key, const QString &before, const QString &after)
    {
        m_rows.append({m_id, qint64(m_rows.size() + m_flushed + 1), table, op, key, before.isEmpty() ? QVariant() : QVariant(before),
                       after.isEmpty() ? QVariant() : QVariant(after)});
    }

    Database &m_db;
    qint64 m_id;
    QList<QVariantList> m_rows;
    qint64 m_flushed = 0;
};

// The keys of a grade's rows in the tables an undo must find as the promotion left them.
struct GuardedTable {
    const char *table;
    const char *keySql; // the key as one text
};
const GuardedTable kGuarded[] = {
    {"XJ_Student", "\"sCode\""},
    {"XJ_GradeClass", "\"ClassCode\""},
    {"XJ_GradeSubject", "\"SubjectCode\""},
    {"XJ_CourseTable", "\"ClassCode\" || '|' || \"SubjectCode\""},
    {"CJ_ExamTotal", "CAST(\"Id\" AS VARCHAR(20))"},
};

QStringList gradeKeys(Database &db, const GuardedTable &g, const QString &school, qint64 inYear, const QString &grade)
{
    const wire::DataPacket p = db.select(QStringLiteral("SELECT %1 FROM \"%2\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?")
                                             .arg(QLatin1StringView(g.keySql), QLatin1StringView(g.table)),
                                         {school, inYear, grade}, {{"Key", FieldType::Text, 0, 0}});
    QStringList keys;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        keys << p.value(r, 0).toString();
    keys.sort();
    return keys;
}

// ---- promoting and graduating ------------------------------------------------------------------------

qint64 openJournal(MethodCall &c, qint64 inYear, const QString &grade, const QString &next, const QString &kind, const QVariant &from, const QString &to)
{
    Database &db = c.db();
    return db.insertReturningId(QStringLiteral("INSERT INTO \"XT_GradeJournal\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"NextGrade\", \"sKind\", "
                                               "\"sYearFrom\", \"sYearTo\", \"TeacherCode\", \"dDone\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                {c.user().school, inYear, grade, next.isEmpty() ? QVariant() : QVariant(next), kind, from, to, c.user().teacherCode,
                                 db.toDb(c.env().now(), FieldType::DateTime)},
                                QStringLiteral("nId"));
}

// The current grade (I, G) as the promotion or graduation finds it.
Row currentGrade(Database &db, const QString &school, qint64 inYear, const QString &grade)
{
    const TableDef &t = schemaTable(u"XJ_Grade");
    const std::optional<Row> row = readRow(db, t, {school, inYear, grade});
    if (!row) throw Refusal{QStringLiteral("the intake %1 has no grade %2").arg(inYear).arg(grade)};
    if (col(t, *row, u"bCurGrade").toString() != u"Y")
        throw Refusal{QStringLiteral("the grade %1 of the intake %2 is not a current grade").arg(grade).arg(inYear)};
    return *row;
}

void promote(MethodCall &c, const QString &grade, const QString &next, const QString &year, qint64 inYear)
{
    Database &db = c.db();
    const QString school = c.user().school;
    const std::optional<int> newStart = schoolYearStart(year);
    if (!newStart)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: argument 4 (SchoolYear) must read like 2026~2027学年").arg(P::UpGradeLevel.fullName()));
    const QString type = schoolTypeOf(c);
    const std::optional<CatalogueGrade> from = catalogueGrade(db, type, grade);
    if (!from || from->next.isEmpty()) throw Refusal{QStringLiteral("the grade %1 has no next grade for a school of the type %2").arg(grade, type)};
    if (from->next != next) throw Refusal{QStringLiteral("the next grade of %1 is %2, not %3").arg(grade, from->next, next)};
    const std::optional<CatalogueGrade> to = catalogueGrade(db, type, next);

    lockSchool(c);
    const TableDef &gradeT = schemaTable(u"XJ_Grade");
    const Row old = currentGrade(db, school, inYear, grade);
    const QString oldYear = col(gradeT, old, u"sYear").toString();
    const std::optional<int> oldStart = schoolYearStart(oldYear);
    if (oldYear == year || (oldStart && *oldStart >= *newStart))
        throw Refusal{QStringLiteral("the grade %1 of the intake %2 is in %3 already, not before %4").arg(grade).arg(inYear).arg(oldYear, year)};

    Journal journal(db, openJournal(c, inYear, grade, next, QStringLiteral("P"), oldYear, year));
    journal.update(gradeT, old, {{QStringLiteral("bCurGrade"), QStringLiteral("N")}});

    // The next grade: added, or made the current one of the new school year.
    if (const std::optional<Row> existing = readRow(db, gradeT, {school, inYear, next})) {
        QList<std::pair<QString, QVariant>> sets;
        if (col(gradeT, *existing, u"bCurGrade").toString() != u"Y") sets.append({QStringLiteral("bCurGrade"), QStringLiteral("Y")});
        if (col(gradeT, *existing, u"sYear").toString() != year) sets.append({QStringLiteral("sYear"), year});
        for (const QString leader : {QStringLiteral("TeacherCode"), QStringLiteral("SubTeacherCode")})
            if (col(gradeT, *existing, leader).toString().isEmpty() && !col(gradeT, old, leader).toString().isEmpty())
                sets.append({leader, col(gradeT, old, leader)});
        if (!sets.isEmpty()) journal.update(gradeT, *existing, sets);
    } else {
        Row row = old;
        row[gradeT.columnIndex(u"GradeCode")] = next;
        row[gradeT.columnIndex(u"sYear")] = year;
        row[gradeT.columnIndex(u"bCurGrade")] = QStringLiteral("Y");
        journal.insert(gradeT, row);
    }

    const QString gradeWhere = QStringLiteral("\"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?");
    const QVariantList ofOld{school, inYear, grade}, ofNew{school, inYear, next};

    // Classes, with the alias that names the grade renamed.
    const TableDef &classT = schemaTable(u"XJ_GradeClass");
    QSet<QString> newClasses;
    for (const Row &r : readRows(db, classT, gradeWhere, ofNew))
        newClasses.insert(col(classT, r, u"ClassCode").toString());
    const QString oldShort = shortGradeName(from->name), newShort = shortGradeName(to ? to->name : QString());
    for (Row r : readRows(db, classT, gradeWhere + QStringLiteral(" ORDER BY \"ClassCode\""), ofOld)) {
        const QString code = col(classT, r, u"ClassCode").toString();
        if (newClasses.contains(code)) continue;
        r[classT.columnIndex(u"GradeCode")] = next;
        const QString alias = col(classT, r, u"AliasName").toString();
        if (!oldShort.isEmpty() && !newShort.isEmpty() && alias.startsWith(oldShort))
            r[classT.columnIndex(u"AliasName")] = QString(newShort + alias.mid(oldShort.size())).left(classT.column(u"AliasName").size);
        journal.insert(classT, r);
        newClasses.insert(code);
    }

    // Subjects, when the next grade has none: last year's of that grade, else the old grade's.
    const TableDef &subjectT = schemaTable(u"XJ_GradeSubject");
    QList<Row> newSubjects = readRows(db, subjectT, gradeWhere, ofNew);
    if (newSubjects.isEmpty()) {
        const QList<Row> oldSubjects = readRows(db, subjectT, gradeWhere + QStringLiteral(" ORDER BY \"SubjectCode\""), ofOld);
        QList<Row> source = readRows(db, subjectT, gradeWhere + QStringLiteral(" ORDER BY \"SubjectCode\""), {school, inYear - 1, next});
        if (source.isEmpty()) source = oldSubjects;
        QHash<QString, Row> oldBySubject;
        for (const Row &r : oldSubjects)
            oldBySubject.insert(col(subjectT, r, u"SubjectCode").toString(), r);
        for (Row r : source) {
            const QString subject = col(subjectT, r, u"SubjectCode").toString();
            r[subjectT.columnIndex(u"InYear")] = inYear;
            r[subjectT.columnIndex(u"GradeCode")] = next;
            const Row mine = oldBySubject.value(subject);
            for (const QString leader : {QStringLiteral("TeacherCode"), QStringLiteral("SubTeacherCode")})
                r[subjectT.columnIndex(leader)] = mine.isEmpty() ? QVariant() : col(subjectT, mine, leader);
            journal.insert(subjectT, r);
            newSubjects << r;
        }
    }
    QSet<QString> subjects;
    for (const Row &r : newSubjects)
        subjects.insert(col(subjectT, r, u"SubjectCode").toString());

    // The course table: the old grade's teachers of the classes and subjects the next grade has.
    const TableDef &courseT = schemaTable(u"XJ_CourseTable");
    QSet<QString> lines;
    for (const Row &r : readRows(db, courseT, gradeWhere, ofNew))
        lines.insert(col(courseT, r, u"ClassCode").toString() + u'|' + col(courseT, r, u"SubjectCode").toString());
    for (Row r : readRows(db, courseT, gradeWhere + QStringLiteral(" ORDER BY \"ClassCode\", \"SubjectCode\""), ofOld)) {
        const QString klass = col(courseT, r, u"ClassCode").toString(), subject = col(courseT, r, u"SubjectCode").toString();
        if (!newClasses.contains(klass) || !subjects.contains(subject) || lines.contains(klass + u'|' + subject)) continue;
        if (col(courseT, r, u"TeacherCode").toString().isEmpty()) continue;
        r[courseT.columnIndex(u"GradeCode")] = next;
        journal.insert(courseT, r);
    }

    // The students at school or on leave move on with their keys and classes.
    const TableDef &studentT = schemaTable(u"XJ_Student");
    const QString moving = gradeWhere + QStringLiteral(" AND (\"iState\" IS NULL OR \"iState\" IN ('', '00', '01'))");
    journal.updateMany(studentT, readRows(db, studentT, moving, ofOld), QStringLiteral("GradeCode"), next, moving, ofOld);

    const QJsonArray newGrade{school, double(inYear), next};
    for (const GuardedTable &g : kGuarded)
        journal.keySet(QString::fromLatin1(g.table), newGrade, gradeKeys(db, g, school, inYear, next));
    journal.flush();
}

void graduate(MethodCall &c, const QString &grade, qint64 inYear)
{
    Database &db = c.db();
    const QString school = c.user().school;
    const QString type = schoolTypeOf(c);
    const std::optional<CatalogueGrade> g = catalogueGrade(db, type, grade);
    if (!g || !g->graduate) throw Refusal{QStringLiteral("the grade %1 is not the last grade of its stage for a school of the type %2").arg(grade, type)};
    lockSchool(c);
    const TableDef &gradeT = schemaTable(u"XJ_Grade");
    const Row row = currentGrade(db, school, inYear, grade);
    const QVariant year = col(gradeT, row, u"sYear");
    Journal journal(db, openJournal(c, inYear, grade, QString(), QStringLiteral("G"), year, year.toString()));
    journal.update(gradeT, row, {{QStringLiteral("bCurGrade"), QStringLiteral("N")}});
    const TableDef &studentT = schemaTable(u"XJ_Student");
    const QString atSchool = QStringLiteral("\"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND (\"iState\" IS NULL OR \"iState\" IN ('', '00'))");
    const QVariantList params{school, inYear, grade};
    journal.updateMany(studentT, readRows(db, studentT, atSchool, params), QStringLiteral("iState"), QStringLiteral("04"), atSchool, params);
    journal.flush();
}

// ---- undoing -----------------------------------------------------------------------------------------

struct JournalEntry {
    qint64 id = 0;
    QString grade, next, kind, yearTo;
};

QList<JournalEntry> openEntries(Database &db, const QString &school, qint64 inYear, const QString &stage)
{
    const wire::DataPacket p = db.select(QStringLiteral("SELECT \"nId\", \"GradeCode\", \"NextGrade\", \"sKind\", \"sYearTo\" FROM \"XT_GradeJournal\" "
                                                        "WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" LIKE ? AND \"dUndone\" IS NULL "
                                                        "ORDER BY \"nId\" DESC"),
                                         {school, inYear, stage + u'%'},
                                         {{"nId", FieldType::Integer, 0, 0},
                                          {"GradeCode", FieldType::Text, 0, 0},
                                          {"NextGrade", FieldType::Text, 0, 0},
                                          {"sKind", FieldType::Text, 0, 0},
                                          {"sYearTo", FieldType::Text, 0, 0}});
    QList<JournalEntry> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out.append({p.value(r, 0).toLongLong(), p.value(r, 1).toString(), p.value(r, 2).toString(), p.value(r, 3).toString(), p.value(r, 4).toString()});
    return out;
}

QString describeKind(const JournalEntry &e)
{
    return e.kind == u"G" ? QStringLiteral("graduation of %1").arg(e.grade) : QStringLiteral("promotion of %1 into %2").arg(e.grade, e.next);
}

// Checks that the rows of one entry are as it left them, then puts back what they were before.
void undoEntry(Database &db, const JournalEntry &e, qint64 inYear)
{
    const wire::DataPacket rows =
        db.select(QStringLiteral("SELECT \"nRow\", \"sTable\", \"sOp\", \"sKey\", \"sBefore\", \"sAfter\" FROM \"XT_GradeJournalRow\" WHERE \"nJournal\" = ? "
                                 "ORDER BY \"nRow\""),
                  {e.id},
                  {{"nRow", FieldType::Integer, 0, 0},
                   {"sTable", FieldType::Text, 0, 0},
                   {"sOp", FieldType::Text, 0, 0},
                   {"sKey", FieldType::Text, 0, 0},
                   {"sBefore", FieldType::Text, 0, 0},
                   {"sAfter", FieldType::Text, 0, 0}});
    const auto json = [](const QVariant &text) { return QJsonDocument::fromJson(text.toString().toUtf8()); };
    QStringList changed;
    int rowsChanged = 0;
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QString table = rows.value(r, 1).toString(), op = rows.value(r, 2).toString();
        if (op == u"S") {
            const QJsonArray grade = json(rows.value(r, 3)).array();
            const GuardedTable *g = nullptr;
            for (const GuardedTable &candidate : kGuarded)
                if (table == QLatin1StringView(candidate.table)) g = &candidate;
            if (!g) throw StorageError(QStringLiteral("the journal %1 guards an unknown table %2").arg(e.id).arg(table));
            QStringList expected;
            for (const QJsonValue &v : json(rows.value(r, 5)).array())
                expected << v.toString();
            const QStringList now = gradeKeys(db, *g, grade.at(0).toString(), qint64(grade.at(1).toDouble()), grade.at(2).toString());
            if (now != expected) {
                const QSet<QString> a(expected.cbegin(), expected.cend()), b(now.cbegin(), now.cend());
                changed << QStringLiteral("%1: %2 rows added, %3 gone").arg(table).arg((b - a).size()).arg((a - b).size());
            }
            continue;
        }
        const TableDef &t = schemaTable(table);
        const std::optional<Row> current = readRow(db, t, keyValues(t, json(rows.value(r, 3)).array()));
        const QJsonObject after = json(rows.value(r, 5)).object();
        bool same = current.has_value();
        if (same) {
            const QJsonObject now = rowJson(t, *current);
            for (auto it = after.begin(); it != after.end(); ++it)
                same = same && now.value(it.key()) == it.value();
        }
        if (!same) ++rowsChanged;
    }
    if (rowsChanged > 0) changed << QStringLiteral("%1 rows it wrote were changed or removed").arg(rowsChanged);
    if (!changed.isEmpty())
        throw Refusal{QStringLiteral("since the %1 of the intake %2 the grade has changed (%3); undo what changed first, or leave it as it is")
                          .arg(describeKind(e))
                          .arg(inYear)
                          .arg(changed.join(QStringLiteral("; ")))};

    for (qsizetype r = rows.rowCount() - 1; r >= 0; --r) {
        const QString op = rows.value(r, 2).toString();
        if (op == u"S") continue;
        const TableDef &t = schemaTable(rows.value(r, 1).toString());
        QVariantList params;
        if (op == u"I") {
            const QString where = keyCondition(t, params, keyValues(t, json(rows.value(r, 3)).array()));
            db.exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoted(t.name), where), params);
            continue;
        }
        const QJsonObject before = json(rows.value(r, 4)).object();
        QStringList assignments;
        for (auto it = before.begin(); it != before.end(); ++it) {
            const ColumnDef &c = t.column(it.key());
            assignments << Database::quoted(c.name) + QStringLiteral(" = ?");
            params << db.toDb(fromJson(it.value(), c.type), c.type);
        }
        const QString where = keyCondition(t, params, keyValues(t, json(rows.value(r, 3)).array()));
        db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(Database::quoted(t.name), assignments.join(u", "), where), params);
    }
}

// Undoes the intake's latest promotion or graduation in the stage of `grade`: every stream of that
// year of schooling the same run moved (2201 and 2202 alike), newest first.
void undo(MethodCall &c, const QString &kind, const QString &grade, const QString &next, qint64 inYear)
{
    Database &db = c.db();
    const QString school = c.user().school;
    lockSchool(c);
    const QList<JournalEntry> open = openEntries(db, school, inYear, grade.left(1));
    if (open.isEmpty()) throw Refusal{QStringLiteral("the intake %1 has no promotion or graduation in this stage to undo").arg(inYear)};
    const JournalEntry &latest = open.first();
    if (latest.kind != kind || latest.grade.left(2) != grade.left(2))
        throw Refusal{QStringLiteral("the latest change of the intake %1 is the %2; undo that first").arg(inYear).arg(describeKind(latest))};
    QList<JournalEntry> batch;
    for (const JournalEntry &e : open)
        if (e.kind == latest.kind && e.grade.left(2) == latest.grade.left(2) && e.yearTo == latest.yearTo) batch << e;
    bool named = false;
    for (const JournalEntry &e : batch)
        named = named || (e.grade == grade && (kind == u"G" || e.next == next));
    if (!named) throw Refusal{QStringLiteral("the latest change of the intake %1 is the %2, not of %3").arg(inYear).arg(describeKind(latest), grade)};
    for (const JournalEntry &e : batch) {
        undoEntry(db, e, inYear);
        db.exec(QStringLiteral("UPDATE \"XT_GradeJournal\" SET \"dUndone\" = ?, \"UndoneBy\" = ? WHERE \"nId\" = ?"),
                {db.toDb(c.env().now(), FieldType::DateTime), c.user().teacherCode, e.id});
    }
}

// Runs one promotion, graduation or undo in a transaction of its own: the answer 1 when it is
// stored, 0 with the reason when it was refused or the database failed half way (nothing stays).
void runInTransaction(MethodCall &c, const P::Method &m, const std::function<void()> &work)
{
    try {
        Transaction tx(c.db());
        work();
        tx.commit();
        c.setResult(qint64(1));
    } catch (const Refusal &r) {
        c.setResult(qint64(0));
        c.setMessage(m.fullName() + QStringLiteral(": ") + r.why);
    } catch (const StorageError &e) {
        qCWarning(lcSchoolYear).noquote() << m.fullName() << e.message();
        c.setResult(qint64(0));
        c.setMessage(m.fullName() + QStringLiteral(": ") + e.plainMessage() + QStringLiteral("; nothing was changed"));
    }
}

qint64 mode(MethodCall &c, int i, const P::Method &m)
{
    const qint64 v = c.integer(i);
    if (v != 0 && v != 1) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the mode is 0 or 1, not %2").arg(m.fullName()).arg(v));
    return v;
}

// (school, var grade, var next grade, var school year, var intake year, mode).
void upGradeLevel(MethodCall &c)
{
    c.school(0);
    const QString grade = c.text(1), next = c.text(2), year = c.text(3);
    const qint64 inYear = c.integer(4);
    const qint64 m = mode(c, 5, P::UpGradeLevel);
    runInTransaction(c, P::UpGradeLevel, [&] {
        if (m == 0)
            promote(c, grade, next, year, inYear);
        else
            undo(c, QStringLiteral("P"), grade, next, inYear);
    });
}

// (school, var grade, var intake year, mode).
void setGraduate(MethodCall &c)
{
    c.school(0);
    const QString grade = c.text(1);
    const qint64 inYear = c.integer(2);
    const qint64 m = mode(c, 3, P::SetGraduate);
    runInTransaction(c, P::SetGraduate, [&] {
        if (m == 0)
            graduate(c, grade, inYear);
        else
            undo(c, QStringLiteral("G"), grade, QString(), inYear);
    });
}

// (school type, var grade, out next).
void qNextGrade(MethodCall &c)
{
    const QString type = c.text(0), grade = c.text(1);
    QString next;
    if (const std::optional<CatalogueGrade> g = catalogueGrade(c.db(), type, grade); g && !g->next.isEmpty()) {
        const std::optional<CatalogueGrade> n = catalogueGrade(c.db(), type, g->next);
        next = g->next + u':' + (n ? n->name : QString());
    }
    c.setRef(2, next);
    c.setResult(next);
}

// ---- the grade definition wizard's save --------------------------------------------------------------

// (grade changes, subject changes, class changes, -1, var error count), each packet or null.
class GradeDefinition {
public:
    explicit GradeDefinition(MethodCall &c) : m_c(c), m_db(c.db()), m_school(c.user().school) {}

    void run()
    {
        m_c.integer(3);
        m_c.requireByRef(4);
        const wire::ChangePacket none;
        const wire::ChangePacket &grade = m_c.isNull(0) ? none : m_c.changes(0);
        const wire::ChangePacket &subjects = m_c.isNull(1) ? none : m_c.changes(1);
        const wire::ChangePacket &classes = m_c.isNull(2) ? none : m_c.changes(2);

        Transaction tx(m_db);
        lockSchool(m_c);
        Refusals gradeRefused(QStringLiteral("XJ_Grade")), subjectRefused(QStringLiteral("XJ_GradeSubject")), classRefused(QStringLiteral("XJ_GradeClass"));
        QStringList messages;
        int errors = 0;
        // Each packet after its checks; nothing more is applied once a row was refused.
        const auto stage = [&](Refusals &refused, const wire::ChangePacket &packet, const QString &table, const std::function<void()> &after) {
            errors += refused.count();
            messages += refused.messages();
            if (errors > 0 || packet.rows.isEmpty()) return;
            ApplyRules rules;
            rules.school = m_school;
            const ApplyResult applied = applyChanges(m_db, schemaTable(table), packet, rules);
            errors += applied.errors;
            messages += applied.messages;
            if (applied.errors == 0 && after) after();
        };

        checkGrade(gradeRefused, grade);
        stage(gradeRefused, grade, QStringLiteral("XJ_Grade"), {});
        const bool defines = !subjects.rows.isEmpty() || !classes.rows.isEmpty();
        if (errors == 0 && defines) {
            checkGradeFor(subjectRefused, subjects);
            checkGradeFor(classRefused, classes);
            checkSubjects(subjectRefused, subjects);
            checkClasses(classRefused, classes);
        }
        stage(subjectRefused, subjects, QStringLiteral("XJ_GradeSubject"), [&] {
            dropCourseLines(subjects, QStringLiteral("SubjectCode"));
            refreshExamTotals(m_db, m_school, m_target->inYear, m_target->grade);
        });
        stage(classRefused, classes, QStringLiteral("XJ_GradeClass"), [&] { dropCourseLines(classes, QStringLiteral("ClassCode")); });
        if (errors == 0 && m_target && (m_inserted || defines)) {
            const QVariantList params{m_school, m_target->inYear, m_target->grade};
            const QString where = QStringLiteral(" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?");
            const qint64 nSubjects = m_db.scalar(QStringLiteral("SELECT count(*) FROM \"XJ_GradeSubject\"") + where, params).toLongLong();
            const qint64 nClasses = m_db.scalar(QStringLiteral("SELECT count(*) FROM \"XJ_GradeClass\"") + where, params).toLongLong();
            if (nSubjects == 0 || nClasses == 0) {
                ++errors;
                messages << QStringLiteral("XJ_Grade: the grade %1 of the intake %2 would be left with %3 subjects and %4 classes; a grade needs one of each")
                                .arg(m_target->grade)
                                .arg(m_target->inYear)
                                .arg(nSubjects)
                                .arg(nClasses);
            }
        }
        if (errors == 0) tx.commit();
        m_c.setRef(4, qint64(errors));
        if (errors > 0) m_c.setMessage(messages.join(u'\n'));
    }

private:
    struct Target {
        qint64 inYear = 0;
        QString grade;
    };

    // Every row of the three packets is of one grade.
    bool ofTarget(Refusals &refused, qsizetype r, const PacketRow &row)
    {
        const Target t{row.value(u"InYear").toLongLong(), row.text(u"GradeCode")};
        if (t.grade.isEmpty()) {
            refused.add(r, QStringLiteral("names no grade"));
            return false;
        }
        if (!m_target) m_target = t;
        if (m_target->inYear != t.inYear || m_target->grade != t.grade) {
            refused.add(
                r, QStringLiteral("is of the grade %1 (%2); the call defines %3 (%4)").arg(t.grade).arg(t.inYear).arg(m_target->grade).arg(m_target->inYear));
            return false;
        }
        return true;
    }

    void refuseStrangeTeachers(Refusals &refused, qsizetype r, const PacketRow &row, std::initializer_list<const char16_t *> fields)
    {
        for (const char16_t *f : fields)
            if (!isTeacherOfSchool(m_c, row.text(QStringView(f)))) refused.add(r, QStringLiteral("%1 names no teacher of this school").arg(QStringView(f)));
    }

    void checkGrade(Refusals &refused, const wire::ChangePacket &packet)
    {
        const TableDef &t = schemaTable(u"XJ_Grade");
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Unmodified) continue;
            if (row.status() == RowStatus::Deleted) {
                refused.add(r, QStringLiteral("the grade definition deletes no grade"));
                continue;
            }
            if (changesKey(row, t)) refused.add(r, QStringLiteral("changes its key; an intake's grade is never renamed"));
            if (!ofTarget(refused, r, row)) continue;
            refuseStrangeTeachers(refused, r, row, {u"TeacherCode", u"SubTeacherCode"});
            const QString flag = row.text(u"bCurGrade");
            if (row.has(u"bCurGrade") && !flag.isEmpty() && flag != u"Y" && flag != u"N") refused.add(r, QStringLiteral("bCurGrade is Y or N"));
            if (row.status() == RowStatus::Inserted) {
                m_inserted = true;
            } else if (m_db.scalar(QStringLiteral("SELECT \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?"),
                                   {m_school, m_target->inYear, m_target->grade})
                           .toString() == u"N") {
                refused.add(r, QStringLiteral("the grade is a history grade, which is not changed"));
            }
        }
    }

    // The subjects and classes belong to a grade that exists now (stored, or added by this call)
    // and is current, unless this call added it.
    void checkGradeFor(Refusals &refused, const wire::ChangePacket &packet)
    {
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Unmodified || !ofTarget(refused, r, row)) continue;
            const QVariant flag =
                m_db.scalar(QStringLiteral("SELECT \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?"),
                            {m_school, m_target->inYear, m_target->grade});
            if (flag.isNull())
                refused.add(r, QStringLiteral("the intake %1 has no grade %2").arg(m_target->inYear).arg(m_target->grade));
            else if (flag.toString() == u"N" && !m_inserted)
                refused.add(r, QStringLiteral("the grade is a history grade, which is not changed"));
        }
    }

    void checkSubjects(Refusals &refused, const wire::ChangePacket &packet)
    {
        const TableDef &t = schemaTable(u"XJ_GradeSubject");
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (changesKey(row, t)) refused.add(r, QStringLiteral("changes its code; codes are never renamed"));
            if (row.status() == RowStatus::Deleted) {
                if (m_db.scalar(
                            QStringLiteral("SELECT count(*) FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = m.\"examId\" WHERE e.\"SchoolCode\" = ? "
                                           "AND e.\"InYear\" = ? AND e.\"GradeCode\" = ? AND m.\"SubjectCode\" = ? AND m.\"score\" > 0"),
                            {m_school, row.value(u"InYear").toLongLong(), row.text(u"GradeCode"), row.text(u"SubjectCode")})
                        .toLongLong() > 0)
                    refused.add(r, QStringLiteral("the grade has scores of the subject"));
                continue;
            }
            refuseStrangeTeachers(refused, r, row, {u"TeacherCode", u"SubTeacherCode"});
            if (row.status() == RowStatus::Inserted && !isSubjectOfSchool(m_c, row.text(u"SubjectCode")))
                refused.add(r, QStringLiteral("SubjectCode names no subject of this school"));
            const QVariant type = row.value(u"SubjectType");
            if (row.has(u"SubjectType") && !wire::isNull(type) && (type.toInt() < 0 || type.toInt() > 2))
                refused.add(r, QStringLiteral("SubjectType is 0, 1 or 2"));
        }
    }

    void checkClasses(Refusals &refused, const wire::ChangePacket &packet)
    {
        const TableDef &t = schemaTable(u"XJ_GradeClass");
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (changesKey(row, t)) refused.add(r, QStringLiteral("changes its code; codes are never renamed"));
            if (row.status() == RowStatus::Deleted) {
                if (m_db.scalar(QStringLiteral("SELECT count(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                               "AND \"ClassCode\" = ?"),
                                {m_school, row.value(u"InYear").toLongLong(), row.text(u"GradeCode"), row.text(u"ClassCode")})
                        .toLongLong() > 0)
                    refused.add(r, QStringLiteral("the class has students"));
                continue;
            }
            refuseStrangeTeachers(refused, r, row, {u"TeacherCode"});
            if (row.status() == RowStatus::Inserted && !isClassOfSchool(m_c, row.text(u"ClassCode")))
                refused.add(r, QStringLiteral("ClassCode names no class of this school"));
        }
    }

    // A class or subject that leaves the grade takes its course table lines along.
    void dropCourseLines(const wire::ChangePacket &packet, const QString &column)
    {
        for (const wire::RowChange &change : packet.rows) {
            const PacketRow row(packet, change);
            if (row.status() != RowStatus::Deleted) continue;
            m_db.exec(QStringLiteral("DELETE FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND %1 = ?")
                          .arg(Database::quoted(column)),
                      {m_school, row.value(u"InYear").toLongLong(), row.text(u"GradeCode"), row.text(column)});
        }
    }

    MethodCall &m_c;
    Database &m_db;
    QString m_school;
    std::optional<Target> m_target;
    bool m_inserted = false;
};

} // namespace

void registerSchoolYearMethods(Service &s)
{
    s.addMethod(P::QNextGrade, qNextGrade);
    s.addMethod(P::UpGradeDefine, [](MethodCall &c) { GradeDefinition(c).run(); });
    s.addMethod(P::UpGradeLevel, upGradeLevel);
    s.addMethod(P::SetGraduate, setGraduate);
}

} // namespace lumeko::server
