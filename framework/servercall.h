#pragma once
// Small helpers for the pages' server calls: arguments by value and by reference, and the data
// packet a query wrote back into its by-reference argument.

#include "wire/envelope.h"
#include "wire/protocol/methods.h"

#include <stdexcept>

namespace lumeko::achieve {

namespace protocol = wire::protocol;

inline wire::Argument in(wire::Value v) { return {std::move(v), false}; }
inline wire::Argument var(wire::Value v = wire::Null{}) { return {std::move(v), true}; }

// The packet in argument `index` after the call; throws with the server's reason when it failed.
inline wire::DataPacket packetOf(const wire::Reply &reply, const QList<wire::Argument> &args, int index)
{
    if (!reply.ok()) throw std::runtime_error(reply.message.toStdString());
    if (index < args.size())
        if (const auto *p = std::get_if<wire::DataPacket>(&args[index].value)) return *p;
    return {};
}

} // namespace lumeko::achieve
