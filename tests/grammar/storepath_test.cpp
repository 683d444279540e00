#include "server/grammar/storepath.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

TEST(StorePath, NormalisesThePhotoPathsOfTheCallersSchool)
{
    EXPECT_EQ(checkStorePath(u"StudentPics\\s1\\0\\201200100001001.jpg", u"s1"),
              "StudentPics/s1/0/201200100001001.jpg");
    EXPECT_EQ(checkStorePath(u"studentpics/s1/1/a_b-c.JPEG", u"s1"), "StudentPics/s1/1/a_b-c.JPEG");
    EXPECT_EQ(checkStorePath(u"StudentPics/s1\\1/x.gif", u"s1"), "StudentPics/s1/1/x.gif");
    // Dots inside a name are no parent folder.
    EXPECT_EQ(checkStorePath(u"StudentPics\\s1\\0\\2012..01.jpg", u"s1"), "StudentPics/s1/0/2012..01.jpg");
    const QString longest(128, u'a');
    EXPECT_EQ(checkStorePath(QStringLiteral("StudentPics\\s1\\0\\") + longest, u"s1"), "StudentPics/s1/0/" + longest);
    // The folder and the file name as VarToSFile takes them.
    EXPECT_EQ(checkStorePath(u"StudentPics\\s1\\0\\", u"x.jpg", u"s1"), "StudentPics/s1/0/x.jpg");
    EXPECT_EQ(checkStorePath(u"StudentPics\\s1\\1", u"x.jpg", u"s1"), "StudentPics/s1/1/x.jpg");
}

TEST(StorePath, RefusesEveryPathLeavingTheSchoolsPhotoFolders)
{
    const auto check = [](const QString &path) { return [path] { checkStorePath(path, u"s1"); }; };
    EXPECT_TRUE(
        refused(check("StudentPics\\s1\\0\\..\\..\\etc\\passwd"), 17, "photo path: \".\" and \"..\" are refused"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\.\\0\\x.jpg"), 15, "\"..\""));
    EXPECT_TRUE(refused(check("/etc/passwd"), 0, "absolute"));
    EXPECT_TRUE(refused(check("\\\\server\\share\\x.jpg"), 0, "absolute"));
    EXPECT_TRUE(refused(check("C:\\x.jpg"), 0, "drive letters"));
    EXPECT_TRUE(refused(check("c:StudentPics\\s1\\0\\x.jpg"), 0, "drive letters"));
    EXPECT_TRUE(refused(check("StudentPics\\s2\\0\\x.jpg"), 12, "caller's own school"));
    EXPECT_TRUE(refused(check("StudentPics\\S1\\0\\x.jpg"), 12, "caller's own school"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\2\\x.jpg"), 15, "photo type 0 or 1"));
    EXPECT_TRUE(refused(check("Pictures\\s1\\0\\x.jpg"), 0, "expected StudentPics"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0"), 0, "<file name>"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x.jpg\\y"), 0, "<file name>"));
    EXPECT_TRUE(refused(check(""), 0));
    EXPECT_TRUE(refused(check("StudentPics\\\\s1\\0\\x.jpg"), 12, "empty"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\"), 17, "empty"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\.htaccess"), 17, "not starting with"));
    EXPECT_TRUE(refused(check(QStringLiteral("StudentPics\\s1\\0\\x.jpg") + QChar(0) + ".php"), 22, "control"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x\ny.jpg"), 18, "control"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x y.jpg"), 18, "letters, digits"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x:y.jpg"), 18, "\":\""));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\照片.jpg"), 17, "letters, digits"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\%2e%2e"), 17, "letters, digits"));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x.jpg "), 22));
    EXPECT_TRUE(refused(check("StudentPics\\s1\\0\\x\u2215y.jpg"), 18)); // division slash, a look-alike of "/"
    EXPECT_TRUE(refused(check(QStringLiteral("StudentPics\\s1\\0\\") + QString(129, u'a')), 17, "at most 128"));
    EXPECT_TRUE(refused([] { checkStorePath(u"StudentPics\\s1\\0", u"..\\..\\x.jpg", u"s1"); }, 17, "\"..\""));
    EXPECT_TRUE(refused([] { checkStorePath(u"StudentPics\\s1\\0\\\\", u"x.jpg", u"s1"); }, 17, "empty"));
    EXPECT_TRUE(refused([] { checkStorePath(u"StudentPics\\..\\0\\x.jpg", u".."); }, 0, "caller's school id"));
    expectInjectionsRefused("StudentPics\\s1\\0\\201200100001001.jpg",
                            [](const QString &t) { checkStorePath(t, u"s1"); });
}
