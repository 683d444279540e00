#pragma once
// The modal loop of the dialogs that pages open from their commands. A test puts a function in
// its place that drives the dialog and answers for it, so that no command waits for a user.

#include "framework/achieve_export.h"

#include <functional>

class QDialog;
class QWidget;

namespace lumeko::achieve {

using ModalRunner = std::function<int(QDialog &)>;

// Runs the dialog modally (exec(), or the replacement) and answers its result.
LUMEKO_ACHIEVE_EXPORT int runModal(QDialog &dialog);

// The window a page's dialog belongs to: the host's, which outlives the page, when the page is
// embedded in it (so that closing the page while its dialog runs is safe).
LUMEKO_ACHIEVE_EXPORT QWidget *dialogOwner(QWidget *page);

// Puts `runner` in place of exec(); an empty function puts exec() back. Answers the one replaced.
LUMEKO_ACHIEVE_EXPORT ModalRunner setModalRunner(ModalRunner runner);

} // namespace lumeko::achieve
