// The exports of the progress analysis: the settings dialog, the server's comparison, and the
// rows in a report page (ShowUpDownSumPage) or with each student's line (ShowUpDLinePage).

#include "analysis/analysiscall.h"
#include "analysis/ufrmachieveupdown.h"
#include "analysis/ufrmrepchartpage.h"
#include "analysis/ufrmreportpage.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <optional>

namespace lumeko::achieve {

namespace {

QWidget *owner(void *app)
{
    return static_cast<QWidget *>(app);
}

struct ProgressAnswer {
    CallResult call;
    wire::DataPacket rows, detail;
};

// Asks the server for the comparison the dialog settled. The class list stays empty: the server
// keeps a teacher to the classes he sees on the score sheet whatever a client sends.
ProgressAnswer askProgress(const TfrmAchieveUpDown &dialog, bool withChart)
{
    const AnalysisParams &e = dialog.Exam;
    QList<wire::Argument> args{in(pub::schoolId()), var(dialog.ExamListText), var(dialog.SubjectListText), var(QString())};
    if (withChart) args << in(e.gradeCode);
    args << var(qint64(e.inYear));
    if (!withChart) args << in(qint64(0));
    args << var();
    ProgressAnswer a;
    a.call = callServer(withChart ? protocol::QExamUDLine : protocol::QExamUpDown, args);
    if (!a.call.ok()) return a;
    if (const auto *rows = std::get_if<wire::DataPacket>(&args.last().value)) a.rows = *rows;
    if (const auto *detail = std::get_if<wire::DataPacket>(&a.call.result)) a.detail = *detail;
    return a;
}

qint32 showProgress(void *app, void *parent, const char *params, bool withChart)
{
    setModuleApp(owner(app));
    const QStringList list = parameterList(params);
    if (const QString problem = analysisParamsProblem(list); !problem.isEmpty()) {
        pub::msgHint(problem, owner(app));
        return 0;
    }
    TfrmAchieveUpDown dialog(owner(app));
    takeHostIcon(dialog, app);
    dialog.Params = list;
    if (!dialog.InitForm()) return -1;
    if (runModal(dialog) != QDialog::Accepted) return 0;

    ProgressAnswer answer;
    {
        pub::WaitIndicator wait(owner(app), QStringLiteral("正在分析数据，请稍后......"));
        answer = askProgress(dialog, withChart);
    }
    if (!answer.call.ok()) {
        reportAnalysisFailure(owner(app), QStringLiteral("发生错误："), answer.call);
        return -1;
    }
    const QString title = QStringLiteral("成绩进退分析");
    // 学生ID (hidden), 学号 and 姓名 stay in view while the subjects scroll.
    const int fixed = 3;
    if (!withChart) {
        WriteOperationLog(QStringLiteral("执行 ") + title);
        ChartPreset preset;
        preset.kind = chart::ChartKind::Column;
        return openReportPage(static_cast<QWidget *>(parent), title, dialog.Columns, answer.rows, fixed, preset);
    }
    WriteOperationLog(QStringLiteral("执行 ") + title + u';' + dialog.ExamListText);
    return openRepChartPage(static_cast<QWidget *>(parent), title + u';' + dialog.ExamListText, dialog.Columns, answer.rows, QStringLiteral("sCode"),
                            answer.detail, fixed);
}

} // namespace

} // namespace lumeko::achieve

using namespace lumeko::achieve;

extern "C" {

int32_t ShowUpDownSumPage(void *app, void *parent, const char *params)
{
    return showProgress(app, parent, params, false);
}

int32_t ShowUpDLinePage(void *app, void *parent, const char *params)
{
    return showProgress(app, parent, params, true);
}

} // extern "C"
