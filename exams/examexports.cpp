// The exports of the exam subsystem.

#include "exams/ufrmexamdefine.h"
#include "exams/ufrmexaminfo.h"
#include "exams/ufrmexammrgpage.h"
#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"

using namespace lumeko::achieve;

extern "C" void ShowExamInfoForm(void *app)
{
    runDialog<TfrmExamInfo>(app, nullptr, [](TfrmExamInfo &dialog) { dialog.InitDialog(); });
}

// The wizard of a teacher's unit exam, and in system mode of a school-wide exam.
extern "C" void ShowExamDefFDlg(void *app, const char *params)
{
    runDialog<TfrmExamDefine>(app, params, [](TfrmExamDefine &dialog) { dialog.prepare(); });
}

extern "C" void ShowSysExamDefFDlg(void *app, const char *params)
{
    runDialog<TfrmExamDefine>(app, params, [app](TfrmExamDefine &dialog) {
        dialog.SystemMode = true;
        if (auto *host = static_cast<QWidget *>(app)) dialog.setWindowIcon(host->windowIcon());
        dialog.prepare();
    });
}

extern "C" int32_t ShowExamMrgPage(void *app, void *parent, const char *params)
{
    return createPage<TfrmExamMrgPage>(app, parent, params, PageOptions{QStringLiteral("成绩管理"), true});
}
