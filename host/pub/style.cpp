// The style's images: tool bar icons in several sizes, the two background bitmaps and the
// application icon, in the library's own resources or in a folder laid out the same way.

#include "host/pub/pub.h"
#include "host/pub/provider.h"

#include <QFileInfo>

namespace lumeko::pub {

namespace {

constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString prefix(const QString &style)
{
    QString p = style.isEmpty() ? lumekoStyle() : style;
    if (!p.isEmpty() && !p.endsWith(u'/')) p += u'/';
    return p;
}

// The icon from every size of it that the style holds; null when it holds none.
QIcon iconAt(const QString &prefix, const QString &name)
{
    QIcon icon;
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\')) return icon;
    for (int size : kIconSizes) {
        const QString file = QStringLiteral("%1%2/%3.png").arg(prefix).arg(size).arg(name);
        if (QFileInfo::exists(file)) icon.addFile(file, QSize(size, size));
    }
    return icon;
}

} // namespace

QIcon styleIcon(const QString &name, const QString &style) { return iconAt(prefix(style), name.trimmed()); }

QPixmap styleBitmap(const QString &name, const QString &style)
{
    const QString n = name.trimmed();
    if (n.isEmpty() || n.contains(u'/') || n.contains(u'\\')) return {};
    const QString file = prefix(style) + n + QStringLiteral(".png");
    return QFileInfo::exists(file) ? QPixmap(file) : QPixmap();
}

int loadIconList(const QString &style, const QString &names, QList<QIcon> *imageList)
{
    if (!imageList) return -1;
    // The list holds exactly the named icons, so that a page can take an icon by its name's position.
    imageList->clear();
    if (names.trimmed().isEmpty()) return 0;
    const QString p = prefix(style);
    int found = 0;
    for (const QString &name : names.split(u',')) {
        const QIcon icon = iconAt(p, name.trimmed());
        if (!icon.isNull()) ++found;
        imageList->append(icon);
    }
    return found;
}

} // namespace lumeko::pub
