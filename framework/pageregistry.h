#pragma once
// The pages the module has handed to the host, by page handle. A handle is a positive 32-bit
// number, never given twice while the module is loaded; the page's object name is "form_" and
// the decimal handle, from which closing all pages reads it back.

#include "framework/achieve_export.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT PageRegistry {
public:
    static PageRegistry &instance();

    // Registers the page, names it "form_<handle>" and returns the handle.
    qint32 add(QWidget *page);
    QWidget *page(qint32 handle) const;
    QList<qint32> handles() const; // in the order the pages were created

    // Asks the page to close (it may refuse: unsaved edits the user keeps); when it agrees, the
    // page is destroyed. False for a handle that is not a page and for a refusal; never throws.
    bool closePage(qint32 handle);
    // Closes, from the newest to the oldest, the pages `closesWithModule` picks; refusals are
    // left open.
    void closeAll(const std::function<bool(QWidget *)> &closesWithModule);

    // The handle named by a page's object name, 0 when the name is not of that form.
    static qint32 handleFromName(const QString &objectName);

private:
    struct Entry {
        qint32 handle;
        QPointer<QWidget> page;
    };
    QList<Entry> m_pages;
    qint32 m_next = 1;
};

// The host's main window, owner of the module's message boxes and dialogs (set by the exports).
LUMEKO_ACHIEVE_EXPORT QWidget *moduleApp();
LUMEKO_ACHIEVE_EXPORT void setModuleApp(QWidget *app);

} // namespace lumeko::achieve
