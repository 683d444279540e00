#pragma once
// Which candidates of an exam a signed-in teacher sees on the score sheet, and which of their
// scores he may change, taken from his session and the school's organisation, never from an
// argument.
//
// Seeing: everything for an unrestricted user or one who may view every class; the whole exam for
// the grade's leaders, for the leaders of one of the grade's subjects (school-wide subject leaders
// and the grade's lesson-preparation leaders) and for the teacher of a unit exam; otherwise the
// classes he heads and those he teaches.
//
// Changing (roles 1 … 6, each only when the exam's edit-right set has its bit and the user holds
// it): 1 教务管理员 every score; 3 年级长 every score of a grade he leads; 4 班主任 every subject
// of the classes he heads; 2 科目组长 the subjects he leads in the school and 5 备课组长 those he
// leads in the grade, in every class; 6 任课老师 the subjects he teaches in the classes he teaches
// them in (the course table). An unrestricted user changes every score. Nobody changes a score of
// a frozen exam, and only an unrestricted user changes one after the entry deadline.

#include "server/methods/examstore.h"

#include <QDateTime>
#include <QSet>

namespace lumeko::server {

class ScoreScope {
public:
    ScoreScope(MethodCall &c, const StoredExam &exam);

    bool seesAll() const { return m_seesAll; }
    bool sees(const QString &classCode) const { return m_seesAll || m_seenClasses.contains(classCode); }
    // The classes seen when not all, for a query's IN list.
    QStringList seenClasses() const { return m_seenClasses.values(); }

    // Why no score of the exam may be changed now (in the teacher's words); empty when some may.
    QString examRefusal(const QDateTime &now) const;
    bool mayWrite(const QString &classCode, const QString &subjectCode) const;
    // Adding and removing candidates: an unrestricted user, or one with 4011/Student who leads
    // the grade or owns the unit exam.
    bool mayChangeRoster() const { return m_roster; }

    // The subjects a role gives the user in the exam's grade ("ALL" for roles 1, 3, 4 when held;
    // empty when the role is not his), for QTeacherSubjects.
    QString subjectsOfRole(int role) const;

private:
    void load(MethodCall &c, const StoredExam &exam);

    bool m_unrestricted = false;
    bool m_seesAll = false;
    bool m_writesAll = false;
    bool m_roster = false;
    bool m_unitOfOther = false;
    int m_modifyRight = 0;
    QSet<int> m_roles;
    QSet<QString> m_seenClasses;
    QSet<QString> m_writableClasses;  // every subject (head teacher)
    QSet<QString> m_writableSubjects; // every class (subject leaders)
    QSet<QString> m_writablePairs;    // "class|subject" (subject teacher)
    QSet<QString> m_ledSchoolSubjects, m_ledGradeSubjects, m_taughtSubjects;
    bool m_leadsGrade = false;
    bool m_frozen = false;
    QDate m_defDay, m_limitDay;
};

} // namespace lumeko::server
