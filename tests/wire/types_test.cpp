#include "wire/types.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace lumeko::wire;

namespace {
QVariant coerced(const QVariant &in, FieldType t)
{
    QVariant out = QStringLiteral("untouched");
    if (!coerceValue(in, t, &out)) return QStringLiteral("REFUSED");
    return out;
}
} // namespace

TEST(Values, ConversionToFieldTypesKeepsOrRefusesButNeverLoses)
{
    EXPECT_EQ(coerced(QStringLiteral(" 2012 "), FieldType::Integer), QVariant(qint64(2012)));
    EXPECT_EQ(coerced(3.0, FieldType::Integer), QVariant(qint64(3)));
    EXPECT_EQ(coerced(3.5, FieldType::Integer), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("12a"), FieldType::Integer), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("98.5"), FieldType::Float), QVariant(98.5));
    EXPECT_EQ(coerced(qQNaN(), FieldType::Float), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("True"), FieldType::Boolean), QVariant(true));
    EXPECT_EQ(coerced(0, FieldType::Boolean), QVariant(false));
    EXPECT_EQ(coerced(2, FieldType::Boolean), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("Y"), FieldType::Boolean), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("2012-09-01"), FieldType::Date), QVariant(QDate(2012, 9, 1)));
    EXPECT_EQ(coerced(QStringLiteral("2012-13-01"), FieldType::Date), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QDate(2012, 9, 1), FieldType::Text), QVariant(QStringLiteral("2012-09-01")));
    EXPECT_EQ(coerced(QByteArray("\x01\x02"), FieldType::Text), QVariant(QStringLiteral("REFUSED")));
    EXPECT_EQ(coerced(QStringLiteral("photo"), FieldType::Blob), QVariant(QStringLiteral("REFUSED")));
    // Null stays null whatever the type; an empty text stays an empty text.
    EXPECT_FALSE(coerced(QVariant(), FieldType::Integer).isValid());
    EXPECT_EQ(coerced(QString(""), FieldType::Text), QVariant(QString("")));
}

TEST(Values, TextLongerThanItsFieldIsRefusedWithTheFieldNamed)
{
    FieldDef f{QStringLiteral("sName"), FieldType::Text, 4, 0};
    EXPECT_EQ(coerceOrThrow(QStringLiteral("欧阳明月"), f).toString(), QStringLiteral("欧阳明月"));
    try {
        coerceOrThrow(QStringLiteral("欧阳明月好"), f);
        FAIL() << "a five-character name fits a four-character field";
    } catch (const WireError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("sName")));
    }
}

TEST(Values, SameValueDistinguishesNullFromEmptyAndComparesNumbersByValue)
{
    EXPECT_TRUE(sameValue(QVariant(), QVariant()));
    EXPECT_FALSE(sameValue(QVariant(), QString("")));
    EXPECT_FALSE(sameValue(QString(""), QVariant()));
    EXPECT_TRUE(sameValue(qint64(3), 3));
    EXPECT_TRUE(sameValue(qint64(3), 3.0));
    EXPECT_FALSE(sameValue(QStringLiteral("3"), 3));
    EXPECT_FALSE(sameValue(QStringLiteral("张三"), QStringLiteral("张 三")));
    EXPECT_TRUE(sameValue(QDateTime::fromMSecsSinceEpoch(5, QTimeZone::utc()), QDateTime::fromMSecsSinceEpoch(5)));
}

TEST(Values, FieldLookupIgnoresLetterCase)
{
    const QList<FieldDef> fields{{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                                 {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0}};
    EXPECT_EQ(indexOfField(fields, u"SCODE"), 0);
    EXPECT_EQ(indexOfField(fields, u"iclassno"), 1);
    EXPECT_EQ(indexOfField(fields, u"iClass"), -1);
}
