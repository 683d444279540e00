#include "toolkit/grid/bandedgrid.h"
#include "toolkit/grid/gridparts.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <numeric>

namespace lumeko {

namespace {
constexpr int kBandLine = 2; // the line between the bands, at the fixed band's right edge
const QString kGridIndex = QStringLiteral("GridOrder"); // the index the grid's sorting keeps on the table

} // namespace

BandedGrid::BandedGrid(QWidget *parent) : QWidget(parent)
{
    m_model = new GridModel(this);
    m_bandCaptionText[0] = QStringLiteral("固定列");
    m_bandCaptionText[1] = QStringLiteral("活动列");
    updateRowHeight();

    m_groupBox = new GroupByBox(this);
    m_groupBox->setObjectName(QStringLiteral("groupByBox"));
    m_captionCorner = new BandCaption(this, -1);
    m_footerCorner = new BandCaption(this, -1);
    m_indicator = new RowIndicator(this);
    m_hbar = new QScrollBar(Qt::Horizontal, this);
    for (int b = 0; b < 2; ++b) {
        m_captions[b] = new BandCaption(this, b);
        m_views[b] = new GridView(this, b);
        m_views[b]->setModel(m_model);
        m_delegates[b] = new GridDelegate(this, m_views[b]);
        m_views[b]->setItemDelegate(m_delegates[b]);
        m_footers[b] = new FooterBar(this, m_views[b]);
    }
    // Both bands share one current cell and one selection.
    QItemSelectionModel *own = m_views[0]->selectionModel();
    m_views[0]->setSelectionModel(m_views[1]->selectionModel());
    delete own;

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    // The bands sit edge to edge, so that a group row runs on from one into the other; the
    // fixed band draws the line between them.
    grid->addWidget(m_groupBox, 0, 0, 1, 3);
    grid->addWidget(m_captionCorner, 1, 0);
    grid->addWidget(m_captions[0], 1, 1);
    grid->addWidget(m_captions[1], 1, 2);
    grid->addWidget(m_indicator, 2, 0);
    grid->addWidget(m_views[0], 2, 1);
    grid->addWidget(m_views[1], 2, 2);
    grid->addWidget(m_footerCorner, 3, 0);
    grid->addWidget(m_footers[0], 3, 1);
    grid->addWidget(m_footers[1], 3, 2);
    grid->addWidget(m_hbar, 4, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);

    // One vertical position for both bands; the horizontal bar under the footer moves band 1.
    QScrollBar *v0 = m_views[0]->verticalScrollBar();
    QScrollBar *v1 = m_views[1]->verticalScrollBar();
    connect(v1, &QScrollBar::valueChanged, this, [this, v0](int v) {
        if (v0->value() != v) v0->setValue(v);
        m_indicator->update();
    });
    connect(v0, &QScrollBar::valueChanged, this, [v1](int v) {
        if (v1->value() != v) v1->setValue(v);
    });
    connect(v1, &QScrollBar::rangeChanged, this, [v0](int min, int max) { v0->setRange(min, max); });
    QScrollBar *h1 = m_views[1]->horizontalScrollBar();
    connect(h1, &QScrollBar::rangeChanged, this, [this, h1](int min, int max) {
        m_hbar->setRange(min, max);
        m_hbar->setPageStep(h1->pageStep());
        m_hbar->setSingleStep(h1->singleStep());
        m_hbar->setVisible(max > min);
    });
    connect(h1, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_hbar->value() != v) m_hbar->setValue(v);
        m_footers[1]->update();
    });
    connect(m_hbar, &QScrollBar::valueChanged, h1, &QScrollBar::setValue);
    m_hbar->setVisible(false);

    for (int b = 0; b < 2; ++b) {
        connect(m_views[b]->header(), &QHeaderView::sectionResized, this, [this](int c, int, int size) {
            if (m_applying || c >= columnCount() || size <= 0) return;
            m_model->setColumnWidth(c, size);
            updateGeometryOfBands();
            refreshParts();
            Q_EMIT columnsChanged();
        });
    }
    QItemSelectionModel *selection = m_views[1]->selectionModel();
    connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) { onCurrentChanged(current); });
    connect(selection, &QItemSelectionModel::selectionChanged, this, [this] { m_indicator->update(); });

    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnsToViews();
        syncCurrentFromTable();
    });
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &BandedGrid::refreshParts);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &BandedGrid::refreshParts);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &BandedGrid::refreshParts);
    connect(m_model, &GridModel::summariesChanged, this, [this] {
        m_footers[0]->update();
        m_footers[1]->update();
    });
    connect(m_model, &GridModel::groupingChanged, this, &BandedGrid::refreshParts);
    connect(m_model, &GridModel::editError, this, &BandedGrid::editError);
    connect(m_model, &GridModel::cellEdited, this, [this](int row, int column) { Q_EMIT cellEdited(m_model->ordinalOfRow(row), column); });

    setFocusProxy(m_views[1]);
    applyEditTriggers();
    applyColumnsToViews();
}

BandedGrid::~BandedGrid()
{
    m_model->setSource(nullptr);
}

// ---- the table -------------------------------------------------------------------------------------

void BandedGrid::setDataSet(DataSet *table)
{
    if (m_table) disconnect(m_table, nullptr, this, nullptr);
    m_model->setSource(nullptr);
    delete m_tableModel;
    m_tableModel = nullptr;
    m_table = table;
    if (table) {
        m_tableModel = new DataSetModel(table, this);
        m_model->setSource(m_tableModel);
        connect(table, &DataSet::currentChanged, this, &BandedGrid::syncCurrentFromTable);
        // A table opened after the user sorted or grouped takes the grid's order then.
        m_tableOpen = table->isActive();
        connect(table, &DataSet::stateChanged, this, [this](DataSetState state) {
            const bool opened = !m_tableOpen && state != DataSetState::Inactive;
            m_tableOpen = state != DataSetState::Inactive;
            if (opened && (!m_sort.isEmpty() || !m_model->groupFields().isEmpty())) applySort();
        });
        connect(table, &QObject::destroyed, this, [this] {
            m_model->setSource(nullptr);
            delete m_tableModel;
            m_tableModel = nullptr;
        });
        if (!m_sort.isEmpty() || !m_model->groupFields().isEmpty()) applySort();
    }
    applyColumnsToViews();
    syncCurrentFromTable();
}

DataSet *BandedGrid::dataSet() const { return m_table; }

// ---- columns -----------------------------------------------------------------------------------------

void BandedGrid::setColumns(const QList<GridColumn> &columns)
{
    QList<GridColumn> ordered;
    for (const GridColumn &c : columns)
        if (c.band == 0) ordered.append(c);
    for (GridColumn c : columns)
        if (c.band != 0) {
            c.band = 1;
            ordered.append(c);
        }
    m_model->setColumns(ordered); // resets: the views take the columns on the reset
    Q_EMIT columnsChanged();
}

int BandedGrid::addColumn(const GridColumn &column)
{
    QList<GridColumn> all = columns();
    int at = int(all.size());
    if (column.band == 0) at = fixedBandColumnCount();
    all.insert(at, column);
    setColumns(all);
    return at;
}

void BandedGrid::updateColumn(int c, const GridColumn &column)
{
    if (c < 0 || c >= columnCount()) return;
    if ((column.band == 0) != (this->column(c).band == 0)) {
        QList<GridColumn> all = columns();
        all[c] = column;
        setColumns(all);
        return;
    }
    GridColumn adjusted = column;
    adjusted.band = this->column(c).band;
    m_model->updateColumn(c, adjusted);
    applyColumnsToViews();
    Q_EMIT columnsChanged();
}

void BandedGrid::removeColumn(int c)
{
    if (c < 0 || c >= columnCount()) return;
    QList<GridColumn> all = columns();
    all.removeAt(c);
    setColumns(all);
}

void BandedGrid::clearColumns() { setColumns({}); }

void BandedGrid::setColumnWidth(int c, int width)
{
    if (c < 0 || c >= columnCount()) return;
    GridColumn col = column(c);
    col.width = std::max(16, width);
    updateColumn(c, col);
}

void BandedGrid::setColumnVisible(int c, bool visible)
{
    if (c < 0 || c >= columnCount()) return;
    GridColumn col = column(c);
    col.visible = visible;
    updateColumn(c, col);
}

void BandedGrid::moveColumn(int from, int to, int band)
{
    if (from < 0 || from >= columnCount()) return;
    QList<GridColumn> all = columns();
    GridColumn moved = all.takeAt(from);
    moved.band = band == 0 ? 0 : 1;
    // Within its band: the place asked for, kept inside the band.
    int first = 0, last = 0;
    for (int i = 0; i < all.size(); ++i)
        if (all[i].band == 0) first = last = i + 1;
    if (moved.band == 0) to = std::clamp(to, 0, first);
    else to = std::clamp(to, first, int(all.size()));
    all.insert(to, moved);
    setColumns(all);
}

void BandedGrid::buildColumns(DataSet &definitions)
{
    if (!definitions.isActive()) return;
    QList<GridColumn> all;
    const qsizetype keep = definitions.recNo();
    try {
        for (qsizetype r = 0; r < definitions.recordCount(); ++r) {
            definitions.moveTo(r);
            GridColumn c = columnFromDefinition(definitions);
            if (c.field.isEmpty()) continue;
            c.band = 1;
            all.append(c);
        }
        if (keep >= 0) definitions.moveTo(keep);
    } catch (const std::runtime_error &e) {
        Q_EMIT editError(QString::fromUtf8(e.what()));
    }
    if (all.size() >= m_fixedCount)
        for (int i = 0; i < m_fixedCount; ++i) all[i].band = 0;
    setColumns(all);
}

void BandedGrid::setFixedColumnCount(int count)
{
    m_fixedCount = std::max(0, count);
    QList<GridColumn> all = columns();
    const bool enough = all.size() >= m_fixedCount;
    for (int i = 0; i < all.size(); ++i) all[i].band = enough && i < m_fixedCount ? 0 : 1;
    setColumns(all);
}

int BandedGrid::fixedBandColumnCount() const
{
    int n = 0;
    for (const GridColumn &c : m_model->columns()) n += c.band == 0 ? 1 : 0;
    return n;
}

QList<int> BandedGrid::visibleColumns() const
{
    QList<int> out;
    for (int c = 0; c < columnCount(); ++c)
        if (column(c).visible) out.append(c);
    return out;
}

void BandedGrid::removeUnboundColumns()
{
    QList<GridColumn> kept;
    for (int c = 0; c < columnCount(); ++c)
        if (m_model->fieldOfColumn(c) >= 0) kept.append(column(c));
    if (kept.size() != columnCount()) setColumns(kept);
}

bool BandedGrid::isCheckColumn(int c) const
{
    if (c < 0 || c >= columnCount()) return false;
    const GridColumn &col = column(c);
    return col.editor == EditorKind::Boolean || (m_model->fieldType(c) == FieldType::Boolean && col.lookup.isEmpty());
}

int BandedGrid::groupCaptionRows() const
{
    int rows = 0;
    for (const GridColumn &c : m_model->columns())
        if (c.visible) rows = std::max(rows, int(c.groups.size()));
    return rows;
}

int BandedGrid::groupDepth(int c) const
{
    return c >= 0 && c < columnCount() && column(c).visible ? int(column(c).groups.size()) : 0;
}

QList<GridColumnGroup> BandedGrid::columnGroups(int band, int level) const
{
    QList<GridColumnGroup> out;
    if (band < 0 || band > 1 || level < 0) return out;
    const int fixed = fixedBandColumnCount();
    const QStringList *run = nullptr; // the group path of the cell being extended
    for (int c = band == 0 ? 0 : fixed; c < (band == 0 ? fixed : columnCount()); ++c) {
        const GridColumn &col = column(c);
        if (!col.visible) continue;
        if (col.groups.size() <= level) {
            run = nullptr;
            continue;
        }
        if (run && std::equal(col.groups.begin(), col.groups.begin() + level + 1, run->begin()))
            out.last().last = c;
        else
            out.append({col.groups[level], c, c});
        run = &col.groups;
    }
    return out;
}

void BandedGrid::setBandCaption(int band, const QString &caption)
{
    if (band < 0 || band > 1) return;
    m_bandCaptionText[band] = caption;
    m_captions[band]->update();
}

QString BandedGrid::bandCaption(int band) const { return band >= 0 && band <= 1 ? m_bandCaptionText[band] : QString(); }

void BandedGrid::setBandCaptionsVisible(bool on)
{
    m_bandCaptionsVisible = on;
    updateGeometryOfBands();
}

// ---- look ------------------------------------------------------------------------------------------------

void BandedGrid::setGridStyle(const GridStyle &style)
{
    m_style = style;
    for (GridView *v : m_views) {
        QPalette pal = v->palette();
        pal.setColor(QPalette::Base, style.content);
        pal.setColor(QPalette::Text, style.text);
        v->setPalette(pal);
    }
    refreshParts();
}

void BandedGrid::setCellColors(std::function<CellColors(int, int)> colors)
{
    m_cellColors = std::move(colors);
    refreshCells();
}

void BandedGrid::refreshCells()
{
    for (GridView *v : m_views)
        v->viewport()->update();
}

CellColors BandedGrid::cellColors(int row, int column) const
{
    return m_cellColors && row >= 0 ? m_cellColors(row, column) : CellColors{};
}

void BandedGrid::setFooterVisible(bool on)
{
    m_footerVisible = on;
    updateGeometryOfBands();
}

void BandedGrid::setGroupByBoxVisible(bool on)
{
    m_groupBoxVisible = on;
    updateGeometryOfBands();
}

void BandedGrid::updateRowHeight()
{
    m_rowHeight = std::max(22, fontMetrics().height() + 8);
}

int BandedGrid::headerHeight() const
{
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).height() + 12 + groupCaptionRows() * groupCaptionHeight();
}

int BandedGrid::groupCaptionHeight() const
{
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).height() + 8;
}

void BandedGrid::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateRowHeight();
        for (GridView *v : m_views) {
            QFont bold = font();
            bold.setBold(true);
            v->header()->setFont(bold);
        }
        applyColumnsToViews();
        m_views[0]->doItemsLayout();
        m_views[1]->doItemsLayout();
    }
}

void BandedGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateGeometryOfBands();
}

void BandedGrid::applyColumnsToViews()
{
    QScopedValueRollback guard(m_applying, true);
    const int fixed = fixedBandColumnCount();
    for (int b = 0; b < 2; ++b) {
        QHeaderView *h = m_views[b]->header();
        for (int c = 0; c < columnCount() && c < h->count(); ++c) {
            const bool shown = column(c).visible && (c < fixed) == (b == 0);
            h->setSectionHidden(c, !shown);
            if (shown && h->sectionSize(c) != column(c).width) h->resizeSection(c, column(c).width);
        }
    }
    updateGeometryOfBands();
    refreshParts();
}

void BandedGrid::updateGeometryOfBands()
{
    int fixedWidth = 0;
    bool anyFixed = false;
    const int fixed = fixedBandColumnCount();
    for (int c = 0; c < fixed; ++c)
        if (column(c).visible) {
            fixedWidth += column(c).width;
            anyFixed = true;
        }
    // The fixed band leaves room for the band that scrolls.
    if (width() > 200) fixedWidth = std::min(fixedWidth, width() - m_indicator->sizeHint().width() - 80);
    m_views[0]->setVisible(anyFixed);
    m_views[0]->setFixedWidth(std::max(fixedWidth, 1) + kBandLine);
    m_captions[0]->setVisible(anyFixed && m_bandCaptionsVisible);
    m_footers[0]->setVisible(anyFixed && m_footerVisible);
    m_captions[1]->setVisible(m_bandCaptionsVisible);
    m_captionCorner->setVisible(m_bandCaptionsVisible);
    m_footers[1]->setVisible(m_footerVisible);
    m_footerCorner->setVisible(m_footerVisible);
    m_groupBox->setVisible(m_groupBoxVisible);
    const int indicatorWidth = m_indicator->sizeHint().width();
    m_indicator->setFixedWidth(indicatorWidth);
    m_captionCorner->setFixedWidth(indicatorWidth);
    m_footerCorner->setFixedWidth(indicatorWidth);
    for (BandCaption *c : m_captions) c->setFixedHeight(m_rowHeight);
    m_captionCorner->setFixedHeight(m_rowHeight);
    for (FooterBar *f : m_footers) f->setFixedHeight(m_rowHeight + 4);
    m_footerCorner->setFixedHeight(m_rowHeight + 4);
    m_groupBox->setFixedHeight(m_groupBox->sizeHint().height());
    const int header = headerHeight();
    for (GridView *v : m_views) {
        if (v->header()->minimumHeight() == header && v->header()->maximumHeight() == header) continue;
        v->header()->setFixedHeight(header);
        v->placeHeader(); // the rows start under the header's new height
    }
}

void BandedGrid::refreshParts()
{
    for (GridView *v : m_views) {
        v->viewport()->update();
        v->header()->viewport()->update();
    }
    for (FooterBar *f : m_footers) f->update();
    for (BandCaption *c : m_captions) c->update();
    m_groupBox->update();
    m_indicator->update();
    const int indicatorWidth = m_indicator->sizeHint().width();
    if (m_indicator->width() != indicatorWidth) updateGeometryOfBands();
}

QTreeView *BandedGrid::bandView(int band) const { return band >= 0 && band <= 1 ? m_views[band] : nullptr; }

GridView *BandedGrid::viewOfColumn(int column) const
{
    return column >= 0 && column < fixedBandColumnCount() ? m_views[0] : m_views[1];
}

GridView *BandedGrid::labelView() const { return m_views[0]->isHidden() ? m_views[1] : m_views[0]; }

BandedGrid::GroupRowLayout BandedGrid::groupRowLayout(int group) const
{
    GroupRowLayout layout;
    const GridModel::GroupInfo info = m_model->groupInfo(group);
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    layout.signLeft = labelView()->viewport()->mapTo(this, QPoint(0, 0)).x() + 6 + info.level * 16;
    layout.labelLeft = layout.signLeft + 16;
    layout.label = info.label();
    int labelEnd = layout.labelLeft + fm.horizontalAdvance(layout.label) + 12;
    for (int c : visibleColumns()) {
        const QString text = m_model->groupSummaryText(group, c);
        if (text.isEmpty()) continue;
        GridView *view = viewOfColumn(c);
        const int x = view->viewport()->mapTo(this, QPoint(0, 0)).x() + view->header()->sectionViewportPosition(c);
        if (x < labelEnd) {
            layout.label += QStringLiteral("  ") + text;
            labelEnd = layout.labelLeft + fm.horizontalAdvance(layout.label) + 12;
        } else {
            layout.cells.append({c, text});
        }
    }
    return layout;
}

// ---- rows and the current cell ----------------------------------------------------------------------

QString BandedGrid::displayText(int row, int column) const
{
    const int src = m_model->sourceRowOfOrdinal(row);
    return src >= 0 && column >= 0 && column < columnCount() ? m_model->cellText(src, column) : QString();
}

QVariant BandedGrid::value(int row, int column) const
{
    const int src = m_model->sourceRowOfOrdinal(row);
    return src >= 0 && column >= 0 && column < columnCount() ? m_model->cellValue(src, column) : QVariant();
}

int BandedGrid::currentRow() const
{
    const QModelIndex current = m_views[1]->selectionModel()->currentIndex();
    return current.isValid() ? m_model->ordinalOfRow(current.row()) : -1;
}

int BandedGrid::currentColumn() const
{
    const QModelIndex current = m_views[1]->selectionModel()->currentIndex();
    return current.isValid() ? current.column() : -1;
}

void BandedGrid::setCurrentCell(int row, int column)
{
    if (row < 0 || row >= dataRowCount() || column < 0 || column >= columnCount()) return;
    if (m_model->rowOfOrdinal(row) < 0) m_model->revealOrdinal(row);
    const int display = m_model->rowOfOrdinal(row);
    if (display >= 0) focusIndex(m_model->index(display, column));
}

void BandedGrid::focusIndex(const QModelIndex &index)
{
    if (!index.isValid()) return;
    m_views[1]->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    // A cell the page focuses comes into view, also before the grid is shown.
    if (GridView *v = viewOfColumn(index.column())) v->scrollTo(index);
}

void BandedGrid::onCurrentChanged(const QModelIndex &current)
{
    for (GridView *v : m_views) v->viewport()->update();
    m_indicator->update();
    if (!current.isValid()) return;
    const int column = current.column();
    m_currentField = column < columnCount() ? this->column(column).field : QString();

    // The focus follows the cell into its band.
    GridView *owner = viewOfColumn(column);
    QWidget *focus = QApplication::focusWidget();
    const bool inGrid = focus && (focus == m_views[0] || focus == m_views[1] || m_views[0]->isAncestorOf(focus) || m_views[1]->isAncestorOf(focus));
    if (inGrid && focus != owner && !owner->isAncestorOf(focus)) owner->setFocus();

    DataSet *t = m_table;
    if (m_syncing || !t || !t->isActive()) return;
    QScopedValueRollback guard(m_syncing, true);
    const QPersistentModelIndex target(current);
    try {
        // Leaving a row posts it; a row that a post moves (its order changed) is followed.
        if ((t->state() == DataSetState::Edit || t->state() == DataSetState::Insert) && m_model->sourceRow(current.row()) != t->recNo())
            t->post();
        if (!target.isValid()) return;
        const int src = m_model->sourceRow(target.row());
        if (src >= 0 && src != t->recNo()) t->moveTo(src);
    } catch (const std::runtime_error &e) {
        const int back = m_model->rowOfSource(int(t->recNo()));
        if (back >= 0) m_views[1]->selectionModel()->setCurrentIndex(m_model->index(back, column), QItemSelectionModel::ClearAndSelect);
        Q_EMIT editError(QString::fromUtf8(e.what()));
        return;
    }
    Q_EMIT currentRowChanged(currentRow());
}

void BandedGrid::syncCurrentFromTable()
{
    DataSet *t = m_table;
    if (m_syncing || !t || !t->isActive() || columnCount() == 0) return;
    const int row = m_model->rowOfSource(int(t->recNo()));
    if (row < 0) return;
    QItemSelectionModel *selection = m_views[1]->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && current.row() == row) return;
    int column = current.isValid() ? current.column() : m_model->columnOfField(m_currentField);
    if (column < 0 || !this->column(column).visible) {
        const QList<int> visible = visibleColumns();
        column = visible.isEmpty() ? 0 : visible.first();
    }
    QScopedValueRollback guard(m_syncing, true);
    selection->setCurrentIndex(m_model->index(row, column), QItemSelectionModel::ClearAndSelect);
    Q_EMIT currentRowChanged(currentRow());
}

QModelIndex BandedGrid::neighbour(const QModelIndex &from, Move move, bool editableOnly) const
{
    if (!from.isValid()) return {};
    QList<int> columns = visibleColumns();
    if (editableOnly) {
        QList<int> editable;
        for (int c : columns)
            if (m_model->columnEditable(c)) editable.append(c);
        if (!editable.isEmpty()) columns = editable;
    }
    if (columns.isEmpty()) return {};
    const int row = from.row();
    int at = int(columns.indexOf(from.column()));
    auto dataRow = [this, row](int step) {
        for (int r = row + step; r >= 0 && r < m_model->rowCount(); r += step)
            if (!m_model->isGroupRow(r)) return r;
        return -1;
    };
    auto nextInRow = [&] { return m_model->index(row, columns[(at + 1) % columns.size()]); };
    switch (move) {
    case Move::Next:
    case Move::Right:
        if (at + 1 < columns.size()) return m_model->index(row, columns[at + 1]);
        if (editableOnly || move == Move::Next) {
            const int next = dataRow(1);
            return next >= 0 ? m_model->index(next, columns.first()) : QModelIndex();
        }
        return {};
    case Move::Previous:
    case Move::Left:
        if (at < 0) at = int(columns.size());
        if (at - 1 >= 0) return m_model->index(row, columns[at - 1]);
        if (editableOnly || move == Move::Previous) {
            const int prev = dataRow(-1);
            return prev >= 0 ? m_model->index(prev, columns.last()) : QModelIndex();
        }
        return {};
    case Move::Down: {
        const int next = dataRow(1);
        return next >= 0 ? m_model->index(next, from.column()) : nextInRow();
    }
    case Move::Up: {
        const int prev = dataRow(-1);
        return prev >= 0 ? m_model->index(prev, from.column()) : nextInRow();
    }
    }
    return {};
}

void BandedGrid::moveFromEditor(Move move)
{
    const QModelIndex current = m_views[1]->selectionModel()->currentIndex();
    const QModelIndex next = neighbour(current, move, true);
    if (!next.isValid() || next == current) return;
    GridView *owner = viewOfColumn(next.column());
    owner->setFocus();
    focusIndex(next);
}

// ---- editing -----------------------------------------------------------------------------------------------

void BandedGrid::setReadOnly(bool on)
{
    if (on) commitEditors();
    m_model->setReadOnly(on);
    applyEditTriggers();
    refreshParts();
}

void BandedGrid::applyEditTriggers()
{
    const QAbstractItemView::EditTriggers triggers = isReadOnly()
        ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        : QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
            | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked;
    for (GridView *v : m_views) v->setEditTriggers(triggers);
}

bool BandedGrid::editCell(int row, int column)
{
    setCurrentCell(row, column);
    const int display = m_model->rowOfOrdinal(row);
    if (display < 0 || column < 0 || column >= columnCount()) return false;
    const QModelIndex index = m_model->index(display, column);
    if (!(m_model->flags(index) & Qt::ItemIsEditable) || isCheckColumn(column)) return false;
    GridView *view = viewOfColumn(column);
    // An editable grid opens the editor as the cell takes the focus.
    if (view->isEditing() && activeEditor() && view->currentIndex() == index) return true;
    return view->openEditor(index);
}

QWidget *BandedGrid::activeEditor() const
{
    for (GridDelegate *d : m_delegates)
        if (d->activeEditor()) return d->activeEditor();
    return nullptr;
}

bool BandedGrid::commitEditors()
{
    bool ok = true;
    for (GridDelegate *d : m_delegates) ok = d->commit() && ok;
    return ok;
}

bool BandedGrid::postEdit()
{
    if (!commitEditors()) return false;
    DataSet *t = m_table;
    if (!t || !t->isActive()) return true;
    try {
        t->post();
    } catch (const std::runtime_error &e) {
        Q_EMIT editError(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void BandedGrid::closeEditor()
{
    for (GridDelegate *d : m_delegates) d->abandon();
}

void BandedGrid::toggleCheck(const QModelIndex &index)
{
    DataSet *t = m_table;
    if (!t || !(m_model->flags(index) & Qt::ItemIsEditable)) return;
    // A tick by itself is posted at once; inside a row being edited it waits for the row.
    const QPersistentModelIndex target(index);
    const int src = m_model->sourceRow(index.row());
    const bool rowEditing = (t->state() == DataSetState::Edit || t->state() == DataSetState::Insert) && t->recNo() == src;
    if (!m_model->setData(index, !index.data(Qt::EditRole).toBool(), Qt::EditRole)) return;
    if (!rowEditing) {
        try {
            t->post();
        } catch (const std::runtime_error &e) {
            Q_EMIT editError(QString::fromUtf8(e.what()));
        }
    }
    if (target.isValid() && m_views[1]->selectionModel()->currentIndex() != target) focusIndex(target);
}

// ---- grouping -------------------------------------------------------------------------------------------------

void BandedGrid::groupBy(int column, int level)
{
    // A column whose field the table does not have yet groups once the table has it.
    if (column < 0 || column >= columnCount()) return;
    QStringList fields = m_model->groupFields();
    const QString field = this->column(column).field;
    fields.removeIf([&](const QString &f) { return f.compare(field, Qt::CaseInsensitive) == 0; });
    if (level < 0 || level > fields.size()) level = int(fields.size());
    fields.insert(level, field);
    m_model->setGroupFields(fields);
    applySort();
    refreshParts();
    Q_EMIT groupingChanged();
}

void BandedGrid::ungroup(int column)
{
    if (column < 0 || column >= columnCount()) return;
    QStringList fields = m_model->groupFields();
    const QString field = this->column(column).field;
    if (fields.removeIf([&](const QString &f) { return f.compare(field, Qt::CaseInsensitive) == 0; }) == 0) return;
    m_model->setGroupFields(fields);
    applySort();
    refreshParts();
    Q_EMIT groupingChanged();
}

void BandedGrid::clearGrouping()
{
    if (m_model->groupFields().isEmpty()) return;
    m_model->setGroupFields({});
    applySort();
    refreshParts();
    Q_EMIT groupingChanged();
}

QList<int> BandedGrid::groupColumns() const
{
    QList<int> out;
    for (const QString &f : m_model->groupFields()) {
        const int c = m_model->columnOfField(f);
        if (c >= 0) out.append(c);
    }
    return out;
}

void BandedGrid::expandAll() { m_model->setAllExpanded(true); }

void BandedGrid::collapseAll() { m_model->setAllExpanded(false); }

void BandedGrid::toggleGroup(int row)
{
    const int group = m_model->groupOfRow(row);
    if (group >= 0) m_model->setGroupExpanded(group, !m_model->groupInfo(group).expanded);
}

// ---- column filters --------------------------------------------------------------------------------------------

void BandedGrid::setFilteringEnabled(bool on)
{
    if (m_filtering == on) return;
    m_filtering = on;
    if (!on) m_model->clearColumnFilters();
    refreshParts();
    Q_EMIT filterChanged();
}

void BandedGrid::setColumnFilter(int column, const QStringList &accepted)
{
    m_model->setColumnFilter(column, accepted);
    refreshParts();
    Q_EMIT filterChanged();
}

void BandedGrid::clearColumnFilter(int column)
{
    m_model->clearColumnFilter(column);
    refreshParts();
    Q_EMIT filterChanged();
}

void BandedGrid::clearColumnFilters()
{
    m_model->clearColumnFilters();
    refreshParts();
    Q_EMIT filterChanged();
}

void BandedGrid::showFilterPopup(int column)
{
    if (column < 0 || column >= columnCount()) return;
    auto *popup = new FilterPopup(this, column);
    QHeaderView *h = viewOfColumn(column)->header();
    popup->move(h->mapToGlobal(QPoint(h->sectionViewportPosition(column), h->height())));
    popup->show();
}

// ---- sorting ------------------------------------------------------------------------------------------------------

void BandedGrid::sortBy(int column, Qt::SortOrder order, bool add)
{
    if (column < 0 || column >= columnCount()) return;
    const QString field = this->column(column).field;
    if (!add) m_sort.clear();
    m_sort.removeIf([&](const GridSortColumn &s) { return s.field.compare(field, Qt::CaseInsensitive) == 0; });
    m_sort.append({field, order});
    applySort();
    refreshParts();
    Q_EMIT sortChanged();
}

void BandedGrid::toggleSort(int column, bool add)
{
    if (column < 0 || column >= columnCount()) return;
    const QString field = this->column(column).field;
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_sort.size(); ++i)
        if (m_sort[i].field.compare(field, Qt::CaseInsensitive) == 0) at = i;
    if (add) {
        if (at >= 0) m_sort[at].order = m_sort[at].order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        else m_sort.append({field, Qt::AscendingOrder});
    } else {
        const bool flip = m_sort.size() == 1 && at == 0 && m_sort[0].order == Qt::AscendingOrder;
        m_sort = {{field, flip ? Qt::DescendingOrder : Qt::AscendingOrder}};
    }
    applySort();
    refreshParts();
    Q_EMIT sortChanged();
}

void BandedGrid::removeSort(int column)
{
    if (column < 0 || column >= columnCount()) return;
    const QString field = this->column(column).field;
    if (m_sort.removeIf([&](const GridSortColumn &s) { return s.field.compare(field, Qt::CaseInsensitive) == 0; }) == 0) return;
    applySort();
    refreshParts();
    Q_EMIT sortChanged();
}

void BandedGrid::clearSort()
{
    if (m_sort.isEmpty()) return;
    m_sort.clear();
    applySort();
    refreshParts();
    Q_EMIT sortChanged();
}

QList<GridSortColumn> BandedGrid::sortColumns() const
{
    QList<GridSortColumn> out;
    auto explicitOrder = [this](const QString &field) {
        for (const GridSortColumn &s : m_sort)
            if (s.field.compare(field, Qt::CaseInsensitive) == 0) return s.order;
        return Qt::AscendingOrder;
    };
    for (const QString &f : m_model->groupFields())
        if (m_model->columnOfField(f) >= 0) out.append({f, explicitOrder(f)});
    for (const GridSortColumn &s : m_sort) {
        bool grouped = false;
        for (const GridSortColumn &o : std::as_const(out)) grouped = grouped || o.field.compare(s.field, Qt::CaseInsensitive) == 0;
        if (!grouped) out.append(s);
    }
    return out;
}

void BandedGrid::applySort()
{
    const QList<GridSortColumn> order = sortColumns();
    QStringList descendingGroups;
    for (const GridSortColumn &s : order)
        if (s.order == Qt::DescendingOrder) descendingGroups.append(s.field);
    m_model->setDescendingGroupFields(descendingGroups);

    DataSet *t = m_table;
    if (!t || !t->isActive()) return;
    IndexDef def;
    def.name = kGridIndex;
    for (const GridSortColumn &s : order) {
        const int f = t->fieldIndex(s.field);
        if (f < 0) continue;
        def.fields.append(t->fieldInfo(f).def.name);
        if (s.order == Qt::DescendingOrder) def.descFields.append(t->fieldInfo(f).def.name);
    }
    const bool ours = t->indexName().compare(kGridIndex, Qt::CaseInsensitive) == 0;
    try {
        if (def.fields.isEmpty()) {
            // Back to the order the page had before the grid sorted.
            if (ours) {
                if (!m_pageIndexName.isEmpty()) t->setIndexName(m_pageIndexName);
                else t->setIndexFieldNames(m_pageIndexFields);
            }
            return;
        }
        if (!ours) {
            m_pageIndexName = t->indexName();
            m_pageIndexFields = t->indexFieldNames();
        }
        t->addIndex(def);
        if (!ours) t->setIndexName(kGridIndex);
    } catch (const std::runtime_error &e) {
        Q_EMIT editError(QString::fromUtf8(e.what()));
    }
}

// ---- widths -----------------------------------------------------------------------------------------------

int BandedGrid::bestFitWidth(int c) const
{
    if (c < 0 || c >= columnCount()) return 0;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics header(bold), cells(font());
    int width = header.horizontalAdvance(columnCaption(c)) + 16;
    if (m_filtering && !column(c).locked) width += 18;
    for (const GridSortColumn &s : m_sort)
        if (s.field.compare(column(c).field, Qt::CaseInsensitive) == 0) width += m_sort.size() > 1 ? 20 : 12;
    if (isCheckColumn(c)) return std::max(width, 28);
    // A sample of the rows spread over the table, and the rows in view.
    const int rows = dataRowCount();
    const int step = std::max(1, rows / 1000);
    for (int row = 0; row < rows; row += step) width = std::max(width, cells.horizontalAdvance(displayText(row, c)) + 12);
    GridView *view = viewOfColumn(c);
    const int first = view->verticalScrollBar()->value() / m_rowHeight;
    const int shown = view->viewport()->height() / m_rowHeight + 1;
    for (int r = first; r < first + shown && r < m_model->rowCount(); ++r) {
        const int ordinal = m_model->ordinalOfRow(r);
        if (ordinal >= 0) width = std::max(width, cells.horizontalAdvance(displayText(ordinal, c)) + 12);
    }
    const QString footer = footerText(c);
    if (!footer.isEmpty()) width = std::max(width, cells.horizontalAdvance(footer) + 18);
    for (int group = 0; group < m_model->groupCount(); ++group)
        width = std::max(width, cells.horizontalAdvance(m_model->groupSummaryText(group, c)) + 12);
    return std::clamp(width, 24, 480);
}

void BandedGrid::bestFit(int column)
{
    setColumnWidth(column, bestFitWidth(column));
}

void BandedGrid::bestFit()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QList<GridColumn> all = columns();
    for (int c = 0; c < all.size(); ++c)
        if (all[c].visible) all[c].width = bestFitWidth(c);
    for (int c = 0; c < all.size(); ++c) m_model->setColumnWidth(c, all[c].width);
    applyColumnsToViews();
    QApplication::restoreOverrideCursor();
    Q_EMIT columnsChanged();
}

// ---- selection marks -------------------------------------------------------------------------------------------

bool BandedGrid::hasSelectionMarks() const
{
    DataSet *t = m_table;
    if (!t || !t->isActive()) return false;
    const int f = t->fieldIndex(u"Selected");
    return f >= 0 && t->fieldInfo(f).def.type == FieldType::Boolean;
}

QList<int> BandedGrid::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_views[1]->selectionModel()->selectedIndexes()) {
        const int ordinal = m_model->ordinalOfRow(index.row());
        if (ordinal >= 0 && !rows.contains(ordinal)) rows.append(ordinal);
    }
    if (rows.isEmpty() && currentRow() >= 0) rows.append(currentRow());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int BandedGrid::markRows(const QList<int> &rows, int mode)
{
    if (!hasSelectionMarks() || rows.isEmpty() || !postEdit()) return 0;
    DataSet *t = m_table;
    const int f = t->fieldIndex(u"Selected");
    QScopedValueRollback guard(m_syncing, true);
    const Bookmark keep = t->bookmark();
    // By bookmark: a mark may move the row when the table is ordered or filtered by it.
    QList<Bookmark> marks;
    for (int ordinal : rows) {
        const int src = m_model->sourceRowOfOrdinal(ordinal);
        if (src >= 0 && t->moveTo(src)) marks.append(t->bookmark());
    }
    int changed = 0;
    try {
        for (Bookmark b : std::as_const(marks)) {
            if (!t->gotoBookmark(b)) continue;
            const QVariant old = t->field(f).value();
            const bool mark = mode == 2 ? !old.toBool() : mode == 1;
            if (!wire::isNull(old) && old.toBool() == mark) continue;
            t->edit();
            t->field(f).setValue(mark);
            t->post();
            ++changed;
        }
    } catch (const std::runtime_error &e) {
        t->cancel();
        Q_EMIT editError(QString::fromUtf8(e.what()));
    }
    if (keep >= 0) t->gotoBookmark(keep);
    return changed;
}

int BandedGrid::markSelectedRows(bool selected) { return markRows(selectedRows(), selected ? 1 : 0); }

int BandedGrid::markAllRows()
{
    QList<int> rows(dataRowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return markRows(rows, 1);
}

int BandedGrid::invertMarks()
{
    QList<int> rows(dataRowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return markRows(rows, 2);
}

// ---- copy ------------------------------------------------------------------------------------------------------

QString BandedGrid::selectionText() const
{
    QList<int> rows, columns;
    const QModelIndexList selected = m_views[1]->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const int ordinal = m_model->ordinalOfRow(index.row());
        if (ordinal < 0 || !column(index.column()).visible) continue;
        if (!rows.contains(ordinal)) rows.append(ordinal);
        if (!columns.contains(index.column())) columns.append(index.column());
    }
    if (rows.isEmpty()) {
        if (currentRow() < 0) return {};
        rows = {currentRow()};
        columns = visibleColumns();
    }
    std::sort(rows.begin(), rows.end());
    std::sort(columns.begin(), columns.end());
    auto clean = [](QString text) {
        text.replace(u'\t', u' ');
        text.replace(u'\n', u' ');
        text.replace(u'\r', u' ');
        return text;
    };
    QStringList lines;
    QStringList header;
    for (int c : std::as_const(columns)) header.append(clean(columnCaption(c)));
    lines.append(header.join(u'\t'));
    for (int row : std::as_const(rows)) {
        QStringList cells;
        for (int c : std::as_const(columns)) cells.append(clean(displayText(row, c)));
        lines.append(cells.join(u'\t'));
    }
    return lines.join(u'\n') + u'\n';
}

void BandedGrid::copySelection() const
{
    const QString text = selectionText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

// ---- header menu --------------------------------------------------------------------------------------------------

QMenu *BandedGrid::headerMenu(int c)
{
    if (!m_headerMenu) m_headerMenu = new QMenu(this);
    QMenu *menu = m_headerMenu;
    menu->clear();
    const bool valid = c >= 0 && c < columnCount();
    if (valid) {
        bool sorted = false;
        for (const GridSortColumn &s : m_sort) sorted = sorted || s.field.compare(column(c).field, Qt::CaseInsensitive) == 0;
        menu->addAction(QStringLiteral("升序排列"), this, [this, c] { sortBy(c, Qt::AscendingOrder); });
        menu->addAction(QStringLiteral("降序排列"), this, [this, c] { sortBy(c, Qt::DescendingOrder); });
        menu->addAction(QStringLiteral("取消排序"), this, [this, c] { removeSort(c); })->setEnabled(sorted);
        menu->addSeparator();
        // A locked column is grouped, hidden and moved by the page only.
        const bool locked = column(c).locked;
        QAction *grouping = groupColumns().contains(c) ? menu->addAction(QStringLiteral("取消按此列分组"), this, [this, c] { ungroup(c); })
                                                       : menu->addAction(QStringLiteral("按此列分组"), this, [this, c] { groupBy(c); });
        grouping->setEnabled(!locked);
    }
    const bool grouped = !groupColumns().isEmpty();
    menu->addAction(QStringLiteral("全部展开"), this, &BandedGrid::expandAll)->setEnabled(grouped);
    menu->addAction(QStringLiteral("全部折叠"), this, &BandedGrid::collapseAll)->setEnabled(grouped);
    QAction *box = menu->addAction(QStringLiteral("显示分组框"), this, [this](bool on) { setGroupByBoxVisible(on); });
    box->setCheckable(true);
    box->setChecked(m_groupBoxVisible);
    menu->addSeparator();
    if (valid) {
        menu->addAction(QStringLiteral("最佳宽度"), this, [this, c] { bestFit(c); });
        const bool locked = column(c).locked;
        menu->addAction(QStringLiteral("隐藏此列"), this, [this, c] { setColumnVisible(c, false); })->setEnabled(!locked);
        QAction *band = c < fixedBandColumnCount()
                            ? menu->addAction(QStringLiteral("移到活动列"), this, [this, c] { moveColumn(c, fixedBandColumnCount() - 1, 1); })
                            : menu->addAction(QStringLiteral("移到固定列"), this, [this, c] { moveColumn(c, fixedBandColumnCount(), 0); });
        band->setEnabled(!locked);
    }
    menu->addAction(QStringLiteral("全部最佳宽度"), this, qOverload<>(&BandedGrid::bestFit));
    QMenu *hidden = menu->addMenu(QStringLiteral("显示列"));
    for (int h = 0; h < columnCount(); ++h)
        if (!column(h).visible && !column(h).locked) hidden->addAction(columnCaption(h), this, [this, h] { setColumnVisible(h, true); });
    hidden->setEnabled(!hidden->isEmpty());
    return menu;
}

QMimeData *BandedGrid::columnMimeData(int column, bool fromGroupBox) const
{
    auto *mime = new QMimeData;
    // The grid's address keeps another grid's columns out.
    mime->setData(QLatin1String(fromGroupBox ? kGroupMime : kColumnMime),
                  QByteArray::number(quintptr(this)) + ':' + QByteArray::number(column));
    return mime;
}

int BandedGrid::headerDropPosition(int band, int x, GridHeader *header) const
{
    const int fixed = fixedBandColumnCount();
    const int begin = band == 0 ? 0 : fixed;
    const int end = band == 0 ? fixed : columnCount();
    for (int c = begin; c < end; ++c) {
        if (!column(c).visible) continue;
        if (x < header->sectionViewportPosition(c) + header->sectionSize(c) / 2) return c;
    }
    return end;
}

} // namespace lumeko
