// The evening before a deadline: N teachers of a district each open the score sheet of one class
// and one subject (45 students) and save a few changed scores every few seconds, through real
// lumeko-server processes over HTTP. Prints, for each number of teachers, the saves made, the
// errors, the conflicts and the lost updates (a score a teacher saw acknowledged that is not the
// stored one afterwards), the p50/p95/p99 of a save and the throughput, and the p99 against the
// median save of one teacher alone on the same servers in the same run. The saves are timed once
// every teacher has signed in and opened his sheet; the p99 of that opening is printed beside.
//
//   district_load [--backend postgres,sqlite] [--teachers 50,100,200] [--seconds 30]
//                 [--interval-ms 3000] [--servers 2] [--schools 20] [--server-logs DIR]
//
// On PostgreSQL (LUMEKO_BENCH_PG, default the local server's socket) the district has --schools
// schools of 45 classes × 45 students and two app servers share the database; on SQLite one
// school is served by one server. Teachers are spread over the schools and the servers.

#include "bench/scratchdatabase.h"
#include "link/clientsession.h"
#include "link/httplink.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "server/storage/migrations.h"

#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

using namespace lumeko;
using server::Backend;
using server::Database;
using wire::FieldType;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClasses = 45, kPerClass = 45, kSubjects = 5, kCellsPerSave = 5;
constexpr qint64 kInYear = 2026;
const QString kGrade = QStringLiteral("1701"), kExamCode = QStringLiteral("001"), kNoPage = QStringLiteral("⊥");
const QString kPassword = QStringLiteral("pw");

QString schoolCode(int s)
{
    return QStringLiteral("S%1").arg(s + 1, 2, 10, QLatin1Char('0'));
}
QString classCode(int c)
{
    return QStringLiteral("%1").arg(c + 1, 3, 10, QLatin1Char('0'));
}
QString subjectCode(int j)
{
    return QStringLiteral("%1").arg(j + 1, 3, 10, QLatin1Char('0'));
}
QString login(int s, int c, int j)
{
    return QStringLiteral("t%1_%2_%3").arg(s + 1).arg(c + 1).arg(j + 1);
}

wire::Argument val(wire::Value v)
{
    return {std::move(v), false};
}
wire::Argument ref(wire::Value v = wire::Null{})
{
    return {std::move(v), true};
}

// The district: every school one grade of 45 classes, five subjects, one exam open until a month
// from now, and a subject teacher (role 6, 任课教师) for every class and subject.
void seedDistrict(const server::DatabaseUrl &url, int schools)
{
    Database db(url);
    server::migrate(db);
    server::seedSystemData(db);
    const auto yes = db.toDb(true, FieldType::Boolean), no = db.toDb(false, FieldType::Boolean);
    const QString hash = server::hashPassword(kPassword, server::PasswordCost::Minimal);
    const QDate today = QDate::currentDate();
    for (int s = 0; s < schools; ++s) {
        server::Transaction tx(db);
        const QString school = schoolCode(s);
        db.exec(QStringLiteral("INSERT INTO \"XT_School\" (\"SchoolCode\", \"sFullName\", \"sName\", \"sSchoolType\") VALUES (?, ?, ?, ?)"),
                {school, QStringLiteral("示范区第%1中学").arg(s + 1), QStringLiteral("%1中").arg(s + 1), QStringLiteral("初级中学")});
        db.exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)"),
                {school, kInYear, kGrade, QStringLiteral("2026~2027学年"), QStringLiteral("Y")});
        QList<QVariantList> classes, subjects, gradeSubjects, examSubjects, students, candidates, teachers, courses;
        for (int c = 0; c < kClasses; ++c)
            classes.append({school, classCode(c), QStringLiteral("七年级%1班").arg(c + 1)});
        for (int j = 0; j < kSubjects; ++j) {
            subjects.append({school, subjectCode(j), QStringLiteral("科目%1").arg(j + 1)});
            gradeSubjects.append({school, kInYear, kGrade, subjectCode(j), 0, 100});
            examSubjects.append({school, kGrade, kInYear, kExamCode, kNoPage, subjectCode(j), 1.0, 100, 90, 80, 60, 30});
        }
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\")"), 3, classes);
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\")"), 3, subjects);
        db.execValues(QStringLiteral("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", "
                                     "\"FullMark\")"),
                      6, gradeSubjects);
        const qint64 exam = db.insertReturningId(
            QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                           "\"aFullMark\", \"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"bFullMark\", \"mFullMark\", \"hasMain\", "
                           "\"hasBase\", \"ModifyRight\", \"dDefDay\", \"dLimitDay\", \"Freeze\") "
                           "VALUES (?, ?, ?, ?, ?, ?, 500, 450, 400, 300, 150, 500, 0, ?, ?, 63, ?, ?, ?)"),
            {school, kGrade, kInYear, kExamCode, kNoPage, QStringLiteral("期末考试"), no, yes, db.toDb(today.addDays(-3), FieldType::Date),
             db.toDb(today.addDays(30), FieldType::Date), no},
            QStringLiteral("Id"));
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
                                     "\"SubjectCode\", \"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\")"),
                      12, examSubjects);
        for (int c = 0; c < kClasses; ++c) {
            for (int k = 0; k < kPerClass; ++k) {
                const QString code = QStringLiteral("{%1-%2-4000-8000-%3}")
                                         .arg(s + 1, 8, 10, QLatin1Char('0'))
                                         .arg(c + 1, 4, 10, QLatin1Char('0'))
                                         .arg(k + 1, 12, 10, QLatin1Char('0'));
                students.append({code, school, kGrade, kInYear, classCode(c), k + 1, QStringLiteral("学生%1-%2").arg(c + 1).arg(k + 1), QStringLiteral("00")});
                candidates.append({exam, code, classCode(c)});
            }
            for (int j = 0; j < kSubjects; ++j) {
                const QString teacher = QStringLiteral("{%1-%2-4000-8000-%3}")
                                            .arg(s + 1, 8, 10, QLatin1Char('0'))
                                            .arg(c + 1, 4, 10, QLatin1Char('0'))
                                            .arg(j + 1, 12, 16, QLatin1Char('A'));
                teachers.append({teacher, school, QStringLiteral("教师%1-%2").arg(c + 1).arg(j + 1), login(s, c, j), hash, QStringLiteral("6"), 0, 0, no, no});
                courses.append({school, kInYear, kGrade, classCode(c), subjectCode(j), teacher});
            }
        }
        db.execValues(QStringLiteral("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                     "\"sName\", \"iState\")"),
                      8, students);
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\")"), 3, candidates);
        db.execValues(QStringLiteral("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", "
                                     "\"iState\", \"iUserType\", \"bViewAllGrade\", \"bViewAllClass\")"),
                      10, teachers);
        db.execValues(QStringLiteral("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", "
                                     "\"TeacherCode\")"),
                      6, courses);
        tx.commit();
    }
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A lumeko-server process on the database; its access log is switched off, so that the load's
// figures are not those of a terminal.
class AppServer {
public:
    // With a log file the access log goes there (each call with the time the server took).
    AppServer(const server::DatabaseUrl &db, const QString &files, int threads, const QString &log) : m_port(freePort())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (log.isEmpty()) env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumeko.http.access=false"));
        m_process.setProcessEnvironment(env);
        if (log.isEmpty())
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        else
            m_process.setStandardErrorFile(log);
        m_process.start(QStringLiteral(LUMEKO_SERVER_BIN), {"serve", "--db", db.toString(), "--listen", QStringLiteral("127.0.0.1:%1").arg(m_port), "--files",
                                                            files, "--threads", QString::number(threads)});
    }
    ~AppServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10'000)) m_process.kill();
        m_process.waitForFinished();
    }
    link::HttpLinkOptions link() const
    {
        link::HttpLinkOptions o;
        o.port = m_port;
        o.readTimeout = std::chrono::seconds(60);
        return o;
    }

private:
    int m_port;
    QProcess m_process;
};

// One teacher at work: signed in, his sheet open, the scores he saw acknowledged.
struct Teacher {
    int school = 0, klass = 0, subject = 0;
    const AppServer *server = nullptr;
};

struct Outcome {
    double openMs = 0; // signing in and opening the sheet
    std::vector<double> latenciesMs;
    qint64 saves = 0, errors = 0, conflicts = 0;
    QHash<QString, double> acknowledged; // student code → his score as last acknowledged
    QString firstError;
};

wire::Reply signInPatiently(link::ClientSession &s, const QString &who)
{
    // Two hundred teachers signing in at the same moment meet the bound on concurrent password
    // checks; the server says so and the client tries again, as the host application does.
    for (int attempt = 0;; ++attempt) {
        wire::Reply r = s.signIn(who, kPassword, QStringLiteral("LOAD"));
        if (r.ok() || attempt == 100 || !r.message.contains(QStringLiteral("too many passwords"))) return r;
        QThread::msleep(50 + attempt * 10);
    }
}

// Every teacher signs in and opens his sheet, waits at `ready` until all have, then saves until
// `until` (set when the last one is ready).
template <typename Ready>
void work(const Teacher &t, Ready &ready, const Clock::time_point &until, std::chrono::milliseconds interval, std::uint32_t seed, Outcome &out)
{
    bool arrived = false;
    const auto arrive = [&] {
        if (!arrived) ready.arrive_and_wait();
        arrived = true;
    };
    link::HttpLink link(t.server->link());
    link::ClientSession s(link);
    const auto fail = [&](const QString &what) {
        ++out.errors;
        if (out.firstError.isEmpty()) out.firstError = login(t.school, t.klass, t.subject) + QStringLiteral(": ") + what;
    };
    const auto opening = Clock::now();
    const wire::Reply in = signInPatiently(s, login(t.school, t.klass, t.subject));
    if (!in.ok()) return arrive(), fail(in.message);
    const QString subject = subjectCode(t.subject);
    wire::Reply opened =
        s.call(QStringLiteral("AchieveQry"), QStringLiteral("QMark"),
               {val(schoolCode(t.school)), val(kGrade), val(kExamCode), ref(kNoPage), ref(classCode(t.klass)), ref(subject), ref(kInYear), ref(), ref()});
    const auto *image = opened.ok() ? std::get_if<wire::DataPacket>(&opened.refs[8]) : nullptr;
    if (!image || image->rowCount() != kPerClass)
        return arrive(), fail(opened.ok() ? QStringLiteral("the sheet is not the class's 45 students") : opened.message);
    out.openMs = std::chrono::duration<double, std::milli>(Clock::now() - opening).count();
    arrive();
    const QList<wire::FieldDef> fields = image->fields();
    const int student = image->fieldIndex(u"StudentCode"), score = image->fieldIndex(QStringLiteral("C_") + subject);
    QList<QVariantList> seen; // the rows as the server last acknowledged them
    for (qsizetype r = 0; r < image->rowCount(); ++r)
        seen.append(image->row(r));

    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pause(int(interval.count() / 2), int(interval.count() * 3 / 2));
    // Teachers do not all press 保存 in step: the first save comes at a random point of the interval.
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % std::max<qint64>(1, interval.count())));
    while (Clock::now() < until) {
        QList<wire::RowChange> rows;
        QList<qsizetype> changed;
        for (int k = 0; k < kCellsPerSave; ++k) {
            const qsizetype r = qsizetype(rng() % kPerClass);
            if (changed.contains(r)) continue;
            changed.append(r);
            QVariantList now = seen[r];
            now[score] = double(rng() % 201) / 2.0; // 0 … 100 in halves
            rows.append({wire::RowStatus::Modified, seen[r], now});
        }
        const auto started = Clock::now();
        const wire::Reply r =
            s.call(QStringLiteral("AchieveUp"), QStringLiteral("UpMark"), {val(wire::ChangePacket{fields, rows}), val(qint64(-1)), ref(qint64(0))});
        out.latenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        const wire::Value errorCount = r.refs.value(2);
        const qint64 *refused = r.ok() ? std::get_if<qint64>(&errorCount) : nullptr;
        if (!refused) {
            fail(r.message);
        } else if (*refused != 0) {
            out.conflicts += *refused;
            if (out.firstError.isEmpty()) out.firstError = r.message;
        } else {
            ++out.saves;
            for (int i = 0; i < rows.size(); ++i) {
                seen[changed[i]] = rows[i].newValues;
                out.acknowledged.insert(seen[changed[i]][student].toString(), rows[i].newValues[score].toDouble());
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
    }
}

// The stored scores that differ from what the teacher last saw acknowledged.
int lostUpdates(Database &db, const Teacher &t, const Outcome &out)
{
    int lost = 0;
    for (auto it = out.acknowledged.cbegin(); it != out.acknowledged.cend(); ++it) {
        const QVariant stored = db.scalar(QStringLiteral("SELECT m.\"score\" FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = m.\"examId\" "
                                                         "WHERE e.\"SchoolCode\" = ? AND m.\"StudentCode\" = ? AND m.\"SubjectCode\" = ?"),
                                          {schoolCode(t.school), it.key(), subjectCode(t.subject)});
        if (stored.isNull() || stored.toDouble() != it.value()) ++lost;
    }
    return lost;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

struct Level {
    int teachers = 0;
    qint64 saves = 0, errors = 0, conflicts = 0, lost = 0;
    double p50 = 0, p95 = 0, p99 = 0, perSecond = 0, openP99 = 0;
    QString firstError;
};

Level runLevel(Database &db, const std::vector<std::unique_ptr<AppServer>> &servers, int schools, int teachers, std::chrono::seconds length,
               std::chrono::milliseconds interval)
{
    std::vector<Teacher> who;
    for (int i = 0; i < teachers; ++i) {
        // Across the schools first, then across classes and subjects within each.
        const int within = i / schools;
        who.push_back({i % schools, within % kClasses, (within / kClasses) % kSubjects, servers[size_t(i) % servers.size()].get()});
    }
    std::vector<Outcome> outcomes{size_t(teachers)};
    Clock::time_point until;
    std::barrier ready(teachers, [&]() noexcept { until = Clock::now() + length; });
    std::vector<std::thread> threads;
    for (int i = 0; i < teachers; ++i)
        threads.emplace_back([&, i] { work(who[size_t(i)], ready, until, interval, std::uint32_t(20261207 + i * 7919 + teachers), outcomes[size_t(i)]); });
    for (std::thread &t : threads)
        t.join();

    Level l;
    l.teachers = teachers;
    std::vector<double> all, opens;
    for (int i = 0; i < teachers; ++i) {
        const Outcome &o = outcomes[size_t(i)];
        opens.push_back(o.openMs);
        all.insert(all.end(), o.latenciesMs.begin(), o.latenciesMs.end());
        l.saves += o.saves;
        l.errors += o.errors;
        l.conflicts += o.conflicts;
        l.lost += lostUpdates(db, who[size_t(i)], o);
        if (l.firstError.isEmpty()) l.firstError = o.firstError;
    }
    l.p50 = percentile(all, 0.50);
    l.p95 = percentile(all, 0.95);
    l.p99 = percentile(all, 0.99);
    l.perSecond = double(l.saves) / double(length.count());
    l.openP99 = percentile(opens, 0.99);
    return l;
}

QList<int> numbers(const QString &text)
{
    QList<int> out;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts))
        if (const int n = part.toInt(); n > 0) out << n;
    return out;
}

int run(Backend backend, const QList<int> &levels, int schools, int serverCount, std::chrono::seconds length, std::chrono::milliseconds interval,
        const QString &logs)
{
    const char *name = backend == Backend::Postgres ? "PostgreSQL" : "SQLite";
    if (backend == Backend::Postgres) {
        QString why;
        if (!bench::postgresReachable(&why)) {
            std::printf("%s: skipped (%s)\n", name, qPrintable(why));
            return 0;
        }
    } else {
        schools = 1;
        serverCount = 1;
    }
    bench::ScratchDatabase scratch(backend, QStringLiteral("lumeko_load"));
    const auto seeding = Clock::now();
    seedDistrict(scratch.url(), schools);
    std::printf("\n%s: %d app server(s), %d school(s) of %d students, %d teachers' sheets of %d students; a save of up to %d scores every %lld ms ± 50%%, "
                "for %lld s (seeded in %.1f s)\n",
                name, serverCount, schools, kClasses * kPerClass, schools * kClasses * kSubjects, kPerClass, kCellsPerSave, qlonglong(interval.count()),
                qlonglong(length.count()), std::chrono::duration<double>(Clock::now() - seeding).count());
    QTemporaryDir files;
    std::vector<std::unique_ptr<AppServer>> servers;
    // Every server keeps a connection per worker: two servers of 32 stay well inside PostgreSQL's
    // default of 100 connections.
    for (int i = 0; i < serverCount; ++i)
        servers.push_back(
            std::make_unique<AppServer>(scratch.url(), files.path(), 32, logs.isEmpty() ? QString() : QStringLiteral("%1/server-%2.log").arg(logs).arg(i + 1)));
    QThread::msleep(1000);
    Database db(scratch.url());

    // The baseline: one teacher alone, saving as fast as the server answers.
    const Level alone = runLevel(db, servers, schools, 1, std::chrono::seconds(5), std::chrono::milliseconds(2));
    if (alone.errors > 0) {
        std::printf("the baseline failed: %s\n", qPrintable(alone.firstError));
        return 1;
    }
    std::printf("baseline: one teacher alone, %lld saves, median %.1f ms\n", qlonglong(alone.saves), alone.p50);
    std::printf("%9s %7s %7s %10s %5s %8s %8s %8s %8s %13s %12s\n", "teachers", "saves", "errors", "conflicts", "lost", "p50 ms", "p95 ms", "p99 ms", "saves/s",
                "p99/baseline", "open p99 ms");
    int failures = 0;
    for (int n : levels) {
        const Level l = runLevel(db, servers, schools, n, length, interval);
        std::printf("%9d %7lld %7lld %10lld %5lld %8.1f %8.1f %8.1f %8.1f %12.1fx %12.1f\n", l.teachers, qlonglong(l.saves), qlonglong(l.errors),
                    qlonglong(l.conflicts), qlonglong(l.lost), l.p50, l.p95, l.p99, l.perSecond, l.p99 / alone.p50, l.openP99);
        if (!l.firstError.isEmpty()) std::printf("          first error: %s\n", qPrintable(l.firstError));
        failures += l.errors > 0 || l.conflicts > 0 || l.lost > 0;
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString backends = QStringLiteral("postgres,sqlite"), levels = QStringLiteral("50,100,200"), logs;
    int seconds = 30, intervalMs = 3000, servers = 2, schools = 20;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString &flag = args[i], &value = args[i + 1];
        if (flag == u"--backend")
            backends = value;
        else if (flag == u"--teachers")
            levels = value;
        else if (flag == u"--seconds")
            seconds = value.toInt();
        else if (flag == u"--interval-ms")
            intervalMs = value.toInt();
        else if (flag == u"--servers")
            servers = value.toInt();
        else if (flag == u"--schools")
            schools = value.toInt();
        else if (flag == u"--server-logs")
            logs = value;
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(flag));
            return 2;
        }
    }
    if (seconds < 1 || intervalMs < 1 || servers < 1 || schools < 1 || numbers(levels).isEmpty()) {
        std::fprintf(stderr, "usage: district_load [--backend postgres,sqlite] [--teachers 50,100,200] [--seconds 30] [--interval-ms 3000] "
                             "[--servers 2] [--schools 20] [--server-logs DIR]\n");
        return 2;
    }
    int status = 0;
    for (const QString &b : backends.split(u',', Qt::SkipEmptyParts))
        status |= run(b == u"sqlite" ? Backend::Sqlite : Backend::Postgres, numbers(levels), schools, servers, std::chrono::seconds(seconds),
                      std::chrono::milliseconds(intervalMs), logs);
    return status;
}
