#include "framework/ufrmpubrptset.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/report/ui/reportdesigner.h"

#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>

namespace lumeko::achieve {

TfrmPubRptSet::TfrmPubRptSet(const QString &folder, QWidget *parent) : QDialog(parent), m_folder(folder)
{
    routeReportQuestionsToHost();
    setWindowTitle(QStringLiteral("报表设置"));
    lstReports = new QListWidget(this);
    btnModify = new QPushButton(QStringLiteral("修改报表"), this);
    btnNew = new QPushButton(QStringLiteral("新建报表"), this);
    btnQuit = new QPushButton(QStringLiteral("退出"), this);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btnModify);
    buttons->addWidget(btnNew);
    buttons->addStretch();
    buttons->addWidget(btnQuit);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(lstReports, 1);
    layout->addLayout(buttons);
    resize(420, 300);
    openDesigner = [](const QString &path, const QString &folder, QWidget *owner) { report::ReportDesigner::exec(path, owner, folder); };
    connect(btnModify, &QPushButton::clicked, this, &TfrmPubRptSet::modifyReport);
    connect(btnNew, &QPushButton::clicked, this, &TfrmPubRptSet::newReport);
    connect(btnQuit, &QPushButton::clicked, this, [this] { done(2); });
    connect(lstReports, &QListWidget::itemDoubleClicked, this, &TfrmPubRptSet::modifyReport);
    fillList();
}

void TfrmPubRptSet::fillList()
{
    lstReports->clear();
    int n = 0;
    for (const QString &name : QDir(m_folder).entryList(QDir::Files, QDir::Unsorted)) {
        if (!name.toUpper().endsWith(QStringLiteral(".FRF"))) continue;
        lstReports->addItem(QStringLiteral("%1. %2").arg(++n).arg(name.left(name.size() - 4)));
    }
}

void TfrmPubRptSet::modifyReport()
{
    QListWidgetItem *item = lstReports->currentItem();
    if (!item) {
        pub::msgHint(QStringLiteral("请选择要修改的报表！"), this);
        return;
    }
    const QString name = item->text().section(QStringLiteral(". "), 1);
    openDesigner(m_folder + name + QStringLiteral(".frf"), m_folder, this);
    fillList();
}

void TfrmPubRptSet::newReport()
{
    openDesigner(QString(), m_folder, this);
    fillList();
}

} // namespace lumeko::achieve
