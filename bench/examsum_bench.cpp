// The score analyses over a city's joint exam: 50,000 candidates in 1,000 classes of 50 at four
// branches, 9 subjects (three base, three main, three others) with every score stored but a few
// absent students and the totals UpExamOrder derives, a head teacher for each class and a
// teacher for each class and subject.
//
//   ours  AchieveQry.QExamSum through the embedded service, as the host calls it, by the
//         administrator:
//           BM_DistributionOfASubject    kind 0 of 数学, every item, three rank layers each way
//           BM_DistributionOfTheTotal    kind 0 of 全总分, the same
//           BM_ClassComparison           kind 1 of 数学 and the three totals with the dialog's
//                                        default items, 全科及格率 among them (the standings
//                                        over every subject UpExamOrder stored)
//           BM_ClassComparisonWithoutAllSubjects  the same without the two all-subject items
//   base  one pass over the score columns: the columns the report needs read by one plain SELECT
//         on the same connection (each candidate's class, the stored totals and standings, each
//         subject's score found by its key), and every score added to its class's sum and count.
//
// Reported per iteration: ours_ns, base_ns and ratio (ours / base); the goal is 100 ms for ours.
// Outside the timed part every iteration checks the report's grade average (of 数学, or of the
// full total) against the baseline's sums. The scores come from a fixed seed.
//
// The …Sqlite cases run on a temporary SQLite file; the …Postgres cases on a database of their own
// made from LUMEKO_BENCH_PG (default postgresql:///postgres), left out with a message when that
// server does not answer.

#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/methods/methods.h"

#include "pairclock.h"
#include "scratchdatabase.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QHash>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using server::Backend;
using server::Database;
using wire::FieldType;

constexpr int kClasses = 1000;
constexpr int kPerClass = 50;
constexpr int kStudents = kClasses * kPerClass;
constexpr int kSubjects = 9;
const QString kSchool = QStringLiteral("S1"), kGrade = QStringLiteral("1701"), kExamCode = QStringLiteral("001"), kNoPage = QStringLiteral("⊥");
constexpr int kInYear = 2026;
constexpr char kAdminCode[] = "{00000000-0000-0000-0000-000000000001}";

wire::Argument val(wire::Value v)
{
    return {std::move(v), false};
}
wire::Argument ref(wire::Value v = wire::Null{})
{
    return {std::move(v), true};
}

double fullMark(int subject)
{
    return subject < 3 ? 150.0 : 100.0;
}

class JointExam {
public:
    explicit JointExam(const server::DatabaseUrl &url)
    {
        server::ServerOptions o;
        o.database = url;
        o.fileStore = m_files.filePath(QStringLiteral("files"));
        o.passwordCost = server::PasswordCost::Minimal;
        m_service = std::make_unique<server::Service>(o);
        server::installSchoolMethods(*m_service);
        seed();
        wire::Call signIn{QStringLiteral("Session"),
                          QStringLiteral("SignIn"),
                          {},
                          {val(QStringLiteral("admin")), val(QStringLiteral("lumeko")), val(QStringLiteral("BENCH"))}};
        const wire::Reply r = m_service->handle(signIn, wire::CallOrigin{});
        const QString *token = std::get_if<QString>(&r.result);
        if (!r.ok() || !token) throw std::runtime_error("the administrator cannot sign in: " + r.message.toStdString());
        m_token = *token;
        // The totals the score page has the server derive after a save.
        wire::Call order{QStringLiteral("AchieveUp"),
                         QStringLiteral("UpExamOrder"),
                         m_token,
                         {val(kSchool), val(kGrade), val(kExamCode), ref(kNoPage),
                          ref(QStringLiteral("FULLTOTAL,FULLORDER,BASETOTAL,BASEORDER,MAINTOTAL,MAINORDER")), ref(qint64(kInYear))}};
        const wire::Reply ordered = m_service->handle(order, wire::CallOrigin{});
        if (!ordered.ok()) throw std::runtime_error("UpExamOrder failed: " + ordered.message.toStdString());
    }

    Database &db() { return m_service->connection(); }
    qint64 examId() const { return m_examId; }

    // QExamSum as the host calls it; the rows (slot 9), or a failure's message.
    wire::DataPacket examSum(int kind, const QString &settings, QString *failure)
    {
        wire::Call call{QStringLiteral("AchieveQry"),
                        QStringLiteral("QExamSum"),
                        m_token,
                        {val(kSchool), val(kGrade), val(kExamCode), ref(kNoPage), val(QStringLiteral("1")), ref(qint64(kInYear)), ref(qint64(kind)),
                         ref(settings), ref(QString()), ref()}};
        wire::Reply reply = m_service->handle(call, wire::CallOrigin{});
        if (!reply.ok()) {
            *failure = QStringLiteral("QExamSum: ") + reply.message;
            return {};
        }
        return std::get<wire::DataPacket>(reply.refs[9]);
    }

private:
    void seed()
    {
        Database &db = this->db();
        const auto yes = db.toDb(true, FieldType::Boolean);
        server::Transaction tx(db);
        db.exec(QStringLiteral("INSERT INTO \"XT_School\" (\"SchoolCode\", \"sFullName\", \"sName\", \"sSchoolType\", \"bSubTree\", \"bHasSub\") "
                               "VALUES (?, ?, ?, ?, ?, ?)"),
                {kSchool, QStringLiteral("示范市联考"), QStringLiteral("联考"), QStringLiteral("完全中学"), yes, yes});
        QList<QVariantList> teachers{{kAdminCode, kSchool, QStringLiteral("管理员"), QStringLiteral("admin"),
                                      server::hashPassword(QStringLiteral("lumeko"), server::PasswordCost::Minimal), QStringLiteral("1"), 0, 1}};
        // One teacher for every two classes of a subject, one head teacher for each class.
        const auto teacherCode = [](int n) { return QStringLiteral("{T%1}").arg(n, 6, 10, QLatin1Char('0')); };
        for (int t = 0; t < kClasses / 2 * kSubjects + kClasses; ++t)
            teachers.append({teacherCode(t), kSchool, QStringLiteral("教师%1").arg(t), QStringLiteral("t%1").arg(t), QVariant(), QStringLiteral("6"), 0, 0});
        db.execValues(QStringLiteral("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                                     "\"iUserType\")"),
                      8, teachers);
        const char16_t *types[] = {u"统招生", u"择校生", u"借读生", u"特长生", u"港澳台生"};
        for (int t = 0; t < 5; ++t)
            db.exec(QStringLiteral("INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES ('StudType', ?, ?, ?)"),
                    {QString::number(t + 1), QString::fromUtf16(types[t]), t + 1});
        db.exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, 'Y')"),
                {kSchool, kInYear, kGrade, QStringLiteral("2026~2027学年")});
        const auto classCode = [](int c) { return QStringLiteral("%1").arg(c, 3, 36, QLatin1Char('0')).toUpper(); };
        const char16_t *branches[] = {u"本部", u"东校", u"西校", u"南校"};
        QList<QVariantList> classes, gradeClasses, course;
        for (int c = 0; c < kClasses; ++c) {
            classes.append({kSchool, classCode(c), QStringLiteral("%1班").arg(c + 1)});
            gradeClasses.append(
                {kSchool, kInYear, kGrade, classCode(c), QString::fromUtf16(branches[c * 4 / kClasses]), teacherCode(kClasses / 2 * kSubjects + c)});
            for (int j = 0; j < kSubjects; ++j)
                course.append(
                    {kSchool, kInYear, kGrade, classCode(c), QStringLiteral("%1").arg(j + 1, 3, 10, QLatin1Char('0')), teacherCode(j * kClasses / 2 + c / 2)});
        }
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\")"), 3, classes);
        db.execValues(QStringLiteral("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sArea\", \"TeacherCode\")"), 6,
                      gradeClasses);
        db.execValues(
            QStringLiteral("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\")"), 6,
            course);

        static const char16_t *names[] = {u"语文", u"数学", u"英语", u"物理", u"化学", u"生物", u"政治", u"历史", u"地理"};
        QList<QVariantList> subjects, gradeSubjects, examSubjects;
        for (int j = 0; j < kSubjects; ++j) {
            const QString code = QStringLiteral("%1").arg(j + 1, 3, 10, QLatin1Char('0'));
            const double full = fullMark(j);
            subjects.append({kSchool, code, QString::fromUtf16(names[j])});
            gradeSubjects.append({kSchool, kInYear, kGrade, code, j / 3, int(full)});
            examSubjects.append({kSchool, kGrade, kInYear, kExamCode, kNoPage, code, 1.0, full, full * 0.9, full * 0.8, full * 0.6, full * 0.3, full - 10, 10,
                                 10, full * 0.62, full * 0.64});
        }
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\")"), 3, subjects);
        db.execValues(
            QStringLiteral("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\")"), 6,
            gradeSubjects);
        m_examId = db.insertReturningId(
            QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                           "\"aFullMark\", \"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"aHighMark\", \"aDistanceMark\", \"aLowMark\", "
                           "\"mFullMark\", \"mExcelMark\", \"mGoodMark\", \"mPassMark\", \"mBadMark\", \"mHighMark\", \"mDistanceMark\", \"mLowMark\", "
                           "\"bFullMark\", \"bExcelMark\", \"bGoodMark\", \"bPassMark\", \"bBadMark\", \"bHighMark\", \"bDistanceMark\", \"bLowMark\", "
                           "\"hasMain\", \"hasBase\", \"ModifyRight\") VALUES (?, ?, ?, ?, ?, ?, 1050, 945, 840, 630, 315, 1000, 50, 300, "
                           "750, 675, 600, 450, 225, 700, 50, 200, 450, 405, 360, 270, 135, 400, 50, 100, ?, ?, 63)"),
            {kSchool, kGrade, kInYear, kExamCode, kNoPage, QStringLiteral("联考"), yes, yes}, QStringLiteral("Id"));
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", "
                                     "\"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"HighMark\", \"DistanceMark\", "
                                     "\"LowMark\", \"B2\", \"B3\")"),
                      17, examSubjects);
        db.exec(QStringLiteral("INSERT INTO \"CJ_ExamGradePer\" (\"examId\", \"sArea\", \"APer\", \"BPer\", \"CPer\", \"DPer\", \"EPer\") "
                               "VALUES (?, '', 15, 35, 30, 15, 5)"),
                {m_examId});

        // Students of a normal spread of ability; scores in half points, 1% of them absent.
        std::mt19937 rng(20261207u);
        std::normal_distribution<double> ability(0, 1), noise(0, 0.6);
        std::uniform_int_distribution<int> absent(0, 99);
        QList<QVariantList> students, candidates, marks;
        for (int i = 0; i < kStudents; ++i) {
            const QString code = QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(i, 8, 16, QLatin1Char('0'));
            const QString klass = classCode(i / kPerClass);
            students.append(
                {code, kSchool, kGrade, kInYear, klass, i % kPerClass + 1, QStringLiteral("学生%1").arg(i), QStringLiteral("00"), QStringLiteral("统招生")});
            candidates.append({m_examId, code, klass});
            const double a = ability(rng);
            for (int j = 0; j < kSubjects; ++j) {
                if (absent(rng) == 0) continue;
                const double full = fullMark(j);
                const double score = std::round(std::clamp(full * (0.68 + 0.14 * (a + noise(rng))), 0.0, full) * 2) / 2;
                marks.append({m_examId, code, QStringLiteral("%1").arg(j + 1, 3, 10, QLatin1Char('0')), score});
            }
        }
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                     "\"sName\", \"iState\", \"sType\")"),
                      9, students);
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\")"), 3, candidates);
        db.execValues(QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\")"), 4, marks);
        tx.commit();
    }

    QTemporaryDir m_files;
    std::unique_ptr<server::Service> m_service;
    QString m_token;
    qint64 m_examId = 0;
};

// ---- base -----------------------------------------------------------------------------------------

struct ClassSums {
    std::vector<double> sum;
    std::vector<int> count;
    double gradeAverage() const
    {
        double s = 0;
        int n = 0;
        for (std::size_t c = 0; c < sum.size(); ++c) {
            s += sum[c];
            n += count[c];
        }
        return n ? s / n : 0;
    }
};

// The score columns a report needs, read as the report reads them (one row per candidate: his
// class, the stored totals, each subject's score found by its key), and one pass adding each
// column's scores to its class's sums. Answers the sums of `checked`: the first subject, or the
// full total when there is no subject or `totals` is asked for.
ClassSums onePass(Database &db, qint64 examId, const QStringList &subjects, bool totals, bool standings)
{
    QStringList select{QStringLiteral("es.\"ClassCode\"")};
    QList<wire::FieldDef> fields{{"ClassCode", FieldType::Text, 0, 0}};
    // Each candidate's standing over every subject, which the 全科 items count.
    if (standings) {
        select << QStringLiteral("es.\"iAllPass\"");
        fields.append({"iAllPass", FieldType::Integer, 0, 0});
    }
    const int firstSum = int(select.size());
    if (totals)
        for (const char *t : {"FullTotal", "MainTotal", "BaseTotal"}) {
            select << QStringLiteral("es.\"%1\"").arg(QLatin1String(t));
            fields.append({QString::fromLatin1(t), FieldType::Float, 0, 0});
        }
    QString joins;
    QVariantList params;
    for (int j = 0; j < subjects.size(); ++j) {
        select << QStringLiteral("m%1.\"score\"").arg(j);
        fields.append({QStringLiteral("m%1").arg(j), FieldType::Float, 0, 0});
        joins += QStringLiteral(
                     " LEFT JOIN \"CJ_Mark\" m%1 ON m%1.\"examId\" = es.\"examId\" AND m%1.\"StudentCode\" = es.\"StudentCode\" AND m%1.\"SubjectCode\" = ?")
                     .arg(j);
        params << subjects[j];
    }
    params << examId;
    const wire::DataPacket rows =
        db.select(QStringLiteral("SELECT %1 FROM \"CJ_ExamStudent\" es%2 WHERE es.\"examId\" = ?").arg(select.join(u", "), joins), params, fields);
    // Classes as small numbers, then the pass over every column.
    QHash<QString, int> classIndex;
    std::vector<int> classOf(std::size_t(rows.rowCount()));
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QString &klass = rows.column(0).textAt(r);
        auto found = classIndex.constFind(klass);
        if (found == classIndex.cend()) found = classIndex.insert(klass, int(classIndex.size()));
        classOf[std::size_t(r)] = *found;
    }
    if (standings) {
        std::vector<int> passed(std::size_t(classIndex.size()), 0);
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            passed[std::size_t(classOf[std::size_t(r)])] += rows.column(1).intAt(r) == 2 ? 1 : 0;
        benchmark::DoNotOptimize(passed);
    }
    std::vector<ClassSums> sums(std::size_t(fields.size() - firstSum));
    for (std::size_t f = 0; f < sums.size(); ++f) {
        ClassSums &s = sums[f];
        s.sum.assign(std::size_t(classIndex.size()), 0);
        s.count.assign(std::size_t(classIndex.size()), 0);
        const wire::Column &column = rows.column(qsizetype(f) + firstSum);
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            if (!column.isNull(r)) {
                s.sum[std::size_t(classOf[std::size_t(r)])] += column.floatAt(r);
                ++s.count[std::size_t(classOf[std::size_t(r)])];
            }
    }
    return sums.front();
}

// ---- the benchmarks ----------------------------------------------------------------------------------

// The grade's average in the report: the 年级 row's nAverage (kind 0), or the Grade cell of the
// 全总分's 平均分 row (kind 1).
double reportedAverage(const wire::DataPacket &rows, int kind)
{
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        if (kind == 0 && rows.value(r, 0).toString() == QStringLiteral("年级")) return rows.value(r, rows.fieldIndex(u"nAverage")).toDouble();
        if (kind == 1 && rows.value(r, 0).toString() == QStringLiteral("全总分") && rows.value(r, 1).toString() == QStringLiteral("平均分"))
            return rows.value(r, rows.fieldIndex(u"Grade")).toString().toDouble();
    }
    return std::nan("");
}

struct Case {
    int kind;
    const char *settings;
    QStringList subjects;   // the subjects the report reads
    bool totals;            // and the totals
    bool standings = false; // and the standings over every subject (全科)
};

// One exam per back end, made on first use and kept for every case.
JointExam &jointExam(Backend backend)
{
    static std::unique_ptr<ScratchDatabase> scratch[2];
    static std::unique_ptr<JointExam> exams[2];
    const int b = backend == Backend::Sqlite ? 0 : 1;
    if (!exams[b]) {
        scratch[b] = std::make_unique<ScratchDatabase>(backend, QStringLiteral("lumeko_bench_examsum"));
        exams[b] = std::make_unique<JointExam>(scratch[b]->url());
    }
    return *exams[b];
}

void examSum(benchmark::State &state, Backend backend, const Case &k)
{
    try {
        JointExam &exam = jointExam(backend);
        PairClock clock;
        QString failure;
        for (auto _ : state) {
            wire::DataPacket rows;
            ClassSums base;
            clock.run(
                state, [&] { rows = exam.examSum(k.kind, QString::fromUtf8(k.settings), &failure); },
                [&] { base = onePass(exam.db(), exam.examId(), k.subjects, k.totals, k.standings); });
            if (!failure.isEmpty()) break;
            const double ours = reportedAverage(rows, k.kind), want = std::round(base.gradeAverage() * 100) / 100;
            if (!(std::abs(ours - want) < 0.006)) {
                failure = QStringLiteral("the report's grade average is %1, the baseline's %2").arg(ours).arg(want);
                break;
            }
        }
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
        clock.report(state);
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

const Case kSubject{0, "11111111111,30-60-90,30-60-90;002;ALL", {"002"}, false};
const Case kTotal{0, "11111111111,30-60-90,30-60-90;FUL;ALL", {}, true};
// The dialog's default items, 全科及格率 among them: 数学, the totals and the standings over every
// subject that UpExamOrder stored.
const Case kClasses1{1, "111111001111100000000;统招生,择校生,借读生,特长生,港澳台生;002,FUL,MAI,BAS", {"002"}, true, true};
// The same without the all-subject items: 数学 and the totals only.
const Case kClasses2{1, "111110001101100000000;统招生,择校生,借读生,特长生,港澳台生;002,FUL,MAI,BAS", {"002"}, true};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QString why;
    const bool postgres = postgresReachable(&why);
    const struct {
        const char *name;
        const Case *c;
    } cases[] = {{"BM_DistributionOfASubject", &kSubject},
                 {"BM_DistributionOfTheTotal", &kTotal},
                 {"BM_ClassComparison", &kClasses1},
                 {"BM_ClassComparisonWithoutAllSubjects", &kClasses2}};
    for (const auto &c : cases) {
        const Case *k = c.c;
        benchmark::RegisterBenchmark((std::string(c.name) + "Sqlite").c_str(), [k](benchmark::State &s) { examSum(s, Backend::Sqlite, *k); })
            ->UseManualTime()
            ->Iterations(6)
            ->Unit(benchmark::kMillisecond);
        if (postgres)
            benchmark::RegisterBenchmark((std::string(c.name) + "Postgres").c_str(), [k](benchmark::State &s) { examSum(s, Backend::Postgres, *k); })
                ->UseManualTime()
                ->Iterations(6)
                ->Unit(benchmark::kMillisecond);
    }
    if (!postgres)
        std::fprintf(stderr, "The PostgreSQL cases are skipped: PostgreSQL does not answer at %s (%s)\n", qPrintable(postgresMaintenanceUrl().toString()),
                     qPrintable(why));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
