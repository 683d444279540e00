#include "host/app/signindialog.h"

#include "host/pub/provider.h"
#include "host/pub/pub.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumeko::host {

SignInDialog::SignInDialog(wire::ServerLink &link, const QString &where, QWidget *parent) : QDialog(parent), m_link(link)
{
    setWindowTitle(QStringLiteral("登录 - %1").arg(pub::appName()));
    setWindowIcon(pub::styleIcon(QStringLiteral("AppIcon")));
    auto *title = new QLabel(QStringLiteral("<h2>学业管理</h2><p>%1</p>").arg(where.toHtmlEscaped()), this);
    edLogin = new QLineEdit(this);
    edLogin->setPlaceholderText(QStringLiteral("登录名、手机号码或电子邮箱"));
    edPassword = new QLineEdit(this);
    edPassword->setEchoMode(QLineEdit::Password);
    lblError = new QLabel(this);
    lblError->setStyleSheet(QStringLiteral("color: #b00020"));
    lblError->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("用户名："), edLogin);
    form->addRow(QStringLiteral("密  码："), edPassword);
    auto *buttons = new QDialogButtonBox(this);
    btnSignIn = buttons->addButton(QStringLiteral("登录"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(lblError);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SignInDialog::trySignIn);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(380);
}

void SignInDialog::trySignIn()
{
    if (edLogin->text().trimmed().isEmpty()) {
        lblError->setText(QStringLiteral("请输入用户名。"));
        edLogin->setFocus();
        return;
    }
    QString error;
    if (!pub::signIn(m_link, edLogin->text().trimmed(), edPassword->text(), &error)) {
        lblError->setText(error);
        edPassword->selectAll();
        edPassword->setFocus();
        return;
    }
    accept();
}

} // namespace lumeko::host
