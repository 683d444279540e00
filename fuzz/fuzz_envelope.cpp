// The call envelope, which the server decodes from every request and the client from every reply:
// both decoders must refuse bad input with WireError and nothing else, and a call or reply they
// accept must survive a round trip through the encoder unchanged.

#include "check.h"

#include "wire/envelope.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace lumeko;

namespace {

// Values compared as the round trip must keep them: a float bit for bit (so that -0.0 and 0.0
// differ); everything else with its own operator==.
bool keptValue(const wire::Value &a, const wire::Value &b)
{
    if (a.index() != b.index()) return false;
    if (const double *x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return std::memcmp(x, &y, sizeof y) == 0;
    }
    return a == b;
}

bool sameCall(const wire::Call &a, const wire::Call &b)
{
    if (a.object != b.object || a.method != b.method || a.token != b.token || a.args.size() != b.args.size())
        return false;
    for (qsizetype i = 0; i < a.args.size(); ++i)
        if (a.args[i].byRef != b.args[i].byRef || !keptValue(a.args[i].value, b.args[i].value)) return false;
    return true;
}

bool sameReply(const wire::Reply &a, const wire::Reply &b)
{
    if (a.error != b.error || a.message != b.message || !keptValue(a.result, b.result) || a.refs.size() != b.refs.size())
        return false;
    for (auto it = a.refs.cbegin(), jt = b.refs.cbegin(); it != a.refs.cend(); ++it, ++jt)
        if (it.key() != jt.key() || !keptValue(it.value(), jt.value())) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz::roundTrip(input, [](QByteArrayView b) { return wire::decodeCall(b); }, wire::encodeCall, sameCall, "call");
    fuzz::roundTrip(input, [](QByteArrayView b) { return wire::decodeReply(b); }, wire::encodeReply, sameReply, "reply");
    return 0;
}
