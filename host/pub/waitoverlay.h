#pragma once
// The wait notice: a pale veil over the owner window with a framed text in its middle. It follows
// the owner's size, swallows mouse and key input meant for the owner while it shows, and paints
// at once when shown or changed, since the work it announces usually runs on the same thread
// without returning to the event loop.

#include "host/pub/pub_export.h"

#include <QWidget>

class QLabel;

namespace lumeko::pub {

class LUMEKO_PUB_EXPORT WaitOverlay : public QWidget {
    Q_OBJECT
public:
    // Without an owner the notice is a small window of its own in the middle of the screen.
    explicit WaitOverlay(QWidget *owner);

    void setText(const QString &text);
    QString text() const;
    QWidget *owner() const { return m_owner; }

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void fitOwner();
    QWidget *m_owner;
    QLabel *m_label;
};

} // namespace lumeko::pub
