// The student register page opened through its export, as the host opens it: its parameters, the
// query each kind of page and user makes, and which pages and columns may be edited.

#include "framework/lumekoachieve.h"
#include "framework/pageregistry.h"
#include "students/ufrmstudentpage.h"

#include "registerfixtures.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class StudentPageTest : public pub::testing::SignedInHost {
protected:
    explicit StudentPageTest(server::Backend backend = server::Backend::Sqlite) : SignedInHost(backend) {}

    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        server::Database &db = fx.db();
        students::testing::defineRegisterColumns(db, {
                 {"Selected", "选择", "B"}, {"sName", "姓名", "S"}, {"sNO", "学号", "S"}, {"ClassCode", "班级", "S"}, {"iClassNo", "座号", "N"},
                 {"iState", "状态", "S"}, {"sSex", "性别", "S"}, {"sCode", "编码", "S"}, {"SchoolCode", "学校", "S"}, {"GradeCode", "年级", "S"},
                 {"InYear", "入学年份", "N"}, {"sPass", "密码", "S"}});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\", \"Selected\") "
                                "VALUES (?, 'S1', ?, ?, ?, ?, ?, '00', ?)";
        db.exec(student, {"{A}", "1701", 2026, "001", 1, QStringLiteral("张三"), false});
        db.exec(student, {"{B}", "1701", 2026, "002", 1, QStringLiteral("李四"), false});
        db.exec(student, {"{C}", "1701", 2026, "003", 1, QStringLiteral("王五"), false});
        db.exec(student, {"{E}", "1801", 2025, "001", 1, QStringLiteral("八年级生"), false});
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"sArea\", \"TeacherCode\") VALUES ('S1', ?, ?, ?, ?, ?)";
        db.exec(gc, {2026, "1701", "001", QStringLiteral("本部"), server::testing::kTeacherCode});
        db.exec(gc, {2026, "1701", "002", QStringLiteral("分校"), QVariant()});
        db.exec(gc, {2026, "1701", "003", QStringLiteral("本部"), QVariant()});
        db.exec(gc, {2025, "1801", "001", QStringLiteral("本部"), QVariant()});
        db.exec("UPDATE \"XJ_Student\" SET \"sSex\" = ?", {QStringLiteral("男")});
        db.exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{A}', '0', 'a.jpg', 'S1')");
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8);
    }

    TfrmStudentPage *open(const char *params)
    {
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        const qint32 handle = ShowStudentPage(&app, tab.get(), params);
        return qobject_cast<TfrmStudentPage *>(PageRegistry::instance().page(handle));
    }
    void close(TfrmStudentPage *page) { ClosePage(PageRegistry::handleFromName(page->objectName())); }
    QStringList names(TfrmStudentPage *page)
    {
        QStringList out;
        for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next()) out << page->cdsData->value(u"sName").toString();
        out.sort();
        return out;
    }

    QWidget app;
    std::unique_ptr<QWidget> tab;
};

TEST_F(StudentPageTest, ParametersChooseTheQueryAndTheRowsShown)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->PageInYear, 2026);
    EXPECT_EQ(page->PageClassCode, "001");
    EXPECT_EQ(page->ReportFolder, "Junior/Student");
    EXPECT_EQ(names(page), QStringList{QStringLiteral("张三")}) << "a class page shows its class";
    EXPECT_EQ(page->cdsClassName->recordCount(), 2) << "the class list keeps the grade's classes that have names";
    page->cdsData->first();
    EXPECT_TRUE(page->cdsData->value(u"HasInImage").toBool());
    EXPECT_EQ(page->cdsData->value(u"SchoolArea").toString(), QStringLiteral("本部"));
    close(page);

    page = open("2026,1701,七年级,Y,,本部校区分校");
    EXPECT_EQ(page->PageClassCode, QString());
    EXPECT_EQ(page->AreaFilter, QStringLiteral("分校")) << "a longer sixth item names a school area after four characters";
    EXPECT_EQ(names(page).size(), 3);
    EXPECT_EQ(page->GridData->dataRowCount(), 1) << "the grid shows the 分校 students only";
    EXPECT_EQ(page->GridData->displayText(0, page->GridData->columnOfField("sName")), QStringLiteral("李四"));
    close(page);

    page = open("2026,1,初中,Y,");
    EXPECT_EQ(names(page).size(), 4) << "the current grades of the stage: 七年级 2026 and 八年级 2025";
    close(page);

    // The host opens a whole section without an intake year; its families load as well.
    fx.db().exec("INSERT INTO \"XJ_Family\" (\"scode\", \"sTitle\", \"sName\", \"SchoolCode\") VALUES ('{E}', ?, ?, 'S1')",
                 {QStringLiteral("母亲"), QStringLiteral("八年级家长")});
    page = open("0,1,初中,Y,");
    ASSERT_TRUE(page);
    EXPECT_EQ(names(page).size(), 4);
    EXPECT_EQ(page->cdsFamily->recordCount(), 1);
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();
    EXPECT_TRUE(host.messages.isEmpty());
    close(page);
}

TEST_F(StudentPageTest, AParameterTextThePageCannotUseMakesNoPageButSaysWhatIsMissing)
{
    signInAs("admin", "lumeko");
    const struct {
        const char *params, *said;
    } bad[] = {
        {"", "哪个年级"},
        {"2026,1701", "哪个年级"},
        {"2026,1701,七年级,Y", "哪个年级"},
        {"2026,17012,七年级,Y,", "年级代码“17012”无效"},
        {"2026,17,七年级,Y,", "年级代码“17”无效"},
        {"2026,3701,七年级,Y,", "年级代码“3701”无效"},
        {"2026,,七年级,Y,", "年级代码“”无效"},
        {"二〇二六,1701,七年级,Y,", "入学年份“二〇二六”"},
        {"0,1701,七年级,Y,", "入学年份“0”"},
        {"2026x,1701,七年级,Y,", "入学年份“2026x”"},
        {"0,1,初中,Y,,001", "班级“001”"},
    };
    const int pagesBefore = PageRegistry::instance().handles().size();
    for (const auto &b : bad) {
        host.messages.clear();
        EXPECT_EQ(open(b.params), nullptr) << b.params;
        EXPECT_EQ(PageRegistry::instance().handles().size(), pagesBefore) << b.params;
        ASSERT_EQ(host.messages.size(), 1) << b.params;
        EXPECT_EQ(host.messages[0].kind, pub::MessageKind::Hint);
        EXPECT_TRUE(host.messages[0].text.contains(QString::fromUtf8(b.said))) << b.params << ": " << host.messages[0].text.toStdString();
        EXPECT_EQ(tab->findChildren<TfrmStudentPage *>().size(), 0);
    }
    EXPECT_TRUE(host.logLines.isEmpty()) << "a refused page read nothing: " << host.logLines.join(u'\n').toStdString();
    EXPECT_FALSE(host.waitShowing());
}

TEST_F(StudentPageTest, ATeacherWhoSeesOnlyHisClassesGetsThoseRows)
{
    signInAs("wang", "pw6");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,someone-else");
    EXPECT_EQ(names(page), QStringList{QStringLiteral("张三")}) << "wang heads class 001 only";
    close(page);
    const QByteArray viewer = QStringLiteral("2026,1701,七年级,Y,%1").arg(server::testing::kTeacherCode).toUtf8();
    page = open(viewer.constData());
    EXPECT_EQ(names(page), QStringList{QStringLiteral("张三")}) << "a viewer list is the page's word; the server goes by who leads the grade";
    close(page);
    fx.db().exec("UPDATE \"XJ_Grade\" SET \"TeacherCode\" = ? WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2026 AND \"GradeCode\" = '1701'",
                 {server::testing::kTeacherCode});
    page = open(viewer.constData());
    EXPECT_EQ(names(page).size(), 3) << "the grade's leader sees the whole grade";
    close(page);
}

TEST_F(StudentPageTest, StagesAreNeverEditableAndGraduatedGradesOnlyForAdministratorsOrEditHis)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1,初中,Y,");
    EXPECT_FALSE(page->acEdit->isEnabled()) << "a stage-level page, even for the administrator";
    EXPECT_FALSE(page->acImport->isEnabled());
    close(page);

    page = open("2025,1801,八年级,N,");
    EXPECT_TRUE(page->acEdit->isEnabled()) << "the administrator may edit history";
    page->acEdit->trigger();
    BandedGrid *g = page->GridData;
    for (const char *f : {"ClassCode", "iClassNo", "iState", "sPass", "sCode"}) EXPECT_TRUE(g->column(g->columnOfField(f)).readOnly) << f;
    EXPECT_FALSE(g->column(g->columnOfField("sName")).readOnly);
    EXPECT_FALSE(g->column(g->columnOfField("sCode")).visible);
    EXPECT_FALSE(page->acFamily->isEnabled()) << "the dialogs wait until editing ends";
    page->acCancel->trigger();
    close(page);

    // wang has no EditHis (nor Manager): history stays read-only for him.
    pub::signOut();
    signInAs("wang", "pw6");
    page = open(QStringLiteral("2025,1801,八年级,N,%1").arg(server::testing::kTeacherCode).toUtf8().constData());
    EXPECT_FALSE(page->acEdit->isEnabled());
    EXPECT_FALSE(page->acChangeClass->isEnabled()) << "no ChangeClass right";
    close(page);
}

// The register's save path on each back end the server runs on.
class StudentPageSaving : public pub::testing::OnBackend<StudentPageTest> {};

TEST_P(StudentPageSaving, SavingFillsNewRowsClearsMarksAndReachesTheServer)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    page->acEdit->trigger();
    page->cdsData->first();
    page->cdsData->edit();
    page->cdsData->setValue(u"Selected", true);
    page->cdsData->post();
    page->acInsert->trigger();
    EXPECT_EQ(page->cdsData->value(u"ClassCode").toString(), "001") << "a class page's new row is in its class at once";
    page->cdsData->setValue(u"sName", QStringLiteral("新同学"));
    page->cdsData->setValue(u"sSex", QStringLiteral("女"));
    page->acSave->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("数据保存成功！"));
    EXPECT_EQ(page->EditState, 0);
    EXPECT_EQ(page->cdsData->changeCount(), 0);
    const auto row = fx.db().select("SELECT \"sCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iState\", \"Selected\" FROM \"XJ_Student\" WHERE \"sName\" = ?",
                                    {QStringLiteral("新同学")},
                                    {{"a", wire::FieldType::Text, 0, 0}, {"b", wire::FieldType::Text, 0, 0}, {"c", wire::FieldType::Integer, 0, 0},
                                     {"d", wire::FieldType::Text, 0, 0}, {"e", wire::FieldType::Text, 0, 0}, {"f", wire::FieldType::Boolean, 0, 0}});
    ASSERT_EQ(row.rowCount(), 1);
    EXPECT_EQ(row.value(0, 0).toString().size(), 38);
    EXPECT_EQ(row.value(0, 1).toString(), "1701");
    EXPECT_EQ(row.value(0, 2).toInt(), 2026);
    EXPECT_EQ(row.value(0, 3).toString(), "001");
    EXPECT_EQ(row.value(0, 4).toString(), "00");
    EXPECT_FALSE(row.value(0, 5).toBool());
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"XJ_Student\" WHERE \"Selected\" = ?", {fx.db().toDb(true, wire::FieldType::Boolean)}).toInt(), 0)
        << "the mark never reaches the server as set";
    EXPECT_EQ(fx.db().scalar("SELECT \"sText\" FROM \"XT_Log\"").toString(), QStringLiteral("修改保存学生学籍数据"));
    close(page);
}

INSTANTIATE_TEST_SUITE_P(Backends, StudentPageSaving, pub::testing::bothBackends(), server::testing::backendParamName);

TEST_F(StudentPageTest, RowsAreCheckedBeforeSavingAndPartnerGradeClassesCount)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,");
    page->acEdit->trigger();
    page->acInsert->trigger();
    page->cdsData->setValue(u"sName", QStringLiteral("缺性别"));
    page->cdsData->setValue(u"ClassCode", "001");
    page->acSave->trigger();
    // The new row has no grade yet, so the grid (sorted by grade, class, seat) shows it first.
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("性别栏位不能为空，数据行[1]性别为空！"));
    EXPECT_EQ(page->EditState, 2) << "the changes stay pending";
    page->cdsData->edit();
    page->cdsData->setValue(u"sSex", QStringLiteral("男"));
    page->cdsData->setValue(u"ClassCode", "009");
    page->cdsData->post();
    page->acSave->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("数据无效，数据行[1]班级数据无效！"));
    page->acCancel->trigger();
    close(page);

    // 高二（理科）: the classes of 高二（文科） are valid too.
    fx.db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '2201', '001')");
    fx.db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '2202', '002')");
    page = open("2025,2201,高二（理科）,Y,");
    page->acEdit->trigger();
    page->acInsert->trigger();
    page->cdsData->setValue(u"sName", QStringLiteral("文科班的"));
    page->cdsData->setValue(u"sSex", QStringLiteral("女"));
    page->cdsData->setValue(u"ClassCode", "002");
    page->acSave->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("数据保存成功！"));
    close(page);
}

TEST_F(StudentPageTest, StudentsWithExamDataAreNeverDeletedAndTheFirstSixAreNamed)
{
    server::Database &db = fx.db();
    const qint64 exam = db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                                             "VALUES ('S1', '1701', 2026, '001', ?, ?)", {QStringLiteral("⊥"), QStringLiteral("期中考试")}, "Id");
    for (int i = 1; i <= 7; ++i) {
        const QString code = QStringLiteral("{T%1}").arg(i);
        db.exec("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"Selected\") "
                "VALUES (?, 'S1', '1701', 2026, '003', ?, ?, ?)", {code, 10 + i, QStringLiteral("考生%1").arg(i), false});
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\") VALUES (?, ?)", {exam, code});
    }
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,003");
    page->acEdit->trigger();
    for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next()) {
        page->cdsData->edit();
        page->cdsData->setValue(u"Selected", true); // 王五, who sat nothing, and the seven
        page->cdsData->post();
    }
    page->acDelete->trigger();
    EXPECT_EQ(page->cdsData->recordCount(), 7) << "only 王五 goes";
    const QString message = host.messageTexts().last();
    EXPECT_EQ(message.count(QStringLiteral("不能删除！")), 6);
    EXPECT_TRUE(message.startsWith(QStringLiteral("【考生1】同学存在<七年级期中考试>考试数据，不能删除！"))) << message.toStdString();
    page->acCancel->trigger();
    close(page);
}

} // namespace

#include "server/core/auth.h"

#include <QApplication>
#include <QDir>

namespace {

TEST_F(StudentPageTest, TheDemoSchoolsRegisterOpensWithItsOwnColumnDefinitions)
{
    students::testing::seedSmallDemoSchool(fx.db());
    signInAs("admin2", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,");
    ASSERT_TRUE(page);
    EXPECT_GT(page->cdsData->recordCount(), 10);
    EXPECT_GT(page->GridData->visibleColumns().size(), 8) << "the seeded definitions of the register's columns";
    EXPECT_EQ(page->GridData->columnCaption(page->GridData->columnOfField("sName")), QStringLiteral("姓名"));
    EXPECT_EQ(page->GridData->footerText(page->GridData->columnOfField("sName")), QStringLiteral("人数=%1").arg(page->cdsData->recordCount()));
    tab->resize(1200, 700);
    pub::testing::saveShot(*tab, "student-page");
    close(page);
}

} // namespace

#include "toolkit/report/prepared.h"

#include <QFile>
#include <QMenu>

namespace {

TEST_F(StudentPageTest, RecordCardsPrintEachMarkedStudentWithPhotoFamilyAndScores)
{
    // The shipped templates in the host's folder, a photo in the server's store, a family member
    // and an exam total of 张三.
    host.appPathValue = fx.fileStore() + "/app/";
    QDir().mkpath(host.appPathValue + "Reports/Junior/Student");
    for (const char *t : {"学籍卡片(一)", "学籍卡片(二)"})
        QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Reports/Student/") + QString::fromUtf8(t) + ".frf",
                    host.appPathValue + "Reports/Junior/Student/" + QString::fromUtf8(t) + ".frf");
    QDir().mkpath(fx.fileStore() + "/StudentPics/S1/0");
    QImage red(30, 40, QImage::Format_RGB32);
    red.fill(QColor(220, 0, 0));
    red.save(fx.fileStore() + "/StudentPics/S1/0/a.jpg", "JPEG");
    fx.db().exec("INSERT INTO \"XJ_Family\" (\"scode\", \"sTitle\", \"sName\", \"SchoolCode\") VALUES ('{A}', ?, ?, 'S1')", {QStringLiteral("父亲"), QStringLiteral("张大山")});
    const qint64 exam = fx.db().insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                                                  "VALUES ('S1', '1701', 2026, '001', ?, ?)", {QStringLiteral("⊥"), QStringLiteral("期中考试")}, "Id");
    fx.db().exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"FullTotal\") VALUES (?, '{A}', 567.5)", {exam});

    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,");
    QList<report::PreparedReport> shown;
    page->showReport = [&](const report::PreparedReport &r) { shown << r; };
    for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next())
        if (page->cdsData->value(u"sCode").toString() == u"{A}") {
            page->cdsData->edit();
            page->cdsData->setValue(u"Selected", true);
            page->cdsData->post();
        }
    const auto print = [&](const QString &entry) {
        for (QAction *a : page->pmPrint->actions())
            if (a->text() == entry) a->trigger();
    };
    print(QStringLiteral("学籍卡片(一)"));
    ASSERT_EQ(shown.size(), 1);
    ASSERT_EQ(shown[0].pageCount(), 1) << "one card for the one marked student";
    const QString card1 = shown[0].texts(0).join(u'|');
    for (const char *t : {"张三", "示范市第一中学", "七年级", "一班", "王老师", "2026级", "张大山"})
        EXPECT_TRUE(card1.contains(QString::fromUtf8(t))) << t << "\n" << card1.toStdString();
    const QImage image = shown[0].pageImage(0, 1.0);
    int redPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) redPixels += qRed(image.pixel(x, y)) > 150 && qGreen(image.pixel(x, y)) < 80;
    EXPECT_GT(redPixels, 300) << "the entrance photo";
    EXPECT_FALSE(page->PrintCard1);

    print(QStringLiteral("学籍卡片(二)"));
    ASSERT_EQ(shown.size(), 2);
    const QStringList card2 = shown[1].texts(0);
    EXPECT_TRUE(card2.contains(QStringLiteral("567.5"))) << card2.join(u'|').toStdString();
    EXPECT_EQ(page->cdsData->recordCount(), 3) << "the mark filter is gone after printing";

    // The second card's scores are read once and kept until the page is refreshed.
    const qint64 later = fx.db().insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                                                   "VALUES ('S1', '1701', 2026, '002', ?, ?)", {QStringLiteral("⊥"), QStringLiteral("期末考试")}, "Id");
    fx.db().exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"FullTotal\") VALUES (?, '{A}', 612)", {later});
    page->cdsData->first();
    page->cdsData->edit();
    page->cdsData->setValue(u"Selected", true);
    page->cdsData->post();
    print(QStringLiteral("学籍卡片(二)"));
    EXPECT_FALSE(shown.last().texts(0).contains(QStringLiteral("612")));
    page->acRequery->trigger();
    for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next())
        if (page->cdsData->value(u"sCode").toString() == u"{A}") {
            page->cdsData->edit();
            page->cdsData->setValue(u"Selected", true);
            page->cdsData->post();
        }
    print(QStringLiteral("学籍卡片(二)"));
    EXPECT_TRUE(shown.last().texts(0).contains(QStringLiteral("612"))) << shown.last().texts(0).join(u'|').toStdString();
    close(page);
}

} // namespace

#include "students/ufrmsetpass.h"
#include "server/core/auth.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

TEST_F(StudentPageTest, ThePasswordDialogWantsTheSameTextTwiceAndSetsItForEveryMarkedStudent)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,");
    page->acSetPass->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择要设置的名单！"));

    page->cdsData->setFilter(QStringLiteral("sName<>'王五'"));
    page->cdsData->setFiltered(true);
    for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next()) {
        page->cdsData->edit();
        page->cdsData->setValue(u"Selected", true);
        page->cdsData->post();
    }
    page->cdsData->setFiltered(false);
    page->cdsData->setFilter(QStringLiteral("Selected=True"));
    page->cdsData->setFiltered(true);
    TfrmSetPass dialog(page->cdsData, 2);
    dialog.edPassword->setText("abc123");
    dialog.edConfirm->setText("abc124");
    dialog.btnOk->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("两次输入密码不符，请重输！"));
    EXPECT_TRUE(dialog.edPassword->text().isEmpty() && dialog.edConfirm->text().isEmpty());
    dialog.edPassword->setText("abc123");
    dialog.edConfirm->setText("abc123");
    dialog.btnOk->click();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("密码设置成功！"));
    for (const char *code : {"{A}", "{B}"})
        EXPECT_TRUE(server::verifyPassword(fx.db().scalar("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {QString::fromLatin1(code)}).toString(), "abc123")) << code;
    EXPECT_TRUE(fx.db().scalar("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = '{C}'").isNull()) << "王五 was not marked";
    page->cdsData->setFiltered(false);
    close(page);
}

} // namespace
