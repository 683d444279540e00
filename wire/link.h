#pragma once
// The two ends a call travels between: the client's ServerLink and the server's CallService, a
// decoded call in and a reply out. Transports (the in-process link of the embedded host, the HTTP
// server and its client link) carry calls between them and know nothing of objects, methods or
// storage.

#include "wire/envelope.h"

#include <QString>

namespace lumeko::wire {

// Where a call came from, as the transport saw it. The service keys its sign-in rate limit on it.
struct CallOrigin {
    QString peer = QStringLiteral("embedded"); // the client's address, or "embedded" in-process
    // Who the call turned out to come from: the service fills it once it knows the session, for
    // the transport's access log.
    mutable QString user;
};

class CallService {
public:
    virtual ~CallService() = default;
    // Never throws: every failure becomes a reply with an error code and a message. The call is
    // taken by reference so that large packets are moved, not copied, into the method.
    virtual Reply handle(Call &call, const CallOrigin &origin) = 0;
};

// The client's side of a connection to a server, whatever carries the calls.
class ServerLink {
public:
    virtual ~ServerLink() = default;
    // Transport failures (refused connection, time-out, a body that is no reply) come back as a
    // reply with an error code, never as an exception.
    virtual Reply call(Call &call) = 0;
};

// The embedded mode: calls go straight to a service in this process, without encoding.
class LocalLink final : public ServerLink {
public:
    explicit LocalLink(CallService &service) : m_service(service) {}
    Reply call(Call &call) override { return m_service.handle(call, CallOrigin{}); }

private:
    CallService &m_service;
};

} // namespace lumeko::wire
