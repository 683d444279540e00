// lumeko-server: creates a school database, serves it over HTTP or HTTPS, backs it up and restores
// a backup.
//
//   lumeko-server init   --db URL [--demo] [--seed N]
//   lumeko-server serve  --db URL [--listen HOST:PORT] [--files DIR] [--threads N]
//                        [--tls-cert FILE --tls-key FILE]
//                        [--max-connections N] [--max-per-address N]
//                        (the calls at /call, the score query page at /query/)
//   lumeko-server backup --db URL --to FILE
//   lumeko-server restore --db URL --from FILE   (into a new, empty database)
//
// URL is sqlite:PATH or postgresql://[user[:password]@][host][:port]/database.

#include "restore.h"
#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/http/httpserver.h"
#include "server/methods/methods.h"
#include "server/query/querypage.h"
#include "server/seed/seed.h"
#include "server/storage/migrations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <pthread.h>
#include <signal.h>

using namespace lumeko::server;

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

// Photos are kept beside a SQLite file; a PostgreSQL server needs --files.
QString defaultFileStore(const DatabaseUrl &url)
{
    if (url.backend == Backend::Sqlite) return QFileInfo(url.path).absolutePath() + QStringLiteral("/files");
    return {};
}

int init(const DatabaseUrl &url, bool demo, quint32 seed)
{
    if (url.backend == Backend::Sqlite) QDir().mkpath(QFileInfo(url.path).absolutePath());
    Database db(url);
    const int before = migrate(db);
    if (before == 0)
        out() << "created the schema (version " << latestSchemaVersion() << ")\n";
    else
        out() << "the schema is at version " << latestSchemaVersion() << "\n";
    seedSystemData(db);
    if (!demo) return 0;
    if (db.scalar(QStringLiteral("SELECT count(*) FROM \"XT_School\"")).toLongLong() > 0) {
        err() << "the database already holds a school; the demo school goes into an empty database\n";
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    DemoOptions options;
    options.seed = seed;
    options.hashPassword = [](const QString &pw) { return hashPassword(pw); };
    QList<DemoStudent> students;
    const QList<DemoAccount> accounts = seedDemoSchool(db, options, &students);
    out() << "made the demo school in " << timer.elapsed() / 1000.0 << " s; sign in with:\n";
    for (const DemoAccount &a : accounts)
        out() << "  " << a.login << "\t" << a.password << "\t" << a.name << "\t" << a.description << "\n";
    if (!students.isEmpty()) {
        out() << "students and parents sign in to the score query page (/query/) with:\n";
        for (const DemoStudent &s : students)
            out() << "  " << s.sno << "\t" << s.password << "\t" << s.name << "\t" << s.description << "\n";
    }
    return 0;
}

// Plain HTTP is fine on this computer's own loopback addresses; anywhere else passwords and
// session tokens would be readable on the network.
bool isLoopback(const QString &host)
{
    if (host == u"localhost" || host == u"::1") return true;
    const QStringList parts = host.split(u'.');
    return parts.size() == 4 && parts.first() == u"127";
}

struct ServeOptions {
    QString listen, files, tlsCertificate, tlsKey;
    int threads = 0;
    int maxConnections = 2048, maxPerAddress = 256;
};

int serve(const DatabaseUrl &url, const ServeOptions &so)
{
    const int colon = so.listen.lastIndexOf(u':');
    bool portOk = false;
    const int port = colon > 0 ? so.listen.mid(colon + 1).toInt(&portOk) : 0;
    if (!portOk || port <= 0 || port > 65535) {
        err() << "--listen takes HOST:PORT, e.g. 127.0.0.1:8470\n";
        return 2;
    }
    QString host = so.listen.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2); // [::1]:8470
    if (so.tlsCertificate.isEmpty() != so.tlsKey.isEmpty()) {
        err() << "HTTPS needs both --tls-cert FILE and --tls-key FILE\n";
        return 2;
    }
    ServerOptions options;
    options.database = url;
    options.fileStore = so.files.isEmpty() ? defaultFileStore(url) : so.files;
    if (options.fileStore.isEmpty()) {
        err() << "a PostgreSQL server needs --files DIR for the photo store\n";
        return 2;
    }
    // SIGINT and SIGTERM are taken by this thread, which stops the server in an orderly way; every
    // other thread (the HTTP workers included) has them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Service service(options);
    installSchoolMethods(service);
    HttpServerOptions http;
    http.host = host;
    http.port = port;
    http.workerThreads = so.threads;
    http.maxConnections = so.maxConnections;
    http.maxConnectionsPerAddress = so.maxPerAddress;
    if (http.maxConnectionsPerAddress > http.maxConnections) {
        err() << "--max-per-address (" << http.maxConnectionsPerAddress << ") cannot exceed --max-connections (" << http.maxConnections << ")\n";
        return 2;
    }
    http.tlsCertificate = so.tlsCertificate;
    http.tlsKey = so.tlsKey;
    HttpServer server(service, http);
    QueryPage queryPage(service);
    server.addWebHandler(QString::fromLatin1(QueryPage::kPrefix), queryPage);
    QString why;
    if (!server.listen(&why)) {
        err() << "cannot serve: " << why << "\n";
        return 1;
    }
    out() << "serving " << url.toString() << " at " << server.url() << " (files in " << options.fileStore << ")\n";
    out() << "the score query page for students and parents: " << server.url() << QueryPage::kPrefix << "/\n";
    if (!http.tls() && !isLoopback(host)) {
        out() << "WARNING: plain HTTP on " << host
              << ": passwords and session tokens cross the network unencrypted; "
                 "serve HTTPS with --tls-cert FILE --tls-key FILE\n";
    }
    out().flush();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    out() << "stopped\n";
    return 0;
}

int backup(const DatabaseUrl &url, const QString &to)
{
    if (to.isEmpty()) {
        err() << "backup needs --to FILE\n";
        return 2;
    }
    if (QFileInfo::exists(to)) {
        err() << to << " exists; choose a new file\n";
        return 1;
    }
    if (url.backend == Backend::Sqlite) {
        // A consistent copy while the school keeps working: SQLite writes it from one snapshot.
        Database db(url);
        db.exec(QStringLiteral("VACUUM INTO ?"), {QFileInfo(to).absoluteFilePath()});
    } else {
        QProcess dump;
        QStringList args = postgresClientArgs(url, dump);
        args << QStringLiteral("--format=custom") << QStringLiteral("--file=") + to << url.database;
        dump.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dump.start(QStringLiteral("pg_dump"), args);
        if (!dump.waitForFinished(-1) || dump.exitStatus() != QProcess::NormalExit || dump.exitCode() != 0) {
            err() << "pg_dump failed\n";
            return 1;
        }
    }
    out() << "backed up " << url.toString() << " to " << to << "\n";
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumeko-server"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The LumekoAchieve application server.\n\n"
                                               "Commands:\n  init    create the schema (--demo: and the demo school)\n"
                                               "  serve   serve the database over HTTP, or HTTPS with --tls-cert and --tls-key\n"
                                               "  backup  write a backup of the database\n"
                                               "  restore restore a backup into a new, empty database"));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("command"), QStringLiteral("init, serve, backup or restore"));
    p.addOption({QStringLiteral("db"), QStringLiteral("sqlite:PATH or postgresql://..."), QStringLiteral("URL")});
    p.addOption({QStringLiteral("demo"), QStringLiteral("init: also generate the demo school")});
    p.addOption({QStringLiteral("seed"), QStringLiteral("init: the demo school's random seed"), QStringLiteral("N"), QStringLiteral("20120901")});
    p.addOption({QStringLiteral("listen"), QStringLiteral("serve: address and port"), QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:8470")});
    p.addOption({QStringLiteral("files"), QStringLiteral("serve: the photo store folder"), QStringLiteral("DIR")});
    p.addOption({QStringLiteral("threads"), QStringLiteral("serve: worker threads"), QStringLiteral("N"), QStringLiteral("64")});
    p.addOption({QStringLiteral("tls-cert"), QStringLiteral("serve: HTTPS with this PEM certificate (then its chain)"), QStringLiteral("FILE")});
    p.addOption({QStringLiteral("tls-key"), QStringLiteral("serve: the certificate's PEM private key, without a passphrase"), QStringLiteral("FILE")});
    p.addOption({QStringLiteral("max-connections"), QStringLiteral("serve: connections open at once, in all"), QStringLiteral("N"), QStringLiteral("2048")});
    p.addOption({QStringLiteral("max-per-address"),
                 QStringLiteral("serve: connections open at once from one address (raise it for schools behind one NAT address)"), QStringLiteral("N"),
                 QStringLiteral("256")});
    p.addOption({QStringLiteral("to"), QStringLiteral("backup: the file to write"), QStringLiteral("FILE")});
    p.addOption({QStringLiteral("from"), QStringLiteral("restore: the backup to restore"), QStringLiteral("FILE")});
    p.process(app);

    const QStringList args = p.positionalArguments();
    if (args.size() != 1 || !p.isSet(QStringLiteral("db"))) {
        err() << p.helpText();
        return 2;
    }
    try {
        const DatabaseUrl url = DatabaseUrl::parse(p.value(QStringLiteral("db")));
        const QString command = args.first();
        if (command == u"init") return init(url, p.isSet(QStringLiteral("demo")), p.value(QStringLiteral("seed")).toUInt());
        if (command == u"serve") {
            ServeOptions so;
            so.listen = p.value(QStringLiteral("listen"));
            so.files = p.value(QStringLiteral("files"));
            so.threads = p.value(QStringLiteral("threads")).toInt();
            for (auto [name, field] : {std::pair{"max-connections", &so.maxConnections}, std::pair{"max-per-address", &so.maxPerAddress}}) {
                bool ok = false;
                *field = p.value(QString::fromLatin1(name)).toInt(&ok);
                if (!ok || *field < 1 || *field > 1'000'000) {
                    err() << "--" << name << " takes a whole number from 1 to 1000000\n";
                    return 2;
                }
            }
            so.tlsCertificate = p.value(QStringLiteral("tls-cert"));
            so.tlsKey = p.value(QStringLiteral("tls-key"));
            return serve(url, so);
        }
        if (command == u"backup") return backup(url, p.value(QStringLiteral("to")));
        if (command == u"restore") return restoreBackup(url, p.value(QStringLiteral("from")), out(), err());
        err() << "unknown command \"" << command << "\"\n" << p.helpText();
        return 2;
    } catch (const std::exception &e) {
        err() << "lumeko-server: " << e.what() << "\n";
        return 1;
    }
}
