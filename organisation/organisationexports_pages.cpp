// The exports of the organisation's two pages: the teachers and the course table.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "organisation/ufrmcoursetable.h"
#include "organisation/ufrmteacherpage.h"

using namespace lumeko::achieve;

extern "C" int32_t ShowTeacherPage(void *app, void *parent, const char *params)
{
    return createPage<TfrmTeacherPage>(app, parent, params, PageOptions{QStringLiteral("教师档案"), false});
}

// The course table is captioned "课表设置" until it names its grade itself.
extern "C" int32_t ShowCourseTablePage(void *app, void *parent, const char *params)
{
    return createPage<TfrmCourseTable>(app, parent, params, PageOptions{QString(), true});
}
