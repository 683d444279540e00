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
// differ), except that any NaN equals any NaN; everything else with its own operator==.
bool keptValue(const wire::Value &a, const wire::Value &b)
{
    if (a.index() != b.index()) return false;
    if (const double *x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return (std::isnan(*x) && std::isnan(y)) || std::memcmp(x, &y, sizeof y) == 0;
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

void checkCall(QByteArrayView input)
{
    wire::Call first;
    try {
        first = wire::decodeCall(input);
    } catch (const wire::WireError &) {
        return;
    }
    QByteArray again;
    try {
        again = wire::encodeCall(first);
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded call cannot be encoded again", e.message());
    }
    wire::Call second;
    try {
        second = wire::decodeCall(again);
    } catch (const wire::WireError &e) {
        fuzz::fail("a re-encoded call is refused by the decoder", e.message());
    }
    fuzz::require(sameCall(first, second), "a call changed on its round trip through the encoder",
                  QStringLiteral("%1.%2").arg(first.object, first.method));
}

void checkReply(QByteArrayView input)
{
    wire::Reply first;
    try {
        first = wire::decodeReply(input);
    } catch (const wire::WireError &) {
        return;
    }
    QByteArray again;
    try {
        again = wire::encodeReply(first);
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded reply cannot be encoded again", e.message());
    }
    wire::Reply second;
    try {
        second = wire::decodeReply(again);
    } catch (const wire::WireError &e) {
        fuzz::fail("a re-encoded reply is refused by the decoder", e.message());
    }
    fuzz::require(sameReply(first, second), "a reply changed on its round trip through the encoder");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkCall(input);
    checkReply(input);
    return 0;
}
