#pragma once
// Helpers the server and the link share; not installed, not part of the library's interface.

#include <QString>

namespace lumeko::server::detail {

// Writing to a connection the other side has closed raises SIGPIPE, which ends the process unless
// it is ignored. The library's sockets do not ask the kernel to hold it back, so both ends ignore
// it process-wide, once.
void ignoreBrokenPipes();

// "http://host:port" or "https://host:port", with an IPv6 address in brackets.
QString httpUrl(const QString &host, int port, bool tls = false);

} // namespace lumeko::server::detail
