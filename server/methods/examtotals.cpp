// The totals of a grade's exams follow its subjects: an exam's all, main and base totals sum the
// level marks of its subjects by the subject type the grade gives each (0 base, 1 main, 2
// auxiliary). When the grade's subjects change, the open school-wide exams are brought up to date
// in the same transaction; QExamTotalBySubject hands the grade-subject dialog their headers.

#include "domain/examrules.h"
#include "server/core/service.h"
#include "server/methods/examstore.h"
#include "server/methods/organisationrows.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::FieldType;

namespace {

// The eight marks in the order of domain::Mark, as the columns name them.
const char *const kMarkNames[domain::MarkCount] = {"FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark", "DistanceMark", "HighMark", "LowMark"};

QString openExamCondition()
{
    return QStringLiteral("\"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"PageName\" = ? AND (\"Freeze\" IS NULL OR \"Freeze\" = ?)");
}

// (school, var InYear, grade, var Data).
void qExamTotalBySubject(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(u"CJ_ExamTotal");
    c.setRef(3, c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ExamTotal\" WHERE %2 ORDER BY \"ExamCode\"").arg(columnList(t), openExamCondition()),
                              {school, c.integer(1), c.text(2), kNoPage, c.db().toDb(false, FieldType::Boolean)}, t.fieldDefs()));
}

} // namespace

int refreshExamTotals(Database &db, const QString &school, qint64 inYear, const QString &grade)
{
    static const char *const kPrefixes[3] = {"a", "m", "b"};
    QStringList headerCols{QStringLiteral("\"Id\""), QStringLiteral("\"ExamCode\"")};
    QList<wire::FieldDef> headerFields{{"Id", FieldType::Integer, 0, 0}, {"ExamCode", FieldType::Text, 0, 0}};
    for (const char *p : kPrefixes)
        for (const char *m : kMarkNames) {
            const QString name = QLatin1StringView(p) + QLatin1StringView(m);
            headerCols << Database::quoted(name);
            headerFields.append({name, FieldType::Float, 0, 0});
        }
    const wire::DataPacket headers = db.select(QStringLiteral("SELECT %1 FROM \"CJ_ExamTotal\" WHERE %2").arg(headerCols.join(u", "), openExamCondition()),
                                               {school, inYear, grade, kNoPage, db.toDb(false, FieldType::Boolean)}, headerFields);
    QStringList markCols;
    QList<wire::FieldDef> subjectFields{{"SubjectType", FieldType::Integer, 0, 0}};
    for (const char *m : kMarkNames) {
        markCols << QStringLiteral("es.") + Database::quoted(QLatin1StringView(m));
        subjectFields.append({QLatin1StringView(m), FieldType::Float, 0, 0});
    }
    int changed = 0;
    for (qsizetype h = 0; h < headers.rowCount(); ++h) {
        // The exam's subjects are its rows with a weight, as long as the grade still has them.
        const wire::DataPacket rows = db.select(
            QStringLiteral("SELECT gs.\"SubjectType\", %1 FROM \"CJ_ExamSubject\" es JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = es.\"SchoolCode\" "
                           "AND gs.\"InYear\" = es.\"InYear\" AND gs.\"GradeCode\" = es.\"GradeCode\" AND gs.\"SubjectCode\" = es.\"SubjectCode\" "
                           "WHERE es.\"SchoolCode\" = ? AND es.\"InYear\" = ? AND es.\"GradeCode\" = ? AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                           "AND es.\"Per\" IS NOT NULL")
                .arg(markCols.join(u", ")),
            {school, inYear, grade, headers.value(h, 1), kNoPage}, subjectFields);
        QList<domain::ExamSubject> subjects;
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            domain::ExamSubject s;
            s.subjectType = rows.value(r, 0).isNull() ? 2 : int(rows.value(r, 0).toLongLong());
            for (int m = 0; m < domain::MarkCount; ++m)
                s.marks[m] = rows.value(r, m + 1).toDouble();
            subjects << s;
        }
        const domain::ExamTotals totals = domain::wholeMarkTotals(subjects);
        const domain::Marks *sums[3] = {&totals.all, &totals.main, &totals.base};
        QStringList sets;
        QVariantList params;
        for (int t = 0; t < 3; ++t)
            for (int m = 0; m < domain::MarkCount; ++m) {
                const QVariant stored = headers.value(h, 2 + t * domain::MarkCount + m);
                if (!stored.isNull() && stored.toDouble() == (*sums[t])[m]) continue;
                sets << Database::quoted(QLatin1StringView(kPrefixes[t]) + QLatin1StringView(kMarkNames[m])) + QStringLiteral(" = ?");
                params << (*sums[t])[m];
            }
        if (sets.isEmpty()) continue;
        db.exec(QStringLiteral("UPDATE \"CJ_ExamTotal\" SET %1 WHERE \"Id\" = ?").arg(sets.join(u", ")), params << headers.value(h, 0));
        ++changed;
    }
    return changed;
}

void registerExamTotalMethods(Service &s)
{
    s.addMethod(wire::protocol::QExamTotalBySubject, qExamTotalBySubject);
}

} // namespace lumeko::server
