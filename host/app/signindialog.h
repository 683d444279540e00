#pragma once
// The host's sign-in: login (name, mobile or e-mail) and password against the server the host
// talks to, embedded or shared.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lumeko::wire {
class ServerLink;
}

namespace lumeko::host {

class SignInDialog : public QDialog {
    Q_OBJECT
public:
    SignInDialog(wire::ServerLink &link, const QString &where, QWidget *parent = nullptr);

    QLineEdit *edLogin;
    QLineEdit *edPassword;
    QLabel *lblError;
    QPushButton *btnSignIn;

public Q_SLOTS:
    void trySignIn();

private:
    wire::ServerLink &m_link;
};

} // namespace lumeko::host
