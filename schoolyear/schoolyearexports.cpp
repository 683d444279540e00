// The exports of the school-year subsystem: the grade definition wizard and the promotion guide,
// both with the host application's icon.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "schoolyear/ufrmgradedefine.h"
#include "schoolyear/ufrmupgradeguide.h"

using namespace lumeko::achieve;

extern "C" void ShowGradeDefForm(void *app)
{
    runDialog<TfrmGradeDefine>(app, nullptr, [app](TfrmGradeDefine &dialog) {
        takeHostIcon(dialog, app);
        dialog.prepare();
    });
}

extern "C" void ShowUpGradeForm(void *app)
{
    runDialog<TfrmUpGradeGuide>(app, nullptr, [app](TfrmUpGradeGuide &dialog) {
        takeHostIcon(dialog, app);
        dialog.prepare();
    });
}
