#include "analysis/ufrmchart.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/chart/chartview.h"
#include "toolkit/report/prepared.h"
#include "toolkit/report/ui/reportpreview.h"

#include <QActionGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumeko::achieve {

namespace {

const QString kGrade = QStringLiteral("年级");

QToolButton *toolButton(const QString &caption, const QString &icon, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(pub::styleIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
}

double rounded1(double v)
{
    return std::isnan(v) ? v : std::round(v * 10) / 10;
}

} // namespace

TfrmChart::TfrmChart(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("数据图表"));
    applyHostLook(this, true);
    resize(960, 640);
    cdsChart = new DataSet(this);
    Range = rankRangeMenu().first();
    showReport = [this](const report::PreparedReport &r) { report::ReportPreview::show(r, this); };
    askText = [this](const QString &title, const QString &prompt, const QString &text, bool *ok) {
        return QInputDialog::getText(this, title, prompt, QLineEdit::Normal, text, ok);
    };

    cbType = new QComboBox(this);
    for (int t = Radar; t <= Structure; ++t)
        cbType->addItem(chartTypeName(t), t);
    cbSubject = new QComboBox(this);
    cbClass = new QComboBox(this);
    btnRange = toolButton(QStringLiteral("区间"), QStringLiteral("TOrder"), this);
    auto *ranges = new QMenu(btnRange);
    for (const RankRange &r : rankRangeMenu())
        ranges->addAction(r.caption, this, [this, r] { chooseRange(r); });
    ranges->addSeparator();
    ranges->addAction(QStringLiteral("自定义..."), this, &TfrmChart::customRange);
    btnRange->setMenu(ranges);
    btnRange->setPopupMode(QToolButton::InstantPopup);
    btnShow = toolButton(QStringLiteral("显示"), QStringLiteral("View"), this);
    auto *show = new QMenu(btnShow);
    acPercent = show->addAction(QStringLiteral("百分比"));
    acValues = show->addAction(QStringLiteral("数值"));
    auto *marks = new QActionGroup(this);
    for (QAction *a : {acPercent, acValues}) {
        a->setCheckable(true);
        marks->addAction(a);
        connect(a, &QAction::triggered, this, &TfrmChart::refresh);
    }
    acValues->setChecked(true);
    btnShow->setMenu(show);
    btnShow->setPopupMode(QToolButton::InstantPopup);
    btnCopy = toolButton(QStringLiteral("复制"), QStringLiteral("Copy"), this);
    btnPrint = toolButton(QStringLiteral("打印"), QStringLiteral("Print"), this);
    btnExport = toolButton(QStringLiteral("导出"), QStringLiteral("Export"), this);
    chartView = new chart::ChartView(this);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("图表："), this));
    bar->addWidget(cbType);
    bar->addSpacing(8);
    bar->addWidget(new QLabel(QStringLiteral("科目："), this));
    bar->addWidget(cbSubject);
    bar->addSpacing(8);
    bar->addWidget(new QLabel(QStringLiteral("班级："), this));
    bar->addWidget(cbClass);
    bar->addWidget(btnRange);
    bar->addWidget(btnShow);
    bar->addStretch(1);
    bar->addWidget(btnCopy);
    bar->addWidget(btnPrint);
    bar->addWidget(btnExport);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(chartView, 1);

    for (QComboBox *c : {cbType, cbSubject, cbClass})
        connect(c, &QComboBox::currentIndexChanged, this, &TfrmChart::refresh);
    connect(btnCopy, &QToolButton::clicked, this, &TfrmChart::copyChart);
    connect(btnPrint, &QToolButton::clicked, this, &TfrmChart::printChart);
    connect(btnExport, &QToolButton::clicked, this, &TfrmChart::exportChart);
}

void TfrmChart::setSheet(const DataSet &sheet, const QList<ChartSubject> &subjects, const QString &classCodeField, const QString &classNameField)
{
    Subjects = subjects;
    QList<wire::FieldDef> fields{{QStringLiteral("ClassCode"), wire::FieldType::Text, 0, 0}, {QStringLiteral("ClassName"), wire::FieldType::Text, 0, 0}};
    for (const ChartSubject &s : subjects) {
        fields.append({QStringLiteral("S_") + s.code, wire::FieldType::Float, 0, 0});
        fields.append({QStringLiteral("R_") + s.code, wire::FieldType::Integer, 0, 0});
        fields.append({QStringLiteral("L_") + s.code, wire::FieldType::Integer, 0, 0});
    }
    wire::DataPacket rows(fields);
    const int code = sheet.fieldIndex(classCodeField), name = sheet.fieldIndex(classNameField);
    for (qsizetype r = 0; r < sheet.recordCount(); ++r) {
        QVariantList row{code < 0 ? QVariant() : sheet.valueAt(r, code), name < 0 ? QVariant() : sheet.valueAt(r, name)};
        for (const ChartSubject &s : subjects) {
            const int sf = sheet.fieldIndex(s.scoreField), rf = sheet.fieldIndex(s.rankField);
            const QVariant score = sf < 0 ? QVariant() : sheet.valueAt(r, sf);
            const QVariant rank = rf < 0 ? QVariant() : sheet.valueAt(r, rf);
            domain::Score value;
            if (!wire::isNull(score)) value = score.toDouble();
            const std::optional<int> level = chartLevelOf(domain::levelOf(value, s.marks));
            row << (value ? QVariant(*value) : QVariant()) << (wire::isNull(rank) || rank.toLongLong() <= 0 ? QVariant() : QVariant(rank.toLongLong()))
                << (level ? QVariant(qint64(*level)) : QVariant());
        }
        rows.appendRow(row);
    }
    cdsChart->setData(rows);

    const QSignalBlocker a(cbSubject), b(cbClass);
    cbSubject->clear();
    for (const ChartSubject &s : subjects)
        cbSubject->addItem(s.caption, s.code);
    cbClass->clear();
    QStringList classes;
    const ClassAverages any = classAverages(*cdsChart, QStringLiteral("ClassName"), QString(), kGrade);
    for (qsizetype c = 0; c + 1 < any.classes.size(); ++c)
        cbClass->addItem(any.classes[c]);
    refresh();
}

int TfrmChart::chartType() const
{
    return cbType->currentData().toInt();
}

void TfrmChart::setChartType(int type)
{
    cbType->setCurrentIndex(cbType->findData(type));
}

chart::Marks TfrmChart::marks() const
{
    return acPercent->isChecked() ? chart::Marks::Percent : chart::Marks::Values;
}

const ChartSubject *TfrmChart::subject() const
{
    for (const ChartSubject &s : Subjects)
        if (s.code == cbSubject->currentData().toString()) return &s;
    return nullptr;
}

QList<const ChartSubject *> TfrmChart::rateSubjects() const
{
    QList<const ChartSubject *> out;
    // Subjects graded by letter steps (a full mark of 5 or 8) have no score rate.
    for (const ChartSubject &s : Subjects)
        if (!s.total && s.fullMark > 8) out << &s;
    return out;
}

QList<QList<double>> TfrmChart::classRates(QStringList *classes) const
{
    QList<QList<double>> rates; // [class][subject]
    for (const ChartSubject *s : rateSubjects()) {
        const ClassAverages a = classAverages(*cdsChart, QStringLiteral("ClassName"), QStringLiteral("S_") + s->code, kGrade);
        if (classes->isEmpty()) *classes = a.classes;
        if (rates.isEmpty()) rates.resize(a.classes.size());
        for (qsizetype c = 0; c < a.classes.size(); ++c)
            rates[c] << rounded1(a.averages[c] / s->fullMark * 100);
    }
    return rates;
}

chart::ChartData TfrmChart::chartData() const
{
    chart::ChartData d;
    const ChartSubject *s = subject();
    switch (chartType()) {
    case Radar: {
        QStringList classes;
        const QList<QList<double>> rates = classRates(&classes);
        for (const ChartSubject *r : rateSubjects())
            d.categories << r->caption;
        const QString chosen = cbClass->currentText();
        d.title = chosen + QStringLiteral(" 各科得分率");
        const qsizetype c = classes.indexOf(chosen);
        // Bright on the title band's colour: the class in gold, the grade in pale blue.
        if (c >= 0 && c < rates.size()) d.series << chart::Series{chosen, rates[c], QColor(0xFF, 0xC0, 0x00)};
        if (!rates.isEmpty()) d.series << chart::Series{kGrade, rates.last(), QColor(0x9D, 0xC3, 0xE6)};
        break;
    }
    case Columns: {
        if (!s) break;
        const ClassAverages a = classAverages(*cdsChart, QStringLiteral("ClassName"), QStringLiteral("S_") + s->code, kGrade);
        d.title = s->caption + QStringLiteral(" 各班平均分");
        d.categories = a.classes;
        QList<double> values;
        for (double v : a.averages)
            values << (std::isnan(v) ? v : std::round(v * 100) / 100);
        d.series << chart::Series{QStringLiteral("平均分"), values, {}};
        break;
    }
    case Lines: {
        QStringList classes;
        const QList<QList<double>> rates = classRates(&classes);
        for (const ChartSubject *r : rateSubjects())
            d.categories << r->caption;
        d.title = QStringLiteral("各班各科得分率");
        for (qsizetype c = 0; c < classes.size() && c < rates.size(); ++c)
            d.series << chart::Series{classes[c], rates[c], classes[c] == kGrade ? QColor(0x40, 0x40, 0x40) : QColor()};
        break;
    }
    case Pie: {
        if (!s) break;
        d.title = s->caption + u' ' + Range.caption + QStringLiteral(" 各班占比");
        chart::Series counts{QStringLiteral("人数"), {}, {}};
        for (const ClassCount &c : rankRangeCounts(*cdsChart, QStringLiteral("ClassName"), QStringLiteral("R_") + s->code, Range)) {
            d.categories << c.className;
            counts.values << c.count;
        }
        d.series << counts;
        break;
    }
    case Structure: {
        if (!s) break;
        d.title = s->caption + QStringLiteral(" 成绩 各班结构图");
        const StructureCounts c = structureCounts(*cdsChart, QStringLiteral("ClassName"), QStringLiteral("L_") + s->code);
        d.categories = c.classes;
        d.series << chart::Series{QStringLiteral("不及格"), c.fail, QColor(0xD9, 0x53, 0x4F)}
                 << chart::Series{QStringLiteral("及格优良"), c.pass, QColor(0x5B, 0x9B, 0xD5)}
                 << chart::Series{QStringLiteral("优秀"), c.excel, QColor(0x70, 0xAD, 0x47)};
        break;
    }
    }
    return d;
}

chart::ChartOptions TfrmChart::chartOptions() const
{
    chart::ChartOptions o;
    o.marks = marks();
    o.font = font();
    if (chartType() == Radar) {
        // Rings at the levels: the mean over the subjects of each mark as a share of the full mark.
        o.marks = chart::Marks::None;
        o.radialMax = 100;
        // On the host's title band: its colour behind, its title font colour for the names.
        o.font = QFont(QStringLiteral("Arial"), font().pointSize());
        o.background = pub::titleBackColor();
        o.foreground = pub::titleFontColor();
        double excel = 0, good = 0, pass = 0;
        const QList<const ChartSubject *> rated = rateSubjects();
        for (const ChartSubject *s : rated) {
            excel += s->marks.excel / s->fullMark * 100;
            good += s->marks.good / s->fullMark * 100;
            pass += s->marks.pass / s->fullMark * 100;
        }
        if (!rated.isEmpty())
            o.radialLevels = {{100, scoreLevelName(0)},
                              {excel / rated.size(), scoreLevelName(1)},
                              {good / rated.size(), scoreLevelName(2)},
                              {pass / rated.size(), scoreLevelName(3)}};
        // The centre ten points below the lowest rate or ring, in tens: classes differ by a few
        // points, which a radar from 0 would squeeze against its rim.
        double lowest = rated.isEmpty() ? 0 : pass / rated.size();
        for (const chart::Series &s : chartData().series)
            for (double v : s.values)
                if (!std::isnan(v)) lowest = std::min(lowest, v);
        o.radialMin = std::max(0.0, std::floor((lowest - 10) / 10) * 10);
    }
    return o;
}

void TfrmChart::refresh()
{
    const int type = chartType();
    cbSubject->setEnabled(type != Radar && type != Lines);
    cbClass->setEnabled(type == Radar);
    btnRange->setEnabled(type == Pie);
    chartView->showData(chartData(),
                        type == Radar       ? chart::ChartKind::Radar
                        : type == Pie       ? chart::ChartKind::Pie
                        : type == Lines     ? chart::ChartKind::Line
                        : type == Structure ? chart::ChartKind::Structure
                                            : chart::ChartKind::Column,
                        chartOptions());
}

void TfrmChart::chooseRange(const RankRange &range)
{
    Range = range;
    if (chartType() != Pie) setChartType(Pie);
    refresh();
}

void TfrmChart::customRange()
{
    bool ok = false;
    const QString text =
        askText(QStringLiteral("自定义区间"), QStringLiteral("请输入自定义区间，格式 \"起始名次-截至名次\"，如：1-30 "), QStringLiteral("1-30"), &ok);
    if (!ok) return;
    const std::optional<RankRange> range = parseRankRange(text);
    if (!range) {
        pub::msgError(QStringLiteral("输入区间格式无效！"), this);
        return;
    }
    chooseRange(*range);
}

void TfrmChart::copyChart()
{
    chartView->copyToClipboard();
}

void TfrmChart::printChart()
{
    report::PreparedReport r;
    r.page.orientation = QPageLayout::Landscape;
    const QRectF area = r.page.printableUnits();
    report::PreparedPage page;
    report::PageItem picture;
    picture.kind = report::ObjectKind::Picture;
    picture.rect = area;
    picture.picture = chartView->image(QSize(int(area.width() * 2), int(area.height() * 2)));
    picture.keepAspect = true;
    page.items << picture;
    r.pages << page;
    if (showReport) showReport(r);
}

void TfrmChart::exportChart()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出图表"), chartData().title + QStringLiteral(".png"), chart::imageFileFilter());
    if (path.isEmpty()) return;
    QString error;
    if (!chartView->saveImage(path, &error)) pub::msgError(error, this);
}

} // namespace lumeko::achieve
