#pragma once
// CBOR encoding of data packets and change packets.
//
// A data packet is stored by column, which is how the table keeps it and what makes decoding a
// tight loop:  [1, [[name, type, size, flags]...], rowCount, [[value...] per field]]
// A change packet is stored by row:  [1, [[name, type, size, flags]...], [[status, old, new]...]]
// where old and new are arrays of values (empty where the status has none). Dates travel as days
// since 1970-01-01, date-times as milliseconds since the epoch, blobs as byte strings, null as null.
//
// Decoders trust nothing: every length is checked against the bytes that remain, every value
// against its field's type, and the limits below bound what any input can make them allocate.

#include "wire/packet.h"

#include <QByteArray>
#include <QByteArrayView>

class QCborStreamReader;
class QCborStreamWriter;

namespace lumeko::wire {

struct LUMEKO_WIRE_EXPORT DecodeLimits {
    qsizetype maxFields = 1024;
    qsizetype maxRows = 20'000'000;
    qsizetype maxNameBytes = 256;
    qsizetype maxTextBytes = 16 * 1024 * 1024;   // one text value
    qsizetype maxBlobBytes = 64 * 1024 * 1024;   // one blob value (a student photo is far smaller)
    qsizetype maxArguments = 64;                 // of one call
};

LUMEKO_WIRE_EXPORT QByteArray encodeDataPacket(const DataPacket &packet);
LUMEKO_WIRE_EXPORT QByteArray encodeChangePacket(const ChangePacket &packet);

// Throw WireError with the byte offset of the fault; trailing bytes after the packet are a fault.
LUMEKO_WIRE_EXPORT DataPacket decodeDataPacket(QByteArrayView bytes, const DecodeLimits &limits = {});
LUMEKO_WIRE_EXPORT ChangePacket decodeChangePacket(QByteArrayView bytes, const DecodeLimits &limits = {});

// The same, inside a larger CBOR stream (the call envelope).
LUMEKO_WIRE_EXPORT void writeDataPacket(QCborStreamWriter &w, const DataPacket &packet);
LUMEKO_WIRE_EXPORT void writeChangePacket(QCborStreamWriter &w, const ChangePacket &packet);

namespace detail {
class CborInput;
DataPacket readDataPacket(CborInput &in, const DecodeLimits &limits);
ChangePacket readChangePacket(CborInput &in, const DecodeLimits &limits);
} // namespace detail

} // namespace lumeko::wire
