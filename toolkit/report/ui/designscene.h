#pragma once
// The designer's drawing of a template: the page, its bands stacked from top to bottom in the
// template's order, each a titled strip over its area, and the objects in them. The scene shows
// the designer's template and reports what the mouse did; the designer changes the template and
// has the scene follow.

#include "toolkit/report/template.h"

#include <QGraphicsObject>
#include <QGraphicsScene>
#include <QGraphicsView>

namespace lumeko::report {

// An object of the template by its place: band index and index within the band.
struct ObjectRef {
    int band = -1;
    int object = -1;
    bool operator==(const ObjectRef &) const = default;
};

// Chinese name of a band kind ("主数据") and the title its strip shows ("主数据: cdsData").
QString bandKindText(BandKind kind);
QString bandTitle(const Band &band);

class DesignScene;

class BandItem : public QGraphicsObject {
public:
    static constexpr double kTitleHeight = 18; // the strip above the band's area, in report units
    static constexpr double kGap = 6;          // between one band's area and the next title

    BandItem(DesignScene *scene, int band, double width);
    int band() const { return m_band; }
    double shownHeight() const { return m_height; }
    // The view's scale changed: the grip along the bottom edge keeps its size on the screen.
    void scaleChanged() { prepareGeometryChange(); }
    // Takes the height from the template again.
    void sync();
    // The area objects stand in, in the item's coordinates.
    QRectF area() const { return QRectF(0, kTitleHeight, m_width, m_height); }
    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void hoverMoveEvent(QGraphicsSceneHoverEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    bool onBottomEdge(const QPointF &pos) const;
    DesignScene *m_scene;
    int m_band;
    double m_width;
    double m_height;
    bool m_dragging = false;
    double m_pressHeight = 0;
    double m_pressY = 0;
};

class ObjectItem : public QGraphicsObject {
public:
    ObjectItem(DesignScene *scene, ObjectRef ref, BandItem *band);
    ObjectRef ref() const { return m_ref; }
    const ReportObject &object() const;
    // The object's rectangle within its band as the item now shows it.
    QRectF rectInBand() const;
    // Takes place and size from the template again.
    void sync();
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void hoverMoveEvent(QGraphicsSceneHoverEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;

private:
    bool isLine() const { return object().kind == ObjectKind::Line; }
    QList<QPointF> handles() const; // in item coordinates, by handle number (0 top left, clockwise)
    int handleAt(const QPointF &pos) const;
    double handleSize() const;      // in report units at the view's scale

    DesignScene *m_scene;
    ObjectRef m_ref;
    QSizeF m_size;
    int m_resizing = -1; // the handle being dragged
    QRectF m_pressRect;  // in the band, when the mouse went down
    QPointF m_pressPos;  // scene position of the mouse then
    bool m_moved = false;
};

class DesignScene : public QGraphicsScene {
    Q_OBJECT
public:
    explicit DesignScene(QObject *parent = nullptr);

    void setModel(const ReportTemplate *report) { m_report = report; }
    const ReportTemplate &model() const { return *m_report; }
    // Items anew from the template, keeping the selection given.
    void rebuild(const QList<ObjectRef> &objects = {}, int band = -1);
    // Stacks the bands by the heights they show (live while a band's height is dragged).
    void relayout();
    // Bands and objects take their properties from the template again, when only properties
    // (not the number of bands or objects) changed.
    void syncAll();
    void syncObject(ObjectRef ref);

    BandItem *bandItem(int band) const;
    ObjectItem *objectItem(ObjectRef ref) const;
    QList<ObjectRef> selectedObjects() const;
    int selectedBand() const; // a band chosen by itself; -1 when objects or nothing are chosen
    void select(const QList<ObjectRef> &objects, int band = -1);
    // The band whose area holds a scene point; -1 when none does.
    int bandAt(const QPointF &scenePos) const;
    QRectF bandArea(int band) const; // in the scene
    QRectF pageRect() const { return m_pageRect; }
    double viewScale() const;
    void viewScaleChanged();

Q_SIGNALS:
    // Objects were dragged with the mouse; their items stand where they were dropped.
    void objectsMoved();
    void objectResized(lumeko::report::ObjectRef ref, const QRectF &rectInBand);
    void objectDoubleClicked();
    void bandResized(int band, double height);

protected:
    void drawBackground(QPainter *painter, const QRectF &rect) override;

private:
    void applySelection(const QList<ObjectRef> &objects, int band);
    const ReportTemplate *m_report = nullptr;
    QList<BandItem *> m_bands;
    QRectF m_pageRect;
};

// The view: arrow keys move the chosen objects (with Shift they resize them), Delete removes,
// Ctrl and the wheel zoom.
class DesignView : public QGraphicsView {
    Q_OBJECT
public:
    explicit DesignView(DesignScene *scene, QWidget *parent = nullptr);
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }

Q_SIGNALS:
    void moveRequested(double dx, double dy);
    void resizeRequested(double dw, double dh);
    void deleteRequested();
    void zoomRequested(double zoom);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    double m_zoom = 1;
};

} // namespace lumeko::report
