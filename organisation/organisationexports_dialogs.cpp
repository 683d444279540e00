// The dialog exports of the organisation subsystem: grades, departments, classes, subjects and a
// grade's classes and subjects. Each runs its dialog modally and destroys it.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "organisation/ufrmclass.h"
#include "organisation/ufrmdept.h"
#include "organisation/ufrmgrade.h"
#include "organisation/ufrmgradeclass.h"
#include "organisation/ufrmgradesubject.h"
#include "organisation/ufrmsubject.h"

using namespace lumeko::achieve;

namespace {
template <class T> void runBatch(void *app, const char *params)
{
    runDialog<T>(app, params, [](T &dialog) { dialog.InitDialog(); });
}
} // namespace

extern "C" void ShowGradeForm(void *app)
{
    runBatch<TfrmGrade>(app, nullptr);
}

extern "C" void ShowDeptForm(void *app)
{
    runBatch<TfrmDept>(app, nullptr);
}

extern "C" void ShowClassForm(void *app)
{
    runBatch<TfrmClass>(app, nullptr);
}

// Parameters: intake year, grade code, grade name, "Y" for a current grade.
extern "C" void ShowGradeClassFDlg(void *app, const char *params)
{
    runBatch<TfrmGradeClass>(app, params);
}

extern "C" void ShowSubjectForm(void *app)
{
    runBatch<TfrmSubject>(app, nullptr);
}

// Parameters: intake year, grade code, grade name, "Y" for a current grade.
extern "C" void ShowGradeSubjectFDlg(void *app, const char *params)
{
    runBatch<TfrmGradeSubject>(app, params);
}
