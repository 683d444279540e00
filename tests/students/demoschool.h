#pragma once
// A small demo school (about a twentieth of the real one) beside the fixture school, with the
// reference data's own column definitions; its administrator signs in as "admin2" / "lumeko".

#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "server/storage/database.h"

namespace lumeko::students::testing {

inline void seedSmallDemoSchool(server::Database &db)
{
    server::DemoOptions demo;
    demo.scale = 0.05;
    demo.schoolId = "D1";
    demo.today = QDate(2026, 12, 6);
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
    db.exec("DELETE FROM \"XT_Fields\""); // the fixture's short definitions give way to the real ones
    server::seedDemoSchool(db, demo);
}

} // namespace lumeko::students::testing
