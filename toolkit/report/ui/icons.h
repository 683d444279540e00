#pragma once
// Small drawn icons for the preview's and the designer's commands that the style has none for.

#include <QIcon>

namespace lumeko::report {

enum class Glyph { ZoomIn, ZoomOut, WholePage, PageWidth, Printer, Preview, PageSetup, Memo, Picture, Line, Rectangle, Band, Delete, Undo };

QIcon glyphIcon(Glyph glyph);

} // namespace lumeko::report
