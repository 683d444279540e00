#pragma once
// Sample data for previewing a template in the designer, where no page stands behind it: every
// table the template's data bands and expressions name gets a small table of made-up rows whose
// fields are the fields the template uses, and every variable answers with its own name.

#include "toolkit/report/engine.h"

#include <QStringList>

#include <map>
#include <memory>

namespace lumeko::report {

class LUMEKO_REPORT_EXPORT SampleData {
public:
    explicit SampleData(const ReportTemplate &report);
    ~SampleData();
    SampleData(const SampleData &) = delete;
    SampleData &operator=(const SampleData &) = delete;

    // The tables in the spelling the template first uses.
    QStringList tableNames() const;
    DataSet *table(const QString &name) const; // without regard to letter case; null when unknown
    // Binds every table and answers every variable.
    void bind(ReportEngine &engine) const;

    // Rows of made-up data per table: a master band gets a few, a page of its own per row gets
    // fewer, detail and other tables fewer still.
    static constexpr int kMasterRows = 5;
    static constexpr int kCardRows = 3;
    static constexpr int kDetailRows = 3;

private:
    struct Table {
        QString name;
        QStringList fields;
        QString groupField;
        int rows = 1;
        std::unique_ptr<DataSet> data;
    };
    Table &tableNamed(const QString &name);
    void addField(const QString &table, const QString &field);
    void fill(Table &t);

    std::map<QString, Table> m_tables; // by lower-case name
    QStringList m_order;
};

// Prepares the template over sample data; false with the engine's reason.
LUMEKO_REPORT_EXPORT bool prepareWithSampleData(const ReportTemplate &report, PreparedReport *out, QString *error = nullptr);

} // namespace lumeko::report
