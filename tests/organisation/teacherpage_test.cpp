// The teachers' page opened through its export, as the host opens it, over the fixture school: the
// names teachers sign in with kept unique on the page and on the server, what is asked of the
// server and what is not, saving, deleting, importing and passwords.

#include "framework/import/upubimportset.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pageregistry.h"
#include "organisation/ufrmdeptteacher.h"
#include "organisation/ufrmteacherpage.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "students/ufrmsetpass.h"
#include "toolkit/grid/bandedgrid.h"

#include "shots.h"
#include "signedinhost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

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

class TeacherPageTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        host.appPathValue = m_app.path() + u'/';
        QFile::copy(QStringLiteral(LUMEKO_SOURCE_DIR "/data/Chinese.dll"), m_app.filePath(QStringLiteral("Chinese.dll")));
        server::Database &db = fx.db();
        // The reference data: JC_Teacher's columns, the states, roles and the lists of the columns.
        server::seedSystemData(db);
        db.exec("INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', '001', ?)", {QStringLiteral("教务处")});
        db.exec("INSERT INTO \"JC_DeptTeacher\" (\"SchoolCode\", \"TeacherCode\", \"DepartCode\", \"sDuty\") VALUES ('S1', ?, '001', '3')",
                {server::testing::kTeacherCode});
        ASSERT_TRUE(pub::signIn(recorder, QStringLiteral("admin"), QStringLiteral("lumeko"), nullptr));
    }
    void TearDown() override
    {
        setModalRunner({});
        for (const qint32 h : PageRegistry::instance().handles())
            ClosePage(h);
        SignedInHost::TearDown();
    }

    TfrmTeacherPage *open(const char *params = ",")
    {
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        tab->resize(1200, 600);
        return qobject_cast<TfrmTeacherPage *>(PageRegistry::instance().page(ShowTeacherPage(&app, tab.get(), params)));
    }
    // Moves to the row of a teacher by name; false when there is none.
    static bool go(TfrmTeacherPage *p, const QString &name) { return p->cdsData->locate(QStringLiteral("sName"), {name}); }
    static void set(TfrmTeacherPage *p, const QList<std::pair<const char *, QVariant>> &values)
    {
        if (p->cdsData->state() == DataSetState::Browse) p->cdsData->edit();
        for (const auto &[field, v] : values)
            p->cdsData->setValue(QString::fromLatin1(field), v);
        p->cdsData->post();
    }
    static void add(TfrmTeacherPage *p, const QList<std::pair<const char *, QVariant>> &values)
    {
        p->acInsert->trigger();
        set(p, values);
    }
    qint64 teachers() { return fx.db().scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"SchoolCode\" = 'S1'").toLongLong(); }
    QString lastMessage() const { return host.messages.isEmpty() ? QString() : host.messages.last().text; }

    RecordingLink recorder{fx.service()};
    QWidget app;
    std::unique_ptr<QWidget> tab;
    QTemporaryDir m_app;
};

TEST_F(TeacherPageTest, TheSchoolsTeachersWithTheirColumnsStatesAndRoles)
{
    TfrmTeacherPage *page = open();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("教师档案"));
    EXPECT_EQ(page->DeptCode, QString()) << "the host's two empty items ask for every department";
    EXPECT_EQ(page->cdsData->recordCount(), 4) << "S1's four teachers, none of S2";
    BandedGrid *g = page->GridData;
    for (const char *hidden : {"sCode", "SchoolCode"})
        EXPECT_FALSE(g->column(g->columnOfField(hidden)).visible) << hidden;
    EXPECT_EQ(g->columnCaption(g->columnOfField("sLoginName")), QStringLiteral("登录名"));

    ASSERT_TRUE(go(page, QStringLiteral("王老师")));
    const int row = int(page->cdsData->recNo());
    EXPECT_EQ(g->displayText(row, g->columnOfField("sRole")), QStringLiteral("任课教师")) << "role keys read as their names";
    EXPECT_EQ(g->displayText(row, g->columnOfField("iState")), QStringLiteral("在职"));
    ASSERT_TRUE(go(page, QStringLiteral("离职老师")));
    EXPECT_EQ(g->displayText(int(page->cdsData->recNo()), g->columnOfField("iState")), QStringLiteral("离职"));
    EXPECT_EQ(page->cdsData->value(u"sPass").toString(), QStringLiteral("******")) << "a password is shown as set, never as stored";

    page->acEdit->trigger();
    for (const char *locked : {"sPass", "sRole"})
        EXPECT_TRUE(g->column(g->columnOfField(locked)).readOnly) << locked;
    EXPECT_FALSE(g->column(g->columnOfField("sName")).readOnly);
    EXPECT_EQ(g->column(g->columnOfField("sSex")).lookup.size(), 2);
    EXPECT_EQ(g->column(g->columnOfField("sType")).lookup.value(0).text, QStringLiteral("在编教师"));
    EXPECT_FALSE(page->acSetPass->isEnabled()) << "passwords and departments wait until editing ends";
    EXPECT_FALSE(page->acDept->isEnabled());
    page->acCancel->trigger();
    EXPECT_TRUE(page->acSetPass->isEnabled());
    EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();

    // One item is a department: its teachers only.
    TfrmTeacherPage *dept = open("001");
    ASSERT_TRUE(dept);
    EXPECT_EQ(dept->DeptCode, QStringLiteral("001"));
    ASSERT_EQ(dept->cdsData->recordCount(), 1);
    EXPECT_EQ(dept->cdsData->value(u"sName").toString(), QStringLiteral("王老师"));
}

TEST_F(TeacherPageTest, TwoNewTeachersWithOneLoginNameStopTheSaveAtTheSecondAndSendNothing)
{
    TfrmTeacherPage *page = open();
    const qint64 before = teachers();
    const int existing = int(page->cdsData->recordCount());
    page->acEdit->trigger();
    add(page, {{"sName", QStringLiteral("陈一")}, {"sLoginName", QStringLiteral("chen")}});
    add(page, {{"sName", QStringLiteral("陈二")}, {"sLoginName", QStringLiteral("Chen")}});
    recorder.methods.clear();
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 账号重复，登录名<Chen>已被使用！").arg(existing + 2)) << "login names are one whatever their case";
    EXPECT_EQ(host.messages.last().kind, pub::MessageKind::Error);
    EXPECT_EQ(recorder.methods.count(QStringLiteral("CheckLoginUsed")), 1) << "the first new teacher's login was asked about, and was free";
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("UpTeacher")));
    EXPECT_EQ(teachers(), before);
    EXPECT_EQ(page->EditState, 2) << "the page stays in editing with its rows";
    EXPECT_EQ(page->cdsData->changeCount(), 2);
    EXPECT_EQ(page->cdsData->value(u"sName").toString(), QStringLiteral("陈二")) << "the row at fault is focused";

    // The second one gets a login of its own and both are stored, with keys, school and state.
    set(page, {{"sLoginName", QStringLiteral("chen2")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
    EXPECT_EQ(page->EditState, 0);
    EXPECT_EQ(teachers(), before + 2);
    const wire::DataPacket stored =
        fx.db().select("SELECT \"sCode\", \"SchoolCode\", \"iState\", \"sLoginName\" FROM \"JC_Teacher\" WHERE \"sName\" = ?", {QStringLiteral("陈二")},
                       {{"sCode", wire::FieldType::Text, 0, 0},
                        {"SchoolCode", wire::FieldType::Text, 0, 0},
                        {"iState", wire::FieldType::Integer, 0, 0},
                        {"sLoginName", wire::FieldType::Text, 0, 0}});
    ASSERT_EQ(stored.rowCount(), 1);
    const QString key = stored.value(0, 0).toString();
    EXPECT_EQ(key.size(), 38);
    EXPECT_TRUE(key.startsWith(u'{') && key.endsWith(u'}'));
    EXPECT_FALSE(QUuid::fromString(key).isNull());
    EXPECT_EQ(stored.value(0, 1).toString(), QStringLiteral("S1"));
    EXPECT_EQ(stored.value(0, 2).toLongLong(), 0);
    EXPECT_EQ(stored.value(0, 3).toString(), QStringLiteral("chen2"));
}

TEST_F(TeacherPageTest, ChangingOnlyANameAsksTheServerNothingButANewLoginIsAskedAbout)
{
    TfrmTeacherPage *page = open();
    page->acEdit->trigger();
    ASSERT_TRUE(go(page, QStringLiteral("王老师")));
    set(page, {{"sName", QStringLiteral("王晓明")}});
    recorder.methods.clear();
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("CheckLoginUsed"))) << recorder.methods.join(u',').toStdString();
    EXPECT_TRUE(recorder.methods.contains(QStringLiteral("UpTeacher")));
    EXPECT_EQ(fx.db().scalar("SELECT \"sName\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toString(), QStringLiteral("王晓明"));

    // Another user's login name, of this school and of another.
    page->acEdit->trigger();
    ASSERT_TRUE(go(page, QStringLiteral("王晓明")));
    const int row = int(page->cdsData->recNo()) + 1;
    set(page, {{"sLoginName", QStringLiteral("ADMIN")}});
    recorder.methods.clear();
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 登录名<ADMIN>已被 管理员 使用！").arg(row));
    EXPECT_EQ(recorder.methods, QStringList{QStringLiteral("CheckLoginUsed")});
    set(page, {{"sLoginName", QStringLiteral("li")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 登录名<li>已被 其他学校的用户 使用！").arg(row)) << "another school's teacher is not named";
    // His own login, typed again, is no change at all.
    set(page, {{"sLoginName", QStringLiteral("wang")}});
    recorder.methods.clear();
    page->acSave->trigger();
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("CheckLoginUsed")));
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toLongLong(), 1);
}

TEST_F(TeacherPageTest, EMailsAndMobilesAreUniqueOnThePageAndOnTheServer)
{
    fx.db().exec("UPDATE \"JC_Teacher\" SET \"sMail\" = 'li@two.cn' WHERE \"sLoginName\" = 'li'");
    TfrmTeacherPage *page = open();
    const int existing = int(page->cdsData->recordCount());
    page->acEdit->trigger();
    add(page, {{"sName", QStringLiteral("林一")}, {"sLoginName", QStringLiteral("lin1")}, {"sMail", QStringLiteral("wang@school.cn")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 邮箱号重复，邮箱号<wang@school.cn>已被使用！").arg(existing + 1))
        << "王老师's address on the page, whatever its case";
    set(page, {{"sMail", QStringLiteral("LI@two.cn")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 邮箱号<LI@two.cn>已被 其他学校的用户 使用！").arg(existing + 1));
    set(page, {{"sMail", QStringLiteral("lin1@school.cn")}, {"sMobile", QStringLiteral("13800000001")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 手机号码重复，手机号<13800000001>已被使用！").arg(existing + 1));
    set(page, {{"sMobile", QStringLiteral("13900000001")}});
    add(page, {{"sName", QStringLiteral("林二")}, {"sLoginName", QStringLiteral("lin2")}, {"sMail", QStringLiteral("LIN1@school.cn")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 邮箱号重复，邮箱号<LIN1@school.cn>已被使用！").arg(existing + 2));
    set(page, {{"sMail", QVariant()}, {"sMobile", QStringLiteral("13900000001")}});
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 手机号码重复，手机号<13900000001>已被使用！").arg(existing + 2));
    set(page, {{"sMobile", QStringLiteral("13900000002")}});
    const qint64 before = teachers();
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
    EXPECT_EQ(teachers(), before + 2);
    EXPECT_EQ(fx.db().scalar("SELECT \"sMobile\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'lin2'").toString(), QStringLiteral("13900000002"));

    // A department's page shows some teachers only: the others' numbers are the server's to know.
    fx.db().exec("UPDATE \"JC_Teacher\" SET \"sMobile\" = '13700000000' WHERE \"sLoginName\" = 'nopass'");
    TfrmTeacherPage *dept = open("001");
    dept->acEdit->trigger();
    ASSERT_TRUE(go(dept, QStringLiteral("王老师")));
    set(dept, {{"sMobile", QStringLiteral("13700000000")}});
    dept->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("数据行<1> 手机号<13700000000>已被 无密码 使用！"));
    EXPECT_EQ(fx.db().scalar("SELECT \"sMobile\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toString(), QStringLiteral("13800000001"));
    dept->acCancel->trigger();
}

TEST_F(TeacherPageTest, DeletingTakesTheMarkedTeachersOnly)
{
    TfrmTeacherPage *page = open();
    const qint64 before = teachers();
    page->acEdit->trigger();
    ASSERT_TRUE(go(page, QStringLiteral("无密码")));
    page->acDelete->trigger();
    EXPECT_EQ(page->cdsData->changeCount(), 0) << "the focused row is not a mark";
    set(page, {{"Selected", true}});
    page->acDelete->trigger();
    EXPECT_FALSE(go(page, QStringLiteral("无密码")));
    EXPECT_EQ(page->cdsData->recordCount(), 3);
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
    EXPECT_EQ(teachers(), before - 1);

    // A mark is not stored: a saved row has it cleared.
    page->acEdit->trigger();
    ASSERT_TRUE(go(page, QStringLiteral("王老师")));
    set(page, {{"Selected", true}, {"sTel", QStringLiteral("0571-1234")}});
    page->acSave->trigger();
    EXPECT_FALSE(page->cdsData->value(u"Selected").toBool());
    EXPECT_EQ(fx.db().scalar("SELECT \"sTel\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toString(), QStringLiteral("0571-1234"));
    EXPECT_FALSE(fx.db().scalar("SELECT \"Selected\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toBool());
}

TEST_F(TeacherPageTest, ImportedTeachersGetLoginNamesFromTheirNamesAndAreStoredByTheSave)
{
    TfrmTeacherPage *page = open();
    const qint64 before = teachers();
    QApplication::clipboard()->setText(QStringLiteral("姓名\t性别\t手机号码\t状态\r\n陈 明\t男\t13900000011\t在职\r\n林芳\t女\t13900000012\t退休\r\n"));
    bool ran = false;
    setModalRunner([&](QDialog &d) {
        auto *w = qobject_cast<TPubImportSet *>(&d);
        EXPECT_TRUE(w);
        if (!w) return int(QDialog::Rejected);
        ran = true;
        EXPECT_EQ(w->windowTitle(), QStringLiteral("教师档案 教师数据导入向导"));
        EXPECT_FALSE(w->cbImpLoginName->isHidden()) << "teacher data offer login names";
        w->cbImpLoginName->setChecked(true);
        w->cbPinyin->setCurrentText(QStringLiteral("姓名全拼"));
        w->nextStep();
        EXPECT_EQ(w->titles(), (QStringList{QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("手机号码"), QStringLiteral("状态")}));
        w->nextStep();
        w->importData();
        return int(QDialog::Accepted);
    });
    page->acImport->trigger();
    ASSERT_TRUE(ran);
    EXPECT_EQ(page->EditState, 2) << "importing puts the page in editing";
    EXPECT_EQ(page->cdsData->changeCount(), 2) << "imported rows wait for the save";
    EXPECT_EQ(teachers(), before);
    page->acSave->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
    EXPECT_EQ(teachers(), before + 2);
    const auto field = [&](const char *name, const char *column) {
        return fx.db().scalar(QStringLiteral("SELECT \"%1\" FROM \"JC_Teacher\" WHERE \"sName\" = ?").arg(QLatin1String(column)), {QString::fromUtf8(name)});
    };
    EXPECT_EQ(field("陈明", "sLoginName").toString(), QStringLiteral("chenming")) << "blanks go from imported names";
    EXPECT_EQ(field("陈明", "sMobile").toString(), QStringLiteral("13900000011"));
    EXPECT_EQ(field("陈明", "sSex").toString(), QStringLiteral("男"));
    EXPECT_EQ(field("林芳", "sLoginName").toString(), QStringLiteral("linfang"));
    EXPECT_EQ(field("林芳", "iState").toLongLong(), 2) << "退休 by the state list";
    EXPECT_EQ(field("林芳", "SchoolCode").toString(), QStringLiteral("S1"));

    // The same sheet again: matched by name, nothing added, and nothing left to store.
    setModalRunner([&](QDialog &d) {
        auto *w = qobject_cast<TPubImportSet *>(&d);
        w->nextStep();
        w->nextStep();
        w->importData();
        return int(QDialog::Accepted);
    });
    page->acImport->trigger();
    page->acSave->trigger();
    EXPECT_EQ(teachers(), before + 2);
}

TEST_F(TeacherPageTest, PasswordsAreSetForTheMarkedTeachers)
{
    TfrmTeacherPage *page = open();
    int dialogs = 0;
    setModalRunner([&](QDialog &d) {
        ++dialogs;
        auto *dialog = qobject_cast<TfrmSetPass *>(&d);
        EXPECT_TRUE(dialog);
        if (!dialog) return int(QDialog::Rejected);
        dialog->edPassword->setText(QStringLiteral("新密码9"));
        dialog->edConfirm->setText(QStringLiteral("新密码9"));
        dialog->confirm();
        return dialog->result();
    });
    page->acSetPass->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("请选择要设置的名单！"));
    EXPECT_EQ(dialogs, 0);
    ASSERT_TRUE(go(page, QStringLiteral("王老师")));
    set(page, {{"Selected", true}});
    page->acSetPass->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(lastMessage(), QStringLiteral("密码设置成功！"));
    const QString stored = fx.db().scalar("SELECT \"sPass\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang'").toString();
    EXPECT_TRUE(server::verifyPassword(stored, QStringLiteral("新密码9"))) << "wang signs in with the new password";
    EXPECT_EQ(page->cdsData->recordCount(), 4) << "the page shows every teacher again";
}

TEST_F(TeacherPageTest, DepartmentsOpenForTheFocusedTeacher)
{
    TfrmTeacherPage *page = open();
    ASSERT_TRUE(go(page, QStringLiteral("王老师")));
    DataSet *master = nullptr;
    setModalRunner([&](QDialog &d) {
        auto *dialog = qobject_cast<TfrmDeptTeacher *>(&d);
        EXPECT_TRUE(dialog);
        if (dialog) {
            master = dialog->cdsMaster;
            EXPECT_EQ(dialog->EditState, 0) << "the dialog starts in browsing";
            EXPECT_EQ(dialog->cdsData->recordCount(), 1) << "王老师's one department";
        }
        return int(QDialog::Rejected);
    });
    page->acDept->trigger();
    EXPECT_EQ(master, page->cdsData);
}

TEST_F(TeacherPageTest, Pictures)
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
    ASSERT_TRUE(pub::signIn(recorder, accounts.first().login, accounts.first().password)) << "the demo school's administrator";
    TfrmTeacherPage *page = open();
    ASSERT_TRUE(page);
    tab->resize(1366, 720);
    pub::testing::saveShot(*tab, "teacher-page");
    page->acEdit->trigger();
    page->acInsert->trigger();
    pub::testing::saveShot(*tab, "teacher-page-edit");
    page->acCancel->trigger();
}

} // namespace
