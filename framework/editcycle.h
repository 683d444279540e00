#pragma once
// What pages and batch dialogs do alike around their main table: the user's keys for a function,
// the question before unsaved edits are dropped, reverting edits, and the selection marks.

#include "framework/achieve_export.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace lumeko {
class BandedGrid;
class DataSet;
}

namespace lumeko::achieve {

// The function keys of the user's rights packet under `functionId` and the common ones ("00").
LUMEKO_ACHIEVE_EXPORT QStringList functionKeys(int functionId);

// When the table holds unsaved changes (the row being typed included), asks "数据已被修改，您要
// 保存修改的数据吗？": Yes answers what `save` answers, No true, Cancel false. True when nothing
// is unsaved.
LUMEKO_ACHIEVE_EXPORT bool confirmUnsavedChanges(DataSet &table, BandedGrid &grid, QWidget *owner,
                                                const std::function<bool()> &save);

// Drops the edit in progress and every change since the last load or save.
LUMEKO_ACHIEVE_EXPORT void revertChanges(DataSet &table, BandedGrid &grid);

// The selection marks: 0 mark the selected rows, 1 unmark them, 2 mark all, 3 invert all.
LUMEKO_ACHIEVE_EXPORT void markRows(BandedGrid &grid, int mode, QWidget *owner, const QString &waitText);

} // namespace lumeko::achieve
