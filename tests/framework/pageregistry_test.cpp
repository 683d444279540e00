// Pages by handle: names, closing with and without the page's consent, closing all.

#include "framework/pageregistry.h"

#include <QCloseEvent>

#include <gtest/gtest.h>

using namespace lumeko::achieve;

namespace {

// A page that may hold unsaved edits and then refuses to close.
class Page : public QWidget {
public:
    explicit Page(QStringList *closed) : m_closed(closed) {}
    ~Page() override { *m_closed << objectName(); }
    bool refuse = false;
    bool closesWithModule = true;

protected:
    void closeEvent(QCloseEvent *e) override { refuse ? e->ignore() : e->accept(); }

private:
    QStringList *m_closed;
};

TEST(PageRegistry, PagesCloseByHandleOnlyWithTheirConsentAndHandlesAreNeverReused)
{
    PageRegistry &r = PageRegistry::instance();
    QStringList closed;
    auto *a = new Page(&closed);
    const qint32 ha = r.add(a);
    EXPECT_GT(ha, 0);
    EXPECT_EQ(a->objectName(), QStringLiteral("form_%1").arg(ha));
    EXPECT_EQ(PageRegistry::handleFromName(a->objectName()), ha);

    EXPECT_FALSE(r.closePage(0));
    EXPECT_FALSE(r.closePage(-5));
    EXPECT_FALSE(r.closePage(ha + 1000));
    a->refuse = true;
    EXPECT_FALSE(r.closePage(ha)) << "unsaved edits the user keeps";
    EXPECT_EQ(r.page(ha), a);
    a->refuse = false;
    EXPECT_TRUE(r.closePage(ha));
    EXPECT_EQ(closed, QStringList{QStringLiteral("form_%1").arg(ha)});
    EXPECT_EQ(r.page(ha), nullptr);
    EXPECT_FALSE(r.closePage(ha)) << "a closed page's handle is gone";

    auto *b = new Page(&closed);
    EXPECT_GT(r.add(b), ha) << "handles are never given twice";
    r.closePage(r.handles().last());
}

TEST(PageRegistry, ClosingAllGoesFromTheNewestAndLeavesOthersAndRefusals)
{
    PageRegistry &r = PageRegistry::instance();
    QStringList closed;
    QList<Page *> pages;
    for (int i = 0; i < 4; ++i) pages << new Page(&closed);
    pages[1]->closesWithModule = false; // a course-table style page
    QStringList names;
    for (Page *p : pages) names << QStringLiteral("form_%1").arg(r.add(p));
    pages[3]->refuse = true;
    r.closeAll([](QWidget *w) { return static_cast<Page *>(w)->closesWithModule; });
    EXPECT_EQ(closed, (QStringList{names[2], names[0]}));
    EXPECT_EQ(r.handles().size(), 2);
    pages[3]->refuse = false;
    r.closeAll([](QWidget *) { return true; });
    EXPECT_TRUE(r.handles().isEmpty());
}

} // namespace
