// Ranking a city's joint exam: 50,000 students in 500 classes of 4 branches, 12 subjects and the
// three totals (15 columns), every column ranked in the grade, in each class and in each branch,
// with the letters of the grade and branch ranks. Ours is the scoring engine's SheetRanker; the
// baselines are
//   BM_RankingVsSort        a bare std::sort (highest first) of copies of the 15 score columns,
//                           the copies made outside the timed part
//   BM_RankingVsSqlite      the three ranks written as SQL window functions, RANK() OVER
//   BM_RankingVsPostgres    (PARTITION BY … ORDER BY score DESC), one statement per column over
//                           a narrow table of one row per student and column (indexed by column
//                           and score in each scope), read back into vectors
// Each runs ours and the baseline alternately in the same iterations and reports ours_ns, base_ns,
// ratio (ours / base) and base_over_ours. Outside the timed part every benchmark checks ours
// against its baseline: the sorted columns hold each score at the position of its grade rank, and
// the SQL ranks equal ours in every row and column, in the grade, the class and the branch; the
// letters are those the scoring rules give those ranks.
//
// The scores come from a fixed seed: half points, a subject's full mark of 150 or 100, some empty
// scores (absent students), totals as the sums of the subjects by their type. The PostgreSQL
// benchmark runs on a database of its own made from LUMEKO_BENCH_PG (default
// postgresql:///postgres) and is left out, with a message, when that server does not answer.

#include "domain/scoring.h"
#include "domain/sheetranker.h"
#include "server/storage/database.h"

#include "pairclock.h"
#include "scratchdatabase.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <span>
#include <vector>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using domain::ColumnRanks;
using domain::kNoScore;
using domain::LetterRules;
using domain::LetterShares;
using domain::SheetRanker;
using server::Backend;
using server::Database;
using wire::FieldType;

constexpr int kStudents = 50'000;
constexpr int kClasses = 500;
constexpr int kBranches = 4;
constexpr int kSubjects = 12;
constexpr int kColumns = kSubjects + 3; // the subjects, then the full, main and base totals

// ---- the exam ------------------------------------------------------------------------------------------

struct JointExam {
    std::vector<int> classOf, branchOf;       // 100 students a class, 125 classes a branch
    std::vector<std::vector<double>> columns; // kColumns columns of kStudents scores
    LetterRules letters;
    qsizetype scored = 0; // scores that are not empty, over every column
};

// Only the raw output of std::mt19937 is used: its sequence is fixed by the standard, the
// library's distributions are not.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : m_rng(seed) {}
    double uniform() { return double(m_rng()) / 4294967296.0; }
    // About normal, mean 0 and deviation 1 (the sum of four uniforms).
    double normal() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.7320508; }
    std::uint32_t below(std::uint32_t n) { return m_rng() % n; }

private:
    std::mt19937 m_rng;
};

JointExam makeExam()
{
    JointExam x;
    Dice dice(20260615u);
    x.classOf.resize(kStudents);
    x.branchOf.resize(kStudents);
    for (int i = 0; i < kStudents; ++i) {
        x.classOf[std::size_t(i)] = i / (kStudents / kClasses);
        x.branchOf[std::size_t(i)] = x.classOf[std::size_t(i)] / (kClasses / kBranches);
    }
    std::vector<double> classLevel(kClasses);
    for (double &l : classLevel)
        l = dice.normal();

    // 语文, 数学, 英语 (150, base subjects), three main subjects and six others (100).
    const std::array<double, kSubjects> fullMark{150, 150, 150, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    const std::array<int, kSubjects> subjectType{0, 0, 0, 1, 1, 1, 2, 2, 2, 2, 2, 2};
    x.columns.assign(kSubjects, std::vector<double>(kStudents, kNoScore));
    for (int i = 0; i < kStudents; ++i) {
        const double ability = dice.normal();
        const bool absent = dice.below(400) == 0; // missed the whole exam
        for (int j = 0; j < kSubjects; ++j) {
            const double noise = dice.normal();
            if (absent || dice.below(1000) < 12) continue; // an empty score
            const double share = 0.66 + 0.12 * ability + 0.04 * classLevel[std::size_t(x.classOf[std::size_t(i)])] + 0.07 * noise;
            const double full = fullMark[std::size_t(j)];
            x.columns[std::size_t(j)][std::size_t(i)] = std::clamp(std::round(share * full * 2.0) / 2.0, 0.0, full);
        }
    }
    std::vector<std::span<const double>> subjects(x.columns.begin(), x.columns.end());
    domain::TotalColumns totals = domain::totalColumns(subjects, subjectType);
    x.columns.push_back(std::move(totals.full));
    x.columns.push_back(std::move(totals.main));
    x.columns.push_back(std::move(totals.base));
    for (const auto &c : x.columns)
        x.scored += std::count_if(c.begin(), c.end(), [](double v) { return domain::isScored(v); });

    x.letters.grade = LetterShares{15, 35, 30, 15, 5};
    x.letters.perBranch = {LetterShares{15, 35, 30, 15, 5}, LetterShares{10, 30, 35, 20, 5}, LetterShares{20, 30, 30, 15, 5}, LetterShares{15, 30, 35, 15, 5}};
    return x;
}

const JointExam &exam()
{
    static const JointExam x = makeExam();
    return x;
}

// Ours: one ranker for the sheet, every column ranked in all three scopes with its letters.
void rankAll(const JointExam &x, std::vector<ColumnRanks> &out)
{
    const SheetRanker ranker(x.classOf, x.branchOf);
    out.resize(kColumns);
    for (int c = 0; c < kColumns; ++c)
        ranker.rank(x.columns[std::size_t(c)], x.letters, out[std::size_t(c)]);
}

// ---- against std::sort -------------------------------------------------------------------------------

// The scored values of every column, in sheet order: what the sort baseline sorts.
void copyScores(const JointExam &x, std::vector<std::vector<double>> &copies)
{
    copies.resize(kColumns);
    for (int c = 0; c < kColumns; ++c) {
        std::vector<double> &to = copies[std::size_t(c)];
        to.clear();
        for (double v : x.columns[std::size_t(c)])
            if (domain::isScored(v)) to.push_back(v);
    }
}

// A competition rank r of a score means r − 1 scores above it: in the column sorted highest first
// the score stands at position r − 1 and the one before it is higher. The grade letter follows
// from the rank by the scoring rules' own definition of a letter.
bool sameAsSorted(const JointExam &x, const std::vector<ColumnRanks> &ranks, const std::vector<std::vector<double>> &sorted, QString *why)
{
    for (int c = 0; c < kColumns; ++c) {
        const std::vector<double> &s = sorted[std::size_t(c)];
        const ColumnRanks &r = ranks[std::size_t(c)];
        if (r.ranked != int(s.size())) {
            *why = QStringLiteral("column %1: %2 ranked, %3 sorted").arg(c).arg(r.ranked).arg(s.size());
            return false;
        }
        for (std::size_t i = 0; i < std::size_t(kStudents); ++i) {
            const double v = x.columns[std::size_t(c)][i];
            const int rank = r.grade[i];
            if (!domain::isScored(v)) {
                if (rank != 0 || r.gradeLetter[i] != 0) {
                    *why = QStringLiteral("column %1 row %2: an empty score has rank %3").arg(c).arg(i).arg(rank);
                    return false;
                }
                continue;
            }
            const bool placed = rank >= 1 && rank <= int(s.size()) && s[std::size_t(rank - 1)] == v && (rank == 1 || s[std::size_t(rank - 2)] > v);
            const int letter = domain::letterOf(rank, r.ranked, *x.letters.grade);
            if (!placed || r.gradeLetter[i] != letter) {
                *why = QStringLiteral("column %1 row %2: score %3, rank %4, letter %5 (expected %6)")
                           .arg(c)
                           .arg(i)
                           .arg(v)
                           .arg(rank)
                           .arg(r.gradeLetter[i])
                           .arg(letter);
                return false;
            }
        }
    }
    return true;
}

void BM_RankingVsSort(benchmark::State &state)
{
    const JointExam &x = exam();
    std::vector<ColumnRanks> ranks;
    std::vector<std::vector<double>> copies;
    rankAll(x, ranks); // once through both, so that neither pays for first allocations
    copyScores(x, copies);
    PairClock clock;
    for (auto _ : state) {
        clock.runSides(
            state, [&] { return elapsedNs([&] { rankAll(x, ranks); }); },
            [&] {
                copyScores(x, copies);
                return elapsedNs([&] {
                    for (std::vector<double> &c : copies)
                        std::sort(c.begin(), c.end(), std::greater<>());
                });
            });
    }
    QString why;
    if (!sameAsSorted(x, ranks, copies, &why)) state.SkipWithError(qPrintable(why));
    clock.report(state, true);
    state.counters["scores"] = double(x.scored);
}

// ---- against SQL ---------------------------------------------------------------------------------------

// The ranks SQL gives, by column and student (0: no score).
struct SqlRanks {
    std::vector<std::vector<int>> grade, inClass, inBranch;
};

// One row per student and column that has a score; an empty score has no row, as in CJ_Mark.
void createScoreTable(Database &db)
{
    db.exec(QStringLiteral("DROP TABLE IF EXISTS bench_score"));
    db.exec(QStringLiteral("CREATE TABLE bench_score (student INTEGER NOT NULL, class INTEGER NOT NULL, branch INTEGER NOT NULL, "
                           "subject INTEGER NOT NULL, score DOUBLE PRECISION NOT NULL, PRIMARY KEY (subject, student))"));
    const JointExam &x = exam();
    QList<QVariantList> rows;
    rows.reserve(x.scored);
    for (int c = 0; c < kColumns; ++c)
        for (int i = 0; i < kStudents; ++i)
            if (const double v = x.columns[std::size_t(c)][std::size_t(i)]; domain::isScored(v))
                rows.append({i, x.classOf[std::size_t(i)], x.branchOf[std::size_t(i)], c, v});
    db.begin();
    db.execValues(QStringLiteral("INSERT INTO bench_score (student, class, branch, subject, score)"), 5, rows);
    db.commit();
    // Each scope's partition in score order, as the window functions read it.
    db.exec(QStringLiteral("CREATE INDEX bench_score_grade ON bench_score (subject, score DESC)"));
    db.exec(QStringLiteral("CREATE INDEX bench_score_class ON bench_score (subject, class, score DESC)"));
    db.exec(QStringLiteral("CREATE INDEX bench_score_branch ON bench_score (subject, branch, score DESC)"));
    db.exec(QStringLiteral("ANALYZE bench_score"));
}

// One statement per column (faster on SQLite than one over every column, the same on PostgreSQL).
void rankBySql(Database &db, SqlRanks &out)
{
    for (auto *v : {&out.grade, &out.inClass, &out.inBranch})
        v->assign(kColumns, std::vector<int>(kStudents, 0));
    for (int c = 0; c < kColumns; ++c) {
        const wire::DataPacket rows = db.select(QStringLiteral("SELECT student, "
                                                               "RANK() OVER (ORDER BY score DESC), "
                                                               "RANK() OVER (PARTITION BY class ORDER BY score DESC), "
                                                               "RANK() OVER (PARTITION BY branch ORDER BY score DESC) "
                                                               "FROM bench_score WHERE subject = ?"),
                                                {c},
                                                {{"student", FieldType::Integer, 0, 0},
                                                 {"gradeRank", FieldType::Integer, 0, 0},
                                                 {"classRank", FieldType::Integer, 0, 0},
                                                 {"branchRank", FieldType::Integer, 0, 0}});
        const wire::Column &student = rows.column(0), &g = rows.column(1), &k = rows.column(2), &b = rows.column(3);
        std::vector<int> &grade = out.grade[std::size_t(c)], &inClass = out.inClass[std::size_t(c)], &inBranch = out.inBranch[std::size_t(c)];
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            const auto i = std::size_t(student.intAt(r));
            grade[i] = int(g.intAt(r));
            inClass[i] = int(k.intAt(r));
            inBranch[i] = int(b.intAt(r));
        }
    }
}

// The ranks agree in every scope; the letters are those the scoring rules give the SQL ranks
// among the scored rows of the grade and of the branch.
bool sameAsSql(const JointExam &x, const std::vector<ColumnRanks> &ours, const SqlRanks &sql, QString *why)
{
    for (std::size_t c = 0; c < std::size_t(kColumns); ++c) {
        const ColumnRanks &o = ours[c];
        int ranked = 0;
        std::array<int, kBranches> rankedInBranch{};
        for (std::size_t i = 0; i < std::size_t(kStudents); ++i)
            if (sql.grade[c][i] > 0) {
                ++ranked;
                ++rankedInBranch[std::size_t(x.branchOf[i])];
            }
        for (std::size_t i = 0; i < std::size_t(kStudents); ++i) {
            if (o.grade[i] != sql.grade[c][i] || o.inClass[i] != sql.inClass[c][i] || o.inBranch[i] != sql.inBranch[c][i]) {
                *why = QStringLiteral("column %1 row %2: ours %3/%4/%5, SQL %6/%7/%8 (grade/class/branch)")
                           .arg(c)
                           .arg(i)
                           .arg(o.grade[i])
                           .arg(o.inClass[i])
                           .arg(o.inBranch[i])
                           .arg(sql.grade[c][i])
                           .arg(sql.inClass[c][i])
                           .arg(sql.inBranch[c][i]);
                return false;
            }
            if (sql.grade[c][i] == 0) continue;
            const auto b = std::size_t(x.branchOf[i]);
            const int gradeLetter = domain::letterOf(sql.grade[c][i], ranked, *x.letters.grade);
            const int branchLetter = domain::letterOf(sql.inBranch[c][i], rankedInBranch[b], *x.letters.perBranch[b]);
            if (o.gradeLetter[i] != gradeLetter || o.branchLetter[i] != branchLetter) {
                *why = QStringLiteral("column %1 row %2: letters %3/%4, by the SQL ranks %5/%6 (grade/branch)")
                           .arg(c)
                           .arg(i)
                           .arg(o.gradeLetter[i])
                           .arg(o.branchLetter[i])
                           .arg(gradeLetter)
                           .arg(branchLetter);
                return false;
            }
        }
    }
    return true;
}

void rankingVsSql(benchmark::State &state, Backend backend)
{
    try {
        ScratchDatabase scratch(backend, QStringLiteral("lumeko_bench_ranking"));
        std::unique_ptr<Database> db = std::make_unique<Database>(scratch.url());
        createScoreTable(*db);
        const JointExam &x = exam();
        std::vector<ColumnRanks> ranks;
        SqlRanks sql;
        rankAll(x, ranks);
        PairClock clock;
        for (auto _ : state)
            clock.run(
                state, [&] { rankAll(x, ranks); }, [&] { rankBySql(*db, sql); });
        QString why;
        if (!sameAsSql(x, ranks, sql, &why)) state.SkipWithError(qPrintable(why));
        clock.report(state, true);
        state.counters["scores"] = double(x.scored);
        db.reset(); // closed before the scratch database is dropped
    } catch (const server::StorageError &e) {
        state.SkipWithError(qPrintable(e.message()));
    }
}

void BM_RankingVsSqlite(benchmark::State &state)
{
    rankingVsSql(state, Backend::Sqlite);
}

void BM_RankingVsPostgres(benchmark::State &state)
{
    rankingVsSql(state, Backend::Postgres);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // Iteration counts keep each benchmark to seconds: the SQL baselines take one and a half to two
    // seconds an iteration, after a few seconds of loading the table.
    benchmark::RegisterBenchmark("BM_RankingVsSort", BM_RankingVsSort)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_RankingVsSqlite", BM_RankingVsSqlite)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
    QString why;
    if (postgresReachable(&why))
        benchmark::RegisterBenchmark("BM_RankingVsPostgres", BM_RankingVsPostgres)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
    else
        std::fprintf(stderr, "BM_RankingVsPostgres skipped: PostgreSQL does not answer at %s (%s)\n", qPrintable(postgresMaintenanceUrl().toString()),
                     qPrintable(why));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
