#pragma once
// Small helpers for the pages' server calls: arguments by value and by reference (the calls
// themselves go through framework/remotetable.h).

#include "wire/envelope.h"
#include "wire/protocol/methods.h"

namespace lumeko::achieve {

namespace protocol = wire::protocol;

inline wire::Argument in(wire::Value v) { return {std::move(v), false}; }
inline wire::Argument var(wire::Value v = wire::Null{}) { return {std::move(v), true}; }

} // namespace lumeko::achieve
