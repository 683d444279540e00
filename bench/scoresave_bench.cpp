// Saving a whole score sheet: a school-wide exam of 3,750 candidates and 12 subjects (45,000
// scores) in an embedded service, every score of every student changed at once.
//
//   ours  AchieveUp.UpMark with the change packet the page sends (the upload image of QMark, every
//         row modified), then AchieveUp.UpExamOrder of every total and subject: what 保存 does.
//         UpMark checks each cell against what the sheet loaded and the user's rights, stores the
//         scores and a history line per score in one transaction; UpExamOrder derives the totals
//         and the grade ranks from the stored scores.
//   base  a raw batched upsert of the same 45,000 (examId, StudentCode, SubjectCode, score) rows
//         in one transaction (INSERT … ON CONFLICT … DO UPDATE through Database::execValues).
//
// Only the save is timed: the sheet is read with QMark and the change packet (or the baseline's
// rows) built outside the timed part. Each round of either side stores a new sheet of scores that
// differs from the stored one in every cell. Reported per iteration: ours_ns, base_ns, ratio
// (ours / base), and ours' two calls apart as upmark_ns and order_ns. After every save, outside
// the timed part, the stored scores are read back and compared with what was sent; after ours,
// the candidates' three totals too.
//
// BM_SaveSheetSqlite runs on a temporary SQLite file; BM_SaveSheetPostgres on a database of its
// own made from LUMEKO_BENCH_PG (default postgresql:///postgres), left out with a message when
// that server does not answer.

#include "examschool.h"
#include "pairclock.h"
#include "scratchdatabase.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cmath>
#include <cstdio>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using server::Backend;
using server::Database;
using wire::FieldType;

// Where the stored scores differ from the sheet sent; empty when they agree.
QString compareStored(ExamSchool &school, const std::vector<double> &sent)
{
    const std::vector<double> stored = school.storedScores();
    for (std::size_t cell = 0; cell < sent.size(); ++cell)
        if (!(stored[cell] == sent[cell]))
            return QStringLiteral("student %1, subject %2: %3 stored, %4 sent")
                .arg(school.students()[qsizetype(cell / ExamSchool::kSubjects)], school.subjects()[qsizetype(cell % ExamSchool::kSubjects)])
                .arg(stored[cell])
                .arg(sent[cell]);
    return {};
}

// The totals UpExamOrder stored against the sums of the sheet: every subject, the base subjects
// (the first three) and the base and main ones (the first six).
QString compareTotals(ExamSchool &school, const std::vector<double> &sent)
{
    const wire::DataPacket rows = school.db().select(
        QStringLiteral("SELECT \"StudentCode\", \"FullTotal\", \"BaseTotal\", \"MainTotal\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {school.examId()},
        {{"StudentCode", FieldType::Text, 0, 0},
         {"FullTotal", FieldType::Float, 0, 0},
         {"BaseTotal", FieldType::Float, 0, 0},
         {"MainTotal", FieldType::Float, 0, 0}});
    if (rows.rowCount() != ExamSchool::kStudents) return QStringLiteral("%1 candidates stored").arg(rows.rowCount());
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const int i = school.studentIndex(rows.column(0).textAt(r));
        if (i < 0) return QStringLiteral("an unknown candidate %1").arg(rows.column(0).textAt(r));
        double sums[3] = {0, 0, 0};
        for (int j = 0; j < ExamSchool::kSubjects; ++j) {
            const double v = sent[std::size_t(i) * ExamSchool::kSubjects + std::size_t(j)];
            sums[0] += v;
            if (j < 3) sums[1] += v;
            if (j < 6) sums[2] += v;
        }
        for (int t = 0; t < 3; ++t)
            if (rows.column(t + 1).isNull(r) || rows.column(t + 1).floatAt(r) != sums[t])
                return QStringLiteral("%1: total %2 is %3, the scores add up to %4")
                    .arg(rows.column(0).textAt(r))
                    .arg(t)
                    .arg(rows.value(r, t + 1).toString())
                    .arg(sums[t]);
    }
    return {};
}

void saveSheet(benchmark::State &state, Backend backend)
{
    try {
        ScratchDatabase scratch(backend, QStringLiteral("lumeko_bench_scoresave"));
        ExamSchool school(scratch.url());
        // The sheet as it stands before the teachers' corrections: scores stored, totals and ranks derived.
        std::vector<double> stored = school.nextScores(1);
        school.storeScores(stored);
        QString message;
        if (!school.upExamOrder(&message)) throw std::runtime_error("UpExamOrder failed on the first sheet: " + message.toStdString());

        Database &db = school.db();
        const QString upsertHead = QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\")");
        const QString upsertTail = QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\", \"SubjectCode\") DO UPDATE SET \"score\" = excluded.\"score\"");
        std::uint32_t round = 2;
        PairClock clock;
        double upMarkNs = 0, orderNs = 0;
        QString failure;
        for (auto _ : state) {
            clock.runSides(
                state,
                [&] {
                    wire::Reply reply = school.qMarkReply();
                    const ExamSchool::Sheet sheet = school.takeSheet(reply);
                    const std::vector<double> next = school.nextScores(round++, &stored);
                    wire::ChangePacket packet = school.changePacket(sheet.upload, next);
                    if (!reply.ok() || packet.rows.size() != ExamSchool::kStudents)
                        failure = QStringLiteral("QMark gave %1 rows: %2").arg(packet.rows.size()).arg(reply.message);
                    qint64 refused = -1;
                    bool ordered = false;
                    QString upMessage, orderMessage;
                    const double up = elapsedNs([&] { refused = school.upMark(std::move(packet), &upMessage); });
                    const double order = elapsedNs([&] { ordered = school.upExamOrder(&orderMessage); });
                    upMarkNs += up;
                    orderNs += order;
                    if (refused != 0)
                        failure = QStringLiteral("UpMark refused %1 rows: %2").arg(refused).arg(upMessage.left(300));
                    else if (!ordered)
                        failure = QStringLiteral("UpExamOrder: %1").arg(orderMessage);
                    else if (const QString why = compareStored(school, next); !why.isEmpty())
                        failure = QStringLiteral("after UpMark, ") + why;
                    else if (const QString why = compareTotals(school, next); !why.isEmpty())
                        failure = QStringLiteral("after UpExamOrder, ") + why;
                    stored = next;
                    return up + order;
                },
                [&] {
                    const std::vector<double> next = school.nextScores(round++, &stored);
                    QList<QVariantList> rows;
                    rows.reserve(ExamSchool::kCells);
                    for (int i = 0; i < ExamSchool::kStudents; ++i)
                        for (int j = 0; j < ExamSchool::kSubjects; ++j)
                            rows.append(
                                {school.examId(), school.students()[i], school.subjects()[j], next[std::size_t(i) * ExamSchool::kSubjects + std::size_t(j)]});
                    const double ns = elapsedNs([&] {
                        server::Transaction tx(db);
                        db.execValues(upsertHead, 4, rows, upsertTail);
                        tx.commit();
                    });
                    if (const QString why = compareStored(school, next); !why.isEmpty()) failure = QStringLiteral("after the upsert, ") + why;
                    stored = next;
                    return ns;
                });
            if (!failure.isEmpty()) break;
        }
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
        clock.report(state);
        state.counters["upmark_ns"] = clock.runs() ? upMarkNs / double(clock.runs()) : 0;
        state.counters["order_ns"] = clock.runs() ? orderNs / double(clock.runs()) : 0;
        state.counters["scores"] = double(ExamSchool::kCells);
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // A few iterations keep each benchmark to seconds; each back end gets a school of its own.
    registerOnBothBackends("BM_SaveSheet", saveSheet, 3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
