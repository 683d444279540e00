#pragma once
// One connection to the school's database, on either back end: SQLite (the embedded default, one
// file) or PostgreSQL (a district's shared server). Statements take positional "?" parameters and
// are prepared once per connection; values are converted to and from the wire types here, so that
// the rest of the server never sees a back end's own representation of dates or booleans.
//
// A Database belongs to the thread that opened it (Qt's SQL connections are per thread).

#include "server/storage/storage_export.h"
#include "wire/packet.h"

#include <QHash>
#include <QLoggingCategory>
#include <QString>
#include <QVariantList>

#include <memory>
#include <stdexcept>

class QSqlQuery;

namespace lumeko::server {

class WriterQueue;

// The storage's logging category, "lumeko.storage" (used inside this library only).
Q_DECLARE_LOGGING_CATEGORY(lcStorage)

enum class Backend { Sqlite, Postgres };

// "sqlite:PATH" or "postgresql://[user[:password]@][host][:port]/dbname"; an empty host means
// the local server's socket (peer authentication).
struct LUMEKO_STORAGE_EXPORT DatabaseUrl {
    Backend backend = Backend::Sqlite;
    QString path; // SQLite file
    QString host;
    int port = 0;
    QString database;
    QString user;
    QString password;

    // Throws StorageError with what is wrong with the text.
    static DatabaseUrl parse(const QString &text);
    QString toString(bool withPassword = false) const;
};

class LUMEKO_STORAGE_EXPORT StorageError : public std::runtime_error {
public:
    explicit StorageError(const QString &message) : std::runtime_error(message.toStdString()) {}
    // The whole story, with the database's own words and the statement: for the server's log only.
    QString message() const { return QString::fromStdString(what()); }
    // What a client may be told: the kind of refusal in plain words, never a statement, a table's
    // constraint or the driver's text.
    QString plainMessage() const;
};

class LUMEKO_STORAGE_EXPORT Database {
public:
    explicit Database(const DatabaseUrl &url); // throws StorageError when the connection fails
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    Backend backend() const { return m_url.backend; }
    const DatabaseUrl &url() const { return m_url; }

    // Runs one statement; returns the number of rows it changed. Throws StorageError. On SQLite a
    // statement that writes outside a transaction waits its turn among the writers as a
    // transaction does.
    int exec(const QString &sql, const QVariantList &params = {});
    // Runs a query and returns its rows typed by `fields` (one per result column, in order).
    wire::DataPacket select(const QString &sql, const QVariantList &params, const QList<wire::FieldDef> &fields);
    // The first column of the first row, null when there is no row.
    QVariant scalar(const QString &sql, const QVariantList &params = {});
    // Runs an INSERT and returns the value the database assigned to the serial column.
    qint64 insertReturningId(const QString &sql, const QVariantList &params, const QString &serialColumn);
    // Runs "head VALUES (?, …), (?, …) … tail" for the rows in batches (one statement per batch of
    // rows, so that thousands of rows cost tens of statements); every row has `width` values.
    // Returns the number of rows changed.
    int execValues(const QString &head, int width, const QList<QVariantList> &rows, const QString &tail = {});
    // Runs a script of statements separated by ";" at line ends (schema changes); no parameters.
    void execScript(const QString &script);

    // Transactions do not nest. A write transaction on SQLite takes the write lock at once, so
    // that two writers never deadlock upgrading a read lock, after waiting its turn among the
    // process's writers to the file (WriterQueue); a turn that has not come in 15 s throws.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // An identifier quoted for this back end ("sName"), keeping its letter case.
    static QString quoted(const QString &identifier);
    // The value in the form this back end stores for a wire type.
    QVariant toDb(const QVariant &value, wire::FieldType type) const;

private:
    QSqlQuery &prepared(const QString &sql);
    void run(QSqlQuery &q, const QString &sql, const QVariantList &params);

    DatabaseUrl m_url;
    QString m_connection;
    bool m_inTransaction = false;
    std::shared_ptr<WriterQueue> m_writers; // SQLite files only
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
};

// Begins a transaction and rolls it back unless commit() is called.
class LUMEKO_STORAGE_EXPORT Transaction {
public:
    explicit Transaction(Database &db) : m_db(db) { m_db.begin(); }
    ~Transaction();
    void commit() { m_db.commit(); m_done = true; }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Database &m_db;
    bool m_done = false;
};

} // namespace lumeko::server
