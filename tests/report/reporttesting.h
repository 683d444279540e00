#pragma once
// Helpers of the report suites: small tables, and reading a report back from its PDF.

#include "toolkit/data/dataset.h"
#include "toolkit/report/prepared.h"

#include <QStringList>
#include <QVariantList>

namespace lumeko::report::testing {

// A table of text fields (a field name ending in ":i" is an integer, ":f" a float, ":d" a date).
void fillTable(DataSet &table, const QStringList &fields, const QList<QVariantList> &rows);

// The text of each page of the report, as pdftotext reads it from the exported PDF, without blanks.
QStringList pdfPages(const PreparedReport &report);
// A text without its blanks, to look for in those pages.
inline QString bare(QString text) { return text.remove(u' '); }

} // namespace lumeko::report::testing
