#pragma once
// The report engine: a template bound to in-memory tables, prepared into pages.
//
// The page that prints supplies what the template cannot know: the tables by name, the values of
// variables, and the content of objects it fills itself (photos, score memos) just before they
// print. While the master band walks its table, the engine tells the page each time the master
// row moves, so that the page can filter a detail table on the new row.
//
// Expressions in memo texts stand in square brackets:
//   [name]                   a variable the page answers, or a field of the band's table
//   [cdsData."sName"]        a field of a named table (its current row)
//   [DATE] [TIME]            today's date ("yyyy-MM-dd") and the time ("HH:mm:ss")
//   [PAGE#] [TOTALPAGES]     the page number and the number of pages
//   [LINE#]                  the number of the row within its data band, from 1
//   [SUM(cdsData."score")]   the sum of a field over the master rows printed so far (in a group
//                            footer: of the group)
//   [COUNT()]                the number of those rows
// A bracketed text that is none of these prints as it stands (brackets included), so a memo may
// hold a literal "[".

#include "toolkit/report/prepared.h"
#include "toolkit/report/template.h"

#include <QDate>
#include <QHash>
#include <QVariant>

#include <functional>

namespace lumeko {
class DataSet;
}

namespace lumeko::report {

// What the before-print hook may change of an object about to print.
struct LUMEKO_REPORT_EXPORT PrintingObject {
    const ReportObject &object; // as the template has it
    QString text;               // memo: the text, expressions not yet evaluated
    QImage picture;             // picture: the image to print; a null image prints nothing
    bool visible = true;
};

class LUMEKO_REPORT_EXPORT ReportEngine {
public:
    ReportEngine() = default;
    explicit ReportEngine(ReportTemplate report) : m_template(std::move(report)) {}

    void setTemplate(ReportTemplate report) { m_template = std::move(report); }
    const ReportTemplate &reportTemplate() const { return m_template; }

    // Tables are found by name; the engine moves their cursors while preparing and puts them back
    // where they were afterwards. The tables must outlive prepare().
    void bindTable(const QString &name, DataSet *table);

    // Variables by name: set `*found` when the name is known.
    std::function<QVariant(const QString &name, bool *found)> variables;
    // Called for every object just before it prints.
    std::function<void(PrintingObject &object)> beforePrint;
    // Called after the master band's table moved to its next row (and before the first).
    std::function<void(const QString &table)> masterRowMoved;
    // Today, for [DATE] and [TIME]; tests fix it.
    QDateTime now;

    // Lays the report out on pages. False, with the reason, when a data band names a table that is
    // not bound or the page has no room between its margins.
    bool prepare(QString *error = nullptr);
    const PreparedReport &prepared() const { return m_prepared; }

private:
    ReportTemplate m_template;
    QHash<QString, DataSet *> m_tables;
    PreparedReport m_prepared;
    friend class Preparer;
};

} // namespace lumeko::report
