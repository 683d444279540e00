#include "server/methods/registerscope.h"

namespace lumeko::server {

using wire::FieldType;

namespace {
QString gradeKey(qint64 inYear, const QString &grade)
{
    return QString::number(inYear) + u'|' + grade;
}
} // namespace

RegisterScope::RegisterScope(MethodCall &c) : m_c(c)
{
    const SessionUser &u = c.user();
    m_all = u.unrestricted() || (u.viewAllGrade && u.viewAllClass);
    if (m_all) return;
    const QList<wire::FieldDef> gradeFields{{"InYear", FieldType::Integer, 0, 0}, {"GradeCode", FieldType::Text, 0, 0}};
    const wire::DataPacket led = c.db().select(QStringLiteral("SELECT \"InYear\", \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? "
                                                              "AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?)"),
                                               {u.school, u.teacherCode, u.teacherCode}, gradeFields);
    for (qsizetype r = 0; r < led.rowCount(); ++r)
        m_ledGrades.insert(gradeKey(led.value(r, 0).toLongLong(), led.value(r, 1).toString()));
    const wire::DataPacket own = c.db().select(
        QStringLiteral("SELECT \"InYear\", \"GradeCode\", \"ClassCode\" FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"TeacherCode\" = ? "
                       "UNION SELECT \"InYear\", \"GradeCode\", \"ClassCode\" FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? AND \"TeacherCode\" = ?"),
        {u.school, u.teacherCode, u.school, u.teacherCode}, gradeFields + QList<wire::FieldDef>{{"ClassCode", FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < own.rowCount(); ++r)
        m_classes.insert(gradeKey(own.value(r, 0).toLongLong(), own.value(r, 1).toString()) + u'|' + own.value(r, 2).toString());
}

bool RegisterScope::contains(qint64 inYear, const QString &grade, const QString &classCode) const
{
    return m_all || m_ledGrades.contains(gradeKey(inYear, grade)) || m_classes.contains(gradeKey(inYear, grade) + u'|' + classCode);
}

QString RegisterScope::condition(QVariantList &params) const
{
    if (m_all) return {};
    const QString me = m_c.user().teacherCode;
    params << me << me << me << me;
    return QStringLiteral("(EXISTS (SELECT 1 FROM \"XJ_Grade\" g WHERE g.\"SchoolCode\" = b.\"SchoolCode\" AND g.\"InYear\" = b.\"InYear\" "
                          "AND g.\"GradeCode\" = b.\"GradeCode\" AND (g.\"TeacherCode\" = ? OR g.\"SubTeacherCode\" = ?)) "
                          "OR b.\"ClassCode\" IN (SELECT gc.\"ClassCode\" FROM \"XJ_GradeClass\" gc WHERE gc.\"SchoolCode\" = b.\"SchoolCode\" "
                          "AND gc.\"InYear\" = b.\"InYear\" AND gc.\"GradeCode\" = b.\"GradeCode\" AND gc.\"TeacherCode\" = ? "
                          "UNION SELECT ct.\"ClassCode\" FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = b.\"SchoolCode\" "
                          "AND ct.\"InYear\" = b.\"InYear\" AND ct.\"GradeCode\" = b.\"GradeCode\" AND ct.\"TeacherCode\" = ?))");
}

std::optional<RegisterScope::Place> RegisterScope::studentPlace(const QString &studentCode) const
{
    const wire::DataPacket row = m_c.db().select(
        QStringLiteral("SELECT \"InYear\", \"GradeCode\", \"ClassCode\" FROM \"XJ_Student\" WHERE \"sCode\" = ? AND \"SchoolCode\" = ?"),
        {studentCode, m_c.user().school}, {{"InYear", FieldType::Integer, 0, 0}, {"GradeCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}});
    if (row.rowCount() != 1) return std::nullopt;
    Place p{row.value(0, 0).toLongLong(), row.value(0, 1).toString(), row.value(0, 2).toString(), true};
    p.current = isCurrentGrade(p.inYear, p.grade);
    return p;
}

bool RegisterScope::isCurrentGrade(qint64 inYear, const QString &grade) const
{
    // A grade without a record counts as current: nothing marks it as history.
    return m_c.db()
               .scalar(QStringLiteral("SELECT count(*) FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                      "AND \"bCurGrade\" = 'N'"),
                       {m_c.user().school, inYear, grade})
               .toLongLong() == 0;
}

} // namespace lumeko::server
