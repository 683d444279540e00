#pragma once
// How the page exports make a page and the dialog exports run a dialog: the host's window becomes
// the owner of the module's windows, the parameter text becomes the parameter list, the page is set
// up, embedded in the host's window, named "form_<handle>" and shown.

#include "framework/pageregistry.h"
#include "framework/ubasepage.h"
#include "host/pub/pub.h"
#include "toolkit/data/commatext.h"

#include <QLayout>
#include <QPointer>

#include <optional>

namespace lumeko::achieve {

// The parameter list of a parameter text: trimmed, split at commas, double quotes quoting.
inline QStringList parameterList(const char *params)
{
    return splitCommaText(trimControl(QString::fromUtf8(params ? params : "")));
}

// The dialogs the host opens through an export (the grade wizards, the analyses' selections) wear
// the host application's icon.
inline void takeHostIcon(QWidget &dialog, void *app)
{
    if (auto *host = static_cast<QWidget *>(app)) dialog.setWindowIcon(host->windowIcon());
}

struct PageOptions {
    QString caption;
    bool wait = false; // show the host's wait indicator while the page is made
};

// Makes a page of type T inside `parent` and returns its handle; 0, after a hint to the user, when
// the parameter text does not give the page what it needs. Errors while making it reach the host
// as exceptions.
template <class T>
qint32 createPage(void *app, void *parent, const char *params, const PageOptions &options)
{
    setModuleApp(static_cast<QWidget *>(app));
    std::optional<pub::WaitIndicator> wait;
    if (options.wait) wait.emplace(static_cast<QWidget *>(app));
    auto *host = static_cast<QWidget *>(parent);
    T *page = new T(host);
    page->setUpdatesEnabled(false);
    page->Params = parameterList(params);
    if (const QString problem = page->ParameterProblem(); !problem.isEmpty()) {
        delete page;
        wait.reset();
        pub::msgHint(problem, static_cast<QWidget *>(app));
        return 0;
    }
    page->InitPage();
    if (host) {
        page->setWindowFlags(Qt::Widget);
        if (host->layout()) host->layout()->addWidget(page);
    }
    if (!options.caption.isEmpty()) page->setWindowTitle(options.caption);
    const qint32 handle = PageRegistry::instance().add(page);
    page->show();
    page->setUpdatesEnabled(true);
    return handle;
}

// Runs a dialog of type T modally and destroys it; the owner is the host's window while it runs.
template <class T, class Prepare>
int runDialog(void *app, const char *params, Prepare prepare)
{
    QPointer<QWidget> previous = moduleApp();
    setModuleApp(static_cast<QWidget *>(app));
    int result = 0;
    {
        T dialog(static_cast<QWidget *>(app));
        dialog.Params = parameterList(params);
        prepare(dialog);
        result = dialog.exec();
    }
    setModuleApp(previous);
    return result;
}

} // namespace lumeko::achieve
