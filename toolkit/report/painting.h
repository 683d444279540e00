#pragma once
// Fonts and measures in report units, shared by layout and painting: a report unit is about a
// quarter of a millimetre, and a font of N points is N × 0.3528 mm high whatever the device.

#include "toolkit/report/template.h"

#include <QFont>
#include <QFontMetricsF>

class QPaintDevice;
class QPainter;

namespace lumeko::report {

// Chinese report fonts named in templates ("宋体", "黑体", ...) are drawn with the CJK font the
// system has; installed once, before the first report is laid out or painted.
void installFontSubstitutions();

// The font whose pixel size on a device of `dotsPerInch` equals its height in report units.
QFont unitFont(const QFont &font, double dotsPerInch = 72);

// Draws the sides of a frame around a rectangle (in the painter's coordinates).
void paintFrame(QPainter &painter, const QRectF &rect, const Frame &frame);

// The height in report units that a memo's text needs at the given width.
double textHeight(const QFont &font, const QString &text, double width, Qt::Alignment alignment, bool wordWrap);

} // namespace lumeko::report
