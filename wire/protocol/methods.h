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
inline constexpr Method UpDept{"StudentUp", "UpDept", {delta, maxErrors, errorCount}, Kind::None, Right::key(kDepartments, "Manager")};

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

// Every declaration above, for walking them (the server's registration check, lumeko-cli methods).
LUMEKO_WIRE_EXPORT std::span<const Method *const> allMethods();
// The declaration of object.method (names compared without regard to case); null when none.
LUMEKO_WIRE_EXPORT const Method *findMethod(const QString &object, const QString &method);

} // namespace lumeko::wire::protocol
