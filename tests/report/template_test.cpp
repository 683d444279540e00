// The ".frf" file format: every property survives a save and a load, the shipped templates read
// back unchanged, and a broken file is an error that names its line.

#include "reporttesting.h"

#include "toolkit/report/templatexml.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumeko::report;

namespace {

ReportTemplate everyProperty()
{
    ReportTemplate t;
    t.title = QStringLiteral("成绩单 <第一学期> & \"期末\"");
    t.page.paperMm = QSizeF(184, 260);
    t.page.orientation = QPageLayout::Landscape;
    t.page.marginsMm = QMarginsF(12.5, 8, 7.25, 15);
    const BandKind kinds[] = {BandKind::ReportTitle, BandKind::PageHeader, BandKind::GroupHeader, BandKind::MasterData,
                              BandKind::DetailData, BandKind::GroupFooter, BandKind::PageFooter, BandKind::ReportSummary};
    for (BandKind k : kinds) {
        Band b;
        b.kind = k;
        b.name = bandKindName(k) + QStringLiteral("带");
        b.height = 33.75;
        if (k == BandKind::MasterData) { b.table = "cdsData"; b.newPageAfter = true; }
        if (k == BandKind::DetailData) b.table = "cdsFamily";
        if (k == BandKind::GroupHeader) b.groupField = "ClassCode";
        t.bands << b;
    }
    ReportObject m;
    m.name = "mm_1";
    // A third of a 687.268 mm band, as the designer computes it: every digit must survive the file.
    m.rect = QRectF(1.5, 2.25, 687.268 / 3, 40);
    m.text = QStringLiteral("  第一行 [sName]\n第二行 <b>&amp; \"引号\" [cdsData.\"sNO\"]  ");
    m.fontFamily = QStringLiteral("黑体");
    m.fontSize = 10.5;
    m.bold = m.italic = true;
    m.alignment = Qt::AlignRight | Qt::AlignBottom;
    m.frame = {true, false, true, true, 2.5, Qt::black};
    m.wordWrap = false;
    m.autoHeight = true;
    ReportObject pic;
    pic.kind = ObjectKind::Picture;
    pic.name = "InPicture";
    pic.rect = QRectF(400, 0, 90, 120);
    pic.keepAspect = false;
    pic.picture = QImage(7, 5, QImage::Format_ARGB32);
    pic.picture.fill(QColor(10, 200, 30));
    ReportObject line;
    line.kind = ObjectKind::Line;
    line.rect = QRectF(0, 30, 500, 0);
    line.frame.width = 0.5;
    ReportObject rect;
    rect.kind = ObjectKind::Rectangle;
    rect.rect = QRectF(0, 0, 500, 33);
    rect.frame = Frame::all(1);
    t.bands[3].objects = {m, pic, line, rect};
    t.bands[0].objects = {ReportObject()}; // a memo with every default
    return t;
}

TEST(TemplateFile, EveryPropertySurvivesASaveAndALoad)
{
    const ReportTemplate t = everyProperty();
    const ReportTemplate back = templateFromXml(templateToXml(t));
    EXPECT_EQ(back, t);
    EXPECT_EQ(back.bands[3].objects[0].text, t.bands[3].objects[0].text) << "blanks and line breaks of a memo are kept";

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("学籍卡片(三).frf"));
    saveTemplate(t, path);
    EXPECT_EQ(loadTemplate(path), t);
    EXPECT_THROW(loadTemplate(dir.filePath("none.frf")), TemplateError);
}

TEST(TemplateFile, TheShippedTemplatesReadBackUnchanged)
{
    const QDir folder(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports/Student"));
    const QStringList files = folder.entryList({"*.frf"}, QDir::Files);
    EXPECT_EQ(files.size(), 3);
    for (const QString &f : files) {
        SCOPED_TRACE(f.toStdString());
        const ReportTemplate t = loadTemplate(folder.filePath(f));
        EXPECT_FALSE(t.bands.isEmpty());
        EXPECT_EQ(templateFromXml(templateToXml(t)), t);
    }
}

TEST(TemplateFile, ABrokenFileNamesTheLineOfItsFault)
{
    const QByteArray head = "<report version=\"1\">\n<page/>\n";
    const struct {
        QByteArray xml;
        int line;
        const char *problem;
    } cases[] = {
        {"this is no XML", 1, ""},
        {head + "<band kind=\"MasterData\" height=\"20\" table=\"cdsData\">\n<memo x=\"0\" y=\"0\" width=\"1\" height=\"1\">a\n</band>", 5, ""},
        {head + "<band kind=\"Masterdata\" height=\"20\"/>", 3, "unknown band kind"},
        {head + "<band kind=\"PageHeader\" height=\"20\">\n<memo x=\"0\" y=\"0\" width=\"10\" height=\"abc\">a</memo></band>", 4, "must be a number"},
        {head + "<band kind=\"PageHeader\" height=\"-4\"/>", 3, "must be a number"},
        {head + "<band kind=\"PageHeader\"/>", 3, "\"height\" is missing"},
        {head + "<band kind=\"MasterData\" height=\"20\"/>", 3, "needs the name of its table"},
        {head + "<band kind=\"PageHeader\" height=\"20\" colour=\"red\"/>", 3, "unknown attribute \"colour\""},
        {head + "<band kind=\"PageHeader\" height=\"20\">\n<circle x=\"0\" y=\"0\" width=\"1\" height=\"1\"/></band>", 4, "unknown element <circle>"},
        {head + "<band kind=\"PageHeader\" height=\"20\">\n<memo x=\"0\" y=\"0\" width=\"1\" height=\"1\" align=\"middle\">a</memo></band>", 4, "unknown alignment"},
        {head + "<band kind=\"PageHeader\" height=\"20\">\n<picture x=\"0\" y=\"0\" width=\"1\" height=\"1\">not an image</picture></band>", 4, "base64 PNG"},
        {"<!DOCTYPE report [<!ENTITY a \"aaaa\">]>\n<report version=\"1\"><page/></report>", 1, ""},
        {"<report version=\"2\"/>", 1, "version 1"},
        {head + "</report>\n<report/>", 4, ""},
        {"<report version=\"1\">\n<page paper-width=\"1e999\"/></report>", 2, "must be a number"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.xml.toStdString());
        try {
            templateFromXml(c.xml);
            ADD_FAILURE() << "accepted";
        } catch (const TemplateError &e) {
            EXPECT_EQ(e.line(), c.line) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.problem))) << e.message().toStdString();
        }
    }
}

} // namespace
