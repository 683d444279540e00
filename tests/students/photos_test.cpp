// Student photos: the batch import (matching file names to students, the size limit, pictures it
// cannot read, replacing or keeping stored photos, the upload into the server's file store), the
// viewer that walks the register's grid, and the register's photo button.

#include "framework/lumekoachieve.h"
#include "framework/pageregistry.h"
#include "students/studentphotos.h"
#include "students/ufrminpicture.h"
#include "students/ufrmpicview.h"
#include "students/ufrmstudentpage.h"

#include "registerfixtures.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {


class PhotosTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        server::Database &db = fx.db();
        db.exec("DELETE FROM \"XT_Fields\" WHERE \"sTable\" = 'XJ_Student'");
        const QString fld = "INSERT INTO \"XT_Fields\" (\"sTable\", \"sFldName\", \"iOrder\", \"sFldCaption\", \"bShowed\", \"nWidth\", \"sFieldType\") "
                            "VALUES ('XJ_Student', ?, ?, ?, ?, ?, ?)";
        int order = 0;
        for (const auto &[name, caption, type] : std::initializer_list<std::tuple<const char *, const char *, const char *>>{
                 {"Selected", "选择", "B"}, {"sName", "姓名", "S"}, {"sNO", "学籍辅号", "S"}, {"sPNO", "身份证号", "S"}, {"ClassCode", "班级", "S"},
                 {"iClassNo", "座号", "N"}, {"sSex", "性别", "S"}, {"sCode", "编码", "S"}, {"SchoolCode", "学校", "S"}, {"GradeCode", "年级", "S"},
                 {"InYear", "入学年份", "N"}})
            db.exec(fld, {QString::fromLatin1(name), ++order, QString::fromUtf8(caption), true, 8, QString::fromLatin1(type)});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"sNO\", \"sPNO\", \"sSex\", \"iState\", \"Selected\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, ?, ?, ?, '00', ?)";
        // Two students called 张三: the one in class 001 comes first in the grid.
        db.exec(student, {"{A}", "001", 1, QStringLiteral("张三"), "2026001", "110101201301010011", QStringLiteral("男"), false});
        db.exec(student, {"{B}", "001", 2, QStringLiteral("李四"), "2026002", "110101201301010022", QStringLiteral("女"), false});
        db.exec(student, {"{C}", "002", 1, QStringLiteral("张三"), "2026003", "110101201301010033", QStringLiteral("男"), false});
        db.exec(student, {"{D}", "002", 2, QStringLiteral("王五"), "2026004", "110101201301010044", QStringLiteral("男"), false});
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2026, '1701', ?)";
        for (const char *c : {"001", "002", "003"}) db.exec(gc, {c});
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8);
        signInAs("admin", "lumeko");
    }

    TfrmStudentPage *open(const char *params = "2026,1701,七年级,Y,")
    {
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        const qint32 handle = ShowStudentPage(&app, tab.get(), params);
        return qobject_cast<TfrmStudentPage *>(PageRegistry::instance().page(handle));
    }
    void close(TfrmStudentPage *page) { ClosePage(PageRegistry::handleFromName(page->objectName())); }

    // A plain picture of one colour in the pictures folder.
    QString picture(const QString &name, const char *format = "JPEG", QColor color = QColor(200, 30, 30), QSize size = {30, 40})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = pics.filePath(name);
        EXPECT_TRUE(image.save(path, format)) << name.toStdString();
        return path;
    }
    // A small JPEG made exactly `size` bytes long: bytes after its end marker are not read.
    void jpegOfSize(const QString &name, qsizetype size)
    {
        QFile file(picture(name, "JPEG", QColor(30, 120, 200), {8, 8}));
        ASSERT_LT(file.size(), size);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(QByteArray(size - file.size(), '\0'));
        file.close();
        ASSERT_EQ(QFileInfo(file.fileName()).size(), size);
    }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(pics.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // One run of the import: the settings, the folder, the import; the dialog stays open.
    void run(TfrmInPicture &dialog, int matchKey, int imageType, bool replace, const QString &folder)
    {
        dialog.cbMatchKey->setCurrentIndex(matchKey);
        dialog.cbImageType->setCurrentIndex(imageType);
        dialog.chkReplace->setChecked(replace);
        dialog.btnNext->click();
        ASSERT_EQ(dialog.step(), 1);
        dialog.setFolder(folder);
        dialog.btnImport->click();
        ASSERT_EQ(dialog.step(), 2);
    }

    QStringList storedFiles(int type = 0) const
    {
        return QDir(fx.fileStore() + QStringLiteral("/StudentPics/S1/%1").arg(type)).entryList(QDir::Files, QDir::Name);
    }
    QString storedName(const char *student, int type = 0)
    {
        return fx.db().scalar("SELECT \"imgfile\" FROM \"XJ_StudentPic\" WHERE \"scode\" = ? AND \"imgtype\" = ?",
                              {QString::fromLatin1(student), QString::number(type)}).toString();
    }
    int photoRows() { return fx.db().scalar("SELECT count(*) FROM \"XJ_StudentPic\"").toInt(); }
    QWidget app;
    std::unique_ptr<QWidget> tab;
    QTemporaryDir pics;
};

TEST_F(PhotosTest, TheStepsTheirButtonsAndTheSettingsOfTheFirstStep)
{
    TfrmStudentPage *page = open();
    TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("导入照片"));
    EXPECT_EQ(dialog.step(), 0);
    EXPECT_EQ(dialog.cbMatchKey->currentText(), QStringLiteral("姓名")) << "names match by default";
    EXPECT_EQ(dialog.matchField(), "sName");
    const QStringList fields = {"sNo", "sName", "sPNO", "sCode"};
    for (int i = 0; i < 4; ++i) {
        dialog.cbMatchKey->setCurrentIndex(i);
        EXPECT_EQ(dialog.matchField(), fields[i]);
    }
    EXPECT_EQ(dialog.cbImageType->currentText(), QStringLiteral("入学照"));
    EXPECT_FALSE(dialog.chkReplace->isChecked());
    EXPECT_EQ(dialog.MaxImageSize, 100);
    EXPECT_EQ(dialog.lbNote->text(), QStringLiteral("备注：图片文件最大不超过100K."));
    EXPECT_TRUE(dialog.lbLink->text().contains("http://example.invalid/photo-help")) << "the registry's address behind the hint";
    EXPECT_TRUE(dialog.btnPrior->isHidden());
    EXPECT_FALSE(dialog.btnNext->isHidden());
    EXPECT_TRUE(dialog.btnImport->isHidden());

    dialog.btnNext->click();
    EXPECT_EQ(dialog.step(), 1);
    EXPECT_FALSE(dialog.btnPrior->isHidden());
    EXPECT_TRUE(dialog.btnNext->isHidden());
    EXPECT_FALSE(dialog.btnImport->isHidden());
    EXPECT_TRUE(dialog.edFolder->isReadOnly());
    EXPECT_EQ(dialog.cbFileType->currentText(), QStringLiteral("所有图片格式(BMP;JPG;JPEG)"));
    dialog.btnImport->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择图片路径！"));
    EXPECT_EQ(dialog.step(), 1);

    // The folder comes from the folder dialog.
    QString asked;
    dialog.chooseFolder = [&](QWidget *, const QString &start) {
        asked = start;
        return pics.path();
    };
    picture("张三.jpg");
    dialog.btnFolder->click();
    EXPECT_EQ(asked, QDir::homePath()) << "with no folder yet the dialog starts at home";
    EXPECT_EQ(dialog.listedFiles(), QStringList{QStringLiteral("张三.jpg")});
    dialog.btnPrior->click();
    EXPECT_EQ(dialog.step(), 0);

    // Cancelling before an import ends the dialog with cancel.
    EXPECT_EQ(dialog.btnCancel->text(), QStringLiteral("取    消(&C)"));
    dialog.btnCancel->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    close(page);
}

TEST_F(PhotosTest, TheFileListFollowsTheFileTypeAndComparesExtensionsInUpperCase)
{
    TfrmStudentPage *page = open();
    TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    picture("a.jpg");
    picture("b.JPEG");
    picture("c.bmp", "BMP");
    picture("d.png", "PNG");
    picture("e.gif.txt", "PNG");
    write("noext", "x");
    QDir(pics.path()).mkdir("sub.jpg");
    dialog.btnNext->click();
    dialog.setFolder(pics.path());
    EXPECT_EQ(dialog.listedFiles(), (QStringList{"a.jpg", "b.JPEG", "c.bmp"}));
    EXPECT_EQ(dialog.lstFiles->item(0)->text(), "..") << "the way one folder up";
    dialog.cbFileType->setCurrentIndex(2); // *.JPG
    EXPECT_EQ(dialog.listedFiles(), QStringList{"a.jpg"});
    dialog.cbFileType->setCurrentIndex(3); // *.JPEG
    EXPECT_EQ(dialog.listedFiles(), QStringList{"b.JPEG"});
    dialog.cbFileType->setCurrentIndex(1); // *.BMP
    EXPECT_EQ(dialog.listedFiles(), QStringList{"c.bmp"});

    // Choosing a file previews it; ".." moves up.
    dialog.lstFiles->setCurrentRow(1);
    EXPECT_EQ(dialog.previewImage().size(), QSize(30, 40));
    Q_EMIT dialog.lstFiles->itemDoubleClicked(dialog.lstFiles->item(0));
    QDir up(pics.path());
    up.cdUp();
    EXPECT_EQ(dialog.edFolder->text(), QDir::toNativeSeparators(up.absolutePath()));
    EXPECT_TRUE(dialog.previewImage().isNull());
    close(page);
}

TEST_F(PhotosTest, FilesMatchTheRegisterNumberOnlyByRegisterNumberAndNamesMatchTheFirstStudentOfThatName)
{
    picture("2026002.jpg");
    picture("张三.jpg");
    TfrmStudentPage *page = open();
    {
        TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
        run(dialog, 0, 0, false, pics.path()); // 学籍辅号
        EXPECT_EQ(dialog.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("2026002  {B} 导入成功！"),
                                                     QStringLiteral("张三  导入失败，未找到匹配的学生！"), QStringLiteral("---照片数据提交成功！---")}));
    }
    {
        TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
        run(dialog, 1, 1, false, pics.path()); // 姓名, graduation photos
        EXPECT_EQ(dialog.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("2026002  导入失败，未找到匹配的学生！"),
                                                     QStringLiteral("张三  {A} 导入成功！"), QStringLiteral("---照片数据提交成功！---")}));
    }
    EXPECT_FALSE(storedName("{B}", 0).isEmpty());
    EXPECT_FALSE(storedName("{A}", 1).isEmpty()) << "the first 张三 in the register's order";
    EXPECT_TRUE(storedName("{C}", 1).isEmpty()) << "the second 张三 gets nothing";
    EXPECT_EQ(photoRows(), 2);
    EXPECT_EQ(storedFiles(0).size(), 1);
    EXPECT_EQ(storedFiles(1).size(), 1);

    close(page);
}

TEST_F(PhotosTest, APictureOfExactlyTheLimitIsTakenOneByteMoreIsRefusedAndNonPicturesAreNamed)
{
    fx.db().exec("UPDATE \"XT_Registry\" SET \"sValue\" = '1', \"sExtra\" = '' WHERE \"sSection\" = 'SysParams' AND \"sKey\" = 'MaxImageSize'");
    jpegOfSize("张三.jpg", 1024);
    jpegOfSize("李四.jpg", 1025);
    write("王五.jpg", "this is no picture");
    write("2026004.jpg", QByteArray(64, 'x'));
    TfrmStudentPage *page = open();
    TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    EXPECT_EQ(dialog.MaxImageSize, 1);
    EXPECT_EQ(dialog.lbNote->text(), QStringLiteral("备注：图片文件最大不超过1K."));
    EXPECT_FALSE(dialog.lbLink->text().contains("href")) << "no address, no link";
    run(dialog, 1, 0, false, pics.path());
    const QStringList lines = dialog.resultLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("张三  {A} 导入成功！"))) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("李四  文件太大，超过1K！")));
    EXPECT_TRUE(lines.contains(QStringLiteral("王五  文件识别错误！")));
    EXPECT_TRUE(lines.contains(QStringLiteral("2026004  文件识别错误！")));
    EXPECT_EQ(lines.size(), 6);
    EXPECT_EQ(photoRows(), 1);
    ASSERT_EQ(storedFiles().size(), 1);
    EXPECT_EQ(QFileInfo(fx.fileStore() + "/StudentPics/S1/0/" + storedFiles()[0]).size(), 1024);
    close(page);
}

TEST_F(PhotosTest, ASecondImportKeepsStoredPhotosUnlessReplacingAndTheStoreHoldsWhatTheRowsName)
{
    const QString source = picture("张三.jpg");
    picture("李四.JPG", "JPEG", QColor(20, 160, 60));
    TfrmStudentPage *page = open();
    {
        TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
        run(dialog, 1, 0, false, pics.path());
        EXPECT_EQ(dialog.btnCancel->text(), QStringLiteral("(&O)完  成"));
        EXPECT_TRUE(dialog.pbImport->isHidden());
        EXPECT_TRUE(dialog.btnCancel->isEnabled());
        dialog.btnCancel->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << "after an import the button finishes";
    }
    // "yyMMddHHmmss", three random digits and the extension as the file has it.
    const QString first = storedName("{A}");
    EXPECT_TRUE(QRegularExpression("^\\d{12}\\d{3}\\.jpg$").match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(storedName("{B}").endsWith(".JPG"));
    QFile stored(fx.fileStore() + "/StudentPics/S1/0/" + first);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    QFile original(source);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), original.readAll()) << "the file's own bytes";
    EXPECT_EQ(fx.db().scalar("SELECT \"SchoolCode\" FROM \"XJ_StudentPic\" WHERE \"scode\" = '{A}'").toString(), "S1");
    const QStringList filesAfterFirst = storedFiles();
    EXPECT_EQ(filesAfterFirst.size(), 2);

    // Again without replacing: nothing is uploaded, nothing stored.
    {
        TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
        run(dialog, 1, 0, false, pics.path());
        EXPECT_EQ(dialog.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("张三  {A} 找到未覆盖！"),
                                                     QStringLiteral("李四  {B} 找到未覆盖！")}));
        EXPECT_EQ(storedFiles(), filesAfterFirst);

        // The same dialog once more, now replacing.
        dialog.btnPrior->click();
        dialog.btnPrior->click();
        dialog.chkReplace->setChecked(true);
        dialog.btnNext->click();
        dialog.btnImport->click();
        EXPECT_EQ(dialog.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("张三  {A} 覆盖成功！"),
                                                     QStringLiteral("李四  {B} 覆盖成功！"), QStringLiteral("---照片数据提交成功！---")}));
    }
    EXPECT_EQ(photoRows(), 2);
    const QString replaced = storedName("{A}");
    EXPECT_NE(replaced, first);
    EXPECT_TRUE(storedFiles().contains(replaced));
    EXPECT_EQ(storedFiles().size(), 4);
    close(page);
}

TEST_F(PhotosTest, AFailedUploadOrStoreIsLoggedAndNothingIsRecorded)
{
    picture("张三.jpg");
    TfrmStudentPage *page = open();
    TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    dialog.btnNext->click();
    dialog.setFolder(pics.path());
    // The session ends: the upload is refused by the server.
    pub::signOut();
    dialog.btnImport->click();
    EXPECT_EQ(dialog.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("张三  {A} 导入成功！"),
                                                 QStringLiteral("张三.jpg  导入失败，文件更新到服务器错误，不能创建目录！")}));
    EXPECT_EQ(dialog.cdsDataPic->recordCount(), 0) << "the row is discarded";
    EXPECT_EQ(photoRows(), 0);
    signInAs("admin", "lumeko");

    // Someone else stores 张三's photo while the dialog is open: the rows are refused.
    TfrmInPicture second(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    second.btnNext->click();
    second.setFolder(pics.path());
    fx.db().exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{A}', '0', 'other.jpg', 'S1')");
    second.btnImport->click();
    EXPECT_EQ(second.resultLines(), (QStringList{QStringLiteral("---开始导入---"), QStringLiteral("张三  {A} 导入成功！"),
                                                 QStringLiteral("---照片数据提交失败，可能网络不稳定，请稍后重试！---")}));
    EXPECT_EQ(storedName("{A}"), "other.jpg");
    EXPECT_EQ(second.cdsDataPic->changeCount(), 0) << "the refused rows are dropped";
    EXPECT_EQ(second.btnCancel->text(), QStringLiteral("(&O)完  成"));
    close(page);
}

// ---- the viewer ------------------------------------------------------------------------------------

TEST_F(PhotosTest, AnImportedLowerCaseJpgIsShownAndTheViewerWalksTheGridsOrder)
{
    picture("张三.jpg", "JPEG", QColor(220, 0, 0), {60, 80});
    picture("王五.jpg", "JPEG", QColor(0, 0, 220), {60, 80});
    TfrmStudentPage *page = open();
    {
        TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
        run(dialog, 1, 0, false, pics.path());
    }
    // 李四 has a PNG under ".png", {C} a photo the store has lost.
    QDir().mkpath(fx.fileStore() + "/StudentPics/S1/0");
    QImage(20, 20, QImage::Format_RGB32).save(fx.fileStore() + "/StudentPics/S1/0/2612010800001.png", "PNG");
    fx.db().exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{B}', '0', '2612010800001.png', 'S1')");
    fx.db().exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{C}', '0', 'gone.jpg', 'S1')");
    page->acRequery->trigger();

    // The grid sorted by seat number (highest first), then register number, and filtered to leave
    // out the first 张三: 李四, 王五, 张三 {C}.
    BandedGrid *grid = page->GridData;
    grid->sortBy(grid->columnOfField("iClassNo"), Qt::DescendingOrder);
    grid->sortBy(grid->columnOfField("sNO"), Qt::AscendingOrder, true);
    grid->setColumnFilter(grid->columnOfField("sNO"), {"2026002", "2026003", "2026004"});
    ASSERT_EQ(grid->dataRowCount(), 3);
    grid->setCurrentCell(1, grid->columnOfField("sName")); // the second row: 王五 (seat 2, sNO 2026004)

    TfrmPicView viewer(0, grid, page->cdsStudentImage);
    viewer.show();
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("王五--2026004  入学照片"));
    ASSERT_FALSE(viewer.picture().isNull()) << "a lower-case .jpg is a JPEG";
    EXPECT_GT(qBlue(viewer.picture().pixel(30, 40)), 180);
    EXPECT_FALSE(viewer.imgPhoto->pixmap().isNull());
    EXPECT_TRUE(viewer.btnSaveAs->isEnabled());

    // "另存为..." writes the picture shown, offering the student's name.
    QString offered;
    const QString saved = pics.filePath("saved/王五照片.jpg");
    QDir().mkpath(pics.filePath("saved"));
    viewer.chooseSaveFile = [&](QWidget *, const QString &suggested) {
        offered = suggested;
        return saved;
    };
    viewer.btnSaveAs->click();
    EXPECT_EQ(offered, QStringLiteral("王五.jpg"));
    QImage written(saved);
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(60, 80));
    EXPECT_GT(qBlue(written.pixel(30, 40)), 180);

    viewer.btnFirst->click(); // 李四: seat 2, sNO 2026002 comes first
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("李四--2026002  入学照片"));
    EXPECT_EQ(grid->currentRow(), 0);
    EXPECT_TRUE(viewer.picture().isNull()) << "a .png is not shown";
    EXPECT_TRUE(viewer.imgPhoto->pixmap().isNull());
    EXPECT_FALSE(viewer.btnSaveAs->isEnabled());
    viewer.btnPrior->click();
    EXPECT_EQ(grid->currentRow(), 0) << "nothing before the first";
    viewer.btnLast->click();
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("张三--2026003  入学照片"));
    EXPECT_TRUE(viewer.picture().isNull()) << "the store has lost it";
    viewer.btnNext->click();
    EXPECT_EQ(grid->currentRow(), 2) << "nothing after the last";
    viewer.btnPrior->click();
    EXPECT_EQ(viewer.shownCode(), "{D}");
    EXPECT_EQ(page->cdsData->value(u"sCode").toString(), "{D}") << "the page follows the viewer";
    EXPECT_FALSE(viewer.picture().isNull());

    EXPECT_TRUE(viewer.windowFlags() & Qt::WindowStaysOnTopHint);
    for (QPushButton *b : {viewer.btnFirst, viewer.btnPrior, viewer.btnNext, viewer.btnLast, viewer.btnSaveAs, viewer.btnQuit})
        EXPECT_EQ(b->toolTip(), b->text());
    viewer.btnQuit->click();
    EXPECT_FALSE(viewer.isVisible());
    close(page);
}

TEST_F(PhotosTest, TheStoredPhotoIsDecodedByItsExtensionOnly)
{
    QImage image(12, 16, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray png, jpeg, bmp;
    for (auto [bytes, format] : {std::pair{&png, "PNG"}, std::pair{&jpeg, "JPEG"}, std::pair{&bmp, "BMP"}}) {
        QBuffer buffer(bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
    }
    EXPECT_EQ(decodeStudentPhoto(jpeg, "a.JPEG").size(), QSize(12, 16));
    EXPECT_EQ(decodeStudentPhoto(bmp, "x/a.Bmp").size(), QSize(12, 16));
    EXPECT_TRUE(decodeStudentPhoto(png, "a.jpg").isNull()) << "the extension decides, not the content";
    EXPECT_TRUE(decodeStudentPhoto(jpeg, "photos.jpg/a").isNull()) << "a dot in a folder is no extension";
    EXPECT_EQ(studentPhotoFolder("S1", 1), "StudentPics\\S1\\1");
}

// ---- the register's photo button ---------------------------------------------------------------------

TEST_F(PhotosTest, ThePhotoButtonOpensTheViewerAndTheImportAfterWhichThePageReadsItsPhotosAgain)
{
    TfrmStudentPage *page = open();
    // One button: entrance photos, graduation photos, a separator, the import.
    ASSERT_TRUE(page->tbPicture);
    EXPECT_EQ(page->tbPicture->text(), QStringLiteral("照片"));
    EXPECT_EQ(page->tbPicture->defaultAction()->menu<QMenu *>(), page->pmPicture);
    EXPECT_EQ(page->tbPicture->popupMode(), QToolButton::InstantPopup);
    EXPECT_EQ(page->tbPicture->parentWidget(), page->tlbTools);
    const QList<QAction *> menu = page->pmPicture->actions();
    ASSERT_EQ(menu.size(), 4);
    EXPECT_EQ(menu[0], page->acPic);
    EXPECT_EQ(menu[1], page->acOutPic);
    EXPECT_TRUE(menu[2]->isSeparator());
    EXPECT_EQ(menu[3], page->acImpPic);
    EXPECT_FALSE(page->tlbTools->widgetForAction(page->acPic));
    EXPECT_FALSE(page->tlbTools->widgetForAction(page->acOutPic));
    EXPECT_FALSE(page->tlbTools->widgetForAction(page->acImpPic));

    // The viewer, modal, on the graduation photos of the focused student.
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto *viewer = qobject_cast<TfrmPicView *>(QApplication::activeModalWidget())) {
            title = viewer->windowTitle();
            viewer->close();
        }
    });
    page->GridData->setCurrentCell(1, page->GridData->columnOfField("sName"));
    page->acOutPic->trigger();
    EXPECT_EQ(title, QStringLiteral("李四--2026002  毕业照片"));

    // The import, modal; finishing it reloads the photo index and the entrance-photo column.
    picture("王五.jpg");
    page->cdsData->locate("sCode", {"{D}"});
    EXPECT_FALSE(page->cdsData->value(u"HasInImage").toBool());
    QStringList lines;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<TfrmInPicture *>(QApplication::activeModalWidget())) {
            dialog->btnNext->click();
            dialog->setFolder(pics.path());
            dialog->btnImport->click();
            lines = dialog->resultLines();
            dialog->btnCancel->click();
        }
    });
    page->acImpPic->trigger();
    EXPECT_TRUE(lines.contains(QStringLiteral("王五  {D} 导入成功！"))) << lines.join(u'\n').toStdString();
    EXPECT_EQ(page->cdsStudentImage->recordCount(), 1);
    EXPECT_EQ(page->cdsData->value(u"sCode").toString(), "{D}") << "the focus stays";
    EXPECT_TRUE(page->cdsData->value(u"HasInImage").toBool());
    close(page);

    // A class without students opens no viewer.
    page = open("2026,1701,七年级,Y,,003");
    ASSERT_TRUE(page->cdsData->isEmpty());
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            opened = true;
            w->close();
        }
    });
    page->acPic->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    close(page);
}

// ---- how the dialogs look ----------------------------------------------------------------------------

// A passport-style portrait: a face and shoulders before a pale blue wall.
QImage portrait()
{
    QImage image(240, 320, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient wall(0, 0, 0, 320);
    wall.setColorAt(0, QColor(150, 190, 235));
    wall.setColorAt(1, QColor(90, 140, 210));
    p.fillRect(image.rect(), wall);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 40, 70));
    p.drawEllipse(QRectF(30, 230, 180, 160));
    p.setBrush(QColor(240, 205, 175));
    p.drawRect(QRectF(105, 180, 30, 60));
    p.drawEllipse(QRectF(70, 70, 100, 125));
    p.setBrush(QColor(25, 20, 20));
    p.drawChord(QRectF(66, 60, 108, 80), 0, 180 * 16);
    p.drawEllipse(QRectF(97, 120, 9, 7));
    p.drawEllipse(QRectF(134, 120, 9, 7));
    p.setBrush(QColor(200, 90, 90));
    p.drawEllipse(QRectF(108, 160, 24, 8));
    return image;
}

TEST_F(PhotosTest, ScreenshotsOfTheImportStepsAndTheViewer)
{
    using pub::testing::saveShot;
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "set LUMEKO_SHOTS to a folder to save the pictures";
    for (const char *name : {"张三", "李四", "王五", "赵六"}) portrait().save(pics.filePath(QString::fromUtf8(name) + ".jpg"), "JPEG", 90);
    TfrmStudentPage *page = open();
    TfrmInPicture dialog(page->cdsData, page->PageGradeCode, page->PageInYear, page->PageClassCode);
    saveShot(dialog, "photos-import-1-settings");
    dialog.btnNext->click();
    dialog.setFolder(pics.path());
    dialog.lstFiles->setCurrentRow(2);
    saveShot(dialog, "photos-import-2-files");
    dialog.btnImport->click();
    saveShot(dialog, "photos-import-3-result");
    dialog.close();

    page->acRequery->trigger();
    page->GridData->setCurrentCell(0, page->GridData->columnOfField("sName"));
    TfrmPicView viewer(0, page->GridData, page->cdsStudentImage);
    saveShot(viewer, "photos-viewer");
    EXPECT_FALSE(viewer.picture().isNull());
    viewer.close();

    tab->resize(900, 1100);
    tab->show();
    QApplication::processEvents();
    page->pmPicture->popup(page->tlbTools->mapToGlobal(QPoint(50, 300)));
    QApplication::processEvents();
    tab->grab().save(pub::testing::shotsFolder() + QStringLiteral("/photos-page.png"));
    page->pmPicture->grab().save(pub::testing::shotsFolder() + QStringLiteral("/photos-page-menu.png"));
    page->pmPicture->hide();
    close(page);
}

} // namespace
