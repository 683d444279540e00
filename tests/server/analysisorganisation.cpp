#include "analysisorganisation.h"

#include "fixtureschool.h"
#include "server/core/auth.h"

namespace lumeko::server::testing {

void seedAnalysisOrganisation(Database &db, bool gradeSubjects)
{
    const QString teacher = "INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                            "\"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, ?, ?, '6', 0, 0, ?, ?)";
    const QString pw = hashPassword(QStringLiteral("pw"), PasswordCost::Minimal);
    const QVariant no = db.toDb(false, wire::FieldType::Boolean);
    db.exec(teacher, {kZhang, QStringLiteral("张老师"), "zhang", pw, no, no});
    db.exec(teacher, {kLi, QStringLiteral("李老师"), "li1", pw, no, no});
    db.exec("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\") VALUES ('S1', '003', ?, ?)",
            {QStringLiteral("三班"), QStringLiteral("分校")});
    // The grade's own branch comes before the school's.
    const QString gradeClass = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sArea\", \"TeacherCode\") "
                               "VALUES ('S1', 2026, '1701', ?, ?, ?)";
    db.exec(gradeClass, {"001", QStringLiteral("本部"), kZhang});
    db.exec(gradeClass, {"002", QStringLiteral("本部"), kLi});
    db.exec(gradeClass, {"003", QStringLiteral("分校"), QVariant()});
    const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
    db.exec(subject, {"001", QStringLiteral("语文")});
    db.exec(subject, {"002", QStringLiteral("数学")});
    if (gradeSubjects) {
        const QString gradeSubject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", "
                                     "\"FullMark\") VALUES ('S1', 2026, '1701', ?, 0, 100)";
        db.exec(gradeSubject, {"001"});
        db.exec(gradeSubject, {"002"});
    }
    const QString course = "INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", "
                           "\"TeacherCode\") VALUES ('S1', 2026, '1701', ?, ?, ?)";
    db.exec(course, {"001", "002", kZhang});
    db.exec(course, {"003", "002", kZhang});
    db.exec(course, {"002", "002", kLi});
    db.exec(course, {"003", "001", kTeacherCode});
}

} // namespace lumeko::server::testing
