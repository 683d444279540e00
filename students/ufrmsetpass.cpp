#include "students/ufrmsetpass.h"

#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "toolkit/data/dataset.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace lumeko::achieve {

TfrmSetPass::TfrmSetPass(DataSet *people, int mode, QWidget *parent) : QDialog(parent), m_people(people), m_mode(mode)
{
    setWindowTitle(QStringLiteral("密码设置"));
    edPassword = new QLineEdit(this);
    edConfirm = new QLineEdit(this);
    for (QLineEdit *e : {edPassword, edConfirm}) e->setEchoMode(QLineEdit::Password);
    auto *buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("确    定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取    消"), QDialogButtonBox::RejectRole);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("新密码："), edPassword);
    form->addRow(QStringLiteral("确认密码："), edConfirm);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfrmSetPass::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TfrmSetPass::confirm()
{
    if (edPassword->text() != edConfirm->text()) {
        pub::msgHint(QStringLiteral("两次输入密码不符，请重输！"), this);
        edPassword->clear();
        edConfirm->clear();
        edPassword->setFocus();
        return;
    }
    qint64 result = 0;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在设置密码......"));
        pub::ServerObject up = pub::ServerObject::studentUp();
        // The password goes as typed; the server stores only its hash.
        for (m_people->first(); !m_people->eof(); m_people->next()) {
            const QString code = m_people->value(u"sCode").toString();
            const wire::Reply r = up.call(protocol::SetPass, {in(pub::schoolId()), in(code), in(edPassword->text()), var(qint64(m_mode))});
            const qint64 *n = std::get_if<qint64>(&r.result);
            result = r.ok() && n ? *n : 0;
            QApplication::processEvents();
        }
    }
    if (result == 1) {
        pub::msgHint(QStringLiteral("密码设置成功！"), this);
        accept();
    } else {
        pub::msgError(QStringLiteral("密码设置失败！"), this);
    }
}

} // namespace lumeko::achieve
