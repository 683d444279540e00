// The exports of the P-value evaluation: the dialog alone, and the page, which a host without a
// window of its own for it opens after the dialog.

#include "framework/lumekoachieve.h"
#include "framework/pageregistry.h"
#include "pvalue/ufrmcalepval.h"
#include "pvalue/ufrmpvalpage.h"
#include "toolkit/data/commatext.h"

#include <QLayout>
#include <QPointer>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

// The parameter list of the text before the first "|", and the roster after it, whole.
std::pair<QStringList, QString> splitParams(const char *params)
{
    const QString text = QString::fromUtf8(params ? params : "");
    const qsizetype bar = text.indexOf(u'|');
    return {splitCommaText(trimControl(bar < 0 ? QStringView(text) : QStringView(text).left(bar))), bar < 0 ? QString() : text.mid(bar + 1)};
}

} // namespace

// Intake year, grade code, exam code and a flag, then "|" and the picked students. 1 when the
// server computed, 2 when the dialog was cancelled or found no exam.
extern "C" int32_t ShowPValForm(void *app, const char *params)
{
    QPointer<QWidget> previous = moduleApp();
    setModuleApp(static_cast<QWidget *>(app));
    const auto [list, roster] = splitParams(params);
    const int result = runCalePVal(static_cast<QWidget *>(app), list, roster);
    setModuleApp(previous);
    return result;
}

// Embedded in parent, the page lists the records of its exam (of the whole school without
// parameters). Without a parent it stands alone on top, and only after the dialog computed.
extern "C" int32_t ShowPValPage(void *app, void *parent, const char *params)
{
    auto *appWindow = static_cast<QWidget *>(app);
    auto *host = static_cast<QWidget *>(parent);
    setModuleApp(appWindow);
    const auto [list, roster] = splitParams(params);
    if (!host) {
        if (list.isEmpty()) return 0;
        if (runCalePVal(appWindow, list.mid(0, 3), roster) != 1) return 0;
    }
    auto *page = new TfrmPValPage(host);
    page->setUpdatesEnabled(false);
    page->Params = list;
    page->Roster = roster;
    page->InitPage();
    if (host) {
        page->setWindowFlags(Qt::Widget);
        if (host->layout()) host->layout()->addWidget(page);
    } else {
        page->setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
        page->setAttribute(Qt::WA_DeleteOnClose);
        page->resize(1000, 620);
    }
    page->setWindowTitle(QStringLiteral("P值"));
    const qint32 handle = PageRegistry::instance().add(page);
    page->show();
    page->setUpdatesEnabled(true);
    page->LoadData();
    return handle;
}
