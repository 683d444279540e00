// Restoring a backup. `lumeko-server backup` writes a SQLite database's copy (VACUUM INTO) or a
// PostgreSQL database's pg_dump archive; restore puts one back into a new, empty database of the
// same kind. It never writes over a database that holds anything, and checks the file before the
// target is touched: a district administrator restoring in a hurry gets a clear refusal rather
// than a half-restored or overwritten school.

#include "restore.h"

#include "server/storage/migrations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumeko::server {

namespace {

enum class BackupKind { Unknown, Sqlite, PostgresArchive };

// What the file's first bytes say it is.
BackupKind kindOf(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return BackupKind::Unknown;
    const QByteArray head = f.read(16);
    if (head == QByteArrayView("SQLite format 3\0", 16)) return BackupKind::Sqlite;
    if (head.startsWith("PGDMP")) return BackupKind::PostgresArchive;
    return BackupKind::Unknown;
}

// The tables a database holds outside the system's own catalogues.
qint64 tablesIn(Database &db)
{
    if (db.backend() == Backend::Sqlite)
        return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")).toLongLong();
    return db
        .scalar(QStringLiteral("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN ('r', 'p') "
                               "AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND n.nspname NOT LIKE 'pg\\_%'"))
        .toLongLong();
}

QString notEmpty(const DatabaseUrl &url, qint64 tables)
{
    return QStringLiteral("the database %1 is not empty (it holds %2 tables); a backup is restored into a new, empty database\n")
        .arg(url.toString())
        .arg(tables);
}

QString wrongKind(const QString &from, BackupKind kind)
{
    if (kind == BackupKind::Sqlite) return QStringLiteral("%1 is the backup of a SQLite database; it restores into a sqlite: database\n").arg(from);
    if (kind == BackupKind::PostgresArchive)
        return QStringLiteral("%1 is the backup of a PostgreSQL database (a pg_dump archive); it restores into a postgresql:// database\n").arg(from);
    return QStringLiteral("%1 is not a backup made by lumeko-server backup\n").arg(from);
}

// The write-ahead log or rollback journal SQLite left beside a database file; empty when none.
QString logBeside(const QString &file)
{
    for (const char *suffix : {"-wal", "-journal"})
        if (QFileInfo::exists(file + QLatin1String(suffix))) return file + QLatin1String(suffix);
    return {};
}

// A SQLite backup is itself a database: it is copied beside the target, checked there (integrity,
// a school's schema this server can open) and only then given the target's name.
int restoreSqlite(const DatabaseUrl &url, const QString &from, QTextStream &out, QTextStream &err)
{
    // A database file with its log beside it is one in use or not closed cleanly: the file alone
    // misses what the log holds.
    if (const QString log = logBeside(from); !log.isEmpty()) {
        err << log << " exists: " << from << " is a database in use, not a backup; back it up with lumeko-server backup\n";
        return 1;
    }
    const QFileInfo target(url.path);
    if (const QString log = logBeside(url.path); !log.isEmpty()) {
        err << log << " exists: the log of a database that was open there; restore into a new file\n";
        return 1;
    }
    if (target.exists() && target.size() > 0) {
        if (kindOf(url.path) != BackupKind::Sqlite) {
            err << url.path << " exists and is not a database; restore writes a new file\n";
            return 1;
        }
        Database existing(url);
        if (const qint64 n = tablesIn(existing); n > 0) {
            err << notEmpty(url, n);
            return 1;
        }
    }
    QDir().mkpath(target.absolutePath());
    const QString copy = target.absoluteFilePath() + QStringLiteral(".restoring");
    const auto discard = [&] {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(copy + QLatin1String(suffix));
    };
    discard();
    if (!QFile::copy(from, copy)) {
        err << "cannot copy " << from << " to " << copy << "\n";
        return 1;
    }
    int version = 0;
    qint64 tables = 0;
    try {
        DatabaseUrl copyUrl = url;
        copyUrl.path = copy;
        Database db(copyUrl);
        const QString integrity = db.scalar(QStringLiteral("PRAGMA integrity_check")).toString();
        if (integrity != u"ok") {
            discard();
            err << from << " is damaged (SQLite's integrity check: " << integrity << "); nothing was restored\n";
            return 1;
        }
        version = schemaVersionOf(db);
        tables = tablesIn(db);
        // The file stands alone under its new name: nothing of it is left in a write-ahead log.
        if (version > 0 && version <= latestSchemaVersion()) db.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    } catch (const StorageError &e) {
        discard();
        err << from << " is not a sound SQLite database (" << e.message() << "); nothing was restored\n";
        return 1;
    }
    if (version == 0 || version > latestSchemaVersion()) {
        discard();
        if (version == 0)
            err << from << " is a SQLite database but not a backup of a school's database (it has no schema version)\n";
        else
            err << from << " was made by a newer lumeko-server (schema version " << version << "; this one knows " << latestSchemaVersion() << ")\n";
        return 1;
    }
    QFile::remove(url.path + QStringLiteral("-shm"));
    if ((target.exists() && !QFile::remove(url.path)) || !QFile::rename(copy, url.path)) {
        discard();
        err << "cannot put the restored database at " << url.path << "\n";
        return 1;
    }
    discard();
    out << "restored " << from << " into " << url.toString() << " (schema version " << version << ", " << tables << " tables)\n";
    return 0;
}

// A PostgreSQL backup is pg_dump's archive: pg_restore reads it into the target in one
// transaction, so that a failure leaves the target as empty as it was. Objects belong to the user
// of the URL, whatever roles the backed-up server had.
int restorePostgres(const DatabaseUrl &url, const QString &from, QTextStream &out, QTextStream &err)
{
    QProcess list;
    list.start(QStringLiteral("pg_restore"), {QStringLiteral("--list"), from});
    if (!list.waitForFinished(-1) || list.exitStatus() != QProcess::NormalExit || list.exitCode() != 0) {
        err << from << " is not a readable pg_dump archive: " << QString::fromLocal8Bit(list.readAllStandardError()).trimmed()
            << (list.error() == QProcess::FailedToStart ? QStringLiteral("pg_restore cannot be started; install PostgreSQL's client tools") : QString())
            << "\n";
        return 1;
    }
    if (!QString::fromUtf8(list.readAllStandardOutput()).contains(QStringLiteral(" TABLE public XT_SchemaVersion "))) {
        err << from << " is a pg_dump archive but not a backup of a school's database (it has no schema version)\n";
        return 1;
    }
    {
        Database db(url);
        if (const qint64 n = tablesIn(db); n > 0) {
            err << notEmpty(url, n);
            return 1;
        }
    }
    QProcess restore;
    QStringList args = postgresClientArgs(url, restore);
    args << QStringLiteral("--no-owner") << QStringLiteral("--no-privileges") << QStringLiteral("--single-transaction") << QStringLiteral("--exit-on-error")
         << QStringLiteral("--dbname=") + url.database << from;
    restore.start(QStringLiteral("pg_restore"), args);
    if (!restore.waitForFinished(-1) || restore.exitStatus() != QProcess::NormalExit || restore.exitCode() != 0) {
        err << "pg_restore failed; " << url.toString() << " was left as it was: " << QString::fromLocal8Bit(restore.readAllStandardError()).trimmed() << "\n";
        return 1;
    }
    Database db(url);
    out << "restored " << from << " into " << url.toString() << " (schema version " << schemaVersionOf(db) << ", " << tablesIn(db) << " tables)\n";
    return 0;
}

} // namespace

QStringList postgresClientArgs(const DatabaseUrl &url, QProcess &tool)
{
    QStringList args;
    if (!url.host.isEmpty()) args << QStringLiteral("--host=") + url.host;
    if (url.port) args << QStringLiteral("--port=") + QString::number(url.port);
    if (!url.user.isEmpty()) args << QStringLiteral("--username=") + url.user;
    if (!url.password.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), url.password);
        tool.setProcessEnvironment(env);
    }
    return args;
}

int restoreBackup(const DatabaseUrl &url, const QString &from, QTextStream &out, QTextStream &err)
{
    if (from.isEmpty()) {
        err << "restore needs --from FILE, a file written by lumeko-server backup\n";
        return 2;
    }
    if (!QFileInfo(from).isFile() || !QFileInfo(from).isReadable()) {
        err << "cannot read " << from << "\n";
        return 1;
    }
    const BackupKind kind = kindOf(from);
    const BackupKind wanted = url.backend == Backend::Sqlite ? BackupKind::Sqlite : BackupKind::PostgresArchive;
    if (kind != wanted) {
        err << wrongKind(from, kind);
        return 1;
    }
    return url.backend == Backend::Sqlite ? restoreSqlite(url, from, out, err) : restorePostgres(url, from, out, err);
}

} // namespace lumeko::server
