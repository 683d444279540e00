#include "toolkit/report/ui/designscene.h"

#include "toolkit/report/painting.h"

#include <QCursor>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QWheelEvent>

#include <cmath>

namespace lumeko::report {

namespace {

constexpr double kHandlePixels = 7;  // a resize handle on the screen
constexpr double kEdgePixels = 4;    // how near the band's bottom edge the mouse grabs it
constexpr double kMinObjectSize = 2; // report units
const QColor kSelection(0x1f, 0x6f, 0xd6);

double snap(double v) { return std::round(v); }

// A font whose letters stand `units` high on the painter's device, for the designer's own labels.
QFont labelFont(const QPainter &p, double units)
{
    const double dpi = p.device() ? p.device()->logicalDpiY() : 96;
    QFont f(QStringLiteral("宋体"));
    f.setPointSizeF(std::max(units, 1.0) * 72 / dpi);
    return f;
}

// An object as it will print, with its expressions unevaluated; what would print nothing visible
// (an unframed memo's edge, an empty picture) is drawn in light grey so that it can be found.
void paintObject(QPainter &p, const ReportObject &o, const QRectF &r, double viewScale)
{
    const QPen hint(QColor(0xb0, 0xb0, 0xb0), 1 / viewScale, Qt::DashLine);
    switch (o.kind) {
    case ObjectKind::Memo: {
        if (!o.frame.any()) {
            p.setPen(hint);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r);
        }
        const double dpi = p.device() ? p.device()->logicalDpiY() : 96;
        p.setFont(unitFont(o.font(), dpi));
        p.setPen(Qt::black);
        int flags = int(o.alignment);
        if (o.wordWrap) flags |= Qt::TextWordWrap;
        p.drawText(r.adjusted(1.5, 0.5, -1.5, -0.5), flags, o.text);
        paintFrame(p, r, o.frame);
        break;
    }
    case ObjectKind::Picture: {
        if (o.picture.isNull()) {
            p.fillRect(r, QColor(0xee, 0xee, 0xee));
            p.setPen(hint);
            p.drawRect(r);
            p.setFont(labelFont(p, std::min(r.height() / 4, 10.0)));
            p.setPen(QColor(0x80, 0x80, 0x80));
            p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, o.name.isEmpty() ? QStringLiteral("图片") : QStringLiteral("图片\n%1").arg(o.name));
        } else {
            QRectF target = r;
            if (o.keepAspect) {
                target.setSize(QSizeF(o.picture.size()).scaled(r.size(), Qt::KeepAspectRatio));
                target.moveCenter(r.center());
            }
            p.drawImage(target, o.picture);
        }
        paintFrame(p, r, o.frame);
        break;
    }
    case ObjectKind::Line:
        p.setPen(QPen(o.frame.color, std::max(o.frame.width, 0.1)));
        p.drawLine(r.topLeft(), r.bottomRight());
        break;
    case ObjectKind::Rectangle:
        paintFrame(p, r, o.frame.any() ? o.frame : Frame::all(o.frame.width));
        break;
    }
}

} // namespace

QString bandKindText(BandKind kind)
{
    switch (kind) {
    case BandKind::ReportTitle: return QStringLiteral("报表标题");
    case BandKind::PageHeader: return QStringLiteral("页眉");
    case BandKind::MasterData: return QStringLiteral("主数据");
    case BandKind::DetailData: return QStringLiteral("从数据");
    case BandKind::GroupHeader: return QStringLiteral("分组头");
    case BandKind::GroupFooter: return QStringLiteral("分组尾");
    case BandKind::PageFooter: return QStringLiteral("页脚");
    case BandKind::ReportSummary: return QStringLiteral("报表合计");
    }
    return {};
}

QString bandTitle(const Band &band)
{
    QString title = bandKindText(band.kind);
    if (band.kind == BandKind::MasterData || band.kind == BandKind::DetailData) title += QStringLiteral(": ") + band.table;
    else if (band.kind == BandKind::GroupHeader) title += QStringLiteral(": ") + band.groupField;
    if (band.newPageAfter && band.kind == BandKind::MasterData) title += QStringLiteral("（每条记录一页）");
    return title;
}

// ---- BandItem

BandItem::BandItem(DesignScene *scene, int band, double width)
    : m_scene(scene), m_band(band), m_width(width), m_height(scene->model().bands[band].height)
{
    setFlag(ItemIsSelectable);
    setAcceptHoverEvents(true);
    setZValue(0);
}

QRectF BandItem::boundingRect() const
{
    const double edge = kEdgePixels / m_scene->viewScale();
    return QRectF(0, 0, m_width, kTitleHeight + m_height + edge);
}

void BandItem::paint(QPainter *p, const QStyleOptionGraphicsItem *, QWidget *)
{
    const Band &band = m_scene->model().bands[m_band];
    const double px = 1 / m_scene->viewScale();
    const QRectF title(0, 0, m_width, kTitleHeight);
    const bool data = band.kind == BandKind::MasterData || band.kind == BandKind::DetailData;
    QColor strip = data ? QColor(0xd6, 0xe4, 0xf5) : QColor(0xe8, 0xe8, 0xe0);
    if (isSelected()) strip = kSelection.lighter(170);
    p->fillRect(title, strip);
    p->setPen(QPen(isSelected() ? kSelection : QColor(0x90, 0x90, 0x90), px));
    p->drawRect(title);
    p->setFont(labelFont(*p, 12));
    p->setPen(QColor(0x30, 0x30, 0x30));
    p->drawText(title.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, bandTitle(band));

    // The area: its edges dotted, its bottom edge the handle of its height.
    const QRectF a = area();
    p->setPen(QPen(isSelected() ? kSelection : QColor(0xa0, 0xa0, 0xa0), px, Qt::DotLine));
    p->setBrush(Qt::NoBrush);
    p->drawRect(a);
}

void BandItem::sync()
{
    prepareGeometryChange();
    m_height = m_scene->model().bands[m_band].height;
    update();
}

bool BandItem::onBottomEdge(const QPointF &pos) const
{
    return std::abs(pos.y() - area().bottom()) <= kEdgePixels / m_scene->viewScale();
}

void BandItem::hoverMoveEvent(QGraphicsSceneHoverEvent *event)
{
    setCursor(onBottomEdge(event->pos()) ? Qt::SizeVerCursor : Qt::ArrowCursor);
}

void BandItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && onBottomEdge(event->pos())) {
        m_dragging = true;
        m_pressHeight = m_height;
        m_pressY = event->scenePos().y();
        event->accept();
        return;
    }
    QGraphicsObject::mousePressEvent(event);
}

void BandItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_dragging) return QGraphicsObject::mouseMoveEvent(event);
    prepareGeometryChange();
    m_height = std::max(0.0, m_pressHeight + snap(event->scenePos().y() - m_pressY));
    m_scene->relayout();
}

void BandItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_dragging) return QGraphicsObject::mouseReleaseEvent(event);
    m_dragging = false;
    if (m_height != m_scene->model().bands[m_band].height) Q_EMIT m_scene->bandResized(m_band, m_height);
}

// ---- ObjectItem

ObjectItem::ObjectItem(DesignScene *scene, ObjectRef ref, BandItem *band) : QGraphicsObject(band), m_scene(scene), m_ref(ref)
{
    setFlags(ItemIsSelectable | ItemIsMovable | ItemSendsGeometryChanges);
    setAcceptHoverEvents(true);
    sync();
}

const ReportObject &ObjectItem::object() const
{
    return m_scene->model().bands[m_ref.band].objects[m_ref.object];
}

void ObjectItem::sync()
{
    const QRectF r = object().rect;
    prepareGeometryChange();
    m_size = r.size();
    setPos(r.x(), BandItem::kTitleHeight + r.y());
    update();
}

QRectF ObjectItem::rectInBand() const
{
    return QRectF(pos() - QPointF(0, BandItem::kTitleHeight), m_size);
}

double ObjectItem::handleSize() const
{
    return kHandlePixels / m_scene->viewScale();
}

QRectF ObjectItem::boundingRect() const
{
    const double m = handleSize();
    return QRectF(QPointF(0, 0), m_size).normalized().adjusted(-m, -m, m, m);
}

QPainterPath ObjectItem::shape() const
{
    // Thin lines and frames are easy to hit: a few pixels around count as the object.
    QPainterPath path;
    const double m = 3 / m_scene->viewScale();
    path.addRect(QRectF(QPointF(0, 0), m_size).normalized().adjusted(-m, -m, m, m));
    return path;
}

QList<QPointF> ObjectItem::handles() const
{
    const QRectF r(QPointF(0, 0), m_size);
    if (isLine()) return {r.topLeft(), r.bottomRight()};
    return {r.topLeft(), QPointF(r.center().x(), r.top()), r.topRight(), QPointF(r.right(), r.center().y()),
            r.bottomRight(), QPointF(r.center().x(), r.bottom()), r.bottomLeft(), QPointF(r.left(), r.center().y())};
}

int ObjectItem::handleAt(const QPointF &pos) const
{
    if (!isSelected() || m_scene->selectedItems().size() != 1) return -1;
    const QList<QPointF> points = handles();
    const double s = handleSize();
    for (int i = 0; i < points.size(); ++i) {
        if (QRectF(points[i] - QPointF(s / 2, s / 2), QSizeF(s, s)).contains(pos)) return isLine() && i == 1 ? 4 : i;
    }
    return -1;
}

void ObjectItem::paint(QPainter *p, const QStyleOptionGraphicsItem *, QWidget *)
{
    const double scale = m_scene->viewScale();
    p->setRenderHint(QPainter::Antialiasing);
    p->setRenderHint(QPainter::TextAntialiasing);
    paintObject(*p, object(), QRectF(QPointF(0, 0), m_size), scale);
    if (!isSelected()) return;
    p->setPen(QPen(kSelection, 1 / scale, Qt::DashLine));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(QPointF(0, 0), m_size));
    if (m_scene->selectedItems().size() != 1) return;
    const double s = handleSize();
    p->setPen(QPen(Qt::white, 1 / scale));
    p->setBrush(kSelection);
    for (const QPointF &h : handles()) p->drawRect(QRectF(h - QPointF(s / 2, s / 2), QSizeF(s, s)));
}

QVariant ObjectItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange) {
        const QPointF pos = value.toPointF();
        return QPointF(snap(pos.x()), snap(pos.y()));
    }
    if (change == ItemSelectedHasChanged) {
        // A chosen object comes to the front, so that its handles can be taken hold of where it
        // overlaps its neighbours.
        setZValue(value.toBool() ? 1 : 0);
        update();
    }
    return QGraphicsObject::itemChange(change, value);
}

void ObjectItem::hoverMoveEvent(QGraphicsSceneHoverEvent *event)
{
    static const Qt::CursorShape shapes[] = {Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
                                             Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor};
    const int h = handleAt(event->pos());
    setCursor(h >= 0 ? shapes[h] : Qt::SizeAllCursor);
}

void ObjectItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    m_pressRect = rectInBand();
    m_pressPos = event->scenePos();
    m_moved = false;
    if (event->button() == Qt::LeftButton) {
        m_resizing = handleAt(event->pos());
        if (m_resizing >= 0) {
            event->accept();
            return;
        }
    }
    QGraphicsObject::mousePressEvent(event);
}

void ObjectItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    m_moved = true;
    if (m_resizing < 0) return QGraphicsObject::mouseMoveEvent(event);
    const QPointF d = event->scenePos() - m_pressPos;
    const double dx = snap(d.x()), dy = snap(d.y());
    double left = m_pressRect.left(), top = m_pressRect.top(), right = m_pressRect.right(), bottom = m_pressRect.bottom();
    switch (m_resizing) {
    case 0: left += dx; top += dy; break;
    case 1: top += dy; break;
    case 2: right += dx; top += dy; break;
    case 3: right += dx; break;
    case 4: right += dx; bottom += dy; break;
    case 5: bottom += dy; break;
    case 6: left += dx; bottom += dy; break;
    case 7: left += dx; break;
    }
    QRectF r = QRectF(QPointF(left, top), QPointF(right, bottom));
    if (!isLine()) {
        // A box keeps a size one can still take hold of; a line may lie flat but not turn over.
        r = r.normalized();
        r.setWidth(std::max(r.width(), kMinObjectSize));
        r.setHeight(std::max(r.height(), kMinObjectSize));
    } else {
        r.setWidth(std::max(r.width(), 0.0));
        r.setHeight(std::max(r.height(), 0.0));
    }
    prepareGeometryChange();
    m_size = r.size();
    setPos(r.x(), BandItem::kTitleHeight + r.y());
}

void ObjectItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsObject::mouseDoubleClickEvent(event);
    Q_EMIT m_scene->objectDoubleClicked();
}

void ObjectItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (m_resizing >= 0) {
        m_resizing = -1;
        if (rectInBand() != m_pressRect) Q_EMIT m_scene->objectResized(m_ref, rectInBand());
        return;
    }
    QGraphicsObject::mouseReleaseEvent(event);
    if (m_moved && rectInBand() != m_pressRect) Q_EMIT m_scene->objectsMoved();
    m_moved = false;
}

// ---- DesignScene

DesignScene::DesignScene(QObject *parent) : QGraphicsScene(parent)
{
    setBackgroundBrush(QColor(0x9a, 0x9a, 0x9a));
}

double DesignScene::viewScale() const
{
    const QList<QGraphicsView *> v = views();
    return v.isEmpty() ? 1.0 : std::max(0.05, v.first()->transform().m11());
}

void DesignScene::viewScaleChanged()
{
    // Handles and edges keep their size on the screen, so the items' bounds change.
    for (BandItem *b : m_bands) {
        b->scaleChanged();
        for (QGraphicsItem *child : b->childItems())
            if (auto *o = dynamic_cast<ObjectItem *>(child)) o->sync();
    }
    update();
}

void DesignScene::rebuild(const QList<ObjectRef> &objects, int band)
{
    {
        // One notice of the selection at the end, not one for the items going and another for
        // the items coming.
        const QSignalBlocker blocker(this);
        clear();
        m_bands.clear();
        if (m_report) {
            const QRectF printable = m_report->page.printableUnits();
            for (int b = 0; b < m_report->bands.size(); ++b) {
                auto *item = new BandItem(this, b, printable.width());
                addItem(item);
                m_bands << item;
                for (int o = 0; o < m_report->bands[b].objects.size(); ++o) new ObjectItem(this, {b, o}, item);
            }
            relayout();
            applySelection(objects, band);
        }
    }
    Q_EMIT selectionChanged();
}

void DesignScene::syncAll()
{
    for (BandItem *b : m_bands) {
        b->sync();
        for (QGraphicsItem *child : b->childItems())
            if (auto *o = dynamic_cast<ObjectItem *>(child)) o->sync();
    }
    relayout();
}

void DesignScene::relayout()
{
    const QRectF printable = m_report->page.printableUnits();
    double y = printable.top();
    for (BandItem *b : m_bands) {
        b->setPos(printable.left(), y);
        y += BandItem::kTitleHeight + b->shownHeight() + BandItem::kGap;
    }
    // The page grows in the designer when its bands need more room than the paper has.
    const QSizeF paper = m_report->page.sizeUnits();
    const double bottomMargin = paper.height() - printable.bottom();
    m_pageRect = QRectF(QPointF(0, 0), QSizeF(paper.width(), std::max(paper.height(), y + bottomMargin)));
    setSceneRect(m_pageRect.adjusted(-24, -24, 24, 24));
    update();
}

void DesignScene::drawBackground(QPainter *p, const QRectF &rect)
{
    QGraphicsScene::drawBackground(p, rect);
    if (!m_report) return;
    const double px = 1 / viewScale();
    p->fillRect(m_pageRect.translated(3 * px, 3 * px), QColor(0x55, 0x55, 0x55));
    p->fillRect(m_pageRect, Qt::white);
    // The margins, and where the paper ends when the bands run longer.
    QRectF printable = m_report->page.printableUnits();
    printable.setBottom(m_pageRect.bottom() - (m_report->page.sizeUnits().height() - printable.bottom()));
    p->setPen(QPen(QColor(0xc8, 0xc8, 0xc8), px, Qt::DashLine));
    p->setBrush(Qt::NoBrush);
    p->drawRect(printable);
    const double paperEnd = m_report->page.sizeUnits().height();
    if (m_pageRect.height() > paperEnd + 0.5) {
        p->setPen(QPen(QColor(0xd0, 0x40, 0x40), px, Qt::DashDotLine));
        p->drawLine(QPointF(0, paperEnd), QPointF(m_pageRect.width(), paperEnd));
    }
}

void DesignScene::syncObject(ObjectRef ref)
{
    if (ObjectItem *item = objectItem(ref)) item->sync();
}

BandItem *DesignScene::bandItem(int band) const
{
    return band >= 0 && band < m_bands.size() ? m_bands[band] : nullptr;
}

ObjectItem *DesignScene::objectItem(ObjectRef ref) const
{
    BandItem *b = bandItem(ref.band);
    if (!b) return nullptr;
    for (QGraphicsItem *child : b->childItems()) {
        auto *o = dynamic_cast<ObjectItem *>(child);
        if (o && o->ref() == ref) return o;
    }
    return nullptr;
}

QList<ObjectRef> DesignScene::selectedObjects() const
{
    QList<ObjectRef> out;
    for (QGraphicsItem *item : selectedItems())
        if (auto *o = dynamic_cast<ObjectItem *>(item)) out << o->ref();
    std::sort(out.begin(), out.end(), [](ObjectRef a, ObjectRef b) { return std::pair(a.band, a.object) < std::pair(b.band, b.object); });
    return out;
}

int DesignScene::selectedBand() const
{
    int band = -1;
    for (QGraphicsItem *item : selectedItems()) {
        if (dynamic_cast<ObjectItem *>(item)) return -1;
        if (auto *b = dynamic_cast<BandItem *>(item)) band = b->band();
    }
    return band;
}

void DesignScene::select(const QList<ObjectRef> &objects, int band)
{
    {
        const QSignalBlocker blocker(this);
        applySelection(objects, band);
    }
    Q_EMIT selectionChanged();
}

void DesignScene::applySelection(const QList<ObjectRef> &objects, int band)
{
    clearSelection();
    for (ObjectRef ref : objects)
        if (ObjectItem *item = objectItem(ref)) item->setSelected(true);
    if (objects.isEmpty())
        if (BandItem *item = bandItem(band)) item->setSelected(true);
}

int DesignScene::bandAt(const QPointF &scenePos) const
{
    for (int b = 0; b < m_bands.size(); ++b)
        if (bandArea(b).contains(scenePos)) return b;
    return -1;
}

QRectF DesignScene::bandArea(int band) const
{
    const BandItem *b = bandItem(band);
    return b ? b->mapRectToScene(b->area()) : QRectF();
}

// ---- DesignView

DesignView::DesignView(DesignScene *scene, QWidget *parent) : QGraphicsView(scene, parent)
{
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setDragMode(QGraphicsView::RubberBandDrag);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setFocusPolicy(Qt::StrongFocus);
}

void DesignView::setZoom(double zoom)
{
    m_zoom = std::clamp(zoom, 0.25, 4.0);
    setTransform(QTransform::fromScale(m_zoom, m_zoom));
    if (auto *s = qobject_cast<DesignScene *>(scene())) s->viewScaleChanged();
}

void DesignView::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const double step = event->modifiers() & Qt::ControlModifier ? 10 : 1;
    double dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left: dx = -step; break;
    case Qt::Key_Right: dx = step; break;
    case Qt::Key_Up: dy = -step; break;
    case Qt::Key_Down: dy = step; break;
    case Qt::Key_Delete:
        Q_EMIT deleteRequested();
        return;
    default: return QGraphicsView::keyPressEvent(event);
    }
    if (shift) Q_EMIT resizeRequested(dx, dy);
    else Q_EMIT moveRequested(dx, dy);
}

void DesignView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int delta = event->angleDelta().y();
        if (delta != 0) Q_EMIT zoomRequested(m_zoom * (delta > 0 ? 1.25 : 0.8));
        return;
    }
    QGraphicsView::wheelEvent(event);
}

} // namespace lumeko::report
