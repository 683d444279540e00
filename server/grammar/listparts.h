#pragma once
// Pieces of the list grammars that other texts embed (internal to this library): the analysis
// settings hold a subject and a student range, the P-value key holds a student filter.

#include "server/grammar/analysistexts.h"
#include "server/grammar/codelists.h"
#include "server/grammar/scanner.h"

namespace lumeko::server::grammar {

// Each reads one piece of the scanner's text and reports errors at the piece's position.
SubjectRef subjectRefAt(const Scanner &s, Piece piece);
QList<SubjectRef> subjectListAt(const Scanner &s, Piece piece);
QStringList classCodesAt(const Scanner &s, Piece piece);
StudentRange studentRangeAt(const Scanner &s, Piece piece);
StudentFilter studentFilterAt(const Scanner &s, Piece piece);
// Free text of 1..maxLength characters without `forbidden` characters or anything valueCharLength
// refuses.
void checkName(const Scanner &s, Piece piece, const QString &what, qsizetype maxLength, QStringView forbidden);

} // namespace lumeko::server::grammar
