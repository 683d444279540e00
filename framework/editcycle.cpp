#include "framework/editcycle.h"

#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

namespace lumeko::achieve {

QStringList functionKeys(int functionId)
{
    QStringList keys;
    DataSet rights;
    rights.setData(pub::userRight());
    if (rights.fieldIndex(u"sParFunId") < 0) return keys;
    rights.setFilter(QStringLiteral("sParFunId='%1' or sParFunId='00'").arg(functionId));
    rights.setFiltered(true);
    for (rights.first(); !rights.eof(); rights.next()) {
        const QString key = rights.value(u"sFunKey").toString();
        if (!key.isEmpty()) keys << key;
    }
    return keys;
}

bool confirmUnsavedChanges(DataSet &table, BandedGrid &grid, QWidget *owner, const std::function<bool()> &save)
{
    if (!table.isActive()) return true;
    grid.postEdit();
    if (table.state() == DataSetState::Edit || table.state() == DataSetState::Insert) {
        try {
            table.post(); // the row being typed counts as a change too
        } catch (const DataError &) {
        }
    }
    if (table.changeCount() == 0) return true;
    switch (pub::msgBox(QStringLiteral("数据已被修改，您要保存修改的数据吗？"), 2, 2, owner)) {
    case 1: return save();
    case 2: return true;
    default: return false;
    }
}

void revertChanges(DataSet &table, BandedGrid &grid)
{
    if (!table.isActive()) return;
    grid.closeEditor();
    if (table.state() != DataSetState::Browse) table.cancel();
    table.cancelUpdates();
}

void markRows(BandedGrid &grid, int mode, QWidget *owner, const QString &waitText)
{
    if (!grid.hasSelectionMarks()) return;
    pub::WaitIndicator wait(owner, waitText);
    switch (mode) {
    case 0: grid.markSelectedRows(true); break;
    case 1: grid.markSelectedRows(false); break;
    case 2: grid.markAllRows(); break;
    default: grid.invertMarks(); break;
    }
}

} // namespace lumeko::achieve
