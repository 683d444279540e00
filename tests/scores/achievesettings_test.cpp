// The score page's settings file: defaults where a key is absent or out of range, the colour names
// older files carry, the user's weights, and "恢复默认".

#include "scores/achievesettings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lumeko::achieve;

TEST(AchieveSettings, DefaultsNamedColoursWeightsAndRestoringTheColours)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("UserData/T1/AchieveConfig.ini"));
    AchieveSettings s;
    s.open(path, 2012, QStringLiteral("0701"), QStringLiteral("003"));
    EXPECT_EQ(s.section(), QStringLiteral("2012_0701_003"));
    EXPECT_EQ(s.compValue(), 30);
    EXPECT_EQ(s.compSubjects(), 3);
    EXPECT_EQ(s.compSubjectStyle(), 4);
    EXPECT_EQ(s.showSubjectItems(), 3);
    EXPECT_FALSE(s.showColor());
    EXPECT_TRUE(s.showColorOf(AchieveSettings::Bad));
    EXPECT_EQ(s.color(AchieveSettings::Excel), QColor(0x00FF00)) << "clLime";
    EXPECT_EQ(s.color(AchieveSettings::Order), QColor(0xF0F0F0)) << "clBtnFace";

    // A file written by hand or an older release: out-of-range values fall back, names are read.
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("2012_0701_003/CompValue"), 5000);
        ini.setValue(QStringLiteral("2012_0701_003/CompSubjects"), QStringLiteral("x"));
        ini.setValue(QStringLiteral("2012_0701_003/NoPassColor"), QStringLiteral("clYellow"));
        ini.setValue(QStringLiteral("2012_0701_003/BadColor"), QStringLiteral("not a colour"));
        ini.setValue(QStringLiteral("2012_0701_003/SubjectsPer"), QStringLiteral("001;0.5,002;1.5,003;abc,004;0.25"));
        ini.setValue(QStringLiteral("2013_0701_003/CompValue"), 7); // another exam's section
    }
    EXPECT_EQ(s.compValue(), 30);
    EXPECT_EQ(s.compSubjects(), 3);
    EXPECT_EQ(s.color(AchieveSettings::NoPass), QColor(0xFFFF00));
    EXPECT_EQ(s.color(AchieveSettings::Bad), QColor(0xFF0000)) << "an unreadable colour is the default";
    const QHash<QString, double> weights = s.subjectsPer();
    EXPECT_EQ(weights.size(), 2) << "only weights above 0 and at most 1";
    EXPECT_EQ(weights.value(QStringLiteral("001")), 0.5);
    EXPECT_EQ(weights.value(QStringLiteral("004")), 0.25);

    // Writing: each key at once, colours by name where they have one.
    s.setCompValue(50);
    s.setColor(AchieveSettings::Excel, QColor(0x00FFFF));
    s.setColor(AchieveSettings::Order, QColor(0x123456));
    s.setShowColor(true);
    s.setSubjectsPer({{QStringLiteral("003"), 0.8}, {QStringLiteral("001"), 0.5}});
    QSettings ini(path, QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("2012_0701_003/CompValue")).toInt(), 50);
    EXPECT_EQ(ini.value(QStringLiteral("2012_0701_003/ExcelColor")).toString(), QStringLiteral("clAqua"));
    EXPECT_EQ(ini.value(QStringLiteral("2012_0701_003/OrderColor")).toString(), QStringLiteral("#123456"));
    EXPECT_EQ(ini.value(QStringLiteral("2012_0701_003/SubjectsPer")).toString(), QStringLiteral("001;0.5,003;0.8"));
    s.restoreDefaultColors();
    EXPECT_FALSE(s.showColor());
    EXPECT_EQ(s.color(AchieveSettings::Excel), QColor(0x00FF00));
    EXPECT_EQ(s.color(AchieveSettings::Order), QColor(0xF0F0F0));
    EXPECT_EQ(s.compValue(), 50) << "the filters keep their values";
}
