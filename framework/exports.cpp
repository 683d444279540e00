// The module's exports that are not pages: closing pages, and the module's title and actions.

#include "framework/lumekoachieve.h"

#include "framework/pageregistry.h"
#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"
#include "toolkit/data/dataset.h"

namespace lumeko::achieve {

namespace {

void storeWide(uint16_t **slot, const QString &text)
{
    if (!slot) return;
    LumekoFreeWideString(*slot);
    *slot = LumekoAllocWideString(reinterpret_cast<const uint16_t *>(text.utf16()), int32_t(text.size()));
}

// Base pages close with the module; pages of their own kind (the course table, exam management)
// stay until the host closes them.
bool isBasePage(QWidget *page)
{
    const QMetaObject *super = page->metaObject()->superClass();
    return super && qstrcmp(super->className(), "lumeko::achieve::TBasePage") == 0;
}

} // namespace

// "key;name;id;image;desk image" for every page action under function 40 the user holds.
QString moduleActions()
{
    DataSet rights;
    rights.setData(pub::userRight());
    if (rights.fieldIndex(u"sParFunId") < 0) return {};
    rights.setFilter(QStringLiteral("sParFunId='40'"));
    rights.setFiltered(true);
    QStringList items;
    for (rights.first(); !rights.eof(); rights.next()) {
        const QString id = rights.value(u"sID").toString();
        items << QStringList{rights.value(u"sFunKey").toString(), rights.value(u"sFunName").toString(), id.isEmpty() ? QStringLiteral("0") : id,
                             rights.value(u"sImg").toString(), rights.value(u"sDeskImg").toString()}
                     .join(u';');
    }
    return items.join(u',');
}

} // namespace lumeko::achieve

using namespace lumeko::achieve;

extern "C" {

uint8_t ClosePage(int32_t handle)
{
    try {
        return PageRegistry::instance().closePage(handle) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void ClearAllRes(void)
{
    PageRegistry::instance().closeAll(isBasePage);
}

void GetDLLTitle(uint16_t **slot)
{
    storeWide(slot, QStringLiteral("更多"));
}

void GetDLLActions(uint16_t **slot)
{
    storeWide(slot, moduleActions());
}

} // extern "C"
