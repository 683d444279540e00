#include "framework/modalrun.h"

#include <QWidget>

#include <QDialog>

#include <utility>

namespace lumeko::achieve {

namespace {
ModalRunner &replacement()
{
    static ModalRunner runner;
    return runner;
}
} // namespace

int runModal(QDialog &dialog)
{
    // A copy: the runner may put another one in place while it runs.
    if (const ModalRunner runner = replacement()) return runner(dialog);
    return dialog.exec();
}

ModalRunner setModalRunner(ModalRunner runner)
{
    return std::exchange(replacement(), std::move(runner));
}

QWidget *dialogOwner(QWidget *page)
{
    QWidget *top = page->window();
    return top != page ? top : nullptr;
}

} // namespace lumeko::achieve
