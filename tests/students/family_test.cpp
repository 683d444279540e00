// The register page's family dialog and class change, driven through the page's commands: the
// relation rules of family rows, rows pending across students, the rights on the dialog's
// actions; the grade and class the students are moved to, what the user is told and what the
// server then holds.

#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pageregistry.h"
#include "students/ufrmchangeclass.h"
#include "students/ufrmfamily.h"
#include "students/ufrmstudentpage.h"

#include "registerfixtures.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

// Passes the module's calls on to the embedded server and notes the methods called; the methods
// named in `unreachable` fail as a lost connection would.
class RecordingLink : public wire::ServerLink {
public:
    explicit RecordingLink(wire::CallService &service) : m_inner(service) {}
    wire::Reply call(wire::Call &call) override
    {
        methods << call.method;
        if (unreachable.contains(call.method)) return wire::Reply::failure(wire::ErrorCode::Timeout, QStringLiteral("连接超时"));
        return m_inner.call(call);
    }
    QStringList methods;
    QStringList unreachable;

private:
    wire::LocalLink m_inner;
};

class FamilyTest : public pub::testing::SignedInHost {
protected:
    explicit FamilyTest(server::Backend backend = server::Backend::Sqlite) : SignedInHost(backend) {}

    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        server::Database &db = fx.db();
        students::testing::defineRegisterColumns(db, {
                 {"Selected", "选择", "B"}, {"sName", "姓名", "S"}, {"ClassCode", "班级", "S"}, {"iClassNo", "座号", "N"}, {"iState", "状态", "S"},
                 {"sSex", "性别", "S"}, {"sCode", "编码", "S"}, {"SchoolCode", "学校", "S"}, {"GradeCode", "年级", "S"}, {"InYear", "入学年份", "N"}});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"sSex\", \"iState\", \"Selected\") "
                                "VALUES (?, 'S1', '1701', 2026, '001', ?, ?, ?, '00', ?)";
        db.exec(student, {"{A}", 1, QStringLiteral("张三"), QStringLiteral("男"), false});
        db.exec(student, {"{B}", 2, QStringLiteral("李四"), QStringLiteral("女"), false});
        db.exec(student, {"{C}", 3, QStringLiteral("王五"), QStringLiteral("男"), false});
        db.exec(student, {"{D}", 4, QStringLiteral("赵六"), QStringLiteral("女"), false});
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', ?, ?, ?)";
        for (const auto &[year, grade, cls] : std::initializer_list<std::tuple<int, const char *, const char *>>{
                 {2026, "1701", "001"}, {2026, "1701", "002"}, {2025, "1801", "001"}, {2025, "1801", "002"}})
            db.exec(gc, {year, grade, cls});
        const QString family = "INSERT INTO \"XJ_Family\" (\"scode\", \"sTitle\", \"sName\", \"SchoolCode\") VALUES (?, ?, ?, 'S1')";
        db.exec(family, {"{A}", QStringLiteral("父亲"), QStringLiteral("张大山")});
        db.exec(family, {"{A}", QStringLiteral("母亲"), QStringLiteral("李秀英")});
        db.exec(family, {"{B}", QStringLiteral("父亲"), QStringLiteral("李大海")});
        // Beside 七年级 and 八年级: a current junior grade the school's grade names lack, a
        // graduated one and a current senior one.
        const QString grade = "INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"bCurGrade\") VALUES ('S1', ?, ?, ?)";
        db.exec(grade, {2026, "1999", "Y"});
        db.exec(grade, {2024, "1901", "N"});
        db.exec(grade, {2024, "2101", "Y"});
    }

    void TearDown() override
    {
        setModalRunner({});
        SignedInHost::TearDown();
    }

    TfrmStudentPage *open(const char *params)
    {
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        const qint32 handle = ShowStudentPage(&app, tab.get(), params);
        return qobject_cast<TfrmStudentPage *>(PageRegistry::instance().page(handle));
    }
    void close(TfrmStudentPage *page) { ClosePage(PageRegistry::handleFromName(page->objectName())); }
    static QStringList names(TfrmStudentPage *page)
    {
        QStringList out;
        for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next()) out << page->cdsData->value(u"sName").toString();
        return out;
    }
    static void mark(TfrmStudentPage *page, const QStringList &students)
    {
        for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next())
            if (students.contains(page->cdsData->value(u"sName").toString())) {
                page->cdsData->edit();
                page->cdsData->setValue(u"Selected", true);
                page->cdsData->post();
            }
    }

    // The next dialogs of type D that a command opens are driven by `drive` instead of a user;
    // the command gets the result the dialog ends with.
    template <class D>
    void onDialog(std::function<void(D &)> drive)
    {
        setModalRunner([this, drive](QDialog &dialog) {
            ++dialogsRun;
            D *d = qobject_cast<D *>(&dialog);
            EXPECT_TRUE(d) << "an unexpected dialog: " << dialog.metaObject()->className();
            if (d) drive(*d);
            return dialog.result();
        });
    }

    int familyRows(const char *student, const QString &title)
    {
        return fx.db().scalar("SELECT count(*) FROM \"XJ_Family\" WHERE \"scode\" = ? AND \"sTitle\" = ?", {QString::fromLatin1(student), title}).toInt();
    }
    QString lastMessage() const { return host.messageTexts().value(host.messageTexts().size() - 1); }

    QWidget app;
    std::unique_ptr<QWidget> tab;
    int dialogsRun = 0;
    RecordingLink recorder{fx.service()}; // for the tests that sign in through it
};

// The place of the row holding `value` in `field` among the rows the table shows, from 1.
int rowNumber(DataSet &rows, const char *field, const QString &value)
{
    int n = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
        ++n;
        if (rows.value(QString::fromLatin1(field)).toString() == value) return n;
    }
    return -1;
}

TEST_F(FamilyTest, ARelationIsRequiredAndUsedOncePerStudent)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    ASSERT_TRUE(page);
    page->cdsData->first();
    onDialog<TfrmFamily>([&](TfrmFamily &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("【张三】家庭成员情况"));
        EXPECT_EQ(TfrmFamily::currentStudent(), "{A}");
        QStringList columns;
        for (const GridColumn &c : d.cxGridList->columns()) columns << c.field + u':' + c.caption;
        EXPECT_EQ(columns.mid(1, 9), (QStringList{QStringLiteral("sTitle:称谓"), QStringLiteral("sName:姓名"), QStringLiteral("dBirthDay:出生年月"),
                                                  QStringLiteral("sPolice:政治面貌"), QStringLiteral("sHealthState:健康状况"), QStringLiteral("sCompany:工作单位"),
                                                  QStringLiteral("sDuty:职务"), QStringLiteral("sTel:联系电话"), QStringLiteral("Memo:备注")}));
        EXPECT_TRUE(columns.first().startsWith(u"scode:") && columns.last().startsWith(u"SchoolCode:"));
        EXPECT_EQ(d.cxGridList->dataRowCount(), 2) << "张三's father and mother only";

        d.acEdit->trigger();
        // The father's telephone changes while a second father is added: the error names the new
        // row, since the father's row kept its relation.
        ASSERT_TRUE(d.cdsData->locate(QStringLiteral("sTitle"), {QStringLiteral("父亲")}));
        d.cdsData->edit();
        d.cdsData->setValue(u"sTel", "13900000001");
        d.cdsData->post();
        d.acInsert->trigger();
        EXPECT_EQ(d.cdsData->value(u"scode").toString(), "{A}");
        EXPECT_EQ(d.cdsData->value(u"SchoolCode").toString(), "S1");
        EXPECT_EQ(d.cdsData->value(u"sTitle").toString(), QStringLiteral("父亲"));
        d.cdsData->setValue(u"sName", QStringLiteral("张爷爷"));
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("数据行<3> 称谓[父亲]重复！"));
        EXPECT_EQ(d.EditState, 2) << "the rows stay to be put right";

        ASSERT_TRUE(d.cdsData->locate(QStringLiteral("sName"), {QStringLiteral("张爷爷")}));
        d.cdsData->edit();
        d.cdsData->setValue(u"sTitle", QVariant());
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("称谓不能为空！"));
        d.cdsData->edit();
        d.cdsData->setValue(u"sTitle", QStringLiteral("  "));
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("称谓不能为空！")) << "blanks are no relation either";
        EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"XJ_Family\" WHERE \"scode\" = '{A}'").toInt(), 2) << "nothing was sent";
        EXPECT_TRUE(fx.db().scalar("SELECT \"sTel\" FROM \"XJ_Family\" WHERE \"scode\" = '{A}' AND \"sTitle\" = ?", {QStringLiteral("父亲")}).isNull());

        d.cdsData->edit();
        d.cdsData->setValue(u"sTitle", QStringLiteral("爷爷"));
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
        EXPECT_EQ(d.EditState, 0);
        EXPECT_EQ(familyRows("{A}", QStringLiteral("爷爷")), 1);
        EXPECT_EQ(fx.db().scalar("SELECT \"sTel\" FROM \"XJ_Family\" WHERE \"scode\" = '{A}' AND \"sTitle\" = ?", {QStringLiteral("父亲")}).toString(), "13900000001");
        EXPECT_EQ(fx.db().scalar("SELECT \"sText\" FROM \"XT_Log\"").toString(), QStringLiteral("修改保存家庭成员数据"));

        // Renaming the grandfather the mother is refused; renaming him anything free is not.
        d.acEdit->trigger();
        const int grandfather = rowNumber(*d.cdsData, "sTitle", QStringLiteral("爷爷"));
        ASSERT_TRUE(d.cdsData->locate(QStringLiteral("sTitle"), {QStringLiteral("爷爷")}));
        d.cdsData->edit();
        d.cdsData->setValue(u"sTitle", QStringLiteral("母亲"));
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("数据行<%1> 称谓[母亲]重复！").arg(grandfather));
        EXPECT_EQ(familyRows("{A}", QStringLiteral("爷爷")), 1);
        d.cdsData->edit();
        d.cdsData->setValue(u"sTitle", QStringLiteral("外公"));
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
        EXPECT_EQ(familyRows("{A}", QStringLiteral("外公")), 1);
        EXPECT_EQ(familyRows("{A}", QStringLiteral("爷爷")), 0);

        // Other columns of a row whose relation stays are saved without a question.
        d.acEdit->trigger();
        ASSERT_TRUE(d.cdsData->locate(QStringLiteral("sTitle"), {QStringLiteral("母亲")}));
        d.cdsData->edit();
        d.cdsData->setValue(u"sCompany", QStringLiteral("第一纺织厂"));
        d.cdsData->post();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));

        // The mother was removed elsewhere meanwhile: the server stores nothing of this save.
        fx.db().exec("DELETE FROM \"XJ_Family\" WHERE \"scode\" = '{A}' AND \"sTitle\" = ?", {QStringLiteral("母亲")});
        d.acEdit->trigger();
        ASSERT_TRUE(d.cdsData->locate(QStringLiteral("sTitle"), {QStringLiteral("母亲")}));
        d.cdsData->edit();
        d.cdsData->setValue(u"sTel", "13900000002");
        d.cdsData->post();
        d.acInsert->trigger();
        d.cdsData->setValue(u"sTitle", QStringLiteral("外婆"));
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新失败！"));
        EXPECT_EQ(d.EditState, 2);
        EXPECT_EQ(d.cdsData->changeCount(), 2) << "the changes stay for the user";
        EXPECT_EQ(familyRows("{A}", QStringLiteral("外婆")), 0);
        d.acCancel->trigger();
    });
    page->acFamily->trigger();
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_FALSE(page->cdsFamily->filtered()) << "the page has every student's family again";
    EXPECT_EQ(page->cdsFamily->recordCount(), 4) << "张三's father, mother (as loaded) and 外公, and 李四's father";
    close(page);
}

TEST_F(FamilyTest, ALostConnectionWhileSavingIsLoggedAndTheRowsWaitForTheNextSave)
{
    QString error;
    ASSERT_TRUE(pub::signIn(recorder, "admin", "lumeko", &error)) << error.toStdString();
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    ASSERT_TRUE(page);
    recorder.unreachable << QStringLiteral("UpFamily");
    onDialog<TfrmFamily>([&](TfrmFamily &d) {
        d.acEdit->trigger();
        d.acInsert->trigger();
        d.cdsData->setValue(u"sTitle", QStringLiteral("外公"));
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新失败！"));
        EXPECT_EQ(host.logLines.last(), QStringLiteral("保存家庭成员数据失败，服务器连接失败！"));
        EXPECT_EQ(d.EditState, 2);
        EXPECT_EQ(familyRows("{A}", QStringLiteral("外公")), 0);
        recorder.unreachable.clear();
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
        EXPECT_EQ(familyRows("{A}", QStringLiteral("外公")), 1) << "the row waited and went with the next save";
    });
    page->acFamily->trigger();
    EXPECT_EQ(dialogsRun, 1);
    close(page);
}

TEST_F(FamilyTest, RowsOfOneStudentWaitWhileTheUserMovesOnAndOneSaveStoresAll)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    page->cdsData->first();
    // An uncle for 张三, then Esc, and "no" to saving: the row stays pending in the page's table.
    onDialog<TfrmFamily>([&](TfrmFamily &d) {
        for (QAction *a : {d.acFirst, d.acPrior, d.acNext, d.acLast}) EXPECT_TRUE(a->isEnabled()) << "moves while browsing";
        d.acEdit->trigger();
        for (QAction *a : {d.acFirst, d.acPrior, d.acNext, d.acLast}) EXPECT_FALSE(a->isEnabled()) << "no moves while editing";
        d.acInsert->trigger();
        d.cdsData->setValue(u"sTitle", QStringLiteral("叔叔"));
        d.cdsData->setValue(u"sName", QStringLiteral("张小叔"));
        host.answer(pub::AnswerNo, QStringLiteral("数据已被修改"));
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    page->acFamily->trigger();
    ASSERT_TRUE(host.scriptDone());
    EXPECT_EQ(page->cdsFamily->changeCount(), 1);
    EXPECT_EQ(familyRows("{A}", QStringLiteral("叔叔")), 0);

    onDialog<TfrmFamily>([&](TfrmFamily &d) {
        EXPECT_EQ(d.cxGridList->dataRowCount(), 3) << "张三's two and the uncle";
        const auto moveTo = [&d](QAction *a) {
            a->trigger();
            return d.windowTitle();
        };
        EXPECT_EQ(moveTo(d.acNext), QStringLiteral("【李四】家庭成员情况"));
        EXPECT_EQ(d.cxGridList->dataRowCount(), 1);
        EXPECT_EQ(moveTo(d.acLast), QStringLiteral("【赵六】家庭成员情况"));
        EXPECT_EQ(d.cxGridList->dataRowCount(), 0);
        EXPECT_EQ(moveTo(d.acPrior), QStringLiteral("【王五】家庭成员情况"));
        EXPECT_EQ(moveTo(d.acFirst), QStringLiteral("【张三】家庭成员情况"));
        EXPECT_EQ(d.cxGridList->dataRowCount(), 3) << "the uncle is still there";
        EXPECT_EQ(moveTo(d.acNext), QStringLiteral("【李四】家庭成员情况"));
        EXPECT_EQ(page->cdsData->value(u"sName").toString(), QStringLiteral("李四")) << "the register follows";

        d.acEdit->trigger();
        d.acInsert->trigger();
        EXPECT_EQ(d.cdsData->value(u"scode").toString(), "{B}");
        d.cdsData->setValue(u"sTitle", QStringLiteral("母亲"));
        d.cdsData->setValue(u"sName", QStringLiteral("王秀兰"));
        d.acSave->trigger();
        EXPECT_EQ(lastMessage(), QStringLiteral("更新成功！"));
        EXPECT_EQ(d.cdsData->changeCount(), 0);
    });
    page->acFamily->trigger();
    EXPECT_EQ(familyRows("{A}", QStringLiteral("叔叔")), 1) << "stored with 李四's mother";
    EXPECT_EQ(familyRows("{B}", QStringLiteral("母亲")), 1);
    EXPECT_EQ(fx.db().scalar("SELECT \"sName\" FROM \"XJ_Family\" WHERE \"scode\" = '{A}' AND \"sTitle\" = ?", {QStringLiteral("叔叔")}).toString(),
              QStringLiteral("张小叔"));
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"XJ_Family\"").toInt(), 5);
    close(page);
}

TEST_F(FamilyTest, EditingFamiliesNeedsManagerUnlessTheUserIsAnAdministrator)
{
    const QByteArray params = QStringLiteral("2026,1701,七年级,Y,%1").arg(server::testing::kTeacherCode).toUtf8();
    const auto editing = [&](bool *edit, bool *insert, bool *remove) {
        TfrmStudentPage *page = open(params.constData());
        onDialog<TfrmFamily>([&](TfrmFamily &d) {
            *edit = d.acEdit->isEnabled();
            EXPECT_TRUE(d.acNext->isEnabled()) << "anyone may look";
            d.setEditState(2);
            *insert = d.acInsert->isEnabled();
            *remove = d.acDelete->isEnabled();
            d.setEditState(0);
        });
        page->acFamily->trigger();
        close(page);
    };
    // wang leads the grade, so the register shows him all of it.
    fx.db().exec("UPDATE \"XJ_Grade\" SET \"TeacherCode\" = ? WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2026 AND \"GradeCode\" = '1701'",
                 {server::testing::kTeacherCode});
    bool edit = true, insert = true, remove = true;
    signInAs("wang", "pw6");
    editing(&edit, &insert, &remove);
    EXPECT_FALSE(edit || insert || remove) << "wang holds no Manager of the register";

    fx.db().exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '400901')", {server::testing::kTeacherCode});
    pub::signOut();
    signInAs("wang", "pw6");
    editing(&edit, &insert, &remove);
    EXPECT_TRUE(edit && insert && remove) << "with Manager";

    pub::signOut();
    signInAs("admin", "lumeko");
    editing(&edit, &insert, &remove);
    EXPECT_TRUE(edit && insert && remove) << "an administrator without Manager";
    EXPECT_EQ(dialogsRun, 3);
}

TEST_F(FamilyTest, TheClassChangeWantsAGradeWithAYearAndAClass)
{
    signInAs("admin", "lumeko");
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    mark(page, {QStringLiteral("张三")});
    onDialog<TfrmChangeClass>([&](TfrmChangeClass &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("调整班级"));
        EXPECT_EQ(d.btnOk->text(), QStringLiteral("确   定"));
        EXPECT_EQ(d.btnCancel->text(), QStringLiteral("取   消"));
        EXPECT_EQ(d.chkAdminClass->text(), QStringLiteral("行政班级"));
        EXPECT_TRUE(d.chkAdminClass->isChecked());
        QStringList grades;
        for (int i = 0; i < d.cbGrade->count(); ++i) grades << d.cbGrade->itemData(i).toString() + u'=' + d.cbGrade->itemText(i);
        EXPECT_EQ(grades, (QStringList{QStringLiteral("1701=2026级七年级"), QStringLiteral("1801=2025级八年级"), QStringLiteral("1999=无效年级")}))
            << "the current junior grades; 1901 has graduated and 2101 is another stage";
        EXPECT_EQ(d.cbGrade->currentIndex(), 0) << "the page's own grade";
        EXPECT_EQ(d.GradeCode, "1701");
        EXPECT_EQ(d.InYear, 2026);
        QStringList classes;
        for (int i = 0; i < d.cbClass->count(); ++i) classes << d.cbClass->itemData(i).toString() + u'=' + d.cbClass->itemText(i);
        EXPECT_EQ(classes, (QStringList{QStringLiteral("001=一班"), QStringLiteral("002=二班")}));
        EXPECT_EQ(d.cbClass->currentIndex(), -1);

        d.btnOk->click();
        EXPECT_EQ(lastMessage(), QStringLiteral("请选择目标班级！"));
        EXPECT_NE(d.result(), QDialog::Accepted);

        // Down the list with the keyboard: 八年级 is taken, the grade without a year is not.
        QTest::keyClick(d.cbGrade, Qt::Key_Down);
        EXPECT_EQ(d.GradeCode, "1801");
        EXPECT_EQ(d.InYear, 2025);
        EXPECT_EQ(d.cbClass->count(), 2);
        const int shown = int(host.messages.size());
        QTest::keyClick(d.cbGrade, Qt::Key_Down);
        ASSERT_EQ(host.messages.size(), shown + 1);
        EXPECT_EQ(host.messages.last().kind, pub::MessageKind::Error) << host.messages.last().text.toStdString();
        EXPECT_TRUE(host.messages.last().text.contains(QStringLiteral("无效年级")));
        EXPECT_EQ(d.cbGrade->currentIndex(), 1) << "the choice stays with 八年级";
        EXPECT_EQ(d.GradeCode, "1801");
        EXPECT_EQ(d.InYear, 2025);
        EXPECT_EQ(d.cbClass->count(), 2);
        d.btnCancel->click();
    });
    page->acChangeClass->trigger();
    EXPECT_EQ(page->cdsData->changeCount(), 1) << "a cancelled change leaves the mark only";
    close(page);

    // A graduated grade's page finds its own grade nowhere in the list: no grade is chosen.
    page = open("2024,1901,九年级,N,");
    onDialog<TfrmChangeClass>([&](TfrmChangeClass &d) {
        EXPECT_EQ(d.cbGrade->currentIndex(), -1);
        EXPECT_EQ(d.cbClass->count(), 0);
        d.btnOk->click();
        EXPECT_EQ(lastMessage(), QStringLiteral("请选择目标年级！"));
        EXPECT_NE(d.result(), QDialog::Accepted);
    });
    page->acChangeClass->trigger();
    EXPECT_EQ(dialogsRun, 2);
    close(page);
}

// The class change and the register's save path on each back end the server runs on.
class ClassChange : public pub::testing::OnBackend<FamilyTest> {};

TEST_P(ClassChange, ThreeMarkedStudentsMoveToTheChosenClassAndLeaveThePage)
{
    QString error;
    ASSERT_TRUE(pub::signIn(recorder, "admin", "lumeko", &error)) << error.toStdString();
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    ASSERT_TRUE(page);
    mark(page, {QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")});
    onDialog<TfrmChangeClass>([&](TfrmChangeClass &d) {
        d.chooseGrade(d.cbGrade->findText(QStringLiteral("2025级八年级")));
        d.cbClass->setCurrentIndex(d.cbClass->findText(QStringLiteral("二班")));
        d.btnOk->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    page->acChangeClass->trigger();
    EXPECT_EQ(lastMessage(), QStringLiteral("成功调整 3 个学生到【2025级八年级→二班】"));
    EXPECT_EQ(recorder.methods.count(QStringLiteral("UpStudent")), 1);
    EXPECT_EQ(names(page), QStringList{QStringLiteral("赵六")}) << "the page shows its class as the server now holds it";
    EXPECT_EQ(page->cdsData->changeCount(), 0);

    const auto moved = fx.db().select("SELECT \"sCode\", \"GradeCode\", \"InYear\", \"ClassCode\" FROM \"XJ_Student\" WHERE \"Selected\" = ? ORDER BY \"sCode\"",
                                      {fx.db().toDb(false, wire::FieldType::Boolean)},
                                      {{"a", wire::FieldType::Text, 0, 0}, {"b", wire::FieldType::Text, 0, 0}, {"c", wire::FieldType::Integer, 0, 0},
                                       {"d", wire::FieldType::Text, 0, 0}});
    QStringList rows;
    for (qsizetype r = 0; r < moved.rowCount(); ++r)
        rows << QStringLiteral("%1 %2 %3 %4").arg(moved.value(r, 0).toString(), moved.value(r, 1).toString(), moved.value(r, 2).toString(), moved.value(r, 3).toString());
    EXPECT_EQ(rows, (QStringList{"{A} 1801 2025 002", "{B} 1801 2025 002", "{C} 1801 2025 002", "{D} 1701 2026 001"}))
        << "every student, none stored with a mark";
    close(page);

    page = open("2025,1801,八年级,Y,,002");
    EXPECT_EQ(names(page), (QStringList{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")}));
    close(page);
}

TEST_P(ClassChange, WithoutTheOptionNothingMovesAndNothingIsSent)
{
    QString error;
    ASSERT_TRUE(pub::signIn(recorder, "admin", "lumeko", &error)) << error.toStdString();
    TfrmStudentPage *page = open("2026,1701,七年级,Y,,001");
    mark(page, {QStringLiteral("张三"), QStringLiteral("李四")});
    const int shown = int(host.messages.size());
    onDialog<TfrmChangeClass>([&](TfrmChangeClass &d) {
        d.chooseGrade(d.cbGrade->findText(QStringLiteral("2025级八年级")));
        d.cbClass->setCurrentIndex(d.cbClass->findText(QStringLiteral("二班")));
        d.chkAdminClass->setChecked(false);
        d.btnOk->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
    });
    page->acChangeClass->trigger();
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_EQ(host.messages.size(), shown) << "nothing to tell";
    EXPECT_FALSE(recorder.methods.contains(QStringLiteral("UpStudent")));
    EXPECT_EQ(page->cdsData->changeCount(), 2) << "the two marks, nothing more";
    EXPECT_EQ(names(page).size(), 4);
    for (page->cdsData->first(); !page->cdsData->eof(); page->cdsData->next())
        EXPECT_EQ(page->cdsData->value(u"ClassCode").toString() + page->cdsData->value(u"GradeCode").toString(), "0011701");
    EXPECT_EQ(fx.db().scalar("SELECT count(*) FROM \"XJ_Student\" WHERE \"GradeCode\" = '1701' AND \"ClassCode\" = '001'").toInt(), 4);
    page->cdsData->cancelUpdates();
    close(page);
}

INSTANTIATE_TEST_SUITE_P(Backends, ClassChange, pub::testing::bothBackends(), server::testing::backendParamName);

} // namespace
