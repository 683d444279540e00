#include "reporttesting.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lumeko::report::testing {

void fillTable(DataSet &table, const QStringList &fields, const QList<QVariantList> &rows)
{
    QList<wire::FieldDef> defs;
    for (const QString &f : fields) {
        wire::FieldDef d{f.section(u':', 0, 0), wire::FieldType::Text, 0, 0};
        const QString type = f.section(u':', 1, 1);
        if (type == u"i") d.type = wire::FieldType::Integer;
        if (type == u"f") d.type = wire::FieldType::Float;
        if (type == u"d") d.type = wire::FieldType::Date;
        defs << d;
    }
    wire::DataPacket packet(defs);
    for (const QVariantList &r : rows) packet.appendRow(r);
    table.setData(packet);
}

QStringList pdfPages(const PreparedReport &report)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("report.pdf");
    QString error;
    EXPECT_TRUE(report.exportPdf(pdf, &error)) << error.toStdString();
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    EXPECT_TRUE(p.waitForFinished(60'000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // pdftotext drops the blanks between Chinese characters, so blanks are dropped everywhere.
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    text.remove(u' ');
    QStringList pages = text.split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

} // namespace lumeko::report::testing
