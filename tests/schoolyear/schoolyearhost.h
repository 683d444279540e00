#pragma once
// What the school-year suites share: a link that records which methods the dialogs call (and can
// break one call, as a lost connection would), the demo school on either back end with a clock the
// test sets, a dump of every table to compare a database with itself later, and an analysis of the
// stored exams the way the score reports read them.

#include "host/pub/provider.h"
#include "qstringprint.h"
#include "scriptedprovider.h"
#include "server/core/service.h"
#include "server/seed/seed.h"
#include "testdb.h"
#include "wire/link.h"

#include <QMap>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace lumeko::schoolyear::testing {

// Hands calls to a service and writes down each method's name; `breakMethod` makes one call of
// that method fail without an answer, as a dropped connection does.
class RecordingService final : public wire::CallService {
public:
    explicit RecordingService(wire::CallService &inner) : m_inner(inner) {}
    wire::Reply handle(wire::Call &call, const wire::CallOrigin &origin) override;

    QStringList methods;
    QString breakMethod;
    int breakAtCall = 1; // the how-many-th call of breakMethod fails

private:
    wire::CallService &m_inner;
    int m_seen = 0;
};

// Every row of every table but those that record the operations themselves (the operation log and
// the promotion journal), each row as one text, sorted: two dumps are equal exactly when the
// tables hold the same rows.
using TableDump = QMap<QString, QStringList>;
TableDump dumpTables(server::Database &db);
inline const QStringList kOperationRecords = {QStringLiteral("XT_Log"), QStringLiteral("XT_GradeJournal"), QStringLiteral("XT_GradeJournalRow")};

// Per exam and the class each candidate sat it in: candidates, their totals, the best and worst
// total rank, the scores, their sum and how many are above 60; one text per line, in order.
QStringList examAnalysis(server::Database &db, const QString &school);

// The demo school as it stood in June 2025 (school year 2024~2025), small, on a back end, with the
// server's clock and the dialogs' date in September 2025, signed in as its administrator through
// the host services.
class DemoSchoolHost : public ::testing::TestWithParam<server::Backend> {
protected:
    void SetUp() override;
    void TearDown() override;
    void setToday(const QDate &day);
    server::Database &db() { return m_service->connection(); }
    QString school() const { return m_school; }
    qint64 count(const QString &sql, const QVariantList &params = {}) { return db().scalar(sql, params).toLongLong(); }
    // The lines of the school's operation log, oldest first.
    QStringList operationLog();

    pub::testing::ScriptedProvider host;
    std::unique_ptr<RecordingService> recorder;
    QList<int> pauses; // the pauses between promoted grades, in milliseconds
    QDateTime now;

private:
    std::unique_ptr<server::testing::TestDatabase> m_testDb;
    std::unique_ptr<server::Service> m_service;
    std::unique_ptr<wire::LocalLink> m_link;
    QString m_school;
};

} // namespace lumeko::schoolyear::testing
