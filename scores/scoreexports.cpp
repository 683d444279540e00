// The exports of score entry.

#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "scores/ufrmachievepage.h"

using namespace lumeko::achieve;

// The score sheet of one exam; without a parent window it stands alone, captioned by the exam.
extern "C" int32_t ShowAchievePage(void *app, void *parent, const char *params)
{
    const qint32 handle = createPage<TfrmAchievePage>(app, parent, params, PageOptions{QString(), true});
    if (handle != 0 && !parent)
        if (QWidget *page = PageRegistry::instance().page(handle))
            page->setWindowTitle(parameterList(params).value(parameterList(params).size() - 1) + QStringLiteral("-成绩管理"));
    return handle;
}
