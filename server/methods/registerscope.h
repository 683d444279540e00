#pragma once
// Which students of the school a signed-in teacher may read and change, taken from his session and
// never from an argument: every student for an unrestricted user or one who may view every grade
// and every class; otherwise the grades he leads (XJ_Grade.TeacherCode or SubTeacherCode) and the
// classes he heads (XJ_GradeClass.TeacherCode) or teaches (XJ_CourseTable).

#include "server/core/methodcall.h"

#include <QSet>

namespace lumeko::server {

class RegisterScope {
public:
    explicit RegisterScope(MethodCall &c);

    bool everything() const { return m_all; }
    // Whether a student of this grade and class lies within the scope.
    bool contains(qint64 inYear, const QString &grade, const QString &classCode) const;
    // A condition on the student table aliased "b" that keeps the scope's students (empty for
    // everything), with its parameters appended to `params`.
    QString condition(QVariantList &params) const;

    // Where a stored student is: nothing when the code names no student of the caller's school.
    struct Place {
        qint64 inYear = 0;
        QString grade, classCode;
        bool current = true; // the grade is a current one, not history
    };
    std::optional<Place> studentPlace(const QString &studentCode) const;
    bool isCurrentGrade(qint64 inYear, const QString &grade) const;

private:
    MethodCall &m_c;
    bool m_all = false;
    QSet<QString> m_ledGrades; // "InYear|GradeCode"
    QSet<QString> m_classes;   // "InYear|GradeCode|ClassCode"
};

} // namespace lumeko::server
