#pragma once
// A lumeko-server process for the tests that work on the program as a district runs it: started on
// a database with `serve`, reached over HTTP on a free loopback port, stopped in an orderly way
// (SIGTERM) or killed outright (SIGKILL), and started again on the same port.

#include "link/httplink.h"
#include "server/storage/database.h"

#include <QProcess>
#include <QStringList>

namespace lumeko::server::testing {

// A TCP port on the loopback address that nothing listens on at the moment.
int freeLoopbackPort();

class ServerProcess {
public:
    // Quiet: no access log, for tests whose thousands of saves would each print a line.
    enum class AccessLog { Shown, Quiet };

    // Starts `lumeko-server serve` on the database with the photo store in files; extra arguments
    // (e.g. --max-per-address 512) are added to the command line.
    ServerProcess(const DatabaseUrl &db, const QString &files, QStringList extra = {}, AccessLog log = AccessLog::Shown);
    ~ServerProcess();

    int port() const { return m_port; }
    link::HttpLinkOptions link() const;

    // Waits until the server answers a sign-in of login, or the time runs out.
    bool waitUntilServing(const QString &login = QStringLiteral("admin"), const QString &password = QStringLiteral("lumeko"));
    // What the last sign-in of waitUntilServing was answered.
    std::string lastRefusal() const { return m_lastRefusal.toStdString(); }
    // SIGTERM, and the exit status of the orderly stop (-1 when it did not stop in time).
    int stop();
    // SIGKILL: no chance to flush or close anything.
    void killHard();
    // Starts the same command again, on the same port.
    void restart();

private:
    void start();

    DatabaseUrl m_db;
    QString m_files;
    QStringList m_extra;
    int m_port;
    QProcess m_process;
    QString m_lastRefusal;
};

} // namespace lumeko::server::testing
