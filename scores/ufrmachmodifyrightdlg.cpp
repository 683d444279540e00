#include "scores/ufrmachmodifyrightdlg.h"

#include "framework/modalrun.h"
#include "framework/sharedroutines.h"
#include "toolkit/data/commatext.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

QString roleCaption(int role)
{
    static const char *const captions[] = {"教务管理员", "科目组长", "年级长", "班主任", "备课组长", "任课老师"};
    return role >= 1 && role <= 6 ? QString::fromUtf8(captions[role - 1]) : QString();
}

TfrmAchModifyRightDlg::TfrmAchModifyRightDlg(QWidget *parent) : QDialog(parent), m_group(new QButtonGroup(this))
{
    setWindowTitle(QStringLiteral("请选择编辑身份"));
    auto *layout = new QVBoxLayout(this);
    auto *granted = new QGroupBox(QStringLiteral("已授予此成绩表可编辑的身份"), this);
    auto *gl = new QGridLayout(granted);
    for (int k = 0; k < 6; ++k) {
        chkGranted[k] = new QCheckBox(roleCaption(k + 1), granted);
        chkGranted[k]->setAttribute(Qt::WA_TransparentForMouseEvents);
        chkGranted[k]->setFocusPolicy(Qt::NoFocus);
        gl->addWidget(chkGranted[k], k / 3, k % 3);
    }
    layout->addWidget(granted);
    auto *mine = new QGroupBox(QStringLiteral("您可用的编辑身份"), this);
    mine->setObjectName(QStringLiteral("gbRoles"));
    new QVBoxLayout(mine);
    layout->addWidget(mine);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton(QStringLiteral("确  定(&O)"), this);
    btnOk->setDefault(true);
    buttons->addWidget(btnOk);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    applyHostLook(this, false);
}

void TfrmAchModifyRightDlg::setRights(int modifyRight, const QString &userRoles)
{
    const QStringList held = splitCommaText(userRoles);
    auto *box = findChild<QGroupBox *>(QStringLiteral("gbRoles"));
    qDeleteAll(rbRoles);
    rbRoles.clear();
    m_offered.clear();
    for (int k = 1; k <= 6; ++k) {
        const bool ticked = (modifyRight >> (k - 1)) & 1;
        chkGranted[k - 1]->setChecked(ticked);
        if (!ticked || !held.contains(QString::number(k))) continue;
        auto *rb = new QRadioButton(roleCaption(k), box);
        box->layout()->addWidget(rb);
        m_group->addButton(rb, k);
        rbRoles << rb;
        m_offered << QString::number(k);
    }
    // The last role on offer comes chosen.
    if (!rbRoles.isEmpty()) rbRoles.last()->setChecked(true);
}

QString TfrmAchModifyRightDlg::answer() const
{
    const int id = m_group->checkedId();
    return id > 0 ? QString::number(id) : QString();
}

QString TfrmAchModifyRightDlg::chooseRole(QWidget *owner, int modifyRight, const QString &userRoles)
{
    TfrmAchModifyRightDlg dialog(owner);
    dialog.setRights(modifyRight, userRoles);
    // Closing the dialog without 确定 edits nothing.
    if (dialog.offered().size() >= 2 && runModal(dialog) != QDialog::Accepted) return {};
    return dialog.answer();
}

} // namespace lumeko::achieve
