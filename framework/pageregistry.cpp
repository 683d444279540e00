#include "framework/pageregistry.h"

namespace lumeko::achieve {

PageRegistry &PageRegistry::instance()
{
    static PageRegistry registry;
    return registry;
}

qint32 PageRegistry::add(QWidget *page)
{
    const qint32 handle = m_next++;
    page->setObjectName(QStringLiteral("form_") + QString::number(handle));
    m_pages.append({handle, page});
    return handle;
}

QWidget *PageRegistry::page(qint32 handle) const
{
    for (const Entry &e : m_pages)
        if (e.handle == handle) return e.page;
    return nullptr;
}

QList<qint32> PageRegistry::handles() const
{
    QList<qint32> out;
    for (const Entry &e : m_pages)
        if (e.page) out << e.handle;
    return out;
}

bool PageRegistry::closePage(qint32 handle)
{
    if (handle <= 0) return false;
    QWidget *p = page(handle);
    if (!p) return false;
    // The page's close event asks about unsaved edits and may refuse.
    if (!p->close()) return false;
    m_pages.removeIf([handle](const Entry &e) { return e.handle == handle; });
    try {
        delete p;
    } catch (...) {
        // A page failing while it is torn down is gone all the same.
    }
    return true;
}

void PageRegistry::closeAll(const std::function<bool(QWidget *)> &closesWithModule)
{
    const QList<Entry> pages = m_pages;
    for (auto it = pages.crbegin(); it != pages.crend(); ++it) {
        if (!it->page || !closesWithModule(it->page)) continue;
        closePage(handleFromName(it->page->objectName()));
    }
}

qint32 PageRegistry::handleFromName(const QString &objectName)
{
    if (!objectName.startsWith(u"form_")) return 0;
    bool ok = false;
    const qint32 h = objectName.mid(5).toInt(&ok);
    return ok ? h : 0;
}

} // namespace lumeko::achieve

namespace lumeko::achieve {

namespace {
QPointer<QWidget> g_app;
} // namespace

QWidget *moduleApp() { return g_app; }
void setModuleApp(QWidget *app) { g_app = app; }

} // namespace lumeko::achieve
