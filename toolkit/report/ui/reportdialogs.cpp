#include "toolkit/report/ui/reportdialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QPrintDialog>
#include <QPrinter>

namespace lumeko::report {

ReportDialogs &reportDialogs()
{
    static ReportDialogs installed;
    return installed;
}

namespace dialogs {

QMessageBox::StandardButton ask(QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons)
{
    if (reportDialogs().ask) return reportDialogs().ask(parent, text, buttons);
    QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), text, QMessageBox::NoButton, parent);
    const std::pair<QMessageBox::StandardButton, const char *> captions[] = {
        {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Ok, "确定"}};
    for (const auto &[button, caption] : captions)
        if (buttons & button) box.addButton(button)->setText(QString::fromUtf8(caption));
    box.exec();
    const QMessageBox::StandardButton chosen = box.standardButton(box.clickedButton());
    return chosen == QMessageBox::NoButton ? QMessageBox::Cancel : chosen;
}

void error(QWidget *parent, const QString &text)
{
    if (reportDialogs().error) return reportDialogs().error(parent, text);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), text, QMessageBox::NoButton, parent);
    box.addButton(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

QString openFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter)
{
    if (reportDialogs().openFileName) return reportDialogs().openFileName(parent, caption, start, filter);
    return QFileDialog::getOpenFileName(parent, caption, start, filter);
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter)
{
    if (reportDialogs().saveFileName) return reportDialogs().saveFileName(parent, caption, start, filter);
    return QFileDialog::getSaveFileName(parent, caption, start, filter);
}

bool askText(QWidget *parent, const QString &caption, const QString &label, QString *text)
{
    if (reportDialogs().askText) return reportDialogs().askText(parent, caption, label, text);
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, *text, &ok);
    if (ok) *text = answer;
    return ok;
}

bool choosePrinter(QWidget *parent, QPrinter *printer, int pageCount)
{
    if (reportDialogs().choosePrinter) return reportDialogs().choosePrinter(parent, printer, pageCount);
    QPrintDialog dialog(printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印"));
    dialog.setMinMax(1, std::max(pageCount, 1));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pageCount > 1);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace dialogs
} // namespace lumeko::report
