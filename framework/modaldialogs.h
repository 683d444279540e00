#pragma once
// Running a page's modal dialogs through one replaceable runner, so that a test can drive the real
// dialog (fill it, press its buttons) where a user would, instead of blocking in its event loop.

#include "framework/achieve_export.h"

#include <QDialog>

#include <functional>

namespace lumeko::achieve {

using DialogRunner = std::function<int(QDialog &)>;

// The runner in force; empty means QDialog::exec.
LUMEKO_ACHIEVE_EXPORT DialogRunner &dialogRunner();

inline int runModal(QDialog &dialog) { return dialogRunner() ? dialogRunner()(dialog) : dialog.exec(); }

} // namespace lumeko::achieve
