#include "scores/ufrmmodifygradeper.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {
const char *const kShareFields[] = {"APer", "BPer", "CPer", "DPer", "EPer"};
const QString kNot100 = QStringLiteral("合计占比比例应该等于100%！");
} // namespace

TfrmModifyGradePer::TfrmModifyGradePer(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("修改成绩等级比例"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    cbArea = new QComboBox(this);
    form->addRow(QStringLiteral("区分校区"), cbArea);
    const char *const captions[] = {"等级A", "等级B", "等级C", "等级D", "等级E"};
    for (int i = 0; i < 5; ++i) {
        seShare[i] = new QDoubleSpinBox(this);
        seShare[i]->setDecimals(1);
        seShare[i]->setSuffix(QStringLiteral("%"));
        if (i < 4) {
            seShare[i]->setRange(1, 100);
            seShare[i]->setSingleStep(5);
        } else {
            seShare[i]->setRange(1, 50);
            seShare[i]->setSingleStep(0.1);
        }
        form->addRow(QString::fromUtf8(captions[i]), seShare[i]);
        connect(seShare[i], &QDoubleSpinBox::valueChanged, this, &TfrmModifyGradePer::shareChanged);
    }
    lbSum = new QLabel(this);
    form->addRow(QStringLiteral("合计"), lbSum);
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton(QStringLiteral("确    定"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消"), this);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &TfrmModifyGradePer::confirm);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbArea, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_showing || index == m_area) return;
        if (!leaveRow()) {
            const QSignalBlocker block(cbArea);
            cbArea->setCurrentIndex(m_area);
            return;
        }
        m_area = index;
        showRow();
    });
    applyHostLook(this, false);
}

void TfrmModifyGradePer::setShares(DataSet *shares, bool hasBranches, bool byBranch, const QString &mainCampus, const QString &subCampus)
{
    m_shares = shares;
    const QSignalBlocker block(cbArea);
    cbArea->clear();
    cbArea->addItem(mainCampus);
    if (byBranch) cbArea->addItem(subCampus);
    cbArea->setVisible(hasBranches);
    if (auto *form = qobject_cast<QFormLayout *>(layout()->itemAt(0)->layout())) form->setRowVisible(cbArea, hasBranches);
    cbArea->setCurrentIndex(0);
    m_area = 0;
    showRow();
}

// The row of the chosen campus: by its name, or the school's only row.
void TfrmModifyGradePer::showRow()
{
    if (!m_shares || m_shares->isEmpty()) return;
    const QString area = cbArea->currentText();
    if (!m_shares->locate(QStringLiteral("sArea"), {area})) m_shares->first();
    m_showing = true;
    for (int i = 0; i < 5; ++i) seShare[i]->setValue(m_shares->value(QString::fromLatin1(kShareFields[i])).toDouble());
    m_showing = false;
    shareChanged();
}

void TfrmModifyGradePer::shareChanged()
{
    double sum = 0;
    for (QDoubleSpinBox *s : seShare) sum += s->value();
    // Held as text, as shown: one decimal, so that 99.95 does not pass for 100.
    m_sumText = QString::number(std::round(sum * 10) / 10) + u'%';
    lbSum->setText(m_sumText);
    if (m_showing || !m_shares || m_shares->isEmpty()) return;
    m_shares->edit();
    for (int i = 0; i < 5; ++i) m_shares->setValue(QString::fromLatin1(kShareFields[i]), seShare[i]->value());
    m_shares->post();
}

bool TfrmModifyGradePer::leaveRow()
{
    if (QStringView(m_sumText).chopped(1).toDouble() == 100) return true;
    pub::msgHint(kNot100, this);
    return false;
}

void TfrmModifyGradePer::confirm()
{
    if (leaveRow()) accept();
}

} // namespace lumeko::achieve
