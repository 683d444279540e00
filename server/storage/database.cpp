#include "server/storage/database.h"
#include "server/storage/writerqueue.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <algorithm>
#include <optional>

namespace lumeko::server {

// The statements a call runs (debug) and the rows the database refused (warnings).
Q_LOGGING_CATEGORY(lcStorage, "lumeko.storage", QtInfoMsg)

QString StorageError::plainMessage() const
{
    // SQLite and PostgreSQL word their refusals differently; both are matched.
    const QString m = message();
    if (m.contains(QLatin1String("UNIQUE constraint"), Qt::CaseInsensitive) || m.contains(QLatin1String("duplicate key"), Qt::CaseInsensitive))
        return QStringLiteral("another row already has the same key");
    if (m.contains(QLatin1String("FOREIGN KEY"), Qt::CaseInsensitive) || m.contains(QLatin1String("foreign key"), Qt::CaseInsensitive))
        return QStringLiteral("it refers to a row that does not exist, or is referred to by another");
    if (m.contains(QLatin1String("NOT NULL constraint"), Qt::CaseInsensitive) || m.contains(QLatin1String("null value in column"), Qt::CaseInsensitive))
        return QStringLiteral("a value that must be given is missing");
    if (m.contains(QLatin1String("too long"), Qt::CaseInsensitive)) return QStringLiteral("a value is longer than its column holds");
    return QStringLiteral("the database could not carry it out");
}

using wire::FieldType;

// --- DatabaseUrl -------------------------------------------------------------------------------------

DatabaseUrl DatabaseUrl::parse(const QString &text)
{
    DatabaseUrl u;
    if (text.startsWith(u"sqlite:")) {
        u.backend = Backend::Sqlite;
        u.path = text.mid(7);
        if (u.path.startsWith(u"//")) u.path = u.path.mid(2); // sqlite:///abs/path
        if (u.path.isEmpty()) throw StorageError(QStringLiteral("the database URL \"%1\" names no file").arg(text));
        return u;
    }
    if (text.startsWith(u"postgresql://") || text.startsWith(u"postgres://")) {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid()) throw StorageError(QStringLiteral("the database URL is not valid: %1").arg(url.errorString()));
        u.backend = Backend::Postgres;
        u.host = url.host();
        u.port = url.port(0);
        u.user = url.userName();
        u.password = url.password();
        u.database = url.path().mid(1);
        if (u.database.isEmpty() || u.database.contains(u'/'))
            throw StorageError(QStringLiteral("the database URL \"%1\" names no database").arg(u.toString()));
        return u;
    }
    throw StorageError(QStringLiteral("unknown database URL \"%1\"; use sqlite:FILE or postgresql://host/db").arg(text));
}

QString DatabaseUrl::toString(bool withPassword) const
{
    if (backend == Backend::Sqlite) return QStringLiteral("sqlite:") + path;
    QString s = QStringLiteral("postgresql://");
    if (!user.isEmpty()) {
        s += user;
        if (withPassword && !password.isEmpty()) s += u':' + password;
        s += u'@';
    }
    s += host;
    if (port) s += u':' + QString::number(port);
    return s + u'/' + database;
}

// --- Database ----------------------------------------------------------------------------------------

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("lumeko-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

Database::Database(const DatabaseUrl &url) : m_url(url), m_connection(nextConnectionName())
{
    const bool sqlite = url.backend == Backend::Sqlite;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), m_connection);
    if (!db.isValid()) {
        QSqlDatabase::removeDatabase(m_connection);
        throw StorageError(QStringLiteral("the Qt SQL driver for %1 is not installed").arg(sqlite ? "SQLite" : "PostgreSQL"));
    }
    if (sqlite) {
        db.setDatabaseName(url.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
    } else {
        db.setDatabaseName(url.database);
        if (!url.host.isEmpty()) db.setHostName(url.host);
        if (url.port) db.setPort(url.port);
        if (!url.user.isEmpty()) db.setUserName(url.user);
        if (!url.password.isEmpty()) db.setPassword(url.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    }
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        throw StorageError(QStringLiteral("cannot open %1: %2").arg(url.toString(), why));
    }
    if (sqlite) {
        // Every acknowledged save must survive a crash or a power cut: the write-ahead log synced
        // on every commit. References between tables are enforced.
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        if (!url.path.isEmpty() && !url.path.startsWith(u':') && !url.path.startsWith(QStringLiteral("file::memory:")))
            m_writers = WriterQueue::forFile(url.path);
    } else {
        exec(QStringLiteral("SET client_encoding TO 'UTF8'"));
        exec(QStringLiteral("SET TIME ZONE 'UTC'"));
        exec(QStringLiteral("SET client_min_messages TO WARNING"));
        // No single statement may hold a connection for ever; the longest analyses take minutes.
        exec(QStringLiteral("SET statement_timeout TO '10min'"));
    }
}

Database::~Database()
{
    if (m_inTransaction) {
        try { rollback(); } catch (...) {}
    }
    m_statements.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString Database::quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

QVariant Database::toDb(const QVariant &value, FieldType type) const
{
    if (wire::isNull(value)) return QVariant();
    const bool sqlite = m_url.backend == Backend::Sqlite;
    switch (type) {
    case FieldType::Boolean: return sqlite ? QVariant(value.toBool() ? 1 : 0) : QVariant(value.toBool());
    case FieldType::Date: return sqlite ? QVariant(value.toDate().toString(Qt::ISODate)) : value;
    case FieldType::DateTime: return value.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    default: return value;
    }
}

QSqlQuery &Database::prepared(const QString &sql)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) return **it;
    auto q = std::make_shared<QSqlQuery>(QSqlDatabase::database(m_connection, false));
    q->setForwardOnly(true);
    if (!q->prepare(sql))
        throw StorageError(QStringLiteral("cannot prepare a statement: %1 [%2]").arg(q->lastError().text(), sql.left(200)));
    if (m_statements.size() > 500) m_statements.clear(); // bounded: a few hundred distinct statements
    m_statements.insert(sql, q);
    return *q;
}

void Database::run(QSqlQuery &q, const QString &sql, const QVariantList &params)
{
    qCDebug(lcStorage).noquote() << sql.left(300) << "with" << params.size() << "values";
    for (int i = 0; i < params.size(); ++i) q.bindValue(i, params[i]);
    if (!q.exec())
        throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text().trimmed(), sql.left(200)));
}

namespace {

// Whether SQLite takes its write lock for the statement.
bool writes(const QString &sql)
{
    const QStringView s = QStringView(sql).trimmed();
    for (const char *verb : {"INSERT", "UPDATE", "DELETE", "REPLACE", "CREATE", "DROP", "ALTER"})
        if (s.startsWith(QLatin1StringView(verb), Qt::CaseInsensitive)) return true;
    return false;
}

// Waits for the writer's turn among the file's writers, a transaction's or a single statement's.
void awaitWriterTurn(WriterQueue &queue)
{
    if (!queue.enter(std::chrono::seconds(15))) throw StorageError(QStringLiteral("the database is busy: other saves have held it for 15 s; try again"));
}

// A turn in the queue of the file's writers, held for one statement.
class WriterTurn {
public:
    explicit WriterTurn(WriterQueue &queue) : m_queue(queue) { awaitWriterTurn(m_queue); }
    ~WriterTurn() { m_queue.leave(); }
    WriterTurn(const WriterTurn &) = delete;
    WriterTurn &operator=(const WriterTurn &) = delete;

private:
    WriterQueue &m_queue;
};

} // namespace

int Database::exec(const QString &sql, const QVariantList &params)
{
    // A statement that writes outside a transaction (a sign-in's session row, a session's touch)
    // takes SQLite's write lock on its own: it waits its turn among the writers like a
    // transaction, rather than in SQLite's busy handler, where writers that came after it would
    // pass it again and again while it sleeps.
    std::optional<WriterTurn> turn;
    if (m_writers && !m_inTransaction && writes(sql)) turn.emplace(*m_writers);
    if (params.isEmpty()) {
        // Statements without parameters (pragmas, schema changes, transaction control) run unprepared.
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        if (!q.exec(sql))
            throw StorageError(QStringLiteral("%1 [%2]").arg(q.lastError().text().trimmed(), sql.left(200)));
        return q.numRowsAffected();
    }
    QSqlQuery &q = prepared(sql);
    run(q, sql, params);
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

wire::DataPacket Database::select(const QString &sql, const QVariantList &params, const QList<wire::FieldDef> &fields)
{
    QSqlQuery &q = prepared(sql);
    run(q, sql, params);
    if (q.record().count() != fields.size())
        throw StorageError(QStringLiteral("the query gives %1 columns where %2 were expected [%3]")
                               .arg(q.record().count()).arg(fields.size()).arg(sql.left(200)));
    QList<wire::Column> columns;
    columns.reserve(fields.size());
    for (const wire::FieldDef &f : fields) columns.append(wire::Column(f.type));
    QVariant v;
    while (q.next()) {
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant raw = q.value(i);
            // The common cases straight into the column: sheets read tens of thousands of rows.
            if (raw.isNull()) {
                columns[i].appendNull();
                continue;
            }
            const int stored = raw.typeId();
            if (fields[i].type == wire::FieldType::Float && (stored == QMetaType::Double || stored == QMetaType::LongLong)) {
                columns[i].appendFloat(raw.toDouble());
                continue;
            }
            if (fields[i].type == wire::FieldType::Integer && (stored == QMetaType::LongLong || stored == QMetaType::Int)) {
                columns[i].appendInt(raw.toLongLong());
                continue;
            }
            if (fields[i].type == wire::FieldType::Text && stored == QMetaType::QString) {
                columns[i].appendText(raw.toString());
                continue;
            }
            if (!wire::coerceValue(raw, fields[i].type, &v))
                throw StorageError(QStringLiteral("the stored value '%1' of %2 is not a valid %3")
                                       .arg(raw.toString().left(40), fields[i].name, wire::fieldTypeName(fields[i].type)));
            if (v.isValid()) columns[i].append(v);
            else columns[i].appendNull();
        }
    }
    q.finish();
    return wire::DataPacket::fromColumns(fields, std::move(columns));
}

QVariant Database::scalar(const QString &sql, const QVariantList &params)
{
    QSqlQuery &q = prepared(sql);
    run(q, sql, params);
    QVariant v = q.next() ? q.value(0) : QVariant();
    q.finish();
    return v;
}

qint64 Database::insertReturningId(const QString &sql, const QVariantList &params, const QString &serialColumn)
{
    if (m_url.backend == Backend::Postgres) {
        const QString returning = sql + QStringLiteral(" RETURNING ") + quoted(serialColumn);
        QSqlQuery &q = prepared(returning);
        run(q, returning, params);
        const qint64 id = q.next() ? q.value(0).toLongLong() : 0;
        q.finish();
        return id;
    }
    std::optional<WriterTurn> turn;
    if (m_writers && !m_inTransaction) turn.emplace(*m_writers);
    QSqlQuery &q = prepared(sql);
    run(q, sql, params);
    const qint64 id = q.lastInsertId().toLongLong();
    q.finish();
    return id;
}

int Database::execValues(const QString &head, int width, const QList<QVariantList> &rows, const QString &tail)
{
    // 250 rows of up to 8 values stay far below either back end's limit on parameters.
    constexpr qsizetype kBatch = 250;
    const QString one = u'(' + QStringList(width, QStringLiteral("?")).join(QStringLiteral(", ")) + u')';
    int changed = 0;
    for (qsizetype start = 0; start < rows.size(); start += kBatch) {
        const qsizetype n = std::min(kBatch, rows.size() - start);
        QVariantList params;
        params.reserve(n * width);
        for (qsizetype r = start; r < start + n; ++r) {
            if (rows[r].size() != width)
                throw StorageError(QStringLiteral("execValues: a row of %1 values where %2 are expected").arg(rows[r].size()).arg(width));
            params += rows[r];
        }
        changed +=
            exec(head + QStringLiteral(" VALUES ") + QStringList(n, one).join(QStringLiteral(", ")) + (tail.isEmpty() ? QString() : u' ' + tail), params);
    }
    return changed;
}

void Database::execScript(const QString &script)
{
    const QStringList statements = script.split(QStringLiteral(";\n"), Qt::SkipEmptyParts);
    for (const QString &s : statements)
        if (!s.trimmed().isEmpty()) exec(s.trimmed());
}

void Database::begin()
{
    if (m_inTransaction) throw StorageError(QStringLiteral("a transaction is already open on this connection"));
    if (m_writers) awaitWriterTurn(*m_writers);
    try {
        exec(m_url.backend == Backend::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    } catch (...) {
        if (m_writers) m_writers->leave();
        throw;
    }
    m_inTransaction = true;
}

void Database::commit()
{
    if (!m_inTransaction) throw StorageError(QStringLiteral("no transaction to commit"));
    exec(QStringLiteral("COMMIT")); // on failure the transaction stays open for the rollback
    m_inTransaction = false;
    if (m_writers) m_writers->leave();
}

void Database::rollback()
{
    if (!m_inTransaction) return;
    m_inTransaction = false;
    struct NextWriter {
        WriterQueue *queue;
        ~NextWriter()
        {
            if (queue) queue->leave();
        }
    } next{m_writers.get()};
    exec(QStringLiteral("ROLLBACK"));
}

Transaction::~Transaction()
{
    if (!m_done) {
        try { m_db.rollback(); } catch (...) {}
    }
}

} // namespace lumeko::server
