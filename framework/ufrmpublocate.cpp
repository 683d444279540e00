#include "framework/ufrmpublocate.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace lumeko::achieve {

TfrmPubLocate::TfrmPubLocate(QWidget *page) : QDialog(page, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("快速查找"));
    setModal(false);
    cbFields = new QComboBox(this);
    edText = new QLineEdit(this);
    chkInitials = new QCheckBox(QStringLiteral("按拼音首字母"), this);
    chkInitials->setChecked(true);
    chkWholeText = new QCheckBox(QStringLiteral("全字匹配"), this);
    btnFind = new QPushButton(QStringLiteral("查  找(&F)"), this);
    btnClose = new QPushButton(QStringLiteral("关  闭(&Q)"), this);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("查找字段："), cbFields);
    form->addRow(QStringLiteral("查找内容："), edText);
    auto *options = new QHBoxLayout;
    options->addWidget(chkInitials);
    options->addWidget(chkWholeText);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnFind);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(options);
    layout->addLayout(buttons);

    // The pinyin initials of the characters the school's names are written with.
    m_search.setInitials(PinyinTable::load(pub::appPath() + QStringLiteral("Chinese.dll")));
    connect(btnFind, &QPushButton::clicked, this, &TfrmPubLocate::find);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::hide);
    connect(edText, &QLineEdit::returnPressed, this, [this] {
        find();
        edText->selectAll();
    });
    const auto restart = [this] { m_search.restart(); };
    connect(cbFields, &QComboBox::currentIndexChanged, this, restart);
    connect(edText, &QLineEdit::textChanged, this, restart);
    connect(chkInitials, &QCheckBox::toggled, this, restart);
    connect(chkWholeText, &QCheckBox::toggled, this, restart);
    applyHostLook(this, true);
}

void TfrmPubLocate::setFieldList(const QString &fields)
{
    m_fields.clear();
    cbFields->clear();
    for (const QString &item : fields.split(u',', Qt::SkipEmptyParts)) {
        m_fields << item.section(u'-', 0, 0);
        cbFields->addItem(item.section(u'-', 1));
    }
}

void TfrmPubLocate::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (cbFields->count() > 0) {
        if (cbFields->currentIndex() < 0) cbFields->setCurrentIndex(0);
        edText->setFocus();
    }
}

void TfrmPubLocate::find()
{
    if (edText->text().isEmpty()) {
        pub::msgHint(QStringLiteral("请输入查找内容！"), this);
        edText->setFocus();
        return;
    }
    const QString field = m_fields.value(cbFields->currentIndex());
    switch (m_search.find(field, edText->text(), chkInitials->isChecked(), chkWholeText->isChecked())) {
    case LocateSearch::Result::Found: break;
    case LocateSearch::Result::NotFound: pub::msgHint(QStringLiteral("未找到相匹配数据！"), this); break;
    case LocateSearch::Result::NoMore: pub::msgHint(QStringLiteral("已没有更多匹配数据了！"), this); break;
    }
}

} // namespace lumeko::achieve
