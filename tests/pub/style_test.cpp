// The style's icons and bitmaps, and LoadIconList's order.

#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumeko::pub {
namespace {

// The two name lists the base page loads, and the batch dialog's extra one.
const QString kPageIcons = QStringLiteral("Edit,Insert,Delete,Save,Cancel,Fresh,Copy,Help,Quit,First,Prior,Next,Last,Import,Family,SetPass,"
                                          "View,Detail,Other,Other2,SendSMS,Print,Export,ASize,Picture,Property,TOrder,Standard,Original,"
                                          "Find,Check,Cal,PassType");
const QString kPageDisabled = QStringLiteral("Edit1,Insert1,Delete1,Save1,Cancel1,Fresh1,Copy1,Help1,Quit1,First1,Prior1,Next1,Last1,Import1,"
                                             "Family1,SetPass1,View1,Detail1,Other1,Other21,SendSMS1,Print1,Export1");

QImage imageOf(const QIcon &icon, int size = 24) { return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32); }

// Whether the opaque pixels of an image hold any colour besides greys.
bool hasColour(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 128 && (std::abs(qRed(p) - qGreen(p)) > 12 || std::abs(qGreen(p) - qBlue(p)) > 12)) return true;
        }
    return false;
}

TEST(Style, HoldsEveryIconThePagesAskForInEverySize)
{
    for (const QString &names : {kPageIcons, kPageDisabled}) {
        QList<QIcon> icons;
        const int found = LoadIconList(nullptr, names.toUtf8().constData(), &icons);
        const QStringList list = names.split(u',');
        EXPECT_EQ(found, list.size());
        ASSERT_EQ(icons.size(), list.size());
        for (int i = 0; i < icons.size(); ++i) {
            EXPECT_FALSE(icons[i].isNull()) << list[i].toStdString();
            const QList<QSize> sizes = icons[i].availableSizes();
            for (int s : {16, 24, 32, 48}) EXPECT_TRUE(sizes.contains(QSize(s, s))) << list[i].toStdString() << " " << s;
        }
    }
    EXPECT_FALSE(styleBitmap(QStringLiteral("ClnBG")).isNull());
    EXPECT_FALSE(styleBitmap(QStringLiteral("ToolBG")).isNull());
    EXPECT_TRUE(styleIcon(QStringLiteral("AppIcon")).availableSizes().contains(QSize(256, 256)));
    EXPECT_TRUE(styleBitmap(QStringLiteral("NoSuch")).isNull());
}

TEST(Style, GreyedVariantsAreGreyAndTheNormalOnesAreNot)
{
    for (const QString &name : kPageIcons.split(u',')) {
        const QImage normal = imageOf(styleIcon(name));
        const QImage greyed = imageOf(styleIcon(name + u'1'));
        EXPECT_FALSE(hasColour(greyed)) << name.toStdString();
        EXPECT_NE(normal, greyed) << name.toStdString();
    }
    for (const char *name : {"Insert", "Delete", "Save", "Help", "Next", "Import", "Check"})
        EXPECT_TRUE(hasColour(imageOf(styleIcon(QString::fromLatin1(name))))) << name;
}

TEST(Style, LoadIconListKeepsTheOrderOfTheNamesAndAGapForAMissingOne)
{
    QList<QIcon> icons{styleIcon(QStringLiteral("Find"))};
    EXPECT_EQ(LoadIconList(GetLumekoStyle(), "Save, NoSuchIcon ,Edit1,,../Save", &icons), 2);
    ASSERT_EQ(icons.size(), 5) << "what the list held before is gone";
    EXPECT_EQ(imageOf(icons[0]), imageOf(styleIcon(QStringLiteral("Save"))));
    EXPECT_TRUE(icons[1].isNull());
    EXPECT_EQ(imageOf(icons[2]), imageOf(styleIcon(QStringLiteral("Edit1"))));
    EXPECT_NE(imageOf(icons[2]), imageOf(styleIcon(QStringLiteral("Edit"))));
    EXPECT_TRUE(icons[3].isNull());
    EXPECT_TRUE(icons[4].isNull()) << "a name is no path";

    // The best-fit, find, filter and export buttons take their icons by position in the page's list.
    ASSERT_EQ(LoadIconList(nullptr, kPageIcons.toUtf8().constData(), &icons), 33);
    const QStringList names = kPageIcons.split(u',');
    for (const char *name : {"ASize", "Find", "Standard", "Export"})
        EXPECT_EQ(imageOf(icons[names.indexOf(QString::fromLatin1(name))]), imageOf(styleIcon(QString::fromLatin1(name)))) << name;

    EXPECT_EQ(LoadIconList(nullptr, "", &icons), 0);
    EXPECT_TRUE(icons.isEmpty());
    EXPECT_EQ(LoadIconList(nullptr, nullptr, &icons), 0);
    EXPECT_EQ(LoadIconList(nullptr, "Edit", nullptr), -1);
}

TEST(Style, AFolderLaidOutLikeTheResourceIsAStyleToo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("24"));
    QImage red(24, 24, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir.filePath(QStringLiteral("24/Mine.png"))));
    ASSERT_TRUE(red.save(dir.filePath(QStringLiteral("ClnBG.png"))));

    QList<QIcon> icons;
    EXPECT_EQ(loadIconList(dir.path(), QStringLiteral("Mine,Edit"), &icons), 1) << "the folder's style has no Edit";
    ASSERT_EQ(icons.size(), 2);
    EXPECT_EQ(imageOf(icons[0]).pixel(12, 12), QColor(Qt::red).rgba());
    EXPECT_TRUE(icons[1].isNull());
    EXPECT_EQ(styleBitmap(QStringLiteral("ClnBG"), dir.path() + u'/').size(), QSize(24, 24));
}

} // namespace
} // namespace lumeko::pub
