#pragma once
// Pictures of pages and dialogs for people to look at: saved into the folder LUMEKO_SHOTS names,
// and not at all when it is not set.

#include <QApplication>
#include <QDir>
#include <QWidget>

namespace lumeko::pub::testing {

inline QString shotsFolder() { return qEnvironmentVariable("LUMEKO_SHOTS"); }

inline void saveShot(QWidget &w, const char *name)
{
    const QString folder = shotsFolder();
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    w.show();
    QApplication::processEvents(); // let the layouts settle, as the host's event loop would
    w.grab().save(folder + u'/' + QString::fromUtf8(name) + QStringLiteral(".png"));
}

} // namespace lumeko::pub::testing
