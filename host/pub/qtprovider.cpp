#include "host/pub/qtprovider.h"

#include "host/pub/waitoverlay.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cstdio>

namespace lumeko::pub {

namespace {

QWidget *ownerOrActive(QWidget *owner) { return owner ? owner : QApplication::activeWindow(); }

QMessageBox::Icon iconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Hint: return QMessageBox::Information;
    case MessageKind::Warn: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Confirm:
    case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtProvider::QtProvider(QtProviderOptions options) : m_options(std::move(options))
{
    if (m_options.appPath.isEmpty()) m_options.appPath = QCoreApplication::applicationDirPath();
    if (!m_options.appPath.endsWith(u'/')) m_options.appPath += u'/';
    if (m_options.appName.isEmpty()) m_options.appName = QCoreApplication::applicationName();
    if (m_options.helpFolder.isEmpty()) m_options.helpFolder = m_options.appPath + QStringLiteral("data/help/");
    if (m_options.logFile.isEmpty())
        m_options.logFile = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/lumeko.log");
}

QtProvider::~QtProvider()
{
    delete m_wait;
    delete m_help;
}

int QtProvider::messageBox(const Message &message)
{
    QMessageBox box(iconOf(message.kind), messageTitle(message.kind), message.text, QMessageBox::NoButton, ownerOrActive(message.owner));
    box.setFont(QApplication::font());
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setDefaultButton(box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole));
        box.exec();
        return AnswerYes;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: {
        QPushButton *yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
        QPushButton *cancel = nullptr;
        if (message.buttons == MessageButtons::YesNoCancel) {
            cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
            box.setEscapeButton(cancel);
        } else {
            box.setEscapeButton(no);
        }
        box.setDefaultButton(yes);
        box.exec();
        if (box.clickedButton() == yes) return AnswerYes;
        if (box.clickedButton() == no) return AnswerNo;
        return cancel ? AnswerCancel : AnswerNo;
    }
    }
    return AnswerCancel;
}

void QtProvider::showWait(QWidget *owner, const QString &text)
{
    // A nested call keeps the notice where it is and changes its text.
    if (!m_wait) m_wait = new WaitOverlay(owner);
    m_wait->setText(text);
    if (!m_wait->isVisible()) {
        m_wait->show();
        m_wait->raise();
        m_wait->setFocus();
        m_wait->repaint();
    }
}

void QtProvider::hideWait()
{
    if (!m_wait) return;
    m_wait->hide();
    m_wait->deleteLater();
    m_wait = nullptr;
}

QString QtProvider::helpText(const QString &helpName) const
{
    const QString name = helpName.trimmed();
    const bool plainName = !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && !name.startsWith(u'.');
    if (plainName) {
        QFile file(QDir(m_options.helpFolder).filePath(name + QStringLiteral(".html")));
        if (file.open(QIODevice::ReadOnly)) return QString::fromUtf8(file.readAll());
    }
    return QStringLiteral("暂无帮助");
}

void QtProvider::showHelp(QWidget *owner, const QString &helpName)
{
    if (!m_help) {
        m_help = new QDialog(ownerOrActive(owner), Qt::Window);
        m_help->setObjectName(QStringLiteral("lumekoHelp"));
        m_help->resize(720, 540);
        auto *layout = new QVBoxLayout(m_help);
        m_helpBrowser = new QTextBrowser(m_help);
        m_helpBrowser->setOpenExternalLinks(false);
        m_helpBrowser->setSearchPaths({m_options.helpFolder});
        layout->addWidget(m_helpBrowser);
        auto *buttons = new QDialogButtonBox(m_help);
        buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
        connect(buttons, &QDialogButtonBox::rejected, m_help, &QDialog::close);
        layout->addWidget(buttons);
    }
    m_help->setWindowTitle(QStringLiteral("帮助 - ") + helpName);
    m_helpBrowser->setHtml(helpText(helpName));
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void QtProvider::showDownGrade(QWidget *owner, const QString &text)
{
    const QStringList parts = text.split(u'|');
    QString body = QStringLiteral("本机尚未配置学籍国网下载服务，请在学籍国网导出学生名单后，用学生导入功能导入。");
    if (parts.size() == 2)
        body += QStringLiteral("\n\n入学年份：%1　年级代码：%2").arg(parts[0].trimmed(), parts[1].trimmed());
    Message m{MessageKind::Hint, body, MessageButtons::Ok, owner};
    messageBox(m);
}

QString QtProvider::openChooser(QWidget *owner, const QString &kind)
{
    if (kind.trimmed() != u"0") {
        writeLog(QStringLiteral("未知的选择窗口类型：") + kind);
        return QStringLiteral("CANCEL");
    }
    QDialog dialog(ownerOrActive(owner));
    dialog.setObjectName(QStringLiteral("lumekoGradeChooser"));
    dialog.setWindowTitle(QStringLiteral("选择年级"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("请选择年级："), &dialog));
    auto *list = new QListWidget(&dialog);
    const QList<GradeChoice> choices = gradeChoices();
    for (const GradeChoice &c : choices) list->addItem(c.text);
    if (!choices.isEmpty()) list->setCurrentRow(0);
    layout->addWidget(list);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    ok->setEnabled(!choices.isEmpty());
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return QStringLiteral("CANCEL");
    return choices.value(list->currentRow()).params;
}

void QtProvider::writeLog(const QString &text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
    line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + line + u'\n';
    QDir().mkpath(QFileInfo(m_options.logFile).absolutePath());
    QFile file(m_options.logFile);
    if (file.open(QIODevice::Append | QIODevice::Text)) {
        file.write(line.toUtf8());
        return;
    }
    // The log must not be lost when the data folder cannot be written.
    const QByteArray bytes = (QStringLiteral("lumeko: ") + line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

} // namespace lumeko::pub
