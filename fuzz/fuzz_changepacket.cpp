// Change packets, which the server decodes from every save a client sends: the decoder must refuse
// bad input with WireError and nothing else, and whatever it accepts must survive a round trip
// through the encoder unchanged. A packet the decoder accepts but the encoder refuses is a fault
// too: the server would then hold a change no client could have written.

#include "check.h"

#include "wire/codec.h"

#include <cstddef>
#include <cstdint>

using namespace lumeko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto packet = fuzz::roundTrip(
        input, [](QByteArrayView b) { return wire::decodeChangePacket(b); },
        [](const wire::ChangePacket &p) { return wire::encodeChangePacket(p); },
        [](const wire::ChangePacket &a, const wire::ChangePacket &b) { return a == b; }, "change packet");
    if (!packet) return 0;
    try {
        packet->validate();
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded change packet does not pass its own validation", e.message());
    }
    return 0;
}
