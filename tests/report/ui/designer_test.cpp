#include "uitesting.h"

#include "toolkit/report/templatexml.h"
#include "toolkit/report/ui/designscene.h"
#include "toolkit/report/ui/reportdesigner.h"
#include "toolkit/report/ui/reportpreview.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace lumeko::report;
using lumeko::report::testing::recordCard;
using lumeko::report::testing::ScriptedDialogs;

namespace {

// The record card's bands and a few of its objects, by index.
constexpr int kTitle = 0, kCard = 1, kFamily = 2, kFooter = 3;
constexpr int kNameLabel = 0, kNameValue = 1, kPhoto = 14;

// A designer on the screen with scripted dialogs; the dialogs outlive it.
struct Fixture {
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    ReportDesigner designer;

    Fixture()
    {
        designer.resize(1200, 900);
        designer.show();
        if (!QTest::qWaitForWindowExposed(&designer)) ADD_FAILURE() << "the designer did not show";
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    void openCard()
    {
        const QString file = path(QStringLiteral("学籍卡片(一).frf"));
        saveTemplate(recordCard(), file);
        QString error;
        ASSERT_TRUE(designer.openFile(file, &error)) << error.toStdString();
    }

    const ReportObject &object(int band, int index) const { return designer.currentTemplate().bands[band].objects[index]; }
    QWidget *viewport() const { return designer.view()->viewport(); }
    template <class W> W *widget(const char *name) const { return designer.findChild<W *>(QString::fromLatin1(name)); }

    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
        for (int i = 1; i <= 4; ++i) QTest::mouseMove(viewport(), from + (to - from) * i / 4);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
        QCoreApplication::processEvents(); // the designer takes the drop in once the mouse handlers returned
    }
    void click(QPoint at, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(viewport(), Qt::LeftButton, modifiers, at);
        QCoreApplication::processEvents();
    }
    // The point a band's title strip shows, above its area.
    QPoint bandTitle(int band) const
    {
        const QRect area = designer.bandOnViewport(band);
        return QPoint(area.left() + 40, area.top() - int(BandItem::kTitleHeight / 2));
    }
    QList<QPair<int, int>> chosen(std::initializer_list<QPair<int, int>> refs) const { return refs; }
};

QStringList objectNames(const Band &band)
{
    QStringList out;
    for (const ReportObject &o : band.objects) out << o.name;
    return out;
}

QList<BandKind> bandKinds(const ReportTemplate &t)
{
    QList<BandKind> out;
    for (const Band &b : t.bands) out << b.kind;
    return out;
}

} // namespace

TEST(ReportDesigner, StartsANewTemplateOrOpensAFileAndStacksItsBands)
{
    Fixture f;
    const ReportTemplate &t = f.designer.currentTemplate();
    EXPECT_EQ(bandKinds(t), (QList<BandKind>{BandKind::PageHeader, BandKind::MasterData, BandKind::PageFooter}));
    EXPECT_EQ(t.bands[1].table, QStringLiteral("cdsData"));
    EXPECT_EQ(t.page, PageSetup());
    EXPECT_EQ(t.page.sizeMm(), QSizeF(210, 297));
    EXPECT_FALSE(f.designer.isModified());
    EXPECT_FALSE(f.designer.canUndo());
    EXPECT_EQ(f.designer.windowTitle(), QStringLiteral("报表设计 - 新报表"));

    f.openCard();
    EXPECT_EQ(f.designer.currentTemplate(), recordCard());
    EXPECT_EQ(f.designer.windowTitle(), QStringLiteral("报表设计 - 学籍卡片(一).frf"));
    // Band areas from top to bottom in the template's order, apart by their titles; each object
    // within its band.
    for (int b = 0; b < 4; ++b) {
        const QRect area = f.designer.bandOnViewport(b);
        EXPECT_NEAR(area.height(), recordCard().bands[b].height, 1.5) << b;
        if (b > 0) {
            EXPECT_GT(area.top(), f.designer.bandOnViewport(b - 1).bottom() + BandItem::kTitleHeight) << b;
        }
        for (int o = 0; o < recordCard().bands[b].objects.size(); ++o)
            EXPECT_TRUE(area.adjusted(-1, -1, 1, 1).contains(f.designer.objectOnViewport(b, o))) << b << "/" << o;
    }
    // Objects stand where they print: the photo at the right of the card, 560 units from the margin.
    EXPECT_NEAR(f.designer.objectOnViewport(kCard, kPhoto).left() - f.designer.bandOnViewport(kCard).left(), 560, 1.5);

    const QString bad = f.path(QStringLiteral("坏.frf"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<report version=\"1\">\n  <band kind=\"Nope\" height=\"1\"/>\n</report>\n");
    file.close();
    QString error;
    EXPECT_FALSE(f.designer.openFile(bad, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("line 2"))) << error.toStdString();
    EXPECT_EQ(f.designer.currentTemplate(), recordCard()); // what was open stays

    f.designer.selectObject(kCard, kNameValue);
    lumeko::report::testing::keepScreenshot(&f.designer, QStringLiteral("designer-record-card.png"));
}

TEST(ReportDesigner, TheMouseAndTheArrowKeysMoveAndResizeObjectsStepByStepUndone)
{
    Fixture f;
    f.openCard();
    const QRectF original = f.object(kCard, kNameLabel).rect;
    ASSERT_EQ(original, QRectF(0, 0, 90, 30));

    // A click chooses the object, and the panel shows it.
    QRect shown = f.designer.objectOnViewport(kCard, kNameLabel);
    f.click(shown.center());
    EXPECT_EQ(f.designer.selectedObjects(), f.chosen({{kCard, kNameLabel}}));
    EXPECT_EQ(f.widget<QLineEdit>("propName")->text(), QStringLiteral("mmLabel1"));

    f.drag(shown.center(), shown.center() + QPoint(37, 12));
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(37, 12, 90, 30));
    EXPECT_TRUE(f.designer.isModified());
    EXPECT_EQ(f.widget<QDoubleSpinBox>("propX")->value(), 37);

    // The handle at the bottom right corner.
    shown = f.designer.objectOnViewport(kCard, kNameLabel);
    const QPoint corner = shown.topLeft() + QPoint(shown.width(), shown.height());
    f.drag(corner, corner + QPoint(20, 10));
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(37, 12, 110, 40));

    f.designer.view()->setFocus();
    QTest::keyClick(f.designer.view(), Qt::Key_Right);
    QTest::keyClick(f.designer.view(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(38, 22, 110, 40));
    QTest::keyClick(f.designer.view(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(38, 22, 109, 40));

    // Several objects move together.
    f.click(f.designer.objectOnViewport(kCard, kNameValue).center(), Qt::ControlModifier);
    ASSERT_EQ(f.designer.selectedObjects(), f.chosen({{kCard, kNameLabel}, {kCard, kNameValue}}));
    QTest::keyClick(f.designer.view(), Qt::Key_Up);
    EXPECT_EQ(f.object(kCard, kNameLabel).rect.topLeft(), QPointF(38, 21));
    EXPECT_EQ(f.object(kCard, kNameValue).rect.topLeft(), QPointF(90, -1));

    // Undo goes back one step at a time; arrow presses in a row are one step.
    QAction *undo = f.designer.action(QStringLiteral("acUndo"));
    undo->trigger();
    EXPECT_EQ(f.object(kCard, kNameValue).rect.topLeft(), QPointF(90, 0));
    undo->trigger();
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(38, 22, 110, 40));
    undo->trigger();
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(37, 12, 110, 40));
    undo->trigger();
    EXPECT_EQ(f.object(kCard, kNameLabel).rect, QRectF(37, 12, 90, 30));
    undo->trigger();
    EXPECT_EQ(f.designer.currentTemplate(), recordCard());
    EXPECT_FALSE(undo->isEnabled());
}

TEST(ReportDesigner, DraggingChangesBandHeightsAndCarriesObjectsIntoOtherBands)
{
    Fixture f;
    f.openCard();
    const QRect family = f.designer.bandOnViewport(kFamily);
    const QRect card = f.designer.bandOnViewport(kCard);
    const QPoint edge(card.center().x() - 100, card.top() + card.height());
    f.drag(edge, edge + QPoint(0, 24));
    EXPECT_EQ(f.designer.currentTemplate().bands[kCard].height, 174);
    EXPECT_EQ(f.designer.bandOnViewport(kFamily).top(), family.top() + 24); // the bands below make room

    // The label dropped onto the title band leaves the card for it, at the place it was dropped.
    const QRect label = f.designer.objectOnViewport(kCard, kNameLabel);
    const QRect title = f.designer.bandOnViewport(kTitle);
    f.drag(label.center(), QPoint(label.center().x(), title.top() + 30 + label.height() / 2));
    const ReportTemplate &t = f.designer.currentTemplate();
    EXPECT_FALSE(objectNames(t.bands[kCard]).contains(QStringLiteral("mmLabel1")));
    ASSERT_EQ(objectNames(t.bands[kTitle]).last(), QStringLiteral("mmLabel1"));
    EXPECT_NEAR(t.bands[kTitle].objects.last().rect.top(), 30, 1.5);
    EXPECT_EQ(t.bands[kTitle].objects.last().rect.left(), 0);
    EXPECT_EQ(f.designer.selectedObjects(), f.chosen({{kTitle, 2}}));
    EXPECT_EQ(objectNames(t.bands[kCard]).first(), QStringLiteral("mmValue1")); // the others move up

    // Dropped between bands, an object stays in its own.
    const QRect value = f.designer.objectOnViewport(kCard, 0);
    f.drag(value.center(), QPoint(value.center().x(), f.designer.bandOnViewport(kCard).top() - 8));
    EXPECT_EQ(objectNames(t.bands[kCard]).first(), QStringLiteral("mmValue1"));
    EXPECT_LT(t.bands[kCard].objects.first().rect.top(), 0);
}

TEST(ReportDesigner, ThePropertyPanelEditsTheChosenObjectAndBand)
{
    Fixture f;
    f.openCard();
    f.designer.selectObject(kCard, kNameValue);
    auto *text = f.widget<QPlainTextEdit>("propText");
    ASSERT_TRUE(text->isVisibleTo(&f.designer));
    EXPECT_EQ(text->toPlainText(), QStringLiteral("[sName]"));
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral("abc"));
    text->textCursor().insertText(QStringLiteral("（曾用名）"));
    EXPECT_EQ(f.object(kCard, kNameValue).text, QStringLiteral("[sName]abc（曾用名）"));
    f.designer.undo(); // typing into one field is one step
    EXPECT_EQ(f.object(kCard, kNameValue).text, QStringLiteral("[sName]"));
    EXPECT_EQ(text->toPlainText(), QStringLiteral("[sName]"));
    EXPECT_FALSE(f.designer.canUndo());
    text->moveCursor(QTextCursor::End);
    text->textCursor().insertText(QStringLiteral("（曾用名）"));
    EXPECT_EQ(f.object(kCard, kNameValue).text, QStringLiteral("[sName]（曾用名）"));

    auto *name = f.widget<QLineEdit>("propName");
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("mm_1"));
    f.widget<QComboBox>("propFont")->setCurrentText(QStringLiteral("黑体"));
    f.widget<QDoubleSpinBox>("propFontSize")->setValue(14);
    f.widget<QCheckBox>("propBold")->click();
    f.widget<QCheckBox>("propItalic")->click();
    f.widget<QComboBox>("propHAlign")->setCurrentIndex(2);
    f.widget<QCheckBox>("propFrameTop")->click();
    f.widget<QDoubleSpinBox>("propFrameWidth")->setValue(2);
    f.widget<QCheckBox>("propWordWrap")->click();
    f.widget<QCheckBox>("propAutoHeight")->click();
    f.widget<QDoubleSpinBox>("propX")->setValue(100);
    f.widget<QDoubleSpinBox>("propY")->setValue(5);
    f.widget<QDoubleSpinBox>("propWidth")->setValue(150);
    f.widget<QDoubleSpinBox>("propHeight")->setValue(28);

    const ReportObject &o = f.object(kCard, kNameValue);
    EXPECT_EQ(o.name, QStringLiteral("mm_1"));
    EXPECT_EQ(o.fontFamily, QStringLiteral("黑体"));
    EXPECT_EQ(o.fontSize, 14);
    EXPECT_TRUE(o.bold);
    EXPECT_TRUE(o.italic);
    EXPECT_EQ(o.alignment, Qt::AlignRight | Qt::AlignVCenter); // the vertical half stays
    EXPECT_EQ(o.frame, (Frame{true, false, true, true, 2, Qt::black}));
    EXPECT_FALSE(o.wordWrap);
    EXPECT_TRUE(o.autoHeight);
    EXPECT_EQ(o.rect, QRectF(100, 5, 150, 28));
    EXPECT_NEAR(f.designer.objectOnViewport(kCard, kNameValue).width(), 150, 1);
    f.widget<QComboBox>("propVAlign")->setCurrentIndex(0);
    EXPECT_EQ(f.object(kCard, kNameValue).alignment, Qt::AlignRight | Qt::AlignTop);

    // A picture has no text, but a picture to load.
    f.designer.selectObject(kCard, kPhoto);
    EXPECT_FALSE(text->isVisibleTo(&f.designer));
    EXPECT_TRUE(f.widget<QPushButton>("propLoadPicture")->isVisibleTo(&f.designer));
    QImage photo(30, 40, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    f.dialogs.fileName = f.path(QStringLiteral("照片.png"));
    ASSERT_TRUE(photo.save(f.dialogs.fileName));
    f.widget<QPushButton>("propLoadPicture")->click();
    EXPECT_EQ(f.object(kCard, kPhoto).picture.convertToFormat(QImage::Format_RGB32), photo);

    // The band: chosen by its title strip.
    f.click(f.bandTitle(kFamily));
    ASSERT_EQ(f.designer.selectedBand(), kFamily);
    auto *table = f.widget<QLineEdit>("propBandTable");
    EXPECT_EQ(table->text(), QStringLiteral("cdsFamily"));
    EXPECT_FALSE(f.widget<QCheckBox>("propBandNewPage")->isVisibleTo(&f.designer));
    lumeko::report::testing::keepScreenshot(&f.designer, QStringLiteral("designer-band-chosen.png"));
    f.designer.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.designer));
    table->setFocus();
    table->selectAll();
    QTest::keyClicks(table, QStringLiteral("cdsParents"));
    EXPECT_TRUE(table->hasFocus()); // the band's title changes while the user types, the panel stays
    f.widget<QDoubleSpinBox>("propBandHeight")->setValue(40);
    EXPECT_EQ(f.designer.currentTemplate().bands[kFamily].table, QStringLiteral("cdsParents"));
    f.designer.undo(); // the height
    f.designer.undo(); // all of the table's name at once
    EXPECT_EQ(f.designer.currentTemplate().bands[kFamily], recordCard().bands[kFamily]);
    QTest::keyClicks(table, QStringLiteral("cdsParents"));
    f.widget<QDoubleSpinBox>("propBandHeight")->setValue(40);
    EXPECT_EQ(f.designer.currentTemplate().bands[kFamily].height, 40);
    EXPECT_NEAR(f.designer.bandOnViewport(kFamily).height(), 40, 1);
    f.click(f.bandTitle(kCard));
    f.widget<QCheckBox>("propBandNewPage")->click();
    EXPECT_FALSE(f.designer.currentTemplate().bands[kCard].newPageAfter);
    f.click(f.bandTitle(kTitle));
    auto *kind = f.widget<QComboBox>("propBandKind");
    kind->setCurrentIndex(kind->findData(int(BandKind::PageHeader)));
    EXPECT_EQ(f.designer.currentTemplate().bands[kTitle].kind, BandKind::PageHeader);

    // Every change can be undone, back to the template as it was opened.
    QAction *undo = f.designer.action(QStringLiteral("acUndo"));
    for (int i = 0; i < 100 && undo->isEnabled(); ++i) undo->trigger();
    EXPECT_EQ(f.designer.currentTemplate(), recordCard());
}

TEST(ReportDesigner, BandsAndObjectsAreAddedWhereTheyBelongAndDeleted)
{
    Fixture f;
    f.dialogs.texts = {QStringLiteral("cdsFamily")};
    f.designer.action(QStringLiteral("acAddBandDetailData"))->trigger();
    EXPECT_EQ(f.dialogs.questions.last(), QStringLiteral("数据表名称："));
    f.designer.action(QStringLiteral("acAddBandGroupHeader"))->trigger(); // no answer: cancelled
    f.dialogs.texts = {QStringLiteral("ClassCode")};
    f.designer.action(QStringLiteral("acAddBandGroupHeader"))->trigger();
    EXPECT_EQ(f.designer.selectedBand(), 1);
    f.designer.action(QStringLiteral("acAddBandReportTitle"))->trigger();
    f.designer.action(QStringLiteral("acAddBandReportSummary"))->trigger();
    const ReportTemplate &t = f.designer.currentTemplate();
    EXPECT_EQ(bandKinds(t), (QList<BandKind>{BandKind::ReportTitle, BandKind::PageHeader, BandKind::GroupHeader, BandKind::MasterData,
                                             BandKind::DetailData, BandKind::ReportSummary, BandKind::PageFooter}));
    EXPECT_EQ(t.bands[4].table, QStringLiteral("cdsFamily"));
    EXPECT_EQ(t.bands[2].groupField, QStringLiteral("ClassCode"));
    EXPECT_EQ(f.designer.selectedBand(), 5);

    // Objects go into the chosen band, side by side.
    f.designer.selectBand(3);
    f.designer.action(QStringLiteral("acAddMemo"))->trigger();
    f.designer.action(QStringLiteral("acAddMemo"))->trigger();
    f.designer.action(QStringLiteral("acAddLine"))->trigger();
    f.designer.action(QStringLiteral("acAddRectangle"))->trigger();
    QImage picture(40, 60, QImage::Format_RGB32);
    picture.fill(Qt::red);
    f.dialogs.fileName = f.path(QStringLiteral("校徽.png"));
    ASSERT_TRUE(picture.save(f.dialogs.fileName));
    f.designer.action(QStringLiteral("acAddPicture"))->trigger();
    const Band &master = t.bands[3];
    ASSERT_EQ(objectNames(master), (QStringList{QStringLiteral("Memo1"), QStringLiteral("Memo2"), QStringLiteral("Line1"),
                                                QStringLiteral("Rect1"), QStringLiteral("Picture1")}));
    EXPECT_EQ(master.objects[0].kind, ObjectKind::Memo);
    EXPECT_EQ(master.objects[1].rect, QRectF(84, 0, 80, 20));
    EXPECT_EQ(master.objects[2].kind, ObjectKind::Line);
    EXPECT_EQ(master.objects[2].rect.height(), 0);
    EXPECT_EQ(master.objects[3].kind, ObjectKind::Rectangle);
    EXPECT_EQ(master.objects[4].picture.convertToFormat(QImage::Format_RGB32), picture);
    EXPECT_EQ(master.objects[4].rect.size(), QSizeF(40, 60));
    EXPECT_EQ(f.designer.selectedObjects(), f.chosen({{3, 4}}));

    f.dialogs.fileName = f.path(QStringLiteral("不是图片.png"));
    QFile notPicture(f.dialogs.fileName);
    ASSERT_TRUE(notPicture.open(QIODevice::WriteOnly));
    notPicture.write("text");
    notPicture.close();
    f.designer.action(QStringLiteral("acAddPicture"))->trigger();
    EXPECT_TRUE(f.dialogs.errors.last().startsWith(QStringLiteral("无法读取图片"))) << f.dialogs.errors.last().toStdString();
    EXPECT_EQ(master.objects.size(), 5);

    // Delete takes the chosen objects, or the chosen band.
    f.designer.selectObject(3, 0);
    f.designer.selectObject(3, 2, true);
    f.designer.view()->setFocus();
    QTest::keyClick(f.designer.view(), Qt::Key_Delete);
    EXPECT_EQ(objectNames(t.bands[3]), (QStringList{QStringLiteral("Memo2"), QStringLiteral("Rect1"), QStringLiteral("Picture1")}));
    f.designer.selectBand(2);
    f.designer.action(QStringLiteral("acDelete"))->trigger();
    EXPECT_EQ(bandKinds(t), (QList<BandKind>{BandKind::ReportTitle, BandKind::PageHeader, BandKind::MasterData, BandKind::DetailData,
                                             BandKind::ReportSummary, BandKind::PageFooter}));
    EXPECT_EQ(t.bands[2].objects.size(), 3);
    EXPECT_FALSE(f.designer.action(QStringLiteral("acDelete"))->isEnabled()); // nothing is chosen now
}

TEST(ReportDesigner, SavesWhatItShowsAndAsksBeforeClosingUnsavedChanges)
{
    Fixture f;
    f.openCard();
    f.designer.setObjectGeometry(kCard, kNameLabel, QRectF(4, 4, 80, 26));
    f.designer.selectObject(kFamily, 0);
    f.widget<QCheckBox>("propBold")->click();
    f.designer.addBand(BandKind::ReportSummary);
    f.designer.addObject(ObjectKind::Memo);
    f.widget<QPlainTextEdit>("propText")->setPlainText(QStringLiteral("共 [COUNT()] 人"));
    const QString copy = f.path(QStringLiteral("副本.frf"));
    QString error;
    ASSERT_TRUE(f.designer.saveTo(copy, &error)) << error.toStdString();
    EXPECT_FALSE(f.designer.isModified());
    const ReportTemplate saved = loadTemplate(copy);
    EXPECT_EQ(saved, f.designer.currentTemplate());
    EXPECT_EQ(saved.bands[3].kind, BandKind::ReportSummary); // before the page footer
    EXPECT_EQ(saved.bands[3].objects[0].text, QStringLiteral("共 [COUNT()] 人"));
    EXPECT_TRUE(saved.bands[kFamily].objects[0].bold);
    ReportDesigner again;
    ASSERT_TRUE(again.openFile(copy));
    EXPECT_EQ(again.currentTemplate(), saved);

    // A data band without its table cannot be read back, so it is not saved.
    f.designer.addBand(BandKind::DetailData);
    EXPECT_FALSE(f.designer.saveTo(copy, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("数据表"))) << error.toStdString();
    EXPECT_EQ(loadTemplate(copy), saved);
    f.designer.undo();
    EXPECT_EQ(f.designer.currentTemplate(), saved);

    // Closing with changes asks; Cancel keeps the window, No drops the changes.
    f.designer.setObjectGeometry(kCard, kNameLabel, QRectF(0, 0, 90, 30));
    f.dialogs.answer = QMessageBox::Cancel;
    EXPECT_FALSE(f.designer.close());
    EXPECT_TRUE(f.designer.isVisible());
    EXPECT_EQ(f.dialogs.questions.last(), QStringLiteral("报表已修改，是否保存？"));
    f.dialogs.answer = QMessageBox::No;
    EXPECT_TRUE(f.designer.close());
    EXPECT_EQ(loadTemplate(copy), saved);

    // Yes on a template that has no file yet asks for one.
    ReportDesigner fresh;
    fresh.addObject(ObjectKind::Memo);
    f.dialogs.answer = QMessageBox::Yes;
    f.dialogs.fileName = f.path(QStringLiteral("新名单"));
    const qsizetype asked = f.dialogs.questions.size();
    EXPECT_TRUE(fresh.close());
    EXPECT_EQ(f.dialogs.questions.size(), asked + 1);
    EXPECT_EQ(loadTemplate(f.path(QStringLiteral("新名单.frf"))), fresh.currentTemplate());
    EXPECT_EQ(fresh.filePath(), QFileInfo(f.path(QStringLiteral("新名单.frf"))).absoluteFilePath());
    EXPECT_TRUE(fresh.close()); // saved: nothing to ask
    EXPECT_EQ(f.dialogs.questions.size(), asked + 1);
}

TEST(ReportDesigner, PreviewsWithSampleDataAndSetsUpThePage)
{
    Fixture f;
    f.openCard();
    ReportPreview *preview = f.designer.preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    ASSERT_EQ(preview->pageCount(), 3); // one card per student
    EXPECT_TRUE(preview->report().texts(0).contains(QStringLiteral("SchoolFullName学生学籍卡片")));
    const QStringList texts = preview->report().texts(1);
    EXPECT_TRUE(texts.contains(QStringLiteral("sName2")));
    EXPECT_TRUE(texts.contains(QStringLiteral("sRelation3")));
    lumeko::report::testing::keepScreenshot(preview, QStringLiteral("designer-preview.png"));
    preview->close();

    // The page setup dialog: A3 landscape, wider margins, a title.
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *paper = dialog->findChild<QComboBox *>(QStringLiteral("pagePaper"));
        EXPECT_EQ(paper->currentIndex(), 0); // A4
        paper->setCurrentIndex(1);
        dialog->findChild<QRadioButton *>(QStringLiteral("pageLandscape"))->click();
        dialog->findChild<QDoubleSpinBox *>(QStringLiteral("marginLeft"))->setValue(20);
        dialog->findChild<QLineEdit *>(QStringLiteral("pageTitle"))->setText(QStringLiteral("学籍卡片（横排）"));
        lumeko::report::testing::keepScreenshot(dialog, QStringLiteral("designer-page-setup.png"));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    ASSERT_TRUE(f.designer.pageSetup());
    PageSetup page = f.designer.currentTemplate().page;
    EXPECT_EQ(page.sizeMm(), QSizeF(420, 297));
    EXPECT_EQ(page.marginsMm, QMarginsF(20, 10, 10, 10));
    EXPECT_EQ(f.designer.currentTemplate().title, QStringLiteral("学籍卡片（横排）"));

    // Margins that leave no room are refused in the dialog, and the page stays as it was.
    QTimer::singleShot(0, [&f] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto *paper = dialog->findChild<QComboBox *>(QStringLiteral("pagePaper"));
        paper->setCurrentIndex(paper->count() - 1); // custom
        EXPECT_TRUE(dialog->findChild<QDoubleSpinBox *>(QStringLiteral("pageWidth"))->isEnabled());
        dialog->findChild<QDoubleSpinBox *>(QStringLiteral("pageWidth"))->setValue(100);
        dialog->findChild<QRadioButton *>(QStringLiteral("pagePortrait"))->click();
        dialog->findChild<QDoubleSpinBox *>(QStringLiteral("marginRight"))->setValue(95);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        EXPECT_EQ(f.dialogs.errors.value(0), QStringLiteral("页边距设置错误！"));
        EXPECT_TRUE(dialog->isVisible());
        dialog->reject();
    });
    EXPECT_FALSE(f.designer.pageSetup());
    EXPECT_EQ(f.designer.currentTemplate().page, page);

    // A template that cannot be laid out says why instead of previewing.
    PageSetup narrow = page;
    narrow.marginsMm = QMarginsF(10, 150, 10, 150);
    f.designer.setPageSetup(narrow, QString());
    EXPECT_EQ(f.designer.preview(), nullptr);
    EXPECT_EQ(f.dialogs.errors.last(), QStringLiteral("页边距设置错误！"));
}

TEST(ReportDesigner, ExecRunsUntilClosedAndTellsWhetherItSaved)
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("学生名单.frf"));
    saveTemplate(recordCard(), file);

    QTimer::singleShot(0, [&] {
        auto *designer = qobject_cast<ReportDesigner *>(QApplication::activeModalWidget());
        ASSERT_NE(designer, nullptr);
        EXPECT_EQ(designer->currentTemplate(), recordCard());
        designer->setBandHeight(kCard, 200);
        designer->action(QStringLiteral("acSave"))->trigger();
        designer->close();
    });
    EXPECT_EQ(ReportDesigner::exec(file), 1);
    EXPECT_EQ(loadTemplate(file).bands[kCard].height, 200);

    // A new template closed without saving.
    QTimer::singleShot(0, [&] {
        auto *designer = qobject_cast<ReportDesigner *>(QApplication::activeModalWidget());
        ASSERT_NE(designer, nullptr);
        EXPECT_EQ(designer->currentTemplate().bands.size(), 3);
        designer->addObject(ObjectKind::Memo);
        dialogs.answer = QMessageBox::No;
        designer->close();
    });
    EXPECT_EQ(ReportDesigner::exec(QString(), nullptr, dir.path()), 0);

    EXPECT_EQ(ReportDesigner::exec(dir.filePath(QStringLiteral("没有.frf"))), 0);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].startsWith(QStringLiteral("打开报表失败"))) << dialogs.errors[0].toStdString();
}

TEST(ReportDesigner, OpensAndPreviewsEveryShippedTemplate)
{
    ScriptedDialogs dialogs;
    QDirIterator files(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports"), {QStringLiteral("*.frf")}, QDir::Files, QDirIterator::Subdirectories);
    int seen = 0;
    while (files.hasNext()) {
        const QString file = files.next();
        SCOPED_TRACE(file.toStdString());
        ++seen;
        ReportDesigner designer;
        designer.resize(1200, 900);
        designer.show();
        QString error;
        ASSERT_TRUE(designer.openFile(file, &error)) << error.toStdString();
        EXPECT_EQ(designer.currentTemplate(), loadTemplate(file));
        ReportPreview *preview = designer.preview();
        ASSERT_NE(preview, nullptr) << dialogs.errors.value(0).toStdString();
        ASSERT_GE(preview->pageCount(), 1);
        // Sample data answers every expression: nothing prints in brackets.
        for (const QString &text : preview->report().texts(0)) EXPECT_FALSE(text.contains(u'[')) << text.toStdString();
        if (QFileInfo(file).baseName() == QStringLiteral("学籍卡片(一)")) {
            designer.selectObject(0, 3);
            lumeko::report::testing::keepScreenshot(&designer, QStringLiteral("designer-shipped-card1.png"));
            preview->resize(1000, 900);
            lumeko::report::testing::keepScreenshot(preview, QStringLiteral("designer-shipped-card1-preview.png"));
        }
        preview->close();
    }
    EXPECT_GE(seen, 3);
}
