// A teacher's departments (TfrmDeptTeacher) over the fixture school's server, walking through the
// teachers of a master table as the teachers' page hands it over.

#include "host/pub/pub.h"
#include "organisation/ufrmdeptteacher.h"
#include "organisationschool.h"
#include "shots.h"

#include <QAction>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class DeptTeacherTest : public achieve::testing::OrganisationSchool {
protected:
    void SetUp() override
    {
        OrganisationSchool::SetUp();
        server::Database &db = fx.db();
        const QString dept = "INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', ?, ?)";
        db.exec(dept, {"001", QStringLiteral("教务处")});
        db.exec(dept, {"002", QStringLiteral("政教处")});
        db.exec("INSERT INTO \"JC_DeptTeacher\" (\"SchoolCode\", \"TeacherCode\", \"DepartCode\", \"sDuty\") VALUES ('S1', ?, '001', ?)",
                {QString::fromLatin1(server::testing::kAdminCode), QStringLiteral("主任")});
        teachers.createTable({{"sCode", wire::FieldType::Text, 38, 0}, {"sName", wire::FieldType::Text, 40, 0}});
        teachers.appendRecord({QString::fromLatin1(server::testing::kAdminCode), QStringLiteral("管理员")});
        teachers.appendRecord({QString::fromLatin1(server::testing::kTeacherCode), QStringLiteral("王老师")});
        teachers.first();
    }
    QStringList stored()
    {
        return column("SELECT t.\"sName\" || ' ' || d.\"DepartCode\" || ' ' || COALESCE(d.\"sDuty\", '-') FROM \"JC_DeptTeacher\" d "
                      "JOIN \"JC_Teacher\" t ON t.\"sCode\" = d.\"TeacherCode\" WHERE d.\"SchoolCode\" = 'S1' ORDER BY t.\"sName\", d.\"DepartCode\"");
    }
    DataSet teachers;
};

TEST_F(DeptTeacherTest, WalksThroughTheTeachersAndGivesANewDepartmentToTheOneShown)
{
    signIn();
    TfrmDeptTeacher d(&teachers);
    d.InitDialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("【管理员】所属部门"));
    BandedGrid &g = *d.cxGridList;
    EXPECT_EQ(shown(g, "DepartCode"), QStringList{QStringLiteral("教务处")});
    EXPECT_EQ(shown(g, "sDuty"), QStringList{QStringLiteral("主任")});
    EXPECT_EQ(g.column(g.columnOfField(QStringLiteral("DepartCode"))).lookup.size(), 2);
    EXPECT_EQ(g.column(g.columnOfField(QStringLiteral("sDuty"))).lookup.size(), 3) << "the host's duty list";
    EXPECT_FALSE(d.tlbTools->actions().contains(d.acQuit)) << "the moves take the quit button's place";
    EXPECT_TRUE(d.tlbTools->actions().contains(d.acLast));

    d.acNext->trigger();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("【王老师】所属部门"));
    EXPECT_EQ(d.cdsData->recordCount(), 0);
    d.acEdit->trigger();
    for (QAction *move : {d.acFirst, d.acPrior, d.acNext, d.acLast})
        EXPECT_FALSE(move->isEnabled()) << move->text().toStdString();
    d.acInsert->trigger();
    d.cdsData->setValue(u"DepartCode", QStringLiteral("002"));
    d.cdsData->setValue(u"sDuty", QStringLiteral("组长"));
    d.cdsData->post();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(operationLog(), QStringList{QStringLiteral("修改保存教师部门数据")});
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("王老师 002 组长"), QStringLiteral("管理员 001 主任")}));
    EXPECT_TRUE(d.acFirst->isEnabled());

    // A department named twice for one teacher is refused by the server: nothing is stored.
    host.messages.clear();
    d.acEdit->trigger();
    d.acInsert->trigger();
    d.cdsData->setValue(u"DepartCode", QStringLiteral("002"));
    d.cdsData->post();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新失败！")});
    EXPECT_EQ(d.EditState, 2);
    EXPECT_EQ(stored().size(), 2);

    d.acCancel->trigger();
    d.acFirst->trigger();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("【管理员】所属部门"));
    EXPECT_EQ(teachers.recNo(), 0) << "the master moved back too";
}

TEST_F(DeptTeacherTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    signIn();
    TfrmDeptTeacher d(&teachers);
    d.InitDialog();
    pub::testing::saveShot(d, "organisation-dept-teacher");
}

} // namespace
