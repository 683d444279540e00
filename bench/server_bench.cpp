// Many teachers at once against a district's PostgreSQL server: 100 and 200 HTTP clients, each
// signed in once, then a realistic mix of reads (registry lists, field definitions, grade list,
// class names, school information) and operation-log writes. The baseline is the same work done
// directly on the storage layer in this process: the same statements on the same database,
// without dispatch, sessions, encoding or HTTP.
//
//   server_bench [--clients 100,200] [--calls 50]    (PostgreSQL from LUMEKO_BENCH_PG,
//                                                     default postgresql:///postgres)

#include "link/clientsession.h"
#include "link/httplink.h"
#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/http/httpserver.h"
#include "server/methods/methods.h"
#include "server/seed/seed.h"
#include "server/storage/migrations.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using wire::FieldType;

namespace {

constexpr int kServerWorkers = 64; // also the number of database connections of the server
const QString kSchool = QStringLiteral("440300001");

struct Result {
    QString scenario;
    int clients = 0;
    qint64 calls = 0;
    double seconds = 0;
    QList<double> latenciesMs;
    int failures = 0;

    double perSecond() const { return calls / seconds; }
    double percentile(double p) const
    {
        if (latenciesMs.isEmpty()) return 0;
        QList<double> sorted = latenciesMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min<qsizetype>(sorted.size() - 1, qsizetype(p * sorted.size()))];
    }
};

// The n-th call of a client's mix: four reads, then a log line.
enum class Op { RegList, Fields, GradeList, ClassNames, SchoolInfo, Log };
Op opFor(int n)
{
    static const Op mix[] = {Op::RegList, Op::Fields, Op::GradeList, Op::Log, Op::ClassNames, Op::SchoolInfo, Op::RegList, Op::Log};
    return mix[n % 8];
}

wire::Reply callOverSession(ClientSession &s, Op op, int client, int n)
{
    using wire::Argument;
    switch (op) {
    case Op::RegList: return s.call("SysQry", "QRegByType", {{QStringLiteral("StudState"), false}, {wire::Null{}, true}});
    case Op::Fields: return s.call("SysQry", "QFieldsByTable", {{QStringLiteral("XJ_Student"), false}, {wire::Null{}, true}});
    case Op::GradeList: return s.call("Session", "GradeList");
    case Op::ClassNames: return s.call("Session", "ClassNames");
    case Op::SchoolInfo: return s.call("SysQry", "QSchoolInfo", {{kSchool, false}, {wire::Null{}, true}});
    case Op::Log:
        return s.call("SysUp", "AddLogs", {{kSchool, false}, {QStringLiteral("admin"), false}, {QStringLiteral("管理员"), false},
                                           {QStringLiteral("BENCH-%1").arg(client), false},
                                           {QStringLiteral("保存成绩 第%1次").arg(n), false}});
    }
    return {};
}

// The same statements the methods run, straight on a connection.
void runOnStorage(Database &db, Op op, int client, int n)
{
    switch (op) {
    case Op::RegList:
        db.select("SELECT \"sKeyId\", \"sValue\", \"sDesc\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = lower(?) ORDER BY \"iOrder\", \"sKeyId\"",
                  {"StudState"}, {{"sKeyId", FieldType::Text, 0, 0}, {"sValue", FieldType::Text, 0, 0}, {"sDesc", FieldType::Text, 0, 0}});
        break;
    case Op::Fields:
        db.select("SELECT \"sFldName\", \"sTable\", \"sFldCaption\", \"bShowed\", \"nWidth\" FROM \"XT_Fields\" WHERE lower(\"sTable\") = lower(?) ORDER BY \"iOrder\"",
                  {"XJ_Student"}, {{"a", FieldType::Text, 0, 0}, {"b", FieldType::Text, 0, 0}, {"c", FieldType::Text, 0, 0},
                                   {"d", FieldType::Boolean, 0, 0}, {"e", FieldType::Integer, 0, 0}});
        break;
    case Op::GradeList:
        db.select("SELECT \"GradeCode\", \"InYear\", \"sYear\", \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? ORDER BY \"InYear\" DESC",
                  {kSchool}, {{"a", FieldType::Text, 0, 0}, {"b", FieldType::Integer, 0, 0}, {"c", FieldType::Text, 0, 0}, {"d", FieldType::Text, 0, 0}});
        break;
    case Op::ClassNames:
        db.select("SELECT \"ClassCode\", \"ClassName\", \"sArea\" FROM \"XJ_Class\" WHERE \"SchoolCode\" = ? ORDER BY \"ClassCode\"",
                  {kSchool}, {{"a", FieldType::Text, 0, 0}, {"b", FieldType::Text, 0, 0}, {"c", FieldType::Text, 0, 0}});
        break;
    case Op::SchoolInfo:
        db.select("SELECT \"SchoolCode\", \"sFullName\", \"bHasSub\" FROM \"XT_School\" WHERE \"SchoolCode\" = ?",
                  {kSchool}, {{"a", FieldType::Text, 0, 0}, {"b", FieldType::Text, 0, 0}, {"c", FieldType::Boolean, 0, 0}});
        break;
    case Op::Log:
        db.exec("INSERT INTO \"XT_Log\" (\"SchoolCode\", \"sUserId\", \"sUserName\", \"sComputer\", \"sText\", \"dTime\") VALUES (?, ?, ?, ?, ?, ?)",
                {kSchool, "admin", QStringLiteral("管理员"), QStringLiteral("BENCH-%1").arg(client), QStringLiteral("保存成绩 第%1次").arg(n),
                 db.toDb(QDateTime::currentDateTimeUtc(), FieldType::DateTime)});
        break;
    }
}

Result overHttp(const HttpServer &server, int clients, int calls)
{
    Result r;
    r.scenario = QStringLiteral("HTTP");
    r.clients = clients;
    std::mutex mutex;
    std::barrier start(clients + 1);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            HttpLinkOptions o;
            o.port = server.port();
            HttpLink link(o);
            ClientSession s(link);
            const bool in = s.signIn("admin", "lumeko", QStringLiteral("BENCH-%1").arg(c)).ok();
            start.arrive_and_wait();
            QList<double> mine;
            int failed = in ? 0 : calls;
            for (int n = 0; in && n < calls; ++n) {
                QElapsedTimer t;
                t.start();
                if (!callOverSession(s, opFor(n + c), c, n).ok()) ++failed;
                mine << t.nsecsElapsed() / 1e6;
            }
            std::lock_guard lock(mutex);
            r.latenciesMs += mine;
            r.failures += failed;
        });
    }
    start.arrive_and_wait(); // everyone has signed in
    QElapsedTimer wall;
    wall.start();
    for (std::thread &t : threads) t.join();
    r.seconds = wall.nsecsElapsed() / 1e9;
    r.calls = qint64(clients) * calls;
    return r;
}

Result onStorage(const DatabaseUrl &url, int clients, int calls)
{
    // The same number of calls, spread over as many connections as the server has workers.
    const int threadsCount = std::min(clients, kServerWorkers);
    Result r;
    r.scenario = QStringLiteral("storage");
    r.clients = clients;
    std::mutex mutex;
    std::barrier start(threadsCount + 1);
    std::atomic<int> next{0};
    const int total = clients * calls;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadsCount; ++t) {
        threads.emplace_back([&] {
            Database db(url);
            start.arrive_and_wait();
            QList<double> mine;
            for (int i = next++; i < total; i = next++) {
                const int client = i / calls, n = i % calls;
                QElapsedTimer timer;
                timer.start();
                runOnStorage(db, opFor(n + client), client, n);
                mine << timer.nsecsElapsed() / 1e6;
            }
            std::lock_guard lock(mutex);
            r.latenciesMs += mine;
        });
    }
    start.arrive_and_wait();
    QElapsedTimer wall;
    wall.start();
    for (std::thread &t : threads) t.join();
    r.seconds = wall.nsecsElapsed() / 1e9;
    r.calls = total;
    return r;
}

DatabaseUrl prepareDatabase()
{
    const QString admin = qEnvironmentVariable("LUMEKO_BENCH_PG", QStringLiteral("postgresql:///postgres"));
    DatabaseUrl url = DatabaseUrl::parse(admin);
    const DatabaseUrl adminUrl = url;
    url.database = QStringLiteral("lumeko_bench");
    {
        Database db(adminUrl);
        db.exec(QStringLiteral("DROP DATABASE IF EXISTS lumeko_bench WITH (FORCE)"));
        db.exec(QStringLiteral("CREATE DATABASE lumeko_bench ENCODING 'UTF8' TEMPLATE template0"));
    }
    Database db(url);
    migrate(db);
    DemoOptions demo;
    demo.hashPassword = [](const QString &pw) { return hashPassword(pw); };
    demo.schoolId = kSchool;
    QElapsedTimer t;
    t.start();
    seedDemoSchool(db, demo);
    std::printf("demo school generated on PostgreSQL in %.1f s\n", t.elapsed() / 1000.0);
    return url;
}

void print(const Result &r, const Result &baseline)
{
    std::printf("%-8s %7d %8lld %8.2f %10.0f %8.2f %8.2f %9.2fx %6d\n", qPrintable(r.scenario), r.clients, r.calls, r.seconds,
                r.perSecond(), r.percentile(0.5), r.percentile(0.99), baseline.perSecond() / r.perSecond(), r.failures);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> clientCounts = {100, 200};
    int calls = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString opt = QString::fromLocal8Bit(argv[i]), value = QString::fromLocal8Bit(argv[i + 1]);
        if (opt == u"--calls") calls = value.toInt();
        if (opt == u"--clients") {
            clientCounts.clear();
            for (const QString &c : value.split(u',')) clientCounts << c.toInt();
        }
    }
    try {
        const DatabaseUrl url = prepareDatabase();
        ServerOptions options;
        options.database = url;
        options.fileStore = QStringLiteral("/tmp/lumeko-bench-files");
        Service service(options);
        installSchoolMethods(service);
        HttpServerOptions http;
        http.workerThreads = kServerWorkers;
        // Hand each connection back after a few calls, so that more clients than workers share
        // the workers fairly instead of waiting for a kept-alive connection to go idle.
        http.keepAliveMaxCount = 8;
        HttpServer server(service, http);
        QString why;
        if (!server.listen(&why)) {
            std::fprintf(stderr, "cannot listen: %s\n", qPrintable(why));
            return 1;
        }
        std::printf("\n%-8s %7s %8s %8s %10s %8s %8s %10s %6s\n", "path", "clients", "calls", "seconds", "calls/s", "p50 ms",
                    "p99 ms", "vs store", "failed");
        // All baselines first: their connections are closed before the server's workers open theirs,
        // which stay open (PostgreSQL allows 100 connections by default).
        QList<Result> baselines;
        for (int clients : clientCounts) baselines << onStorage(url, clients, calls);
        for (int i = 0; i < clientCounts.size(); ++i) {
            print(baselines[i], baselines[i]);
            print(overHttp(server, clientCounts[i], calls), baselines[i]);
        }
        server.stop();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "server_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
