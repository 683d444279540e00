#pragma once
// The method modules of the server objects, each filled by the unit of its subject.

#include "server/methods/methods_export.h"

namespace lumeko::server {

class Service;

LUMEKO_METHODS_EXPORT void registerSessionMethods(Service &service);      // Session: sign-in, context and the host's data
LUMEKO_METHODS_EXPORT void registerSysMethods(Service &service);          // SysQry, SysUp: registry, field definitions, log, files
LUMEKO_METHODS_EXPORT void registerOrganisationMethods(Service &service); // StudentQry, StudentUp: departments, classes, grades ...
LUMEKO_METHODS_EXPORT void registerStudentMethods(Service &service);      // StudentQry, StudentUp, AchieveQry: the student register

LUMEKO_METHODS_EXPORT void registerExamMethods(Service &service);  // AchieveQry, AchieveUp: the exam catalogue, exams and rosters
LUMEKO_METHODS_EXPORT void registerScoreMethods(Service &service); // AchieveQry, AchieveUp: the score sheet and its history
LUMEKO_METHODS_EXPORT void registerAnalysisMethods(Service &service); // AchieveQry: the score analyses (QExamSum)
LUMEKO_METHODS_EXPORT void registerProgressMethods(Service &service); // AchieveQry: progress between exams
LUMEKO_METHODS_EXPORT void registerQuestionMethods(Service &service); // AchieveQry, AchieveUp: an exam's questions and their analysis
LUMEKO_METHODS_EXPORT void registerNoticeMethods(Service &service); // StudentQry, StudentUp: score notices to the families' mobiles
LUMEKO_METHODS_EXPORT void registerSchoolYearMethods(Service &service); // StudentQry, StudentUp: defining grades, promotion and its undo
LUMEKO_METHODS_EXPORT void registerPValueMethods(Service &service);     // AchieveQry, AchieveUp: the P-value evaluation

// Every module above: what a school's server serves.
LUMEKO_METHODS_EXPORT void installSchoolMethods(Service &service);

} // namespace lumeko::server
