#include "students/ufrminpicture.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "students/studentphotos.h"
#include "toolkit/data/dataset.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kAllPictures = QStringLiteral("所有图片格式(BMP;JPG;JPEG)");
const QString kFinish = QStringLiteral("(&O)完  成");
const QString kUp = QStringLiteral("..");
const char *const kMatchFields[] = {"sNo", "sName", "sPNO", "sCode"};
const char *const kStepTitles[] = {"第一步 照片导入设置", "第二步 照片文件源", "第三步 导入结果"};

} // namespace

TfrmInPicture::TfrmInPicture(DataSet *students, const QString &gradeCode, int inYear, const QString &classCode, QWidget *parent)
    : QDialog(parent), m_students(students), m_gradeCode(gradeCode.left(4)), m_inYear(inYear), m_classCode(classCode.left(3))
{
    setWindowTitle(QStringLiteral("导入照片"));
    cdsDataPic = new DataSet(this);
    chooseFolder = [](QWidget *owner, const QString &start) {
        return QFileDialog::getExistingDirectory(owner, QStringLiteral("选择文件夹"), start);
    };

    // The title band names the step.
    auto *title = new QWidget(this);
    title->setAutoFillBackground(true);
    QPalette tp = title->palette();
    tp.setColor(QPalette::Window, pub::titleBackColor());
    tp.setColor(QPalette::WindowText, pub::titleFontColor());
    title->setPalette(tp);
    lbStep = new QLabel(title);
    QFont bold = lbStep->font();
    bold.setBold(true);
    bold.setPointSize(pub::appFontSize() + 2);
    lbStep->setFont(bold);
    auto *titleLayout = new QHBoxLayout(title);
    titleLayout->setContentsMargins(12, 8, 12, 8);
    titleLayout->addWidget(lbStep);

    pcSteps = new QStackedWidget(this);

    // Step 1: how files are matched, which photo, replacing, the size limit.
    auto *settings = new QWidget;
    cbMatchKey = new QComboBox(settings);
    cbMatchKey->addItems({QStringLiteral("学籍辅号"), QStringLiteral("姓名"), QStringLiteral("身份证号"), QStringLiteral("系统编码")});
    cbMatchKey->setCurrentIndex(1);
    cbImageType = new QComboBox(settings);
    cbImageType->addItems({QStringLiteral("入学照"), QStringLiteral("毕业照")});
    chkReplace = new QCheckBox(QStringLiteral("覆盖导入"), settings);
    lbNote = new QLabel(settings);
    lbLink = new QLabel(settings);
    lbLink->setWordWrap(true);
    lbLink->setOpenExternalLinks(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("导入方式："), cbMatchKey);
    form->addRow(QStringLiteral("照片类型："), cbImageType);
    form->addRow(QString(), chkReplace);
    // What the clerk needs to know before choosing the folder.
    auto *about = new QGroupBox(QStringLiteral("说明"), settings);
    auto *hint = new QLabel(QStringLiteral("1. 照片文件以学生的学籍辅号、姓名、身份证号或系统编码命名（与“导入方式”一致），例如“张三.jpg”。\n"
                                           "2. 支持 BMP、JPG、JPEG 格式的照片。\n"
                                           "3. 已有照片的学生，只有勾选“覆盖导入”时才替换原照片。"),
                            about);
    hint->setWordWrap(true);
    auto *aboutLayout = new QVBoxLayout(about);
    aboutLayout->addWidget(hint);
    aboutLayout->addWidget(lbNote);
    aboutLayout->addWidget(lbLink);
    auto *settingsLayout = new QVBoxLayout(settings);
    settingsLayout->setContentsMargins(24, 16, 24, 8);
    settingsLayout->addLayout(form);
    settingsLayout->addSpacing(8);
    settingsLayout->addWidget(about);
    settingsLayout->addStretch(1);
    pcSteps->addWidget(settings);

    // Step 2: the folder, its pictures and a preview.
    auto *source = new QWidget;
    cbFileType = new QComboBox(source);
    cbFileType->addItems({kAllPictures, QStringLiteral("*.BMP"), QStringLiteral("*.JPG"), QStringLiteral("*.JPEG")});
    edFolder = new QLineEdit(source);
    edFolder->setReadOnly(true);
    edFolder->setPlaceholderText(QStringLiteral("请选择照片所在的文件夹"));
    btnFolder = new QToolButton(source);
    btnFolder->setText(QStringLiteral("..."));
    btnFolder->setToolTip(QStringLiteral("选择文件夹"));
    lstFiles = new QListWidget(source);
    imgPreview = new QLabel(source);
    imgPreview->setAlignment(Qt::AlignCenter);
    imgPreview->setMinimumSize(150, 200);
    imgPreview->setFrameShape(QFrame::StyledPanel);
    imgPreview->setBackgroundRole(QPalette::Base);
    imgPreview->setAutoFillBackground(true);
    auto *previewBox = new QGroupBox(QStringLiteral("照片预览"), source);
    auto *previewLayout = new QVBoxLayout(previewBox);
    previewLayout->addWidget(imgPreview);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(edFolder, 1);
    folderRow->addWidget(btnFolder);
    auto *sourceForm = new QFormLayout;
    sourceForm->addRow(QStringLiteral("文件类型："), cbFileType);
    sourceForm->addRow(QStringLiteral("照片路径："), folderRow);
    auto *left = new QVBoxLayout;
    left->addLayout(sourceForm);
    left->addWidget(lstFiles, 1);
    auto *sourceLayout = new QHBoxLayout(source);
    sourceLayout->setContentsMargins(12, 12, 12, 4);
    sourceLayout->addLayout(left, 3);
    sourceLayout->addWidget(previewBox, 2);
    pcSteps->addWidget(source);

    // Step 3: what happened to each file.
    auto *result = new QWidget;
    lstResult = new QListWidget(result);
    auto *resultLayout = new QVBoxLayout(result);
    resultLayout->setContentsMargins(12, 12, 12, 4);
    resultLayout->addWidget(lstResult);
    pcSteps->addWidget(result);

    pbImport = new QProgressBar(this);
    pbImport->hide();
    btnPrior = new QPushButton(QStringLiteral("上一步(&P)"), this);
    btnNext = new QPushButton(QStringLiteral("下一步(&N)"), this);
    btnImport = new QPushButton(QStringLiteral("开始导入"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消(&C)"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pbImport, 1);
    buttons->addStretch();
    for (QPushButton *b : {btnPrior, btnNext, btnImport, btnCancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(title);
    layout->addWidget(pcSteps, 1);
    auto *buttonMargins = new QHBoxLayout;
    buttonMargins->setContentsMargins(12, 0, 12, 0);
    buttonMargins->addLayout(buttons);
    layout->addLayout(buttonMargins);

    connect(btnPrior, &QPushButton::clicked, this, &TfrmInPicture::acPriorExecute);
    connect(btnNext, &QPushButton::clicked, this, &TfrmInPicture::acNextExecute);
    connect(btnImport, &QPushButton::clicked, this, &TfrmInPicture::acImportExecute);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmInPicture::acCancelExecute);
    connect(btnFolder, &QToolButton::clicked, this, &TfrmInPicture::acFolderExecute);
    connect(cbFileType, &QComboBox::currentIndexChanged, this, [this] { fillFileList(); });
    connect(lstFiles, &QListWidget::itemDoubleClicked, this, &TfrmInPicture::fileActivated);
    connect(lstFiles, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *item) {
        if (item && item->text() != kUp) preview(QDir(edFolder->text()).filePath(item->text()));
    });

    // The host's colours and font size.
    applyHostLook(this, true);
    lbStep->setFont(bold); // the title keeps its own size

    readSizeLimit();
    showStep(0);
    resize(620, 440);
}

void TfrmInPicture::readSizeLimit()
{
    pub::ServerObject sys = pub::ServerObject::sysQry();
    QList<wire::Argument> args = {in(QStringLiteral("SysParams")), in(QStringLiteral("MaxImageSize")), var(QString())};
    const wire::Reply reply = sys.call(protocol::QRegisterByKey, args);
    const QString *value = std::get_if<QString>(&reply.result);
    bool number = false;
    const int limit = reply.ok() && value ? value->trimmed().toInt(&number) : 0;
    if (number && limit > 0) {
        MaxImageSize = limit;
        if (const QString *extra = std::get_if<QString>(&args[2].value); extra && !extra->trimmed().isEmpty()) LinkAddress = extra->trimmed();
    }
    lbNote->setText(QStringLiteral("备注：图片文件最大不超过%1K.").arg(MaxImageSize));
    const QString advice = QStringLiteral("照片太大时，可先用看图软件把它缩小后再导入。");
    lbLink->setText(LinkAddress.isEmpty() ? advice
                                          : advice + QStringLiteral("<a href=\"%1\">点此下载推荐的看图软件</a>").arg(LinkAddress.toHtmlEscaped()));
}

int TfrmInPicture::step() const { return pcSteps->currentIndex(); }

QString TfrmInPicture::matchField() const
{
    const int i = cbMatchKey->currentIndex();
    return QString::fromLatin1(kMatchFields[i >= 0 && i < 4 ? i : 1]);
}

void TfrmInPicture::showStep(int index)
{
    pcSteps->setCurrentIndex(index);
    lbStep->setText(QString::fromUtf8(kStepTitles[index]));
    btnPrior->setVisible(index >= 1);
    btnNext->setVisible(index == 0);
    btnImport->setVisible(index == 1);
    (index == 0 ? btnNext : index == 1 ? btnImport : btnCancel)->setDefault(true);
}

// The photo rows already stored for the grade (or class) and the chosen type.
bool TfrmInPicture::loadPhotoRows()
{
    pub::WaitIndicator wait(this);
    pub::ServerObject students = pub::ServerObject::studentQry();
    const wire::Reply reply = students.call(
        protocol::QStudPicForUp, {in(pub::schoolId()), in(m_gradeCode), in(m_classCode), var(qint64(m_inYear)), in(qint64(cbImageType->currentIndex()))});
    const auto *rows = std::get_if<wire::DataPacket>(&reply.result);
    if (!reply.ok() || !rows) {
        pub::writeLog(windowTitle() + QStringLiteral(": ") + reply.message);
        pub::msgError(QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！"), this);
        return false;
    }
    cdsDataPic->setData(*rows);
    return true;
}

void TfrmInPicture::acNextExecute()
{
    if (step() != 0 || !loadPhotoRows()) return;
    showStep(1);
}

void TfrmInPicture::acPriorExecute()
{
    if (step() > 0) showStep(step() - 1);
}

void TfrmInPicture::acCancelExecute()
{
    if (btnCancel->text() == kFinish) accept();
    else reject();
}

void TfrmInPicture::acFolderExecute()
{
    const QString folder = chooseFolder(this, edFolder->text().isEmpty() ? QDir::homePath() : edFolder->text());
    if (!folder.isEmpty()) setFolder(folder);
}

void TfrmInPicture::setFolder(const QString &folder)
{
    edFolder->setText(QDir::toNativeSeparators(QDir::cleanPath(folder)));
    edFolder->setToolTip(edFolder->text()); // a long path is cut off in the box
    fillFileList();
}

// The folder's files of the chosen type; extensions compare in upper case, so "a.jpg" is a JPG.
void TfrmInPicture::fillFileList()
{
    lstFiles->clear();
    m_preview = QImage();
    showPreview();
    const QString folder = edFolder->text();
    if (folder.isEmpty()) return;
    const QDir dir(folder);
    if (!dir.isRoot()) lstFiles->addItem(kUp);
    const QStringList types = cbFileType->currentIndex() <= 0 ? QStringList{QStringLiteral(".BMP"), QStringLiteral(".JPG"), QStringLiteral(".JPEG")}
                                                              : QStringList{cbFileType->currentText().mid(1)};
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files, QDir::Name | QDir::LocaleAware)) {
        if (file.suffix().isEmpty()) continue;
        if (types.contains(u'.' + file.suffix().toUpper())) lstFiles->addItem(file.fileName());
    }
}

QStringList TfrmInPicture::listedFiles() const
{
    QStringList files;
    for (int i = 0; i < lstFiles->count(); ++i)
        if (const QString name = lstFiles->item(i)->text(); name != kUp && name != u".") files << name;
    return files;
}

QStringList TfrmInPicture::resultLines() const
{
    QStringList lines;
    for (int i = 0; i < lstResult->count(); ++i) lines << lstResult->item(i)->text();
    return lines;
}

void TfrmInPicture::fileActivated(QListWidgetItem *item)
{
    if (!item) return;
    if (item->text() == kUp || item->text() == u".") {
        QDir dir(edFolder->text());
        if (dir.cdUp()) setFolder(dir.absolutePath());
        return;
    }
    preview(QDir(edFolder->text()).filePath(item->text()));
}

// Reads a picture file into the preview; false when it is no picture of its extension's kind.
bool TfrmInPicture::preview(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly)) content = file.readAll();
    m_preview = decodeStudentPhoto(content, QFileInfo(path).fileName());
    showPreview();
    if (bytes) *bytes = content;
    return !m_preview.isNull();
}

void TfrmInPicture::showPreview()
{
    if (m_preview.isNull()) {
        imgPreview->clear();
        return;
    }
    const QSize room = imgPreview->contentsRect().size();
    QPixmap pixmap = QPixmap::fromImage(m_preview);
    // A picture smaller than the frame is shown as it is; a larger one is shrunk to fit.
    if (pixmap.width() > room.width() || pixmap.height() > room.height()) pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    imgPreview->setPixmap(pixmap);
}

void TfrmInPicture::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    showPreview();
}

void TfrmInPicture::log(const QString &line)
{
    lstResult->addItem(line);
    lstResult->scrollToBottom();
}

void TfrmInPicture::setButtonsEnabled(bool on)
{
    for (QPushButton *b : {btnPrior, btnNext, btnImport, btnCancel}) b->setEnabled(on);
    btnFolder->setEnabled(on);
}

bool TfrmInPicture::locateStudent(const QString &value)
{
    try {
        return m_students && m_students->isActive() && m_students->locate(matchField(), {value});
    } catch (const std::exception &) {
        return false; // the register has no such column
    }
}

void TfrmInPicture::acImportExecute()
{
    const QString folder = edFolder->text();
    if (folder.isEmpty()) {
        pub::msgHint(QStringLiteral("请选择图片路径！"), this);
        return;
    }
    if (!cdsDataPic->isActive() && !loadPhotoRows()) return;
    const QStringList files = listedFiles();
    setButtonsEnabled(false);
    pbImport->setRange(0, int(files.size()));
    pbImport->setValue(0);
    pbImport->show();
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在导入照片......"));
        lstResult->clear();
        log(QStringLiteral("---开始导入---"));
        const QString school = pub::schoolId();
        const int type = cbImageType->currentIndex();
        const QString typeText = QString::number(type);
        const qint64 limit = qint64(MaxImageSize) * 1024;
        const bool hasSchool = cdsDataPic->fieldIndex(u"SchoolCode") >= 0;
        const Bookmark focused = m_students ? m_students->bookmark() : -1;
        pub::ServerObject sys = pub::ServerObject::sysQry();
        for (const QString &name : files) {
            pbImport->setValue(pbImport->value() + 1);
            QApplication::processEvents();
            const QString path = QDir(folder).filePath(name);
            const QString key = QFileInfo(name).completeBaseName();
            QByteArray bytes;
            if (!preview(path, &bytes)) {
                log(key + QStringLiteral("  文件识别错误！"));
                continue;
            }
            if (bytes.size() > limit) {
                log(key + QStringLiteral("  文件太大，超过%1K！").arg(MaxImageSize));
                continue;
            }
            if (!locateStudent(key)) {
                log(key + QStringLiteral("  导入失败，未找到匹配的学生！"));
                continue;
            }
            const QString code = m_students->value(u"sCode").toString();
            if (cdsDataPic->locate(QStringLiteral("scode;imgtype"), {code, typeText})) {
                if (!chkReplace->isChecked()) {
                    log(key + QStringLiteral("  ") + code + QStringLiteral(" 找到未覆盖！"));
                    continue;
                }
                cdsDataPic->edit();
                log(key + QStringLiteral("  ") + code + QStringLiteral(" 覆盖成功！"));
            } else {
                log(key + QStringLiteral("  ") + code + QStringLiteral(" 导入成功！"));
                cdsDataPic->append();
                cdsDataPic->setValue(u"scode", code);
                if (hasSchool) cdsDataPic->setValue(u"SchoolCode", school);
            }
            // The stored name: the upload time, a random number and the file's own extension.
            const QString stored = QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss")) +
                                   QString::number(QRandomGenerator::global()->bounded(100, 999)) + u'.' + QFileInfo(name).suffix();
            QList<wire::Argument> args = {var(studentPhotoFolder(school, type)), var(stored), var(bytes)};
            try {
                const wire::Reply reply = sys.call(protocol::VarToSFile, args);
                if (!reply.ok()) throw std::runtime_error(reply.message.toStdString());
                const qint64 *written = std::get_if<qint64>(&reply.result);
                if (written && *written == 1) {
                    cdsDataPic->setValue(u"imgtype", typeText);
                    cdsDataPic->setValue(u"imgfile", stored);
                    cdsDataPic->post();
                } else {
                    cdsDataPic->cancel();
                }
            } catch (const std::exception &e) {
                cdsDataPic->cancel();
                pub::writeLog(windowTitle() + QStringLiteral(": ") + QString::fromUtf8(e.what()));
                log(name + QStringLiteral("  导入失败，文件更新到服务器错误，不能创建目录！"));
            }
        }
        if (m_students && focused >= 0) m_students->gotoBookmark(focused);

        if (cdsDataPic->changeCount() > 0) {
            const CallResult r = saveTable(*cdsDataPic, protocol::UpPicture);
            if (r.ok()) {
                log(QStringLiteral("---照片数据提交成功！---"));
            } else {
                // The rows go back to what the server holds, so that a second run sees the truth.
                cdsDataPic->cancelUpdates();
                if (!r.message.isEmpty()) pub::writeLog(windowTitle() + QStringLiteral(": ") + r.message);
                log(QStringLiteral("---照片数据提交失败，可能网络不稳定，请稍后重试！---"));
            }
        }
        showStep(2);
        btnCancel->setText(kFinish);
    }
    setButtonsEnabled(true);
    pbImport->hide();
}

} // namespace lumeko::achieve
