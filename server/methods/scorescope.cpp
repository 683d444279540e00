#include "server/methods/scorescope.h"

namespace lumeko::server {

using wire::FieldType;

namespace {

QSet<QString> codes(Database &db, const QString &sql, const QVariantList &params)
{
    const wire::DataPacket rows = db.select(sql, params, {{"Code", FieldType::Text, 0, 0}});
    QSet<QString> out;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        out.insert(rows.value(r, 0).toString());
    return out;
}

QString sortedList(const QSet<QString> &codes)
{
    QStringList list(codes.cbegin(), codes.cend());
    list.sort();
    return list.join(u',');
}

bool holds(int modifyRight, int role)
{
    return (modifyRight >> (role - 1)) & 1;
}

} // namespace

ScoreScope::ScoreScope(MethodCall &c, const StoredExam &exam)
{
    load(c, exam);
}

void ScoreScope::load(MethodCall &c, const StoredExam &exam)
{
    const SessionUser &u = c.user();
    m_frozen = exam.frozen;
    m_defDay = exam.defDay;
    m_limitDay = exam.limitDay;
    m_modifyRight = exam.modifyRight;
    m_unrestricted = u.unrestricted();
    for (int role = 1; role <= 6; ++role)
        if (u.hasRole(role)) m_roles.insert(role);
    if (m_unrestricted) {
        m_seesAll = m_writesAll = m_roster = true;
        return;
    }
    Database &db = c.db();
    const ExamKey &k = exam.key;
    const QString me = u.teacherCode;
    m_unitOfOther = k.isUnit() && k.page != me;
    const bool ownUnit = k.isUnit() && k.page == me;
    m_leadsGrade = db.scalar(QStringLiteral("SELECT COUNT(*) FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                            "AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?)"),
                             {k.school, k.inYear, k.grade, me, me})
                       .toLongLong() > 0;
    const QVariantList grade{k.school, k.inYear, k.grade, me};
    const QSet<QString> headed = codes(
        db,
        QStringLiteral("SELECT \"ClassCode\" FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"TeacherCode\" = ?"),
        grade);
    const wire::DataPacket taught = db.select(QStringLiteral("SELECT \"ClassCode\", \"SubjectCode\" FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? "
                                                             "AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"TeacherCode\" = ?"),
                                              grade, {{"ClassCode", FieldType::Text, 0, 0}, {"SubjectCode", FieldType::Text, 0, 0}});
    m_ledGradeSubjects = codes(db,
                               QStringLiteral("SELECT \"SubjectCode\" FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? "
                                              "AND \"GradeCode\" = ? AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?)"),
                               {k.school, k.inYear, k.grade, me, me});
    m_ledSchoolSubjects =
        codes(db, QStringLiteral("SELECT \"SubjectCode\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = ? AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?)"),
              {k.school, me, me});
    QSet<QString> taughtClasses, pairs;
    for (qsizetype r = 0; r < taught.rowCount(); ++r) {
        taughtClasses.insert(taught.value(r, 0).toString());
        m_taughtSubjects.insert(taught.value(r, 1).toString());
        pairs.insert(taught.value(r, 0).toString() + u'|' + taught.value(r, 1).toString());
    }

    // Seeing.
    // Another teacher's unit exam is his own business, unless the user may view every grade.
    m_seesAll = m_unitOfOther ? u.viewAllGrade : u.viewAllClass || m_leadsGrade || !m_ledGradeSubjects.isEmpty() || !m_ledSchoolSubjects.isEmpty() || ownUnit;
    if (!m_unitOfOther) m_seenClasses = headed + taughtClasses;

    // Changing, role by role where the exam lets the role edit.
    m_roster = !m_unitOfOther && c.hasRight(QStringLiteral("4011"), QStringLiteral("Student")) && (m_leadsGrade || ownUnit);
    if (m_unitOfOther) return;
    const auto lets = [&](int role) { return m_roles.contains(role) && holds(m_modifyRight, role); };
    m_writesAll = lets(1) || (lets(3) && m_leadsGrade);
    if (lets(4)) m_writableClasses = headed;
    if (lets(2)) m_writableSubjects += m_ledSchoolSubjects;
    if (lets(5)) m_writableSubjects += m_ledGradeSubjects;
    if (lets(6)) m_writablePairs = pairs;
}

QString ScoreScope::examRefusal(const QDateTime &now) const
{
    if (m_frozen) return QStringLiteral("此次考试已被冻结");
    if (m_unrestricted) return {};
    if (m_unitOfOther) return QStringLiteral("这是其他教师的单元考试");
    // The deadline day is open until its end; an exam dated in the future is not open yet.
    const QDate today = now.toLocalTime().date();
    if ((m_limitDay.isValid() && today > m_limitDay) || (m_defDay.isValid() && m_defDay > today)) return QStringLiteral("已超过限入时间");
    if (!m_writesAll && m_writableClasses.isEmpty() && m_writableSubjects.isEmpty() && m_writablePairs.isEmpty()) return QStringLiteral("您没有编辑权限");
    return {};
}

bool ScoreScope::mayWrite(const QString &classCode, const QString &subjectCode) const
{
    return m_writesAll || m_writableClasses.contains(classCode) || m_writableSubjects.contains(subjectCode) ||
           m_writablePairs.contains(classCode + u'|' + subjectCode);
}

QString ScoreScope::subjectsOfRole(int role) const
{
    if (m_unrestricted) return QStringLiteral("ALL");
    if (!m_roles.contains(role)) return {};
    switch (role) {
    case 1:
    case 3:
    case 4:
        return QStringLiteral("ALL");
    case 2:
        return sortedList(m_ledSchoolSubjects);
    case 5:
        return sortedList(m_ledGradeSubjects);
    case 6:
        return sortedList(m_taughtSubjects);
    default:
        return {};
    }
}

} // namespace lumeko::server
