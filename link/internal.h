#pragma once
// Helpers the HTTP server and the link share; internal to the two transports, not for pages.

#include "link/link_export.h"

#include <QString>

namespace lumeko::link::detail {

// Writing to a connection the other side has closed raises SIGPIPE, which ends the process unless
// it is ignored. The library's sockets do not ask the kernel to hold it back, so both ends ignore
// it process-wide, once.
LUMEKO_LINK_EXPORT void ignoreBrokenPipes();

// "http://host:port" or "https://host:port", with an IPv6 address in brackets.
LUMEKO_LINK_EXPORT QString httpUrl(const QString &host, int port, bool tls = false);

} // namespace lumeko::link::detail
