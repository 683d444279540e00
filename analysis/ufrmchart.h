#pragma once
// TfrmChart ("数据图表"): charts of the score sheet the calling page hands over: a class's
// subjects against the grade as a radar of score rates, the classes' averages of a subject as
// columns, every class's score rates as lines, the classes' shares of a range of grade ranks as a
// pie, and each class's students by level as stacked columns. Marks as values or percentages;
// the chart can be copied, printed and saved as a picture.

#include "analysis/chartcounts.h"
#include "domain/scoring.h"
#include "framework/achieve_export.h"
#include "toolkit/chart/chartbuild.h"
#include "toolkit/data/dataset.h"

#include <QDialog>

#include <functional>

class QAction;
class QComboBox;
class QToolButton;

namespace lumeko {
namespace chart {
class ChartView;
}
namespace report {
class PreparedReport;
}
} // namespace lumeko

namespace lumeko::achieve {

// A subject (or total) of the sheet as the chart reads it.
struct ChartSubject {
    QString code;       // "001", or FUL, MAI, BAS
    QString caption;    // 语文, 全总分
    QString scoreField; // C_001, FullTotal
    QString rankField;  // O_001, FullOrder: the grade rank
    double fullMark = 0;
    domain::LevelMarks marks;
    bool total = false;
};

class LUMEKO_ACHIEVE_EXPORT TfrmChart : public QDialog {
    Q_OBJECT
public:
    explicit TfrmChart(QWidget *parent = nullptr);

    // Takes the sheet's shown rows into the chart's table (class code and name, and per subject
    // the score, the grade rank and the chart level of the score by the subject's marks).
    void setSheet(const DataSet &sheet, const QList<ChartSubject> &subjects, const QString &classCodeField = QStringLiteral("ClassCode"),
                  const QString &classNameField = QStringLiteral("ClassName"));

    DataSet *cdsChart; // ClassCode, ClassName, then S_, R_, L_ + code per subject
    QList<ChartSubject> Subjects;

    enum ChartType { Radar = 0, Columns = 1, Pie = 2, Lines = 3, Structure = 4 };
    QComboBox *cbType;    // by chartTypeName
    QComboBox *cbSubject; // the subjects and totals
    QComboBox *cbClass;   // the radar's class
    QToolButton *btnRange, *btnShow, *btnCopy, *btnPrint, *btnExport;
    QAction *acPercent, *acValues; // "显示": 百分比, 数值
    chart::ChartView *chartView;

    RankRange Range; // of the pie; 前20名 to start with
    // Asks for a text (the custom range); tests answer in its place.
    std::function<QString(const QString &title, const QString &prompt, const QString &text, bool *ok)> askText;
    std::function<void(const report::PreparedReport &)> showReport;

    int chartType() const;
    void setChartType(int type);
    chart::Marks marks() const;
    chart::ChartData chartData() const;
    chart::ChartOptions chartOptions() const;

public Q_SLOTS:
    void refresh();
    void chooseRange(const RankRange &range);
    // "自定义...": asks for "start-end"; anything else is refused with "输入区间格式无效！".
    void customRange();
    void copyChart();
    void printChart();
    void exportChart();

private:
    const ChartSubject *subject() const;
    // The subjects a rate can be drawn for: scored by points, not totals.
    QList<const ChartSubject *> rateSubjects() const;
    // Per class (and the grade, last) the average of each rate subject as a percentage of its
    // full mark.
    QList<QList<double>> classRates(QStringList *classes) const;
};

} // namespace lumeko::achieve
