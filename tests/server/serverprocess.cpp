#include "serverprocess.h"

#include "link/clientsession.h"

#include <QTcpServer>
#include <QThread>

namespace lumeko::server::testing {

int freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

ServerProcess::ServerProcess(const DatabaseUrl &db, const QString &files, QStringList extra, AccessLog log)
    : m_db(db), m_files(files), m_extra(std::move(extra)), m_port(freeLoopbackPort())
{
    if (log == AccessLog::Quiet) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumeko.http.access.info=false"));
        m_process.setProcessEnvironment(env);
    }
    start();
}

ServerProcess::~ServerProcess()
{
    killHard();
}

void ServerProcess::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(LUMEKO_SERVER_BIN), QStringList{"serve", "--db", m_db.toString(true), "--listen", QStringLiteral("127.0.0.1:%1").arg(m_port),
                                                                   "--files", m_files, "--threads", "16"} +
                                                           m_extra);
}

link::HttpLinkOptions ServerProcess::link() const
{
    link::HttpLinkOptions o;
    o.port = m_port;
    o.readTimeout = std::chrono::seconds(10);
    return o;
}

bool ServerProcess::waitUntilServing(const QString &login, const QString &password)
{
    link::HttpLink link(this->link());
    link::ClientSession s(link);
    for (int i = 0; i < 100; ++i) {
        if (m_process.state() == QProcess::NotRunning) return false;
        const wire::Reply r = s.signIn(login, password, QStringLiteral("probe"));
        if (r.ok()) return true;
        m_lastRefusal = r.message;
        QThread::msleep(100);
    }
    return false;
}

int ServerProcess::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10'000)) return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void ServerProcess::killHard()
{
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished();
}

void ServerProcess::restart()
{
    killHard();
    start();
}

} // namespace lumeko::server::testing
