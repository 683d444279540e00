#pragma once
// What a school database starts with. seedSystemData adds the reference data that the pages rely on
// (registry lists and values, field definitions, grade names per school type, the function tree of
// the rights packet with its role grants, the shared exam names). seedDemoSchool generates a whole
// junior-and-senior secondary school with students, teachers, exams and scores, for trying the
// system out and for tests.

#include "server/seed/seed_export.h"
#include "server/storage/database.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

namespace lumeko::server {

// Inserts the reference data a database has not received yet, in a transaction of its own; run it
// after the schema is created or upgraded. Rows that already exist are left as they are, and rows an
// administrator deleted stay deleted: the database remembers the level of reference data it holds
// (registry "Lumeko" / "SystemDataLevel") and only rows of a newer level are added. Throws
// StorageError.
LUMEKO_SEED_EXPORT void seedSystemData(Database &db);

struct DemoOptions {
    quint32 seed = 20120901;
    // Turns a password into the text stored in JC_Teacher.sPass; only the demo accounts get one.
    std::function<QString(const QString &)> hashPassword;
    QString schoolId = QStringLiteral("440300001");
    // 1.0 gives about 2,400 current students, 8 to 10 classes per grade and about 140 teachers;
    // smaller values shrink the school proportionally (at least two classes per grade).
    double scale = 1.0;
    // The day the school is generated for: it fixes the current school year, the intake years and
    // which exams have been held. Invalid means today.
    QDate today;
};

// A sign-in the demo school offers, with its password in clear for the person trying the system.
struct DemoAccount {
    QString login;
    QString password;
    QString name;
    QString roles;       // JC_Teacher.sRole, role numbers joined by ","
    QString description; // one line: who this is in the school
};

// A student of the demo school with a known password, for the score query page (/query/): he or
// his parents sign in with his student number.
struct DemoStudent {
    QString sno;
    QString password;
    QString name;
    QString description; // one line: his class and what he can read there
};

// Generates the demo school in one transaction (adding the reference data first when it is
// missing) and returns the accounts with known passwords, the administrator first. The same options
// always give the same school. Throws StorageError when the school id is already in use or when no
// password hashing is given.
LUMEKO_SEED_EXPORT QList<DemoAccount> seedDemoSchool(Database &db, const DemoOptions &options);
// The same, and the students it gave known passwords. The demo school publishes the latest exam
// of a current grade (the youngest junior grade when it has held one) with scores and ranks, and
// gives three students of that grade's first class who sat it a password.
LUMEKO_SEED_EXPORT QList<DemoAccount> seedDemoSchool(Database &db, const DemoOptions &options, QList<DemoStudent> *students);

} // namespace lumeko::server
