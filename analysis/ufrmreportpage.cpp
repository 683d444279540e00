#include "analysis/ufrmreportpage.h"

#include "framework/pagehosting.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QLayout>
#include <QTabWidget>

namespace lumeko::achieve {

TAnalysisPage::TAnalysisPage(QWidget *parent) : TBasePage(parent)
{
    Tag = 4011;
    // Each analysis has columns of its own: one remembered layout would not fit the next.
    SaveLayout = false;
    ReportFolder = QStringLiteral("Analysis");
    for (QAction *a : {acPrint, acRptSet, acExport})
        setActionTag(a, 0);
    // The rows are the server's answer: nothing to add, delete, edit or save.
    for (QAction *a : {acInsert, acDelete, acEdit, acSave, acCancel, acRequery})
        a->setVisible(false);
}

TfrmReportPage::TfrmReportPage(QWidget *parent) : TAnalysisPage(parent)
{
    tabLevels = new QTabWidget(this);
    tabLevels->setTabPosition(QTabWidget::South);
    tabLevels->setDocumentMode(true);
    ChartLevel = new ReportChartLevel(tabLevels);
    layout()->replaceWidget(GridData, tabLevels);
    tabLevels->addTab(GridData, QStringLiteral("数据列表"));
    tabLevels->addTab(ChartLevel, QStringLiteral("图表"));
    ChartLevel->showReport = [this](const report::PreparedReport &r) { showReport(r); };
    connect(tabLevels, &QTabWidget::currentChanged, this, [this](int index) {
        if (tabLevels->widget(index) == ChartLevel) ChartLevel->refresh();
    });
    // The rows stand in the order the analysis gives them (classes, then branches and the grade;
    // a subject's items together): a click on a header does not sort them.
    connect(GridData, &BandedGrid::sortChanged, this, [this] {
        if (!GridData->sortColumns().isEmpty()) GridData->clearSort();
    });
}

void TAnalysisPage::setResult(const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, int fixedColumns)
{
    Title = title;
    setWindowTitle(title);
    FixedColumnCount = fixedColumns;
    cdsFields->setData(fields);
    cdsData->setData(rows);
    // The page's report templates print the rows marked "Selected": here every row.
    if (cdsData->fieldIndex(u"Selected") < 0)
        cdsData->addField({QStringLiteral("Selected"), wire::FieldType::Boolean, 0, 0}, FieldKind::Calculated,
                          [](const DataSet &, Bookmark) { return QVariant(true); });
    cdsData->first();
}

void TfrmReportPage::InitPage()
{
    TBasePage::InitPage();
    // Arranged by the analysis: no grouping, filtering or moving of its columns.
    for (int c = 0; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        col.locked = true;
        GridData->updateColumn(c, col);
    }
    GridData->setGroupByBoxVisible(false);
    // The fixed columns are at least as wide as their band's caption, which would otherwise leave
    // an empty strip beside a narrow first column (班级 of a distribution).
    const int fixed = GridData->fixedBandColumnCount();
    int width = 0;
    for (int c = 0; c < fixed; ++c)
        if (GridData->column(c).visible) width += GridData->column(c).width;
    const int caption = GridData->fontMetrics().horizontalAdvance(GridData->bandCaption(0)) + 48;
    if (fixed > 0 && width < caption) GridData->setColumnWidth(fixed - 1, GridData->column(fixed - 1).width + caption - width);
    if (cdsData->fieldIndex(u"ExamName") >= 0) GridData->setCellColors([this](int row, int column) { return GapColors(row, column); });
    ChartLevel->setSource(GridData, FixedColumnCount, Title);
    ChartLevel->applyPreset(Preset);
}

CellColors TfrmReportPage::GapColors(int row, int column) const
{
    CellColors c;
    if (GridData->value(row, GridData->columnOfField(QStringLiteral("ExamName"))).toString() != u"差距") return c;
    c.background = QColor(0xFF, 0xF8, 0xE1);
    if (column < FixedColumnCount) return c;
    bool number = false;
    const double v = GridData->value(row, column).toString().toDouble(&number);
    if (number && v < 0)
        c.foreground = QColor(0xC0, 0x39, 0x2B);
    else if (number && v > 0)
        c.foreground = QColor(0x2E, 0x7D, 0x32);
    return c;
}

void TAnalysisPage::SetReadOnly(bool readOnly)
{
    TBasePage::SetReadOnly(true);
    Q_UNUSED(readOnly);
    for (QAction *a : {acPrint, acExport})
        a->setEnabled(true);
    // Designing templates is the administrators' business; printing them is everyone's.
    acRptSet->setVisible(pub::userType() == 1);
}

QVariant TAnalysisPage::ReportVariable(const QString &name, bool *found)
{
    if (name == u"ReportTitle") {
        *found = true;
        return Title;
    }
    if (Variables.contains(name)) {
        *found = true;
        return Variables.value(name);
    }
    return TBasePage::ReportVariable(name, found);
}

qint32 openReportPage(QWidget *parent, const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, int fixedColumns,
                      const ChartPreset &preset, const QString &reportFolder)
{
    auto *page = new TfrmReportPage(parent);
    page->setUpdatesEnabled(false);
    page->ReportFolder = reportFolder.isEmpty() ? QStringLiteral("Analysis/") + title : reportFolder;
    page->setResult(title, fields, rows, fixedColumns);
    page->Preset = preset;
    page->InitPage();
    return hostAnalysisPage(page, parent, QSize(1100, 680));
}

qint32 hostAnalysisPage(TBasePage *page, QWidget *parent, QSize windowSize)
{
    if (parent) {
        page->setWindowFlags(Qt::Widget);
        if (parent->layout()) parent->layout()->addWidget(page);
    } else {
        page->setAttribute(Qt::WA_DeleteOnClose);
        page->resize(windowSize);
    }
    const qint32 handle = PageRegistry::instance().add(page);
    page->show();
    page->setUpdatesEnabled(true);
    return handle;
}

} // namespace lumeko::achieve
