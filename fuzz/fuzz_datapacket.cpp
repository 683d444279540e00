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
    const auto decoded = fuzz::roundTrip(
        input, [](QByteArrayView b) { return wire::decodeDataPacket(b); },
        [](const wire::DataPacket &p) { return wire::encodeDataPacket(p); },
        [](const wire::DataPacket &a, const wire::DataPacket &b) { return a == b; }, "data packet");
    if (!decoded) return 0;
    const wire::DataPacket &first = *decoded;

    // The table keeps every row of a packet it loads, in the order they came.
    DataSet table;
    table.setData(first);
    fuzz::require(table.recordCount() == first.rowCount(), "the table does not show every row of the packet");
    fuzz::require(table.fieldCount() == first.fieldCount(), "the table does not have the packet's fields");
    fuzz::require(table.data() == first, "the table gives back another packet than it loaded");
    return 0;
}
