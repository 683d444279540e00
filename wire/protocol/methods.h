#pragma once
// Every server method, one declaration each, by server object. The server registers an
// implementation against each (server/methods/); pages call through them (pub::ServerObject).
// Arguments in the order the callers pass them; "var" slots are read only, "out" slots are
// written back.

#include "wire/protocol/method.h"

namespace lumeko::wire::protocol {

// Rights-tree functions the declarations name.
inline constexpr std::string_view kRegister = "4009";    // 学籍档案
inline constexpr std::string_view kTeachers = "4010";    // 教师档案
inline constexpr std::string_view kDepartments = "4004"; // 部门设置

inline constexpr Arg schoolId{"SchoolId", Kind::Text};
inline constexpr Arg data{"Data", Kind::DataPacket, Pass::Out};
inline constexpr Arg delta{"Delta", Kind::ChangePacket};
inline constexpr Arg maxErrors{"MaxErrors", Kind::Integer};
inline constexpr Arg errorCount{"ErrorCount", Kind::Integer, Pass::Out};

// ---- Session: signing in and the data the host services hand to the module -------------------
namespace session {
inline constexpr Method SignIn{"Session", "SignIn", {{"Login", Kind::Text}, {"Password", Kind::Text}, {"Computer", Kind::Text}}, Kind::Text, Right::anyone()};
inline constexpr Method SignOut{"Session", "SignOut", {}, Kind::None, Right::signedIn()};
inline constexpr Method Context{"Session", "Context", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method UserRight{"Session", "UserRight", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method GradeList{"Session", "GradeList", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method GradeNames{"Session", "GradeNames", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method ClassNames{"Session", "ClassNames", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method TypeList{"Session", "TypeList", {{"ListName", Kind::Text}}, Kind::Text, Right::signedIn()};
inline constexpr Method SchoolOutline{"Session", "SchoolOutline", {}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method RecentExams{"Session", "RecentExams", {{"Limit", Kind::Integer}}, Kind::DataPacket, Right::signedIn()};

// The fields of Context's one row, in this order: texts, except UserType (integer) and the two
// ViewAll flags (booleans).
inline constexpr QLatin1StringView ContextFields[] = {
    QLatin1StringView{"SchoolId"},     QLatin1StringView{"SchoolName"},   QLatin1StringView{"SchoolType"}, QLatin1StringView{"UserCode"},
    QLatin1StringView{"UserName"},     QLatin1StringView{"UserID"},       QLatin1StringView{"UserType"},   QLatin1StringView{"Roles"},
    QLatin1StringView{"ViewAllGrade"}, QLatin1StringView{"ViewAllClass"},
};
} // namespace session

// ---- SysQry, SysUp: registry, field definitions, school, clock, file store, log ----------------
inline constexpr Method QFieldsByTable{"SysQry", "QFieldsByTable", {{"TableName", Kind::Text}, data}, Kind::None, Right::signedIn()};
inline constexpr Method QRegByType{"SysQry", "QRegByType", {{"ListName", Kind::Text}, data}, Kind::None, Right::signedIn()};
inline constexpr Method QRegisterByKey{
    "SysQry", "QRegisterByKey", {{"Section", Kind::Text}, {"Key", Kind::Text}, {"Extra", Kind::Text, Pass::Out, true}}, Kind::Text, Right::signedIn()};
inline constexpr Method QSchoolInfo{"SysQry", "QSchoolInfo", {schoolId, data}, Kind::None, Right::signedIn()};
inline constexpr Method DBDate{"SysQry", "DBDate", {}, Kind::DateTime, Right::signedIn()};
inline constexpr Method SFileToVar{"SysQry", "SFileToVar", {{"Path", Kind::Text, Pass::Var}}, Kind::Bytes, Right::signedIn()};
inline constexpr Method VarToSFile{"SysQry",
                                   "VarToSFile",
                                   {{"Folder", Kind::Text}, {"FileName", Kind::Text}, {"Bytes", Kind::Bytes}},
                                   Kind::Integer,
                                   Right::anyOf({{kRegister, "Manager"}, {kRegister, "Import"}})};
inline constexpr Method GetGraduate{
    "SysQry", "GetGraduate", {{"SchoolGrade", Kind::Text}, {"Graduate", Kind::Integer, Pass::Out}}, Kind::Integer, Right::signedIn()};
inline constexpr Method AddLogs{"SysUp",
                                "AddLogs",
                                {schoolId, {"UserId", Kind::Text}, {"UserName", Kind::Text}, {"Computer", Kind::Text}, {"Text", Kind::Text}},
                                Kind::None,
                                Right::signedIn()};

// ---- StudentQry, StudentUp: organisation -----------------------------------------------------------
inline constexpr Method QDept{"StudentQry", "QDept", {schoolId, data}, Kind::None, Right::signedIn()};
inline constexpr Method MaxDeptID{"StudentQry", "MaxDeptID", {schoolId}, Kind::Text, Right::signedIn()};
// XJ_Dept's change packet; a new department whose code is taken is stored under the next free
// code (the reply's message says so); a department with teachers is not deleted.
inline constexpr Method UpDept{"StudentUp", "UpDept", {delta, maxErrors, errorCount}, Kind::None, Right::key(kDepartments, "Manager")};

// ---- Organisation: StudentQry, StudentUp, SysUp, AchieveQry: grades, classes, subjects, teachers, the course table
// Rows are always the signed-in user's school; a key of another school is refused. Writes are
// one transaction each, stored whole or not at all (the error count is the number of refused rows).
inline constexpr std::string_view kGrades = "4001";         // 年级设置
inline constexpr std::string_view kClasses = "4002";        // 班级设置
inline constexpr std::string_view kSchoolSubjects = "4003"; // 学科设置
inline constexpr std::string_view kGradeClasses = "4006";   // 年级班级
inline constexpr std::string_view kGradeSubjects = "4007";  // 年级学科
inline constexpr std::string_view kCourseTable = "4008";    // 教师任课表
inline constexpr std::string_view kGradeDefine = "4012";    // 年级定义向导

// An intake year, or (the course table's loads) a grade filter text in its place: "" or
// " and sYear='2026~2027学年'"; the grade code beside it may be a filter too:
// "GradeCode like '17%' and bCurGrade='Y'". A one-character grade code alone is a stage's current
// grades. Filters are read by server/grammar/gradefilter.h.
inline constexpr Arg gradeYearVar{"InYear", Kind::TextOrInteger, Pass::Var};
inline constexpr Arg gradeCodeArg{"GradeCode", Kind::Text};
inline constexpr Arg intakeYearVar{"InYear", Kind::Integer, Pass::Var}; // an intake year only (a float is accepted)

// The school's classes (XJ_Class): ClassCode, ClassName, sType, sArea, SchoolCode, by code.
inline constexpr Method QClasses{"StudentQry", "QClasses", {schoolId, data}, Kind::None, Right::signedIn()};
// XJ_Class's change packet. A class a grade uses (XJ_GradeClass) is not deleted; a new class whose
// code is taken is refused (its name was made from the code).
inline constexpr Method UpClass{"StudentUp", "UpClass", {delta, maxErrors, errorCount}, Kind::None, Right::key(kClasses, "Manager")};
// XJ_Grade's change packet (the host's grade list rows). The course table (4008/Manager) changes
// only the leaders (TeacherCode, SubTeacherCode) of existing grades. A grade with subjects or
// classes is not deleted.
inline constexpr Method UpGrade{
    "StudentUp", "UpGrade", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kGrades, "Manager"}, {kCourseTable, "Manager"}, {kGradeDefine, {}}})};
// XJ_GradeClass's change packet: ClassCode, InYear, SchoolCode, GradeCode, sArea, AliasName,
// TeacherCode. The course table changes only the head teacher (TeacherCode) of existing rows. A
// grade class with students is not deleted.
inline constexpr Method UpGradeClass{"StudentUp",
                                     "UpGradeClass",
                                     {delta, maxErrors, errorCount},
                                     Kind::None,
                                     Right::anyOf({{kGradeClasses, "Manager"}, {kCourseTable, "Manager"}, {kGradeDefine, {}}})};
// Every class of the school with its place in the grade: Selected and Sel (the grade has it),
// ClassCode, ClassName, AliasName, sArea, TeacherCode (head teacher), InYear, GradeCode,
// SchoolCode; a class the grade does not have carries its own campus and no alias or teacher.
inline constexpr Method QGradeClassesSel{"StudentQry", "QGradeClassesSel", {schoolId, intakeYearVar, gradeCodeArg, data}, Kind::None, Right::signedIn()};
// (school, table, field, quoted value "'001'"): how many rows of the table hold the value in the
// field. Only XJ_GradeClass.ClassCode and XJ_GradeSubject.SubjectCode may be asked; any other
// table or field, or a value that is not one quoted code, is refused.
inline constexpr Method QCheckData{
    "StudentQry", "QCheckData", {schoolId, {"TableName", Kind::Text}, {"FieldName", Kind::Text}, {"Value", Kind::Text}}, Kind::Integer, Right::signedIn()};
// (school, " and GradeCode='1701' and InYear=2026 and ClassCode='001'"): how many students of the
// school are in that grade class (every student, whoever asks: it guards a deletion).
inline constexpr Method QCheckStudent{"StudentQry", "QCheckStudent", {schoolId, {"Condition", Kind::Text}}, Kind::Integer, Right::signedIn()};

// The school's subjects (XJ_Subject): SubjectCode, SubjectName, TeacherCode (subject leader),
// SubTeacherCode (deputy), SchoolCode, by code. Not AchieveQry.QSubjects, the grade's subjects.
inline constexpr Method QSchoolSubjects{"StudentQry", "QSubjects", {schoolId, data}, Kind::None, Right::signedIn()};
// The highest subject number in use, empty when there is none (as MaxDeptID).
inline constexpr Method MaxSubjectID{"StudentQry", "MaxSubjectID", {schoolId}, Kind::Text, Right::signedIn()};
// XJ_Subject's change packet. A new subject whose code another row took meanwhile is stored
// under the next free code, and the reply's message names it. The course table changes only the
// leaders of existing subjects. A subject a grade uses is not deleted.
inline constexpr Method UpSubject{
    "StudentUp", "UpSubject", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kSchoolSubjects, "Manager"}, {kCourseTable, "Manager"}})};
// The stored subjects of a grade (XJ_GradeSubject, all columns), or of the grades a filter names.
inline constexpr Method QGradeSubjects{"StudentQry", "QGradeSubjects", {schoolId, gradeYearVar, gradeCodeArg, data}, Kind::None, Right::signedIn()};
// Every subject of the school with its place in the grade: Selected and Sel, SubjectCode,
// SubjectName, SubjectType, FullMark, TeacherCode and SubTeacherCode (lesson-preparation
// leaders), InYear, GradeCode, SchoolCode.
inline constexpr Method QGradeSubjectsSel{"StudentQry", "QGradeSubjectsSel", {schoolId, intakeYearVar, gradeCodeArg, data}, Kind::None, Right::signedIn()};
// XJ_GradeSubject's change packet; the totals of the grade's open school-wide exams follow the
// subjects' types in the same transaction. The course table changes only the leaders. A subject
// with scores in the grade is not deleted.
inline constexpr Method UpGradeSubject{"StudentUp",
                                       "UpGradeSubject",
                                       {delta, maxErrors, errorCount},
                                       Kind::None,
                                       Right::anyOf({{kGradeSubjects, "Manager"}, {kCourseTable, "Manager"}, {kGradeDefine, {}}})};
// The course table rows (XJ_CourseTable: SchoolCode, InYear, GradeCode, ClassCode, SubjectCode,
// TeacherCode) of a grade or of the grades a filter names.
inline constexpr Method QCourseTable{"StudentQry", "QCourseTable", {schoolId, gradeYearVar, gradeCodeArg, data}, Kind::None, Right::signedIn()};
// XJ_CourseTable's change packet, from the course table page or the subject-class dialog of the
// grade subjects. Every row names a class and a subject of its grade and a teacher of the school.
inline constexpr Method UpCourseTable{
    "StudentUp", "UpCourseTable", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kCourseTable, "Manager"}, {kGradeSubjects, {}}})};

// The teachers' page: every column of JC_Teacher for the school's teachers, or those of one
// department (an empty code: all); sPass reads "******" when a password is set, else empty.
inline constexpr Method QTeacherByDept{"StudentQry", "QTeacherByDept", {schoolId, {"DeptCode", Kind::Text}, data}, Kind::None, Right::function(kTeachers)};
// (field name, value, data): sCode, sName, SchoolCode, iState of the teachers whose field holds
// the value; the only field is SchoolCode, and the value must be the user's school.
inline constexpr Method QTeacherByParam{
    "StudentQry", "QTeacherByParam", {{"FieldName", Kind::Text}, {"Value", Kind::Text}, data}, Kind::None, Right::signedIn()};
// (value, kind 0 login name, 1 mobile, 2 e-mail, the edited teacher's sCode or empty): the name
// of the teacher of any school who signs in with the value (as login, mobile or e-mail: sign-in
// takes all three), "其他学校的用户" for another school's; empty when it is free.
inline constexpr Method CheckLoginUsed{"StudentQry",
                                       "CheckLoginUsed",
                                       {{"Value", Kind::Text}, {"Kind", Kind::Integer}, {"TeacherCode", Kind::Text, Pass::In, true}},
                                       Kind::Text,
                                       Right::anyOf({{kTeachers, "Manager"}, {kTeachers, "Import"}})};
// JC_Teacher's change packet. Passwords: "******" or empty as read stands for the stored one; a
// new value must be an imported, enciphered password (stored as its hash). sRole, iUserType and
// the view-all flags are not changed here. The course table (4008/Manager) adds teachers by name
// only (sCode, sName, SchoolCode, iState).
inline constexpr Method UpTeacher{"StudentUp",
                                  "UpTeacher",
                                  {delta, maxErrors, errorCount},
                                  Kind::None,
                                  Right::anyOf({{kTeachers, "Manager"}, {kTeachers, "Import"}, {kCourseTable, "Manager"}})};
// One teacher's departments (JC_DeptTeacher): DepartCode, sDuty, SchoolCode, TeacherCode.
inline constexpr Method QDeptByTeacher{"StudentQry", "QDeptByTeacher", {schoolId, {"TeacherCode", Kind::Text}, data}, Kind::None, Right::signedIn()};
// JC_DeptTeacher's change packet; department and teacher must be the school's.
inline constexpr Method UpDeptTeacher{
    "StudentUp", "UpDeptTeacher", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kTeachers, "Manager"}, {kDepartments, "Manager"}})};

// (school, teacher sCode, role "2" … "6", 1 grant or 0 revoke): keeps JC_Teacher.sRole in step
// with the organisation tables. A grant needs the teacher to hold the duty (2 subject leader,
// 3 grade leader, 4 head teacher, 5 lesson-preparation leader, 6 subject teacher); a revoke takes
// the role away only when he holds that duty nowhere in the school. Role 1 is refused. Answers 1
// when sRole changed, 0 when it stays.
inline constexpr Method ARUserRoles{"SysUp",
                                    "ARUserRoles",
                                    {schoolId, {"TeacherCode", Kind::Text}, {"Role", Kind::Text}, {"Grant", Kind::Integer}},
                                    Kind::Integer,
                                    Right::key(kCourseTable, "Manager")};
// The headers (CJ_ExamTotal, every column) of the grade's school-wide exams that are not frozen,
// whose totals follow the grade's subjects; UpGradeSubject has already brought them up to date.
inline constexpr Method QExamTotalBySubject{"AchieveQry", "QExamTotalBySubject", {schoolId, intakeYearVar, gradeCodeArg, data}, Kind::None, Right::signedIn()};

// ---- StudentQry, StudentUp, AchieveQry: the student register --------------------------------------
inline constexpr Method QStudByClass{
    "StudentQry",
    "QStudByClass",
    {{"ClassCode", Kind::Text}, {"GradeCode", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}, schoolId, {"CurrentFlag", Kind::Text}, data},
    Kind::None,
    Right::signedIn()};
inline constexpr Method QStudByGrade{
    "StudentQry",
    "QStudByGrade",
    {{"GradeCode", Kind::Text}, {"InYear", Kind::TextOrInteger, Pass::Var}, schoolId, {"CurrentFlag", Kind::Text, Pass::Var}, {"UserCode", Kind::Text}, data},
    Kind::None,
    Right::signedIn()};
inline constexpr Method QFamily{"StudentQry", "QFamily", {schoolId, {"Filter", Kind::Text, Pass::Var}, data}, Kind::None, Right::signedIn()};
inline constexpr Method QStudentImage{
    "StudentQry",
    "QStudentImage",
    {schoolId, {"GradeCode", Kind::Text}, {"ClassCode", Kind::Text}, {"CurrentFlag", Kind::Text}, {"Unused", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}},
    Kind::DataPacket,
    Right::signedIn()};
inline constexpr Method QGradeClasses{
    "StudentQry", "QGradeClasses", {schoolId, {"InYear", Kind::TextOrInteger, Pass::Var}, {"GradeCode", Kind::Text}, data}, Kind::None, Right::signedIn()};
inline constexpr Method QTeachers{"StudentQry", "QTeachers", {schoolId, data}, Kind::None, Right::signedIn()};
inline constexpr Method QStudPicByCode{
    "StudentQry", "QStudPicByCode", {{"StudentCode", Kind::Text}, {"ImageType", Kind::Integer, Pass::Var}}, Kind::Text, Right::signedIn()};
inline constexpr Method QGradeClassNames{"StudentQry",
                                         "QGradeClassNames",
                                         {schoolId, {"InYear", Kind::Integer, Pass::Var}, {"GradeCode", Kind::Text, Pass::Var}, data},
                                         Kind::None,
                                         Right::signedIn()};
inline constexpr Method QStudPicForUp{
    "StudentQry",
    "QStudPicForUp",
    {schoolId, {"GradeCode", Kind::Text}, {"ClassCode", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}, {"ImageType", Kind::Integer}},
    Kind::DataPacket,
    Right::signedIn()};
inline constexpr Method QGetCard2{
    "StudentQry", "QGetCard2", {schoolId, {"GradeCode", Kind::Text, Pass::Var}, {"InYear", Kind::Integer, Pass::Var}}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method QMyMarkList{"AchieveQry", "QMyMarkList", {schoolId, {"StudentCode", Kind::Text}, data}, Kind::None, Right::signedIn()};
// Students are changed from the register (Manager), by its class change and by its import; which
// columns each of these may write is the method's to check.
inline constexpr Method UpStudent{"StudentUp",
                                  "UpStudent",
                                  {delta, maxErrors, errorCount},
                                  Kind::None,
                                  Right::anyOf({{kRegister, "Manager"}, {kRegister, "ChangeClass"}, {kRegister, "Import"}})};
inline constexpr Method UpFamily{
    "StudentUp", "UpFamily", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kRegister, "Manager"}, {kRegister, "Import"}})};
inline constexpr Method UpPicture{
    "StudentUp", "UpPicture", {delta, maxErrors, errorCount}, Kind::None, Right::anyOf({{kRegister, "Manager"}, {kRegister, "Import"}})};
// Mode 2 sets a student's password (SetPass of the register), any other a teacher's (of the
// teachers' page).
inline constexpr Method SetPass{"StudentUp",
                                "SetPass",
                                {schoolId, {"Code", Kind::Text}, {"Password", Kind::Text}, {"Mode", Kind::Integer, Pass::Var}},
                                Kind::Integer,
                                Right::anyOf({{kRegister, "SetPass"}, {kTeachers, "SetPass"}})};

// ---- AchieveQry, AchieveUp, StudentQry: exams ---------------------------------------------------
inline constexpr std::string_view kExamNames = "4005"; // 考试名称
inline constexpr std::string_view kSysExam = "4029";   // 创建综合考试
inline constexpr std::string_view kUnitExam = "4030";  // 创建单元考试
inline constexpr std::string_view kExamMrg = "4031";   // 考试管理

// The exam-name catalogue: the school's rows and the "SYSTEM" rows every school shares.
inline constexpr Method QExamInfo{"AchieveQry", "QExamInfo", {schoolId, data}, Kind::None, Right::signedIn()};
// The highest code in use over both, empty when there is none.
inline constexpr Method MaxExamID{"AchieveQry", "MaxExamID", {schoolId}, Kind::Text, Right::signedIn()};
inline constexpr Method UpExamInfo{"AchieveUp", "UpExamInfo", {delta, maxErrors, errorCount}, Kind::None, Right::key(kExamNames, "Manager")};
// Every subject of the grade; those of the exam carry its marks and Freeze true (selected).
inline constexpr Method QExamSubjects{"AchieveQry",
                                      "QExamSubjects",
                                      {schoolId,
                                       {"GradeCode", Kind::Text, Pass::Var},
                                       {"ExamCode", Kind::Text, Pass::Var},
                                       {"PageName", Kind::Text, Pass::Var},
                                       {"InYear", Kind::Integer, Pass::Var},
                                       data},
                                      Kind::None,
                                      Right::signedIn()};
// "ALL", or the subject codes the signed-in teacher teaches or leads in the grade, joined by ",".
inline constexpr Method QTeacherSubjects{"StudentQry",
                                         "QTeacherSubjects",
                                         {schoolId, {"GradeCode", Kind::Text}, {"UserCode", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}},
                                         Kind::Text,
                                         Right::signedIn()};
// The grade's classes the signed-in teacher heads or teaches.
inline constexpr Method QGradeClassesByCode{"StudentQry",
                                            "QGradeClassesByCode",
                                            {schoolId, {"GradeCode", Kind::Text}, {"UserCode", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}, data},
                                            Kind::None,
                                            Right::signedIn()};
// One exam (an exam code), or the exams of a grade or of a whole stage (no exam code) with their
// number of candidates; in place of the intake year, a stage's viewer list.
inline constexpr Method QExamTotal{
    "AchieveQry",
    "QExamTotal",
    {schoolId, {"GradeCode", Kind::Text}, {"ExamCode", Kind::Text}, {"PageName", Kind::Text}, {"InYear", Kind::TextOrInteger, Pass::Var}, data},
    Kind::None,
    Right::signedIn()};
inline constexpr Method QSameExamLast{"AchieveQry",
                                      "QSameExamLast",
                                      {schoolId, {"GradeCode", Kind::Text}, {"ExamCode", Kind::Text}, {"PageName", Kind::Text, Pass::Var}},
                                      Kind::DataPacket,
                                      Right::signedIn()};
inline constexpr Method QSameExamList{
    "AchieveQry", "QSameExamList", {schoolId, {"InYear", Kind::Integer, Pass::Var}, {"GradeCode", Kind::Text, Pass::Var}}, Kind::DataPacket, Right::signedIn()};
inline constexpr Method QExamSubjectForUp{
    "AchieveQry",
    "QExamSubjectForUp",
    {schoolId, {"GradeCode", Kind::Text}, {"ExamCode", Kind::Text}, {"PageName", Kind::Text}, {"InYear", Kind::Integer, Pass::Var}, data},
    Kind::None,
    Right::signedIn()};
// The scores stored for a subject (scores of 0 or below are none); without a subject code, the
// exam's candidates and scores together.
inline constexpr Method QCheckSubjectMark{"AchieveQry",
                                          "QCheckSubjectMark",
                                          {schoolId,
                                           {"GradeCode", Kind::Text},
                                           {"ExamCode", Kind::Text},
                                           {"PageName", Kind::Text},
                                           {"SubjectCode", Kind::Text},
                                           {"InYear", Kind::Integer, Pass::Var}},
                                          Kind::Integer,
                                          Right::signedIn()};
// Who may write an exam is the method's to check further: a unit exam is its teacher's, a
// school-wide one needs 4029 or the Manager of 4031; a frozen exam may only be unfrozen.
inline constexpr Method UpExamTotal{"AchieveUp",
                                    "UpExamTotal",
                                    {{"Header", Kind::ChangesOrNone}, {"Subjects", Kind::ChangesOrNone}, maxErrors, errorCount},
                                    Kind::None,
                                    Right::anyOf({{kSysExam, {}}, {kUnitExam, {}}, {kExamMrg, "Manager"}})};
inline constexpr Method UpExamStudents{
    "AchieveUp",
    "UpExamStudents",
    {schoolId, {"GradeCode", Kind::Text}, {"ExamCode", Kind::Text}, {"PageName", Kind::Text}, {"Classes", Kind::Text, Pass::Var}, {"InYear", Kind::Integer}},
    Kind::Integer,
    Right::anyOf({{kSysExam, {}}, {kUnitExam, {}}, {kExamMrg, "Manager"}})};
inline constexpr Method UpDeleteExam{"AchieveUp",
                                     "UpDeleteExam",
                                     {schoolId, {"GradeCode", Kind::Text}, {"ExamCode", Kind::Text}, {"PageName", Kind::Text}, {"InYear", Kind::Integer}},
                                     Kind::Text,
                                     Right::anyOf({{kSysExam, {}}, {kUnitExam, {}}, {kExamMrg, "Manager"}})};

// ---- AchieveQry, AchieveUp, StudentQry: the score sheet -------------------------------------------
inline constexpr std::string_view kScores = "4011"; // 成绩录入

inline constexpr Arg examCodeArg{"ExamCode", Kind::Text};
inline constexpr Arg pageNameVar{"PageName", Kind::Text, Pass::Var};
inline constexpr Arg inYearVar{"InYear", Kind::Integer, Pass::Var};
inline constexpr Arg examIdText{"ExamId", Kind::TextOrInteger};

// The exam's subject rows with their marks and weights, then one row for each total in use
// ("FUL", and "BAS", "MAI" where the exam has them) with the header's marks.
inline constexpr Method QExamSubjectAllPt{
    "AchieveQry", "QExamSubjectAllPt", {schoolId, {"GradeCode", Kind::Text}, examCodeArg, pageNameVar, inYearVar, data}, Kind::None, Right::signedIn()};
// The grade's subjects with their type and full mark.
inline constexpr Method QSubjects{"AchieveQry", "QSubjects", {schoolId, {"GradeCode", Kind::Text}, inYearVar, data}, Kind::None, Right::signedIn()};
// The letter shares of an exam (by its Id), one row per branch or one for the school.
inline constexpr Method QExamGradePer{"AchieveQry", "QExamGradePer", {examIdText}, Kind::DataPacket, Right::signedIn()};
// The classes of the exam's candidates with their numbers, as far as the user may see them.
inline constexpr Method QExamClassStuds{
    "AchieveQry", "QExamClassStuds", {schoolId, {"GradeCode", Kind::Text}, examCodeArg, pageNameVar, inYearVar}, Kind::DataPacket, Right::signedIn()};
// The score sheet: one row per candidate the user may see, with every subject's score, ranks,
// level and letter and the totals; and its upload image (scores only), which UpMark takes back.
inline constexpr Method QMark{"AchieveQry",
                              "QMark",
                              {schoolId,
                               {"GradeCode", Kind::Text},
                               examCodeArg,
                               pageNameVar,
                               {"ClassCodes", Kind::Text, Pass::Var},
                               {"SubjectFilter", Kind::Text, Pass::Var},
                               inYearVar,
                               data,
                               {"UpData", Kind::DataPacket, Pass::Out}},
                              Kind::None,
                              Right::function(kScores)};
// The exam's subject items (ranks in class and branch, level, letters), by the exam's Id.
inline constexpr Method QExamOrders{
    "AchieveQry", "QExamOrders", {examIdText, {"StudentCode", Kind::Text}, {"SubjectCode", Kind::Text}}, Kind::DataPacket, Right::function(kScores)};
// Every change of a stored score of an exam (by Id) or of a student: who, when, from what to what.
inline constexpr Method QMarkHistory{
    "AchieveQry", "QMarkHistory", {schoolId, examIdText, {"StudentCode", Kind::Text}, data}, Kind::None, Right::key(kScores, "Manager")};
// The grade's students who may sit the exam; Data brings "NotCurrYear" for a grade of the past.
inline constexpr Method QStudForDefine{
    "StudentQry", "QStudForDefine", {schoolId, inYearVar, {"GradeCode", Kind::Text}, {"Data", Kind::Any, Pass::Out}}, Kind::None, Right::signedIn()};
// The subject-class view (Selected, SubjectCode, ClassCode, ClassName, TeacherCode, TeacherName,
// InYear, GradeCode, SchoolCode): with a subject, every class of the grade, Selected where the
// course table has the subject in it; with an empty subject, the grade's course table lines of
// every subject (what the score page reads).
inline constexpr Method QSubjectClass{
    "StudentQry", "QSubjectClass", {schoolId, {"GradeCode", Kind::Text}, {"SubjectCode", Kind::Text}, inYearVar, data}, Kind::None, Right::signedIn()};

// The sheet's changed scores, candidates added and removed. Each changed score must still be what
// the sheet loaded; the method checks the exam, the deadline and the user's edit rights cell by cell.
inline constexpr Method UpMark{"AchieveUp", "UpMark", {delta, maxErrors, errorCount}, Kind::None, Right::function(kScores)};
// Totals and grade ranks of the listed columns, computed from the stored scores; 0 when done.
inline constexpr Method UpExamOrder{"AchieveUp",
                                    "UpExamOrder",
                                    {schoolId, {"GradeCode", Kind::Text}, examCodeArg, pageNameVar, {"FieldList", Kind::Text, Pass::Var}, inYearVar},
                                    Kind::Integer,
                                    Right::function(kScores)};
inline constexpr Method UpSubjectItems{"AchieveUp", "UpSubjectItems", {delta, maxErrors, errorCount}, Kind::None, Right::function(kScores)};
inline constexpr Method UpExamGradePer{"AchieveUp", "UpExamGradePer", {delta, maxErrors, errorCount}, Kind::None, Right::function(kScores)};

// ---- AchieveQry: the score analyses ----------------------------------------------------------------
// One exam's statistics, computed by the server (server/README.md, "Score analyses: QExamSum"):
// kind 0 the distribution, 1 the class, 2 the subject, 3 the teacher comparison. Settings is the
// dialog's settings text of that kind; Filter comes in as the score page's student filter text
// (null or "" for none) and goes back as the column definitions of the result (the fields of
// QFieldsByTable's rows); Data the result rows. The entry flag is the score page's and changes
// nothing. Refusals are messages, never an empty result.
inline constexpr Method QExamSum{"AchieveQry",
                                 "QExamSum",
                                 {schoolId,
                                  {"GradeCode", Kind::Text},
                                  examCodeArg,
                                  pageNameVar,
                                  {"EntryFlag", Kind::Text},
                                  inYearVar,
                                  {"Kind", Kind::Integer, Pass::Var},
                                  {"Settings", Kind::Text, Pass::Var},
                                  {"Filter", Kind::Any, Pass::Out},
                                  data},
                                 Kind::None,
                                 Right::function(kScores)};

// The teaching-quality report of an exam against an earlier one (server/README.md, "The
// teaching-quality report: QExamQuality"): per subject, a row per class, then the branches and the
// grade, with the class's teacher, average, rank and rates and how they changed since the earlier
// exam. Exam and LastExam are "GradeCode;ExamCode;PageName" of the intake; Filter the score page's
// student filter text (null or "" for none), which counts only when Range holds "已选名单";
// Subjects codes and FUL, MAI, BAS joined by ","; Range the ticked range captions joined by ",".
// Data holds the rows; counting nobody answers none.
inline constexpr Method QExamQuality{"AchieveQry",
                                     "QExamQuality",
                                     {schoolId,
                                      {"Exam", Kind::Text, Pass::Var},
                                      {"Filter", Kind::Any, Pass::Var},
                                      inYearVar,
                                      {"LastExam", Kind::Text, Pass::Var},
                                      {"Subjects", Kind::Text, Pass::Var},
                                      {"Range", Kind::Text, Pass::Var},
                                      data},
                                     Kind::None,
                                     Right::function(kScores)};

// ---- Progress between exams: AchieveQry -----------------------------------------------------------
// The exams a progress analysis can compare (server/README.md, "Progress between exams"): of the
// grade, or with a stage's one character of every grade of that stage, of the intake; one row per
// exam, the earliest first.
inline constexpr Method QExamList{"AchieveQry", "QExamList", {schoolId, {"GradeCode", Kind::Text}, inYearVar, data}, Kind::None, Right::function(kScores)};
// Each student's scores and ranks in the chosen exams side by side with their differences. Exams:
// "GradeCode;ExamCode;PageName" items as comma text, at least two, in the user's order; Subjects:
// subject codes and FUL, MAI, BAS joined by ","; ClassCodes: "" or the classes to show. Mode is 0.
inline constexpr Method QExamUpDown{"AchieveQry",
                                    "QExamUpDown",
                                    {schoolId,
                                     {"Exams", Kind::Text, Pass::Var},
                                     {"Subjects", Kind::Text, Pass::Var},
                                     {"ClassCodes", Kind::Text, Pass::Var},
                                     inYearVar,
                                     {"Mode", Kind::Integer},
                                     data},
                                    Kind::None,
                                    Right::function(kScores)};
// The rows of QExamUpDown, and as the result the chart detail: a row per student, exam and subject.
inline constexpr Method QExamUDLine{"AchieveQry",
                                    "QExamUDLine",
                                    {schoolId,
                                     {"Exams", Kind::Text, Pass::Var},
                                     {"Subjects", Kind::Text, Pass::Var},
                                     {"ClassCodes", Kind::Text, Pass::Var},
                                     {"GradeCode", Kind::Text},
                                     inYearVar,
                                     data},
                                    Kind::DataPacket,
                                    Right::function(kScores)};

// ---- Questions of an exam's subject: AchieveQry, AchieveUp ---------------------------------------
// (server/README.md, "Questions and their analysis"). The exam by its identity as on the score
// sheet, then the subject code.
// The subject's questions in order: QuestionNo, iOrder, FullMark, bObjective, sKnowledge, and
// nScored, the students with a score on the question.
inline constexpr Method QExamQuestions{"AchieveQry",
                                       "QExamQuestions",
                                       {schoolId, gradeCodeArg, examCodeArg, pageNameVar, inYearVar, {"SubjectCode", Kind::Text}, data},
                                       Kind::None,
                                       Right::function(kScores)};
// The sheet of question scores: a row per candidate the user sees (StudentCode, sNO, sName,
// ClassCode, ClassName, Score — the subject score) with a column "Q_" + QuestionNo per question.
inline constexpr Method QQuestionSheet{"AchieveQry",
                                       "QQuestionSheet",
                                       {schoolId, gradeCodeArg, examCodeArg, pageNameVar, inYearVar, {"SubjectCode", Kind::Text}, data},
                                       Kind::None,
                                       Right::function(kScores)};
// Replaces the subject's question list with Questions (QuestionNo, FullMark, bObjective,
// sKnowledge, in order). A question that has scores keeps its number and a full mark at least its
// highest score. Answers the number of questions; refusals are messages and change nothing.
inline constexpr Method UpExamQuestions{
    "AchieveUp",
    "UpExamQuestions",
    {schoolId, gradeCodeArg, examCodeArg, pageNameVar, inYearVar, {"SubjectCode", Kind::Text}, {"Questions", Kind::DataPacket}},
    Kind::Integer,
    Right::function(kScores)};
// Stores question scores: Sheet has StudentCode and a column "Q_" + QuestionNo per question. Each
// student's question scores replace his stored ones and must add up to his subject score; when one
// does not, or a value is out of range, every mismatch is listed and nothing is stored. A row with
// no question score clears the student's. Answers the number of students stored.
inline constexpr Method UpQuestionMarks{"AchieveUp",
                                        "UpQuestionMarks",
                                        {schoolId, gradeCodeArg, examCodeArg, pageNameVar, inYearVar, {"SubjectCode", Kind::Text}, {"Sheet", Kind::DataPacket}},
                                        Kind::Integer,
                                        Right::function(kScores)};
// Kind 0: a row per question with its difficulty, discrimination and score rate per class; kind 1:
// the 一分一段 table of Subject (a subject code or FUL, MAI, BAS). Fields: the column definitions
// (as QFieldsByTable's rows); Data: the rows. Over the candidates the user sees.
inline constexpr Method QItemAnalysis{"AchieveQry",
                                      "QItemAnalysis",
                                      {schoolId,
                                       gradeCodeArg,
                                       examCodeArg,
                                       pageNameVar,
                                       inYearVar,
                                       {"SubjectCode", Kind::Text},
                                       {"Kind", Kind::Integer},
                                       {"Fields", Kind::DataPacket, Pass::Out},
                                       data},
                                      Kind::None,
                                      Right::function(kScores)};

// ---- Score notices: StudentQry, StudentUp: scores sent to the families' mobiles -----------------------
// The school's outgoing messages (XT_SendMsg), which a page only appends to: an empty packet with
// the table's fields.
inline constexpr Method QSendMsgForUp{"StudentQry", "QSendMsgForUp", {schoolId, data}, Kind::None, Right::signedIn()};
// The families' subscriptions (XT_SMSOrder) of the grade's students the user may see: code,
// smsState (above 0: active), mobile, mobile2. ClassList: class codes "001,002"; empty for all.
inline constexpr Method QSMSOrderForUp{"StudentQry",
                                       "QSMSOrderForUp",
                                       {schoolId, {"GradeCode", Kind::Text}, {"ClassList", Kind::Text, Pass::Var}, inYearVar, data},
                                       Kind::None,
                                       Right::signedIn()};
// New outgoing messages of the user's school, sent as the signed-in teacher; nothing else is
// changed or withdrawn through it.
inline constexpr Method UpSendMsg{"StudentUp", "UpSendMsg", {delta, maxErrors, errorCount}, Kind::None, Right::function(kScores)};

// ---- School year: StudentQry, StudentUp: defining a grade, promoting grades and undoing it ----------
inline constexpr std::string_view kUpGrade = "4013"; // 年级升级

// (school type, var grade, out next): "1801:八年级", the catalogue's next grade of the school type
// and its name; empty when the grade has none (a graduating grade, or a code the catalogue lacks).
inline constexpr Method QNextGrade{"StudentQry",
                                   "QNextGrade",
                                   {{"SchoolType", Kind::Text}, {"GradeCode", Kind::Text, Pass::Var}, {"Next", Kind::Text, Pass::Out}},
                                   Kind::Text,
                                   Right::signedIn()};
// The grade definition wizard's save: the grade record (XJ_Grade), its subjects (XJ_GradeSubject)
// and its classes (XJ_GradeClass) of one grade, each packet or null, stored in one transaction and
// with the rules of UpGrade, UpGradeSubject and UpGradeClass: all three or nothing. A history grade
// is not changed; a grade the call defines or whose subjects or classes it changes keeps at least
// one subject and one class.
inline constexpr Method UpGradeDefine{
    "StudentUp",
    "UpGradeDefine",
    {{"Grade", Kind::ChangesOrNone}, {"Subjects", Kind::ChangesOrNone}, {"Classes", Kind::ChangesOrNone}, maxErrors, errorCount},
    Kind::None,
    Right::function(kGradeDefine)};
// (school, var grade, var next grade, var school year "2026~2027学年", var intake year, mode):
// mode 0 promotes the intake's grade into the next one in that school year, mode 1 undoes the
// intake's latest promotion (every stream of that year of schooling). Answers 1 when done, 0 with
// the reason in the reply's message when refused; either way one transaction, all or nothing.
inline constexpr Method UpGradeLevel{"StudentUp",
                                     "UpGradeLevel",
                                     {schoolId,
                                      {"GradeCode", Kind::Text, Pass::Var},
                                      {"NextGrade", Kind::Text, Pass::Var},
                                      {"SchoolYear", Kind::Text, Pass::Var},
                                      {"InYear", Kind::Integer, Pass::Var},
                                      {"Mode", Kind::Integer}},
                                     Kind::Integer,
                                     Right::function(kUpGrade)};
// (school, var grade, var intake year, mode): mode 0 graduates the intake's last grade of its
// stage, mode 1 undoes the intake's latest graduation. Answers 1 when done, 0 when refused.
inline constexpr Method SetGraduate{"StudentUp",
                                    "SetGraduate",
                                    {schoolId, {"GradeCode", Kind::Text, Pass::Var}, {"InYear", Kind::Integer, Pass::Var}, {"Mode", Kind::Integer}},
                                    Kind::Integer,
                                    Right::function(kUpGrade)};

// ---- AchieveQry, AchieveUp: P values (CJ_ZLPG_P, CJ_ZLPG_PDetail) ----------------------------------
inline constexpr std::string_view kPValue = "4032"; // P值

// (school, exam, mode): mode 1 (the dialog) the record of the exam whose header Id Exam names;
// mode 0 (the page) the records of the key text "InYear,GradeCode,ExamCode", or every record of
// the school for "". Every column of CJ_ZLPG_P, and for the page the exam's name (ExamName).
inline constexpr Method QPVal{
    "AchieveQry", "QPVal", {schoolId, {"Exam", Kind::TextOrInteger}, {"Mode", Kind::Integer, Pass::Var}}, Kind::DataPacket, Right::function(kPValue)};
// (school, record NID): the record's detail rows, one per all-subject entry; none for 0.
inline constexpr Method QPValDetail{"AchieveQry", "QPValDetail", {schoolId, {"RecordId", Kind::Integer}}, Kind::DataPacket, Right::function(kPValue)};
// CJ_ZLPG_P's change packet: new records and their settings; the counts, P′ and P are CalPVal's,
// a record goes with DelPVal. One record per school-wide exam.
inline constexpr Method UpPVal{"AchieveUp", "UpPVal", {delta, maxErrors, errorCount}, Kind::None, Right::key(kPValue, "Manager")};
// (school, var "nExamId" or "nExamId;roster", intake year): counts the exam's students as the
// record's settings say and evaluates its two formulas. Answers 0 when stored, 1 when the settings
// cannot be read, 2 when the counts cannot be made, 3 when a formula cannot be evaluated; only 0
// stores anything. The reason of 1 to 3 is in the reply's message.
inline constexpr Method CalPVal{
    "AchieveUp", "CalPVal", {schoolId, {"ExamKey", Kind::Text, Pass::Var}, {"InYear", Kind::Integer}}, Kind::Integer, Right::key(kPValue, "Manager")};
// (school, record NID): deletes the record with its detail rows; answers how many records went.
inline constexpr Method DelPVal{"AchieveUp", "DelPVal", {schoolId, {"RecordId", Kind::Integer}}, Kind::Integer, Right::key(kPValue, "Manager")};

// Every declaration above, for walking them (the server's registration check, lumeko-cli methods).
LUMEKO_WIRE_EXPORT std::span<const Method *const> allMethods();
// The declaration of object.method (names compared without regard to case); null when none.
LUMEKO_WIRE_EXPORT const Method *findMethod(const QString &object, const QString &method);

} // namespace lumeko::wire::protocol
