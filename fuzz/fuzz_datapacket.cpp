// Data packets from the server: the decoder must refuse bad input with WireError and nothing else,
// and whatever it accepts must survive a round trip through the encoder unchanged. What it accepts
// is also loaded into the in-memory table, which must hand the same packet back.

#include "check.h"

#include "toolkit/data/dataset.h"
#include "wire/codec.h"

#include <cstddef>
#include <cstdint>

using namespace lumeko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    wire::DataPacket first;
    try {
        first = wire::decodeDataPacket(input);
    } catch (const wire::WireError &) {
        return 0; // refused: the expected answer to most inputs
    }

    // Anything the decoder accepted, the encoder must write and the decoder read back as it was.
    QByteArray again;
    try {
        again = wire::encodeDataPacket(first);
    } catch (const wire::WireError &e) {
        fuzz::fail("a decoded data packet cannot be encoded again", e.message());
    }
    wire::DataPacket second;
    try {
        second = wire::decodeDataPacket(again);
    } catch (const wire::WireError &e) {
        fuzz::fail("a re-encoded data packet is refused by the decoder", e.message());
    }
    fuzz::require(second == first, "a data packet changed on its round trip through the encoder");
    fuzz::require(wire::encodeDataPacket(second) == again, "encoding the same data packet twice gave different bytes");

    // The table keeps every row of a packet it loads, in the order they came.
    DataSet table;
    table.setData(first);
    fuzz::require(table.recordCount() == first.rowCount(), "the table does not show every row of the packet");
    fuzz::require(table.fieldCount() == first.fieldCount(), "the table does not have the packet's fields");
    fuzz::require(table.data() == first, "the table gives back another packet than it loaded");
    return 0;
}
