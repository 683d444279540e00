#include "students/ufrmpicview.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "students/studentphotos.h"
#include "toolkit/data/dataset.h"
#include "toolkit/grid/bandedgrid.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumeko::achieve {

TfrmPicView::TfrmPicView(int mode, BandedGrid *grid, DataSet *photos, QWidget *parent)
    : QDialog(parent), m_mode(mode), m_grid(grid), m_photos(photos)
{
    setWindowTitle(QStringLiteral("照片查看"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    chooseSaveFile = [](QWidget *owner, const QString &suggested) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("另存为"), suggested,
                                            QStringLiteral("JPEG 图片 (*.jpg *.jpeg);;位图 (*.bmp)"));
    };

    imgPhoto = new QLabel(this);
    imgPhoto->setAlignment(Qt::AlignCenter);
    imgPhoto->setMinimumSize(240, 320);
    imgPhoto->setFrameShape(QFrame::StyledPanel);
    imgPhoto->setBackgroundRole(QPalette::Base);
    imgPhoto->setAutoFillBackground(true);

    const auto button = [this](const QString &caption, const char *icon) {
        auto *b = new QPushButton(pub::styleIcon(QString::fromLatin1(icon)), caption, this);
        b->setToolTip(caption);
        b->setAutoDefault(false);
        return b;
    };
    btnFirst = button(QStringLiteral("首笔"), "First");
    btnPrior = button(QStringLiteral("上笔"), "Prior");
    btnNext = button(QStringLiteral("下笔"), "Next");
    btnLast = button(QStringLiteral("末笔"), "Last");
    btnSaveAs = button(QStringLiteral("另存为..."), "Save");
    btnQuit = button(QStringLiteral("退出"), "Quit");
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btnFirst, btnPrior, btnNext, btnLast}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btnSaveAs);
    buttons->addWidget(btnQuit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(imgPhoto, 1);
    layout->addLayout(buttons);

    connect(btnFirst, &QPushButton::clicked, this, &TfrmPicView::acFirstExecute);
    connect(btnPrior, &QPushButton::clicked, this, &TfrmPicView::acPriorExecute);
    connect(btnNext, &QPushButton::clicked, this, &TfrmPicView::acNextExecute);
    connect(btnLast, &QPushButton::clicked, this, &TfrmPicView::acLastExecute);
    connect(btnSaveAs, &QPushButton::clicked, this, &TfrmPicView::acSaveAsExecute);
    connect(btnQuit, &QPushButton::clicked, this, &QDialog::close);

    applyHostLook(this, true);
    btnSaveAs->setEnabled(false);
    resize(520, 600);
}

void TfrmPicView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    showStudent();
}

void TfrmPicView::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    showPicture();
}

void TfrmPicView::showStudent()
{
    if (!m_grid || m_grid->dataRowCount() == 0) return;
    int row = m_grid->currentRow();
    if (row < 0) {
        const QList<int> visible = m_grid->visibleColumns();
        m_grid->setCurrentCell(0, visible.isEmpty() ? 0 : visible.first());
        row = 0;
    }
    // The grid's own cells, so that the row is the one the grid shows there.
    const auto text = [&](const char *field) {
        const int column = m_grid->columnOfField(QString::fromLatin1(field));
        if (column >= 0) return m_grid->value(row, column).toString();
        DataSet *table = m_grid->dataSet();
        return table ? table->value(QString::fromLatin1(field)).toString() : QString();
    };
    const QString code = text("sCode");
    if (code == m_shownCode) return;
    m_shownCode = code;
    m_shownName = text("sName");
    setWindowTitle(m_shownName + QStringLiteral("--") + text("sNO") + (m_mode == 0 ? QStringLiteral("  入学照片") : QStringLiteral("  毕业照片")));
    QString stored;
    if (m_photos && m_photos->isActive() && m_photos->locate(QStringLiteral("sCode;imgtype"), {code, QString::number(m_mode)}))
        stored = m_photos->value(u"imgfile").toString();
    m_picture = fetchStudentPhoto(pub::schoolId(), m_mode, stored);
    showPicture();
}

void TfrmPicView::showPicture()
{
    btnSaveAs->setEnabled(!m_picture.isNull());
    if (m_picture.isNull()) {
        imgPhoto->clear();
        return;
    }
    const QSize room = imgPhoto->contentsRect().size();
    imgPhoto->setPixmap(QPixmap::fromImage(m_picture).scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TfrmPicView::moveTo(int how)
{
    if (!m_grid || m_grid->dataRowCount() == 0) return;
    const int count = m_grid->dataRowCount();
    const int current = std::max(m_grid->currentRow(), 0);
    const int target = how == 0 ? 0 : how == 1 ? std::max(current - 1, 0) : how == 2 ? std::min(current + 1, count - 1) : count - 1;
    int column = m_grid->currentColumn();
    if (column < 0) {
        const QList<int> visible = m_grid->visibleColumns();
        column = visible.isEmpty() ? 0 : visible.first();
    }
    m_grid->setCurrentCell(target, column);
    showStudent();
}

void TfrmPicView::acSaveAsExecute()
{
    if (m_picture.isNull()) return;
    const QString path = chooseSaveFile(this, m_shownName + QStringLiteral(".jpg"));
    if (path.isEmpty()) return;
    // A name without a known picture extension is written as JPEG.
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    const bool known = !suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix);
    if (!m_picture.save(path, known ? nullptr : "JPEG")) pub::msgError(QStringLiteral("照片保存失败！"), this);
}

} // namespace lumeko::achieve
