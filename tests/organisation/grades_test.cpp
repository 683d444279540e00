// The grade, department, class and grade-class dialogs over the fixture school's server, driven
// through their commands and buttons: setting up a school year's grades, numbering departments
// and classes, the deletes and unticks that are refused, and what the server holds afterwards.

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "organisation/ufrmclass.h"
#include "organisation/ufrmdept.h"
#include "organisation/ufrmgrade.h"
#include "organisation/ufrmgradeclass.h"
#include "organisationschool.h"
#include "shots.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class GradeDialogsTest : public achieve::testing::OrganisationSchool {
protected:
    // The school's grade names become these, in this order: (key, name, section).
    void gradeNames(std::initializer_list<std::tuple<const char *, const char *, const char *>> names)
    {
        fx.db().exec("DELETE FROM \"XT_GradeName\" WHERE \"sSchoolType\" = ?", {QStringLiteral("完全中学")});
        int order = 0;
        for (const auto &[key, name, section] : names)
            fx.db().exec("INSERT INTO \"XT_GradeName\" (\"sSchoolType\", \"sKeyId\", \"sValue\", \"sType\", \"iOrder\") VALUES (?, ?, ?, ?, ?)",
                         {QStringLiteral("完全中学"), key, QString::fromUtf8(name), QString::fromUtf8(section), ++order});
    }
    // "InYear GradeCode sYear bCurGrade" of the dialog's new rows, sorted.
    static QStringList gradeRows(TfrmGrade &d)
    {
        QStringList out;
        DataSet &t = *d.cdsData;
        for (t.first(); !t.eof(); t.next())
            if (t.updateStatus() == RowStatus::Inserted)
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(t.value(u"InYear").toString(), t.value(u"GradeCode").toString(), t.value(u"sYear").toString(),
                                t.value(u"bCurGrade").toString());
        out.sort();
        return out;
    }
    QStringList storedGrades()
    {
        return column(
            "SELECT CAST(\"InYear\" AS VARCHAR(8)) || ' ' || \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"InYear\", \"GradeCode\"");
    }
    QStringList storedClasses()
    {
        return column(
            "SELECT \"ClassCode\" || ' ' || \"ClassName\" || ' ' || COALESCE(\"sType\", '-') FROM \"XJ_Class\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"ClassCode\"");
    }
};

// ---- grades ----------------------------------------------------------------------------------------------

TEST_F(GradeDialogsTest, InitialisingTheSchoolYearGivesEachGradeItsIntakeOnceAndSavesThem)
{
    gradeNames({{"11", "一年级", "初中"}, {"12", "二年级", "初中"}, {"13", "三年级", "初中"}});
    signIn();
    TfrmGrade d;
    d.InitDialog();
    EXPECT_EQ(d.edYear->value(), QDate::currentDate().year());
    EXPECT_FALSE(d.btnInitGrade->isEnabled()) << "only while editing";
    EXPECT_TRUE(d.edYear->isReadOnly());
    const qsizetype before = d.cdsData->recordCount();

    d.acEdit->trigger();
    d.edYear->setValue(2012);
    d.btnInitGrade->click();
    EXPECT_EQ(gradeRows(d),
              (QStringList{QStringLiteral("2010 13 2012~2013学年 Y"), QStringLiteral("2011 12 2012~2013学年 Y"), QStringLiteral("2012 11 2012~2013学年 Y")}));
    d.btnInitGrade->click();
    EXPECT_EQ(d.cdsData->recordCount(), before + 3) << "a second run finds every grade there";

    int closed = 0;
    QObject::connect(pub::gradeDataNotifier(), &pub::GradeDataNotifier::gradeDataClosed, &d, [&] { ++closed; });
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(d.EditState, 0);
    EXPECT_EQ(closed, 1) << "the host reads its grades again";
    EXPECT_EQ(storedGrades(), (QStringList{QStringLiteral("2010 13"), QStringLiteral("2011 12"), QStringLiteral("2012 11"), QStringLiteral("2025 1801"),
                                           QStringLiteral("2026 1701")}));
    EXPECT_EQ(column("SELECT \"sYear\" || \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'S1' AND \"InYear\" <= 2012"),
              QStringList(3, QStringLiteral("2012~2013学年Y")));
    const QStringList log = operationLog();
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], QStringLiteral("修改保存年级数据"));
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("编辑年级数据 增加行:年级=11;入学年份=2012;学年=2012~2013学年;"))) << log[1].toStdString();
}

TEST_F(GradeDialogsTest, EverySectionStartsAgainAtTheYearAndGradesOfOneLevelShareTheirIntake)
{
    gradeNames({{"21", "一年级", "小学"},
                {"22", "二年级", "小学"},
                {"23", "三年级", "小学"},
                {"24", "四年级", "小学"},
                {"25", "五年级", "小学"},
                {"26", "六年级", "小学"},
                {"31", "七年级", "初中"},
                {"32", "八年级", "初中"},
                {"33", "九年级", "初中"}});
    signIn();
    TfrmGrade d;
    d.InitDialog();
    d.acEdit->trigger();
    d.edYear->setValue(2030);
    d.btnInitGrade->click();
    QStringList expected;
    for (const auto &[year, code] : std::initializer_list<std::pair<int, const char *>>{
             {2030, "21"}, {2029, "22"}, {2028, "23"}, {2027, "24"}, {2026, "25"}, {2025, "26"}, {2030, "31"}, {2029, "32"}, {2028, "33"}})
        expected << QStringLiteral("%1 %2 2030~2031学年 Y").arg(year).arg(QString::fromLatin1(code));
    expected.sort();
    EXPECT_EQ(gradeRows(d), expected);

    // Two kinds of one grade level (the first two characters of the key) take the same intake.
    gradeNames({{"1701", "七年级", "初中"}, {"1702", "七年级(实验)", "初中"}, {"1801", "八年级", "初中"}});
    pub::signOut();
    signIn();
    TfrmGrade levels;
    levels.InitDialog();
    levels.acEdit->trigger();
    levels.edYear->setValue(2040);
    levels.btnInitGrade->click();
    EXPECT_EQ(gradeRows(levels), (QStringList{QStringLiteral("2039 1801 2040~2041学年 Y"), QStringLiteral("2040 1701 2040~2041学年 Y"),
                                              QStringLiteral("2040 1702 2040~2041学年 Y")}));
}

TEST_F(GradeDialogsTest, AGradeWithSubjectsOrClassesStaysAndOnlyCurrentGradesTakeClicks)
{
    server::Database &db = fx.db();
    db.exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', '001', ?)", {QStringLiteral("语文")});
    db.exec("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\") VALUES ('S1', 2026, '1701', '001')");
    db.exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '1801', '001')");
    db.exec("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES ('S1', 2020, '1901', ?, 'N')",
            {QStringLiteral("2022~2023学年")});
    db.exec("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES ('S1', 2024, '1901', ?, 'Y')",
            {QStringLiteral("2026~2027学年")});
    signIn();
    TfrmGrade d;
    d.InitDialog();
    d.show();
    d.acEdit->trigger();
    const auto at = [&](int year, const char *code) { return d.cdsData->locate(QStringLiteral("InYear;GradeCode"), {year, QString::fromLatin1(code)}); };

    ASSERT_TRUE(at(2026, "1701"));
    d.acDelete->trigger();
    ASSERT_TRUE(at(2025, "1801"));
    d.acDelete->trigger();
    EXPECT_EQ(host.messageTexts(), (QStringList{QStringLiteral("已设置此年级科目数据，不能删除！"), QStringLiteral("已设置此年级班级数据，不能删除！")}));
    EXPECT_EQ(d.cdsData->changeCount(), 0);

    // A click on the graduated grade leaves the focus where it was; one on a current grade moves it.
    ASSERT_TRUE(at(2024, "1901"));
    const int past = gridRow(*d.cxGridList, "sYear", QStringLiteral("2022~2023学年"));
    ASSERT_GE(past, 0);
    clickCell(*d.cxGridList, past, "sYear");
    EXPECT_EQ(d.cdsData->value(u"InYear").toInt(), 2024);
    clickCell(*d.cxGridList, gridRow(*d.cxGridList, "GradeCode", QStringLiteral("1701")), "sYear");
    EXPECT_EQ(d.cdsData->value(u"GradeCode").toString(), QStringLiteral("1701"));

    // A grade with neither goes.
    host.messages.clear();
    ASSERT_TRUE(at(2024, "1901"));
    d.acDelete->trigger();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(storedGrades(), (QStringList{QStringLiteral("2020 1901"), QStringLiteral("2025 1801"), QStringLiteral("2026 1701")}));
}

TEST_F(GradeDialogsTest, ANewGradeIsACurrentGradeOfThisYearAndNoIntakeIsBefore2000)
{
    signIn();
    TfrmGrade d;
    d.InitDialog();
    d.acEdit->trigger();
    d.acInsert->trigger();
    const int year = QDate::currentDate().year();
    EXPECT_EQ(d.cdsData->value(u"InYear").toInt(), year);
    EXPECT_EQ(d.cdsData->value(u"sYear").toString(), SchoolYearText(year));
    EXPECT_EQ(d.cdsData->value(u"bCurGrade").toString(), QStringLiteral("Y"));
    d.cdsData->setValue(u"GradeCode", QStringLiteral("1901"));
    d.cdsData->post();
    GridModel &m = *d.cxGridList->gridModel();
    const int row = gridRow(*d.cxGridList, "GradeCode", QStringLiteral("1901"));
    ASSERT_TRUE(m.setData(m.index(row, d.cxGridList->columnOfField(QStringLiteral("InYear"))), 1999, Qt::EditRole));
    d.cdsData->post();
    EXPECT_EQ(d.cdsData->value(u"InYear").toInt(), 2000);
    EXPECT_EQ(d.cxGridList->displayText(row, d.cxGridList->columnOfField(QStringLiteral("GradeCode"))), QStringLiteral("九年级"));
    EXPECT_EQ(d.cxGridList->displayText(row, d.cxGridList->columnOfField(QStringLiteral("bCurGrade"))), QStringLiteral("√"));
    // The school has a campus tree: the deputy leads the branch's grade.
    EXPECT_EQ(d.cxGridList->columnCaption(d.cxGridList->columnOfField(QStringLiteral("SubTeacherCode"))), QStringLiteral("分校年段长"));
    d.acSave->trigger();
    EXPECT_EQ(column("SELECT \"GradeCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2000"), QStringList{"1901"});

    // The subject teacher may look but not change.
    pub::signOut();
    signIn("wang", "pw6");
    TfrmGrade readOnly;
    readOnly.InitDialog();
    EXPECT_FALSE(readOnly.acEdit->isEnabled());
    EXPECT_TRUE(readOnly.acQuit->isEnabled());
}

// ---- departments -------------------------------------------------------------------------------------------

TEST_F(GradeDialogsTest, NewDepartmentsAreNumberedAfterTheHighestInUse)
{
    const QString dept = "INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', ?, ?)";
    for (const char *code : {"001", "002", "003", "004"})
        fx.db().exec(dept, {code, QStringLiteral("部门") + QString::fromLatin1(code)});
    signIn();
    TfrmDept d;
    d.InitDialog();
    ASSERT_EQ(d.cdsData->recordCount(), 4);
    d.acEdit->trigger();
    d.acInsert->trigger();
    d.cdsData->setValue(u"sName", QStringLiteral("教务处"));
    d.cdsData->setValue(u"sMemo", QStringLiteral("教学管理"));
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(column("SELECT \"sCode\" FROM \"XJ_Dept\" WHERE \"sName\" = ?", {QStringLiteral("教务处")}), QStringList{"005"});
    EXPECT_EQ(operationLog(), QStringList{QStringLiteral("修改保存部门数据")});

    // After a department numbered 122 the next two are 123 and 124.
    fx.db().exec(dept, {"122", QStringLiteral("后勤处")});
    d.acEdit->trigger();
    for (const char *name : {"政教处", "总务处"}) {
        d.acInsert->trigger();
        d.cdsData->setValue(u"sName", QString::fromUtf8(name));
    }
    d.acSave->trigger();
    EXPECT_EQ(column("SELECT \"sCode\" || \"sName\" FROM \"XJ_Dept\" WHERE \"sCode\" > '100' ORDER BY \"sCode\""),
              (QStringList{QStringLiteral("122后勤处"), QStringLiteral("123政教处"), QStringLiteral("124总务处")}));
}

// ---- classes --------------------------------------------------------------------------------------------------

TEST_F(GradeDialogsTest, AddedClassesFollowTheHighestOfTheirTypeAndTakeTheSchoolsNamePattern)
{
    server::Database &db = fx.db();
    db.exec("UPDATE \"XJ_Class\" SET \"sType\" = '1' WHERE \"SchoolCode\" = 'S1'");
    const QString cls = "INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sType\") VALUES ('S1', ?, ?, ?)";
    for (const char *code : {"003", "004", "005", "006", "007"})
        db.exec(cls, {code, QStringLiteral("班") + QString::fromLatin1(code), "1"});
    db.exec(cls, {"020", QStringLiteral("实验一班"), "2"});
    QFile::remove(host.appPathValue + QStringLiteral("Lumeko.ini"));
    signIn();
    TfrmClass d;
    d.InitDialog();
    ASSERT_EQ(d.cbClassType->count(), 2);
    EXPECT_EQ(d.cbClassType->currentText(), QStringLiteral("普通班")) << "the first type is chosen";
    const int area = d.cxGridList->columnOfField(QStringLiteral("sArea"));
    EXPECT_TRUE(d.cxGridList->column(area).visible) << "the school has a branch campus";
    EXPECT_EQ(d.cxGridList->column(area).lookup.size(), 2);
    EXPECT_FALSE(d.btnAdd->isEnabled());

    d.acEdit->trigger();
    d.edCount->setValue(3);
    d.btnAdd->click();
    EXPECT_EQ(shown(*d.cxGridList, "ClassName").mid(8), (QStringList{QStringLiteral("(08)班"), QStringLiteral("(09)班"), QStringLiteral("(10)班")}));
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(storedClasses().mid(7, 3), (QStringList{QStringLiteral("008 (08)班 1"), QStringLiteral("009 (09)班 1"), QStringLiteral("010 (10)班 1")}));
    ASSERT_EQ(operationLog().size(), 1) << operationLog().join(u'|').toStdString();
    EXPECT_TRUE(operationLog()[0].startsWith(QStringLiteral("班级定义: 增加行:班级编码=008;班级名称=(08)班;班级类型=1;"))) << operationLog()[0].toStdString();

    // "X班": one digit, the last of the code.
    QFile ini(host.appPathValue + QStringLiteral("Lumeko.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[ExeConfig]\nClassName=X班\n").toUtf8());
    ini.close();
    TfrmClass pattern;
    pattern.InitDialog();
    pattern.acEdit->trigger();
    pattern.edCount->setValue(3);
    pattern.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("008")});
    pattern.cdsData->deleteRecord();
    pattern.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("009")});
    pattern.cdsData->deleteRecord();
    pattern.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("010")});
    pattern.cdsData->deleteRecord();
    pattern.btnAdd->click();
    EXPECT_EQ(shown(*pattern.cxGridList, "ClassName").mid(8), (QStringList{QStringLiteral("8班"), QStringLiteral("9班"), QStringLiteral("0班")}));
    EXPECT_EQ(shown(*pattern.cxGridList, "ClassCode").mid(8), (QStringList{"008", "009", "010"}));
    QFile::remove(host.appPathValue + QStringLiteral("Lumeko.ini"));

    // The other type numbers after its own highest class.
    pattern.acCancel->trigger();
    pattern.acEdit->trigger();
    pattern.cbClassType->setCurrentIndex(1);
    pattern.edCount->setValue(1);
    pattern.btnAdd->click();
    EXPECT_EQ(shown(*pattern.cxGridList, "ClassCode").last(), QStringLiteral("021"));
    EXPECT_EQ(shown(*pattern.cxGridList, "sType").last(), QStringLiteral("实验班"));
}

TEST_F(GradeDialogsTest, TheNamePatternsSlot)
{
    EXPECT_EQ(TfrmClass::classNameOf(QStringLiteral("(XX)班"), "008"), QStringLiteral("(08)班"));
    EXPECT_EQ(TfrmClass::classNameOf(QStringLiteral("初一(xx)班"), "012"), QStringLiteral("初一(12)班")) << "either case";
    EXPECT_EQ(TfrmClass::classNameOf(QStringLiteral("X班"), "010"), QStringLiteral("0班"));
    EXPECT_EQ(TfrmClass::classNameOf(QStringLiteral("Xx班X"), "123"), QStringLiteral("23班X")) << "only the first slot";
    EXPECT_EQ(TfrmClass::classNameOf(QStringLiteral("x班(X)"), "007"), QStringLiteral("7班(X)"));
}

TEST_F(GradeDialogsTest, AClassAGradeUsesIsNotDeleted)
{
    fx.db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2026, '1701', '001')");
    signIn();
    TfrmClass d;
    d.InitDialog();
    d.acEdit->trigger();
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("001")}));
    d.acDelete->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("此班级已经被关联使用了，不能删除！")});
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("002")}));
    d.acDelete->trigger();
    d.acSave->trigger();
    EXPECT_EQ(storedClasses(), QStringList{QStringLiteral("001 一班 -")});
}

// ---- grade classes ----------------------------------------------------------------------------------------------

class GradeClassTest : public GradeDialogsTest {
protected:
    void SetUp() override
    {
        GradeDialogsTest::SetUp();
        server::Database &db = fx.db();
        db.exec("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\") VALUES ('S1', '003', ?, ?)",
                {QStringLiteral("三班"), QStringLiteral("分校")});
        const QString gc =
            "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"AliasName\", \"sArea\") VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(gc, {"001", QStringLiteral("初一(1)"), QStringLiteral("本部")});
        db.exec(gc, {"002", QVariant(), QStringLiteral("分校")});
        db.exec(
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"sName\") VALUES ('{S}', 'S1', '1701', 2026, '001', ?)",
            {QStringLiteral("张三")});
    }
    QStringList storedGradeClasses()
    {
        return column("SELECT \"ClassCode\" || ' ' || COALESCE(\"AliasName\", '-') || ' ' || COALESCE(\"sArea\", '-') || ' ' || COALESCE(\"TeacherCode\", '-') "
                      "FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2026 AND \"GradeCode\" = '1701' ORDER BY \"ClassCode\"");
    }
};

TEST_F(GradeClassTest, AClassWithStudentsKeepsItsTickAndTheGradeGetsWhatIsTicked)
{
    signIn();
    TfrmGradeClass d;
    d.Params = {"2026", "1701", QStringLiteral("七年级"), "Y", ""};
    d.InitDialog();
    d.show();
    EXPECT_TRUE(d.grade->cbGrade->isVisible());
    EXPECT_EQ(d.grade->lblGrade->text(), QStringLiteral("当前年级："));
    EXPECT_EQ(d.grade->cbGrade->currentText(), QStringLiteral("2026级七年级"));
    EXPECT_EQ(d.grade->cbGrade->count(), 2) << "the school's current grades";
    EXPECT_FALSE(d.acInsert->isVisible());
    EXPECT_FALSE(d.acDelete->isVisible());
    BandedGrid &g = *d.cxGridList;
    EXPECT_EQ(shown(g, "ClassName"), (QStringList{QStringLiteral("一班"), QStringLiteral("二班"), QStringLiteral("三班")}));
    EXPECT_EQ(shown(g, "Selected"), (QStringList{QStringLiteral("√"), QStringLiteral("√"), QString()}));
    EXPECT_TRUE(g.column(g.columnOfField(QStringLiteral("sArea"))).visible);

    // Browsing: a click on a tick changes nothing.
    clickCell(g, 2, "Selected");
    EXPECT_EQ(shown(g, "Selected")[2], QString());

    d.acEdit->trigger();
    clickCell(g, 0, "Selected");
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("此班级已经有学生了，不能删除！")});
    EXPECT_EQ(shown(g, "Selected")[0], QStringLiteral("√")) << "the tick stays";
    clickCell(g, 1, "Selected");
    EXPECT_EQ(shown(g, "Selected")[1], QString());
    // A ticked class takes the school's campus of it, whatever the row said.
    d.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("003")});
    d.cdsData->edit();
    d.cdsData->setValue(u"sArea", QStringLiteral("本部"));
    d.cdsData->post();
    clickCell(g, 2, "Selected");
    EXPECT_EQ(shown(g, "Selected")[2], QStringLiteral("√"));
    EXPECT_EQ(shown(g, "sArea")[2], QStringLiteral("分校")) << "the class's own campus";
    EXPECT_EQ(host.messages.size(), 1);
    d.cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("003")});
    d.cdsData->edit();
    d.cdsData->setValue(u"AliasName", QStringLiteral("初一(3)"));
    d.cdsData->setValue(u"TeacherCode", QString::fromLatin1(server::testing::kTeacherCode));
    d.cdsData->post();
    host.messages.clear();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(storedGradeClasses(),
              (QStringList{QStringLiteral("001 初一(1) 本部 -"), QStringLiteral("003 初一(3) 分校 ") + QString::fromLatin1(server::testing::kTeacherCode)}));
    const QStringList log = operationLog();
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], QStringLiteral("修改保存年级班级数据"));
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("年段班级定义："))) << log[1].toStdString();
    EXPECT_TRUE(log[1].contains(QStringLiteral("删除行:"))) << log[1].toStdString();

    // Another grade of the chooser shows its own classes.
    d.grade->cbGrade->setCurrentIndex(d.grade->cbGrade->findText(QStringLiteral("2025级八年级")));
    Q_EMIT d.grade->cbGrade->activated(d.grade->cbGrade->currentIndex());
    EXPECT_EQ(d.grade->grade().code, QStringLiteral("1801"));
    EXPECT_EQ(shown(g, "Selected"), QStringList(3, QString()));
}

TEST_F(GradeClassTest, AGradeOfThePastIsNamedNotChosen)
{
    signIn();
    TfrmGradeClass past;
    past.Params = {"2025", "1801", QStringLiteral("八年级"), "N", ""};
    past.InitDialog();
    EXPECT_TRUE(past.grade->cbGrade->isHidden());
    EXPECT_EQ(past.grade->lblGrade->text(), QStringLiteral("当前年级：2025级八年级"));
    EXPECT_EQ(past.grade->grade().code, QStringLiteral("1801"));
    EXPECT_EQ(past.cdsData->recordCount(), 3);

    // A section's code names the section alone.
    TfrmGradeClass section;
    section.Params = {"0", "1", QStringLiteral("初中"), "Y", ""};
    section.InitDialog();
    EXPECT_TRUE(section.grade->cbGrade->isHidden());
    EXPECT_EQ(section.grade->lblGrade->text(), QStringLiteral("初中"));
}

// ---- pictures ---------------------------------------------------------------------------------------------------------

TEST_F(GradeClassTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    signIn();
    TfrmGrade grades;
    grades.InitDialog();
    grades.acEdit->trigger();
    pub::testing::saveShot(grades, "organisation-grades");
    TfrmDept departments;
    departments.InitDialog();
    departments.acEdit->trigger();
    departments.acInsert->trigger();
    departments.cdsData->setValue(u"sName", QStringLiteral("教务处"));
    departments.cdsData->setValue(u"sMemo", QStringLiteral("教学计划、课程安排与考试管理"));
    departments.cdsData->post();
    pub::testing::saveShot(departments, "organisation-departments");
    TfrmClass classes;
    classes.InitDialog();
    classes.acEdit->trigger();
    classes.edCount->setValue(4);
    classes.btnAdd->click();
    pub::testing::saveShot(classes, "organisation-classes");
    TfrmGradeClass gradeClasses;
    gradeClasses.Params = {"2026", "1701", QStringLiteral("七年级"), "Y", ""};
    gradeClasses.InitDialog();
    pub::testing::saveShot(gradeClasses, "organisation-grade-classes");
}

} // namespace
