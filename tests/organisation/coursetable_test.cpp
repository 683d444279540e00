// The course table opened through its export over a grade of the fixture school: the sheet it
// builds, searching the teacher list by initials, filling, clearing, copying and pasting names,
// unknown names becoming teachers, what a save stores, and the roles it grants and takes away,
// end to end: a teacher the sheet names may save exactly the scores of his subject and class.

#include "framework/lumekoachieve.h"
#include "framework/pageregistry.h"
#include "organisation/ufrmcoursetable.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "toolkit/grid/bandedgrid.h"

#include "shots.h"
#include "signedinhost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using Line = TfrmCourseTable::Line;

namespace {

constexpr char kZhang[] = "{00000000-0000-0000-0000-00000000C0A1}"; // 张三
constexpr char kLi[] = "{00000000-0000-0000-0000-00000000C0A2}";    // 李四
constexpr char kSun[] = "{00000000-0000-0000-0000-00000000C0A3}";   // 孙老师, no role yet
const QString kNoPage = QStringLiteral("⊥");

// The host's link to the embedded server, noting every method called through it.
class RecordingLink : public wire::ServerLink {
public:
    explicit RecordingLink(wire::CallService &service) : m_local(service) {}
    wire::Reply call(wire::Call &c) override
    {
        methods << c.method;
        return m_local.call(c);
    }
    QStringList methods;

private:
    wire::LocalLink m_local;
};

class CourseTableTest : public pub::testing::SignedInHost {
protected:
    explicit CourseTableTest(server::Backend backend = server::Backend::Sqlite) : SignedInHost(backend) {}

    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        host.appPathValue = m_app.path() + u'/';
        QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Chinese.dll"), m_app.filePath(QStringLiteral("Chinese.dll")));
        server::Database &db = fx.db();
        server::seedSystemData(db); // the rights tree and what each role may use
        const auto hash = [](const char *pw) { return server::hashPassword(QString::fromLatin1(pw), server::PasswordCost::Minimal); };
        const QString teacher = "INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                                "\"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, ?, ?, ?, 0, 0, ?, ?)";
        const QVariant no = db.toDb(false, wire::FieldType::Boolean);
        db.exec(teacher, {kZhang, QStringLiteral("张三"), "zhangsan", hash("pw"), QVariant(), no, no});
        db.exec(teacher, {kLi, QStringLiteral("李四"), "lisi", hash("pw"), QVariant(), no, no});
        db.exec(teacher, {kSun, QStringLiteral("孙老师"), "sun", hash("pws"), QVariant(), no, no});
        const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\", \"TeacherCode\") VALUES ('S1', ?, ?, ?)";
        db.exec(subject, {"001", QStringLiteral("语文"), kZhang});
        db.exec(subject, {"002", QStringLiteral("数学"), QVariant()});
        db.exec(subject, {"003", QStringLiteral("英语"), QVariant()});
        db.exec(subject, {"009", QStringLiteral("音乐"), QVariant()});
        const QString gradeSubject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", "
                                     "\"FullMark\") VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(gradeSubject, {"001", 0, 120});
        db.exec(gradeSubject, {"002", 0, 120});
        db.exec(gradeSubject, {"003", 1, 100});
        const QString cls = "INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\") VALUES ('S1', ?, ?, ?)";
        db.exec(cls, {"701", QStringLiteral("701班"), QStringLiteral("本部")});
        db.exec(cls, {"702", QStringLiteral("702班"), QStringLiteral("分校")});
        const QString gradeClass = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sArea\", \"AliasName\", "
                                   "\"TeacherCode\") VALUES ('S1', 2026, '1701', ?, ?, ?, ?)";
        db.exec(gradeClass, {"701", QStringLiteral("本部"), QStringLiteral("七(1)班"), server::testing::kTeacherCode});
        db.exec(gradeClass, {"702", QStringLiteral("分校"), QStringLiteral("七(2)班"), QVariant()});
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                "VALUES ('S1', 2026, '1701', '702', '001', ?)",
                {kLi});
        ASSERT_TRUE(pub::signIn(recorder, QStringLiteral("admin"), QStringLiteral("lumeko"), nullptr));
    }
    void TearDown() override
    {
        for (const qint32 h : PageRegistry::instance().handles())
            ClosePage(h);
        SignedInHost::TearDown();
    }

    TfrmCourseTable *open(const char *params = "2026,1701,七年级,Y,")
    {
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        tab->resize(1200, 600);
        auto *page = qobject_cast<TfrmCourseTable *>(PageRegistry::instance().page(ShowCourseTablePage(&app, tab.get(), params)));
        if (page) tab->show();
        return page;
    }
    static int classRow(TfrmCourseTable *p, const char *cls) { return p->lineRow(Line::Class, 2026, QStringLiteral("1701"), QString::fromLatin1(cls)); }
    static int subject(TfrmCourseTable *p, const char *code) { return p->subjectColumn(QString::fromLatin1(code)); }
    // The teacher the course table stores for a class and subject; "-" when there is no line.
    QString stored(const char *cls, const char *subject)
    {
        const QVariant v = fx.db().scalar("SELECT \"TeacherCode\" FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2026 "
                                          "AND \"GradeCode\" = '1701' AND \"ClassCode\" = ? AND \"SubjectCode\" = ?",
                                          {cls, subject});
        return v.isValid() ? v.toString() : QStringLiteral("-");
    }
    QString roles(const char *teacher) { return fx.db().scalar("SELECT \"sRole\" FROM \"JC_Teacher\" WHERE \"sCode\" = ?", {teacher}).toString(); }
    QString lastMessage() const { return host.messages.isEmpty() ? QString() : host.messages.last().text; }
    static void paste(TfrmCourseTable *p, int row, int column, const QString &text)
    {
        QApplication::clipboard()->setText(text);
        p->selectCells(row, column, row, column);
        p->ActPaste->trigger();
    }

    RecordingLink recorder{fx.service()};
    QWidget app;
    std::unique_ptr<QWidget> tab;
    QTemporaryDir m_app;
};

TEST_F(CourseTableTest, TheSheetShowsTheSchoolsLeadersThenTheGradesLeadersAndClasses)
{
    TfrmCourseTable *p = open();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("2026级七年级.教师任课表"));
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'|').toStdString();
    BandedGrid *g = p->sGrid;
    EXPECT_EQ(g->columnCaption(TfrmCourseTable::kLeaderColumn), QStringLiteral("年级长"));
    EXPECT_EQ(g->columnCaption(TfrmCourseTable::kHeadColumn), QStringLiteral("班主任"));
    ASSERT_EQ(p->columnCount(), 7) << "three fixed columns and the school's four subjects";
    EXPECT_EQ(g->columnCaption(subject(p, "002")), QStringLiteral("数学"));
    EXPECT_EQ(g->fixedBandColumnCount(), 2);

    const int leaders = p->lineRow(Line::SubjectLeaders), deputies = p->lineRow(Line::SubjectDeputies);
    EXPECT_EQ(leaders, 0);
    EXPECT_EQ(deputies, 1);
    EXPECT_EQ(p->cellText(leaders, TfrmCourseTable::kLeaderColumn), QStringLiteral("科目组长"));
    EXPECT_EQ(p->cellText(deputies, TfrmCourseTable::kLeaderColumn), QStringLiteral("科目副组长"));
    EXPECT_EQ(p->cellText(leaders, subject(p, "001")), QStringLiteral("张三"));
    EXPECT_EQ(p->cellText(leaders, TfrmCourseTable::kHeadColumn), QStringLiteral("XXX")) << "only a class has a head teacher";
    EXPECT_TRUE(p->cellEditable(leaders, subject(p, "009"))) << "every school subject has a leader";

    const int grade = p->lineRow(Line::GradeLeaders, 2026, QStringLiteral("1701"));
    ASSERT_EQ(grade, 2);
    EXPECT_TRUE(p->cellText(grade, 0).startsWith(QStringLiteral("2026级七年级"))) << p->cellText(grade, 0).toStdString();
    EXPECT_EQ(p->cellText(grade, subject(p, "009")), QStringLiteral("XXX")) << "音乐 is not taught in the grade";
    EXPECT_FALSE(p->cellEditable(grade, subject(p, "009")));
    EXPECT_TRUE(p->cellEditable(grade, TfrmCourseTable::kLeaderColumn));
    // The fixture school has a campus tree: the deputies' line is the branch campus's.
    EXPECT_TRUE(p->cellText(p->lineRow(Line::GradeDeputies, 2026, QStringLiteral("1701")), 0).contains(QStringLiteral("分校")));

    const int c701 = classRow(p, "701"), c702 = classRow(p, "702");
    ASSERT_EQ(c701, 4);
    ASSERT_EQ(c702, 5);
    EXPECT_TRUE(p->cellText(c701, 0).contains(QStringLiteral("七(1)班"))) << "a class by its name in the grade";
    EXPECT_TRUE(p->cellText(c702, 0).contains(QStringLiteral("分校"))) << "a branch campus's class says so";
    EXPECT_EQ(p->cellText(c701, TfrmCourseTable::kHeadColumn), QStringLiteral("王老师"));
    EXPECT_EQ(p->cellText(c702, subject(p, "001")), QStringLiteral("李四"));
    EXPECT_EQ(p->cellText(c701, subject(p, "009")), QStringLiteral("XXX"));
    EXPECT_FALSE(p->cellEditable(c701, TfrmCourseTable::kLeaderColumn));
    EXPECT_EQ(p->rowCount(), 6);

    // Browsing: the sheet is read, not written.
    EXPECT_TRUE(p->ActEdit->isEnabled());
    EXPECT_TRUE(p->ActCopy->isEnabled());
    for (QAction *a : {p->ActSave, p->ActCancel, p->ActPut, p->ActPaste, p->ActClear, p->ActClearALL})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(g->isReadOnly());
    p->ActEdit->trigger();
    EXPECT_FALSE(g->isReadOnly());
    for (QAction *a : {p->ActEdit, p->ActFresh, p->ActCopy, p->ActTranRight})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (QAction *a : {p->ActSave, p->ActCancel, p->ActPut, p->ActPaste, p->ActClear, p->ActClearALL})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(CourseTableTest, AStageShowsItsCurrentGradesAndAStrangerMayOnlyLook)
{
    fx.db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '1801', '701')");
    TfrmCourseTable *p = open("0,1,初中,Y,");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->windowTitle(), QStringLiteral("初中.教师任课表"));
    EXPECT_GE(p->lineRow(Line::GradeLeaders, 2026, QStringLiteral("1701")), 0);
    const int eighth = p->lineRow(Line::GradeLeaders, 2025, QStringLiteral("1801"));
    EXPECT_GT(eighth, p->lineRow(Line::GradeLeaders, 2026, QStringLiteral("1701"))) << "the grades in their order";
    EXPECT_GE(p->lineRow(Line::Class, 2025, QStringLiteral("1801"), QStringLiteral("701")), 0);
    EXPECT_EQ(p->cellText(eighth, subject(p, "001")), QStringLiteral("XXX")) << "八年级 has no subjects yet";
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
    ClosePage(PageRegistry::handleFromName(p->objectName()));

    // wang holds no right of the course table: he may read and copy it, no more.
    pub::signOut();
    ASSERT_TRUE(pub::signIn(recorder, QStringLiteral("wang"), QStringLiteral("pw6"), nullptr));
    p = open();
    ASSERT_TRUE(p);
    for (QAction *a : {p->ActEdit, p->ActTranRight, p->ActImport})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(p->ActCopy->isEnabled());
    EXPECT_TRUE(p->ActCopyALL->isEnabled());
}

TEST_F(CourseTableTest, TheTeacherListIsSearchedByInitialsAndByName)
{
    TfrmCourseTable *p = open();
    EXPECT_EQ(p->lstTeachers->count(), 6) << "in-service teachers only: not 离职老师";
    for (int i = 0; i < p->lstTeachers->count(); ++i)
        EXPECT_NE(p->lstTeachers->item(i)->text(), QStringLiteral("离职老师"));
    QTest::keyClicks(p->edSearch, QStringLiteral("ls"));
    EXPECT_EQ(p->chosenTeacher(), QString::fromLatin1(kLi)) << "ls: 李四";
    p->edSearch->clear();
    QTest::keyClicks(p->edSearch, QStringLiteral("ZS"));
    EXPECT_EQ(p->chosenTeacher(), QString::fromLatin1(kZhang)) << "initials without regard to case";
    p->edSearch->clear();
    QTest::keyClicks(p->edSearch, QStringLiteral("sl"));
    EXPECT_EQ(p->chosenTeacher(), QString::fromLatin1(kSun)) << "孙老师";
    p->edSearch->clear();
    QTest::keyClicks(p->edSearch, QStringLiteral("qq"));
    EXPECT_EQ(p->chosenTeacher(), QString::fromLatin1(kSun)) << "no teacher's initials: the choice stays";

    // The button looks for the text anywhere in the names, one after another.
    p->edSearch->setText(QStringLiteral("老师"));
    QStringList found;
    for (int i = 0; i < 4; ++i) {
        p->btnSearch->click();
        found << p->lstTeachers->currentItem()->text();
    }
    EXPECT_EQ(QSet<QString>(found.begin(), found.end()), (QSet<QString>{QStringLiteral("王老师"), QStringLiteral("孙老师")})) << found.join(u',').toStdString();
    for (const QString &name : found)
        EXPECT_TRUE(name.contains(QStringLiteral("老师"))) << name.toStdString();
}

TEST_F(CourseTableTest, FillClearAndCopyWorkOnTheSelectedCells)
{
    TfrmCourseTable *p = open();
    const int c701 = classRow(p, "701"), c702 = classRow(p, "702");
    p->ActEdit->trigger();
    p->selectCells(c701, subject(p, "001"), c702, subject(p, "002"));
    host.messages.clear();
    p->lstTeachers->clearSelection();
    p->ActPut->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("请在右边框选择要填充的教师！"));
    ASSERT_TRUE(p->chooseTeacher(QString::fromLatin1(kSun)));
    p->selectCells(c701, subject(p, "001"), c702, subject(p, "009"));
    p->ActPut->trigger();
    for (int r : {c701, c702})
        for (const char *s : {"001", "002", "003"})
            EXPECT_EQ(p->cellText(r, subject(p, s)), QStringLiteral("孙老师")) << r << s;
    EXPECT_EQ(p->cellText(c701, subject(p, "009")), QStringLiteral("XXX")) << "a subject the grade lacks stays blocked";

    p->selectCells(c701, subject(p, "002"), c701, subject(p, "003"));
    p->ActClear->trigger();
    EXPECT_EQ(p->cellText(c701, subject(p, "002")), QString());
    EXPECT_EQ(p->cellText(c701, subject(p, "001")), QStringLiteral("孙老师"));

    p->selectCells(c701, TfrmCourseTable::kHeadColumn, c702, subject(p, "002"));
    p->ActCopyExecute();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("王老师\t孙老师\t\n\t孙老师\t孙老师\n"));

    p->ActClearALL->trigger();
    for (int r : {c701, c702})
        for (int c = TfrmCourseTable::kHeadColumn; c < p->columnCount(); ++c)
            EXPECT_TRUE(p->cellText(r, c).isEmpty() || p->cellText(r, c) == u"XXX") << r << ',' << c;
    EXPECT_EQ(p->cellText(p->lineRow(Line::SubjectLeaders), subject(p, "001")), QString()) << "the subject leaders go too";
    EXPECT_EQ(p->cellText(p->lineRow(Line::SubjectLeaders), TfrmCourseTable::kLeaderColumn), QStringLiteral("科目组长"));

    // Cancel puts the sheet back as the tables hold it.
    p->ActCancel->trigger();
    EXPECT_EQ(p->EditState, 0);
    EXPECT_EQ(p->cellText(c701, TfrmCourseTable::kHeadColumn), QStringLiteral("王老师"));
    EXPECT_EQ(p->cellText(c701, subject(p, "001")), QString());
    p->ActCopyALLExecute();
    const QStringList lines = QApplication::clipboard()->text().split(u'\n');
    EXPECT_EQ(lines.value(0), QStringLiteral("年级/班级\t年级长\t班主任\t语文\t数学\t英语\t音乐")) << "the whole sheet, titles first";
    EXPECT_TRUE(lines.value(1 + c702).endsWith(QStringLiteral("\t\t\t李四\t\t\tXXX"))) << lines.value(1 + c702).toStdString();
}

TEST_F(CourseTableTest, PastedNamesFillTheCellsFromTheSelectedOneWithoutTheirBlanksAndAreStored)
{
    TfrmCourseTable *p = open();
    const int c701 = classRow(p, "701");
    p->ActEdit->trigger();
    paste(p, c701, subject(p, "001"), QStringLiteral("张 三\t李四\t孙 老 师\r\n"));
    EXPECT_EQ(p->cellText(c701, subject(p, "001")), QStringLiteral("张三"));
    EXPECT_EQ(p->cellText(c701, subject(p, "002")), QStringLiteral("李四"));
    EXPECT_EQ(p->cellText(c701, subject(p, "003")), QStringLiteral("孙老师"));
    EXPECT_EQ(p->cellText(c701, subject(p, "009")), QStringLiteral("XXX"));

    // A second line goes to the next class, an empty value empties its cell; the separator is the
    // user's; cells that name nobody are passed over.
    p->cbSeparator->setCurrentIndex(1); // 逗号(,)
    paste(p, c701, TfrmCourseTable::kLeaderColumn, QStringLiteral("李四,王 老师\n,,,,张三"));
    EXPECT_EQ(p->cellText(c701, TfrmCourseTable::kLeaderColumn), QString()) << "a class has no grade leader";
    EXPECT_EQ(p->cellText(c701, TfrmCourseTable::kHeadColumn), QStringLiteral("王老师"));
    EXPECT_EQ(p->cellText(c701, subject(p, "001")), QStringLiteral("张三")) << "the first line had two values";
    EXPECT_EQ(p->cellText(classRow(p, "702"), subject(p, "001")), QString());
    EXPECT_EQ(p->cellText(classRow(p, "702"), subject(p, "003")), QStringLiteral("张三"));

    host.messages.clear();
    QApplication::clipboard()->clear();
    p->ActPaste->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("粘帖板无数据！"));
    QApplication::clipboard()->setText(QStringLiteral(" \r\n"));
    p->ActPaste->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("没有可导入的文本!"));

    host.messages.clear();
    p->ActSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("课表设置保存成功！"));
    EXPECT_EQ(p->EditState, 0);
    EXPECT_EQ(stored("701", "001"), QString::fromLatin1(kZhang)) << "张 三 is stored as 张三";
    EXPECT_EQ(stored("701", "002"), QString::fromLatin1(kLi));
    EXPECT_EQ(stored("701", "003"), QString::fromLatin1(kSun));
    EXPECT_EQ(stored("702", "003"), QString::fromLatin1(kZhang));
    EXPECT_EQ(stored("702", "001"), QStringLiteral("-")) << "an emptied cell takes its line away";
    EXPECT_EQ(stored("701", "009"), QStringLiteral("-"));
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"SchoolCode\" = 'S1'").toLongLong(), 7) << "no teacher was added";
    EXPECT_EQ(fx.db().scalar("SELECT \"sText\" FROM \"XT_Log\" ORDER BY \"nId\" DESC").toString(), QStringLiteral("修改保存课程表数据"));
    EXPECT_EQ(roles(kZhang), QStringLiteral("6")) << "the saved lines granted role 6";
    EXPECT_EQ(roles(kLi), QStringLiteral("6")) << "李四 keeps teaching in 701";
    EXPECT_EQ(roles(kSun), QStringLiteral("6"));
}

TEST_F(CourseTableTest, TypedNamesLoseTheirBlanksAndBlockedCellsKeepWhatTheyShow)
{
    TfrmCourseTable *p = open();
    const int c702 = classRow(p, "702");
    p->ActEdit->trigger();
    const auto type = [&](int row, int column, const QString &text) {
        ASSERT_TRUE(p->sGrid->editCell(row, column));
        auto *line = qobject_cast<QLineEdit *>(p->sGrid->activeEditor());
        ASSERT_TRUE(line);
        line->setText(text);
        QTest::keyClick(line, Qt::Key_Return);
    };
    type(c702, TfrmCourseTable::kHeadColumn, QStringLiteral("李 四"));
    EXPECT_EQ(p->cellText(c702, TfrmCourseTable::kHeadColumn), QStringLiteral("李四"));
    type(c702, subject(p, "009"), QStringLiteral("张三"));
    EXPECT_EQ(p->cellText(c702, subject(p, "009")), QStringLiteral("XXX"));
    p->ActSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("课表设置保存成功！"));
    EXPECT_EQ(fx.db().scalar("SELECT \"TeacherCode\" FROM \"XJ_GradeClass\" WHERE \"ClassCode\" = '702'").toString(), QString::fromLatin1(kLi));
    EXPECT_EQ(roles(kLi), QStringLiteral("4")) << "a head teacher now; his 语文 line was stored before the page, so only sync grants its role";
    EXPECT_EQ(stored("702", "009"), QStringLiteral("-"));
}

TEST_F(CourseTableTest, AnUnknownNameBecomesANewTeacherOnlyWhenAskedTo)
{
    TfrmCourseTable *p = open();
    const int c702 = classRow(p, "702");
    const qint64 teachers = fx.db().scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"SchoolCode\" = 'S1'").toLongLong();
    p->ActEdit->trigger();
    paste(p, c702, subject(p, "002"), QStringLiteral("周 新"));
    host.messages.clear();
    p->ActSave->trigger();
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages[0].kind, pub::MessageKind::Error);
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("周新"))) << lastMessage().toStdString();
    EXPECT_EQ(p->EditState, 2) << "nothing was sent; the sheet stays as typed";
    EXPECT_EQ(p->cellText(c702, subject(p, "002")), QStringLiteral("周新"));
    EXPECT_EQ(stored("702", "002"), QStringLiteral("-"));

    p->chkAutoAdd->setChecked(true);
    paste(p, c702, subject(p, "003"), QStringLiteral("吴 远"));
    bool listed = false;
    for (int i = 0; i < p->lstTeachers->count(); ++i)
        listed = listed || p->lstTeachers->item(i)->text() == u"吴远";
    EXPECT_TRUE(listed) << "the new teacher joins the list at once";
    p->ActSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("课表设置保存成功！"));
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"SchoolCode\" = 'S1'").toLongLong(), teachers + 2);
    const wire::DataPacket added =
        fx.db().select("SELECT \"sCode\", \"iState\", \"sLoginName\" FROM \"JC_Teacher\" WHERE \"sName\" = ?", {QStringLiteral("吴远")},
                       {{"sCode", wire::FieldType::Text, 0, 0}, {"iState", wire::FieldType::Integer, 0, 0}, {"sLoginName", wire::FieldType::Text, 0, 0}});
    ASSERT_EQ(added.rowCount(), 1);
    EXPECT_EQ(added.value(0, 0).toString().size(), 38);
    EXPECT_EQ(added.value(0, 1).toLongLong(), 0);
    EXPECT_EQ(stored("702", "003"), added.value(0, 0).toString());
    EXPECT_FALSE(fx.db().scalar("SELECT \"sCode\" FROM \"JC_Teacher\" WHERE \"sName\" = ?", {QStringLiteral("周新")}).toString().isEmpty())
        << "the name left from before became a teacher as the save read it";
    EXPECT_EQ(roles(added.value(0, 0).toString().toLatin1().constData()), QStringLiteral("6"));
}

TEST_F(CourseTableTest, ClosingWhileEditingAsksAboutTheChanges)
{
    TfrmCourseTable *p = open();
    const qint32 handle = PageRegistry::handleFromName(p->objectName());
    p->ActEdit->trigger();
    EXPECT_EQ(ClosePage(handle), 1) << "nothing typed: nothing to ask";
    p = open();
    p->ActEdit->trigger();
    paste(p, classRow(p, "701"), subject(p, "002"), QStringLiteral("李四"));
    host.answer(pub::AnswerCancel, QStringLiteral("数据已被修改，您要保存修改的数据吗？"));
    EXPECT_EQ(ClosePage(PageRegistry::handleFromName(p->objectName())), 0);
    host.answer(pub::AnswerYes);
    EXPECT_EQ(ClosePage(PageRegistry::handleFromName(p->objectName())), 1);
    EXPECT_EQ(stored("701", "002"), QString::fromLatin1(kLi)) << "Yes saved before closing";
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(CourseTableTest, SyncGrantsTheRolesOfEveryDutyAndAskesNothingWithoutDuties)
{
    TfrmCourseTable *p = open();
    host.answer(pub::AnswerNo, QStringLiteral("同步课表设置到用户权限可能需要较长时间，您确定要同步吗？"));
    recorder.methods.clear();
    p->ActTranRight->trigger();
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("ARUserRoles")));
    host.answer(pub::AnswerYes);
    p->ActTranRight->trigger();
    EXPECT_EQ(recorder.methods.count(QStringLiteral("ARUserRoles")), 3) << "张三 role 2, 王老师 role 4, 李四 role 6";
    EXPECT_EQ(roles(kZhang), QStringLiteral("2"));
    EXPECT_EQ(roles(server::testing::kTeacherCode), QStringLiteral("4,6"));
    EXPECT_EQ(roles(kLi), QStringLiteral("6"));
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'|').toStdString();

    // A school where nobody holds a duty sends no role request at all.
    for (const char *sql :
         {"UPDATE \"XJ_Subject\" SET \"TeacherCode\" = NULL", "UPDATE \"XJ_GradeClass\" SET \"TeacherCode\" = NULL", "DELETE FROM \"XJ_CourseTable\""})
        fx.db().exec(QString::fromLatin1(sql));
    p->ActFresh->trigger();
    host.answer(pub::AnswerYes);
    recorder.methods.clear();
    p->ActTranRight->trigger();
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("ARUserRoles")));
    EXPECT_TRUE(host.scriptDone());
}

// A teacher's scores, as the score sheet saves them, straight to the server in his own session.
class CourseTableRoles : public pub::testing::OnBackend<CourseTableTest> {
protected:
    void SetUp() override
    {
        CourseTableTest::SetUp();
        if (IsSkipped()) return;
        server::Database &db = fx.db();
        // The mid-term of 七年级: only subject teachers (bit 5) may enter scores.
        exam = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", "
            "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"hasMain\", \"hasBase\", \"ModifyRight\", \"dDefDay\", \"dLimitDay\", "
            "\"Freeze\", \"Classes\") VALUES ('S1', '1701', 2026, '001', ?, ?, 340, 300, 250, 200, 100, ?, ?, 32, ?, ?, ?, 'ALL')",
            {kNoPage, QStringLiteral("期中考试"), db.toDb(true, wire::FieldType::Boolean), db.toDb(true, wire::FieldType::Boolean),
             db.toDb(QDate(2026, 11, 20), wire::FieldType::Date), db.toDb(QDate(2026, 12, 31), wire::FieldType::Date),
             db.toDb(false, wire::FieldType::Boolean)},
            "Id");
        const QString examSubject =
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
            "\"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") VALUES ('S1', '1701', 2026, '001', ?, ?, 1, ?, ?, ?, ?, ?)";
        for (const char *s : {"001", "002"})
            db.exec(examSubject, {kNoPage, s, 120, 108, 96, 72, 36});
        db.exec(examSubject, {kNoPage, "003", 100, 90, 80, 60, 30});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"iState\") VALUES (?, 'S1', '1701', 2026, ?, 1, ?, '00')";
        db.exec(student, {"{S701}", "701", QStringLiteral("甲同学")});
        db.exec(student, {"{S702}", "702", QStringLiteral("乙同学")});
        for (const auto &[s, c] : {std::pair{"{S701}", "701"}, {"{S702}", "702"}})
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, s, c});
    }

    // The sheet as the teacher reads it: the candidates he sees and the image UpMark takes back.
    struct Sheet {
        wire::DataPacket data, upload;
    };
    Sheet sheet(const QString &token)
    {
        using server::testing::ref;
        using server::testing::txt;
        const wire::Reply r = fx.call(
            QStringLiteral("AchieveQry"), QStringLiteral("QMark"),
            {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(QStringLiteral("001;002;003")), ref(qint64(2026)), ref(), ref()}, token);
        if (!r.ok()) return {};
        return {std::get<wire::DataPacket>(r.refs[7]), std::get<wire::DataPacket>(r.refs[8])};
    }
    // Saves one score as the teacher; the number of refused rows, or -1 when the call is refused.
    qint64 save(const QString &token, const char *student, const char *subject, double score)
    {
        const Sheet s = sheet(token);
        qsizetype row = -1;
        for (qsizetype r = 0; r < s.upload.rowCount(); ++r)
            if (s.upload.value(r, s.upload.fieldIndex(u"StudentCode")).toString() == QLatin1String(student)) row = r;
        if (row < 0) return -1; // he does not see the student
        const QVariantList old = s.upload.row(row);
        QVariantList now = old;
        now[s.upload.fieldIndex(QStringLiteral("C_") + QLatin1String(subject))] = score;
        const wire::ChangePacket changes{s.upload.fields(), {{wire::RowStatus::Modified, old, now}}};
        using server::testing::ref;
        using server::testing::val;
        const wire::Reply r = fx.call(QStringLiteral("AchieveUp"), QStringLiteral("UpMark"), {val(changes), val(qint64(-1)), ref(qint64(0))}, token);
        return r.ok() ? std::get<qint64>(r.refs[2]) : -1;
    }
    QVariant score(const char *student, const char *subject)
    {
        return fx.db().scalar("SELECT \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?",
                              {exam, student, subject});
    }

    qint64 exam = 0;
};

TEST_P(CourseTableRoles, AGrantedSubjectTeacherSavesExactlyHisSubjectAndClassUntilTheGrantIsGone)
{
    const QString sun = fx.signIn(QStringLiteral("sun"), QStringLiteral("pws"));
    EXPECT_NE(save(sun, "{S701}", "002", 90), 0) << "without a duty he may enter nothing";

    TfrmCourseTable *p = open();
    ASSERT_TRUE(p);
    p->ActEdit->trigger();
    ASSERT_TRUE(p->chooseTeacher(QString::fromLatin1(kSun)));
    p->selectCells(classRow(p, "701"), subject(p, "002"), classRow(p, "701"), subject(p, "002"));
    p->ActPut->trigger();
    p->ActSave->trigger();
    ASSERT_EQ(lastMessage(), QStringLiteral("课表设置保存成功！"));
    EXPECT_EQ(stored("701", "002"), QString::fromLatin1(kSun));
    EXPECT_EQ(roles(kSun), QStringLiteral("6")) << "the save granted role 6 to the teacher it named";

    EXPECT_EQ(save(sun, "{S701}", "002", 90), 0) << "数学 of 701: his";
    EXPECT_EQ(score("{S701}", "002").toDouble(), 90.0);
    EXPECT_NE(save(sun, "{S701}", "001", 80), 0) << "语文 of 701 is not his";
    EXPECT_FALSE(score("{S701}", "001").isValid());
    EXPECT_NE(save(sun, "{S702}", "002", 70), 0) << "数学 of 702 is not his";
    EXPECT_FALSE(score("{S702}", "002").isValid());

    // The grant goes: the line is cleared and saved; the role goes with the last duty.
    p->ActEdit->trigger();
    p->selectCells(classRow(p, "701"), subject(p, "002"), classRow(p, "701"), subject(p, "002"));
    p->ActClear->trigger();
    p->ActSave->trigger();
    ASSERT_EQ(lastMessage(), QStringLiteral("课表设置保存成功！"));
    EXPECT_EQ(stored("701", "002"), QStringLiteral("-"));
    EXPECT_TRUE(roles(kSun).isEmpty()) << roles(kSun).toStdString();
    EXPECT_NE(save(sun, "{S701}", "002", 95), 0) << "the same save is refused now";
    EXPECT_EQ(score("{S701}", "002").toDouble(), 90.0);
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, CourseTableRoles, pub::testing::bothBackends(), server::testing::backendParamName);

// Pictures of the demo school's 七年级 as its academic office sees the sheet.
TEST_F(CourseTableTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour
    server::DemoOptions demo;
    demo.schoolId = "D1";
    demo.today = QDate(2026, 12, 6);
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
    const QList<server::DemoAccount> accounts = server::seedDemoSchool(fx.db(), demo);
    ASSERT_FALSE(accounts.isEmpty());
    pub::signOut();
    ASSERT_TRUE(pub::signIn(recorder, accounts.first().login, accounts.first().password));
    const QVariant year =
        fx.db().scalar("SELECT \"InYear\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'D1' AND \"bCurGrade\" = 'Y' AND \"GradeCode\" LIKE '17%'");
    const QVariant code =
        fx.db().scalar("SELECT \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'D1' AND \"bCurGrade\" = 'Y' AND \"GradeCode\" LIKE '17%'");
    ASSERT_TRUE(year.isValid());
    const QByteArray params = QStringLiteral("%1,%2,七年级,Y,").arg(year.toString(), code.toString()).toUtf8();
    TfrmCourseTable *p = open(params.constData());
    ASSERT_TRUE(p);
    tab->resize(1366, 720);
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
    pub::testing::saveShot(*tab, "course-table-grade7");
    p->ActEdit->trigger();
    QTest::keyClicks(p->edSearch, QStringLiteral("w"));
    p->selectCells(p->rowCount() - 2, TfrmCourseTable::kFirstSubjectColumn, p->rowCount() - 1, TfrmCourseTable::kFirstSubjectColumn + 1);
    pub::testing::saveShot(*tab, "course-table-grade7-edit");
    p->ActCancel->trigger();
    TfrmCourseTable *stage = open("0,1,初中,Y,");
    ASSERT_TRUE(stage);
    tab->resize(1366, 720);
    pub::testing::saveShot(*tab, "course-table-junior");
}

} // namespace
