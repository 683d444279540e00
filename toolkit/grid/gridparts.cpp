#include "toolkit/grid/gridparts.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDrag>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumeko {

namespace {
const QDate kNullDate(1900, 1, 1); // a date editor at its minimum means "no date"

// The column a drag of this grid carries; -1 for anything else.
int draggedColumn(const QMimeData *mime, const char *type, const BandedGrid *grid)
{
    if (!mime || !mime->hasFormat(QLatin1String(type))) return -1;
    const QList<QByteArray> parts = mime->data(QLatin1String(type)).split(':');
    if (parts.size() != 2 || parts[0].toULongLong() != quintptr(grid)) return -1;
    bool ok = false;
    const int column = parts[1].toInt(&ok);
    // A locked column is arranged by the page, never by a drop.
    return ok && column >= 0 && column < grid->columnCount() && !grid->column(column).locked ? column : -1;
}

// Whether a drag carries a column of this grid, from its headers or from the group-by box.
bool carriesColumn(const QMimeData *mime, const BandedGrid *grid)
{
    return draggedColumn(mime, kColumnMime, grid) >= 0 || draggedColumn(mime, kGroupMime, grid) >= 0;
}

// Takes a drag that carries a column of the grid and turns any other away.
void acceptColumnDrag(QDropEvent *event, const BandedGrid *grid)
{
    if (carriesColumn(event->mimeData(), grid)) event->acceptProposedAction();
    else event->ignore();
}

void startColumnDrag(QWidget *source, const char *type, const BandedGrid *grid, int column, const QPixmap &pixmap, const QPoint &hotSpot)
{
    auto *drag = new QDrag(source);
    drag->setMimeData(grid->columnMimeData(column, qstrcmp(type, kGroupMime) == 0));
    drag->setPixmap(pixmap);
    drag->setHotSpot(hotSpot);
    drag->exec(Qt::MoveAction);
}

// A small closed mark, smoothed, in one colour and without an outline.
void fillShape(QPainter *p, QPainterPath &path, const QColor &color)
{
    path.closeSubpath();
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    p->setBrush(color);
    p->drawPath(path);
    p->restore();
}

void drawTriangle(QPainter *p, const QRect &box, bool down, const QColor &color)
{
    const QPointF c = QRectF(box).center();
    const qreal s = std::min(box.width(), box.height()) / 2.0 - 1;
    QPainterPath path;
    if (down) {
        path.moveTo(c.x() - s, c.y() - s / 2);
        path.lineTo(c.x() + s, c.y() - s / 2);
        path.lineTo(c.x(), c.y() + s / 2 + 1);
    } else {
        path.moveTo(c.x() - s / 2, c.y() - s);
        path.lineTo(c.x() - s / 2, c.y() + s);
        path.lineTo(c.x() + s / 2 + 1, c.y());
    }
    fillShape(p, path, color);
}

void drawSortMark(QPainter *p, const QRect &box, bool descending, const QColor &color)
{
    const QPointF c = QRectF(box).center();
    QPainterPath path;
    const qreal w = 4, h = 4;
    if (descending) {
        path.moveTo(c.x() - w, c.y() - h / 2);
        path.lineTo(c.x() + w, c.y() - h / 2);
        path.lineTo(c.x(), c.y() + h / 2 + 1);
    } else {
        path.moveTo(c.x() - w, c.y() + h / 2 + 1);
        path.lineTo(c.x() + w, c.y() + h / 2 + 1);
        path.lineTo(c.x(), c.y() - h / 2);
    }
    fillShape(p, path, color);
}

int decimalsOfFormat(const QString &format, int fallback)
{
    const qsizetype point = format.indexOf(u'.');
    if (point < 0) return format.isEmpty() ? fallback : 0;
    int n = 0;
    for (qsizetype i = point + 1; i < format.size() && (format[i] == u'0' || format[i] == u'#'); ++i) ++n;
    return n;
}
} // namespace

// ---- NullableSpinBox -------------------------------------------------------------------------------

NullableSpinBox::NullableSpinBox(QWidget *parent) : QDoubleSpinBox(parent)
{
    setRange(-1e12, 1e12);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString &text) { m_null = text.trimmed().isEmpty(); });
    // A value set while empty (by the wheel or by code) makes the box a number again.
    connect(this, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        if (!m_null) return;
        m_null = false;
        if (lineEdit()->text().trimmed().isEmpty()) lineEdit()->setText(textFromValue(value));
    });
}

void NullableSpinBox::setNull()
{
    m_null = true;
    lineEdit()->clear();
}

void NullableSpinBox::setNumber(double value)
{
    m_null = false;
    setValue(value);
    lineEdit()->setText(textFromValue(QDoubleSpinBox::value()));
}

void NullableSpinBox::stepBy(int steps)
{
    if (m_null) {
        m_null = false;
        setValue(0);
        lineEdit()->setText(textFromValue(0));
        return;
    }
    QDoubleSpinBox::stepBy(steps);
}

QValidator::State NullableSpinBox::validate(QString &text, int &pos) const
{
    if (text.trimmed().isEmpty()) return QValidator::Acceptable;
    return QDoubleSpinBox::validate(text, pos);
}

double NullableSpinBox::valueFromText(const QString &text) const
{
    if (text.trimmed().isEmpty()) return value();
    return QDoubleSpinBox::valueFromText(text);
}

QString NullableSpinBox::textFromValue(double value) const
{
    if (m_null) return QString();
    return QDoubleSpinBox::textFromValue(value);
}

// ---- GridView -----------------------------------------------------------------------------------------

GridView::GridView(BandedGrid *grid, int band) : QTreeView(grid), m_grid(grid), m_band(band)
{
    setHeader(new GridHeader(grid, band));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setSelectionBehavior(SelectItems);
    setSelectionMode(ExtendedSelection);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (band == 0) setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAllColumnsShowFocus(false);
    setTabKeyNavigation(false);
    setAlternatingRowColors(false);
}

void GridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid()) return;
    if (!header()->isSectionHidden(index.column())) {
        QTreeView::scrollTo(index, hint);
        return;
    }
    // A cell of the other band: follow its row, keep the horizontal position.
    const int h = m_grid->rowHeight();
    const int top = index.row() * h - verticalScrollBar()->value();
    const int height = viewport()->height();
    if (top < 0) verticalScrollBar()->setValue(index.row() * h);
    else if (top + h > height) verticalScrollBar()->setValue(index.row() * h + h - height);
}

bool GridView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (index.isValid() && header()->isSectionHidden(index.column())) return false;
    return QTreeView::edit(index, trigger, event);
}

void GridView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    GridModel *m = m_grid->gridModel();
    if (!m->isGroupRow(index.row())) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    const GridStyle &s = m_grid->gridStyle();
    const int group = m->groupOfRow(index.row());
    const GridModel::GroupInfo info = m->groupInfo(group);
    const QRect row(0, option.rect.y(), viewport()->width(), option.rect.height());
    const bool current = currentIndex().isValid() && currentIndex().row() == index.row();
    painter->save();
    painter->fillRect(row, current ? s.focusedRow : s.sepRow);
    painter->setPen(s.gridLine);
    painter->drawLine(row.bottomLeft(), row.bottomRight());

    // The label and the sign stand where the grid lays them out; this view paints its part.
    const BandedGrid::GroupRowLayout layout = m_grid->groupRowLayout(group);
    const int origin = viewport()->mapTo(m_grid, QPoint(0, 0)).x();
    if (m_grid->labelView() == this)
        drawTriangle(painter, QRect(layout.signLeft - origin, row.y() + (row.height() - 10) / 2, 10, 10), info.expanded, s.text);
    QFont bold = font();
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(s.text);
    const int labelLeft = layout.labelLeft - origin;
    painter->drawText(QRect(labelLeft, row.y(), std::max(0, row.width() - labelLeft), row.height()), Qt::AlignLeft | Qt::AlignVCenter, layout.label);
    painter->setFont(font());
    QHeaderView *h = header();
    for (const auto &[c, text] : layout.cells) {
        if (h->isSectionHidden(c)) continue;
        const QRect r = QRect(h->sectionViewportPosition(c), row.y(), h->sectionSize(c), row.height()).adjusted(4, 0, -4, 0);
        painter->drawText(r, Qt::AlignRight | Qt::AlignVCenter, option.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
    }
    if (current && hasFocus()) {
        painter->setPen(QPen(s.focusedRow.darker(170), 1, Qt::DotLine));
        painter->drawRect(row.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

void GridView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_band != 0) return;
    // The line between the bands, left open where a group row runs on into the other band.
    GridModel *m = m_grid->gridModel();
    QPainter p(viewport());
    const QColor line = m_grid->gridStyle().bandLineColor();
    const int x = viewport()->width() - 2;
    const int h = m_grid->rowHeight();
    const int offset = verticalScrollBar()->value();
    int y = -(offset % h);
    for (int row = offset / h; y < viewport()->height(); ++row, y += h)
        if (!m->isGroupRow(row)) p.fillRect(QRect(x, y, 2, h), line);
}

QModelIndex GridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && (action == MoveLeft || action == MoveRight)) {
        if (m_grid->gridModel()->isGroupRow(current.row())) return current;
        const QModelIndex next = m_grid->neighbour(current, action == MoveLeft ? BandedGrid::Move::Left : BandedGrid::Move::Right, false);
        return next.isValid() ? next : current;
    }
    return QTreeView::moveCursor(action, modifiers);
}

void GridView::keyPressEvent(QKeyEvent *event)
{
    GridModel *m = m_grid->gridModel();
    const QModelIndex current = currentIndex();
    if (event->matches(QKeySequence::Copy)) {
        m_grid->copySelection();
        event->accept();
        return;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Insert) {
        Q_EMIT m_grid->insertRequested();
        return;
    }
    if (plain && event->key() == Qt::Key_Delete && !isEditing()) {
        Q_EMIT m_grid->deleteRequested();
        return;
    }
    if (current.isValid() && m->isGroupRow(current.row()) && plain) {
        const int group = m->groupOfRow(current.row());
        const bool expanded = m->groupInfo(group).expanded;
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Minus:
            if (expanded) m->setGroupExpanded(group, false);
            return;
        case Qt::Key_Right:
        case Qt::Key_Plus:
            if (!expanded) m->setGroupExpanded(group, true);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            m->setGroupExpanded(group, !expanded);
            return;
        default: break;
        }
    }
    if (current.isValid() && plain && event->key() == Qt::Key_Space && m_grid->isCheckColumn(current.column())
        && (m->flags(current) & Qt::ItemIsEditable)) {
        m_grid->toggleCheck(current);
        return;
    }
    QTreeView::keyPressEvent(event);
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    GridModel *m = m_grid->gridModel();
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && m->isGroupRow(index.row()) && m_grid->labelView() == this) {
        const int level = m->groupInfo(m->groupOfRow(index.row())).level;
        if (event->position().x() < signRight(level)) {
            setCurrentIndex(index);
            m_grid->toggleGroup(index.row());
            return;
        }
    }
    QTreeView::mousePressEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    GridModel *m = m_grid->gridModel();
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && m->isGroupRow(index.row())) {
        m_grid->toggleGroup(index.row());
        return;
    }
    if (index.isValid()) Q_EMIT m_grid->rowDoubleClicked(m->ordinalOfRow(index.row()));
    QTreeView::mouseDoubleClickEvent(event);
}

void GridView::contextMenuEvent(QContextMenuEvent *event)
{
    // The cell under the mouse takes the focus; the menu is the page's (the grid's context menu).
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index.isValid() && !selectionModel()->isSelected(index)) setCurrentIndex(index);
    event->ignore();
}

// ---- GridHeader ----------------------------------------------------------------------------------------

GridHeader::GridHeader(BandedGrid *grid, int band) : QHeaderView(Qt::Horizontal, grid), m_grid(grid), m_band(band)
{
    setSectionsMovable(false);
    setSectionsClickable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(16);
    setDefaultAlignment(Qt::AlignCenter);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

QRect GridHeader::filterButtonRect(int logical) const
{
    const int x = sectionViewportPosition(logical);
    const int w = sectionSize(logical);
    const int size = 14;
    const int top = captionTop(logical);
    return QRect(x + w - size - 3, top + (height() - top - size) / 2, size, size);
}

int GridHeader::captionTop(int logical) const
{
    return m_grid->groupDepth(logical) * m_grid->groupCaptionHeight();
}

bool GridHeader::onGroupCaption(const QPoint &pos) const
{
    const int logical = logicalIndexAt(pos);
    return logical >= 0 && pos.y() < captionTop(logical);
}

void GridHeader::paintGroupCaptions(QPainter *p) const
{
    const int rows = m_grid->groupCaptionRows();
    if (rows == 0) return;
    const GridStyle &s = m_grid->gridStyle();
    const int h = m_grid->groupCaptionHeight();
    p->save();
    p->setFont(font());
    for (int level = 0; level < rows; ++level) {
        for (const GridColumnGroup &g : m_grid->columnGroups(m_band, level)) {
            const int left = sectionViewportPosition(g.first);
            const QRect cell(left, level * h, sectionViewportPosition(g.last) + sectionSize(g.last) - left, h);
            p->fillRect(cell, s.header);
            p->setPen(s.gridLine);
            p->drawLine(cell.topRight(), cell.bottomRight());
            p->drawLine(cell.bottomLeft(), cell.bottomRight());
            const QRect text = cell.adjusted(4, 0, -4, 0);
            p->setPen(s.text);
            p->drawText(text, Qt::AlignCenter, fontMetrics().elidedText(g.caption, Qt::ElideRight, text.width()));
        }
    }
    p->restore();
}

void GridHeader::paintSection(QPainter *p, const QRect &full, int logical) const
{
    if (!full.isValid()) return;
    const GridStyle &s = m_grid->gridStyle();
    p->save();
    // The caption cells of the column's groups cover the part above its own caption.
    const QRect rect = full.adjusted(0, captionTop(logical), 0, 0);
    p->fillRect(rect, s.header);
    p->setPen(s.gridLine);
    p->drawLine(rect.topRight(), rect.bottomRight());
    p->drawLine(rect.bottomLeft(), rect.bottomRight());
    QRect text = rect.adjusted(4, 0, -4, 0);
    if (m_grid->filteringEnabled() && !m_grid->column(logical).locked) {
        const QRect b = filterButtonRect(logical).translated(0, full.top());
        const bool active = m_grid->isColumnFiltered(logical);
        p->setPen(s.gridLine.darker(130));
        p->setBrush(active ? QColor(0x2F, 0x6F, 0xD0) : s.content);
        p->drawRect(b.adjusted(0, 0, -1, -1));
        drawTriangle(p, b.adjusted(3, 4, -3, -3), true, active ? QColor(Qt::white) : s.text);
        text.setRight(b.left() - 2);
    }
    const QList<GridSortColumn> &sort = m_grid->m_sort;
    for (int i = 0; i < sort.size(); ++i) {
        if (sort[i].field.compare(m_grid->column(logical).field, Qt::CaseInsensitive) != 0) continue;
        const bool numbered = sort.size() > 1;
        const int width = numbered ? 20 : 12;
        const QRect mark(text.right() - width + 1, rect.top(), width, rect.height());
        drawSortMark(p, QRect(mark.left(), mark.top(), 10, mark.height()), sort[i].order == Qt::DescendingOrder, s.text);
        if (numbered) {
            QFont small = font();
            small.setBold(false);
            small.setPointSizeF(small.pointSizeF() * 0.75);
            p->setFont(small);
            p->setPen(s.text);
            p->drawText(QRect(mark.left() + 10, mark.top(), 10, mark.height()), Qt::AlignCenter, QString::number(i + 1));
        }
        text.setRight(mark.left() - 1);
    }
    p->setFont(font());
    p->setPen(s.text);
    const QString caption = m_grid->columnCaption(logical);
    p->drawText(text, Qt::AlignCenter, fontMetrics().elidedText(caption, Qt::ElideRight, text.width()));
    p->restore();
}

void GridHeader::paintEvent(QPaintEvent *event)
{
    QHeaderView::paintEvent(event);
    QPainter p(viewport());
    paintGroupCaptions(&p);
    if (m_band == 0) p.fillRect(QRect(viewport()->width() - 2, 0, 2, height()), m_grid->gridStyle().bandLineColor());
    if (m_dropX < 0) return;
    p.fillRect(QRect(m_dropX - 1, 0, 3, height()), QColor(0x2F, 0x6F, 0xD0));
}

bool GridHeader::onHandle(const QPoint &pos) const
{
    const int margin = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    int logical = logicalIndexAt(pos);
    if (logical < 0) {
        // Right of the last section: its right edge is still a handle.
        for (int v = count() - 1; v >= 0; --v)
            if (!isSectionHidden(logicalIndex(v))) { logical = logicalIndex(v); break; }
        if (logical < 0) return false;
        return pos.x() <= sectionViewportPosition(logical) + sectionSize(logical) + margin;
    }
    const int x = sectionViewportPosition(logical);
    if (pos.x() >= x + sectionSize(logical) - margin) return true;
    int firstVisible = -1;
    for (int v = 0; v < count() && firstVisible < 0; ++v)
        if (!isSectionHidden(logicalIndex(v))) firstVisible = logicalIndex(v);
    return pos.x() <= x + margin && logical != firstVisible;
}

void GridHeader::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    // A group's caption is no column's: it neither sorts, drags nor resizes.
    if (onGroupCaption(pos)) return;
    if (event->button() == Qt::LeftButton) {
        const int logical = logicalIndexAt(pos);
        if (logical >= 0 && m_grid->filteringEnabled() && !m_grid->column(logical).locked && filterButtonRect(logical).contains(pos)) {
            m_grid->showFilterPopup(logical);
            return;
        }
        if (logical >= 0 && !onHandle(pos)) {
            m_pressed = logical;
            m_pressPos = pos;
            return;
        }
    }
    QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed >= 0 && (event->buttons() & Qt::LeftButton)) {
        if ((event->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
            const int column = m_pressed;
            m_pressed = -1;
            if (m_grid->column(column).locked) return; // stays where the page put it
            const QRect r(sectionViewportPosition(column), 0, sectionSize(column), height());
            startColumnDrag(this, kColumnMime, m_grid, column, viewport()->grab(r), m_pressPos - r.topLeft());
        }
        return;
    }
    if (event->buttons() == Qt::NoButton && onGroupCaption(event->position().toPoint())) {
        unsetCursor(); // no resize handle between the columns of a group
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void GridHeader::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pressed >= 0) {
        const int column = m_pressed;
        m_pressed = -1;
        if (event->modifiers() & Qt::ControlModifier) m_grid->removeSort(column);
        else m_grid->toggleSort(column, event->modifiers() & Qt::ShiftModifier);
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void GridHeader::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (onGroupCaption(pos) || !onHandle(pos)) return;
    // The handle belongs to the section on its left.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int logical = logicalIndexAt(pos.x() - margin - 1);
    if (logical >= 0) m_grid->bestFit(logical);
}

void GridHeader::contextMenuEvent(QContextMenuEvent *event)
{
    const int logical = onGroupCaption(event->pos()) ? -1 : logicalIndexAt(event->pos());
    if (QMenu *menu = m_grid->headerMenu(logical)) menu->popup(event->globalPos());
}

void GridHeader::dragEnterEvent(QDragEnterEvent *event)
{
    acceptColumnDrag(event, m_grid);
}

void GridHeader::dragMoveEvent(QDragMoveEvent *event)
{
    if (draggedColumn(event->mimeData(), kColumnMime, m_grid) >= 0) {
        const int x = event->position().toPoint().x();
        const int logical = logicalIndexAt(x);
        if (logical >= 0) {
            const int left = sectionViewportPosition(logical);
            m_dropX = x < left + sectionSize(logical) / 2 ? left : left + sectionSize(logical);
        } else {
            m_dropX = length() - offset();
        }
        viewport()->update();
        event->acceptProposedAction();
    } else if (draggedColumn(event->mimeData(), kGroupMime, m_grid) >= 0) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void GridHeader::dragLeaveEvent(QDragLeaveEvent *)
{
    m_dropX = -1;
    viewport()->update();
}

void GridHeader::dropEvent(QDropEvent *event)
{
    m_dropX = -1;
    viewport()->update();
    const int column = draggedColumn(event->mimeData(), kColumnMime, m_grid);
    if (column >= 0) {
        int to = m_grid->headerDropPosition(m_band, event->position().toPoint().x(), this);
        if (column < to) --to;
        event->acceptProposedAction();
        QMetaObject::invokeMethod(m_grid, [grid = m_grid, column, to, band = m_band] { grid->moveColumn(column, to, band); }, Qt::QueuedConnection);
        return;
    }
    const int grouped = draggedColumn(event->mimeData(), kGroupMime, m_grid);
    if (grouped >= 0) {
        event->acceptProposedAction();
        QMetaObject::invokeMethod(m_grid, [grid = m_grid, grouped] { grid->ungroup(grouped); }, Qt::QueuedConnection);
    }
}

// ---- GridDelegate -------------------------------------------------------------------------------------

GridDelegate::GridDelegate(BandedGrid *grid, GridView *view) : QStyledItemDelegate(view), m_grid(grid), m_view(view) {}

void GridDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const GridModel *m = m_grid->gridModel();
    const GridStyle &s = m_grid->gridStyle();
    const int c = index.column();
    const int ordinal = m->ordinalOfRow(index.row());
    const bool editable = !m->isReadOnly() && m->columnEditable(c) && m->caption(c) != QStringLiteral("选择");
    const QModelIndex current = m_view->currentIndex();
    const bool focusedRow = current.isValid() && current.row() == index.row();
    const bool selected = option.state & QStyle::State_Selected;
    QColor background = ordinal % 2 == 1 ? s.sepRow : s.content;
    if (editable) background = s.modify;
    if (focusedRow) background = s.focusedRow;
    if (selected) background = editable || focusedRow ? s.modify.darker(112) : s.modify;
    // The page's colours show over the stripes and the focused row, not on the focused or
    // selected cells; a text colour chosen for the page's background goes where that does.
    const CellColors own = m_grid->cellColors(ordinal, c);
    const bool ownBackground = own.background.isValid() && !selected && current != index;
    if (ownBackground) background = own.background;
    const QColor textColor = own.foreground.isValid() && (ownBackground || !own.background.isValid()) ? own.foreground : s.text;
    const QRect r = option.rect;
    p->save();
    p->fillRect(r, background);
    p->setPen(s.gridLine);
    p->drawLine(r.topRight(), r.bottomRight());
    p->drawLine(r.bottomLeft(), r.bottomRight());
    if (m_grid->isCheckColumn(c)) {
        QStyleOptionButton box;
        const int size = std::min(14, r.height() - 4);
        box.rect = QRect(r.x() + (r.width() - size) / 2, r.y() + (r.height() - size) / 2, size, size);
        box.state = QStyle::State_Enabled | (index.data(Qt::EditRole).toBool() ? QStyle::State_On : QStyle::State_Off);
        m_view->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, m_view);
    } else {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty()) {
            const QRect t = r.adjusted(4, 0, -4, -1);
            p->setPen(textColor);
            p->drawText(t, index.data(Qt::TextAlignmentRole).toInt(), option.fontMetrics.elidedText(text, Qt::ElideRight, t.width()));
        }
    }
    if (current == index) {
        p->setPen(QPen(s.focusedRow.darker(m_view->hasFocus() ? 190 : 140), 1));
        p->drawRect(r.adjusted(0, 0, -1, -1));
    }
    p->restore();
}

QSize GridDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const GridModel *m = m_grid->gridModel();
    return QSize(index.column() < m->columnCount() ? m->column(index.column()).width : 64, m_grid->rowHeight());
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const GridModel *m = m_grid->gridModel();
    const int c = index.column();
    if (m_grid->isCheckColumn(c)) return nullptr;
    const GridColumn &col = m->column(c);
    const FieldType type = m->fieldType(c);
    QWidget *editor = nullptr;
    if (col.editor == EditorKind::Lookup && !col.lookup.isEmpty()) {
        auto *combo = new QComboBox(parent);
        int widest = 0;
        for (const LookupItem &item : col.lookup) {
            combo->addItem(item.text, item.key);
            widest = std::max(widest, combo->fontMetrics().horizontalAdvance(item.text));
        }
        combo->setMaxVisibleItems(16);
        // The list drops down as wide as its texts, however narrow the cell.
        combo->view()->setMinimumWidth(widest + 40);
        editor = combo;
    } else if (col.editor == EditorKind::Date || type == FieldType::Date) {
        auto *date = new QDateEdit(parent);
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setMinimumDate(kNullDate);
        date->setSpecialValueText(QStringLiteral(" "));
        editor = date;
    } else if (col.editor == EditorKind::Integer || col.editor == EditorKind::Float) {
        auto *spin = new NullableSpinBox(parent);
        const bool whole = type == FieldType::Integer || (type != FieldType::Float && col.editor == EditorKind::Integer);
        spin->setDecimals(whole ? 0 : decimalsOfFormat(col.displayFormat, 2));
        spin->setFrame(false);
        editor = spin;
    } else {
        auto *line = new QLineEdit(parent);
        line->setFrame(false);
        const int f = m->fieldOfColumn(c);
        if (type == FieldType::Text && f >= 0 && m->table()->fieldInfo(f).def.size > 0) line->setMaxLength(m->table()->fieldInfo(f).def.size);
        editor = line;
    }
    editor->setAutoFillBackground(true);
    m_editor = editor;
    return editor;
}

void GridDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (editor == m_editor) m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void GridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    editor->setGeometry(option.rect.adjusted(0, 0, -1, -1));
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant v = index.data(Qt::EditRole);
    const bool null = wire::isNull(v);
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        int at = -1;
        for (int i = 0; i < combo->count() && at < 0 && !null; ++i)
            if (wire::sameValue(combo->itemData(i), v) || combo->itemData(i).toString() == v.toString()) at = i;
        combo->setCurrentIndex(at);
    } else if (auto *date = qobject_cast<QDateEdit *>(editor)) {
        date->setDate(null ? kNullDate : v.toDate());
    } else if (auto *spin = qobject_cast<NullableSpinBox *>(editor)) {
        if (null) spin->setNull();
        else spin->setNumber(v.toDouble());
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        const FieldType type = m_grid->gridModel()->fieldType(index.column());
        line->setText(null ? QString() : type == FieldType::Text ? v.toString() : DataSetModel::displayText(v, type));
        line->setProperty("lumekoLoaded", line->text());
        line->selectAll();
    }
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    QVariant value;
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        if (combo->currentIndex() >= 0) value = combo->currentData();
    } else if (auto *date = qobject_cast<QDateEdit *>(editor)) {
        if (date->date() != kNullDate) value = date->date();
    } else if (auto *spin = qobject_cast<NullableSpinBox *>(editor)) {
        spin->interpretText();
        if (!spin->isNull()) {
            if (spin->decimals() == 0) value = qint64(std::llround(spin->value()));
            else value = spin->value();
        }
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        // Text left as it was loaded is no change, be the cell empty text or no text at all.
        if (line->text() == line->property("lumekoLoaded").toString()) {
            m_refused = false;
            return;
        }
        if (!line->text().isEmpty()) value = line->text();
    }
    // Leaving a cell as it was is no change: the row stays as loaded.
    const QVariant old = index.data(Qt::EditRole);
    if (wire::isNull(old) && wire::isNull(value)) {
        m_refused = false;
        return;
    }
    if (!wire::isNull(old) && !wire::isNull(value)) {
        QVariant typed;
        if (wire::coerceValue(value, m_grid->gridModel()->fieldType(index.column()), &typed) && wire::sameValue(typed, old)) {
            m_refused = false;
            return;
        }
    }
    m_refused = !model->setData(index, value, Qt::EditRole);
}

bool GridDelegate::commit()
{
    if (!m_editor) return true;
    QWidget *editor = m_editor;
    m_refused = false;
    Q_EMIT commitData(editor);
    if (m_refused) return false;
    Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

void GridDelegate::abandon()
{
    if (m_editor) Q_EMIT closeEditor(m_editor, QAbstractItemDelegate::RevertModelCache);
}

bool GridDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *editor = qobject_cast<QWidget *>(object);
    if (editor && editor == m_editor && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *combo = qobject_cast<QComboBox *>(editor);
        auto *date = qobject_cast<QDateEdit *>(editor);
        QLineEdit *line = qobject_cast<QLineEdit *>(editor);
        if (!line && !combo && !date) line = editor->findChild<QLineEdit *>();
        auto atEnd = [&] {
            if (date) return date->currentSectionIndex() == date->sectionCount() - 1;
            if (line) return !line->hasSelectedText() ? line->cursorPosition() == line->text().size() : line->selectionEnd() == line->text().size() && line->selectionStart() == 0;
            return true;
        };
        auto atStart = [&] {
            if (date) return date->currentSectionIndex() == 0;
            if (line) return line->cursorPosition() == 0 && !line->hasSelectedText();
            return true;
        };
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return QStyledItemDelegate::eventFilter(object, event);
        bool move = true;
        BandedGrid::Move where = BandedGrid::Move::Right;
        switch (key->key()) {
        case Qt::Key_Tab: where = BandedGrid::Move::Next; break;
        case Qt::Key_Return:
        case Qt::Key_Enter: where = m_grid->enterMovesDown() ? BandedGrid::Move::Down : BandedGrid::Move::Next; break;
        case Qt::Key_Backtab: where = BandedGrid::Move::Previous; break;
        case Qt::Key_Down: where = BandedGrid::Move::Down; move = !(combo && combo->view()->isVisible()); break;
        case Qt::Key_Up: where = BandedGrid::Move::Up; move = !(combo && combo->view()->isVisible()); break;
        case Qt::Key_Right: where = BandedGrid::Move::Right; move = atEnd(); break;
        case Qt::Key_Left: where = BandedGrid::Move::Left; move = atStart(); break;
        case Qt::Key_Escape:
            abandon();
            return true;
        case Qt::Key_Delete:
            if (date) {
                date->setDate(kNullDate);
                return true;
            }
            move = false;
            break;
        default: move = false; break;
        }
        if (move) {
            if (commit()) m_grid->moveFromEditor(where);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

bool GridDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!m_grid->isCheckColumn(index.column()) || !(index.flags() & Qt::ItemIsEditable))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    // The press ticks: it reaches the cell before the view moves the focus, which may post
    // another row and move this one in an ordered table. The release and a double click that
    // follow are the same click.
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && option.rect.contains(mouse->position().toPoint())) {
            m_grid->toggleCheck(index);
            return true;
        }
    }
    return event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick;
}

// ---- FooterBar -----------------------------------------------------------------------------------------

FooterBar::FooterBar(BandedGrid *grid, GridView *view) : QWidget(grid), m_grid(grid), m_view(view)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize FooterBar::sizeHint() const { return QSize(100, m_grid->rowHeight() + 4); }

void FooterBar::paintEvent(QPaintEvent *)
{
    const GridStyle &s = m_grid->gridStyle();
    const GridModel *m = m_grid->gridModel();
    QPainter p(this);
    p.fillRect(rect(), s.sepRow);
    p.setPen(s.gridLine);
    p.drawLine(0, 0, width(), 0);
    p.drawLine(0, height() - 1, width(), height() - 1);
    QHeaderView *h = m_view->header();
    for (int v = 0; v < h->count(); ++v) {
        const int c = h->logicalIndex(v);
        if (h->isSectionHidden(c)) continue;
        const QRect cell(h->sectionViewportPosition(c), 0, h->sectionSize(c), height());
        p.setPen(s.gridLine);
        p.drawLine(cell.right(), 2, cell.right(), height() - 3);
        const QString text = m->footerText(c);
        if (text.isEmpty()) continue;
        const QRect box = cell.adjusted(2, 2, -3, -2);
        p.fillRect(box, s.content);
        p.setPen(s.gridLine.darker(115));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        const FieldType type = m->fieldType(c);
        const bool number = type == FieldType::Integer || type == FieldType::Float;
        const QRect t = box.adjusted(3, 0, -3, 0);
        p.setPen(s.text);
        p.drawText(t, (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, fontMetrics().elidedText(text, Qt::ElideRight, t.width()));
    }
    if (static_cast<GridView *>(m_view)->band() == 0) p.fillRect(QRect(width() - 2, 0, 2, height()), s.bandLineColor());
}

// ---- RowIndicator ------------------------------------------------------------------------------------

RowIndicator::RowIndicator(BandedGrid *grid) : QWidget(grid), m_grid(grid)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QSize RowIndicator::sizeHint() const
{
    const int rows = std::max(999, m_grid->dataRowCount());
    return QSize(fontMetrics().horizontalAdvance(QString::number(rows)) + 20, 100);
}

int RowIndicator::rowAt(int y) const
{
    GridView *view = m_grid->labelView();
    const int top = view->header()->isHidden() ? 0 : view->header()->height();
    if (y < top) return -1;
    const int row = (y - top + view->verticalScrollBar()->value()) / m_grid->rowHeight();
    return row < m_grid->gridModel()->rowCount() ? row : -1;
}

void RowIndicator::paintEvent(QPaintEvent *)
{
    const GridStyle &s = m_grid->gridStyle();
    const GridModel *m = m_grid->gridModel();
    GridView *view = m_grid->labelView();
    QPainter p(this);
    p.fillRect(rect(), s.header);
    const int top = view->header()->isHidden() ? 0 : view->header()->height();
    p.setPen(s.gridLine);
    p.drawLine(width() - 1, 0, width() - 1, height());
    p.drawLine(0, top - 1, width(), top - 1);
    p.setClipRect(0, top, width(), height() - top);
    const int h = m_grid->rowHeight();
    const int offset = view->verticalScrollBar()->value();
    const int current = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    p.setFont(f);
    for (int row = offset / h, y = top + row * h - offset; row < m->rowCount() && y < height(); ++row, y += h) {
        const QRect cell(0, y, width() - 1, h);
        if (m->isGroupRow(row)) p.fillRect(cell, s.sepRow);
        if (row == current) {
            p.fillRect(cell, s.focusedRow);
            drawTriangle(&p, QRect(2, y + (h - 8) / 2, 8, 8), false, s.text);
        }
        p.setPen(s.gridLine);
        p.drawLine(cell.bottomLeft(), cell.bottomRight());
        const int ordinal = m->ordinalOfRow(row);
        if (ordinal >= 0) {
            p.setPen(s.text);
            p.drawText(cell.adjusted(10, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, QString::number(ordinal + 1));
        }
    }
}

void RowIndicator::mousePressEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint().y());
    const int ordinal = m_grid->gridModel()->ordinalOfRow(row);
    if (ordinal < 0) return;
    const QList<int> columns = m_grid->visibleColumns();
    if (columns.isEmpty()) return;
    const int column = m_grid->currentColumn() >= 0 ? m_grid->currentColumn() : columns.first();
    m_grid->setCurrentCell(ordinal, column);
    GridModel *m = m_grid->gridModel();
    m_grid->bandView(1)->selectionModel()->select(QItemSelection(m->index(row, 0), m->index(row, m->columnCount() - 1)),
                                                  QItemSelectionModel::ClearAndSelect);
}

// ---- GroupByBox ---------------------------------------------------------------------------------------

GroupByBox::GroupByBox(BandedGrid *grid) : QWidget(grid), m_grid(grid)
{
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize GroupByBox::sizeHint() const { return QSize(200, m_grid->rowHeight() + 14); }

QList<QRect> GroupByBox::chipRects() const
{
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    QList<QRect> rects;
    int x = 8;
    for (int c : m_grid->groupColumns()) {
        const int w = fm.horizontalAdvance(m_grid->columnCaption(c)) + 24;
        rects.append(QRect(x, 7, w, m_grid->rowHeight()));
        x += w + 18;
    }
    return rects;
}

void GroupByBox::paintEvent(QPaintEvent *)
{
    const GridStyle &s = m_grid->gridStyle();
    QPainter p(this);
    p.fillRect(rect(), s.groupBox);
    p.setPen(s.gridLine);
    p.drawLine(0, height() - 1, width(), height() - 1);
    const QList<int> columns = m_grid->groupColumns();
    if (columns.isEmpty()) {
        p.setPen(s.groupBoxText);
        p.drawText(rect().adjusted(10, 0, -10, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("拖动列标题到此处进行分组"));
        return;
    }
    const QList<QRect> rects = chipRects();
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    for (int i = 0; i < rects.size(); ++i) {
        const QRect &r = rects[i];
        if (i > 0) {
            const QRect &prev = rects[i - 1];
            p.setPen(s.groupBoxText);
            const int y = r.center().y();
            p.drawLine(prev.right() + 3, y, r.left() - 3, y);
            drawTriangle(&p, QRect(r.left() - 9, y - 4, 8, 8), false, s.groupBoxText);
        }
        p.fillRect(r, s.header);
        p.setPen(s.gridLine.darker(125));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(s.text);
        p.drawText(r, Qt::AlignCenter, m_grid->columnCaption(columns[i]));
    }
}

int GroupByBox::levelAt(int x) const
{
    int level = 0;
    for (const QRect &r : chipRects())
        if (r.center().x() < x) ++level;
    return level;
}

void GroupByBox::mousePressEvent(QMouseEvent *event)
{
    m_pressed = -1;
    const QList<QRect> rects = chipRects();
    for (int i = 0; i < rects.size(); ++i)
        if (rects[i].contains(event->position().toPoint())) {
            m_pressed = i;
            m_pressPos = event->position().toPoint();
        }
}

void GroupByBox::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed < 0 || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance()) return;
    const QList<int> columns = m_grid->groupColumns();
    const QList<QRect> rects = chipRects();
    const int level = m_pressed;
    m_pressed = -1;
    if (level >= columns.size() || m_grid->column(columns[level]).locked) return;
    startColumnDrag(this, kGroupMime, m_grid, columns[level], grab(rects[level]), m_pressPos - rects[level].topLeft());
}

void GroupByBox::contextMenuEvent(QContextMenuEvent *event)
{
    const QList<int> columns = m_grid->groupColumns();
    const QList<QRect> rects = chipRects();
    QMenu menu(this);
    for (int i = 0; i < rects.size(); ++i)
        if (rects[i].contains(event->pos())) {
            const int column = columns[i];
            menu.addAction(QStringLiteral("取消按“%1”分组").arg(m_grid->columnCaption(column)), m_grid, [this, column] { m_grid->ungroup(column); })
                ->setEnabled(!m_grid->column(column).locked);
        }
    if (!columns.isEmpty()) {
        menu.addAction(QStringLiteral("全部展开"), m_grid, &BandedGrid::expandAll);
        menu.addAction(QStringLiteral("全部折叠"), m_grid, &BandedGrid::collapseAll);
        // The page's grouping by locked columns stays.
        bool userGrouped = false;
        for (int c : columns)
            userGrouped = userGrouped || !m_grid->column(c).locked;
        auto ungroupAll = [grid = m_grid] {
            for (int c : grid->groupColumns())
                if (!grid->column(c).locked) grid->ungroup(c);
        };
        menu.addAction(QStringLiteral("取消全部分组"), m_grid, ungroupAll)->setEnabled(userGrouped);
    }
    if (!menu.isEmpty()) menu.exec(event->globalPos());
}

void GroupByBox::dragEnterEvent(QDragEnterEvent *event)
{
    acceptColumnDrag(event, m_grid);
}

void GroupByBox::dragMoveEvent(QDragMoveEvent *event)
{
    acceptColumnDrag(event, m_grid);
}

void GroupByBox::dropEvent(QDropEvent *event)
{
    int column = draggedColumn(event->mimeData(), kColumnMime, m_grid);
    if (column < 0) column = draggedColumn(event->mimeData(), kGroupMime, m_grid);
    if (column < 0) return;
    int level = levelAt(event->position().toPoint().x());
    const int present = int(m_grid->groupColumns().indexOf(column));
    if (present >= 0 && present < level) --level;
    event->acceptProposedAction();
    QMetaObject::invokeMethod(m_grid, [grid = m_grid, column, level] { grid->groupBy(column, level); }, Qt::QueuedConnection);
}

// ---- BandCaption ------------------------------------------------------------------------------------

BandCaption::BandCaption(BandedGrid *grid, int band) : QWidget(grid), m_grid(grid), m_band(band)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize BandCaption::sizeHint() const { return QSize(20, m_grid->rowHeight()); }

void BandCaption::paintEvent(QPaintEvent *)
{
    const GridStyle &s = m_grid->gridStyle();
    QPainter p(this);
    p.fillRect(rect(), s.header);
    p.setPen(s.gridLine);
    p.drawLine(0, height() - 1, width(), height() - 1);
    p.drawLine(width() - 1, 0, width() - 1, height());
    if (m_band == 0) p.fillRect(QRect(width() - 2, 0, 2, height()), s.bandLineColor());
    if (m_band < 0) return;
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(s.text);
    p.drawText(rect(), Qt::AlignCenter, QFontMetrics(bold).elidedText(m_grid->bandCaption(m_band), Qt::ElideRight, width() - 4));
}

// ---- FilterPopup ----------------------------------------------------------------------------------------

FilterPopup::FilterPopup(BandedGrid *grid, int column) : QFrame(grid, Qt::Popup), m_grid(grid), m_column(column)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    m_list = new QListWidget(this);
    layout->addWidget(m_list);

    const bool filtered = grid->isColumnFiltered(column);
    const QStringList accepted = grid->gridModel()->columnFilter(column);
    auto *all = new QListWidgetItem(QStringLiteral("(全部)"), m_list);
    all->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    bool everything = true;
    for (const QString &value : grid->filterValues(column)) {
        auto *item = new QListWidgetItem(value.isEmpty() ? QStringLiteral("(空白)") : value, m_list);
        item->setData(Qt::UserRole, value);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool on = !filtered || accepted.contains(value);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        everything = everything && on;
    }
    all->setCheckState(everything ? Qt::Checked : Qt::Unchecked);
    connect(m_list, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        const QSignalBlocker block(m_list);
        if (m_list->row(item) == 0) {
            for (int i = 1; i < m_list->count(); ++i) m_list->item(i)->setCheckState(item->checkState());
        } else {
            bool every = true;
            for (int i = 1; i < m_list->count(); ++i) every = every && m_list->item(i)->checkState() == Qt::Checked;
            m_list->item(0)->setCheckState(every ? Qt::Checked : Qt::Unchecked);
        }
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        apply();
        close();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    const int rows = std::min(int(m_list->count()), 14);
    const int listHeight = rows * m_list->sizeHintForRow(0) + 2 * m_list->frameWidth() + 4;
    m_list->setFixedHeight(listHeight);
    resize(std::max(200, grid->column(column).width), listHeight + ok->sizeHint().height() + 16);
}

void FilterPopup::apply()
{
    if (m_list->item(0)->checkState() == Qt::Checked) {
        m_grid->clearColumnFilter(m_column);
        return;
    }
    QStringList accepted;
    for (int i = 1; i < m_list->count(); ++i)
        if (m_list->item(i)->checkState() == Qt::Checked) accepted.append(m_list->item(i)->data(Qt::UserRole).toString());
    m_grid->setColumnFilter(m_column, accepted);
}

} // namespace lumeko
