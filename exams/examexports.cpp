// The exports of the exam subsystem.

#include "exams/ufrmexaminfo.h"
#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"

using namespace lumeko::achieve;

extern "C" void ShowExamInfoForm(void *app)
{
    runDialog<TfrmExamInfo>(app, nullptr, [](TfrmExamInfo &dialog) { dialog.InitDialog(); });
}
