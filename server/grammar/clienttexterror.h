#pragma once
// The error every parser of client texts throws, and the size limit they share.
//
// The client sends several arguments as texts that look like SQL fragments or packed keys. The
// server reads them only through the parsers of this folder and binds the values they yield as
// query parameters; no part of such a text ever becomes part of a query. A text that does not fit
// its grammar is refused whole, with a message naming the argument, what was expected and the
// character position where reading stopped.

#include "server/grammar/grammar_export.h"

#include <QString>

#include <stdexcept>

namespace lumeko::server::grammar {

// No client text is longer than this many UTF-16 code units; most grammars allow far less.
inline constexpr qsizetype MaxClientTextLength = 64 * 1024;

class LUMEKO_GRAMMAR_EXPORT ClientTextError : public std::runtime_error {
public:
    // `argument` names the text ("family filter"), `problem` says what was wrong, usually as
    // "expected ...", and `position` counts characters (code points) from 0.
    // The message reads "family filter: expected " and b.inyear=" at 23".
    ClientTextError(const QString &argument, const QString &problem, qsizetype position);

    const QString &argument() const { return m_argument; }
    const QString &problem() const { return m_problem; }
    qsizetype position() const { return m_position; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    QString m_argument;
    QString m_problem;
    qsizetype m_position;
};

} // namespace lumeko::server::grammar
