#include "analysis/ufrmrepchartpage.h"

#include "analysis/progresssettings.h"
#include "analysis/reportchart.h"
#include "analysis/ufrmreportpage.h"
#include "framework/pagehosting.h"
#include "host/pub/pub.h"
#include "toolkit/chart/chartview.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/report/prepared.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {
const QList<std::pair<const char *, chart::ChartKind>> kKinds{
    {"折线图", chart::ChartKind::Line}, {"柱形图", chart::ChartKind::Column}, {"结构图", chart::ChartKind::Structure}, {"饼图", chart::ChartKind::Pie}};
}

TfrmRepChartPage::TfrmRepChartPage(QWidget *parent) : TAnalysisPage(parent)
{
    auto *panel = new QWidget(this);
    cbKind = new QComboBox(panel);
    for (const auto &[caption, kind] : kKinds)
        cbKind->addItem(QString::fromUtf8(caption), int(kind));
    cbValue = new QComboBox(panel);
    cbValue->addItems({QStringLiteral("成绩"), QStringLiteral("名次")});
    const auto tool = [panel](const char *text, const char *icon) {
        auto *b = new QToolButton(panel);
        b->setText(QString::fromUtf8(text));
        b->setIcon(pub::styleIcon(QString::fromLatin1(icon)));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return b;
    };
    btnCopy = tool("复制", "Copy");
    btnPrint = tool("打印", "Print");
    btnExport = tool("导出", "Export");
    chartView = new chart::ChartView(panel);
    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("图表类型："), panel));
    bar->addWidget(cbKind);
    bar->addWidget(new QLabel(QStringLiteral("显示："), panel));
    bar->addWidget(cbValue);
    bar->addStretch(1);
    for (QToolButton *b : {btnCopy, btnPrint, btnExport})
        bar->addWidget(b);
    auto *pl = new QVBoxLayout(panel);
    pl->setContentsMargins(0, 0, 0, 0);
    pl->addLayout(bar);
    pl->addWidget(chartView, 1);

    splLevels = new QSplitter(Qt::Vertical, this);
    layout()->replaceWidget(GridData, splLevels);
    splLevels->addWidget(GridData);
    splLevels->addWidget(panel);
    splLevels->setStretchFactor(0, 3);
    splLevels->setStretchFactor(1, 2);

    connect(cbKind, &QComboBox::currentIndexChanged, this, &TfrmRepChartPage::refreshChart);
    connect(cbValue, &QComboBox::currentIndexChanged, this, &TfrmRepChartPage::refreshChart);
    connect(cdsData, &DataSet::currentChanged, this, &TfrmRepChartPage::refreshChart);
    connect(btnCopy, &QToolButton::clicked, this, [this] { chartView->copyToClipboard(); });
    connect(btnPrint, &QToolButton::clicked, this, [this] { showReport(chartPrintout(chartTitle(), *chartView)); });
    connect(btnExport, &QToolButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出图表"), chartTitle() + QStringLiteral(".png"), chart::imageFileFilter());
        if (path.isEmpty()) return;
        QString error;
        if (!chartView->saveImage(path, &error)) pub::msgError(error, this);
    });
}

void TfrmRepChartPage::setResult(const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, const QString &keyField,
                                 const wire::DataPacket &detail, int fixedColumns)
{
    KeyField = keyField;
    Detail = detail;
    TAnalysisPage::setResult(title, fields, rows, fixedColumns);
}

void TfrmRepChartPage::InitPage()
{
    TBasePage::InitPage();
    GridData->setGroupByBoxVisible(false);
    refreshChart();
}

// "张三 成绩" for the focused student.
QString TfrmRepChartPage::chartTitle() const
{
    const QString name = cdsData->isActive() && !cdsData->isEmpty() && cdsData->fieldIndex(u"sName") >= 0 ? cdsData->value(u"sName").toString() : QString();
    return (name.isEmpty() ? Title : name) + u' ' + cbValue->currentText();
}

void TfrmRepChartPage::refreshChart()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || cdsData->fieldIndex(KeyField) < 0) {
        chartView->showData({}, chart::ChartKind::Line, {});
        return;
    }
    chart::ChartData data = studentProgressChart(Detail, cdsData->value(KeyField).toString(), cbValue->currentIndex() == 1);
    data.title = chartTitle();
    chart::ChartOptions options;
    options.font = font();
    options.decimals = 1;
    chartView->showData(data, chart::ChartKind(cbKind->currentData().toInt()), options);
}

qint32 openRepChartPage(QWidget *parent, const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, const QString &keyField,
                        const wire::DataPacket &detail, int fixedColumns)
{
    auto *page = new TfrmRepChartPage(parent);
    page->setUpdatesEnabled(false);
    page->setResult(title, fields, rows, keyField, detail, fixedColumns);
    page->InitPage();
    return hostAnalysisPage(page, parent, QSize(1100, 720));
}

} // namespace lumeko::achieve
