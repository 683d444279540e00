#pragma once
// What every fuzz target does when a property fails: say which one, then stop the fuzzer with a
// crash it records together with the input.

#include <QString>

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

} // namespace lumeko::fuzz
