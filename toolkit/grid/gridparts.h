#pragma once
// The pieces a BandedGrid is made of: one view per band over the shared model, their headers,
// the cell painter and editors, the footer, the row indicator, the group-by box, the band
// captions and the filter list of a column. Internal to the grid.

#include "toolkit/grid/bandedgrid.h"

#include <QDoubleSpinBox>
#include <QFrame>
#include <QHeaderView>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>

class QListWidget;

namespace lumeko {

inline constexpr char kColumnMime[] = "application/x-lumeko-grid-column";
inline constexpr char kGroupMime[] = "application/x-lumeko-grid-group";

// A spin box that can also be empty: an empty cell stays null instead of turning into 0.
class NullableSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit NullableSpinBox(QWidget *parent = nullptr);
    bool isNull() const { return m_null; }
    void setNull();
    void setNumber(double value);
    void stepBy(int steps) override;

protected:
    QValidator::State validate(QString &text, int &pos) const override;
    double valueFromText(const QString &text) const override;
    QString textFromValue(double value) const override;

private:
    bool m_null = false;
};

// One band's view: a flat tree view (no branches) with uniform rows, whose group rows it paints
// itself and whose cursor moves across both bands.
class GridView : public QTreeView {
    Q_OBJECT
public:
    GridView(BandedGrid *grid, int band);
    int band() const { return m_band; }
    bool openEditor(const QModelIndex &index) { return edit(index, AllEditTriggers, nullptr); }
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    bool isEditing() const { return state() == EditingState; }
    void placeHeader() { updateGeometries(); }

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int signRight(int level) const { return 6 + level * 16 + 12; }
    BandedGrid *m_grid;
    int m_band;
};

// A band's column headers: bold captions, sort marks, filter buttons; a click sorts, a drag
// moves the column (to another place or band) or into the group-by box. Above the captions, the
// rows of column-group captions, one cell over each run of columns of a group; a column with a
// shorter group path has its header reach up to the last of its groups.
class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    GridHeader(BandedGrid *grid, int band);
    QRect filterButtonRect(int logical) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logical) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool onHandle(const QPoint &pos) const;
    int captionTop(int logical) const; // where the column's own caption starts
    bool onGroupCaption(const QPoint &pos) const;
    void paintGroupCaptions(QPainter *painter) const;
    BandedGrid *m_grid;
    int m_band;
    int m_pressed = -1;
    QPoint m_pressPos;
    int m_dropX = -1;
};

// Paints the cells and makes their editors.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridDelegate(BandedGrid *grid, GridView *view);
    QWidget *activeEditor() const { return m_editor; }
    // Commits and closes the open editor; false when the value was refused.
    bool commit();
    void abandon();

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index) override;

private:
    BandedGrid *m_grid;
    GridView *m_view;
    mutable QPointer<QWidget> m_editor;
    mutable bool m_refused = false;
};

// The summaries of one band under its columns.
class FooterBar : public QWidget {
    Q_OBJECT
public:
    FooterBar(BandedGrid *grid, GridView *view);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    BandedGrid *m_grid;
    GridView *m_view;
};

// Row numbers on the left, level with the rows of the views.
class RowIndicator : public QWidget {
    Q_OBJECT
public:
    explicit RowIndicator(BandedGrid *grid);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int rowAt(int y) const;
    BandedGrid *m_grid;
};

// The strip above the grid that holds the grouping columns.
class GroupByBox : public QWidget {
    Q_OBJECT
public:
    explicit GroupByBox(BandedGrid *grid);
    QSize sizeHint() const override;
    QList<QRect> chipRects() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    int levelAt(int x) const;
    BandedGrid *m_grid;
    int m_pressed = -1;
    QPoint m_pressPos;
};

// A band's caption above its column headers; with no band, a plain corner piece.
class BandCaption : public QWidget {
    Q_OBJECT
public:
    BandCaption(BandedGrid *grid, int band);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    BandedGrid *m_grid;
    int m_band;
};

// The list of a column's values with check boxes that a header's filter button opens.
class FilterPopup : public QFrame {
    Q_OBJECT
public:
    FilterPopup(BandedGrid *grid, int column);

private:
    void apply();
    BandedGrid *m_grid;
    int m_column;
    QListWidget *m_list;
};

} // namespace lumeko
