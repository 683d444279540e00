#include "toolkit/data/chinese.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumeko;

TEST(Gbk, EncodesDecodesAndGivesLeadBytes)
{
    EXPECT_EQ(toGbk(u"张三a"), QByteArray("\xd5\xc5\xc8\xfd" "a"));
    EXPECT_EQ(fromGbk(QByteArray("\xd5\xc5\xc8\xfd" "a")), QStringLiteral("张三a"));
    EXPECT_EQ(toGbk(u"a😀b"), QByteArray("a?b")); // outside GBK
    EXPECT_THROW(fromGbk(QByteArray("\xd5")), std::runtime_error); // half a character
    EXPECT_EQ(gbkLeadByte(u'张'), 0xd5);
    EXPECT_EQ(gbkLeadByte(u'啊'), 0xb0); // first hanzi of GB2312
    EXPECT_EQ(gbkLeadByte(u'a'), 'a');
    EXPECT_LT(gbkLeadByte(u'，'), 176); // full-width punctuation is below the hanzi rows
    EXPECT_EQ(gbkLeadByte(QChar(0x0E01)), 0); // Thai: not in GBK
}

TEST(Pinyin, TheFirstPairThatHoldsACharacterGivesItsReading)
{
    const PinyinTable t = PinyinTable::fromText(u"z\n张重\ns\n三四\nc\n重\n");
    EXPECT_EQ(t.initials(u"张三"), QStringLiteral("zs"));
    EXPECT_EQ(t.initials(u"重"), QStringLiteral("z")); // the first pair wins
    EXPECT_EQ(t.initials(u"王"), QStringLiteral("?"));
    EXPECT_EQ(t.initials(u"Zhang San 123"), QString()); // Latin letters give nothing
    EXPECT_EQ(t.initials(u"张-三"), QStringLiteral("zs"));
    const PinyinTable full = PinyinTable::fromText(u"Zhang \n张\nlv\n吕\n");
    EXPECT_EQ(full.pinyinOf(u'张'), QStringLiteral("zhang")) << "syllables are trimmed and lower-cased";
    EXPECT_EQ(full.initials(u"吕张"), QStringLiteral("lz"));
    EXPECT_EQ(full.pinyinOf(u'王'), QString());

    QTemporaryDir dir;
    EXPECT_TRUE(PinyinTable::load(dir.filePath("missing.dll")).isEmpty());
    EXPECT_EQ(PinyinTable::load(dir.filePath("missing.dll")).initials(u"张三"), QStringLiteral("??"));
    // A table written in GBK, as older installations have it, reads the same.
    QFile gbk(dir.filePath("gbk.dll"));
    ASSERT_TRUE(gbk.open(QIODevice::WriteOnly));
    gbk.write(toGbk(u"z\r\n张\r\ns\r\n三\r\n"));
    gbk.close();
    EXPECT_EQ(PinyinTable::load(gbk.fileName()).initials(u"张三"), QStringLiteral("zs"));
}

TEST(Pinyin, TheShippedTableCoversEveryGb2312Hanzi)
{
    const PinyinTable t = PinyinTable::load(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Chinese.dll"));
    ASSERT_FALSE(t.isEmpty());
    int covered = 0;
    QString missing;
    for (int hi = 0xB0; hi <= 0xF7; ++hi)
        for (int lo = 0xA1; lo <= 0xFE; ++lo) {
            if (hi == 0xD7 && lo > 0xF9) continue; // the five empty places of row 55
            const char code[2] = {char(hi), char(lo)};
            const QString c = fromGbk(QByteArrayView(code, 2));
            ASSERT_EQ(c.size(), 1);
            if (t.initialOf(c[0]) == u'?') missing += c;
            else ++covered;
        }
    EXPECT_EQ(covered, 6763);
    EXPECT_TRUE(missing.isEmpty()) << missing.toStdString();
    EXPECT_EQ(t.initials(u"张三李四王五欧阳"), QStringLiteral("zslswwoy"));
    EXPECT_EQ(t.initials(u"阿恩"), QStringLiteral("ae"));
    QString full;
    for (QChar c : QStringView(u"张三吕绿欧阳")) full += t.pinyinOf(c) + u' ';
    EXPECT_EQ(full, QStringLiteral("zhang san lv lv ou yang ")) << "ü is typed as v";
}
