// The student register page opened through its export, as the host opens it: its parameters, the
// query each kind of page and user makes, and which pages and columns may be edited.

#include "framework/lumekoachieve.h"
#include "framework/pageregistry.h"
#include "students/ufrmstudentpage.h"

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
    void SetUp() override
    {
        server::Database &db = fx.db();
        db.exec("DELETE FROM \"XT_Fields\" WHERE \"sTable\" = 'XJ_Student'");
        const QString fld = "INSERT INTO \"XT_Fields\" (\"sTable\", \"sFldName\", \"iOrder\", \"sFldCaption\", \"bShowed\", \"nWidth\", \"sFieldType\") "
                            "VALUES ('XJ_Student', ?, ?, ?, ?, ?, ?)";
        int order = 0;
        for (const auto &[name, caption, type] : std::initializer_list<std::tuple<const char *, const char *, const char *>>{
                 {"Selected", "选择", "B"}, {"sName", "姓名", "S"}, {"sNO", "学号", "S"}, {"ClassCode", "班级", "S"}, {"iClassNo", "座号", "N"},
                 {"iState", "状态", "S"}, {"sSex", "性别", "S"}, {"sCode", "编码", "S"}, {"SchoolCode", "学校", "S"}, {"GradeCode", "年级", "S"},
                 {"InYear", "入学年份", "N"}, {"sPass", "密码", "S"}})
            db.exec(fld, {QString::fromLatin1(name), ++order, QString::fromUtf8(caption), true, 8, QString::fromLatin1(type)});
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
    close(page);

    page = open("2026,1,初中,Y,");
    EXPECT_EQ(names(page).size(), 4) << "the current grades of the stage: 七年级 2026 and 八年级 2025";
    close(page);

    page = open("2026,1701");
    EXPECT_EQ(page->PageGradeCode, QString()) << "fewer than five items leave the parameters empty";
    close(page);
}

TEST_F(StudentPageTest, ATeacherWhoSeesOnlyHisClassesGetsThoseRows)
{
    signInAs("wang", "pw6");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,someone-else");
    EXPECT_EQ(names(page), QStringList{QStringLiteral("张三")}) << "wang heads class 001 only";
    close(page);
    page = open(QStringLiteral("2026,1701,七年级,Y,%1").arg(server::testing::kTeacherCode).toUtf8().constData());
    EXPECT_EQ(names(page).size(), 3) << "his code in the viewer list lets him see the whole grade";
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

} // namespace
