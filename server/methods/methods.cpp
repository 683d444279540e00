#include "server/methods/methods.h"

namespace lumeko::server {

void installSchoolMethods(Service &service)
{
    registerSessionMethods(service);
    registerSysMethods(service);
    registerOrganisationMethods(service);
    registerStudentMethods(service);
    registerExamMethods(service);
    registerScoreMethods(service);
    registerAnalysisMethods(service);
    registerProgressMethods(service);
    registerQuestionMethods(service);
    registerNoticeMethods(service);
    registerSchoolYearMethods(service);
    registerPValueMethods(service);
}

} // namespace lumeko::server
