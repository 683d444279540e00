#pragma once
// The rights of a user: the function tree of the host's rights packet, granted per role and per user.

#include "server/core/methodcall.h"

namespace lumeko::server {

// The rows of the rights packet the host hands to pages (sFunKey, sFunName, sID, sImg, sDeskImg,
// sParFunId, sFunId): every function for an unrestricted user, otherwise those granted to one of
// the user's roles or to the user.
LUMEKO_SERVER_EXPORT wire::DataPacket rightsPacket(Database &db, const SessionUser &user);
// The same for checks on the server: "parent function id/key" for function keys, the bare function
// id for pages and other functions without a key.
LUMEKO_SERVER_EXPORT QSet<QString> loadRightKeys(Database &db, const SessionUser &user);

} // namespace lumeko::server
