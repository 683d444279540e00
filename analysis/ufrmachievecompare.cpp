#include "analysis/ufrmachievecompare.h"

#include "analysis/analysiscall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

TfrmAchieveCompare::TfrmAchieveCompare(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("成绩对比"));
    applyHostLook(this, true);
    rbPercent = new QRadioButton(itemGroupCaptions().at(PercentItems), this);
    rbCount = new QRadioButton(itemGroupCaptions().at(CountItems), this);
    rbAll = new QRadioButton(itemGroupCaptions().at(AllItems), this);
    rgItemOption = new QButtonGroup(this);
    rgItemOption->addButton(rbPercent, PercentItems);
    rgItemOption->addButton(rbCount, CountItems);
    rgItemOption->addButton(rbAll, AllItems);
    clbItems = new QListWidget(this);
    clbRange = new QListWidget(this);
    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnOK->setDefault(true);

    auto *options = new QGroupBox(QStringLiteral("统计项目"), this);
    auto *ol = new QHBoxLayout(options);
    for (QRadioButton *b : {rbPercent, rbCount, rbAll})
        ol->addWidget(b);
    auto *items = new QGroupBox(QStringLiteral("分析项目"), this);
    (new QVBoxLayout(items))->addWidget(clbItems);
    clbItems->setFlow(QListView::TopToBottom);
    clbItems->setWrapping(true);
    clbItems->setResizeMode(QListView::Adjust);
    clbItems->setMinimumSize(420, 200);
    auto *range = new QGroupBox(QStringLiteral("统计范围"), this);
    (new QVBoxLayout(range))->addWidget(clbRange);

    auto *body = new QHBoxLayout;
    body->addWidget(items, 1);
    body->addWidget(range);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(options);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    addCheckItems(clbItems, compareItemCaptions(), statesOf(m_defaultItems, 21));
    connect(rgItemOption, &QButtonGroup::idClicked, this,
            [this](int id) { setCheckStates(clbItems, applyItemGroup(id, checkStates(clbItems), enabledStates(clbItems))); });
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveCompare::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmAchieveCompare::InitForm()
{
    if (SettingsFile.isEmpty()) SettingsFile = userSettingsFile(QStringLiteral("AchAnalysis.ini"));
    if (!fillStudentRange(clbRange, PickedAllowed, this, windowTitle())) return false;
    setCheckStates(clbItems, statesOf(m_defaultItems, 21));
    CompareChoice choice;
    restoreChoice(&choice);
    return true;
}

bool TfrmAchieveCompare::restoreChoice(CompareChoice *choice)
{
    if (!readCompareChoice(SettingsFile, choice)) return false;
    // The group first, as choosing it would: the stored items then say what is ticked.
    setItemOption(choice->itemOption);
    if (!choice->items.isEmpty()) setCheckStates(clbItems, statesOf(choice->items, 21));
    for (int i = 0; i < clbRange->count(); ++i) {
        QListWidgetItem *item = clbRange->item(i);
        if (item->flags() & Qt::ItemIsEnabled) item->setCheckState(choice->range.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    return true;
}

int TfrmAchieveCompare::ItemOption() const
{
    return rgItemOption->checkedId();
}

void TfrmAchieveCompare::setItemOption(int option)
{
    if (QAbstractButton *b = rgItemOption->button(option)) {
        b->setChecked(true);
        setCheckStates(clbItems, applyItemGroup(option, checkStates(clbItems), enabledStates(clbItems)));
    }
}

QString TfrmAchieveCompare::ItemsText() const
{
    return stateText(checkStates(clbItems));
}
QStringList TfrmAchieveCompare::RangeCaptions() const
{
    return checkedCaptions(clbRange);
}
bool TfrmAchieveCompare::PickedOnly() const
{
    return RangeCaptions().contains(kPickedStudents);
}

CompareChoice TfrmAchieveCompare::currentChoice() const
{
    CompareChoice c;
    c.itemOption = ItemOption();
    c.items = ItemsText();
    c.range = RangeCaptions();
    return c;
}

bool TfrmAchieveCompare::checkChoice()
{
    if (!checkStates(clbItems).contains(true)) {
        pub::msgHint(QStringLiteral("请至少选择一项分析项目！"), this);
        return false;
    }
    if (RangeCaptions().isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要统计的范围！"), this);
        return false;
    }
    return true;
}

void TfrmAchieveCompare::btnOKClick()
{
    if (!checkChoice()) return;
    writeCompareChoice(SettingsFile, currentChoice());
    accept();
}

} // namespace lumeko::achieve
