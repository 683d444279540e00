// A user's layout of a grid in an ini file: the columns in order with width, visibility and
// band, the grouping columns and the sort columns. Columns are known by their field, so a layout
// saved before a column was added or removed still restores what it can. What the page decides
// (column groups, the arrangement of locked columns) is not the layout's.

#include "toolkit/grid/bandedgrid.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace lumeko {

namespace {
const QString kSection = QStringLiteral("BandedGrid");
constexpr int kLayoutVersion = 1;
} // namespace

bool BandedGrid::saveLayout(const QString &iniPath) const
{
    QDir().mkpath(QFileInfo(iniPath).absolutePath());
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    ini.remove(QString());
    ini.setValue(QStringLiteral("Version"), kLayoutVersion);
    ini.beginWriteArray(QStringLiteral("Columns"), columnCount());
    for (int c = 0; c < columnCount(); ++c) {
        ini.setArrayIndex(c);
        ini.setValue(QStringLiteral("Field"), column(c).field);
        ini.setValue(QStringLiteral("Width"), column(c).width);
        ini.setValue(QStringLiteral("Visible"), column(c).visible);
        ini.setValue(QStringLiteral("Band"), column(c).band);
    }
    ini.endArray();
    ini.setValue(QStringLiteral("GroupFields"), m_model->groupFields().join(u';'));
    QStringList sort;
    for (const GridSortColumn &s : m_sort)
        sort.append(s.field + (s.order == Qt::DescendingOrder ? QStringLiteral(":desc") : QStringLiteral(":asc")));
    ini.setValue(QStringLiteral("Sort"), sort.join(u';'));
    ini.setValue(QStringLiteral("GroupByBox"), m_groupBoxVisible);
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool BandedGrid::restoreLayout(const QString &iniPath)
{
    if (!QFileInfo::exists(iniPath)) return false;
    QSettings ini(iniPath, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) return false;
    ini.beginGroup(kSection);
    if (ini.value(QStringLiteral("Version")).toInt() != kLayoutVersion) return false;

    // Saved columns the grid still has, in the saved order; the grid's other columns keep their
    // order after them, in their own band. Locked columns keep the page's place, band and
    // visibility, and take only their saved width; group captions are always the page's.
    const QList<GridColumn> present = columns();
    QList<GridColumn> kept = present;
    QList<bool> placed(present.size(), false);
    QList<GridColumn> arranged; // the columns the user arranges, in the saved order
    const int saved = ini.beginReadArray(QStringLiteral("Columns"));
    for (int i = 0; i < saved; ++i) {
        ini.setArrayIndex(i);
        const QString field = ini.value(QStringLiteral("Field")).toString();
        for (int c = 0; c < present.size(); ++c) {
            if (placed[c] || present[c].field.compare(field, Qt::CaseInsensitive) != 0) continue;
            GridColumn &col = kept[c];
            bool ok = false;
            const int width = ini.value(QStringLiteral("Width")).toInt(&ok);
            if (ok && width >= 16) col.width = width;
            if (!col.locked) {
                col.visible = ini.value(QStringLiteral("Visible"), col.visible).toBool();
                col.band = ini.value(QStringLiteral("Band"), col.band).toInt() == 0 ? 0 : 1;
                arranged.append(col);
            }
            placed[c] = true;
            break;
        }
    }
    ini.endArray();
    for (int c = 0; c < present.size(); ++c)
        if (!placed[c] && !kept[c].locked) arranged.append(kept[c]);
    QList<GridColumn> restored;
    qsizetype next = 0;
    for (const GridColumn &col : std::as_const(kept))
        restored.append(col.locked ? col : arranged[next++]);
    setColumns(restored);

    QStringList groups;
    for (const QString &f : ini.value(QStringLiteral("GroupFields")).toString().split(u';', Qt::SkipEmptyParts))
        if (columnOfField(f) >= 0) groups.append(f);
    m_model->setGroupFields(groups);
    m_sort.clear();
    for (const QString &entry : ini.value(QStringLiteral("Sort")).toString().split(u';', Qt::SkipEmptyParts)) {
        const QString field = entry.section(u':', 0, 0);
        if (columnOfField(field) < 0) continue;
        m_sort.append({field, entry.section(u':', 1, 1) == u"desc" ? Qt::DescendingOrder : Qt::AscendingOrder});
    }
    setGroupByBoxVisible(ini.value(QStringLiteral("GroupByBox"), m_groupBoxVisible).toBool());
    ini.endGroup();
    applySort();
    refreshParts();
    Q_EMIT groupingChanged();
    Q_EMIT sortChanged();
    return true;
}

} // namespace lumeko
