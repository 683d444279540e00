#pragma once
// The call envelope: one call of a named method on a server object, with positional arguments
// some of which are passed by reference, and the reply that carries the result, the by-reference
// values written back, or an error.
//
// CBOR form:
//   call  [1, object, method, session token, [argument...], [index of each by-reference argument...]]
//   reply [1, result, [[index, value]...], error code, error message]
// An argument or result is null, a text, an integer, a float, a boolean, a byte string, a date
// (tag 1004, "yyyy-MM-dd"), a date-time (tag 27000, integer milliseconds since the epoch; the
// standard tag 1 takes seconds, which would lose the milliseconds as a float), a data packet
// (tag 27001) or a change packet (tag 27002).

#include "wire/codec.h"
#include "wire/packet.h"

#include <QDate>
#include <QDateTime>
#include <QMap>

#include <variant>

namespace lumeko::wire {

using Null = std::monostate;
using Value = std::variant<Null, QString, qint64, double, bool, QDate, QDateTime, QByteArray, DataPacket, ChangePacket>;

LUMEKO_WIRE_EXPORT QString valueKindName(const Value &v);

struct LUMEKO_WIRE_EXPORT Argument {
    Value value;
    bool byRef = false;
    bool operator==(const Argument &) const = default;
};

struct LUMEKO_WIRE_EXPORT Call {
    QString object;  // "StudentQry", "AchieveUp", ...
    QString method;  // "QStudByGrade", "UpStudent", ...
    QString token;   // the session, empty before sign-in
    QList<Argument> args;
    bool operator==(const Call &) const = default;
};

enum class ErrorCode : int {
    None = 0,
    Malformed = 1,       // the request could not be decoded
    UnknownObject = 2,
    UnknownMethod = 3,
    BadArguments = 4,    // wrong count or type of arguments
    NotSignedIn = 5,
    Forbidden = 6,       // signed in, but not allowed (rights, another school)
    Storage = 7,         // the database failed
    TooLarge = 8,
    Timeout = 9,
    Internal = 10,
    Refused = 11,        // the request is understood but its content is refused (bad filter text, path)
};

struct LUMEKO_WIRE_EXPORT Reply {
    Value result;
    QMap<int, Value> refs; // by-reference arguments written back, by argument index
    ErrorCode error = ErrorCode::None;
    QString message;

    bool ok() const { return error == ErrorCode::None; }
    static Reply failure(ErrorCode code, const QString &message);
    bool operator==(const Reply &) const = default;
};

LUMEKO_WIRE_EXPORT QByteArray encodeCall(const Call &call);
LUMEKO_WIRE_EXPORT Call decodeCall(QByteArrayView bytes, const DecodeLimits &limits = {});
LUMEKO_WIRE_EXPORT QByteArray encodeReply(const Reply &reply);
LUMEKO_WIRE_EXPORT Reply decodeReply(QByteArrayView bytes, const DecodeLimits &limits = {});

} // namespace lumeko::wire
