// EncStr and its inverse, and the wide strings the module hands to the host.

#include "host/pub/lumekopub.h"
#include "host/pub/pub.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lumeko::pub {
namespace {

using cipher::decStr;
using cipher::encStr;
using cipher::isCipherText;

// The program's fixed key has the form of a GUID text.
const QString kKey = QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");

TEST(EncStr, EnciphersWithTheKeyAndOnlyTheKeyDeciphers)
{
    const QString secret = QStringLiteral("初始密码abc123");
    const QString a = encStr(secret, kKey);
    const QString b = encStr(secret, kKey);
    EXPECT_TRUE(a.startsWith(u"enc1:")) << a.toStdString();
    EXPECT_NE(a, b) << "a fresh nonce every time";
    EXPECT_FALSE(a.contains(secret));
    EXPECT_EQ(decStr(a, kKey), secret);
    EXPECT_EQ(decStr(b, kKey), secret);
    EXPECT_TRUE(isCipherText(a));

    // Another key, even one character off, fails; so does the empty key.
    QString nearKey = kKey;
    nearKey[1] = u'4';
    EXPECT_FALSE(decStr(a, nearKey).has_value());
    EXPECT_FALSE(decStr(a, QString()).has_value());

    // Nonce 24 + tag 16 + the UTF-8 bytes of the text, in base64.
    const QByteArray raw = QByteArray::fromBase64(a.mid(5).toLatin1());
    EXPECT_EQ(raw.size(), 24 + 16 + secret.toUtf8().size());

    // Any changed byte, in the nonce, the cipher text or the tag, is found.
    for (qsizetype at : {qsizetype(0), qsizetype(23), qsizetype(24), raw.size() - 1}) {
        QByteArray bad = raw;
        bad[at] = char(bad[at] ^ 0x01);
        EXPECT_FALSE(decStr(QStringLiteral("enc1:") + QString::fromLatin1(bad.toBase64()), kKey).has_value()) << at;
    }
    // Cut, wrongly labelled, or not base64.
    EXPECT_FALSE(decStr(QStringLiteral("enc1:") + QString::fromLatin1(raw.left(39).toBase64()), kKey).has_value());
    EXPECT_FALSE(decStr(QStringLiteral("enc2:") + a.mid(5), kKey).has_value());
    EXPECT_FALSE(decStr(a.mid(5), kKey).has_value());
    EXPECT_FALSE(decStr(a + QStringLiteral("*"), kKey).has_value());
    EXPECT_FALSE(decStr(a.left(10) + u' ' + a.mid(10), kKey).has_value());
    EXPECT_FALSE(isCipherText(QStringLiteral("123456")));
    EXPECT_FALSE(isCipherText(QStringLiteral("enc1:")));

    // The empty text and a long one round-trip too.
    EXPECT_EQ(decStr(encStr(QString(), kKey), kKey), QString());
    const QString longText = QString(5000, QChar(0x5B66));
    EXPECT_EQ(decStr(encStr(longText, kKey), kKey), longText);
}

TEST(EncStr, TheCFunctionGivesTheSameForm)
{
    const QByteArray key = kKey.toUtf8();
    const QString first = QString::fromUtf8(EncStr("654321", key.constData()));
    const QString second = QString::fromUtf8(EncStr("654321", key.constData()));
    EXPECT_NE(first, second);
    EXPECT_EQ(decStr(first, kKey), u"654321");
    EXPECT_EQ(decStr(second, kKey), u"654321");
    EXPECT_EQ(decStr(QString::fromUtf8(EncStr(nullptr, nullptr)), QString()), QString());
}

TEST(WideStrings, CarryTheirLengthAndATerminator)
{
    const QString text = QStringLiteral("学籍管理,成绩录入\t𠀀");
    uint16_t *w = LumekoAllocWideString(reinterpret_cast<const uint16_t *>(text.utf16()), int32_t(text.size()));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(LumekoWideStringLength(w), text.size());
    EXPECT_EQ(w[text.size()], 0);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(w), LumekoWideStringLength(w)), text);
    int32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char *>(w) - 4, 4);
    EXPECT_EQ(prefix, text.size()) << "the count sits in the four bytes before the text";
    LumekoFreeWideString(w);

    // An inner zero stays inside the counted length.
    const uint16_t withZero[] = {u'a', 0, u'b'};
    w = LumekoAllocWideString(withZero, 3);
    EXPECT_EQ(LumekoWideStringLength(w), 3);
    EXPECT_EQ(w[2], u'b');
    EXPECT_EQ(w[3], 0);
    LumekoFreeWideString(w);

    w = LumekoAllocWideStringUtf8("学年");
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(w), LumekoWideStringLength(w)), u"学年");
    LumekoFreeWideString(w);

    w = LumekoAllocWideString(nullptr, 0);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(LumekoWideStringLength(w), 0);
    EXPECT_EQ(w[0], 0);
    LumekoFreeWideString(w);
    w = LumekoAllocWideStringUtf8(nullptr);
    EXPECT_EQ(LumekoWideStringLength(w), 0);
    LumekoFreeWideString(w);

    EXPECT_EQ(LumekoAllocWideString(withZero, -1), nullptr);
    EXPECT_EQ(LumekoAllocWideString(nullptr, 2), nullptr);
    EXPECT_EQ(LumekoAllocWideString(withZero, int32_t(1) << 30), nullptr);
    EXPECT_EQ(LumekoWideStringLength(nullptr), 0);
    LumekoFreeWideString(nullptr);
}

} // namespace
} // namespace lumeko::pub
