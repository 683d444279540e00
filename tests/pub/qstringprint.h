#pragma once
// Texts as gtest shows them in a failure: readable Chinese rather than a dump of UTF-16 units.

#include <QString>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
