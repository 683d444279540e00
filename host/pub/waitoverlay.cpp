#include "host/pub/waitoverlay.h"

#include <QApplication>
#include <QEvent>
#include <QVBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace lumeko::pub {

WaitOverlay::WaitOverlay(QWidget *owner)
    : QWidget(owner, owner ? Qt::Widget : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_owner(owner)
{
    setObjectName(QStringLiteral("lumekoWaitOverlay"));
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("waitText"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setMinimumWidth(240);
    m_label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_label->setStyleSheet(QStringLiteral("QLabel { background: #FFFFFF; color: #1F3B57; border: 1px solid #7F9DB9;"
                                          " border-radius: 6px; padding: 18px 28px; }"));
    // The framed text keeps its own size in the middle, however large the owner is.
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_label, 0, Qt::AlignCenter);
    layout->addStretch();
    if (owner) {
        owner->installEventFilter(this);
        fitOwner();
    } else {
        setAttribute(Qt::WA_TranslucentBackground);
        resize(360, 120);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());
    }
}

void WaitOverlay::setText(const QString &text)
{
    m_label->setText(text);
    m_label->adjustSize();
    if (isVisible()) repaint();
}

QString WaitOverlay::text() const { return m_label->text(); }

void WaitOverlay::fitOwner()
{
    if (m_owner) setGeometry(m_owner->rect());
}

bool WaitOverlay::event(QEvent *event)
{
    // Input meant for the owner's widgets under the notice stops here.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

bool WaitOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        fitOwner();
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void WaitOverlay::paintEvent(QPaintEvent *)
{
    if (!m_owner) return;
    QPainter p(this);
    p.fillRect(rect(), QColor(238, 243, 248, 170));
}

} // namespace lumeko::pub
