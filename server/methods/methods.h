#pragma once
// The method tables of the server objects, each filled by the unit of its subject.

namespace lumeko::server {

class Service;

void registerSessionMethods(Service &service); // Session: sign-in, context and the host's data
void registerSysMethods(Service &service);     // SysQry, SysUp: registry, field definitions, log, files
void registerOrganisationMethods(Service &service); // StudentQry, StudentUp: departments, classes, grades ...
void registerStudentMethods(Service &service); // StudentQry, StudentUp, AchieveQry: the student register

} // namespace lumeko::server
