// The export that opens the student register.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "students/ufrmstudentpage.h"

using namespace lumeko::achieve;

extern "C" int32_t ShowStudentPage(void *app, void *parent, const char *params)
{
    return createPage<TfrmStudentPage>(app, parent, params, PageOptions{QStringLiteral("学籍档案"), false});
}
