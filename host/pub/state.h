#pragma once
// What the host services keep between calls: the connection to the server, the signed-in user's
// context and the packets cached from it, the provider, the wait indicator's depth and the last
// chooser answer. Internal to the library.

#include "host/pub/provider.h"
#include "host/pub/pub.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace lumeko::pub::detail {

// The host's link to the server and the session's token. Server objects share it; signing out
// closes it, after which their calls fail without touching the link.
struct Connection {
    wire::ServerLink *link = nullptr;
    QString token;
    std::atomic<bool> open{true};
};

struct Context {
    QString schoolId, schoolName, schoolType, userCode, userName, userId, roles;
    int userType = 0;
    bool viewAllGrade = false, viewAllClass = false;
};

// Session data, guarded by `mutex`.
struct SessionState {
    std::mutex mutex;
    std::shared_ptr<Connection> connection;
    Context context;
    std::optional<wire::DataPacket> rights, gradeList, gradeNames, classNames, schoolOutline;
};

SessionState &session();

// Calls object.method over the session's connection (a failure reply when there is none).
wire::Reply callServer(const std::shared_ptr<Connection> &connection, wire::Call &call);
std::shared_ptr<Connection> currentConnection();

// Forgets the last chooser answer: one user's choice is no answer for the next.
void clearParams();

} // namespace lumeko::pub::detail

// The C functions' server object.
struct LumekoServer {
    lumeko::pub::ServerKind kind;
    std::shared_ptr<lumeko::pub::detail::Connection> connection;
};
