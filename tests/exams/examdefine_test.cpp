// The exam definition wizard over the fixture school's server, step by step as a teacher or the
// academic office walks it.

#include "exams/ufrmexamdefine.h"
#include "fixtureschool.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class ExamDefineTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        server::Database &db = fx.db();
        const QString reg = "INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES ('ExamType', ?, ?, ?)";
        db.exec(reg, {"1", QStringLiteral("综合考试"), 1});
        db.exec(reg, {"2", QStringLiteral("单元考试"), 2});
        const QString info = "INSERT INTO \"CJ_ExamInfo\" (\"sCode\", \"sName\", \"sType\", \"SchoolCode\", \"bState\") VALUES (?, ?, ?, 'SYSTEM', true)";
        db.exec(info, {"001", QStringLiteral("期中考试"), QStringLiteral("综合考试")});
        db.exec(info, {"002", QStringLiteral("单元测验"), QStringLiteral("单元考试")});
        const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
        const QString gradeSubject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\") "
                                     "VALUES ('S1', ?, ?, ?, ?)";
        for (const auto &[code, name, type] : std::initializer_list<std::tuple<const char *, const char *, int>>{
                 {"001", "语文", 0}, {"002", "数学", 0}, {"003", "英语", 1}, {"008", "体育", 2}}) {
            db.exec(subject, {code, QString::fromUtf8(name)});
            db.exec(gradeSubject, {2026, "1701", code, type});
            db.exec(gradeSubject, {2025, "1701", code, type});
        }
        const QString gc =
            "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"TeacherCode\") VALUES ('S1', 2026, '1701', ?, ?)";
        db.exec(gc, {"001", server::testing::kTeacherCode});
        db.exec(gc, {"002", QVariant()});
        const QString student =
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
            "VALUES (?, 'S1', '1701', 2026, ?, 1, ?, '00')";
        db.exec(student, {"{A}", "001", QStringLiteral("张三")});
        db.exec(student, {"{B}", "002", QStringLiteral("李四")});
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                "VALUES ('S1', 2026, '1701', '001', '003', ?)",
                {server::testing::kTeacherCode});
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('4030', '40', NULL, ?, 30)",
                {QStringLiteral("创建单元考试")});
        db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4030')");
    }

    std::unique_ptr<TfrmExamDefine> open(const char *params, bool system)
    {
        auto d = std::make_unique<TfrmExamDefine>();
        d->Params = QString::fromUtf8(params).split(u',');
        d->SystemMode = system;
        d->prepare();
        return d;
    }
    void chooseName(TfrmExamDefine &d, const QString &name)
    {
        const auto found = d.lbExamName->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        d.lbExamName->setCurrentItem(found.first());
    }
    bool goTo(TfrmExamDefine &d, const char *subject, bool selected)
    {
        if (!d.cdsSubjects->locate(QStringLiteral("SubjectCode"), {QString::fromLatin1(subject)})) return false;
        d.cdsSubjects->edit();
        d.cdsSubjects->setValue(u"Freeze", selected);
        d.cdsSubjects->post();
        return true;
    }
    QVariant field(TfrmExamDefine &d, const char *subject, const char *name)
    {
        d.cdsSubjects->locate(QStringLiteral("SubjectCode"), {QString::fromLatin1(subject)});
        return d.cdsSubjects->value(QString::fromLatin1(name));
    }
    QVariant stored(const char *sql) { return fx.db().scalar(QString::fromUtf8(sql)); }
};

TEST_F(ExamDefineTest, TheFirstStepNeedsAWholeGradeANameAndAnAlias)
{
    signInAs("admin", "lumeko");
    EXPECT_FALSE(open("2026,170,七年级,Y", true)->btnNext->isEnabled()) << "a grade code of three characters";
    auto d = open("2026,1701,七年级,Y", true);
    EXPECT_TRUE(d->btnNext->isEnabled());
    EXPECT_EQ(d->lbExamName->count(), 1) << "system mode offers the school-wide names only";
    EXPECT_FALSE(d->next());
    d->lbExamName->setCurrentRow(0);
    EXPECT_EQ(d->edExamName->text(), QStringLiteral("期中考试")) << "the alias starts as the name";
    d->edExamName->clear();
    EXPECT_FALSE(d->next());
    EXPECT_EQ(host.messageTexts(), (QStringList{QStringLiteral("考试类型不能为空！"), QStringLiteral("考试名称不能为空！")}));
    EXPECT_EQ(d->step(), 0);

    // A primary grade's new exam has neither a main nor a base total.
    auto primary = open("2026,0106,六年级,Y", true);
    chooseName(*primary, QStringLiteral("期中考试"));
    ASSERT_TRUE(primary->next());
    EXPECT_FALSE(primary->cdsExamTotal->value(u"hasMain").toBool());
    EXPECT_FALSE(primary->cdsExamTotal->value(u"hasBase").toBool());
    EXPECT_EQ(primary->cdsExamTotal->value(u"ModifyRight").toInt(), 33);
}

TEST_F(ExamDefineTest, SubjectsTakeTheirMarksFromTheFullMarkAndTheTotalsFollowTheirTypes)
{
    signInAs("admin", "lumeko");
    auto d = open("2026,1701,七年级,Y", true);
    chooseName(*d, QStringLiteral("期中考试"));
    ASSERT_TRUE(d->next());
    EXPECT_EQ(d->cdsSubjects->recordCount(), 4);
    EXPECT_FALSE(d->next()) << "no subject chosen";
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请至少选择一项科目！"));

    ASSERT_TRUE(goTo(*d, "001", true));
    EXPECT_EQ(field(*d, "001", "FullMark").toDouble(), 100) << "a new choice gets the defaults";
    EXPECT_EQ(field(*d, "001", "PassMark").toDouble(), 60);
    EXPECT_EQ(field(*d, "001", "Per").toDouble(), 1);
    // 150, 5 and 0 as the full mark.
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"FullMark", 150.0);
    d->cdsSubjects->post();
    EXPECT_EQ(field(*d, "001", "ExcelMark").toDouble(), 120);
    EXPECT_EQ(field(*d, "001", "GoodMark").toDouble(), 105);
    EXPECT_EQ(field(*d, "001", "BadMark").toDouble(), 45);
    EXPECT_EQ(field(*d, "001", "HighMark").toDouble(), 140);
    ASSERT_TRUE(goTo(*d, "003", true));
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"FullMark", 5.0);
    d->cdsSubjects->post();
    EXPECT_EQ(field(*d, "003", "ExcelMark").toDouble(), 5);
    EXPECT_EQ(field(*d, "003", "LowMark").toDouble(), 2);
    EXPECT_EQ(field(*d, "003", "DistanceMark").toDouble(), 1);
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"FullMark", 0.0);
    d->cdsSubjects->post();
    EXPECT_EQ(field(*d, "003", "ExcelMark").toDouble(), 5) << "a full mark of 0 changes nothing else";
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"FullMark", 5.0);
    d->cdsSubjects->post();
    // Marks out of their ranges are refused and the row shows again what it held.
    host.messages.clear();
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"FullMark", 1000.0);
    d->cdsSubjects->post();
    EXPECT_EQ(field(*d, "003", "FullMark").toDouble(), 5);
    d->cdsSubjects->edit();
    d->cdsSubjects->setValue(u"ExcelMark", 0.0);
    d->cdsSubjects->post();
    EXPECT_EQ(field(*d, "003", "ExcelMark").toDouble(), 5);
    EXPECT_EQ(host.messageTexts(), QStringList(2, QStringLiteral("输入的值无效！\n\r请按ESC键取消输入。")));
    ASSERT_TRUE(goTo(*d, "008", true));

    ASSERT_TRUE(d->next());
    // 全总分 over all three, 主总分 over 语文 and 英语 (types 0, 1), 基总分 over 语文 alone.
    EXPECT_EQ(d->header->edTotal[0][0]->value(), 255);
    EXPECT_EQ(d->header->edTotal[1][0]->value(), 155);
    EXPECT_EQ(d->header->edTotal[2][0]->value(), 150);
    EXPECT_EQ(d->header->edTotal[0][3]->value(), 90 + 3 + 60) << "the pass marks";
    EXPECT_EQ(d->lbClasses->count(), 2);
}

TEST_F(ExamDefineTest, ASchoolWideExamIsStoredForTheWholeGradeAndAUnitExamListsItsClasses)
{
    signInAs("admin", "lumeko");
    auto d = open("2026,1701,七年级,Y", true);
    chooseName(*d, QStringLiteral("期中考试"));
    d->edExamName->setText(QStringLiteral("期中考试（上）"));
    ASSERT_TRUE(d->next());
    goTo(*d, "001", true);
    goTo(*d, "002", true);
    ASSERT_TRUE(d->next());
    EXPECT_FALSE(d->chkWholeGrade->isEnabled()) << "system mode is always the whole grade";
    ASSERT_TRUE(d->next());
    EXPECT_TRUE(host.messageTexts().last().startsWith(QStringLiteral("定义考试【期中考试（上）】完成！")));
    EXPECT_EQ(stored("SELECT \"Classes\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toString(), "ALL");
    EXPECT_EQ(stored("SELECT \"ExamName\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toString(), QStringLiteral("期中考试（上）"));
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamSubject\" WHERE \"ExamCode\" = '001'").toInt(), 2);
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamStudent\"").toInt(), 2) << "the roster of the whole grade";
    EXPECT_EQ(stored("SELECT \"aFullMark\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toDouble(), 200);

    // wang's unit exam: his subject only, and his classes named even with the whole grade ticked.
    pub::signOut();
    signInAs("wang", "pw6");
    auto unit = open("2026,1701,七年级,Y", false);
    chooseName(*unit, QStringLiteral("单元测验"));
    ASSERT_TRUE(unit->next());
    EXPECT_EQ(unit->cdsSubjects->recordCount(), 1) << "the subject he teaches";
    goTo(*unit, "003", true);
    ASSERT_TRUE(unit->next());
    EXPECT_TRUE(unit->chkWholeGrade->isChecked());
    EXPECT_EQ(unit->lbClasses->count(), 1) << "the classes he teaches";
    ASSERT_TRUE(unit->next());
    EXPECT_EQ(stored("SELECT \"Classes\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '002'").toString(), "001");
    EXPECT_EQ(stored("SELECT \"PageName\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '002'").toString(), QString(server::testing::kTeacherCode));
    EXPECT_EQ(stored("SELECT \"ModifyRight\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '002'").toInt(), 32);
}

TEST_F(ExamDefineTest, AnExamIsEditedAgainWithoutLosingScoresAndUnchangedItSendsNothing)
{
    signInAs("admin", "lumeko");
    {
        auto d = open("2026,1701,七年级,Y", true);
        chooseName(*d, QStringLiteral("期中考试"));
        ASSERT_TRUE(d->next());
        goTo(*d, "001", true);
        goTo(*d, "002", true);
        ASSERT_TRUE(d->next());
        ASSERT_TRUE(d->next());
    }
    const qint64 exam = stored("SELECT \"Id\" FROM \"CJ_ExamTotal\"").toLongLong();
    fx.db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{A}', '002', 97)", {exam});
    const int logs = stored("SELECT COUNT(*) FROM \"XT_Log\"").toInt();

    auto d = open("2026,1701,七年级,Y", true);
    chooseName(*d, QStringLiteral("期中考试"));
    host.answer(pub::AnswerYes, QStringLiteral("此考试已定义，是否修改此考试设置？"));
    ASSERT_TRUE(d->next());
    EXPECT_TRUE(field(*d, "002", "Freeze").toBool()) << "the exam's subjects come ticked";
    host.messages.clear();
    goTo(*d, "002", false);
    EXPECT_TRUE(field(*d, "002", "Freeze").toBool()) << "数学 has a score and stays";
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("此科目已经有成绩了，不能删除！")});
    ASSERT_TRUE(d->next());
    ASSERT_TRUE(d->next());
    EXPECT_TRUE(host.messageTexts().last().startsWith(QStringLiteral("定义考试【期中考试】完成！"))) << "said although nothing changed";
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"XT_Log\"").toInt(), logs) << "nothing was sent, so nothing was logged";
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(ExamDefineTest, ANewExamMayTakeTheMarksAndRightsOfTheLastExamOfItsName)
{
    server::Database &db = fx.db();
    const QString header =
        "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"ModifyRight\", "
        "\"dDefDay\") VALUES ('S1', '1701', 2025, '001', ?, ?, ?, ?)";
    db.exec(header, {kNoPage, QStringLiteral("去年的期中"), 5, db.toDb(QDate(2025, 11, 1), wire::FieldType::Date)});
    db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", \"ModifyRight\", "
            "\"FullMark\", \"PassMark\") VALUES ('S1', '1701', 2025, '001', ?, '003', 0.5, 1, 120, 72)",
            {kNoPage});
    signInAs("admin", "lumeko");
    auto d = open("2026,1701,七年级,Y", true);
    chooseName(*d, QStringLiteral("期中考试"));
    host.answer(pub::AnswerYes, QStringLiteral("是否导入最近一次同名考试设置？"));
    ASSERT_TRUE(d->next());
    EXPECT_EQ(d->cdsExamTotal->value(u"ModifyRight").toInt(), 5);
    EXPECT_TRUE(field(*d, "003", "Freeze").toBool());
    EXPECT_EQ(field(*d, "003", "FullMark").toDouble(), 120);
    EXPECT_EQ(field(*d, "003", "PassMark").toDouble(), 72) << "the stored marks, not the defaults of 120";
    EXPECT_EQ(field(*d, "003", "Per").toDouble(), 0.5);
    EXPECT_FALSE(field(*d, "001", "Freeze").toBool());
    EXPECT_TRUE(host.scriptDone());
}

} // namespace

namespace {

// Pictures of the three steps for the people reviewing the wizard; only with LUMEKO_SHOTS set.
TEST_F(ExamDefineTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8);
    signInAs("admin", "lumeko");
    auto d = open("2026,1701,七年级,Y", true);
    chooseName(*d, QStringLiteral("期中考试"));
    pub::testing::saveShot(*d, "exam-wizard-1");
    ASSERT_TRUE(d->next());
    goTo(*d, "001", true);
    goTo(*d, "002", true);
    goTo(*d, "003", true);
    pub::testing::saveShot(*d, "exam-wizard-2");
    ASSERT_TRUE(d->next());
    pub::testing::saveShot(*d, "exam-wizard-3");
}

} // namespace
