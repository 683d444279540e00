// The templates that ship, printed the way the student register prints them: its variables, the
// family and score tables filtered on each student, the photo and the score memos filled in.

#include "reporttesting.h"

#include "toolkit/report/engine.h"
#include "toolkit/report/templatexml.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::report;
using namespace lumeko::report::testing;

namespace {

QString shipped(const char *name) { return QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports/Student/") + QString::fromUtf8(name) + ".frf"; }

class ShippedTemplates : public ::testing::Test {
protected:
    void SetUp() override
    {
        fillTable(students, {"sCode", "sName", "sNO", "sSex", "dbirthday:d", "sPNO", "iClassNo:i", "sType", "sNation", "sResidenceType", "sBirthAddr", "sAddress"},
                  {{"A", QStringLiteral("张三"), "20260101", QStringLiteral("男"), QDate(2013, 3, 8), "440300201303080011", 1, QStringLiteral("统招生"),
                    QStringLiteral("汉族"), QStringLiteral("城镇"), QStringLiteral("广东"), QStringLiteral("深圳市南山区桃园路1号")},
                   {"B", QStringLiteral("李四"), "20260102", QStringLiteral("女"), QDate(2013, 7, 21), "440300201307210022", 2, QStringLiteral("借读生"),
                    QStringLiteral("壮族"), QStringLiteral("农村"), QStringLiteral("广西"), QStringLiteral("深圳市福田区")}});
        fillTable(family, {"sCode", "sTitle", "sName", "dBirthDay:d", "sCompany", "sDuty", "sTel"},
                  {{"A", QStringLiteral("父亲"), QStringLiteral("张大山"), QDate(1982, 1, 2), QStringLiteral("晴川建筑公司"), QStringLiteral("工程师"), "13800000001"},
                   {"B", QStringLiteral("母亲"), QStringLiteral("陈丽"), QDate(1985, 5, 6), QStringLiteral("福田医院"), QStringLiteral("护士"), "13900000002"}});
        QStringList scoreFields = {"sCode"};
        QVariantList a = {"A"}, b = {"B"};
        for (int i = 1; i <= 24; ++i) {
            scoreFields << QStringLiteral("c%1:f").arg(i);
            a << 60.0 + i;
            b << (i <= 3 ? QVariant(90.5 - i) : QVariant());
        }
        fillTable(scores, scoreFields, {a, b});
        engine.bindTable("cdsData", &students);
        engine.bindTable("cdsFamily", &family);
        engine.bindTable("cdsMyAchieve", &scores);
        engine.now = QDateTime(QDate(2026, 12, 6), QTime(10, 0));
        engine.variables = [this](const QString &name, bool *found) -> QVariant {
            const QHash<QString, QVariant> v = {{"SchoolFullName", QStringLiteral("深圳市晴川中学")}, {"GradeName", QStringLiteral("七年级")},
                                                {"ClassName", QStringLiteral("七(1)班")}, {"ClassTeacher", QStringLiteral("周浩晟")},
                                                {"InYear", 2026}, {"RecordCount", students.recordCount()}};
            *found = v.contains(name);
            return v.value(name);
        };
        engine.masterRowMoved = [this](const QString &) {
            const QString filter = QStringLiteral("sCode='%1'").arg(students.value(u"sCode").toString());
            for (DataSet *t : {&family, &scores}) {
                t->setFilter(filter);
                t->setFiltered(true);
            }
        };
        photo = QImage(30, 40, QImage::Format_RGB32);
        photo.fill(QColor(200, 0, 0));
        engine.beforePrint = [this](PrintingObject &o) {
            if (o.object.name == u"InPicture") o.picture = students.value(u"sCode").toString() == u"A" ? photo : QImage();
            if (o.object.name.startsWith(u"mm_")) o.text = QStringLiteral("[cdsMyAchieve.\"c%1\"]").arg(o.object.name.mid(3));
        };
    }

    QStringList print(const char *name)
    {
        engine.setTemplate(loadTemplate(shipped(name)));
        QString error;
        EXPECT_TRUE(engine.prepare(&error)) << error.toStdString();
        if (qEnvironmentVariableIsSet("LUMEKO_REPORT_SHOTS"))
            engine.prepared().pageImage(0, 4).save(qEnvironmentVariable("LUMEKO_REPORT_SHOTS") + u'/' + QString::fromUtf8(name) + ".png");
        return pdfPages(engine.prepared());
    }

    DataSet students, family, scores;
    ReportEngine engine;
    QImage photo;
};

TEST_F(ShippedTemplates, TheStudentListListsEveryStudentUnderItsHeader)
{
    const QStringList pages = print("学生名单");
    ASSERT_EQ(pages.size(), 1);
    for (const char *text : {"深圳市晴川中学", "七年级学生名单", "序号", "学号", "身份证号", "张三", "李四", "20260102", "2013-07-21", "借读生",
                             "共2名学生", "第1页/共1页", "2026-12-06"})
        EXPECT_TRUE(pages[0].contains(QString::fromUtf8(text))) << text << "\n" << pages[0].toStdString();
}

TEST_F(ShippedTemplates, RecordCardOneHasAPageAPhotoAndTheFamilyOfEachStudent)
{
    const QStringList pages = print("学籍卡片(一)");
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains(bare(QStringLiteral("学 生 学 籍 卡 片"))));
    for (const char *text : {"张三", "汉族", "七(1)班", "周浩晟", "2026级", "深圳市南山区桃园路1号", "张大山", "晴川建筑公司"})
        EXPECT_TRUE(pages[0].contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(pages[0].contains(QStringLiteral("陈丽")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("陈丽")));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("张大山")));

    const auto redPixels = [&](int page) {
        const QImage img = engine.prepared().pageImage(page, 1.0);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += qRed(img.pixel(x, y)) > 150 && qGreen(img.pixel(x, y)) < 60;
        return n;
    };
    EXPECT_GT(redPixels(0), 500) << "张三's entrance photo";
    EXPECT_EQ(redPixels(1), 0) << "李四 has none: the frame stays empty";
}

TEST_F(ShippedTemplates, RecordCardTwoFillsTheScoreMemosFromTheStudentsOwnScores)
{
    const QStringList pages = print("学籍卡片(二)");
    ASSERT_EQ(pages.size(), 2);
    for (int i = 1; i <= 24; ++i) EXPECT_TRUE(pages[0].contains(QString::number(60 + i))) << i;
    EXPECT_TRUE(pages[0].contains(QStringLiteral("第24次")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("89.5")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("87.5")));
    EXPECT_FALSE(pages[1].contains(QStringLiteral("64"))) << "李四's empty scores print empty, not 张三's";
}

} // namespace
