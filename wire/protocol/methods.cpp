#include "wire/protocol/methods.h"

namespace lumeko::wire::protocol {

namespace {
const Method *const kAll[] = {
    &session::SignIn,
    &session::SignOut,
    &session::Context,
    &session::UserRight,
    &session::GradeList,
    &session::GradeNames,
    &session::ClassNames,
    &session::TypeList,
    &session::SchoolOutline,
    &session::RecentExams,
    &QFieldsByTable,
    &QRegByType,
    &QRegisterByKey,
    &QSchoolInfo,
    &DBDate,
    &SFileToVar,
    &VarToSFile,
    &GetGraduate,
    &AddLogs,
    &QDept,
    &MaxDeptID,
    &UpDept,
    &QClasses,
    &UpClass,
    &UpGrade,
    &UpGradeClass,
    &QGradeClassesSel,
    &QCheckData,
    &QCheckStudent,
    &QSchoolSubjects,
    &MaxSubjectID,
    &UpSubject,
    &QGradeSubjects,
    &QGradeSubjectsSel,
    &UpGradeSubject,
    &QCourseTable,
    &UpCourseTable,
    &QTeacherByDept,
    &QTeacherByParam,
    &CheckLoginUsed,
    &UpTeacher,
    &QDeptByTeacher,
    &UpDeptTeacher,
    &ARUserRoles,
    &QExamTotalBySubject,
    &QStudByClass,
    &QStudByGrade,
    &QFamily,
    &QStudentImage,
    &QGradeClasses,
    &QTeachers,
    &QStudPicByCode,
    &QGradeClassNames,
    &QStudPicForUp,
    &QGetCard2,
    &QMyMarkList,
    &UpStudent,
    &UpFamily,
    &UpPicture,
    &SetPass,
    &QExamInfo,
    &MaxExamID,
    &UpExamInfo,
    &QExamSubjects,
    &QTeacherSubjects,
    &QGradeClassesByCode,
    &QExamTotal,
    &QSameExamLast,
    &QSameExamList,
    &QExamSubjectForUp,
    &QCheckSubjectMark,
    &UpExamTotal,
    &UpExamStudents,
    &UpDeleteExam,
    &QExamSubjectAllPt,
    &QSubjects,
    &QExamGradePer,
    &QExamClassStuds,
    &QMark,
    &QExamOrders,
    &QMarkHistory,
    &QStudForDefine,
    &QSubjectClass,
    &UpMark,
    &UpExamOrder,
    &UpSubjectItems,
    &UpExamGradePer,
    &QSendMsgForUp,
    &QSMSOrderForUp,
    &UpSendMsg,
};
} // namespace

std::span<const Method *const> allMethods()
{
    return kAll;
}

const Method *findMethod(const QString &object, const QString &method)
{
    for (const Method *m : kAll)
        if (m->objectName().compare(object, Qt::CaseInsensitive) == 0 && m->methodName().compare(method, Qt::CaseInsensitive) == 0) return m;
    return nullptr;
}

} // namespace lumeko::wire::protocol
