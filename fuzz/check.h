#pragma once
// What every fuzz target does when a property fails: say which one, then stop the fuzzer with a
// crash it records together with the input.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "wire/types.h"

#include <optional>

#include <cstdio>

namespace lumeko::fuzz {

[[noreturn]] inline void fail(const char *property, const QString &detail = QString())
{
    std::fprintf(stderr, "\n*** %s\n", property);
    if (!detail.isEmpty()) std::fprintf(stderr, "    %s\n", detail.toLocal8Bit().constData());
    std::fflush(stderr);
    __builtin_trap();
}

inline void require(bool holds, const char *property, const QString &detail = QString())
{
    if (!holds) fail(property, detail);
}

// Decodes the input; returns nothing when the decoder refuses it with WireError (the expected answer
// to most inputs). What it accepts must encode again and decode back to an equal value, and
// encoding that value once more must give the same bytes.
template <typename Decode, typename Encode, typename Same>
auto roundTrip(QByteArrayView input, Decode decode, Encode encode, Same same, const char *what)
    -> std::optional<decltype(decode(input))>
{
    using T = decltype(decode(input));
    T first;
    try {
        first = decode(input);
    } catch (const wire::WireError &) {
        return std::nullopt;
    }
    QByteArray again;
    T second;
    try {
        again = encode(first);
    } catch (const wire::WireError &e) {
        fail(what, QStringLiteral("accepted by the decoder, refused by the encoder: ") + e.message());
    }
    try {
        second = decode(again);
    } catch (const wire::WireError &e) {
        fail(what, QStringLiteral("written by the encoder, refused by the decoder: ") + e.message());
    }
    require(same(first, second), what, QStringLiteral("changed on its round trip"));
    require(encode(second) == again, what, QStringLiteral("encoded twice to different bytes"));
    return first;
}

} // namespace lumeko::fuzz
