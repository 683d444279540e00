#include "link/internal.h"

#include <csignal>
#include <mutex>

namespace lumeko::link::detail {

void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

QString httpUrl(const QString &host, int port, bool tls)
{
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1://%2:%3").arg(tls ? QLatin1String("https") : QLatin1String("http"), h).arg(port);
}

} // namespace lumeko::link::detail
