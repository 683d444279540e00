#include "analysis/reportchart.h"

#include "host/pub/pub.h"
#include "toolkit/chart/chartview.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/report/prepared.h"

#include <QChart>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumeko::achieve {

namespace {

QToolButton *toolButton(const QString &caption, const QString &icon, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(pub::styleIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
}

} // namespace

ReportChartLevel::ReportChartLevel(QWidget *parent) : QWidget(parent)
{
    cbKind = new QComboBox(this);
    cbKind->addItem(QStringLiteral("柱状图"), int(chart::ChartKind::Column));
    cbKind->addItem(QStringLiteral("折线图"), int(chart::ChartKind::Line));
    cbKind->addItem(QStringLiteral("雷达图"), int(chart::ChartKind::Radar));
    cbKind->addItem(QStringLiteral("饼图"), int(chart::ChartKind::Pie));
    cbAcross = new QComboBox(this);
    cbAcross->addItem(QStringLiteral("各行对比"), int(ChartPreset::Rows));
    cbAcross->addItem(QStringLiteral("各列对比"), int(ChartPreset::Columns));
    cbMarks = new QComboBox(this);
    cbMarks->addItem(QStringLiteral("数值"), int(chart::Marks::Values));
    cbMarks->addItem(QStringLiteral("百分比"), int(chart::Marks::Percent));
    cbMarks->addItem(QStringLiteral("不显示"), int(chart::Marks::None));
    btnColumns = toolButton(QStringLiteral("数据列"), QStringLiteral("View"), this);
    m_columnMenu = new QMenu(btnColumns);
    btnColumns->setMenu(m_columnMenu);
    btnColumns->setPopupMode(QToolButton::InstantPopup);
    btnCopy = toolButton(QStringLiteral("复制"), QStringLiteral("Copy"), this);
    btnPrint = toolButton(QStringLiteral("打印"), QStringLiteral("Print"), this);
    btnExport = toolButton(QStringLiteral("导出"), QStringLiteral("Export"), this);
    btnCopy->setToolTip(QStringLiteral("复制图表到剪贴板"));
    btnExport->setToolTip(QStringLiteral("图表另存为图片"));
    chartView = new chart::ChartView(this);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 0);
    bar->addWidget(new QLabel(QStringLiteral("图形："), this));
    bar->addWidget(cbKind);
    bar->addSpacing(8);
    bar->addWidget(new QLabel(QStringLiteral("对比："), this));
    bar->addWidget(cbAcross);
    bar->addWidget(btnColumns);
    bar->addSpacing(8);
    bar->addWidget(new QLabel(QStringLiteral("显示："), this));
    bar->addWidget(cbMarks);
    bar->addStretch(1);
    bar->addWidget(btnCopy);
    bar->addWidget(btnPrint);
    bar->addWidget(btnExport);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(chartView, 1);

    for (QComboBox *c : {cbKind, cbAcross, cbMarks})
        connect(c, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_building) refresh();
        });
    connect(cbAcross, &QComboBox::currentIndexChanged, this, [this] { m_seriesRows.clear(); });
    connect(btnCopy, &QToolButton::clicked, this, &ReportChartLevel::copyChart);
    connect(btnPrint, &QToolButton::clicked, this, &ReportChartLevel::printChart);
    connect(btnExport, &QToolButton::clicked, this, &ReportChartLevel::exportChart);
}

void ReportChartLevel::setSource(BandedGrid *grid, int labelColumns, const QString &title)
{
    m_grid = grid;
    m_labelColumns = std::max(1, labelColumns);
    m_title = title;
    fillColumnMenu();
    // Across the columns the chart follows the row the teacher chooses in the list.
    connect(grid, &BandedGrid::currentRowChanged, this, [this] {
        if (across() == ChartPreset::Columns && m_seriesRows.isEmpty() && isVisible()) refresh();
    });
}

std::optional<double> ReportChartLevel::number(int row, int column) const
{
    const QVariant v = m_grid->value(row, column);
    if (wire::isNull(v)) return std::nullopt;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

QList<int> ReportChartLevel::valueColumns() const
{
    QList<int> out;
    if (!m_grid) return out;
    const QList<int> visible = m_grid->visibleColumns();
    for (qsizetype i = m_labelColumns; i < visible.size(); ++i) {
        const int c = visible[i];
        for (int r = 0; r < m_grid->dataRowCount(); ++r)
            if (number(r, c)) {
                out << c;
                break;
            }
    }
    return out;
}

void ReportChartLevel::fillColumnMenu()
{
    m_columnMenu->clear();
    for (int c : valueColumns()) {
        QAction *a = m_columnMenu->addAction(m_grid->columnCaption(c));
        a->setCheckable(true);
        a->setData(m_grid->column(c).field);
        connect(a, &QAction::toggled, this, [this] {
            if (!m_building) refresh();
        });
    }
}

QList<int> ReportChartLevel::tickedColumns() const
{
    QList<int> out;
    for (QAction *a : m_columnMenu->actions())
        if (a->isChecked()) out << m_grid->columnOfField(a->data().toString());
    return out;
}

void ReportChartLevel::setTicked(const QStringList &fields)
{
    m_building = true;
    for (QAction *a : m_columnMenu->actions())
        a->setChecked(fields.contains(a->data().toString(), Qt::CaseInsensitive));
    m_building = false;
}

ChartPreset::Across ReportChartLevel::across() const
{
    return ChartPreset::Across(cbAcross->currentData().toInt());
}

void ReportChartLevel::setAcross(ChartPreset::Across a)
{
    m_building = true;
    cbAcross->setCurrentIndex(cbAcross->findData(int(a)));
    m_building = false;
}

void ReportChartLevel::setSeriesRows(const QList<int> &rows)
{
    m_seriesRows = rows;
}

void ReportChartLevel::applyPreset(const ChartPreset &preset)
{
    setAcross(preset.across);
    if (!preset.title.isEmpty()) m_title = preset.title;
    m_building = true;
    cbKind->setCurrentIndex(std::max(0, cbKind->findData(int(preset.kind))));
    m_building = false;
    QStringList fields = preset.fields;
    const QList<int> values = valueColumns();
    if (fields.isEmpty()) {
        // Across the rows one column to start with; across the columns all of them.
        for (qsizetype i = 0; i < values.size() && (preset.across == ChartPreset::Columns || i < 1); ++i)
            fields << m_grid->column(values[i]).field;
    }
    setTicked(fields);
    m_seriesRows = preset.rows;
    refresh();
}

QString ReportChartLevel::rowLabel(int row) const
{
    QStringList parts;
    const QList<int> visible = m_grid->visibleColumns();
    for (qsizetype i = 0; i < visible.size() && i < m_labelColumns; ++i) {
        const QString text = m_grid->displayText(row, visible[i]).trimmed();
        if (!text.isEmpty()) parts << text;
    }
    return parts.join(u' ');
}

chart::ChartKind ReportChartLevel::kind() const
{
    return chart::ChartKind(cbKind->currentData().toInt());
}
chart::Marks ReportChartLevel::marks() const
{
    return chart::Marks(cbMarks->currentData().toInt());
}

chart::ChartData ReportChartLevel::chartData() const
{
    chart::ChartData d;
    d.title = m_title;
    if (!m_grid) return d;
    const QList<int> columns = tickedColumns();
    const auto value = [this](int row, int column) {
        const std::optional<double> v = number(row, column);
        return v ? *v : chart::kMissing;
    };
    if (across() == ChartPreset::Rows) {
        for (int r = 0; r < m_grid->dataRowCount(); ++r)
            d.categories << rowLabel(r);
        for (int c : columns) {
            chart::Series s{m_grid->columnCaption(c), {}, {}};
            for (int r = 0; r < m_grid->dataRowCount(); ++r)
                s.values << value(r, c);
            d.series << s;
        }
        if (columns.size() == 1) d.title += u' ' + m_grid->columnCaption(columns.first());
        return d;
    }
    for (int c : columns)
        d.categories << m_grid->columnCaption(c);
    const QList<int> rows = m_seriesRows.isEmpty() ? m_grid->selectedRows() : m_seriesRows;
    for (int r : rows) {
        if (r < 0 || r >= m_grid->dataRowCount()) continue;
        chart::Series s{rowLabel(r), {}, {}};
        for (int c : columns)
            s.values << value(r, c);
        d.series << s;
    }
    if (d.series.size() == 1) {
        d.title += u' ' + d.series.first().name;
        return d;
    }
    // What every row shares (语文 平均分 of each exam) goes to the title; the legend keeps the rest.
    QStringList common = d.series.isEmpty() ? QStringList() : d.series.first().name.split(u' ');
    for (const chart::Series &s : d.series) {
        const QStringList words = s.name.split(u' ');
        qsizetype n = 0;
        while (n < common.size() && n + 1 < words.size() && words[n] == common[n])
            ++n;
        common = common.mid(0, n);
    }
    if (!common.isEmpty()) {
        d.title += u' ' + common.join(u' ');
        for (chart::Series &s : d.series)
            s.name = s.name.split(u' ').mid(common.size()).join(u' ');
    }
    return d;
}

void ReportChartLevel::refresh()
{
    if (!m_grid) return;
    chart::ChartOptions o;
    o.marks = marks();
    o.font = font();
    chartView->showData(chartData(), kind(), o);
}

report::PreparedReport ReportChartLevel::printout() const
{
    return chartPrintout(chartData().title, *chartView);
}

report::PreparedReport chartPrintout(const QString &title, const chart::ChartView &view)
{
    report::PreparedReport r;
    r.page.orientation = QPageLayout::Landscape;
    const QRectF area = r.page.printableUnits();
    report::PreparedPage page;
    report::PageItem heading;
    heading.kind = report::ObjectKind::Memo;
    heading.rect = QRectF(area.left(), area.top(), area.width(), 40);
    heading.text = title;
    heading.font = QFont(QStringLiteral("宋体"), 16);
    heading.alignment = Qt::AlignCenter;
    page.items << heading;
    report::PageItem picture;
    picture.kind = report::ObjectKind::Picture;
    picture.rect = QRectF(area.left(), area.top() + 50, area.width(), area.height() - 50);
    // Twice the page's units in pixels: sharp on paper.
    picture.picture = view.image(QSize(int(picture.rect.width() * 2), int(picture.rect.height() * 2)));
    picture.keepAspect = true;
    page.items << picture;
    r.pages << page;
    return r;
}

void ReportChartLevel::copyChart()
{
    chartView->copyToClipboard();
}

void ReportChartLevel::printChart()
{
    if (showReport) showReport(printout());
}

void ReportChartLevel::exportChart()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出图表"), m_title + QStringLiteral(".png"), chart::imageFileFilter());
    if (path.isEmpty()) return;
    QString error;
    if (!chartView->saveImage(path, &error)) pub::msgError(error, this);
}

} // namespace lumeko::achieve
