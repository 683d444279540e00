#pragma once
// What the register suites put into the fixture school's database: their own short list of the
// register's columns, or a small demo school with the real ones.

#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "server/storage/database.h"

#include <tuple>

namespace lumeko::students::testing {

// Replaces the register's column definitions with these (name, caption, type letter), in order.
inline void defineRegisterColumns(server::Database &db, std::initializer_list<std::tuple<const char *, const char *, const char *>> columns)
{
    db.exec("DELETE FROM \"XT_Fields\" WHERE \"sTable\" = 'XJ_Student'");
    const QString fld = "INSERT INTO \"XT_Fields\" (\"sTable\", \"sFldName\", \"iOrder\", \"sFldCaption\", \"bShowed\", \"nWidth\", \"sFieldType\") "
                        "VALUES ('XJ_Student', ?, ?, ?, ?, ?, ?)";
    int order = 0;
    for (const auto &[name, caption, type] : columns)
        db.exec(fld, {QString::fromLatin1(name), ++order, QString::fromUtf8(caption), true, 8, QString::fromLatin1(type)});
}

// A small demo school (about a twentieth of the real one) beside the fixture school, with the
// reference data's own column definitions; its administrator signs in as "admin2" / "lumeko".
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
