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
    wire::ChangePacket first;
    try {
        first = wire::decodeChangePacket(input);
    } catch (const wire::WireError &) {
        return 0;
    }

    try {
        first.validate();
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded change packet does not pass its own validation", e.message());
    }

    QByteArray again;
    try {
        again = wire::encodeChangePacket(first);
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded change packet cannot be encoded again", e.message());
    }
    wire::ChangePacket second;
    try {
        second = wire::decodeChangePacket(again);
    } catch (const wire::WireError &e) {
        fuzz::fail("a re-encoded change packet is refused by the decoder", e.message());
    }
    fuzz::require(second == first, "a change packet changed on its round trip through the encoder");
    fuzz::require(wire::encodeChangePacket(second) == again, "encoding the same change packet twice gave different bytes");
    return 0;
}
