#pragma once
// The score methods come in two units: the sheet's queries and its updates.

namespace lumeko::server {

class Service;

void registerScoreSheetQueries(Service &service); // scoresheet.cpp
void registerScoreUpdates(Service &service);      // scoreupdates.cpp

} // namespace lumeko::server
